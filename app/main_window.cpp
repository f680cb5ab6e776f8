#include "app/main_window.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include "app/case_edits.h"
#include "app/client_area.h"
#include "app/desktop_run.h"
#include "app/gui/message_queue.h"
#include "app/help_window.h"
#include "app/manual_window.h"
#include "app/messages_panel.h"
#include "app/plot_map_window.h"
#include "core/corrections.h"
#include "core/startup.h"
#include "data/readers.h"
#include "display/plot_viewer.h"
#include "platform/files.h"
#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"

#ifndef TREETRI_VERSION
#define TREETRI_VERSION "dev"
#endif

namespace treetri {

namespace {

// The drawing surface's pixels (the layout is the client area's).
constexpr int kPictureSize = 345;

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

  client_ = new ClientArea(this);
  QWidget* client = client_;
  setCentralWidget(client);

  picture_ = new PictureBox(kPictureSize, kPictureSize, client);
  picture_->setObjectName("Picture1");
  // The client area sizes the surface with the window; the drawing keeps
  // its pixels.
  picture_->setMinimumSize(1, 1);
  picture_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

  list_ = new QListWidget(client);
  list_->setObjectName("List1");
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
  progress_->setFormat("case %v of %m");
  progress_->hide();
  cancel_ = new QPushButton("Cancel", client);
  cancel_->setObjectName("CancelRun");
  cancel_->hide();
  connect(cancel_, &QPushButton::clicked, this, [this] { CancelRun(); });
  runMessages_ = new MessageQueue(this, QtUi::MessageTitle());
  // Boxes stopped: the messages are in the panel.
  runMessages_->onSuppressed = [this](int) { messagesAction_->setChecked(true); };

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

