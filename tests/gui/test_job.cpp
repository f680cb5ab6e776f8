// The job: opening a work folder (with and without a parameter file), the
// start that asks for one, the recent jobs, the last results shown without
// computing, a parameter file written on request, and the keyboard.
#include <algorithm>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTextBrowser>

#include "app/manual_window.h"
#include "app/messages_panel.h"
#include "app/plot_map_window.h"
#include "platform/run_guard.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

class JobTest : public DesktopTest {
 protected:
  JobTest() { window.folderHook = [this](const std::string&, std::string&) { return ++asked, false; }; }
  // Opening a job changes the current folder: the next test starts where
  // this one did.
  ~JobTest() override { QDir::setCurrent(startFolder); }
  std::string Folder() const { return QDir(folder.path()).canonicalPath().toStdString() + "/"; }
  std::vector<std::string> PanelTexts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < window.Messages()->Count(); ++i) texts.push_back(window.Messages()->TextOf(i));
    return texts;
  }
  std::vector<std::string> ListLines() {
    window.Ui().FlushList();
    std::vector<std::string> lines;
    for (int i = 0; i < window.List1()->count(); ++i)
      lines.push_back(window.List1()->item(i)->text().toStdString());
    return lines;
  }
  QString startFolder = QDir::currentPath();
  int asked = 0;
};

TEST_F(JobTest, AFolderWithAParameterFileOpensQuietlyAndComesBackWithItsFiles) {
  WriteDataSet();
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  // The folder is the current one, the start-up ran there and said so in the
  // panel, not in a box.
  EXPECT_EQ(QDir::currentPath().toStdString() + "/", Folder());
  EXPECT_EQ(tables.WorkFolder, Folder());
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(PanelTexts(), std::vector<std::string>{"Assuming that all files are in folder " + Folder()});
  EXPECT_TRUE(window.Messages()->isVisible());
  EXPECT_FALSE(QFile::exists(folder.filePath(kProbeFileName)));
  EXPECT_TRUE(window.windowTitle().endsWith(QString::fromStdString(Folder())));
  // The files read are named in the status bar and remembered with the job.
  answers = {File("map.txt"), File("sightings.txt")};
  window.OpenInputsAction()->trigger();
  EXPECT_EQ(tables.TargetTreeCount, 3);
  EXPECT_TRUE(messages.empty());  // the two counts went to the panel
  EXPECT_EQ(PanelTexts().size(), 3u);
  const QString status = window.JobStatusText();
  EXPECT_TRUE(status.contains(QString::fromStdString(Folder())) && status.contains("map.txt") &&
              status.contains("sightings.txt") && !status.contains("missing"))
      << status.toStdString();
  ASSERT_EQ(window.Recent().Jobs().size(), 1u);
  EXPECT_EQ(window.Recent().Jobs()[0].sightings, File("sightings.txt"));

  // Another window reading the same recent-jobs file opens the job from its
  // menu with both files read again.
  Tables other;
  MainWindow second(other);
  second.UseRecentJobsFile(folder.filePath("recent.ini"));
  second.Ui().messageHook = [](const std::string&) {};
  QDir::setCurrent(startFolder);
  ASSERT_EQ(second.RecentJobsMenu()->actions().size(), 1);
  second.RecentJobsMenu()->actions()[0]->trigger();
  EXPECT_EQ(other.WorkFolder, Folder());
  EXPECT_EQ(std::make_pair(other.TargetTreeCount, other.PhotoTrees.Size()), std::make_pair(3, 4));
  EXPECT_TRUE(second.Simulate().completed);
}

TEST_F(JobTest, AMissingParameterFileIsReportedOnceWithWhatToDoAndCanBeWritten) {
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(kParameterFileName), std::string::npos);
  EXPECT_NE(messages[0].find("Create parameter file"), std::string::npos) << messages[0];
  EXPECT_TRUE(window.JobStatusText().contains("(missing)"));
  // Reading the files reports nothing more about it.
  WriteDataSet();
  QFile::remove(folder.filePath(kParameterFileName));
  answers = {File("map.txt"), File("sightings.txt")};
  window.OpenInputsAction()->trigger();
  EXPECT_EQ(messages.size(), 1u);
  // Written on request, never over a file that is there.
  ASSERT_TRUE(window.CreateParameterFile());
  EXPECT_FALSE(window.JobStatusText().contains("("));
  EXPECT_FALSE(window.CreateParameterFile());
  EXPECT_EQ(messages.size(), 2u);
  const RunOutcome run = window.Simulate();
  EXPECT_TRUE(run.parametersRead && run.completed);
  EXPECT_TRUE(QFile::exists(folder.filePath("results.txt")));
}

