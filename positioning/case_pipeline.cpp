#include "positioning/case_pipeline.h"

#include <cmath>

#include "positioning/case_steps.h"

namespace treetri {

bool CorrectionsStop(double dX, double dY) {
  return (std::fabs(dX) < 0.01 && std::fabs(dY) < 0.01) ||
         (std::fabs(dX) > 100 && std::fabs(dY) > 100);
}

CaseOutcome ComputeCase(const TargetTree& tree, const RunParameters& parameters, CaseWork& c,
                        AdjustmentForm form) {
  CaseOutcome outcome;
  c.Failure = CaseFailure::None;
  c.Unchecked = false;
  c.InitialApproximationFailed = false;
  c.Messages.clear();
  if (!CaseNpaValid(tree)) {
    c.Failure = outcome.failure = CaseFailure::Npa;
    return outcome;
  }
  PrepareCaseTables(tree, c);
  CopyObservationFlags(tree, c);
  InitFixedPoints(tree, c);
  ConvertAzimuths(tree, parameters.AzimuthCorrection, c);
  FindInitialApproximation(tree, c);
  if (c.InitialApproximationFailed) c.Messages.push_back(kInitialApproximationFailedMessage);
  int converged = 0;
  while (converged != 1 && outcome.iterations != kMaxIterations) {
    ++outcome.iterations;
    BuildObservationEquations(parameters, c);
    if (form == AdjustmentForm::Fast)
      AdjustmentStep(c, converged);
    else
      AdjustmentStepByRoutines(c, converged);
  }
  outcome.failure = c.Failure;
  outcome.initialApproximationFailed = c.InitialApproximationFailed;
  outcome.unchecked = c.Unchecked;
  outcome.messages = c.Messages;
  return outcome;
}

}  // namespace treetri
