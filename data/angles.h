// The circle constant at full double precision, for the code beside the
// positioning steps (quality adjustment, drawings, export, simulation). The
// positioning steps keep their own shorter value, kPi in
// positioning/case_steps.h, on which their results depend to the bit.
#pragma once

#include <cmath>

namespace treetri {

inline constexpr double kFullPi = 3.141592653589793238463;

// The unit vector (east, north) of an azimuth in degrees, clockwise from
// north: the orientation of an ellipse's major axis wherever one is drawn,
// exported or tested.
struct AzimuthUnit {
  double east, north;
};
inline AzimuthUnit UnitOfAzimuth(double degrees) {
  const double t = degrees * kFullPi / 180;
  return {std::sin(t), std::cos(t)};
}

}  // namespace treetri
