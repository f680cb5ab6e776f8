// The steps of one case: set-up, initial approximation, observation
// equations and the least-squares step. Each takes the case number by
// reference and works on the shared tables.
#pragma once

#include "data/tables.h"

namespace treetri {

class UserInterface;

// pi as the positioning code writes it, and the degree-to-radian factor.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kDegToRad = 0.0174532925199433;

inline constexpr const char* kInitialApproximationFailedMessage =
    "Finding initial approximation failed";
inline constexpr const char* kDumpAFileName = "A_txt.txt";
inline constexpr const char* kDumpLFileName = "l_txt.txt";
inline constexpr const char* kDumpWeightsFileName = "weigths.txt";
inline constexpr const char* kDumpMatlabFileName = "Matlab.txt";

// True when the case's NPA lies in 1..20 and the case can be set up.
bool CaseNpaValid(const Tables& t, int caseNumber);

void PrepareCaseTables(Tables& t, int& caseNumber);
void CopyObservationFlags(Tables& t, int& caseNumber);
void InitFixedPoints(Tables& t, int& caseNumber);
void ConvertAzimuths(Tables& t, int& caseNumber);

// Azimuth in degrees (already corrected) to direction angle in radians.
double AzimuthToDirection(double correctedAzimuth);
// Azimuth correction: a + c, wrapped at 360; a result below 0 gets 360 added.
double CorrectAzimuth(double azimuth, double correction);

void FindInitialApproximation(Tables& t, UserInterface& ui, int& caseNumber);

// Builds the linear system of the current iteration and its dump texts
// (t.Case.DumpA ...). The one-argument form for the run driver leaves the
// writing of the dump files to the caller; WriteDumpFiles writes them.
void BuildObservationEquations(Tables& t, int& caseNumber);
bool WriteDumpFiles(const Tables& t, std::string& error);

double DirectionAngle(double dy, double dx);

// Solves the current system, corrects the positions, sets converged and the
// precision figures. A case that cannot be adjusted gets t.Case.Failure set
// and converged 1.
void AdjustmentStep(Tables& t, UserInterface& ui, int& converged, int& caseNumber);
// The same step composed of the general matrix routines throughout (full
// weight matrix, its inverse by elimination, the whole cofactor matrix).
// Gives the same results to the bit; kept as the reference the fast form is
// checked against.
void AdjustmentStepByRoutines(Tables& t, UserInterface& ui, int& converged, int& caseNumber);

}  // namespace treetri
