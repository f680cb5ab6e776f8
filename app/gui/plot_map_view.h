// The map view of the plot map window: wheel and keys zoom, dragging pans,
// a click reports the scene point, and the legend, scale bar and north arrow
// are drawn over the map in screen units. Also the colours and pens that the
// map and its legend share.
#pragma once

#include <functional>
#include <optional>

#include <QColor>
#include <QGraphicsView>
#include <QPen>

#include "views/plot_scene.h"

namespace treetri {

namespace mapstyle {
inline const QColor kMapTreeFill(0xc8, 0xc8, 0xc8), kMapTreeLine(0x6e, 0x6e, 0x6e);
inline const QColor kSuggested(0x1f, 0x5f, 0xbf);
inline const QColor kSuspectHalo(0xd6, 0x27, 0x28, 80);
inline QColor ToQColor(views::Colour c) { return QColor(c.r, c.g, c.b); }
// A pen of the same width in screen pixels at every zoom.
QPen Cosmetic(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine);
}  // namespace mapstyle

class PlotMapView : public QGraphicsView {
 public:
  explicit PlotMapView(QGraphicsScene* scene, QWidget* parent = nullptr);

  // Scale of the view: screen pixels per metre.
  double PixelsPerMetre() const;
  void ZoomBy(double factor);
  // Shows sceneRect whole, as large as it fits beside the legend, and keeps
  // it so when the view is resized, until it is zoomed or panned.
  void Fit(const QRectF& sceneRect);
  // Paints the legend, scale bar and north arrow into `area` (screen units).
  void PaintOverlays(QPainter& painter, const QRectF& area) const;
  // The part of the viewport that the legend leaves free for the map.
  QRect FreeArea() const;

  // The legend: shown or not, and the corner it prefers. It moves to the
  // next corner where it would cover `keepClear` (the selected case, scene
  // units), and is left out when every corner would.
  enum class Corner { TopLeft, TopRight, BottomRight, BottomLeft };
  bool legendShown = true;
  Corner legendCorner = Corner::TopLeft;
  std::optional<QRectF> keepClear;
  // The plot network's marks have their legend entries.
  bool networkShown = false;
  // The legend's box as drawn in `area` (screen units); empty when not drawn.
  QRectF LegendRect(const QRectF& area) const;

  std::function<void(QPointF)> onClick;    // scene point of a click
  std::function<void(QPointF)> onPointer;      // scene point under the pointer
  std::function<void()> onZoom;                // after the scale changed
  bool overlays = true;                        // drawn on the screen
  bool ellipsesExaggerated = false;            // for the legend

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void drawForeground(QPainter* painter, const QRectF& rect) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QFont OverlayFont() const;
  QPoint pressAt_;
  std::optional<QRectF> fitted_;  // the rectangle last fitted, while it is shown so
};

}  // namespace treetri
