#include "app/plot_map_window.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/gui/case_panel.h"
#include "app/gui/crs_dialog.h"
#include "app/gui/gpkg_export_task.h"
#include "app/gui/results_model.h"
#include "quality/quality_files.h"

namespace treetri {

using quality::Verdict;

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
  export_ = new GeoPackageExportTask(this);
  export_->onProgress = [this](int percent) { progress_->setValue(percent); };
  connect(cancel_, &QPushButton::clicked, this, [this] { export_->Cancel(); });
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(cancel_);
  progress_->hide();
  cancel_->hide();
  view_->onPointer = [this](QPointF at) {
    pointerAt_ = at;
    ShowPointer();
  };
  // Every zoom (wheel, keys, toolbar, fit) shows its scale at once.
  view_->onZoom = [this] {
    ShowLabels(labels_, view_->PixelsPerMetre());
    ShowPointer();
  };

  tabs_ = new QTabWidget;
  tabs_->addTab(view_, "Map");
  BuildResultsTab();
  setCentralWidget(tabs_);
  BuildSidePanel();
  BuildToolBar();
  SetUpEdits();
  askSaveFile = [this](const QString& caption, const QString& filter, const QString& offered,
                       QString& chosenFilter) {
    return QFileDialog::getSaveFileName(this, caption, offered, filter, &chosenFilter);
  };
  showMessage = [this](const QString& text) { QMessageBox::warning(this, "treetri", text); };
  askCrs = [this](QString& crs) { return CrsDialog::Ask(this, crs); };
  Reload();
}

QString PlotMapWindow::sessionCrs_;

// The export task cancels and joins its worker before the widgets go.
PlotMapWindow::~PlotMapWindow() { delete export_; }

bool PlotMapWindow::ExportRunning() const { return export_->Running(); }
QSortFilterProxyModel* PlotMapWindow::ResultsFilter() const { return proxy_; }
QTableWidget* PlotMapWindow::ObservationsTable() const { return panel_->ObservationsTable(); }
QLabel* PlotMapWindow::CaseLine() const { return panel_->CaseLine(); }

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
  // The legend: shown or hidden (L), and moved to the next corner.
  QAction* legend = bar->addAction("Legend");
  legend->setCheckable(true);
  legend->setChecked(true);
  legend->setShortcut(QKeySequence("L"));
  connect(legend, &QAction::toggled, this, [this](bool on) {
    view_->legendShown = on;
    view_->viewport()->update();
  });
  bar->addAction("Move legend", this, [this] {
    view_->legendCorner = static_cast<PlotMapView::Corner>((static_cast<int>(view_->legendCorner) + 1) % 4);
    view_->viewport()->update();
  });
  bar->addSeparator();
  exportView_ = bar->addAction("Export view…", this, [this] { ExportViewAsked(); });
  exportView_->setShortcut(QKeySequence("Ctrl+E"));
  exportGpkg_ = bar->addAction("Export GeoPackage…", this, [this] { ExportGeoPackageAsked(); });
  bar->addSeparator();
  undo_ = bar->addAction("Undo edit", this, [this] { UndoEdit(); });
  undo_->setShortcut(QKeySequence::Undo);
  undo_->setEnabled(false);
}

void PlotMapWindow::BuildSidePanel() {
  auto* dock = new QDockWidget("Case", this);
  dock->setObjectName("CasePanel");
  dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
  panel_ = new CasePanel;
  dock->setWidget(panel_);
  addDockWidget(Qt::RightDockWidgetArea, dock);
}

void PlotMapWindow::Reload() {
  maps_ = std::make_unique<quality::PlotMaps>(input_.PhotoTrees);
  // Filled apart from the sorting filter, which would sort row by row
  // (seconds for a few thousand cases), and sorted once when attached again.
  proxy_->setSourceModel(nullptr);
  model_->Fill(results_);
  PutEditedRows();
  proxy_->setSourceModel(model_);
  proxy_->sort(table_->horizontalHeader()->sortIndicatorSection(),
               table_->horizontalHeader()->sortIndicatorOrder());
  SizeTableColumns();
  if (!results_.Find(scene_.selectedCase)) scene_.selectedCase = 0;
  Rebuild(true);
}

