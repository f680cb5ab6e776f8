#include "app/plot_map_window.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QInputDialog>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPdfWriter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace treetri {

using quality::QualityRow;
using quality::Verdict;
using namespace mapstyle;

namespace {

// Tree numbers appear from this scale on.
constexpr double kLabelPixelsPerMetre = 9;
constexpr double kExaggeration = 10;
constexpr int kSortRole = Qt::UserRole + 1;
constexpr int kCaseRole = Qt::UserRole + 2;

Qt::PenStyle LineStyle(views::SightingStyle s) {
  switch (s) {
    case views::SightingStyle::AzimuthOnly: return Qt::DashLine;
    case views::SightingStyle::DistanceOnly: return Qt::DotLine;
    case views::SightingStyle::Both: break;
  }
  return Qt::SolidLine;
}

QString Number(const std::optional<double>& v, int decimals) {
  return v ? QString::number(*v, 'f', decimals) : QString();
}

// A redundancy number of 0, or a rounding error below it, reads "0.000".
QString RedundancyNumber(double r) {
  const QString text = QString::number(r, 'f', 3);
  return text == "-0.000" ? text.mid(1) : text;
}

QString SuspectText(const QualityRow& r) {
  if (r.suspectKind == quality::SuspectKind::None || !r.suspectTree) return {};
  QString text = QString("%1 to %2").arg(quality::SuspectKindWord(r.suspectKind)).arg(*r.suspectTree);
  if (r.suspectW) text += QString(", w %1").arg(*r.suspectW, 0, 'f', 2);
  return text;
}

QString EllipseText(const QualityRow& r) {
  if (!r.conf95A || !r.conf95B) return {};
  return QString("%1 × %2").arg(*r.conf95A, 0, 'f', 3).arg(*r.conf95B, 0, 'f', 3);
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

// Rows of the results table that pass the text filter (any column) and the
// "only outliers" switch.
class ResultsFilterModel : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void Set(const QString& text, bool onlyOutliers) {
    text_ = text.trimmed();
    onlyOutliers_ = onlyOutliers;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    const QAbstractItemModel* m = sourceModel();
    if (onlyOutliers_ &&
        m->index(row, 4, parent).data().toString() != quality::VerdictWord(Verdict::Outlier))
      return false;
    if (text_.isEmpty()) return true;
    for (int c = 0; c < m->columnCount(parent); ++c)
      if (m->index(row, c, parent).data().toString().contains(text_, Qt::CaseInsensitive))
        return true;
    return false;
  }

 private:
  QString text_;
  bool onlyOutliers_ = false;
};

const QStringList kResultColumns = {"case",   "plot",           "tree",    "legacy status",
                                    "verdict", "σ0",            "ellipse 95 % (m)", "suspect",
                                    "suggestion"};
const QStringList kObservationColumns = {"slot", "tree", "kind", "observed", "v", "r",
                                         "w",    "gross error", "MDB", "control"};

}  // namespace

PlotMapWindow::PlotMapWindow(const InputData& input, const views::CaseResults& results,
                             QWidget* parent)
    : QMainWindow(parent), input_(input), results_(results) {
  setObjectName("PlotMap");
  setWindowTitle("Plot map - treetri");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::Window);
  resize(1280, 800);

  graphics_ = new QGraphicsScene(this);
  view_ = new PlotMapView(graphics_);
  view_->onClick = [this](QPointF at) {
    const QPointF m = ToMap(at);
    const int n = views::CaseNear(scene_, m.x(), m.y(), 8 / view_->PixelsPerMetre());
    if (n == 0) return;
    SelectCase(n);
    if (onCaseSelected) onCaseSelected(n);
  };
  pointer_ = new QLabel;
  summary_ = new QLabel;
  statusBar()->addWidget(summary_, 1);
  statusBar()->addPermanentWidget(pointer_);
  progress_ = new QProgressBar;
  progress_->setMaximumWidth(160);
  progress_->setFormat("GeoPackage %p%");
  cancel_ = new QPushButton("Cancel");
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelExport_ = true; });
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(cancel_);
  progress_->hide();
  cancel_->hide();
  view_->onPointer = [this](QPointF at) {
    const QPointF m = ToMap(at);
    pointer_->setText(QString("X %1   Y %2   %3 px/m")
                          .arg(m.x(), 0, 'f', 2)
                          .arg(m.y(), 0, 'f', 2)
                          .arg(view_->PixelsPerMetre(), 0, 'g', 3));
  };
  view_->onZoom = [this] { UpdateLabels(); };

  tabs_ = new QTabWidget;
  tabs_->addTab(view_, "Map");
  BuildResultsTab();
  setCentralWidget(tabs_);
  BuildSidePanel();
  BuildToolBar();
  askSaveFile = [this](const QString& caption, const QString& filter) {
    return QFileDialog::getSaveFileName(this, caption, QString(), filter);
  };
  showMessage = [this](const QString& text) { QMessageBox::warning(this, "treetri", text); };
  askCrs = [this](QString& crs) {
    bool ok = false;
    crs = QInputDialog::getText(
        this, "Export GeoPackage",
        "Coordinate reference system of the coordinates\n(EPSG:NNNN, WKT or PROJ text; empty for none):",
        QLineEdit::Normal, crs, &ok);
    return ok;
  };
  Reload();
}

