// A positioning run through the menu on a small data set near the origin:
// the results list, the dots of the canvas, the menu while the run is under
// way, and the plot viewer on chosen lines and on its failure cases.
#include <filesystem>

#include <QAction>
#include <QCoreApplication>
#include <QListWidget>
#include <QTest>

#include "app/help_window.h"
#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

constexpr const char* kHeader =
    "C Nite Plot Tree   X-sol       Y-sol      SigmaN SigX SigY Status";

// Where the plot viewer draws a map position for field tree f: the view is
// scaled to the sighted map trees.
QPoint ViewerPixel(const FieldTree& f, double x, double y) {
  double minX = 1e20, minY = 1e20, maxX = -1e20, maxY = -1e20;
  for (int s : f.sighted) {
    minX = std::min(minX, MapX(s)), maxX = std::max(maxX, MapX(s));
    minY = std::min(minY, MapY(s)), maxY = std::max(maxY, MapY(s));
  }
  const double extent = 1.2 * std::max(maxX - minX + 3, maxY - minY + 3);
  const double scale = 345 / extent;
  return QPoint(static_cast<int>(std::lround((x - minX + 3) * scale)),
                static_cast<int>(std::lround((maxY - y + 3) * scale)));
}

// Red filled circle of radius 3 at the pixel.
bool AdjustedMarkAt(const QImage& image, QPoint p) {
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      if (!HasColour(image, p.x() + dx, p.y() + dy, kRed)) return false;
  return true;
}

class RunTest : public DesktopTest {
 protected:
  RunTest() : cwd(dir.Path()) {
    WriteDataSet(dir);
    tables.WorkFolder = dir.Path() + "/";
    window->Ui().SetStartFolder(tables.WorkFolder);
  }

  void RunThroughMenu() {
    OpenDataSet(dir);
    window->SimulateAction()->trigger();
  }

  // Double-clicks line `row` of the results list with the mouse.
  void DoubleClickLine(int row) {
    QListWidget* list = window->List1();
    QListWidgetItem* item = list->item(row);
    ASSERT_NE(item, nullptr);
    list->scrollToItem(item);
    QCoreApplication::processEvents();
    // What the window system delivers: press, release, double-click, release.
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }

  TempDir dir;
  CurrentDirScope cwd;
};

TEST_F(RunTest, ListAndDotsOfEveryCase) {
  RunThroughMenu();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2], "Ready! Results are in file results.txt");

  QListWidget* list = window->List1();
  ASSERT_EQ(list->count(), 4);
  EXPECT_EQ(list->item(0)->text().toStdString(), kHeader);
  const char* const expected[] = {", 1, 101, 0.30, 0.20, ", ", 1, 102, -0.40, -0.50, ",
                                  ", 1, 103, 0.60, -0.30, "};
  for (int k = 1; k <= 3; ++k) {
    const std::string line = list->item(k)->text().toStdString();
    EXPECT_EQ(line.rfind(std::to_string(k) + ", ", 0), 0u) << line;
    EXPECT_NE(line.find(expected[k - 1]), std::string::npos) << line;
    EXPECT_NE(line.find(" OK "), std::string::npos) << line;
  }

  // One magenta dot of line width 2 per case, at (200 + 100 X, 200 - 100 Y).
  for (const FieldTree& f : FieldTrees())
    EXPECT_TRUE(HasColour(Surface(), CanvasX(f.x), CanvasY(f.y), kMagenta)) << f.tree;
  EXPECT_EQ(CountColour(Surface(), kMagenta), 3 * 4);
  // The axes cross at the origin.
  EXPECT_TRUE(HasColour(Surface(), 200, 200, kBlack));
  EXPECT_TRUE(HasColour(Surface(), 100, 200, kBlack));
  EXPECT_TRUE(HasColour(Surface(), 200, 300, kBlack));

  // What the window shows is the surface.
  const QImage shown = window->Picture1()->grab().toImage();
  EXPECT_TRUE(HasColour(shown, CanvasX(0.3), CanvasY(0.2), kMagenta));

  // All commands are back once the run is over.
  EXPECT_FALSE(tables.RunInProgress);
  EXPECT_TRUE(window->OpenMapAction()->isEnabled());
  EXPECT_TRUE(window->OpenSightingsAction()->isEnabled());
  EXPECT_TRUE(window->SimulateAction()->isEnabled());
}