TEST_F(JobTest, ABadParameterFileIsNamedWithItsItem) {
  WriteDataSet();
  ParameterFileTexts params = DefaultParameterTexts();
  params.Item(30) = "0";  // SigmaDistance
  std::ofstream(File(kParameterFileName), std::ios::binary) << ParameterFileText(params);
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("SigmaDistance (item 30) is 0"), std::string::npos) << messages[0];
  EXPECT_TRUE(window.JobStatusText().contains("(has an error)"));
  // A folder that is not there changes nothing.
  EXPECT_FALSE(window.OpenJob(File("none")));
  EXPECT_EQ(tables.WorkFolder, Folder());
}

TEST_F(JobTest, TheStartAsksForAFolderOnlyWhereNoParameterFileIs) {
  // Without a parameter file: the question; cancelled, the start-up runs as
  // it always did and the missing file is reported once.
  QDir::setCurrent(folder.path());
  ASSERT_TRUE(window.Start(false));
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Assuming that all files are in folder " + Folder());
  EXPECT_NE(messages[1].find(kParameterFileName), std::string::npos);
  // Answered: the chosen folder is the job.
  QTemporaryDir other;
  window.folderHook = [&](const std::string&, std::string& chosen) {
    return chosen = other.path().toStdString(), ++asked, true;
  };
  messages.clear();
  ASSERT_TRUE(window.Start(false));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(tables.WorkFolder, QDir(other.path()).canonicalPath().toStdString() + "/");
  EXPECT_EQ(messages.size(), 1u);  // only the missing parameter file
  // With a parameter file the legacy start runs unasked, its message in a box.
  WriteDataSet();
  QDir::setCurrent(folder.path());
  messages.clear();
  ASSERT_TRUE(window.Start(false));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(messages, std::vector<std::string>{"Assuming that all files are in folder " + Folder()});
  // Asked for on the command line (the desktop menu's entry), it asks anyway.
  ASSERT_TRUE(window.Start(true));
  EXPECT_EQ(asked, 3);
}

// Open results shows the last run without computing; the re-measure list
// of the last run goes to the file named.
TEST_F(JobTest, OpenResultsShowsTheLastRunWithoutComputing) {
  // No run yet: a message each, nothing shown, no file.
  WriteDataSet();
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  EXPECT_FALSE(window.ShowOnPlotMapAction()->isEnabled());
  EXPECT_FALSE(window.OpenResults());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("results.txt"), std::string::npos);
  std::vector<std::string> offered;
  window.saveHook = [&](const std::string& name, std::string& chosen) {
    return offered.push_back(name), chosen = File("crew"), true;
  };
  EXPECT_FALSE(window.ExportRemeasureAction()->isEnabled() && window.ExportRemeasureList());
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_FALSE(QFile::exists(folder.filePath("crew.csv")));
  // A run with a case that cannot be adjusted (no sighting): it needs a visit.
  std::ofstream(File("sightings.txt"), std::ios::binary | std::ios::app)
      << "1,104,1,0,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r\n";
  answers = {File("map.txt"), File("sightings.txt")};
  window.OpenInputsAction()->trigger();
  ASSERT_TRUE(window.CalculateAction()->isEnabled());
  window.CalculateAction()->trigger();
  const std::vector<std::string> computed = ListLines();
  ASSERT_EQ(computed.size(), 5u);
  ASSERT_NE(computed[4].find("FAILED"), std::string::npos) << computed[4];
  EXPECT_TRUE(window.ShowOnPlotMapAction()->isEnabled());
  ASSERT_TRUE(window.ExportRemeasureList());
  EXPECT_EQ(offered, std::vector<std::string>{Folder() + "remeasure.csv"});
  // The name without an extension gets ".csv"; the header and one visit.
  const std::string crew = ReadFile(File("crew.csv"));
  EXPECT_EQ(std::count(crew.begin(), crew.end(), '\n'), 2) << crew;
  EXPECT_NE(crew.find("\n1,104,4,"), std::string::npos) << crew;
  // Opening the folder again forgets the run; Open results brings back the
  // same list, read from the files, and the quality of every case.
  const std::string results = ReadFile(File("results.txt"));
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  EXPECT_EQ(window.List1()->count(), 0);
  EXPECT_TRUE(window.Results().Cases().empty());
  EXPECT_FALSE(window.ShowOnPlotMapAction()->isEnabled());
  window.OpenResultsAction()->trigger();
  EXPECT_EQ(ListLines(), computed);
  EXPECT_EQ(window.Results().Cases().size(), 4u);
  EXPECT_TRUE(window.ShowOnPlotMapAction()->isEnabled());
  PlotMapWindow* map = window.ShowPlotMap(2);
  ASSERT_TRUE(map && map->isVisible());
  EXPECT_EQ(map->SelectedCase(), 2);
  EXPECT_EQ(ReadFile(File("results.txt")), results);  // nothing was written
  // The viewer of a shown line draws the case from the results file.
  const QImage before = Surface().copy();
  window.List1()->setCurrentRow(1);
  window.List1_DblClick();
  EXPECT_NE(Surface(), before);
  // A run killed while it wrote a line leaves it unfinished: the line is
  // left out, and the messages say so.
  std::ofstream(File("results.txt"), std::ios::binary | std::ios::app) << "5,3,1,105,0.5";
  ASSERT_TRUE(window.OpenResults());
  EXPECT_EQ(ListLines(), computed);
  const std::vector<std::string> said = PanelTexts();
  EXPECT_TRUE(std::any_of(said.begin(), said.end(), [](const std::string& t) {
    return t.find("line 6, is unfinished") != std::string::npos;
  })) << said.back();
}