  client_->SetElements(picture_, list_, progress_, cancel_);
  SetUpJobMenu();
  // The window opens at the legacy size of its client area (with the menu
  // bar and the status bar) and may then be resized.
  resize(sizeHint());
}

MainWindow::~MainWindow() {
  // The plot map reads the results this window owns: it goes first.
  delete plotMap_;
  edits_.reset();
  delete manual_;
}

bool MainWindow::RunStartUp() { return RunStartUpIn(CurrentDirectory()); }

bool MainWindow::RunStartUpIn(const std::string& directory) {
  const bool started = StartUpIn(t_, *ui_, directory);
  ui_->SetStartFolder(t_.WorkFolder);
  UpdateJob();
  return started;
}

void MainWindow::Open_PhotogrammetricMap() {
  if (running_) return;
  ui_->SetStartFolder(t_.WorkFolder);
  const std::string name = t_.MapFileName, checksum = t_.MapFacts.sha256;
  const int trees = t_.PhotoTrees.Size();
  edits_.reset();
  treetri::Open_PhotogrammetricMap(t_, *ui_);
  // A map replaced after the sightings: they are read again, so a run uses
  // one map for the legacy lines and the quality layer.
  if (t_.MapFileName != name || t_.MapFacts.sha256 != checksum || t_.PhotoTrees.Size() != trees)
    SightingsAgainstNewMap(t_, *ui_);
  UpdateJob();
}

void MainWindow::OPen_Field_observations() {
  if (running_) return;
  ui_->SetStartFolder(t_.WorkFolder);
  edits_.reset();
  treetri::OPen_Field_observations(t_, *ui_);
  UpdateJob();
}

RunOutcome MainWindow::Simulate() {
  if (running_) return {};
  // The run owns the tables until it ends: the commands that change them,
  // or start a second run, are off meanwhile.
  struct RunScope {
    MainWindow* w;
    explicit RunScope(MainWindow* window) : w(window) {
      w->running_ = true;
      w->UpdateCommands();
    }
    ~RunScope() {
      w->running_ = false;
      w->UpdateCommands();
    }
  } scope(this);
  progress_->setRange(0, std::min(t_.TargetTreeCount, t_.TargetTrees.Size()));
  edits_.reset();
  // The work folder's corrections apply to this run only: the sightings as
  // read come back after it, so that the next run applies the file again.
  struct CorrectedScope {
    Tables& t;
    Table<TargetTree> read;
    bool applied = false;
    ~CorrectedScope() {
      if (!applied) return;
      t.TargetTrees = std::move(read);
      t.CorrectionsFileName.clear();
      t.CorrectionsApplied = 0;
      t.CorrectionsFacts = {};
    }
  } corrected{t_, {}};
  if (!CheckChangedInputs()) return {};
  std::vector<Correction> corrections;
  if (!t_.WorkFolder.empty() && FileExists(t_.WorkFolder + kCorrectionsFileName) &&
      t_.TargetTrees.Size() > 0) {
    corrected.read = t_.TargetTrees;
    std::string error;
    if (!UseCorrectionsFile(t_, t_.WorkFolder + kCorrectionsFileName, error, &corrections)) {
      ui_->MessageBox(error + " Nothing was calculated: correct or remove the line.");
      return {};
    }
    corrected.applied = true;
  }
  runCorrections_ = corrected.applied ? static_cast<int>(corrections.size()) : -1;
  DesktopRun run(t_, *ui_);
  run.network = NetworkOptionsOfJob();
  run_ = &run;
  // The run's messages go to the Messages panel with their case: those
  // between the start and the last case belong to the case after the last
  // one shown.
  runLog_ = RunLog{};
  runLog_.caseCount = std::min(t_.TargetTreeCount, t_.TargetTrees.Size());
  runLog_.clock.start();
  runMessages_->Reset();
  messages_->Clear();
  run.onRunStart = [this] {
    runLog_.started = true;
    results_.Clear();
    if (plotMap_) plotMap_->Reload();
  };
  // Each case's assessment and legacy position into the results; the plot
  // map, when open, follows case by case. The progress bar (which repaints
  // at once when its text changes) and the list's lines follow once an
  // interval, and at the last case.
  QElapsedTimer sinceShown;
  int shownCase = 0, caseCount = 0;
  const auto show = [&] {
    if (caseCount > 0) {
      progress_->setRange(0, caseCount);
      progress_->setValue(shownCase);
    }
    ui_->FlushList();
    sinceShown.start();
  };
  run.onCase = [&](const ShownCase& c) {
    if (c.adjusted) results_.SetLegacyPosition(c.caseNumber, c.x, c.y);
    if (c.quality) {
      results_.Add(*c.quality);
      if (plotMap_) plotMap_->CaseAdded(c.caseNumber);
    }
    shownCase = c.caseNumber;
    caseCount = c.caseCount;
    if (c.caseNumber == c.caseCount) show();
    runLog_.lastCase = c.caseNumber;
    if (!c.adjusted) runLog_.failed.push_back(c.caseNumber);
    runLog_.caseCount = c.caseCount;
    if (onCaseShown) onCaseShown(c.caseNumber);
  };
  run.onMessage = [this](const std::string& text) { ShowRunMessage(text); };
  run.afterShown = [&] {
    if (!sinceShown.isValid() || sinceShown.elapsed() >= QtUi::kRefreshMilliseconds) show();
  };
  RunOutcome outcome;
  std::string error;
  const bool ran = run.Run(outcome, error);
  run_ = nullptr;
  ui_->FlushList();
  if (!ran) {
    ui_->MessageBox(error);
    return outcome;
  }
  // A network run's quality is in its files, read back above: the export
  // takes it from there.
  exportData_ = run.network ? gis::ExportData{} : run.ExportData();
  if (run.network && runLog_.started) LoadNetworkResults();
  // The sightings and settings this run used, for edits of its cases.
  if (runLog_.started)
    edits_ = std::make_unique<CaseEdits>(t_, t_, t_.WorkFolder, results_, run.network);
  ShowRunSummary(outcome);
  UpdateJob();
  // Asked to end during the run: the run stopped after its case, its files
  // are complete.
  if (exitAfterRun_) QCoreApplication::exit(0);
  return outcome;
}

void MainWindow::Exit_Program() {
  if (exitHook) {
    exitHook();
    return;
  }
  if (running_) {
    // The run stops after its current case and the program ends then.
    exitAfterRun_ = true;
    CancelRun();
    return;
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

void MainWindow::List1_DblClick() {
  // The viewer reads the tables, which the run owns until it ends.
  if (running_) return;
  treetri::List1_DblClick(t_, *ui_);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the main window ends the program like the Exit command.
  event->accept();
  Exit_Program();
}

void MainWindow::UpdateCommands() {
  const bool idle = !running_;
  openMap_->setEnabled(idle);
  openSightings_->setEnabled(idle);
  simulate_->setEnabled(idle);
  for (QAction* a : {openFolder_, openInputs_, openResults_, calculate_, createParameters_,
                    exportRemeasure_})
    a->setEnabled(idle);
  recentMenu_->setEnabled(idle && !recentMenu_->actions().isEmpty());
  progress_->setValue(0);
  progress_->setVisible(!idle);
  cancel_->setVisible(!idle);
  if (plotMap_) plotMap_->SetRunInProgress(!idle);
}

}  // namespace treetri