QString PlotMapWindow::sessionCrs_;

PlotMapWindow::~PlotMapWindow() {
  cancelExport_ = true;
  JoinWorker();
}

void PlotMapWindow::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void PlotMapWindow::BuildToolBar() {
  QToolBar* bar = addToolBar("View");
  bar->setObjectName("PlotMapTools");
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  QAction* fitPlot = bar->addAction("Fit plot", this, [this] { FitPlot(); });
  fitPlot->setShortcut(QKeySequence("Ctrl+0"));
  QAction* fitCase = bar->addAction("Fit case", this, [this] { FitCase(); });
  fitCase->setShortcut(QKeySequence("Ctrl+9"));
  bar->addAction("Zoom in", this, [this] { view_->ZoomBy(1.25); })
      ->setShortcut(QKeySequence::ZoomIn);
  bar->addAction("Zoom out", this, [this] { view_->ZoomBy(0.8); })
      ->setShortcut(QKeySequence::ZoomOut);
  bar->addSeparator();
  exaggerate_ = bar->addAction("Ellipses ×10");
  exaggerate_->setCheckable(true);
  exaggerate_->setToolTip("Draw the confidence ellipses ten times their size");
  connect(exaggerate_, &QAction::toggled, this, [this](bool on) { SetExaggerated(on); });
  bar->addSeparator();
  exportView_ = bar->addAction("Export view…", this, [this] { ExportViewAsked(); });
  exportView_->setShortcut(QKeySequence("Ctrl+E"));
  exportGpkg_ = bar->addAction("Export GeoPackage…", this, [this] { ExportGeoPackageAsked(); });
}

