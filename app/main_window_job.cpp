// The main window's job: the Job menu (work folder, map and sightings in one
// step, the last results, recent jobs, a parameter file, the Messages panel
// and the manual), the title and the status bar that name the job's files,
// and the start of the interactive program.
#include <array>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>
#include <QStatusBar>

#include "app/case_edits.h"
#include "app/main_window.h"
#include "app/manual_window.h"
#include "app/messages_panel.h"
#include "app/plot_map_window.h"
#include "core/corrections.h"
#include "core/job.h"
#include "core/remeasure.h"
#include "core/run.h"
#include "core/run_record.h"
#include "core/startup.h"
#include "data/parameter_file.h"
#include "data/readers.h"
#include "platform/file_facts.h"
#include "platform/files.h"
#include "platform/qt/qt_ui.h"
#include "quality/quality_files.h"

#ifndef TREETRI_VERSION
#define TREETRI_VERSION "dev"
#endif

namespace treetri {

namespace {

const char* const kTitle = "Trisection and trilateration - treetri " TREETRI_VERSION;

QString FileNameOnly(const std::string& path) {
  return path.empty() ? QString("none") : QFileInfo(QString::fromStdString(path)).fileName();
}

// A menu caption as plain words: no mnemonic marks, no dots.
QString PlainCaption(QString text) {
  text.remove('&');
  if (text.endsWith("...")) text.chop(3);
  return text;
}

}  // namespace

void MainWindow::SetUpJobMenu() {
  // The legacy menu bar keeps its captions: the File menu opens by Alt+F
  // without a mnemonic mark in its caption.
  auto* fileKey = new QShortcut(QKeySequence("Alt+F"), this);
  connect(fileKey, &QShortcut::activated, this, [this] {
    menuBar()->setActiveAction(fileMenu_->menuAction());
  });

  jobMenu_ = menuBar()->addMenu("&Job");
  jobMenu_->setObjectName("Job");
  const auto add = [this](const char* caption, const char* name, const char* key) {
    QAction* a = jobMenu_->addAction(caption);
    a->setObjectName(name);
    if (*key) a->setShortcut(QKeySequence(key));
    return a;
  };
  openFolder_ = add("&Open work folder...", "OpenWorkFolder", "Ctrl+O");
  openInputs_ = add("Open map &and sightings...", "OpenMapAndSightings", "Ctrl+Shift+I");
  openResults_ = add("Open &results", "OpenResults", "Ctrl+Shift+O");
  calculate_ = add("&Calculate positions", "CalculatePositions", "Ctrl+R");
  recentMenu_ = jobMenu_->addMenu("Recent &jobs");
  recentMenu_->setObjectName("RecentJobs");
  jobMenu_->addSeparator();
  createParameters_ = add("Create &parameter file", "CreateParameterFile", "");
  exportRemeasure_ = add("&Export re-measure list...", "ExportRemeasureList", "Ctrl+Shift+E");
  SetUpQualityMenu();
  jobMenu_->addSeparator();
  messagesAction_ = add("&Messages panel", "MessagesPanel", "Ctrl+Shift+M");
  messagesAction_->setCheckable(true);
  manualAction_ = add("Ma&nual", "Manual", "F1");
  manualAction_->setShortcutContext(Qt::ApplicationShortcut);

  connect(openFolder_, &QAction::triggered, this, [this] { AskForWorkFolder(); });
  connect(openInputs_, &QAction::triggered, this, [this] { OpenMapAndSightings(); });
  connect(openResults_, &QAction::triggered, this, [this] { OpenResults(); });
  connect(calculate_, &QAction::triggered, this, [this] { Simulate(); });
  connect(createParameters_, &QAction::triggered, this, [this] { CreateParameterFile(); });
  connect(manualAction_, &QAction::triggered, this, [this] { ShowManual(); });
  connect(exportRemeasure_, &QAction::triggered, this, [this] { ExportRemeasureList(); });

  messages_ = new MessagesPanel(this);
  addDockWidget(Qt::BottomDockWidgetArea, messages_);
  messages_->hide();
  messages_->onCaseActivated = [this](int n) {
    ui_->FlushList();
    if (n < list_->count()) list_->setCurrentRow(n);
    list_->setFocus();
  };
  connect(messagesAction_, &QAction::toggled, this, [this](bool on) {
    if (on == messages_->isVisible()) return;
    if (!on) {
      messages_->hide();
      return;
    }
    // The panel takes its room below the client area, not from it.
    const int before = centralWidget()->height();
    messages_->show();
    resize(width(), height() + std::max(0, before - centralWidget()->height()) + 140);
  });
  connect(messages_, &QDockWidget::visibilityChanged, this,
          [this](bool visible) { messagesAction_->setChecked(visible); });

  // "Show on plot map" needs a case line in the list.
  const auto lines = [this] { showOnMap_->setEnabled(list_->count() > 1); };
  connect(list_->model(), &QAbstractItemModel::rowsInserted, this, lines);
  connect(list_->model(), &QAbstractItemModel::rowsRemoved, this, lines);
  connect(list_->model(), &QAbstractItemModel::modelReset, this, lines);
  showOnMap_->setEnabled(false);

  jobStatus_ = new QLabel(this);
  jobStatus_->setObjectName("JobStatus");
  statusBar()->addWidget(jobStatus_, 1);
  statusBar()->setSizeGripEnabled(true);
  recent_ = std::make_unique<RecentJobs>();
  FillRecentMenu();
  UpdateJob();
}

QString MainWindow::JobStatusText() const {
  if (t_.WorkFolder.empty()) return "No work folder";
  QString parameters = kParameterFileName;
  switch (parameterKind_) {
    case ParameterFileCheck::Usable: break;
    case ParameterFileCheck::Missing: parameters += " (missing)"; break;
    case ParameterFileCheck::Unreadable: parameters += " (cannot be read)"; break;
    case ParameterFileCheck::Bad: parameters += " (has an error)"; break;
  }
  return "Folder: " + QString::fromStdString(t_.WorkFolder) +
         "    Map: " + FileNameOnly(t_.MapFileName) +
         "    Sightings: " + FileNameOnly(t_.SightingFileName) + "    Parameters: " + parameters;
}

void MainWindow::UpdateJob() {
  if (!t_.WorkFolder.empty()) parameterKind_ = CheckParameterFile(t_.WorkFolder).kind;
  setWindowTitle(t_.WorkFolder.empty() ? QString(kTitle)
                                       : kTitle + QString(" - ") +
                                             QString::fromStdString(t_.WorkFolder));
  jobStatus_->setText(JobStatusText());
  if (!jobOpen_ || t_.WorkFolder.empty()) return;
  recent_->Remember({t_.WorkFolder, t_.MapFileName, t_.SightingFileName,
                     NetworkMethod() ? "network" : "case"});
  FillRecentMenu();
}

void MainWindow::FillRecentMenu() {
  recentMenu_->clear();
  int n = 0;
  for (const RecentJob& job : recent_->Jobs()) {
    const QString folder = QString::fromStdString(job.folder);
    QAction* a = recentMenu_->addAction(QString("&%1 %2").arg(++n).arg(folder));
    connect(a, &QAction::triggered, this, [this, folder] { OpenJob(folder.toStdString()); });
  }
  recentMenu_->setEnabled(n > 0 && !running_);
}

void MainWindow::UseRecentJobsFile(const QString& path) {
  recent_ = std::make_unique<RecentJobs>(path);
  FillRecentMenu();
}

bool MainWindow::Start(bool askForFolder) {
  const std::string current = CurrentDirectory();
  const bool hasParameters =
      !current.empty() && FileExists(current + kPathSeparator + kParameterFileName);
  jobOpen_ = true;
  if (askForFolder || !hasParameters) {
    show();
    if (AskForWorkFolder()) return true;
  }
  // The start-up routine as it always ran, in the current folder.
  if (!RunStartUp()) return false;
  const ParameterFileCheck check = CheckParameterFile(t_.WorkFolder);
  if (check.kind != ParameterFileCheck::Usable) {
    messages_->Add(0, check.message);
    ui_->MessageBox(check.message);
  }
  return true;
}

bool MainWindow::AskForWorkFolder() {
  if (running_) return false;
  const std::string start = t_.WorkFolder.empty() ? CurrentDirectory() : t_.WorkFolder;
  std::string chosen;
  if (folderHook) {
    if (!folderHook(start, chosen)) return false;
  } else {
    const QString folder = QFileDialog::getExistingDirectory(
        isVisible() ? this : nullptr, "Open work folder", QString::fromStdString(start));
    if (folder.isEmpty()) return false;
    chosen = folder.toStdString();
  }
  return OpenJob(chosen);
}

bool MainWindow::OpenJob(const std::string& folder) {
  if (running_) return false;
  const QString path = QDir::cleanPath(QDir(QString::fromStdString(folder)).absolutePath());
  if (!QFileInfo(path).isDir() || !QDir::setCurrent(path)) {
    ui_->MessageBox("The work folder \"" + folder +
                    "\" cannot be opened: it does not exist or cannot be entered.");
    return false;
  }
  jobOpen_ = true;
  ForgetResults();
  ui_->SurfaceClear();
  // The start-up routine in the new folder; its messages go to the panel.
  bool started;
  {
    MessagesToPanel toPanel(*ui_, messages_);
    started = StartUpIn(t_, *ui_, CurrentDirectory());
  }
  ui_->SetStartFolder(t_.WorkFolder);
  messagesAction_->setChecked(true);
  if (!started) {
    UpdateJob();
    return false;
  }
  // The map and the sightings last read in this folder, when still there,
  // and the quality method chosen for it.
  const RecentJob job = recent_->Find(t_.WorkFolder);
  (job.quality == "network" ? network_ : perCase_)->setChecked(true);
  if (!job.map.empty() && FileExists(job.map)) {
    MessagesToPanel toPanel(*ui_, messages_);
    if (ReadPhotoMapFile(t_, *ui_, job.map) && !job.sightings.empty() &&
        FileExists(job.sightings))
      ReadSightingFile(t_, *ui_, job.sightings);
  }
  // A parameter file that a run could not use is reported now, once.
  const ParameterFileCheck check = CheckParameterFile(t_.WorkFolder);
  if (check.kind != ParameterFileCheck::Usable) {
    messages_->Add(0, check.message);
    ui_->MessageBox(check.message);
  }
  UpdateJob();
  return true;
}

void MainWindow::ForgetResults() {
  if (plotMap_) plotMap_->close();
  delete plotMap_;
  edits_.reset();
  results_.Clear();
  exportData_ = {};
  ui_->ListClear();
}

bool MainWindow::OpenResults() {
  if (running_) return false;
  const ParameterFileCheck check = CheckParameterFile(t_.WorkFolder);
  if (check.resultsFile.empty()) {
    ui_->MessageBox("There are no results to open: the results file is named by the parameter "
                    "file. " + check.message);
    return false;
  }
  std::vector<std::string> lines;
  std::string warning, error;
  if (!RebuildResultsList(check.resultsFile, t_.WorkFolder + quality::kQualityFileName, lines,
                          warning, error)) {
    ui_->MessageBox(error + " Calculate positions to make the results of this folder.");
    return false;
  }
  ForgetResults();
  for (const std::string& line : lines) ui_->ListAdd(line);
  ui_->FlushList();
  const std::string qualityPath = t_.WorkFolder + quality::kQualityFileName;
  if (FileExists(qualityPath) &&
      !results_.Load(qualityPath, t_.WorkFolder + quality::kObservationsFileName, error))
    messages_->Add(0, error);
  if (!warning.empty()) messages_->Add(0, warning);
  messages_->Add(0, "The results of the last run, from \"" + check.resultsFile + "\": " +
                        std::to_string(lines.size() - 1) + " cases (not computed again).");
  if (std::string why; !results_.Cases().empty() && !EditsOfRecordedRun(why))
    messages_->Add(0, "Sightings cannot be edited on these results: " + why);
  messagesAction_->setChecked(true);
  UpdateJob();
  return true;
}

void MainWindow::OpenMapAndSightings() {
  if (running_) return;
  ui_->SetStartFolder(t_.WorkFolder);
  ui_->SetDialogFilter(kMapDialogFilter);
  ui_->SetDialogTitle(kMapDialogTitle);
  if (!ui_->ShowOpenDialog()) return;
  edits_.reset();
  bool mapRead;
  {
    MessagesToPanel toPanel(*ui_, messages_);
    mapRead = ReadPhotoMapFile(t_, *ui_, ui_->DialogFileName());
  }
  messagesAction_->setChecked(true);
  if (mapRead) {
    ui_->SetDialogFilter(kSightingDialogFilter);
    ui_->SetDialogTitle(kSightingDialogTitle);
    if (ui_->ShowOpenDialog()) {
      MessagesToPanel toPanel(*ui_, messages_);
      ReadSightingFile(t_, *ui_, ui_->DialogFileName());
    }
  }
  UpdateJob();
}

bool MainWindow::CreateParameterFile() {
  if (running_ || t_.WorkFolder.empty()) return false;
  const std::string path = t_.WorkFolder + kParameterFileName;
  std::string error;
  switch (CreateNewFile(path, ParameterFileText(DefaultParameterTexts()), error)) {
    case CreateResult::Created:
      messages_->Add(0, "The parameter file \"" + path +
                            "\" was written with default values (results file results.txt, "
                            "azimuth correction 0): check its standard errors and azimuth "
                            "correction before you calculate.");
      messagesAction_->setChecked(true);
      UpdateJob();
      return true;
    case CreateResult::Exists:
      ui_->MessageBox("The work folder already has the parameter file \"" + path +
                      "\"; it is not written over.");
      return false;
    case CreateResult::Failed:
      break;
  }
  ui_->MessageBox("The parameter file \"" + path + "\" cannot be written: " + error + ".");
  return false;
}

bool MainWindow::ExportRemeasureList() {
  if (running_ || t_.WorkFolder.empty()) return false;
  const std::string qualityPath = t_.WorkFolder + quality::kQualityFileName;
  if (!FileExists(qualityPath)) {
    ui_->MessageBox("There is no run to list in \"" + t_.WorkFolder + "\" (no " +
                    quality::kQualityFileName + "): calculate positions first.");
    return false;
  }
  // The corrections that the last run applied, as its record names them.
  std::vector<Correction> corrections;
  RunRecordSummary record;
  std::string error;
  if (ReadRunRecord(t_.WorkFolder + kRunRecordFileName, record, error) &&
      !record.correctionsFile.empty() && !ReadCorrectionsFile(record.correctionsFile, corrections, error)) {
    ui_->MessageBox(error);
    return false;
  }
  const std::string offered = t_.WorkFolder + "remeasure.csv";
  std::string chosen;
  if (saveHook) {
    if (!saveHook(offered, chosen)) return false;
  } else {
    const QString name = QFileDialog::getSaveFileName(
        this, "Export re-measure list", QString::fromStdString(offered), "CSV file (*.csv)");
    if (name.isEmpty()) return false;
    chosen = name.toStdString();
  }
  // A name without an extension gets the list's.
  if (QFileInfo(QString::fromStdString(chosen)).suffix().isEmpty()) chosen += ".csv";
  if (!WriteRemeasureFileOfRun(t_, t_.WorkFolder, corrections, chosen, error)) {
    ui_->MessageBox(error);
    return false;
  }
  messages_->Add(0, "The re-measure list was written to \"" + chosen + "\".");
  return true;
}

void MainWindow::ShowManual() {
  if (!manual_) {
    std::vector<std::pair<std::string, std::string>> keys = {
        {"File menu", "Alt+F"}, {"Show the selected case on the plot map", "Enter, Ctrl+M"}};
    for (QAction* a : jobMenu_->actions())
      if (!a->shortcut().isEmpty())
        keys.push_back({PlainCaption(a->text()).toStdString(),
                        a->shortcut().toString(QKeySequence::NativeText).toStdString()});
    manual_ = new ManualWindow(ManualHtml(keys), this);
  }
  manual_->show();
  manual_->raise();
  manual_->activateWindow();
}

}  // namespace treetri
