// A long run in the window, on its worker thread: progress shown while the
// canvas draws no dot, list lines added at a cost that does not grow with
// the list, the Cancel button with the files complete, the messages of
// failing cases, which neither block Cancel nor lay out the list, and those
// messages in the Messages panel with their case.
#include <map>
#include <set>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include "app/desktop_run.h"
#include "app/gui/message_queue.h"
#include "app/messages_panel.h"
#include "positioning/case_steps.h"
#include "quality/quality_files.h"

#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

class LongRunTest : public DesktopTest {
 protected:
  // The data set's three cases repeated to 2000, moved to map-grid
  // coordinates, where the canvas draws no dot and so processes no events.
  void OpenLongRun() {
    OpenDataSet();
    for (int i = 1; i <= 3; ++i)
      for (int k = 1; k <= 3; ++k) tables.TargetTrees[i].Sighted[k].X += 3400000;
    for (int i = 4; i <= 2000; ++i) tables.TargetTrees[i] = tables.TargetTrees[1 + (i - 1) % 3];
    tables.TargetTreeCount = 2000;
  }
  // Every nth case with distances only: its initial approximation fails,
  // with a message. Returns those cases.
  std::set<int> FailEvery(int n) {
    std::set<int> failing;
    for (int i = n; i <= 2000; i += n) {
      TargetTree& tree = tables.TargetTrees[i];
      for (int k = 1; k <= 3; ++k) tree.HasAzimuth[k] = kFalse, tree.Azimuth[k] = -1;
      tree.AzimuthCount = 0;
      failing.insert(i);
    }
    return failing;
  }
  // The whole lines of a file of the folder; -1 where its last line is cut.
  int Lines(const char* name) const {
    const QByteArray text = QByteArray::fromStdString(ReadFile(File(name)));
    return text.isEmpty() || text.endsWith("\r\n") ? static_cast<int>(text.count('\n')) : -1;
  }
  // The case number of "The run is stopped after case N.", or 0.
  static int StoppedAfter(const std::string& said) {
    const std::string lead = "The run is stopped after case ";
    return said.rfind(lead, 0) == 0 ? std::stoi(said.substr(lead.size())) : 0;
  }
};

TEST_F(LongRunTest, TheRunGoesOnWhileTheGuiThreadIsBusyAndCancelLeavesItsFilesComplete) {
  OpenLongRun();
  // The GUI thread stops at the first case it shows until the worker has
  // written case 20 (a run on the GUI thread would stand still: the worker
  // may run DesktopRun::kMaxCasesAhead cases ahead), then Cancel is pressed.
  static_assert(DesktopRun::kMaxCasesAhead > 20);
  int written = 0;
  window.onCaseShown = [&](int caseNumber) {
    if (caseNumber != 1) return;
    QElapsedTimer waited;
    waited.start();
    while (Lines("results.txt") < 21 && waited.elapsed() < 20000) QThread::msleep(1);
    written = Lines("results.txt") - 1;
    QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
  };
  EXPECT_FALSE(window.Simulate().completed);
  EXPECT_GE(written, 20);
  ASSERT_FALSE(messages.empty());
  const int cases = StoppedAfter(messages.back());
  ASSERT_GT(cases, 0) << messages.back();
  EXPECT_LE(cases, 1 + DesktopRun::kMaxCasesAhead);
  // The results file: the header and one line per case; map data, list and
  // both quality files: one line (quality: and a header) per case.
  EXPECT_EQ(Lines("results.txt"), cases + 1);
  EXPECT_EQ(Lines("mapdata.txt"), cases);
  EXPECT_EQ(window.List1()->count(), cases + 1);
  EXPECT_EQ(Lines(quality::kQualityFileName), cases + 1);
  // Observations: every case up to the last, the last as many as its
  // geometry's other cases (the cases repeat in threes).
  std::map<int, int> rowsOfCase;
  const QList<QByteArray> rows =
      QByteArray::fromStdString(ReadFile(File(quality::kObservationsFileName))).split('\n');
  for (qsizetype i = 1; i + 1 < rows.size(); ++i) ++rowsOfCase[rows[i].split(',').front().toInt()];
  ASSERT_EQ(static_cast<int>(rowsOfCase.size()), cases);
  EXPECT_EQ(rowsOfCase.rbegin()->first, cases);
  EXPECT_EQ(rowsOfCase[cases], rowsOfCase[cases - 3]);
  EXPECT_EQ(static_cast<int>(window.Results().Cases().size()), cases);
  EXPECT_FALSE(window.Running() || window.CancelButton()->isVisible());
}