void PlotMapWindow::BuildResultsTab() {
  model_ = new QStandardItemModel(0, static_cast<int>(kResultColumns.size()), this);
  model_->setHorizontalHeaderLabels(kResultColumns);
  auto* filter = new ResultsFilterModel(this);
  proxy_ = filter;
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(kSortRole);

  table_ = new QTableView;
  table_->setModel(proxy_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(0, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setAlternatingRowColors(true);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setStretchLastSection(true);
  // Widths for the contents as they come, so that a long run does not
  // measure the table after every case.
  const int widths[] = {50, 45, 55, 200, 95, 65, 110, 180};
  for (int c = 0; c < static_cast<int>(std::size(widths)); ++c)
    table_->setColumnWidth(c, widths[c]);
  connect(table_, &QTableView::activated, this,
          [this](const QModelIndex& index) { ActivateTableRow(index); });

  filterText_ = new QLineEdit;
  filterText_->setPlaceholderText("Filter: plot, tree, status, verdict…");
  filterText_->setClearButtonEnabled(true);
  onlyOutliers_ = new QCheckBox("only outliers");
  auto apply = [this, filter] { filter->Set(filterText_->text(), onlyOutliers_->isChecked()); };
  connect(filterText_, &QLineEdit::textChanged, this, apply);
  connect(onlyOutliers_, &QCheckBox::toggled, this, apply);

  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* top = new QHBoxLayout;
  top->addWidget(filterText_, 1);
  top->addWidget(onlyOutliers_);
  layout->addLayout(top);
  layout->addWidget(table_);
  tabs_->addTab(page, "Results");
}

void PlotMapWindow::BuildSidePanel() {
  auto* dock = new QDockWidget("Case", this);
  dock->setObjectName("CasePanel");
  dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  auto* panel = new QWidget;
  auto* layout = new QVBoxLayout(panel);
  caseLine_ = new QLabel("No case selected.");
  caseLine_->setWordWrap(true);
  caseLine_->setTextFormat(Qt::RichText);
  caseLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  caseLine_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  observations_ = new QTableWidget(0, static_cast<int>(kObservationColumns.size()));
  observations_->setHorizontalHeaderLabels(kObservationColumns);
  observations_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  observations_->verticalHeader()->hide();
  observations_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  observations_->verticalHeader()->setDefaultSectionSize(observations_->fontMetrics().height() + 6);
  observations_->setAlternatingRowColors(true);
  layout->addWidget(caseLine_);
  layout->addWidget(new QLabel("<b>Observations</b>"));
  layout->addWidget(observations_, 1);
  panel->setMinimumWidth(470);
  dock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, dock);
}

QPointF PlotMapWindow::ToMap(QPointF p) const {
  return {p.x() + origin_.x(), origin_.y() - p.y()};
}

QPointF PlotMapWindow::ToScene(double x, double y) const {
  return {x - origin_.x(), origin_.y() - y};
}

void PlotMapWindow::Reload() {
  maps_ = std::make_unique<quality::PlotMaps>(input_.PhotoTrees);
  // Filled apart from the sorting filter, which would sort row by row
  // (seconds for a few thousand cases), and sorted once when attached again.
  proxy_->setSourceModel(nullptr);
  model_->removeRows(0, model_->rowCount());
  rowOfCase_.clear();
  for (const quality::CaseQuality& c : results_.Cases()) {
    rowOfCase_[c.row.caseNumber] = model_->rowCount();
    model_->appendRow(TableRow(c.row));
  }
  proxy_->setSourceModel(model_);
  proxy_->sort(table_->horizontalHeader()->sortIndicatorSection(),
               table_->horizontalHeader()->sortIndicatorOrder());
  if (!results_.Find(scene_.selectedCase)) scene_.selectedCase = 0;
  Rebuild(true);
}

QList<QStandardItem*> PlotMapWindow::TableRow(const QualityRow& q) const {
  const QVariant none;
  const std::vector<std::pair<QString, QVariant>> cells = {
      {QString::number(q.caseNumber), q.caseNumber},
      {QString::number(q.plot), q.plot},
      {QString::number(q.tree), q.tree},
      {QString::fromStdString(views::ShownText(q.legacyStatus)),
       QString::fromStdString(views::ShownText(q.legacyStatus))},
      {quality::VerdictWord(q.verdict), static_cast<int>(q.verdict)},
      {Number(q.sigma0, 3), q.sigma0 ? QVariant(*q.sigma0) : none},
      {EllipseText(q), q.conf95A ? QVariant(*q.conf95A) : none},
      {SuspectText(q), SuspectText(q)},
      {q.suggestedTree ? QString::number(*q.suggestedTree) : QString(),
       q.suggestedTree ? QVariant(*q.suggestedTree) : none},
  };
  QList<QStandardItem*> items;
  for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
    auto* item = new QStandardItem(cells[static_cast<size_t>(c)].first);
    item->setData(cells[static_cast<size_t>(c)].second, kSortRole);
    item->setData(q.caseNumber, kCaseRole);
    if (c == 4) item->setForeground(ToQColor(views::VerdictColour(q.verdict)));
    if (c != 3 && c != 4 && c != 7) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    items.append(item);
  }
  return items;
}

void PlotMapWindow::CaseAdded(int caseNumber) {
  const quality::CaseQuality* c = results_.Find(caseNumber);
  if (!c) return;
  // A new case's row comes whole, so that the sorting filter places it once.
  auto [at, added] = rowOfCase_.emplace(caseNumber, model_->rowCount());
  const QList<QStandardItem*> items = TableRow(c->row);
  if (added) {
    model_->appendRow(items);
  } else {
    for (int column = 0; column < items.size(); ++column)
      model_->setItem(at->second, column, items[column]);
  }
  if (scene_.plot == 0 && scene_.fieldTrees.empty()) {
    ShowCase(caseNumber);
  } else if (c->row.plot == scene_.plot) {
    Rebuild(true);
  }
}

