// One case from its inputs to its outcome: set-up, initial approximation
// and the iterations of the adjustment. The iteration limit and the stop
// test live here and nowhere else. No file is written, nothing is shown.
#pragma once

#include <string>
#include <vector>

#include "data/tables.h"
#include "positioning/case_result.h"

namespace treetri {

struct CaseWork;

inline constexpr int kMaxIterations = 20;

// The stop test: both corrections of the field tree below 0.01 m, or both
// above 100 m (a case that runs away stops too).
bool CorrectionsStop(double dX, double dY);

// Which least-squares step the iterations use (both give the same bits).
enum class AdjustmentForm { Fast, ByRoutines };

// Computes the case of `tree` in `work` with the run's parameters and
// returns what it leaves (work.CaseNumber is the case's number). The
// scalars of the work area that a case does not set keep the previous
// case's values.
LegacyCaseResult ComputeCase(const TargetTree& tree, const RunParameters& parameters,
                             CaseWork& work, AdjustmentForm form = AdjustmentForm::Fast);

// The run driver's form: case caseNumber of t.TargetTrees in t.Case.
LegacyCaseResult ComputeCase(Tables& t, int caseNumber);

}  // namespace treetri
