// The case work area: the tables and scalars of the case being computed,
// the linear system of its current iteration, the solver's matrices and the
// inverse workspace. The case pipeline owns it and no one outside
// positioning/ reads it: what a computed case leaves for the others is its
// LegacyCaseResult (positioning/case_result.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "data/tables.h"
#include "matrix/matrix.h"
#include "positioning/case_result.h"

namespace treetri {

struct CaseObservation {
  std::int32_t AzimuthRow = 0;
  std::int32_t DistanceRow = 0;
  Flag IsDist = kFalse;
  double Distance = 0;
  double Obs_dist = 0;
  Flag Is_Azim = kFalse;
  double Azimuth = 0;
  double Obs_azim = 0;
  double Slope = 0;
  double Res_Dist = 0;
  double Res_Azim = 0;
};

struct FixedPoint {
  double Obs_X = 0, Obs_Y = 0;
  double StartX = 0, StartY = 0;
  double X_adj = 0, Y_adj = 0;
};

// The working set of the case being computed.
struct CaseWork {
  int CaseNumber = 0;
  Table<CaseObservation> CaseObservations;
  Table<FixedPoint> FixedPoints;

  // Case scalars; they carry over from case to case until a step sets them.
  double X_ini = 0, Y_ini = 0;
  double X_adj = 0, Y_adj = 0;
  double SigmaNull = 0, SigmaX = 0, SigmaY = 0;
  std::array<char, 8> TypeOfIni{};  // eight characters of code 0 at start-up
  std::int32_t NumOfObs = 0;

  // Set by the steps while the case is computed; the pipeline hands them on
  // in the case's result, their one holder outside positioning/.
  bool InitialApproximationFailed = false;
  CaseFailure Failure = CaseFailure::None;
  bool Unchecked = false;  // redundancy of zero or less: no precision figures
  // Messages raised while computing the case, in order; moved into the result.
  std::vector<std::string> Messages;

  // The linear system of the current iteration and the solution's matrices.
  Matrix DesignMatrix;
  Vector MisclosureVector;
  Vector WeightVector;
  Vector BaardaValues;
  Matrix DesignT, WeightMatrix, DesignTWeight, NormalMatrix, NormalRhs, NormalInverse, Solution;
  Matrix MisclosureTWeight, QuadraticForm, CofactorObs, DesignQxx, DesignQxxDesignT,
      CofactorResiduals;
  Vector NormalInverseDiagonal;
  // The fixed workspace of the inverse, kept for the whole program run.
  InverseWorkspace Inverse;
  // The two single-precision tables that the map data line prints; nothing
  // writes them, so they stay zero.
  std::array<float, 2> Reserved2{};
  std::array<std::array<float, 3>, 2> Reserved2x3{};
};

}  // namespace treetri