TEST_F(JobTest, TheKeyboardReachesTheMenusTheJobAndTheManual) {
  QApplication::setActiveWindow(&window);
  QCoreApplication::processEvents();
  // Ctrl+O asks for a folder, Ctrl+R calculates.
  QTest::keyClick(window.List1(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(asked, 1);
  OpenDataSet();
  QTest::keyClick(window.List1(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(ListLines().size(), 4u);
  // Every command of the Job menu has a mnemonic; no two share a key.
  QStringList keys;
  for (QAction* a : window.JobMenu()->actions()) {
    if (a->isSeparator()) continue;
    EXPECT_TRUE(a->text().contains('&')) << a->text().toStdString();
    if (!a->shortcut().isEmpty()) keys << a->shortcut().toString();
  }
  EXPECT_EQ(keys.removeDuplicates(), 0);
  EXPECT_GE(keys.size(), 5);
  // Alt+F opens the File menu, whose caption keeps no mnemonic mark.
  QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
  EXPECT_EQ(window.menuBar()->activeAction(), window.FileMenu()->menuAction());
  EXPECT_EQ(window.FileMenu()->title(), "File");
  window.FileMenu()->close();
  // F1 opens the manual (not the legacy help window), which lists every key.
  QTest::keyClick(window.List1(), Qt::Key_F1);
  ASSERT_TRUE(window.Manual() && window.Manual()->isVisible());
  EXPECT_EQ(window.Help(), nullptr);
  const QString manual = window.Manual()->Text()->toPlainText();
  for (const QString& key : keys) EXPECT_TRUE(manual.contains(key)) << key.toStdString();
  for (const char* word : {"outlier", "global test", "corrections.csv", "plot map"})
    EXPECT_TRUE(manual.contains(word, Qt::CaseInsensitive)) << word;
}

TEST_F(DesktopTest, TheListAndTheDrawingTakeTheRoomOfAResizedWindow) {
  OpenDataSet();
  window.Simulate();
  QCoreApplication::processEvents();
  const QSize legacy = window.size();
  const QRect legacyList = window.List1()->geometry();
  for (const QSize size : {QSize(1500, 1000), QSize(640, 420), QSize(1200, 500)}) {
    window.resize(size);
    QCoreApplication::processEvents();
    const QRect client = window.centralWidget()->rect();
    const QRect list = window.List1()->geometry(), picture = window.Picture1()->geometry();
    EXPECT_TRUE(client.contains(list) && client.contains(picture))
        << size.width() << "x" << size.height();
    EXPECT_FALSE(list.intersects(picture));
    EXPECT_EQ(picture.width(), picture.height());
    if (size.width() > legacy.width() && size.height() > legacy.height()) {
      EXPECT_GT(list.width(), legacyList.width());
      EXPECT_GT(list.height(), legacyList.height());
      EXPECT_GT(picture.width(), 345);
    }
    // The drawing is shown at the surface's size: the run's dots are there
    // (blended with the white around them where the surface shrinks).
    const QImage shown = window.Picture1()->grab().toImage();
    int dots = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) {
        const QRgb p = shown.pixel(x, y);
        dots += qRed(p) > 200 && qBlue(p) > 200 && qGreen(p) < 160;
      }
    EXPECT_GT(dots, 0);
  }
  window.resize(legacy);
  QCoreApplication::processEvents();
  EXPECT_EQ(window.centralWidget()->size(), QSize(1006, 538));
  EXPECT_EQ(window.List1()->geometry(), legacyList);
  EXPECT_EQ(window.Picture1()->grab().toImage().convertToFormat(QImage::Format_RGB32),
            Surface().convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace treetri::gui
