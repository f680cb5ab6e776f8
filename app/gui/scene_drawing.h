// A plot scene (views::PlotScene, the plot map as data) drawn as graphics
// items: ellipses to scale, sighting lines by kind and |w|, map trees, the
// suggested tree and the field trees by verdict as markers of fixed screen
// size, with tree numbers as labels.
#pragma once

#include <optional>
#include <vector>

#include <QList>
#include <QPointF>

#include "views/plot_scene.h"

class QGraphicsItem;
class QGraphicsScene;

namespace treetri {

// Tree numbers appear from this scale on.
constexpr double kLabelPixelsPerMetre = 9;
// The factor of "Ellipses ×10".
constexpr double kEllipseExaggeration = 10;

// Map coordinates of a scene point and back: the scene is centred near the
// plot (at `origin`, map units) to keep screen arithmetic away from millions
// of metres; y grows upwards on the map, downwards in the scene.
struct MapFrame {
  QPointF origin;
  QPointF ToMap(QPointF scenePoint) const {
    return {scenePoint.x() + origin.x(), origin.y() - scenePoint.y()};
  }
  QPointF ToScene(double x, double y) const { return {x - origin.x(), origin.y() - y}; }
};

// Clears `graphics` and draws `scene` into it, ellipses `ellipseFactor`
// times their size; the scene rectangle leaves room to pan. Returns the
// labels, which ShowLabels shows or hides by scale.
QList<QGraphicsItem*> DrawPlotScene(QGraphicsScene& graphics, const views::PlotScene& scene,
                                    const MapFrame& frame, double ellipseFactor);
void ShowLabels(const QList<QGraphicsItem*>& labels, double pixelsPerMetre);

// A sighting of a case that has no position, drawn from its map tree (x, y)
// back towards where the field tree stands: a ray along the azimuth (of the
// distance's length, or kRayLength without one), or a circle of the
// distance without an azimuth.
struct SightingRay {
  int slot = 0, tree = 0;
  double x = 0, y = 0;
  std::optional<double> direction;  // radians, counter-clockwise from east
  std::optional<double> distance;   // metres
};
constexpr double kRayLength = 5;
void DrawSightingRays(QGraphicsScene& graphics, const std::vector<SightingRay>& rays,
                      const MapFrame& frame);

}  // namespace treetri
