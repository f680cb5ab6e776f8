// Runs on the small data set: through the menu (the results list, the dots of
// the canvas, the menu while the run is under way, the plot viewer) and from
// the program's command line.
#include <QListWidget>
#include <QProcess>

#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

// The red mark of field tree f's adjusted position, where the plot viewer
// draws it: the view is scaled to the sighted map trees.
bool RedMarkOf(const QImage& image, const FieldTree& f) {
  double minX = 1e20, minY = 1e20, maxX = -1e20, maxY = -1e20;
  for (int s : f.sighted) {
    minX = std::min(minX, MapX(s)), maxX = std::max(maxX, MapX(s));
    minY = std::min(minY, MapY(s)), maxY = std::max(maxY, MapY(s));
  }
  const double scale = 345 / (1.2 * std::max(maxX - minX + 3, maxY - minY + 3));
  const int x = std::lround((f.x - minX + 3) * scale), y = std::lround((maxY - f.y + 3) * scale);
  for (int d = -1; d <= 1; ++d)
    if (!HasColour(image, x + d, y, kRed) || !HasColour(image, x, y + d, kRed)) return false;
  return true;
}

class RunTest : public DesktopTest {
 protected:
  RunTest() { WriteDataSet(dir), tables.WorkFolder = dir.path + "/", OpenDataSet(dir); }
  void View(int row) { window.List1()->setCurrentRow(row), window.List1_DblClick(); }

  TempDir dir;
};

TEST_F(RunTest, ListLinesAndOneMagentaDotPerCase) {
  window.SimulateAction()->trigger();
  EXPECT_EQ(messages.back(), "Ready! Results are in file " + dir.File("results.txt"));
  QListWidget* list = window.List1();
  ASSERT_EQ(list->count(), 4);
  EXPECT_EQ(list->item(0)->text().left(16), "C Nite Plot Tree");
  const char* const expected[] = {"1, 1, 1, 101, 0.30, 0.20, ", "2, 1, 1, 102, -0.40, -0.50, ",
                                  "3, 1, 1, 103, 0.60, -0.30, "};
  for (int k = 1; k <= 3; ++k) {
    const std::string line = list->item(k)->text().toStdString();
    EXPECT_EQ(line.rfind(expected[k - 1], 0), 0u) << line;
    EXPECT_NE(line.find(" OK "), std::string::npos) << line;
    const FieldTree& f = kFieldTrees[k - 1];  // at (200 + 100 x, 200 - 100 y)
    EXPECT_TRUE(
        HasColour(Surface(), std::lround(200 + 100 * f.x), std::lround(200 - 100 * f.y), kMagenta));
  }
  EXPECT_EQ(CountColour(Surface(), kMagenta), 3 * 4);  // line width 2
}

TEST_F(RunTest, CommandsThatChangeTheTablesWaitDuringARun) {
  std::vector<std::vector<bool>> seen;
  window.Ui().onProcessEvents = [&] {
    seen.push_back({window.OpenMapAction()->isEnabled(), window.OpenSightingsAction()->isEnabled(),
                    window.SimulateAction()->isEnabled(), window.ExitAction()->isEnabled(),
                    window.HelpAction()->isEnabled(), window.List1()->isEnabled(),
                    CountColour(Surface(), kMagenta) == 4 * static_cast<int>(seen.size() + 1)});
    if (seen.size() == 1) {
      window.HelpAction()->trigger();
      window.ExitAction()->trigger();
    }
  };
  window.SimulateAction()->trigger();
  window.Ui().onProcessEvents = nullptr;
  // Per case drawn: the two open commands and Calculate off, the rest on, the
  // dots drawn so far.
  EXPECT_EQ(seen, std::vector<std::vector<bool>>(3, {false, false, false, true, true, true, true}));
  EXPECT_TRUE(window.Help() && window.Help()->isVisible());
  EXPECT_EQ(exits, 1);
  EXPECT_TRUE(window.OpenMapAction()->isEnabled() && window.SimulateAction()->isEnabled());
}

TEST_F(RunTest, PlotViewerDrawsTheChosenCase) {
  window.SimulateAction()->trigger();
  for (int row = 1; row <= 3; ++row) {
    View(row);
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(RedMarkOf(Surface(), kFieldTrees[k]), k == row - 1) << row << " " << k;
    EXPECT_EQ(CountColour(Surface(), kMagenta), 0);  // the run's canvas is replaced
  }
}

TEST_F(RunTest, PlotViewerFailureCasesShowNothingAndNeverCrash) {
  window.SimulateAction()->trigger();
  const size_t before = messages.size();
  const QImage canvas = Surface().copy();
  View(0);  // the header line
  EXPECT_EQ(Surface(), canvas);

  std::filesystem::remove(dir.File("results.txt"));
  View(1);
  EXPECT_FALSE(RedMarkOf(Surface(), kFieldTrees[0]));

  window.SimulateAction()->trigger();
  tables.TargetTrees[1].NPA = 0;  // a case without sighted trees
  View(1);
  EXPECT_EQ(messages.size(), before + 1);  // only the second run's "Ready!"
}

using ScriptedStart = DesktopTest;

TEST_F(ScriptedStart, SavesAPictureOfTheWindowAfterTheRun) {
  TempDir dir;
  WriteDataSet(dir);
  const QString png = QString::fromStdString(dir.File("window.png"));
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(dir.path));
  p.start(TREETRI_PROGRAM, {"--map", QString::fromStdString(dir.File("map.txt")), "--sightings",
                            QString::fromStdString(dir.File("sightings.txt")), "--run",
                            "--screenshot", png});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const QImage image(png);
  EXPECT_EQ(image.size(), window.size());
  EXPECT_EQ(CountColour(image, kMagenta), 3 * 4);  // the run's dots
  EXPECT_GT(CountColour(image, kBlack), 100);      // axes, labels and list text
}

}  // namespace
}  // namespace treetri::gui
