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
#include <functional>
#include <optional>
#include <string>

#include <QObject>

#include "core/run.h"
#include "gis/gpkg_export.h"
#include "quality/case_quality.h"

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
  DesktopRun(Tables& tables, QtUi& ui);

  // Called on the GUI thread, in the order of the run: at its start, after
  // each case, for each message (the legacy's boxes, also "Ready!").
  std::function<void()> onRunStart;
  std::function<void(const ShownCase&)> onCase;
  std::function<void(const std::string& text)> onMessage;
  // After each batch of reports has been shown.
  std::function<void()> afterShown;

  // Runs on a worker thread while this thread processes its events, and
  // returns when the run has ended and everything it reported was shown.
  // False, with nothing run, when no thread can be started.
  bool Run(RunOutcome& outcome, std::string& error);
  // Stops the run after the current case (from any thread).
  void Cancel() { cancel_ = true; }
  // What the GeoPackage export takes of the run.
  const gis::ExportData& ExportData() const { return exportData_; }

 private:
  Tables& t_;
  QtUi& ui_;
  QObject context_;
  std::atomic<bool> cancel_{false};
  gis::ExportData exportData_;
};

}  // namespace treetri
