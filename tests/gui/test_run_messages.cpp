// The messages of a run in the Messages panel with their case, the question
// that stops the boxes of the cases for the rest of the run, and the run's
// summary.
#include <set>

#include <QCheckBox>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/gui/message_queue.h"
#include "app/messages_panel.h"
#include "positioning/case_steps.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST_F(DesktopTest, TheBoxesOfFailingCasesStopWhenAskedAndThePanelKeepsThemWithTheirCase) {
  // The data set's cases repeated to 2000, every tenth with distances only:
  // 200 cases whose initial approximation fails, each with a message.
  OpenDataSet();
  for (int i = 4; i <= 2000; ++i) tables.TargetTrees[i] = tables.TargetTrees[1 + (i - 1) % 3];
  tables.TargetTreeCount = 2000;
  std::set<int> failing;
  for (int i = 10; i <= 2000; i += 10) {
    TargetTree& tree = tables.TargetTrees[i];
    for (int k = 1; k <= 3; ++k) tree.HasAzimuth[k] = kFalse, tree.Azimuth[k] = -1;
    tree.AzimuthCount = 0;
    failing.insert(i);
  }
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