TEST_F(RunTest, DotsAppearCaseByCaseWhileCommandsThatChangeTablesWait) {
  OpenDataSet(dir);
  const size_t dialogsBefore = dialogs.size();
  struct Seen {
    bool map, sightings, simulate, exit, help, list;
    bool dotNow, nextDotYet;
    int magenta;
  };
  std::vector<Seen> seen;
  window->Ui().onProcessEvents = [&] {
    const size_t k = seen.size();  // the case just drawn, from 0
    const auto& f = FieldTrees();
    Seen s{};
    s.map = window->OpenMapAction()->isEnabled();
    s.sightings = window->OpenSightingsAction()->isEnabled();
    s.simulate = window->SimulateAction()->isEnabled();
    s.exit = window->ExitAction()->isEnabled();
    s.help = window->HelpAction()->isEnabled();
    s.list = window->List1()->isEnabled();
    s.dotNow = k < f.size() && HasColour(Surface(), CanvasX(f[k].x), CanvasY(f[k].y), kMagenta);
    s.nextDotYet = k + 1 < f.size() &&
                   HasColour(Surface(), CanvasX(f[k + 1].x), CanvasY(f[k + 1].y), kMagenta);
    s.magenta = CountColour(Surface(), kMagenta);
    seen.push_back(s);
    // Disabled commands do nothing when triggered; the others work.
    window->SimulateAction()->trigger();
    window->OpenMapAction()->trigger();
    window->OpenSightingsAction()->trigger();
    if (k == 0) {
      window->HelpAction()->trigger();
      window->ExitAction()->trigger();
    }
  };
  window->SimulateAction()->trigger();
  window->Ui().onProcessEvents = nullptr;

  ASSERT_EQ(seen.size(), 3u);
  for (size_t k = 0; k < seen.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_FALSE(seen[k].map);
    EXPECT_FALSE(seen[k].sightings);
    EXPECT_FALSE(seen[k].simulate);
    EXPECT_TRUE(seen[k].exit);
    EXPECT_TRUE(seen[k].help);
    EXPECT_TRUE(seen[k].list);
    EXPECT_TRUE(seen[k].dotNow);
    EXPECT_FALSE(seen[k].nextDotYet);
    EXPECT_EQ(seen[k].magenta, 4 * static_cast<int>(k + 1));
  }
  EXPECT_EQ(dialogs.size(), dialogsBefore);
  EXPECT_EQ(std::count(messages.begin(), messages.end(),
                       std::string("Ready! Results are in file results.txt")),
            1);
  EXPECT_EQ(window->List1()->count(), 4);
  ASSERT_NE(window->Help(), nullptr);
  EXPECT_TRUE(window->Help()->isVisible());
  EXPECT_EQ(exits, 1);
  EXPECT_TRUE(window->SimulateAction()->isEnabled());
  EXPECT_TRUE(window->OpenMapAction()->isEnabled());
}

TEST_F(RunTest, PlotViewerDrawsTheChosenCase) {
  RunThroughMenu();
  const size_t before = messages.size();
  const auto& trees = FieldTrees();

  DoubleClickLine(1);
  EXPECT_EQ(window->Ui().ListSelectedIndex(), 1);
  EXPECT_TRUE(AdjustedMarkAt(Surface(), ViewerPixel(trees[0], trees[0].x, trees[0].y)));
  // The run's dots are gone: the viewer replaced the picture.
  EXPECT_EQ(CountColour(Surface(), kMagenta), 0);
  EXPECT_FALSE(AdjustedMarkAt(Surface(), ViewerPixel(trees[1], trees[1].x, trees[1].y)));

  DoubleClickLine(2);
  EXPECT_TRUE(AdjustedMarkAt(Surface(), ViewerPixel(trees[1], trees[1].x, trees[1].y)));
  EXPECT_FALSE(AdjustedMarkAt(Surface(), ViewerPixel(trees[0], trees[0].x, trees[0].y)));

  DoubleClickLine(3);
  EXPECT_TRUE(AdjustedMarkAt(Surface(), ViewerPixel(trees[2], trees[2].x, trees[2].y)));
  // Every sighted map tree is drawn as a black ring around its position.
  const QPoint mapTree = ViewerPixel(trees[2], MapX(4), MapY(4));
  EXPECT_TRUE(HasColour(Surface(), mapTree.x() + 5, mapTree.y(), kBlack) ||
              HasColour(Surface(), mapTree.x() + 4, mapTree.y(), kBlack));
  EXPECT_EQ(messages.size(), before);

  // The same line again gives the same picture.
  const QImage first = Surface().copy();
  DoubleClickLine(3);
  EXPECT_EQ(Surface(), first);

  // The next run draws its canvas afresh.
  window->SimulateAction()->trigger();
  EXPECT_EQ(CountColour(Surface(), kMagenta), 3 * 4);
  EXPECT_FALSE(AdjustedMarkAt(Surface(), ViewerPixel(trees[2], trees[2].x, trees[2].y)));
}

TEST_F(RunTest, PlotViewerFailureCasesShowNothingAndNeverCrash) {
  RunThroughMenu();
  const size_t before = messages.size();
  const auto& trees = FieldTrees();
  const QPoint mark = ViewerPixel(trees[0], trees[0].x, trees[0].y);

  // The header line and no selection leave the picture as it is.
  QImage canvas = Surface().copy();
  window->List1()->setCurrentRow(0);
  window->List1_DblClick();
  EXPECT_EQ(Surface(), canvas);
  window->List1()->clearSelection();
  window->List1_DblClick();
  EXPECT_EQ(Surface(), canvas);

  // A results file with the header only: the map trees without positions.
  const std::string results = ReadFile(dir.File("results.txt"));
  dir.Write("results.txt", results.substr(0, results.find('\n') + 1));
  window->List1()->setCurrentRow(1);
  window->List1_DblClick();
  EXPECT_GT(CountInk(Surface()), 0);
  EXPECT_FALSE(AdjustedMarkAt(Surface(), mark));

  // No results file at all.
  std::filesystem::remove(dir.File("results.txt"));
  window->List1_DblClick();
  EXPECT_GT(CountInk(Surface()), 0);
  EXPECT_FALSE(AdjustedMarkAt(Surface(), mark));

  // A case without sighted trees.
  dir.Write("results.txt", results);
  tables.TargetTrees[1].NPA = 0;
  window->List1_DblClick();

  // A list line whose case is no longer in the tables.
  const int last = window->List1()->count() - 1;
  tables.TargetTreeCount = 1;
  window->List1()->setCurrentRow(last);
  window->List1_DblClick();

  EXPECT_EQ(messages.size(), before);
}

}  // namespace
}  // namespace treetri::gui
