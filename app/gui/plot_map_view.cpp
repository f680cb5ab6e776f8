#include "app/gui/plot_map_view.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

namespace treetri {

using quality::Verdict;
using namespace mapstyle;

namespace {
constexpr double kMinPixelsPerMetre = 0.02, kMaxPixelsPerMetre = 4000;

struct Entry {
  enum Kind { DotEntry, RingEntry, EllipseEntry, LineEntry, RampEntry } kind;
  QString text;
  QColor colour;
  Qt::PenStyle style = Qt::SolidLine;
};

std::vector<Entry> LegendEntries(bool exaggerated, bool network) {
  std::vector<Entry> entries = {
      {Entry::DotEntry, "ok", ToQColor(views::VerdictColour(Verdict::Ok))},
      {Entry::DotEntry, "outlier", ToQColor(views::VerdictColour(Verdict::Outlier))},
      {Entry::DotEntry, "no redundancy", ToQColor(views::VerdictColour(Verdict::NoRedundancy))},
      {Entry::DotEntry, "failed", ToQColor(views::VerdictColour(Verdict::Failed))},
      {Entry::RingEntry, "failed, legacy position", ToQColor(views::VerdictColour(Verdict::Failed))},
      {Entry::DotEntry, "map tree", kMapTreeFill},
      {Entry::RingEntry, "suggested tree", kSuggested},
      {Entry::EllipseEntry, exaggerated ? "95 % ellipse ×10" : "95 % ellipse",
       ToQColor(views::VerdictColour(Verdict::Ok))},
      {Entry::LineEntry, "azimuth and distance", Qt::black, Qt::SolidLine},
      {Entry::LineEntry, "azimuth only", Qt::black, Qt::DashLine},
      {Entry::LineEntry, "distance only", Qt::black, Qt::DotLine},
      {Entry::LineEntry, "suspect sighting", ToQColor(views::WColour(9)), Qt::SolidLine},
      {Entry::LineEntry, "left out of the adjustment", ToQColor(views::WColour(99)),
       Qt::DashDotLine},
      {Entry::LineEntry, "sighting of a case not positioned",
       ToQColor(views::VerdictColour(Verdict::Failed)), Qt::DashLine},
      {Entry::RampEntry, "|w|  0 … 3.3", Qt::black},
  };
  // The plot network's marks, where its results are shown.
  if (network) {
    const QColor confusable = ToQColor(views::ConfusableColour());
    entries.insert(entries.end() - 1,
                   {{Entry::LineEntry, quality::kConfusableSightingText, confusable, Qt::DashLine},
                    {Entry::RingEntry, quality::kConfusableTreeText, confusable}});
  }
  return entries;
}

double LineHeight(const QFontMetricsF& fm) { return fm.height() + 3; }

// The legend's box in a corner of `area`: clear of the north arrow (top
// right) and the scale bar (bottom left).
QRectF LegendBox(const QRectF& area, const QFontMetricsF& fm, const std::vector<Entry>& entries,
                 PlotMapView::Corner corner) {
  double textWidth = 0;
  for (const Entry& e : entries) textWidth = std::max(textWidth, fm.horizontalAdvance(e.text));
  const double w = textWidth + 48, h = LineHeight(fm) * static_cast<double>(entries.size()) + 10;
  switch (corner) {
    case PlotMapView::Corner::TopLeft: return QRectF(area.left() + 10, area.top() + 10, w, h);
    case PlotMapView::Corner::TopRight: return QRectF(area.right() - 10 - w, area.top() + 60, w, h);
    case PlotMapView::Corner::BottomRight:
      return QRectF(area.right() - 10 - w, area.bottom() - 10 - h, w, h);
    case PlotMapView::Corner::BottomLeft:
      return QRectF(area.left() + 10, area.bottom() - 40 - h, w, h);
  }
  return {};
}

bool LeftCorner(PlotMapView::Corner c) {
  return c == PlotMapView::Corner::TopLeft || c == PlotMapView::Corner::BottomLeft;
}

}  // namespace

namespace mapstyle {
QPen Cosmetic(const QColor& colour, double width, Qt::PenStyle style) {
  QPen pen(colour, width, style, Qt::RoundCap, Qt::RoundJoin);
  pen.setCosmetic(true);
  return pen;
}

}  // namespace mapstyle

PlotMapView::PlotMapView(QGraphicsScene* scene, QWidget* parent) : QGraphicsView(scene, parent) {
  setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                 QPainter::SmoothPixmapTransform);
  setDragMode(QGraphicsView::ScrollHandDrag);
  setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
  setResizeAnchor(QGraphicsView::AnchorViewCenter);
  setViewportUpdateMode(QGraphicsView::FullViewportUpdate);  // overlays stay whole
  setBackgroundBrush(QColor(0xfb, 0xfb, 0xf8));
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  // Dragging pans; scroll bars would only take room from the map.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

double PlotMapView::PixelsPerMetre() const { return transform().m11(); }

void PlotMapView::ZoomBy(double factor) {
  const double now = PixelsPerMetre();
  const double next = std::clamp(now * factor, kMinPixelsPerMetre, kMaxPixelsPerMetre);
  fitted_.reset();
  if (now > 0 && next != now) scale(next / now, next / now);
  if (onZoom) onZoom();
}

QFont PlotMapView::OverlayFont() const {
  QFont font = this->font();
  font.setPointSizeF(8.5);
  return font;
}

QRect PlotMapView::FreeArea() const {
  QRect area = viewport()->rect();
  if (!legendShown) return area;
  const QRectF legend = LegendBox(area, QFontMetricsF(OverlayFont()),
                                  LegendEntries(ellipsesExaggerated, networkShown), legendCorner);
  // Beside the legend, unless that leaves less than half of the view.
  if (LeftCorner(legendCorner))
    area.setLeft(std::min(static_cast<int>(std::ceil(legend.right())) + 6, area.width() / 2));
  else
    area.setRight(std::max(static_cast<int>(std::floor(legend.left())) - 6, area.width() / 2));
  return area;
}

QRectF PlotMapView::LegendRect(const QRectF& area) const {
  if (!legendShown) return {};
  const QFontMetricsF fm(OverlayFont());
  const std::vector<Entry> entries = LegendEntries(ellipsesExaggerated, networkShown);
  // The selected case on the screen, with room for its mark.
  const QRectF clear = keepClear ? QRectF(mapFromScene(*keepClear).boundingRect())
                                       .adjusted(-10, -10, 10, 10)
                                 : QRectF();
  for (int k = 0; k < 4; ++k) {
    const auto corner = static_cast<Corner>((static_cast<int>(legendCorner) + k) % 4);
    const QRectF box = LegendBox(area, fm, entries, corner);
    if (clear.isNull() || !box.intersects(clear)) return box;
  }
  return {};
}

void PlotMapView::Fit(const QRectF& r) {
  const QRectF free = FreeArea();
  if (r.width() <= 0 || r.height() <= 0 || free.isEmpty()) return;
  const double next = std::clamp(std::min(free.width() / r.width(), free.height() / r.height()),
                                 kMinPixelsPerMetre, kMaxPixelsPerMetre);
  setTransform(QTransform::fromScale(next, next));
  // The rectangle's centre in the middle of the free part.
  const QPointF offset = QPointF(viewport()->rect().center()) - free.center();
  centerOn(r.center() + offset / next);
  fitted_ = r;
  if (onZoom) onZoom();
}

void PlotMapView::resizeEvent(QResizeEvent* event) {
  QGraphicsView::resizeEvent(event);
  // A fit made before the window had its size (or before a resize) is made
  // again for the new size.
  if (fitted_) Fit(*fitted_);
}

void PlotMapView::wheelEvent(QWheelEvent* event) {
  ZoomBy(std::pow(1.0015, event->angleDelta().y()));
  event->accept();
}

void PlotMapView::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomBy(1.25); return;
    case Qt::Key_Minus: ZoomBy(0.8); return;
    default: QGraphicsView::keyPressEvent(event);
  }
}

