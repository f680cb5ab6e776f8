// The main window (Form1): the menu, the results list (List1) and the drawing
// surface (Picture1), and the dispatch of the menu commands to the logic.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include "app/help_window.h"
#include "app/manual_window.h"
#include "app/recent_jobs.h"
#include "core/job.h"
#include "core/run.h"
#include "gis/gpkg_export.h"
#include "positioning/tables.h"
#include "quality/plot_network.h"
#include "views/plot_scene.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;

namespace treetri {

class CaseEdits;
class ClientArea;
class DesktopRun;
class ManualWindow;
class MessageQueue;
class MessagesPanel;
class PictureBox;
class PlotMapWindow;
class QtUi;

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(Tables& tables, QWidget* parent = nullptr);
  ~MainWindow() override;

  Tables& tables() { return t_; }
  QtUi& Ui() { return *ui_; }
  QListWidget* List1() const { return list_; }
  // Under the list, shown only during a run: the run's progress and the
  // button that stops it after the current case.
  QProgressBar* Progress() const { return progress_; }
  QPushButton* CancelButton() const { return cancel_; }
  PictureBox* Picture1() const { return picture_; }
  QMenu* FileMenu() const { return fileMenu_; }
  // The open help window, or null.
  HelpWindow* Help() const { return help_; }

  QAction* OpenMapAction() const { return openMap_; }
  QAction* OpenSightingsAction() const { return openSightings_; }
  QAction* SimulateAction() const { return simulate_; }
  QAction* ExitAction() const { return exit_; }
  QAction* HelpAction() const { return helpAction_; }
  // "Show on plot map" of the results list's context menu (Ctrl+M; Enter on
  // a line does the same).
  QAction* ShowOnPlotMapAction() const { return showOnMap_; }

  // The Job menu, after the legacy menu bar, with mnemonics and shortcuts.
  QMenu* JobMenu() const { return jobMenu_; }
  QMenu* RecentJobsMenu() const { return recentMenu_; }
  QAction* OpenInputsAction() const { return openInputs_; }
  QAction* OpenResultsAction() const { return openResults_; }
  QAction* CalculateAction() const { return calculate_; }
  QAction* ExportRemeasureAction() const { return exportRemeasure_; }
  // Job → Quality method: per case (the default) or the plot network; the
  // next run uses it, and it is remembered with the job.
  QMenu* QualityMenu() const { return qualityMenu_; }
  QAction* NetworkMethodAction() const { return network_; }
  bool NetworkMethod() const;
  void SetNetworkMethod(bool on);
  // The summary of the last run, as the status bar shows it.
  QString RunSummary() const { return runSummary_; }
  MessagesPanel* Messages() const { return messages_; }
  // The open manual window, or null.
  ManualWindow* Manual() const { return manual_; }
  // The status bar's text: work folder, map, sightings, parameter file.
  QString JobStatusText() const;

  // The start of the interactive program: started to ask (askForFolder) or
  // in a folder without a parameter file it asks for a work folder and opens
  // it as a job; otherwise, and when the question is cancelled, the start-up
  // routine runs in the current folder as it always did. False when the
  // program cannot go on.
  bool Start(bool askForFolder);
  // Opens a work folder as the job: it becomes the current folder, the
  // start-up routine runs there (its messages go to the Messages panel), the
  // parameter file is checked once (a problem is shown with what to do) and
  // the map and sighting files last read in that folder are read again.
  bool OpenJob(const std::string& folder);
  // Asks for a work folder and opens it; false when cancelled.
  bool AskForWorkFolder();
  // Shows the last finished run of the work folder (list, quality for the
  // plot map and the results table) without computing. False, after a
  // message, when there is none to show.
  bool OpenResults();
  // Asks for the map and then the sighting file and reads both.
  void OpenMapAndSightings();
  // Writes a parameter file with default values where the folder has none.
  bool CreateParameterFile();
  void ShowManual();
  // Writes the re-measure list of the last run in the work folder (with the
  // corrections that run applied) to a file the user names. False, after a
  // message, when there is no run to list or the file cannot be written.
  bool ExportRemeasureList();
  // Where the recent jobs are kept (tests give a file of their own).
  void UseRecentJobsFile(const QString& path);
  const RecentJobs& Recent() const { return *recent_; }

  // Answers the work-folder question: gets the start folder, returns false
  // when cancelled. By default a folder dialog; tests replace it.
  std::function<bool(const std::string& startFolder, std::string& chosen)> folderHook;
  // Asks what to do about inputs that changed since they were read (the
  // message lists them): ReadAgain, RunAsRead or Cancel. By default a
  // question box; tests replace it.
  enum class ChangedAnswer { ReadAgain, RunAsRead, Cancel };
  std::function<ChangedAnswer(const std::string& message)> changedInputsHook;
  // Answers the question for a file to write: gets the name offered, returns
  // false when cancelled. By default a save dialog; tests replace it.
  std::function<bool(const std::string& offered, std::string& chosen)> saveHook;

  // The start-up routine, in the current directory or in the one given.
  // False when the current folder cannot be found.
  bool RunStartUp();
  bool RunStartUpIn(const std::string& directory);

