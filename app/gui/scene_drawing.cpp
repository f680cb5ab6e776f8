#include "app/gui/scene_drawing.h"

#include <algorithm>

#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>

#include "app/gui/plot_map_view.h"

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

  for (const views::MapTreeMark& m : scene.mapTrees) {
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

void ShowLabels(const QList<QGraphicsItem*>& labels, double pixelsPerMetre) {
  const bool show = pixelsPerMetre >= kLabelPixelsPerMetre;
  for (QGraphicsItem* item : labels) item->setVisible(show);
}

}  // namespace treetri