void PlotMapView::mousePressEvent(QMouseEvent* event) {
  pressAt_ = event->position().toPoint();
  QGraphicsView::mousePressEvent(event);
}

void PlotMapView::mouseReleaseEvent(QMouseEvent* event) {
  QGraphicsView::mouseReleaseEvent(event);
  const QPoint at = event->position().toPoint();
  const bool click = (at - pressAt_).manhattanLength() < 4;
  if (!click) fitted_.reset();  // panned
  if (event->button() == Qt::LeftButton && click && onClick) onClick(mapToScene(at));
}

void PlotMapView::mouseMoveEvent(QMouseEvent* event) {
  QGraphicsView::mouseMoveEvent(event);
  if (onPointer) onPointer(mapToScene(event->position().toPoint()));
}

void PlotMapView::drawForeground(QPainter* painter, const QRectF& rect) {
  QGraphicsView::drawForeground(painter, rect);
  if (!overlays) return;
  painter->save();
  painter->resetTransform();
  PaintOverlays(*painter, viewport()->rect());
  painter->restore();
}

void PlotMapView::PaintOverlays(QPainter& p, const QRectF& area) const {
  p.setRenderHint(QPainter::Antialiasing);
  const QFont font = OverlayFont();
  p.setFont(font);
  const QFontMetricsF fm(font);
  const double line = LineHeight(fm);

  // Legend, top left.
  const std::vector<Entry> entries = LegendEntries(ellipsesExaggerated, networkShown);
  const QRectF box = LegendRect(area);
  if (!box.isNull()) {
    p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1));
    p.setBrush(QColor(255, 255, 255, 225));
    p.drawRoundedRect(box, 3, 3);
    double y = box.top() + 5 + line / 2;
    for (const Entry& e : entries) {
      const QPointF symbol(box.left() + 18, y);
      switch (e.kind) {
        case Entry::DotEntry:
          p.setPen(QPen(e.colour == kMapTreeFill ? kMapTreeLine : e.colour.darker(140), 1));
          p.setBrush(e.colour);
          p.drawEllipse(symbol, 4.5, 4.5);
          break;
        case Entry::RingEntry:
          p.setPen(QPen(e.colour, 2));
          p.setBrush(Qt::NoBrush);
          p.drawEllipse(symbol, e.colour == kSuggested ? 6 : 4, e.colour == kSuggested ? 6 : 4);
          break;
        case Entry::EllipseEntry: {
          QColor fill = e.colour;
          fill.setAlpha(40);
          p.setPen(QPen(e.colour, 1));
          p.setBrush(fill);
          p.drawEllipse(symbol, 10, 5);
          break;
        }
        case Entry::LineEntry:
          if (e.text.startsWith("suspect")) {
            p.setPen(QPen(kSuspectHalo, 7, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(symbol - QPointF(11, 0), symbol + QPointF(11, 0));
          }
          p.setPen(QPen(e.colour, 1.8, e.style, Qt::FlatCap));
          p.drawLine(symbol - QPointF(11, 0), symbol + QPointF(11, 0));
          break;
        case Entry::RampEntry:
          for (int i = 0; i < 22; ++i) {
            p.setPen(Qt::NoPen);
            p.setBrush(ToQColor(views::WColour(quality::kCriticalW * i / 21.0)));
            p.drawRect(QRectF(symbol.x() - 11 + i, y - 4, 1.05, 8));
          }
          break;
      }
      p.setPen(Qt::black);
      p.drawText(QPointF(box.left() + 36, y + fm.ascent() / 2 - 1), e.text);
      y += line;
    }
  }

  // North arrow, top right.
  const QPointF tip(area.right() - 28, area.top() + 14);
  QPainterPath arrow;
  arrow.moveTo(tip);
  arrow.lineTo(tip + QPointF(9, 28));
  arrow.lineTo(tip + QPointF(0, 21));
  arrow.lineTo(tip + QPointF(-9, 28));
  arrow.closeSubpath();
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(0x30, 0x30, 0x30));
  p.drawPath(arrow);
  p.drawText(QRectF(tip.x() - 10, tip.y() + 30, 20, line), Qt::AlignCenter, "N");

  // Scale bar, bottom left: at most 140 pixels long.
  const double ppm = PixelsPerMetre();
  const double metres = views::ScaleBarLength(140 / ppm);
  if (metres > 0) {
    const double length = metres * ppm;
    const QPointF start(area.left() + 14, area.bottom() - 18);
    p.setPen(QPen(Qt::black, 1));
    for (int i = 0; i < 4; ++i) {
      p.setBrush(i % 2 ? Qt::white : Qt::black);
      p.drawRect(QRectF(start.x() + length * i / 4, start.y(), length / 4, 5));
    }
    const QString unit = metres >= 1000 ? QString("%1 km").arg(metres / 1000)
                                        : QString("%1 m").arg(metres);
    p.drawText(QPointF(start.x(), start.y() - 4), "0");
    p.drawText(QPointF(start.x() + length - fm.horizontalAdvance(unit) / 2, start.y() - 4),
               unit);
  }
}

}  // namespace treetri
