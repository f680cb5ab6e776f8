#include "positioning/case_pipeline.h"

#include <cmath>

#include "positioning/case_steps.h"
#include "positioning/tables.h"

namespace treetri {

bool CorrectionsStop(double dX, double dY) {
  return (std::fabs(dX) < 0.01 && std::fabs(dY) < 0.01) ||
         (std::fabs(dX) > 100 && std::fabs(dY) > 100);
}

namespace {

// The result of the case just computed in `c`.
LegacyCaseResult ResultOf(const TargetTree& tree, double azimuthCorrection, CaseWork& c,
                          int iterations) {
  LegacyCaseResult r;
  r.caseNumber = c.CaseNumber;
  r.iterations = iterations;
  r.plot = tree.Plot;
  r.tree = tree.Tree;
  r.species = tree.Species;
  r.NPA = tree.NPA;
  r.failure = c.Failure;
  r.initialApproximationFailed = c.InitialApproximationFailed;
  r.unchecked = c.Unchecked;
  r.messages = std::move(c.Messages);
  c.Messages.clear();
  r.X_ini = c.X_ini;
  r.Y_ini = c.Y_ini;
  r.X_adj = c.X_adj;
  r.Y_adj = c.Y_adj;
  r.SigmaNull = c.SigmaNull;
  r.SigmaX = c.SigmaX;
  r.SigmaY = c.SigmaY;
  r.NumOfObs = c.NumOfObs;
  r.TypeOfIni = c.TypeOfIni;
  r.Reserved2 = c.Reserved2;
  r.Reserved2x3 = c.Reserved2x3;
  if (c.Failure == CaseFailure::Npa) return r;
  int n = tree.NPA;
  if (n > c.FixedPoints.Size()) n = c.FixedPoints.Size();
  if (n > c.CaseObservations.Size()) n = c.CaseObservations.Size();
  const bool precise = r.Has(LegacyFigure::Precision);
  r.sightings.resize(static_cast<size_t>(n));
  for (int j = 1; j <= n; ++j) {
    const FixedPoint& p = c.FixedPoints[j];
    const CaseObservation& o = c.CaseObservations[j];
    SlotResult& s = r.sightings[static_cast<size_t>(j - 1)];
    s.SightedTree = tree.SightedTree[j];
    s.SightedSpecies = tree.SightedSpecies[j];
    s.Obs_X = p.Obs_X;
    s.Obs_Y = p.Obs_Y;
    s.X_adj = p.X_adj;
    s.Y_adj = p.Y_adj;
    s.IsDist = IsTrue(o.IsDist);
    s.Is_Azim = IsTrue(o.Is_Azim);
    s.Obs_dist = o.Obs_dist;
    // The value ConvertAzimuths turned into the direction angle.
    if (s.Is_Azim) s.azimuth = CorrectAzimuth(tree.Azimuth[j], azimuthCorrection);
    s.Obs_azim = o.Obs_azim;
    s.Res_Dist = o.Res_Dist;
    s.Res_Azim = o.Res_Azim;
    s.DistanceRow = o.DistanceRow;
    s.AzimuthRow = o.AzimuthRow;
    s.hasBaardaDist = precise && s.IsDist && c.BaardaValues.Contains(o.DistanceRow);
    if (s.hasBaardaDist) s.BaardaDist = c.BaardaValues(o.DistanceRow);
    s.hasBaardaAzim = precise && s.Is_Azim && c.BaardaValues.Contains(o.AzimuthRow);
    if (s.hasBaardaAzim) s.Baarda_Azim = c.BaardaValues(o.AzimuthRow);
  }
  return r;
}

}  // namespace

LegacyCaseResult ComputeCase(const TargetTree& tree, const RunParameters& parameters, CaseWork& c,
                             AdjustmentForm form) {
  c.Failure = CaseFailure::None;
  c.Unchecked = false;
  c.InitialApproximationFailed = false;
  c.Messages.clear();
  int iterations = 0;
  if (!CaseNpaValid(tree)) {
    c.Failure = CaseFailure::Npa;
    return ResultOf(tree, parameters.AzimuthCorrection, c, iterations);
  }
  PrepareCaseTables(tree, c);
  CopyObservationFlags(tree, c);
  InitFixedPoints(tree, c);
  ConvertAzimuths(tree, parameters.AzimuthCorrection, c);
  FindInitialApproximation(tree, c);
  if (c.InitialApproximationFailed) c.Messages.push_back(kInitialApproximationFailedMessage);
  int converged = 0;
  while (converged != 1 && iterations != kMaxIterations) {
    ++iterations;
    BuildObservationEquations(parameters, c);
    if (form == AdjustmentForm::Fast)
      AdjustmentStep(c, converged);
    else
      AdjustmentStepByRoutines(c, converged);
  }
  return ResultOf(tree, parameters.AzimuthCorrection, c, iterations);
}

LegacyCaseResult ComputeCase(Tables& t, int caseNumber) {
  t.Case.CaseNumber = caseNumber;
  return ComputeCase(t.TargetTrees[caseNumber], t.Parameters, t.Case);
}

CaseSystem LastCaseSystem(const Tables& t) {
  return CaseSystem{t.Case.DesignMatrix, t.Case.MisclosureVector, t.Case.WeightVector};
}

}  // namespace treetri
