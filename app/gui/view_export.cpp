#include "app/gui/view_export.h"

#include <functional>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "app/gui/plot_map_view.h"
#include "platform/files.h"
#include "platform/temporary_files.h"

namespace treetri {

namespace {

// For as long as it lives, the items drawn to scale carry their cosmetic
// pens as pens of the same width in metres at the scale given. An SVG gets
// a cosmetic pen as vector-effect="non-scaling-stroke", which many SVG
// readers (librsvg and the image viewers built on it) ignore: they would
// draw each line as many pixels wide as the view has pixels per metre.
class PensInMetres {
 public:
  PensInMetres(QGraphicsScene& scene, double pixelsPerMetre) {
    for (QGraphicsItem* item : scene.items()) {
      if (item->flags() & QGraphicsItem::ItemIgnoresTransformations) continue;
      Scale(qgraphicsitem_cast<QGraphicsEllipseItem*>(item), pixelsPerMetre);
      Scale(qgraphicsitem_cast<QGraphicsLineItem*>(item), pixelsPerMetre);
    }
  }
  ~PensInMetres() {
    for (const auto& restore : restore_) restore();
  }
  PensInMetres(const PensInMetres&) = delete;
  PensInMetres& operator=(const PensInMetres&) = delete;

 private:
  template <class Item>
  void Scale(Item* item, double pixelsPerMetre) {
    if (!item || !item->pen().isCosmetic()) return;
    const QPen pen = item->pen();
    QPen scaled = pen;
    scaled.setCosmetic(false);
    scaled.setWidthF(pen.widthF() / pixelsPerMetre);
    item->setPen(scaled);
    restore_.push_back([item, pen] { item->setPen(pen); });
  }
  std::vector<std::function<void()>> restore_;
};

}  // namespace

bool ExportView(PlotMapView& view, const QString& title, const QString& path,
                std::string& error) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const QSize size = view.viewport()->size();
  const QRectF target(QPointF(0, 0), QSizeF(size));
  // A short temporary name beside the target; what a killed export left
  // there goes first.
  const std::string file = QFile::encodeName(path).toStdString();
  RemoveDeadTemporaries(file);
  const QString part = QFile::decodeName(TemporaryNameBeside(file, "." + suffix.toStdString()).c_str());
  auto paint = [&](QPaintDevice& device) {
    QPainter p(&device);
    if (!p.isActive()) return false;
    p.setRenderHints(view.renderHints());
    p.fillRect(target, view.backgroundBrush());
    // The viewport paints itself as on the screen. QGraphicsView::render
    // would look its items up without the view's scale, and so leave out a
    // marker or label of fixed screen size whose unscaled box lies outside
    // the part of the scene shown: at a close zoom, every label.
    view.overlays = false;
    view.viewport()->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    view.overlays = true;
    view.PaintOverlays(p, target);
    return p.end();
  };
  bool ok = false;
  if (suffix == "png") {
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    // 96 dots per inch in logical pixels: point sizes as on the screen.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    ok = paint(image) && image.save(part, "PNG");
  } else if (suffix == "svg") {
    const PensInMetres pens(*view.scene(), view.PixelsPerMetre());
    QSvgGenerator svg;
    svg.setFileName(part);
    svg.setSize(size);
    svg.setViewBox(target);
    svg.setResolution(96);
    svg.setTitle(title);
    svg.setDescription("Plot map of treetri");
    ok = paint(svg);
  } else if (suffix == "pdf") {
    QPdfWriter pdf(part);
    pdf.setResolution(96);
    pdf.setPageSize(QPageSize(QSizeF(size) * 25.4 / 96, QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(title);
    pdf.setCreator("treetri");
    ok = paint(pdf);
  } else {
    error = "The file \"" + path.toStdString() + "\": the view is saved as .png, .svg or .pdf";
    return false;
  }
  ok = ok && QFileInfo(part).size() > 0;
  std::string reason;
  if (ok) ok = ReplaceFile(QFile::encodeName(part).toStdString(),
                           QFile::encodeName(path).toStdString(), reason);
  if (!ok) {
    QFile::remove(part);
    error = "The view cannot be saved to \"" + path.toStdString() + "\"" +
            (reason.empty() ? "" : ": " + reason);
  }
  return ok;
}

}  // namespace treetri
