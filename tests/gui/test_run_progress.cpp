// A long run in the window, on its worker thread: progress shown while the
// canvas draws no dot, list lines added at a cost that does not grow with
// the list, the Cancel button with the files complete, and the messages of
// failing cases, which neither block Cancel nor lay out the list.
#include <map>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "app/gui/message_queue.h"
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
  // Every ninth case (11 %) with distances only: its initial approximation
  // fails, with a message.
  void FailEveryNinth() {
    for (int i = 9; i <= 2000; i += 9) {
      TargetTree& tree = tables.TargetTrees[i];
      for (int k = 1; k <= 3; ++k) tree.HasAzimuth[k] = kFalse, tree.Azimuth[k] = -1;
      tree.AzimuthCount = 0;
    }
  }
  int Lines(const char* name) const {
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = file.readAll();
    return text.isEmpty() || text.endsWith("\r\n") ? static_cast<int>(text.count('\n')) : -2;
  }
  // The case number of "The run is stopped after case N.", or 0.
  static int StoppedAfter(const std::string& said) {
    const std::string lead = "The run is stopped after case ";
    return said.rfind(lead, 0) == 0 ? std::stoi(said.substr(lead.size())) : 0;
  }
};

TEST_F(LongRunTest, ProgressIsShownAndListLinesCostTheSameAtAnyLength) {
  OpenLongRun();
  // A timer fires only when events are processed during the run.
  std::vector<QString> shown;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (window.Progress()->isVisible()) shown.push_back(window.Progress()->text());
  });
  watch.start(0);
  const int layouts = window.Ui().ListLayouts();
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(window.Simulate().completed);
  // One layout per repaint interval at most (two intervals run side by side),
  // not one per line.
  EXPECT_LE(window.Ui().ListLayouts() - layouts, 3 + 2 * clock.elapsed() / QtUi::kRefreshMilliseconds);
  // The progress grows while the run is under way and ends at the last case.
  ASSERT_GT(shown.size(), 1u);
  EXPECT_TRUE(shown.front().startsWith("case ") && shown.front().endsWith(" of 2000"));
  EXPECT_EQ(shown.back(), "case 2000 of 2000");
  EXPECT_EQ(window.List1()->count(), 2001);
  EXPECT_FALSE(window.Progress()->isVisible() || window.CancelButton()->isVisible());
}

TEST_F(LongRunTest, TheRunGoesOnWhileTheGuiThreadIsBusyAndCancelLeavesItsFilesComplete) {
  OpenLongRun();
  // The GUI thread stops for a while during the run: a run on the GUI thread
  // would stand still, the worker writes on. Then Cancel.
  int grew = -1;
  QTimer press;
  QObject::connect(&press, &QTimer::timeout, [&] {
    const int before = Lines("results.txt");
    if (!window.Running() || before < 50 || grew >= 0) return;
    QThread::msleep(20);
    grew = Lines("results.txt") - before;
    QTest::mouseClick(window.CancelButton(), Qt::LeftButton);
  });
  press.start(0);
  EXPECT_FALSE(window.Simulate().completed);
  EXPECT_GT(grew, 0);
  ASSERT_FALSE(messages.empty());
  const int cases = StoppedAfter(messages.back());
  ASSERT_GT(cases, 0) << messages.back();
  EXPECT_LT(cases, 2000);
  // The results file: the header and one line per case; map data, list and
  // both quality files: one line (quality: and a header) per case.
  EXPECT_EQ(Lines("results.txt"), cases + 1);
  EXPECT_EQ(Lines("mapdata.txt"), cases);
  EXPECT_EQ(window.List1()->count(), cases + 1);
  EXPECT_EQ(Lines(quality::kQualityFileName), cases + 1);
  // Observations: every case up to the last, the last as many as its
  // geometry's other cases (the cases repeat in threes).
  QFile observations(folder.filePath(quality::kObservationsFileName));
  ASSERT_TRUE(observations.open(QIODevice::ReadOnly));
  std::map<int, int> rowsOfCase;
  observations.readLine();
  while (!observations.atEnd()) ++rowsOfCase[observations.readLine().split(',').front().toInt()];
  ASSERT_EQ(static_cast<int>(rowsOfCase.size()), cases);
  EXPECT_EQ(rowsOfCase.rbegin()->first, cases);
  EXPECT_EQ(rowsOfCase[cases], rowsOfCase[cases - 3]);
  EXPECT_EQ(static_cast<int>(window.Results().Cases().size()), cases);
  EXPECT_FALSE(window.Running() || window.CancelButton()->isVisible());
}

TEST_F(LongRunTest, MessagesOfFailingCasesNeitherLayOutTheListNorBlockCancel) {
  OpenLongRun();
  FailEveryNinth();
  messages.clear();
  // Recorded: every message in its order, the list laid out once an
  // interval, not once a message.
  const int layouts = window.Ui().ListLayouts();
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(window.Simulate().completed);
  EXPECT_LE(window.Ui().ListLayouts() - layouts, 3 + 2 * clock.elapsed() / QtUi::kRefreshMilliseconds);
  ASSERT_EQ(messages.size(), 2000u / 9 + 1);
  EXPECT_EQ(messages.front(), kInitialApproximationFailedMessage);
  EXPECT_EQ(messages.back().rfind("Ready!", 0), 0u);

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

}  // namespace
}  // namespace treetri::gui
