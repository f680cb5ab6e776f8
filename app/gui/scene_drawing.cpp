#include "app/gui/scene_drawing.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>

#include "app/gui/plot_map_view.h"
#include "quality/quality_files.h"

namespace treetri {

using namespace mapstyle;

namespace {

Qt::PenStyle LineStyle(views::SightingStyle s) {
  switch (s) {
    case views::SightingStyle::AzimuthOnly: return Qt::DashLine;
    case views::SightingStyle::DistanceOnly: return Qt::DotLine;
    case views::SightingStyle::Both: break;
  }
  return Qt::SolidLine;
}

// A marker of fixed screen size at a scene point.
template <class Item>
Item* Marker(Item* item, QPointF at, double z) {
  item->setPos(at);
  item->setFlag(QGraphicsItem::ItemIgnoresTransformations);
  item->setZValue(z);
  return item;
}

QGraphicsEllipseItem* Dot(double radius, const QPen& pen, const QBrush& brush) {
  auto* dot = new QGraphicsEllipseItem(-radius, -radius, 2 * radius, 2 * radius);
  dot->setPen(pen);
  dot->setBrush(brush);
  return dot;
}

}  // namespace

QList<QGraphicsItem*> DrawPlotScene(QGraphicsScene& graphics, const views::PlotScene& scene,
                                    const MapFrame& frame, double factor) {
  graphics.clear();
  QList<QGraphicsItem*> labels;
  auto label = [&](const QString& text, QPointF at, const QColor& colour, bool bold) {
    auto* item = new QGraphicsSimpleTextItem(text);
    QFont font = item->font();
    font.setPointSizeF(7.5);
    font.setBold(bold);
    item->setFont(font);
    item->setBrush(colour);
    item->setTransform(QTransform::fromTranslate(5, -15));
    graphics.addItem(Marker(item, at, 6));
    labels.append(item);
  };

  for (const views::EllipseMark& e : scene.ellipses) {
    const QColor colour = ToQColor(views::VerdictColour(e.verdict));
    auto* item = new QGraphicsEllipseItem(-e.a * factor, -e.b * factor, 2 * e.a * factor,
                                          2 * e.b * factor);
    QColor fill = colour;
    fill.setAlpha(e.caseNumber == scene.selectedCase ? 60 : 30);
    item->setPen(Cosmetic(colour, e.caseNumber == scene.selectedCase ? 1.6 : 1.0));
    item->setBrush(fill);
    item->setPos(frame.ToScene(e.x, e.y));
    item->setRotation(e.azimuth - 90);
    item->setZValue(1);
    graphics.addItem(item);
  }

  for (const views::SightingLine& l : scene.lines) {
    const QLineF segment(frame.ToScene(l.x0, l.y0), frame.ToScene(l.x1, l.y1));
    if (l.suspect) {
      auto* halo = graphics.addLine(segment, Cosmetic(kSuspectHalo, 8));
      halo->setZValue(2);
    }
    const QColor colour = ToQColor(l.leftOut ? views::WColour(99) : views::WColour(l.absW));
    auto* line = graphics.addLine(
        segment, Cosmetic(colour, l.suspect ? 2.4 : 1.6,
                          l.leftOut ? Qt::DashDotLine : LineStyle(l.style)));
    line->setZValue(3);
    line->setToolTip(QString("slot %1, tree %2: %3%4")
                         .arg(l.slot)
                         .arg(l.tree)
                         .arg(l.leftOut ? "left out of the adjustment"
                                        : views::SightingStyleLabel(l.style))
                         .arg(l.absW ? QString(", |w| %1").arg(*l.absW, 0, 'f', 2) : QString()));
  }

  // A confusable sighting: a dashed line on to the tree it may be confused
  // with, which is ringed.
  const QColor confusable = ToQColor(views::ConfusableColour());
  for (const views::SightingLine& l : scene.lines) {
    if (!l.confusableTree) continue;
    const auto to = std::find_if(scene.confusable.begin(), scene.confusable.end(),
                                 [&](const quality::MapTree& m) { return m.tree == *l.confusableTree; });
    if (to == scene.confusable.end()) continue;
    auto* line = graphics.addLine(QLineF(frame.ToScene(l.x0, l.y0), frame.ToScene(to->x, to->y)),
                                  Cosmetic(confusable, 1.4, Qt::DashLine));
    line->setZValue(2.5);
    const QString why =
        QString("slot %1, tree %2: confusable with tree %3%4")
            .arg(l.slot)
            .arg(l.tree)
            .arg(*l.confusableTree)
            .arg(l.confusableDistance
                     ? QString(" (a confusion within %1 m is not seen)").arg(*l.confusableDistance, 0, 'f', 2)
                     : QString());
    line->setToolTip(why);
    auto* ring = Marker(Dot(6.5, QPen(confusable, 1.8), Qt::NoBrush), frame.ToScene(to->x, to->y), 5);
    ring->setToolTip(why);
    graphics.addItem(ring);
  }

  for (const quality::MapTree& m : scene.mapTrees) {
    const QPointF at = frame.ToScene(m.x, m.y);
    auto* dot = Marker(Dot(3.5, QPen(kMapTreeLine, 1), kMapTreeFill), at, 4);
    dot->setToolTip(QString("map tree %1").arg(m.tree));
    graphics.addItem(dot);
    label(QString::number(m.tree), at, QColor(0x55, 0x55, 0x55), false);
  }
  if (scene.suggested) {
    const QPointF at = frame.ToScene(scene.suggested->x, scene.suggested->y);
    auto* ring = Marker(Dot(8, QPen(kSuggested, 2.2), Qt::NoBrush), at, 5);
    ring->setToolTip(QString("suggested tree %1").arg(scene.suggested->tree));
    graphics.addItem(ring);
  }
  for (const views::FieldTreeMark& f : scene.fieldTrees) {
    const QPointF at = frame.ToScene(f.x, f.y);
    const QColor colour = ToQColor(views::VerdictColour(f.verdict));
    const bool selected = f.caseNumber == scene.selectedCase;
    if (selected) graphics.addItem(Marker(Dot(9, QPen(Qt::black, 1.6), Qt::NoBrush), at, 5));
    if (f.confusable > 0) {
      auto* ring = Marker(Dot(7, QPen(confusable, 1.8), Qt::NoBrush), at, 5);
      ring->setToolTip(QString("case %1, tree %2: %3 confusable sighting%4")
                           .arg(f.caseNumber)
                           .arg(f.tree)
                           .arg(f.confusable)
                           .arg(f.confusable > 1 ? "s" : ""));
      graphics.addItem(ring);
    }
    // A case that only the legacy adjustment positioned: a ring there.
    auto* dot = f.atLegacyPosition ? Marker(Dot(5, QPen(colour, 2.2), Qt::white), at, 5)
                                   : Marker(Dot(5.5, QPen(colour.darker(150), 1), colour), at, 5);
    dot->setToolTip(QString("case %1, tree %2: %3%4")
                        .arg(f.caseNumber)
                        .arg(f.tree)
                        .arg(quality::VerdictWord(f.verdict))
                        .arg(f.atLegacyPosition ? ", at its legacy position" : ""));
    graphics.addItem(dot);
    label(QString::number(f.tree), at, colour.darker(130), selected);
  }

  // Room to pan around the plot.
  QRectF extent = graphics.itemsBoundingRect();
  const double margin = std::max({extent.width(), extent.height(), 50.0});
  graphics.setSceneRect(extent.adjusted(-margin, -margin, margin, margin));
  return labels;
}

void DrawSightingRays(QGraphicsScene& graphics, const std::vector<SightingRay>& rays,
                      const MapFrame& frame) {
  const QColor colour = ToQColor(views::VerdictColour(quality::Verdict::Failed));
  for (const SightingRay& r : rays) {
    const QPointF from = frame.ToScene(r.x, r.y);
    QGraphicsItem* item;
    if (r.direction) {
      const double length = r.distance.value_or(kRayLength);
      const QPointF to = frame.ToScene(r.x + length * std::cos(*r.direction),
                                       r.y + length * std::sin(*r.direction));
      item = graphics.addLine(QLineF(from, to), Cosmetic(colour, 1.6, Qt::DashLine));
    } else if (r.distance) {
      const double d = *r.distance;
      item = graphics.addEllipse(QRectF(from - QPointF(d, d), from + QPointF(d, d)),
                                 Cosmetic(colour, 1.2, Qt::DotLine));
    } else {
      continue;
    }
    item->setZValue(3);
    item->setToolTip(QString("slot %1, map tree %2: sighting of a case without a position%3")
                         .arg(r.slot)
                         .arg(r.tree)
                         .arg(r.direction ? (r.distance ? "" : " (no distance: ray of 5 m)")
                                          : " (distance only)"));
  }
}

void ShowLabels(const QList<QGraphicsItem*>& labels, double pixelsPerMetre) {
  const bool show = pixelsPerMetre >= kLabelPixelsPerMetre;
  if (!show) {
    for (QGraphicsItem* item : labels) item->setVisible(false);
    return;
  }
  // The selected case's label first, then the field trees', then the map
  // trees' (drawn in the reverse order); a label that would overlap one
  // placed before it waits for a closer zoom.
  std::vector<QGraphicsItem*> order(labels.rbegin(), labels.rend());
  std::stable_partition(order.begin(), order.end(), [](QGraphicsItem* item) {
    const auto* text = qgraphicsitem_cast<QGraphicsSimpleTextItem*>(item);
    return text && text->font().bold();
  });
  // Placed labels by screen cell, so that a plot of many trees costs about
  // one look per neighbour.
  constexpr double kCell = 64;
  std::unordered_map<long long, std::vector<QRectF>> cells;
  const auto key = [](long long cx, long long cy) { return cx * 1000003LL + cy; };
  for (QGraphicsItem* item : order) {
    const QRectF r = item->transform()
                         .mapRect(item->boundingRect())
                         .translated(item->pos() * pixelsPerMetre);
    const long long x0 = static_cast<long long>(std::floor(r.left() / kCell)),
                    x1 = static_cast<long long>(std::floor(r.right() / kCell)),
                    y0 = static_cast<long long>(std::floor(r.top() / kCell)),
                    y1 = static_cast<long long>(std::floor(r.bottom() / kCell));
    bool free = true;
    for (long long cx = x0; cx <= x1 && free; ++cx)
      for (long long cy = y0; cy <= y1 && free; ++cy)
        if (const auto it = cells.find(key(cx, cy)); it != cells.end())
          for (const QRectF& other : it->second)
            if (other.intersects(r)) {
              free = false;
              break;
            }
    item->setVisible(free);
    if (!free) continue;
    for (long long cx = x0; cx <= x1; ++cx)
      for (long long cy = y0; cy <= y1; ++cy) cells[key(cx, cy)].push_back(r);
  }
}

}  // namespace treetri
