#include "app/main_window.h"

#include <cstdio>
#include <cstdlib>

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include "app/help_window.h"
#include "app/plot_map_window.h"
#include "core/export_observer.h"
#include "core/quality_observer.h"
#include "core/startup.h"
#include "data/readers.h"
#include "display/plot_viewer.h"
#include "gis/run_export.h"
#include "platform/files.h"
#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"

#ifndef TREETRI_VERSION
#define TREETRI_VERSION "dev"
#endif

namespace treetri {

namespace {

// Layout in pixels at 96 dots per inch (device-pixel ratio 1).
constexpr int kClientWidth = 1006, kClientHeight = 538;
constexpr int kPictureLeft = 8, kPictureTop = 16, kPictureSize = 345;
constexpr int kListLeft = 376, kListTop = 16, kListWidth = 601, kListHeight = 409;
// The run's progress bar and Cancel button, in the room under the list.
constexpr int kRunRowTop = kListTop + kListHeight + 8, kRunRowHeight = 24;
constexpr int kCancelWidth = 111, kRunRowGap = 10;

// The list's columns line up only in a fixed-pitch font.
QFont ListFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(9);
  return font;
}

}  // namespace

MainWindow::MainWindow(Tables& tables, QWidget* parent) : QMainWindow(parent), t_(tables) {
  setObjectName("Form1");
  setWindowTitle("Trisection and trilateration - treetri " TREETRI_VERSION);

  auto* client = new QWidget(this);
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  picture_ = new PictureBox(kPictureSize, kPictureSize, client);
  picture_->setObjectName("Picture1");
  picture_->move(kPictureLeft, kPictureTop);

  list_ = new QListWidget(client);
  list_->setObjectName("List1");
  list_->setGeometry(kListLeft, kListTop, kListWidth, kListHeight);
  list_->setFont(ListFont());
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Long status texts stay whole; the list scrolls sideways to them.
  list_->setTextElideMode(Qt::ElideNone);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { List1_DblClick(); });
  // The plot map of the selected line: context menu, Ctrl+M or Enter.
  showOnMap_ = new QAction("Show on plot map", list_);
  showOnMap_->setObjectName("ShowOnPlotMap");
  showOnMap_->setShortcut(QKeySequence("Ctrl+M"));
  showOnMap_->setShortcutContext(Qt::WindowShortcut);
  connect(showOnMap_, &QAction::triggered, this, [this] { ShowPlotMap(); });
  list_->addAction(showOnMap_);
  list_->setContextMenuPolicy(Qt::ActionsContextMenu);
  list_->installEventFilter(this);
  // An open plot map follows the line selected in the list.
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (plotMap_ && plotMap_->SelectedCase() != row && results_.Find(row))
      plotMap_->SelectCase(row);
  });

  ui_ = std::make_unique<QtUi>(list_, picture_, this);

  progress_ = new QProgressBar(client);
  progress_->setObjectName("RunProgress");
  progress_->setGeometry(kListLeft, kRunRowTop, kListWidth - kCancelWidth - kRunRowGap,
                         kRunRowHeight);
  progress_->setFormat("case %v of %m");
  progress_->hide();
  cancel_ = new QPushButton("Cancel", client);
  cancel_->setObjectName("CancelRun");
  cancel_->setGeometry(kListLeft + kListWidth - kCancelWidth, kRunRowTop, kCancelWidth,
                       kRunRowHeight);
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });

  fileMenu_ = menuBar()->addMenu("File");
  fileMenu_->setObjectName("File");
  openMap_ = fileMenu_->addAction("Open photogrammetric map (ilmakuvapuut)");
  openMap_->setObjectName("Open_PhotogrammetricMap");
  openSightings_ = fileMenu_->addAction("Open field observations (suuntimat)");
  openSightings_->setObjectName("OPen_Field_observations");
  simulate_ = fileMenu_->addAction("Calculate positions (tasoituslaskenta)");
  simulate_->setObjectName("Simulate");
  exit_ = fileMenu_->addAction("Exit Program");
  exit_->setObjectName("Exit_Program");
  helpAction_ = menuBar()->addAction("Help");
  helpAction_->setObjectName("Help");

  connect(openMap_, &QAction::triggered, this, [this] { Open_PhotogrammetricMap(); });
  connect(openSightings_, &QAction::triggered, this, [this] { OPen_Field_observations(); });
  connect(simulate_, &QAction::triggered, this, [this] { Simulate(); });
  connect(exit_, &QAction::triggered, this, [this] { Exit_Program(); });
  connect(helpAction_, &QAction::triggered, this, [this] { ShowHelp(); });

  // The window keeps the size of its client area and menu bar.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

