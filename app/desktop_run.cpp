#include "app/desktop_run.h"

#include <system_error>
#include <thread>
#include <utility>

#include <QEventLoop>

#include "app/run_relay.h"
#include "core/export_observer.h"
#include "core/quality_observer.h"
#include "core/run_record.h"
#include "platform/qt/qt_ui.h"

namespace treetri {


// On the worker: hands each case's figures and assessment to the GUI thread
// and passes on the Cancel button's request.
class DesktopRun::Feed : public RunHooks {
 public:
  Feed(DesktopRun& run, RunRelay& relay, const QualityObserver& quality,
       const std::atomic<bool>& cancel)
      : run_(run), relay_(relay), quality_(quality), cancel_(cancel) {}
  bool OnRunStart(const RunSettings&, std::string&) override {
    relay_.Post([this] { if (run_.onRunStart) run_.onRunStart(); });
    return true;
  }
  void OnCaseDone(const CaseReport& r) override {
    ShownCase shown;
    shown.caseNumber = r.caseNumber;
    shown.caseCount = r.caseCount;
    shown.adjusted = r.result.Has(LegacyFigure::Position);
    shown.x = r.result.X_adj;
    shown.y = r.result.Y_adj;
    if (const quality::CaseQuality* q = quality_.Assessed(r.caseNumber)) shown.quality = *q;
    relay_.Post([this, shown = std::move(shown)] {
      if (run_.onCase) run_.onCase(shown);
      run_.Shown(shown.caseNumber);
    });
    run_.WaitForGui(r.caseNumber);
    // The Cancel button's request stops the run after this case.
    if (cancel_) r.feedback.Cancel();
  }

 private:
  DesktopRun& run_;
  RunRelay& relay_;
  const QualityObserver& quality_;
  const std::atomic<bool>& cancel_;
};

DesktopRun::DesktopRun(Tables& tables, QtUi& ui) : t_(tables), ui_(ui) {}

void DesktopRun::WaitForGui(int caseNumber) {
  std::unique_lock<std::mutex> lock(shownMutex_);
  shownChanged_.wait(lock, [&] {
    return !waitForGui_ || cancel_ || shownCase_ >= caseNumber - kMaxCasesAhead;
  });
}

void DesktopRun::Cancel() {
  {
    std::lock_guard<std::mutex> lock(shownMutex_);
    cancel_ = true;
  }
  shownChanged_.notify_one();
}

void DesktopRun::Shown(int caseNumber) {
  {
    std::lock_guard<std::mutex> lock(shownMutex_);
    shownCase_ = caseNumber;
  }
  shownChanged_.notify_one();
}

void DesktopRun::StopWaiting() {
  {
    std::lock_guard<std::mutex> lock(shownMutex_);
    waitForGui_ = false;
  }
  shownChanged_.notify_one();
}

bool DesktopRun::Run(RunOutcome& outcome, std::string& error) {
  cancel_ = false;
  shownCase_ = 0;
  waitForGui_ = true;
  RunRelay relay(ui_, &context_);
  relay.onMessage = [this](const std::string& text) { if (onMessage) onMessage(text); };
  relay.afterDrain = [this] { if (afterShown) afterShown(); };
  // The quality files: emptied with the results file, one case's lines after
  // each case; what the GeoPackage export takes, gathered case by case.
  // The run's messages go to the relay, which shows them on the GUI thread
  // in order with the list lines and the drawing.
  MessagesToUi toRelay(relay);
  Feedback feedback(&toRelay, Feedback::Keep::Nothing);
  QualityObserver quality(t_, feedback);
  if (network) quality.UseNetwork(*network);
  ExportObserver exportData(t_.PhotoTrees, &quality, &t_.TargetTrees);
  Feed feed(*this, relay, quality, cancel_);
  // The run record names the quality method.
  RunRecordInfo info;
  info.program = ThisProgramName();
  info.qualityMethod = network ? "network" : "case";
  info.azimuthCorrectionReplayed = t_.ReplayAzimuthCorrection.has_value();
  RunRecordSink record(t_, t_, info);
  QEventLoop loop;
  try {
    std::thread worker([&] {
      outcome = treetri::Simulate(t_, relay, {&record, &quality, &exportData, &feed}, &feedback);
      if (!record.Error().empty()) feedback.PushMessage(0, record.Error());
      // The last work queued: everything the run reported comes before it.
      relay.Post([&loop] { loop.quit(); });
    });
    loop.exec();
    // Left early (the application ends): the worker finishes without
    // waiting for a GUI that no longer shows.
    StopWaiting();
    worker.join();
  } catch (const std::system_error& e) {
    error = std::string("The run cannot start a thread: ") + e.what();
    return false;
  }
  relay.Drain();
  relay.HandBack();
  exportData_ = exportData.Data();
  return true;
}

}  // namespace treetri