TEST_F(LongRunTest, MessagesOfFailingCasesNeitherLayOutTheListNorBlockCancel) {
  OpenLongRun();
  FailEvery(9);  // 11 % of the cases
  messages.clear();
  // Recorded: every message in its order, the list laid out once an
  // interval, not once a line or a message; the progress shown as the run
  // goes on (a timer fires only when events are processed during the run).
  std::vector<QString> progress;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (window.Progress()->isVisible()) progress.push_back(window.Progress()->text());
  });
  watch.start(0);
  const int layouts = window.Ui().ListLayouts();
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(window.Simulate().completed);
  watch.stop();
  EXPECT_LE(window.Ui().ListLayouts() - layouts, 3 + 2 * clock.elapsed() / QtUi::kRefreshMilliseconds);
  ASSERT_EQ(messages.size(), 2000u / 9 + 1);
  EXPECT_EQ(messages.front(), kInitialApproximationFailedMessage);
  EXPECT_EQ(messages.back().rfind("Ready!", 0), 0u);
  ASSERT_GT(progress.size(), 1u);
  EXPECT_TRUE(progress.front().startsWith("case ") && progress.front().endsWith(" of 2000"))
      << progress.front().toStdString();
  EXPECT_EQ(progress.back(), "case 2000 of 2000");
  EXPECT_EQ(window.List1()->count(), 2001);
  EXPECT_FALSE(window.Progress()->isVisible() || window.CancelButton()->isVisible());

  // Shown: one box at a time, none modal; Cancel is pressed while one is up.
  window.Ui().messageHook = nullptr;
  bool boxUp = false;
  QTimer press;
  QObject::connect(&press, &QTimer::timeout, [&] {
    QMessageBox* box = window.RunMessages()->Current();
    if (!window.Running() || !box || !box->isVisible() || boxUp) return;
    boxUp = QApplication::activeModalWidget() == nullptr && !box->isModal() &&
            window.CancelButton()->isEnabled();
    QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
  });
  press.start(0);
  EXPECT_FALSE(window.Simulate().completed);
  press.stop();
  EXPECT_TRUE(boxUp);
  // The boxes wait in their order, the run's last word last.
  std::vector<std::string> shown;
  while (QMessageBox* box = window.RunMessages()->Current()) {
    shown.push_back(box->text().toStdString());
    box->done(QMessageBox::Ok);
  }
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown.front(), kInitialApproximationFailedMessage);
  const int cases = StoppedAfter(shown.back());
  ASSERT_GT(cases, 0) << shown.back();
  EXPECT_LT(cases, 2000);
  EXPECT_EQ(static_cast<int>(shown.size()), cases / 9 + 1);
  EXPECT_EQ(Lines("results.txt"), cases + 1);
}

// The messages of a run in the Messages panel with their case, the question
// that stops the boxes of the cases for the rest of the run, and the run's
// summary.
TEST_F(LongRunTest, TheBoxesOfFailingCasesStopWhenAskedAndThePanelKeepsThemWithTheirCase) {
  OpenLongRun();
  const std::set<int> failing = FailEvery(10);  // 200 cases, each with a message
  // And 40 cases without a sighting, which cannot be adjusted at all.
  std::set<int> failed;
  for (int i = 5; i <= 2000; i += 50) tables.TargetTrees[i].NPA = 0, failed.insert(i);
  window.Ui().messageHook = nullptr;
  // The first box offers the question: ticked and closed. Every box seen is
  // recorded with whether it asked.
  std::vector<std::pair<std::string, bool>> boxes;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QMessageBox* box = window.RunMessages()->Current();
    if (!box || !box->isVisible()) return;
    EXPECT_FALSE(box->isModal());
    QCheckBox* stop = window.RunMessages()->StopOffer();
    boxes.push_back({box->text().toStdString(), stop != nullptr});
    if (stop) stop->setChecked(true);
    box->done(QMessageBox::Ok);
  });
  answer.start(0);
  const RunOutcome run = window.Simulate();
  ASSERT_TRUE(run.completed);
  // Let the boxes still waiting come up and be answered.
  for (int i = 0; i < 50 && window.RunMessages()->Current(); ++i) QTest::qWait(10);
  answer.stop();
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes.front(), std::make_pair(std::string(kInitialApproximationFailedMessage), true));
  // After the question only the run's own last word came as a box (a case
  // message may have been up while the first was answered).
  EXPECT_LE(boxes.size(), 3u);
  EXPECT_EQ(boxes.back().first.rfind("Ready!", 0), 0u) << boxes.back().first;
  EXPECT_FALSE(boxes.back().second);
  EXPECT_EQ(window.RunMessages()->Waiting(), 0);
  EXPECT_TRUE(window.Messages()->isVisible());

  // The panel: every message with its case, in order, then the summary and
  // the failed cases.
  MessagesPanel* panel = window.Messages();
  std::set<int> messageCases;
  int i = 0;
  for (; i < panel->Count() && panel->CaseOf(i) > 0; ++i)
    if (panel->TextOf(i) == kInitialApproximationFailedMessage) messageCases.insert(panel->CaseOf(i));
  EXPECT_EQ(messageCases, failing);
  const int messagesOfCases = i;
  EXPECT_GE(messagesOfCases, 200);
  ASSERT_LT(i + 1, panel->Count());
  EXPECT_EQ(panel->CaseOf(i), 0);
  EXPECT_EQ(panel->TextOf(i).rfind("Ready!", 0), 0u);
  const QString summary = QString::fromStdString(panel->TextOf(i + 1));
  EXPECT_EQ(summary, window.RunSummary());
  EXPECT_TRUE(summary.contains("2000 cases") && summary.contains("not computed 40") && summary.contains("40 not positioned") &&
              summary.contains(QString("%1 messages").arg(messagesOfCases + 1)))
      << summary.toStdString();
  EXPECT_TRUE(summary.contains("azimuth correction used " +
                               QString::number(run.azimuthCorrectionUsed, 'g', 12)));
  // One line per failed case; activating it shows the case in the list.
  std::set<int> failedLines;
  for (int k = i + 2; k < panel->Count(); ++k) failedLines.insert(panel->CaseOf(k));
  EXPECT_EQ(failedLines, failed);
  QTreeWidgetItem* line = panel->Lines()->topLevelItem(panel->Count() - 1);
  emit panel->Lines()->itemActivated(line, 0);
  EXPECT_EQ(window.List1()->currentRow(), 1955);

  // The next run asks again.
  boxes.clear();
  answer.start(0);
  ASSERT_TRUE(window.Simulate().completed);
  for (int k = 0; k < 50 && window.RunMessages()->Current(); ++k) QTest::qWait(10);
  answer.stop();
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(boxes.front().second);
}

}  // namespace
}  // namespace treetri::gui
