// The plot viewer: draws one case, chosen on the results list, with its
// sighted map trees, their rays, a scale bar and the adjusted position and
// initial approximation read back from the results file.
#pragma once

#include "positioning/tables.h"

namespace treetri {

class UserInterface;

// The smaller / larger of two values; on a tie both return b.
inline double MinOf(double a, double b) { return a < b ? a : b; }
inline double MaxOf(double a, double b) { return a > b ? a : b; }

// Double-click on a line of the results list. Shows no messages: a header
// line, no selection or a case that no longer exists draws nothing; a
// results file that is missing, short or unreadable for that case leaves
// out the two position circles.
void List1_DblClick(const Tables& t, UserInterface& ui);

}  // namespace treetri
