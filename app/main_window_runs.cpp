// The main window's runs: the messages of a run, the job's quality method (per case or the plot
// network, remembered with the job), the results of a network run read back
// from its files, the run summary, edits on the last run opened from its
// files, and the inputs changed since they were read.
#include <array>
#include <memory>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

#include "app/case_edits.h"
#include "app/desktop_run.h"
#include "app/gui/message_queue.h"
#include "app/main_window.h"
#include "app/messages_panel.h"
#include "app/plot_map_window.h"
#include "core/corrections.h"
#include "core/run_record.h"
#include "data/readers.h"
#include "platform/file_facts.h"
#include "platform/files.h"
#include "platform/qt/qt_ui.h"
#include "quality/quality_files.h"

namespace treetri {

void MainWindow::SetUpQualityMenu() {
  qualityMenu_ = jobMenu_->addMenu("&Quality method");
  qualityMenu_->setObjectName("QualityMethod");
  auto* group = new QActionGroup(this);
  perCase_ = qualityMenu_->addAction("&Per case");
  perCase_->setObjectName("QualityPerCase");
  network_ = qualityMenu_->addAction("Plot &network");
  network_->setObjectName("QualityNetwork");
  for (QAction* a : {perCase_, network_}) {
    a->setCheckable(true);
    group->addAction(a);
  }
  perCase_->setChecked(true);
  // The choice belongs to the job; the next run uses it.
  connect(group, &QActionGroup::triggered, this, [this] { UpdateJob(); });
}

bool MainWindow::NetworkMethod() const { return network_->isChecked(); }

void MainWindow::SetNetworkMethod(bool on) {
  (on ? network_ : perCase_)->setChecked(true);
  UpdateJob();
}

std::optional<quality::NetworkOptions> MainWindow::NetworkOptionsOfJob() const {
  if (!NetworkMethod()) return std::nullopt;
  return quality::NetworkOptions{};
}

void MainWindow::ShowRunMessage(const std::string& text) {
  const int caseNumber =
      runLog_.started && runLog_.lastCase < runLog_.caseCount ? runLog_.lastCase + 1 : 0;
  messages_->Add(caseNumber, text);
  ++runLog_.messages;
  if (ui_->messageHook) {
    ui_->messageHook(text);
    return;
  }
  // The messages of the cases are one kind: their boxes can be stopped for
  // the rest of the run; the run's own messages are always shown.
  runMessages_->Add(QString::fromStdString(text), caseNumber > 0 ? kCaseMessages : 0);
}

void MainWindow::CancelRun() {
  if (run_) run_->Cancel();
}

void MainWindow::LoadNetworkResults() {
  // The network writes its files plot by plot at the end of the run: the
  // plot map, the table and the summary take them from there.
  std::string error;
  std::vector<std::string> warnings;
  views::CaseResults loaded;
  if (!loaded.Load(t_.WorkFolder + quality::kQualityFileName,
                   t_.WorkFolder + quality::kObservationsFileName, error, &warnings)) {
    messages_->Add(0, error);
    return;
  }
  for (const std::string& w : warnings) messages_->Add(0, w);
  for (const quality::CaseQuality& c : loaded.Cases()) results_.Add(c);
  if (plotMap_) plotMap_->Reload();
}

void MainWindow::ShowRunSummary(const RunOutcome& outcome) {
  if (!runLog_.started) return;
  std::array<int, 5> verdicts{};
  for (const quality::CaseQuality& c : results_.Cases())
    ++verdicts[static_cast<size_t>(c.row.verdict)];
  QString text = QString("Run summary: %1 cases").arg(outcome.cases);
  if (!outcome.completed) text += QString(" (stopped after case %1)").arg(outcome.cases);
  QStringList counts;
  for (quality::Verdict v : {quality::Verdict::Ok, quality::Verdict::Outlier,
                             quality::Verdict::NoRedundancy, quality::Verdict::Failed,
                             quality::Verdict::NotComputed})
    if (verdicts[static_cast<size_t>(v)] > 0)
      counts << QString("%1 %2").arg(quality::VerdictWord(v)).arg(verdicts[static_cast<size_t>(v)]);
  if (!counts.isEmpty()) text += "; verdicts: " + counts.join(", ");
  if (runCorrections_ >= 0)
    text += QString("; uses %1 corrections from %2 (sightings written as %3)")
                .arg(runCorrections_)
                .arg(kCorrectionsFileName)
                .arg(QString::fromStdString(CorrectedSightingName("", t_.SightingFileName)));
  text += QString("; %1 not positioned").arg(runLog_.failed.size());
  if (!runLog_.failed.empty()) text += " (listed below)";
  text += QString("; %1 messages; azimuth correction used %2; %3 s")
              .arg(runLog_.messages)
              .arg(QString::number(outcome.azimuthCorrectionUsed, 'g', 12))
              .arg(QString::number(runLog_.clock.elapsed() / 1000.0, 'f', 1));
  runSummary_ = text;
  messages_->Add(0, text.toStdString());
  for (int n : runLog_.failed) {
    std::string line = "Not positioned: case " + std::to_string(n);
    if (n <= t_.TargetTrees.Size())
      line += ", plot " + std::to_string(t_.TargetTrees[n].Plot) + ", tree " +
              std::to_string(t_.TargetTrees[n].Tree);
    if (const quality::CaseQuality* q = results_.Find(n)) line += ": " + q->row.legacyStatus;
    messages_->Add(n, line);
  }
  statusBar()->showMessage(text);
}

bool MainWindow::EditsOfRecordedRun(std::string& why) {
  RunRecordSummary record;
  if (!ReadRunRecord(t_.WorkFolder + kRunRecordFileName, record, why)) return false;
  if (!record.azimuthCorrectionUsed) {
    why = "the run record gives no azimuth correction.";
    return false;
  }
  auto run = std::make_unique<Tables>();
  static_cast<InputData&>(*run) = t_;
  static_cast<Session&>(*run) = t_;
  for (const RunRecordSummary::Input& in : record.inputs) {
    const FileFacts* now = in.role == "map" ? &t_.MapFacts : in.role == "sightings" ? &t_.SightingFacts : nullptr;
    if (now && (!now->known || now->sha256 != in.sha256)) {
      why = "the " + in.role + " file read now is not the one of the run (\"" + in.path +
            "\"): open that file first.";
      return false;
    }
    if (in.role != "corrections") continue;
    // corrections.csv is only appended to: as the run read it, it is the
    // start of the file now.
    std::string text;
    if (!ReadWholeFile(in.path, text, why) || in.size < 0 ||
        static_cast<size_t>(in.size) > text.size() ||
        Sha256Hex(text.substr(0, static_cast<size_t>(in.size))) != in.sha256) {
      why = "the corrections file \"" + in.path + "\" is no longer as the run read it.";
      return false;
    }
    std::vector<Correction> lines;
    if (!ParseCorrections(text.substr(0, static_cast<size_t>(in.size)), in.path, lines, why) ||
        !ApplyCorrections(*run, lines, in.path, why))
      return false;
  }
  run->ReplayAzimuthCorrection = record.azimuthCorrectionUsed;
  {
    MessagesToPanel toPanel(*ui_, messages_);
    if (!ReadRunParameters(*run, *ui_)) {
      why = "the parameter file cannot be read.";
      return false;
    }
  }
  std::optional<quality::NetworkOptions> network;
  if (record.qualityMethod == "network") network = quality::NetworkOptions{};
  edits_ = std::make_unique<CaseEdits>(*run, *run, t_.WorkFolder, results_, network);
  return true;
}

bool MainWindow::CheckChangedInputs() {
  const std::vector<ChangedInput> changed = ChangedInputs(t_);
  if (changed.empty()) return true;
  std::string text;
  bool mapChanged = false;
  for (const ChangedInput& c : changed) {
    text += ChangedInputMessage(c) + "\n";
    mapChanged = mapChanged || c.path == t_.MapFileName;
  }
  for (const ChangedInput& c : changed) messages_->Add(0, ChangedInputMessage(c));
  messagesAction_->setChecked(true);
  ChangedAnswer answer = ChangedAnswer::Cancel;
  if (changedInputsHook) {
    answer = changedInputsHook(text);
  } else {
    const QMessageBox::StandardButton b = QMessageBox::question(
        this, QtUi::MessageTitle(),
        QString::fromStdString(text) + "\nRead the changed files again before the run?\n"
                                       "(No: the run uses the data as read.)",
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    answer = b == QMessageBox::Yes  ? ChangedAnswer::ReadAgain
             : b == QMessageBox::No ? ChangedAnswer::RunAsRead
                                    : ChangedAnswer::Cancel;
  }
  if (answer == ChangedAnswer::Cancel) return false;
  if (answer == ChangedAnswer::RunAsRead) return true;
  // Read again: a new map reads the sightings again with it.
  edits_.reset();
  MessagesToPanel toPanel(*ui_, messages_);
  bool read = true;
  if (mapChanged) {
    read = ReadPhotoMapFile(t_, *ui_, std::string(t_.MapFileName)) &&
           SightingsAgainstNewMap(t_, *ui_);
  } else {
    read = ReadSightingFile(t_, *ui_, std::string(t_.SightingFileName));
  }
  UpdateJob();
  return read;
}

}  // namespace treetri