  // The menu commands.
  void Open_PhotogrammetricMap();
  void OPen_Field_observations();
  RunOutcome Simulate();
  void Exit_Program();
  void ShowHelp();
  // The double-click on a line of the results list.
  void List1_DblClick();

  // Opens (or raises) the plot map window on a case; the selected line of
  // the results list when caseNumber is 0. Returns the window, or null when
  // there is no case to show.
  PlotMapWindow* ShowPlotMap(int caseNumber = 0);
  // The open plot map window, or null.
  PlotMapWindow* PlotMap() const;
  // The quality of the cases of the last run (read from its files when the
  // plot map opens without a run in this session).
  const views::CaseResults& Results() const { return results_; }
  // What "Export GeoPackage…" writes: the legacy results of the last run
  // with its quality rows and observations, and the map trees of its plots.
  gis::ExportData GeoPackageData() const;

  // Ends the program. By default it leaves the event loop; in the middle of
  // a run, once the run has stopped after its current case. Tests replace it.
  std::function<void()> exitHook;
  // During a run, after the GUI thread has shown case caseNumber (its list
  // line, dot, assessment and progress).
  std::function<void(int caseNumber)> onCaseShown;
  // Whether a run is under way (the run owns the tables until it ends).
  bool Running() const { return running_; }
  // Stops the run after the current case (the Cancel button).
  void CancelRun();
  // The messages of a run, one box at a time, none blocking the window.
  MessageQueue* RunMessages() const { return runMessages_; }
  // The sighting edits after the last run in this session (null before a
  // run, and after the map, the sightings or the job changed).
  CaseEdits* Edits() const { return edits_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void UpdateCommands();
  void SetUpJobMenu();
  void SetUpQualityMenu();
  // The network's options when the job's method is the plot network.
  std::optional<quality::NetworkOptions> NetworkOptionsOfJob() const;
  // After a network run: its cases' quality read back from its files.
  void LoadNetworkResults();
  // Title, status bar, recent jobs menu and the job's entry after any
  // command that changes the folder or the files read.
  void UpdateJob();
  void FillRecentMenu();
  // Clears what the window shows of an earlier job's run.
  void ForgetResults();
  // A message of the run: to the message hook when set, else a box that
  // does not block the window.
  void ShowRunMessage(const std::string& text);
  // Edits on the results of the folder's last run read back from its files:
  // its run record must name the map and sighting files read now (same
  // checksums); its azimuth correction is replayed and the corrections it
  // applied (the start of corrections.csv as it was then) applied again.
  // False, with the reason, when that run cannot be recomputed.
  bool EditsOfRecordedRun(std::string& why);
  // Before a run: inputs changed since read are reported and, when the user
  // wants, read again. False when the run should not start.
  bool CheckChangedInputs();

  Tables& t_;
  QListWidget* list_;
  QProgressBar* progress_;
  QPushButton* cancel_;
  bool running_ = false;
  bool exitAfterRun_ = false;
  DesktopRun* run_ = nullptr;  // the run under way
  MessageQueue* runMessages_;
  PictureBox* picture_;
  std::unique_ptr<QtUi> ui_;
  QMenu* fileMenu_;
  QAction* openMap_;
  QAction* openSightings_;
  QAction* simulate_;
  QAction* exit_;
  QAction* helpAction_;
  QPointer<HelpWindow> help_;
  QAction* showOnMap_;
  views::CaseResults results_;
  std::unique_ptr<CaseEdits> edits_;
  gis::ExportData exportData_;  // of the last run in this session
  QPointer<PlotMapWindow> plotMap_;

  ClientArea* client_;
  QMenu* jobMenu_;
  QMenu* recentMenu_;
  QAction* openFolder_;
  QAction* openInputs_;
  QAction* openResults_;
  QAction* calculate_;
  QAction* createParameters_;
  QAction* messagesAction_;
  QAction* manualAction_;
  QAction* exportRemeasure_;
  QMenu* qualityMenu_;
  QAction* perCase_;
  QAction* network_;
  MessagesPanel* messages_;
  QPointer<ManualWindow> manual_;
  QLabel* jobStatus_;
  // What the window learns of the run under way, for the messages' cases
  // and the summary.
  struct RunLog {
    bool started = false;
    int lastCase = 0, caseCount = 0, messages = 0;
    std::vector<int> failed;  // cases the adjustment could not position
    QElapsedTimer clock;
  } runLog_;
  static constexpr int kCaseMessages = 1;
  // After a run: its summary in the Messages panel and the status bar.
  void ShowRunSummary(const RunOutcome& outcome);
  std::unique_ptr<RecentJobs> recent_;
  // A job was opened (or the interactive start ran): the job's files are
  // remembered among the recent jobs.
  bool jobOpen_ = false;
  QString runSummary_;
  // Lines of corrections.csv the last run applied (-1: it had none).
  int runCorrections_ = -1;
  ParameterFileCheck::Kind parameterKind_ = ParameterFileCheck::Missing;
};

}  // namespace treetri
