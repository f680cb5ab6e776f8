// Runs on the small data set: through the menu (the results list, the dots of
// the canvas, the menu while the run is under way, the plot viewer) and from
// the program's command line.
#include <fstream>

#include <QFile>
#include <QListWidget>

#include "quality/quality_files.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST_F(DesktopTest, ARunThroughTheMenuAndThePlotViewerOfItsResults) {
  OpenDataSet();
  const auto view = [this](int row) { window.List1()->setCurrentRow(row), window.List1_DblClick(); };
  std::vector<std::vector<bool>> seen;
  window.onCaseShown = [&](int) {
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
  window.onCaseShown = nullptr;
  // Per case shown on the GUI thread: the two open commands and Calculate
  // off, the rest on, the dots drawn so far. Exit during the run was heard.
  EXPECT_EQ(seen, std::vector<std::vector<bool>>(3, {false, false, false, true, true, true, true}));
  EXPECT_TRUE(window.Help() && window.Help()->isVisible() && exits == 1);
  EXPECT_EQ(messages.back(), "Ready! Results are in file " + File("results.txt"));
  // (The list and the canvas after this run are the golden picture of
  // test_main_window.cpp; the desktop's quality files are the batch
  // program's: CaseEditTest.ARunAppliesCorrectionsAndWritesWhatTheBatchProgramWrites.)
  std::vector<QImage> views;
  for (int row = 1; row <= 3; ++row) {
    view(row);
    EXPECT_EQ(CountColour(Surface(), kMagenta), 0);  // the run's canvas is replaced
    views.push_back(Surface().copy());
  }
  EXPECT_TRUE(views[0] != views[1] && views[1] != views[2]);
  // The viewer's failure cases show nothing and never crash.
  const size_t before = messages.size();
  const QImage canvas = Surface().copy();
  view(0);  // the header line
  EXPECT_EQ(Surface(), canvas);
  QFile::remove(folder.filePath("results.txt"));
  view(1);  // without the results file: the trees and rays, no positions
  EXPECT_NE(Surface(), views[0]);
  window.SimulateAction()->trigger();
  tables.TargetTrees[1].NPA = 0;  // a case without sighted trees
  view(1);
  EXPECT_EQ(messages.size(), before + 1);  // only the next run's "Ready!"
}

// Calculate with nothing loaded touches no file of the folder's earlier
// run; a map opened after the sightings has them read again against it.
TEST_F(DesktopTest, NothingToComputeAndAMapReplacedAfterTheSightings) {
  WriteDataSet();
  tables.WorkFolder = folder.path().toStdString() + "/";
  std::ofstream(File("results.txt"), std::ios::binary) << "earlier";
  window.SimulateAction()->trigger();
  EXPECT_EQ(messages.back(), "Nothing to compute: no photogrammetric map has been read. The run is "
                             "not started; no file was changed.");
  EXPECT_EQ(ReadFile(File("results.txt")), "earlier");
  EXPECT_FALSE(QFile::exists(folder.filePath(quality::kQualityFileName)));

  answers = {File("map.txt"), File("sightings.txt")};
  window.OpenMapAction()->trigger();
  window.OpenSightingsAction()->trigger();
  ASSERT_EQ(tables.TargetTrees[1].Sighted[2].Y, 1.0);
  std::ofstream(File("map2.txt"), std::ios::binary)
      << "1,1,1,1,0,0,0,0,0,0,0,0,0,x,0,a,0\r\n1,2,1,0,3,0,0,0,0,0,0,0,0,x,0,a,0\r\n"
         "1,3,1,-1,0,0,0,0,0,0,0,0,0,x,0,a,0\r\n1,4,1,0,-1,0,0,0,0,0,0,0,0,x,0,a,0\r\n";
  answers = {File("map2.txt")};
  messages.clear();
  window.OpenMapAction()->trigger();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages[1], "The map was replaced after the sightings were read: the sighting file \"" +
                             File("sightings.txt") + "\" is read again against the new map.");
  EXPECT_EQ(tables.TargetTrees[1].Sighted[2].Y, 3.0);
}

TEST_F(DesktopTest, AScriptedStartSavesAPictureOfTheWindowAfterTheRun) {
  RunScripted({"--screenshot", folder.filePath("window.png")});
  const QImage image(folder.filePath("window.png"));
  EXPECT_EQ(image.size(), window.size());
  EXPECT_EQ(CountColour(image, kMagenta), 3 * 4);  // the run's dots
  EXPECT_GT(CountColour(image, kBlack), 100);      // axes, labels and list text
}

}  // namespace
}  // namespace treetri::gui
