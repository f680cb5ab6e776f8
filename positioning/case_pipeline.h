// One case from its inputs to its outcome: set-up, initial approximation
// and the iterations of the adjustment. The iteration limit and the stop
// test live here and nowhere else. No file is written, nothing is shown.
#pragma once

#include <string>
#include <vector>

#include "positioning/case_work.h"

namespace treetri {

inline constexpr int kMaxIterations = 20;

// The stop test: both corrections of the field tree below 0.01 m, or both
// above 100 m (a case that runs away stops too).
bool CorrectionsStop(double dX, double dY);

// Which least-squares step the iterations use (both give the same bits).
enum class AdjustmentForm { Fast, ByRoutines };

// What happened to a case.
struct CaseOutcome {
  int iterations = 0;
  CaseFailure failure = CaseFailure::None;
  bool initialApproximationFailed = false;
  bool unchecked = false;  // no redundancy: no precision figures
  // The messages the case's steps raised, in order, for the caller to show.
  std::vector<std::string> messages;
};

// Computes the case of `tree` in `work` with the run's parameters. The
// scalars of the work area that a case does not set keep the previous
// case's values.
CaseOutcome ComputeCase(const TargetTree& tree, const RunParameters& parameters, CaseWork& work,
                        AdjustmentForm form = AdjustmentForm::Fast);

}  // namespace treetri