void PlotMapWindow::ShowCase(int caseNumber) {
  const quality::CaseQuality* c = results_.Find(caseNumber);
  if (!c) return;
  const bool samePlot = c->row.plot == scene_.plot && scene_.selectedCase != 0;
  scene_.selectedCase = caseNumber;
  Rebuild(samePlot);
  FitCase();
  tabs_->setCurrentWidget(view_);
}

void PlotMapWindow::ShowPlot(int plot) {
  scene_.selectedCase = 0;
  scene_.plot = plot;
  Rebuild(false);
}

void PlotMapWindow::SelectCase(int caseNumber) {
  if (!results_.Find(caseNumber)) return;
  const bool samePlot = results_.Find(caseNumber)->row.plot == scene_.plot;
  scene_.selectedCase = caseNumber;
  Rebuild(true);
  if (!samePlot) FitCase();
}

void PlotMapWindow::SelectTableRow() {
  if (table_->currentIndex().data(kCaseRole).toInt() == scene_.selectedCase) return;
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const QModelIndex index = proxy_->index(row, 0);
    if (index.data(kCaseRole).toInt() != scene_.selectedCase) continue;
    table_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
    return;
  }
}

void PlotMapWindow::Rebuild(bool keepView) {
  const int previousPlot = scene_.plot;
  scene_ = views::BuildPlotScene(*maps_, results_, scene_.selectedCase, scene_.plot);
  if (!keepView || scene_.plot != previousPlot) {
    const views::Box& b = scene_.plotBox;
    origin_ = b.empty ? QPointF() : QPointF(std::round((b.minX + b.maxX) / 2),
                                            std::round((b.minY + b.maxY) / 2));
  }
  DrawScene();
  FillSidePanel();
  SelectTableRow();
  std::array<int, 5> verdicts{};
  for (const views::FieldTreeMark& f : scene_.fieldTrees) ++verdicts[static_cast<size_t>(f.verdict)];
  QString counts;
  for (Verdict v : {Verdict::Ok, Verdict::Outlier, Verdict::NoRedundancy, Verdict::Failed})
    if (verdicts[static_cast<size_t>(v)] > 0)
      counts += QString(", %1 %2").arg(verdicts[static_cast<size_t>(v)]).arg(quality::VerdictWord(v));
  summary_->setText(scene_.plot ? QString("Plot %1: %2 map trees, %3 positioned field trees%4")
                                      .arg(scene_.plot)
                                      .arg(scene_.mapTrees.size())
                                      .arg(scene_.fieldTrees.size())
                                      .arg(counts) +
                                  // A far-off map tree is drawn but not framed: say so.
                                  (scene_.farOff.empty()
                                       ? QString()
                                       : " - " + QString::fromStdString(views::FarOffNote(scene_)))
                                : QString());
  if (!keepView || scene_.plot != previousPlot) FitPlot();
  setWindowTitle(scene_.plot ? QString("Plot %1 - plot map - treetri").arg(scene_.plot)
                             : QString("Plot map - treetri"));
}