MainWindow::~MainWindow() {
  // The plot map reads the results this window owns: it goes first.
  delete plotMap_;
}

bool MainWindow::RunStartUp() { return RunStartUpIn(CurrentDirectory()); }

bool MainWindow::RunStartUpIn(const std::string& directory) {
  const bool started = StartUpIn(t_, *ui_, directory);
  ui_->SetStartFolder(t_.WorkFolder);
  return started;
}

void MainWindow::Open_PhotogrammetricMap() {
  if (t_.RunInProgress) return;
  ui_->SetStartFolder(t_.WorkFolder);
  treetri::Open_PhotogrammetricMap(t_, *ui_);
}

void MainWindow::OPen_Field_observations() {
  if (t_.RunInProgress) return;
  ui_->SetStartFolder(t_.WorkFolder);
  treetri::OPen_Field_observations(t_, *ui_);
}

RunOutcome MainWindow::Simulate() {
  if (t_.RunInProgress) return {};
  // The tables must stay as they are while the run processes events between
  // its cases: the commands that change them, or start a second run, wait.
  struct RunScope {
    MainWindow* w;
    explicit RunScope(MainWindow* window) : w(window) {
      w->t_.RunInProgress = true;
      w->UpdateCommands();
    }
    ~RunScope() {
      w->t_.RunInProgress = false;
      w->UpdateCommands();
    }
  } scope(this);
  cancelRequested_ = false;
  // The run's own observer: the progress bar, a repaint at least every
  // interval whatever the canvas draws, and the Cancel button's request.
  struct Progress : RunHooks {
    MainWindow* w;
    explicit Progress(MainWindow* window) : w(window) {}
    void OnCaseDone(const CaseReport& r) override { w->ShowProgress(r.caseNumber, r.caseCount); }
    bool CancelRequested() override { return w->cancelRequested_; }
  } progress(this);
  // The quality files: emptied with the results file, one case's lines after
  // each case; what the GeoPackage export takes, gathered case by case; the
  // plot map, when open, following case by case.
  QualityObserver quality(t_, *ui_);
  ExportObserver exportData(t_.PhotoTrees, &quality);
  struct PlotMapFeed : RunHooks {
    MainWindow& w;
    const QualityObserver& quality;
    PlotMapFeed(MainWindow& window, const QualityObserver& q) : w(window), quality(q) {}
    bool OnRunStart(const RunSettings&, std::string&) override {
      w.results_.Clear();
      if (w.plotMap_) w.plotMap_->Reload();
      return true;
    }
    void OnCaseDone(const CaseReport& r) override {
      if (r.outcome.failure == CaseFailure::None)
        w.results_.SetLegacyPosition(r.caseNumber, r.work.X_adj, r.work.Y_adj);
      const quality::CaseQuality* q = quality.Assessed(r.caseNumber);
      if (!q) return;
      w.results_.Add(*q);
      if (!w.plotMap_) return;
      w.plotMap_->CaseAdded(r.caseNumber);
    }
  } feed(*this, quality);
  // The progress observer comes last: its repaint shows the map's update.
  const RunOutcome outcome =
      treetri::Simulate(t_, *ui_, {&quality, &exportData, &feed, &progress});
  ui_->FlushList();
  exportData_ = exportData.Data();
  return outcome;
}

