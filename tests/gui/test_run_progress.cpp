// A long run in the window: progress shown and the window repainted while the
// canvas draws no dot, list lines added at a cost that does not grow with
// the list, and the Cancel button.
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

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
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), "case 1 of 2000");
  EXPECT_EQ(shown.back(), "case 2000 of 2000");
  EXPECT_EQ(window.List1()->count(), 2001);
  EXPECT_FALSE(window.Progress()->isVisible() || window.CancelButton()->isVisible());
}

TEST_F(LongRunTest, CancelStopsTheRunAfterTheCurrentCaseWithItsFilesComplete) {
  OpenLongRun();
  QTimer press;
  QObject::connect(&press, &QTimer::timeout, [&] {
    if (window.CancelButton()->isVisible()) window.CancelButton()->click();
  });
  press.start(0);
  EXPECT_FALSE(window.Simulate().completed);
  ASSERT_FALSE(messages.empty());
  const std::string& said = messages.back();
  ASSERT_EQ(said.rfind("The run is stopped after case ", 0), 0u) << said;
  const int cases = std::stoi(said.substr(30));
  EXPECT_LT(cases, 2000);
  QFile results(folder.filePath("results.txt")), mapData(folder.filePath("mapdata.txt"));
  ASSERT_TRUE(results.open(QIODevice::ReadOnly) && mapData.open(QIODevice::ReadOnly));
  const QByteArray text = results.readAll(), lines = mapData.readAll();
  EXPECT_TRUE(text.endsWith("\r\n") && lines.endsWith("\r\n"));
  EXPECT_EQ(text.count('\n'), cases + 1);  // the header and one line per case
  EXPECT_EQ(lines.count('\n'), cases);
  EXPECT_EQ(window.List1()->count(), cases + 1);
}

}  // namespace
}  // namespace treetri::gui