void PlotMapWindow::DrawScene() {
  graphics_->clear();
  labels_.clear();
  auto label = [this](const QString& text, QPointF at, const QColor& colour, bool bold) {
    auto* item = new QGraphicsSimpleTextItem(text);
    QFont font = item->font();
    font.setPointSizeF(7.5);
    font.setBold(bold);
    item->setFont(font);
    item->setBrush(colour);
    item->setTransform(QTransform::fromTranslate(5, -15));
    graphics_->addItem(Marker(item, at, 6));
    labels_.append(item);
  };

  const double factor = exaggerated_ ? kExaggeration : 1;
  for (const views::EllipseMark& e : scene_.ellipses) {
    const QColor colour = ToQColor(views::VerdictColour(e.verdict));
    auto* item = new QGraphicsEllipseItem(-e.a * factor, -e.b * factor, 2 * e.a * factor,
                                          2 * e.b * factor);
    QColor fill = colour;
    fill.setAlpha(e.caseNumber == scene_.selectedCase ? 60 : 30);
    item->setPen(Cosmetic(colour, e.caseNumber == scene_.selectedCase ? 1.6 : 1.0));
    item->setBrush(fill);
    item->setPos(ToScene(e.x, e.y));
    item->setRotation(e.azimuth - 90);
    item->setZValue(1);
    graphics_->addItem(item);
  }

  for (const views::SightingLine& l : scene_.lines) {
    const QLineF segment(ToScene(l.x0, l.y0), ToScene(l.x1, l.y1));
    if (l.suspect) {
      auto* halo = graphics_->addLine(segment, Cosmetic(kSuspectHalo, 8));
      halo->setZValue(2);
    }
    const QColor colour = ToQColor(l.leftOut ? views::WColour(99) : views::WColour(l.absW));
    auto* line = graphics_->addLine(
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

  for (const views::MapTreeMark& m : scene_.mapTrees) {
    const QPointF at = ToScene(m.x, m.y);
    auto* dot = Marker(Dot(3.5, QPen(kMapTreeLine, 1), kMapTreeFill), at, 4);
    dot->setToolTip(QString("map tree %1").arg(m.tree));
    graphics_->addItem(dot);
    label(QString::number(m.tree), at, QColor(0x55, 0x55, 0x55), false);
  }
  if (scene_.suggested) {
    const QPointF at = ToScene(scene_.suggested->x, scene_.suggested->y);
    auto* ring = Marker(Dot(8, QPen(kSuggested, 2.2), Qt::NoBrush), at, 5);
    ring->setToolTip(QString("suggested tree %1").arg(scene_.suggested->tree));
    graphics_->addItem(ring);
  }
  for (const views::FieldTreeMark& f : scene_.fieldTrees) {
    const QPointF at = ToScene(f.x, f.y);
    const QColor colour = ToQColor(views::VerdictColour(f.verdict));
    const bool selected = f.caseNumber == scene_.selectedCase;
    if (selected) graphics_->addItem(Marker(Dot(9, QPen(Qt::black, 1.6), Qt::NoBrush), at, 5));
    // A case that only the legacy adjustment positioned: a ring there.
    auto* dot = f.atLegacyPosition ? Marker(Dot(5, QPen(colour, 2.2), Qt::white), at, 5)
                                   : Marker(Dot(5.5, QPen(colour.darker(150), 1), colour), at, 5);
    dot->setToolTip(QString("case %1, tree %2: %3%4")
                        .arg(f.caseNumber)
                        .arg(f.tree)
                        .arg(quality::VerdictWord(f.verdict))
                        .arg(f.atLegacyPosition ? ", at its legacy position" : ""));
    graphics_->addItem(dot);
    label(QString::number(f.tree), at, colour.darker(130), selected);
  }

  // Room to pan around the plot.
  QRectF extent = graphics_->itemsBoundingRect();
  const double margin = std::max({extent.width(), extent.height(), 50.0});
  graphics_->setSceneRect(extent.adjusted(-margin, -margin, margin, margin));
  UpdateLabels();
}

void PlotMapWindow::UpdateLabels() {
  const bool show = view_->PixelsPerMetre() >= kLabelPixelsPerMetre;
  for (QGraphicsItem* item : labels_) item->setVisible(show);
}

void PlotMapWindow::FillSidePanel() {
  observations_->setRowCount(0);
  const quality::CaseQuality* c = results_.Find(scene_.selectedCase);
  if (!c) {
    caseLine_->setText(scene_.plot ? QString("Plot %1: no case selected. Click a field tree.")
                                         .arg(scene_.plot)
                                   : QString("No results yet: run the positioning."));
    return;
  }
  const QualityRow& r = c->row;
  const QColor colour = ToQColor(views::VerdictColour(r.verdict));
  QString html = QString("<b>Case %1</b> &nbsp;plot %2, tree %3, species %4<br>")
                     .arg(r.caseNumber).arg(r.plot).arg(r.tree).arg(r.species);
  html += QString("verdict <b style='color:%1'>%2</b> &nbsp;legacy status: %3<br>")
              .arg(colour.name(), quality::VerdictWord(r.verdict),
                   QString::fromStdString(views::ShownText(r.legacyStatus)).toHtmlEscaped());
  if (r.x && r.y)
    html += QString("X %1 &nbsp;Y %2<br>").arg(*r.x, 0, 'f', 3).arg(*r.y, 0, 'f', 3);
  if (r.sigma0)
    html += QString("σ0 %1 (global test %2), redundancy %3, %4 sightings<br>")
                .arg(*r.sigma0, 0, 'f', 3)
                .arg(quality::GlobalTestWord(r.globalTest))
                .arg(r.redundancy ? QString::number(*r.redundancy) : QString("–"))
                .arg(r.usedSightings ? QString::number(*r.usedSightings) : QString("–"));
  if (r.conf95A && r.ellipseAzimuth)
    html += QString("95 % ellipse %1 m, major axis at %2°<br>")
                .arg(EllipseText(r))
                .arg(*r.ellipseAzimuth, 0, 'f', 1);
  if (!SuspectText(r).isEmpty()) {
    html += "suspect: " + SuspectText(r);
    if (r.suspectGrossError) html += QString(", gross error %1").arg(*r.suspectGrossError, 0, 'f', 3);
    html += "<br>";
  }
  if (r.suggestedTree)
    html += QString("<span style='color:%1'>suggested tree %2 (σ0 %3)</span><br>")
                .arg(kSuggested.name())
                .arg(*r.suggestedTree)
                .arg(Number(r.suggestedSigma0, 3));
  if (!r.warnings.empty())
    html += "<i>" + QString::fromStdString(views::ShownText(r.warnings)).toHtmlEscaped() + "</i>";
  caseLine_->setText(html);

  observations_->setRowCount(static_cast<int>(c->observations.size()));
  int row = 0;
  for (const quality::ObservationRow& o : c->observations) {
    const int decimals = o.kind == quality::ObservationKind::Azimuth ? 4 : 3;
    const QStringList cells = {QString::number(o.slot),
                               QString::number(o.sightedTree),
                               quality::KindWord(o.kind),
                               QString::number(o.observed, 'f', decimals),
                               QString::number(o.residual, 'f', decimals),
                               RedundancyNumber(o.redundancyNumber),
                               Number(o.w, 2),
                               Number(o.grossError, decimals),
                               Number(o.mdb, decimals),
                               quality::ControlWord(o.control)};
    for (int col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      if (col != 2 && col != 9) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (col == 6 && o.w && std::fabs(*o.w) >= views::kWarningW)
        item->setForeground(ToQColor(views::WColour(std::fabs(*o.w))));
      observations_->setItem(row, col, item);
    }
    ++row;
  }
}

void PlotMapWindow::FitBox(const views::Box& box) {
  if (box.empty) return;
  // At least 4 m across, and a margin of a tenth on every side.
  const double w = std::max(box.Width(), 4.0), h = std::max(box.Height(), 4.0);
  const double cx = (box.minX + box.maxX) / 2, cy = (box.minY + box.maxY) / 2;
  const QPointF a = ToScene(cx - 0.6 * w, cy + 0.6 * h);
  const QPointF b = ToScene(cx + 0.6 * w, cy - 0.6 * h);
  view_->Fit(QRectF(a, b));
}

void PlotMapWindow::FitPlot() { FitBox(scene_.plotBox); }

void PlotMapWindow::FitCase() {
  if (scene_.caseBox.empty) return FitPlot();
  if (!exaggerated_) return FitBox(scene_.caseBox);
  // The exaggerated ellipse needs more room.
  views::Box box = scene_.caseBox;
  for (const views::EllipseMark& e : scene_.ellipses)
    if (e.caseNumber == scene_.selectedCase) {
      box.Add(e.x - kExaggeration * e.a, e.y - kExaggeration * e.a);
      box.Add(e.x + kExaggeration * e.a, e.y + kExaggeration * e.a);
    }
  FitBox(box);
}

void PlotMapWindow::SetExaggerated(bool on) {
  if (exaggerate_->isChecked() != on) exaggerate_->setChecked(on);  // comes back here
  if (exaggerated_ == on) return;
  exaggerated_ = on;
  view_->ellipsesExaggerated = on;
  DrawScene();
}

void PlotMapWindow::ActivateTableRow(const QModelIndex& index) {
  const int n = index.data(kCaseRole).toInt();
  if (!results_.Find(n)) return;
  ShowCase(n);
  if (onCaseSelected) onCaseSelected(n);
}

bool PlotMapWindow::ExportView(const QString& path, std::string& error) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const QSize size = view_->viewport()->size();
  const QRectF target(QPointF(0, 0), QSizeF(size));
  // Written under a temporary name and renamed when complete: nothing
  // half-written is left under the name asked for.
  const QString part = path + ".part";
  auto paint = [&](QPaintDevice& device) {
    QPainter p(&device);
    if (!p.isActive()) return false;
    p.setRenderHints(view_->renderHints());
    p.fillRect(target, view_->backgroundBrush());
    view_->overlays = false;
    view_->render(&p, target, view_->viewport()->rect());
    view_->overlays = true;
    view_->PaintOverlays(p, target);
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
    const PensInMetres pens(*graphics_, view_->PixelsPerMetre());
    QSvgGenerator svg;
    svg.setFileName(part);
    svg.setSize(size);
    svg.setViewBox(target);
    svg.setResolution(96);
    svg.setTitle(windowTitle());
    svg.setDescription("Plot map of treetri");
    ok = paint(svg);
  } else if (suffix == "pdf") {
    QPdfWriter pdf(part);
    pdf.setResolution(96);
    pdf.setPageSize(QPageSize(QSizeF(size) * 25.4 / 96, QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setTitle(windowTitle());
    pdf.setCreator("treetri");
    ok = paint(pdf);
  } else {
    error = "The file \"" + path.toStdString() + "\": the view is saved as .png, .svg or .pdf";
    return false;
  }
  ok = ok && QFileInfo(part).size() > 0;
  if (ok) {
    QFile::remove(path);
    ok = QFile::rename(part, path);
  }
  if (!ok) {
    QFile::remove(part);
    error = "The view cannot be saved to \"" + path.toStdString() + "\"";
  }
  return ok;
}

void PlotMapWindow::ExportViewAsked() {
  const QString path = askSaveFile("Export view", "PNG image (*.png);;SVG drawing (*.svg);;PDF (*.pdf)");
  if (path.isEmpty()) return;
  std::string error;
  if (!ExportView(path, error)) showMessage(QString::fromStdString(error));
  else statusBar()->showMessage("Saved " + path, 5000);
}

void PlotMapWindow::SetRunInProgress(bool running) {
  runInProgress_ = running;
  exportGpkg_->setEnabled(!running && !ExportRunning());
}

void PlotMapWindow::ExportGeoPackageAsked() {
  if (ExportRunning() || runInProgress_) return;
  const QString path = askSaveFile("Export GeoPackage", "GeoPackage (*.gpkg)");
  if (path.isEmpty()) return;
  QString crs = sessionCrs_;
  if (!askCrs(crs)) return;
  ExportGeoPackage(path.endsWith(".gpkg", Qt::CaseInsensitive) ? path : path + ".gpkg", crs);
}

bool PlotMapWindow::ExportGeoPackage(const QString& path, const QString& crs) {
  if (ExportRunning() || runInProgress_ || !exportData) return false;
  const gis::ExportStatus check = gis::CheckCrs(crs.trimmed().toStdString());
  if (!check.Ok()) {
    showMessage(QString::fromStdString(check.message));
    return false;
  }
  sessionCrs_ = crs.trimmed();
  cancelExport_ = false;
  progress_->setValue(0);
  progress_->show();
  cancel_->show();
  exportGpkg_->setEnabled(false);
  // The worker owns a copy of the data; it reports back through queued
  // calls, which Qt drops once the window is gone.
  QPointer<PlotMapWindow> self(this);
  worker_ = std::thread([this, self, data = exportData(), target = path.toStdString(),
                         text = sessionCrs_.toStdString(), path] {
    const gis::ExportStatus status = gis::ExportGeoPackage(
        data, target, text, [this](long long done, long long total) {
          const int percent = total > 0 ? static_cast<int>(100 * done / total) : 0;
          QMetaObject::invokeMethod(progress_, "setValue", Qt::QueuedConnection,
                                    Q_ARG(int, percent));
          return !cancelExport_;
        });
    QMetaObject::invokeMethod(
        this, [self, status, path] { if (self) self->ExportFinished(status, path); },
        Qt::QueuedConnection);
  });
  return true;
}

void PlotMapWindow::ExportFinished(const gis::ExportStatus& status, const QString& path) {
  JoinWorker();
  progress_->hide();
  cancel_->hide();
  exportGpkg_->setEnabled(!runInProgress_);
  if (!status.Ok()) {
    if (status.code != gis::ExportCode::Cancelled)
      showMessage(QString::fromStdString(status.message));
    statusBar()->showMessage("GeoPackage export stopped", 5000);
    return;
  }
  if (!status.warning.empty()) showMessage(QString::fromStdString(status.warning));
  statusBar()->showMessage("Saved " + path, 5000);
}

}  // namespace treetri
