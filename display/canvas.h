// The run's overview canvas: axes with ticks for +-2 map units around the
// origin, and one magenta dot per positioned tree.
#pragma once

#include "data/tables.h"
#include "positioning/case_result.h"

namespace treetri {

class UserInterface;

// Clears the surface and draws the axes, ticks and labels (when drawFlag is
// true). Leaves the line width at 2.
void SetUpMapCanvas(UserInterface& ui, Flag& drawFlag);

// Draws the current case's adjusted position as a dot and lets the user
// interface process its pending events (when drawFlag is true and
// |X_adj| < 10).
void DrawCasePosition(const LegacyCaseResult& c, UserInterface& ui, Flag& drawFlag);

}  // namespace treetri
