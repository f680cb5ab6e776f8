// The desktop's "Calculate positions": the run of the faithful core on a
// worker thread, with the quality files and what the GeoPackage export
// takes gathered there, while the GUI thread shows, from the run's reports,
// the list lines, the case dots, the messages, the progress and each case's
// assessment, and stays free for Cancel and the other windows.
//
// The run owns the tables until it ends: the GUI thread must not touch them
// meanwhile (the commands that change them are off during a run).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <QObject>

#include "core/run.h"
#include "gis/gpkg_export.h"
#include "quality/case_quality.h"
#include "quality/plot_network.h"

namespace treetri {

class QtUi;

// What the GUI thread learns of a finished case.
struct ShownCase {
  int caseNumber = 0;
  int caseCount = 0;
  bool adjusted = false;  // the legacy adjustment found a position
  double x = 0, y = 0;    // that position
  std::optional<quality::CaseQuality> quality;
};

class DesktopRun {
 public:
  // The worker runs at most this many cases ahead of those the GUI thread
  // has shown, so that Cancel stops the run near the case on the screen and
  // the queue of reports stays short.
  static constexpr int kMaxCasesAhead = 32;

  DesktopRun(Tables& tables, QtUi& ui);

  // Called on the GUI thread, in the order of the run: at its start, after
  // each case, for each message (the legacy's boxes, also "Ready!").
  std::function<void()> onRunStart;
  std::function<void(const ShownCase&)> onCase;
  std::function<void(const std::string& text)> onMessage;
  // After each batch of reports has been shown.
  std::function<void()> afterShown;
  // The plot network instead of the per-case assessment: the quality files
  // are written plot by plot when the run ends, and no case carries its
  // assessment during the run (the caller reads the files afterwards).
  std::optional<quality::NetworkOptions> network;

  // Runs on a worker thread while this thread processes its events, and
  // returns when the run has ended and everything it reported was shown.
  // False, with nothing run, when no thread can be started.
  bool Run(RunOutcome& outcome, std::string& error);
  // Stops the run after the current case (from any thread).
  void Cancel();
  // What the GeoPackage export takes of the run.
  const gis::ExportData& ExportData() const { return exportData_; }

 private:
  class Feed;
  // Worker: waits until the GUI thread has shown case caseNumber -
  // kMaxCasesAhead (or the run is cancelled, or the GUI no longer shows).
  void WaitForGui(int caseNumber);
  // GUI thread: case caseNumber has been shown.
  void Shown(int caseNumber);
  // GUI thread: the worker no longer waits for it.
  void StopWaiting();

  Tables& t_;
  QtUi& ui_;
  QObject context_;
  std::atomic<bool> cancel_{false};
  std::mutex shownMutex_;
  std::condition_variable shownChanged_;
  int shownCase_ = 0;
  bool waitForGui_ = true;
  gis::ExportData exportData_;
};

}  // namespace treetri