void MainWindow::ShowProgress(int i, int n) {
  if (i != n && sinceRefresh_.isValid() && sinceRefresh_.elapsed() < QtUi::kRefreshMilliseconds)
    return;
  progress_->setRange(0, n);
  progress_->setValue(i);
  ui_->Refresh();
  sinceRefresh_.start();
}

void MainWindow::Exit_Program() {
  if (exitHook) {
    exitHook();
    return;
  }
  if (t_.RunInProgress) {
    // Inside a run the event loop is not ours to leave: end here. Every line
    // of the run's files has gone to the system in one write, so the files
    // are complete up to the last finished case.
    std::fflush(nullptr);
    std::_Exit(0);
  }
  if (help_) help_->close();
  QCoreApplication::exit(0);
}

void MainWindow::ShowHelp() {
  if (!help_) {
    help_ = new HelpWindow(HelpText(t_), this);
    help_->show();
  }
  help_->raise();
  help_->activateWindow();
}

void MainWindow::List1_DblClick() { treetri::List1_DblClick(t_, *ui_); }

PlotMapWindow* MainWindow::ShowPlotMap(int caseNumber) {
  if (caseNumber == 0) caseNumber = ui_->ListSelectedIndex();
  if (caseNumber < 1) return nullptr;
  // Without a run in this session, the quality files of the last run in the
  // work folder, when they are there.
  const std::string qualityPath = t_.WorkFolder + quality::kQualityFileName;
  if (results_.Cases().empty() && !t_.RunInProgress && FileExists(qualityPath)) {
    std::string error;
    std::vector<std::string> warnings;
    if (!results_.Load(qualityPath, t_.WorkFolder + quality::kObservationsFileName, error,
                       &warnings))
      ui_->MessageBox(error);
    for (const std::string& w : warnings) ui_->MessageBox(w);
  }
  const bool known = results_.Find(caseNumber) != nullptr;
  const bool onList = caseNumber <= t_.TargetTreeCount && caseNumber <= t_.TargetTrees.Size();
  if (!known && !onList) return nullptr;
  if (!plotMap_) {
    plotMap_ = new PlotMapWindow(t_, results_, this);
    plotMap_->onCaseSelected = [this](int n) {
      ui_->FlushList();
      if (n < list_->count()) list_->setCurrentRow(n);
    };
    plotMap_->exportData = [this] { return GeoPackageData(); };
    plotMap_->SetRunInProgress(t_.RunInProgress);
  } else {
    plotMap_->Reload();
  }
  if (known)
    plotMap_->ShowCase(caseNumber);
  else
    plotMap_->ShowPlot(t_.TargetTrees[caseNumber].Plot);
  plotMap_->show();
  plotMap_->raise();
  plotMap_->activateWindow();
  return plotMap_;
}

gis::ExportData MainWindow::GeoPackageData() const {
  if (!exportData_.results.empty() || results_.Cases().empty()) return exportData_;
  // Quality read back from the files of an earlier run.
  return gis::ExportDataFromQuality(results_.Cases(), t_.PhotoTrees);
}

PlotMapWindow* MainWindow::PlotMap() const { return plotMap_; }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ShowPlotMap();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program like the Exit command.
  event->accept();
  Exit_Program();
}

void MainWindow::UpdateCommands() {
  const bool idle = !t_.RunInProgress;
  openMap_->setEnabled(idle);
  openSightings_->setEnabled(idle);
  simulate_->setEnabled(idle);
  progress_->setValue(0);
  progress_->setVisible(!idle);
  cancel_->setVisible(!idle);
  sinceRefresh_.invalidate();
  if (plotMap_) plotMap_->SetRunInProgress(!idle);
}

}  // namespace treetri
