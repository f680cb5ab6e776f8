// The bounding box of points in the map's plane (X east, Y north, metres):
// the extent checked against a coordinate system's area of use and the boxes
// the plot map fits its view to.
#pragma once

#include <algorithm>
#include <cmath>

namespace treetri {

struct PlaneExtent {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool empty = true;

  void Add(double x, double y) {
    if (empty) {
      minX = maxX = x;
      minY = maxY = y;
      empty = false;
      return;
    }
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
  // Leaves out a point with a coordinate that is not finite (a drawing
  // framed around it would show nothing).
  void AddFinite(double x, double y) {
    if (std::isfinite(x) && std::isfinite(y)) Add(x, y);
  }
  double Width() const { return empty ? 0 : maxX - minX; }
  double Height() const { return empty ? 0 : maxY - minY; }
};

}  // namespace treetri
