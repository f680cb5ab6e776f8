// The program-wide state: every table and scalar that the commands share,
// from start-up to exit, composed of parts with one owner each. The fixed
// names stay: t.PhotoTrees, t.TargetTrees, t.Parameters, t.WorkFolder,
// t.Case.X_adj ... A fresh Tables is the start-up state. Functions take the
// narrowest part they need (a Tables converts to each of them).
#pragma once

#include "data/tables.h"
#include "positioning/case_work.h"

namespace treetri {

struct Tables : InputData, RunSettings, Session {
  CaseWork Case;
};

}  // namespace treetri
