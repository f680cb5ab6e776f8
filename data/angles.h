// The circle constant at full double precision, for the code beside the
// positioning steps (quality adjustment, drawings, export, simulation). The
// positioning steps keep their own shorter value, kPi in
// positioning/case_steps.h, on which their results depend to the bit.
#pragma once

namespace treetri {

inline constexpr double kFullPi = 3.141592653589793238463;

}  // namespace treetri
