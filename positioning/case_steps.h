// The steps of one case: set-up, initial approximation, observation
// equations and the least-squares step. Each reads the field tree and the
// run parameters it needs and works on the case work area; the case
// pipeline (positioning/case_pipeline.h) calls them in order.
#pragma once

#include "positioning/case_work.h"

namespace treetri {

// pi as the positioning code writes it, and the degree-to-radian factor.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kDegToRad = 0.0174532925199433;

inline constexpr const char* kInitialApproximationFailedMessage =
    "Finding initial approximation failed";

// True when the field tree's NPA lies in 1..20 and the case can be set up.
bool CaseNpaValid(const TargetTree& tree);

// Fresh observation and fixed-point tables from the field tree's slots.
void PrepareCaseTables(const TargetTree& tree, CaseWork& c);
void CopyObservationFlags(const TargetTree& tree, CaseWork& c);
void InitFixedPoints(const TargetTree& tree, CaseWork& c);
// Azimuths corrected by `correction` and turned into direction angles.
void ConvertAzimuths(const TargetTree& tree, double correction, CaseWork& c);

// Azimuth in degrees (already corrected) to direction angle in radians.
double AzimuthToDirection(double correctedAzimuth);
// Azimuth correction: a + c, wrapped at 360; a result below 0 gets 360 added.
double CorrectAzimuth(double azimuth, double correction);

// Sets the start position (X_ini, Y_ini, X_adj, Y_adj, TypeOfIni), or
// c.InitialApproximationFailed when there is none; the caller shows
// kInitialApproximationFailedMessage.
void FindInitialApproximation(const TargetTree& tree, CaseWork& c);

// Builds the linear system of the current iteration.
void BuildObservationEquations(const RunParameters& par, CaseWork& c);

double DirectionAngle(double dy, double dx);

// Solves the current system, corrects the positions, sets converged and the
// precision figures. A case that cannot be adjusted gets c.Failure set and
// converged 1. A shape mismatch of the matrix routines adds its message to
// c.Messages.
void AdjustmentStep(CaseWork& c, int& converged);
// The same step composed of the general matrix routines throughout (full
// weight matrix, its inverse by elimination, the whole cofactor matrix).
// Gives the same results to the bit; kept as the reference the fast form is
// checked against.
void AdjustmentStepByRoutines(CaseWork& c, int& converged);

}  // namespace treetri