void PlotMapWindow::CaseAdded(int caseNumber) {
  const quality::CaseQuality* c = results_.Find(caseNumber);
  if (!c) return;
  model_->Put(c->row);
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
  if (!samePlot) return FitCase();
  // In the same plot the view keeps its scale and moves to the case when
  // the case is not wholly in sight; a case larger than the view is fitted.
  const PlaneExtent& box = scene_.caseBox;
  if (box.empty) return;
  const QRectF caseRect =
      QRectF(ToScene(box.minX, box.maxY), ToScene(box.maxX, box.minY)).normalized();
  const QRectF visible = view_->mapToScene(view_->viewport()->rect()).boundingRect();
  if (visible.contains(caseRect)) return;
  if (caseRect.width() > visible.width() || caseRect.height() > visible.height())
    return FitCase();
  view_->centerOn(caseRect.center());
}

void PlotMapWindow::Rebuild(bool keepView) {
  const int previousPlot = scene_.plot;
  scene_ = views::BuildPlotScene(*maps_, results_, scene_.selectedCase, scene_.plot);
  rays_ = RaysOfUnpositionedCase();
  for (const SightingRay& r : rays_) {
    const double reach = r.distance.value_or(kRayLength);
    scene_.caseBox.AddFinite(r.x - reach, r.y - reach);
    scene_.caseBox.AddFinite(r.x + reach, r.y + reach);
  }
  // The legend keeps the selected field tree in sight.
  view_->keepClear.reset();
  for (const views::FieldTreeMark& f : scene_.fieldTrees)
    if (f.caseNumber == scene_.selectedCase) view_->keepClear = QRectF(ToScene(f.x, f.y), QSizeF());
  if (!keepView || scene_.plot != previousPlot) {
    const PlaneExtent& b = scene_.plotBox;
    frame_.origin = b.empty ? QPointF() : QPointF(std::round((b.minX + b.maxX) / 2),
                                                  std::round((b.minY + b.maxY) / 2));
  }
  DrawScene();
  panel_->Show(results_.Find(scene_.selectedCase), scene_.plot);
  ShowSightings();
  SelectTableRow();
  ShowSummary();
  if (!keepView || scene_.plot != previousPlot) FitPlot();
  setWindowTitle(scene_.plot ? QString("Plot %1 - plot map - treetri").arg(scene_.plot)
                             : QString("Plot map - treetri"));
}

void PlotMapWindow::ShowSummary() {
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
}

void PlotMapWindow::ShowPointer() {
  const QString scale = QString("%1 px/m").arg(view_->PixelsPerMetre(), 0, 'g', 3);
  if (!pointerAt_) return pointer_->setText(scale);
  const QPointF m = ToMap(*pointerAt_);
  pointer_->setText(QString("X %1   Y %2   ").arg(m.x(), 0, 'f', 2).arg(m.y(), 0, 'f', 2) + scale);
}

void PlotMapWindow::DrawScene() {
  view_->networkShown = scene_.network;
  labels_ = DrawPlotScene(*graphics_, scene_, frame_, exaggerated_ ? kEllipseExaggeration : 1);
  DrawSightingRays(*graphics_, rays_, frame_);
  ShowLabels(labels_, view_->PixelsPerMetre());
}

void PlotMapWindow::FitBox(const PlaneExtent& box) {
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
  PlaneExtent box = scene_.caseBox;
  for (const views::EllipseMark& e : scene_.ellipses)
    if (e.caseNumber == scene_.selectedCase) {
      box.AddFinite(e.x - kEllipseExaggeration * e.a, e.y - kEllipseExaggeration * e.a);
      box.AddFinite(e.x + kEllipseExaggeration * e.a, e.y + kEllipseExaggeration * e.a);
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

void PlotMapWindow::SetRunInProgress(bool running) {
  // At the end of a run the columns take the width of what they hold.
  if (runInProgress_ && !running) SizeTableColumns();
  runInProgress_ = running;
  exportGpkg_->setEnabled(!running && !ExportRunning());
  ShowSightings();
}

}  // namespace treetri
