// The main window: each command of the menu does its own work, the client
// area after a run is its golden picture (legacy layout, canvas and list
// pixel for pixel), and the help window.
#include <algorithm>

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "data/readers.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST_F(DesktopTest, EachMenuCommandDoesItsWorkAndTheWindowAfterARunIsItsGoldenPicture) {
  WriteDataSet();
  tables.WorkFolder = folder.path().toStdString() + "/";
  std::vector<std::string> titles;
  window.Ui().dialogHook = [&](auto&, const std::string& title, auto&, std::string& chosen) {
    titles.push_back(title);
    chosen = title == kMapDialogTitle ? File("map.txt") : File("sightings.txt");
    return true;
  };
  // The File menu's commands in their order: the map, the sightings, the
  // run, the end; Help is a command of the bar itself.
  const QList<QAction*> file = window.FileMenu()->actions();
  ASSERT_EQ(file.size(), 4);
  file[0]->trigger();
  EXPECT_EQ(tables.PhotoTrees.Size(), 4);
  EXPECT_EQ(tables.TargetTreeCount, 0);
  file[1]->trigger();
  EXPECT_EQ(tables.TargetTreeCount, 3);
  EXPECT_EQ(titles, (std::vector<std::string>{kMapDialogTitle, kSightingDialogTitle}));
  file[2]->trigger();
  const std::string results = ReadFile(File("results.txt"));
  EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 4) << results;
  EXPECT_EQ(exits, 0);
  file[3]->trigger();
  EXPECT_EQ(exits, 1);

  // The client area: the legacy layout, the run's canvas (axes, labels and
  // three dots) and the list, as the golden picture made once shows them.
  QCoreApplication::processEvents();
  window.List1()->clearFocus();
  const QImage client = window.centralWidget()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QString golden = TREETRI_SOURCE_DIR "/tests/golden/desktop/client-after-run.png";
  const QImage expected = QImage(golden).convertToFormat(QImage::Format_RGB32);
  if (client != expected) {
    const QString actual = QDir::current().filePath("client-after-run.actual.png");
    client.save(actual);
    ADD_FAILURE() << "the client area differs from " << golden.toStdString()
                  << "; this run's picture: " << actual.toStdString();
  }

  // Help names the work folder in its last line; Close ends the window and
  // the next Help composes the text again.
  const QList<QAction*> bar = window.menuBar()->actions();
  ASSERT_TRUE(bar.size() >= 2 && bar[0]->menu() == window.FileMenu());
  for (const std::string work : {"/data/plots/", "/elsewhere/"}) {
    tables.WorkFolder = work;
    bar[1]->trigger();
    HelpWindow* help = window.Help();
    ASSERT_TRUE(help && help->isVisible() && !help->isModal());
    EXPECT_EQ(help->Label1()->text().toStdString(),
              "1) Read the photo-tree file\n2) Read the azimuth and distance observations file\n"
              "3) Calculate positions\n4) Assess the results in the " + work + "results.txt file");
    QTest::mouseClick(help->Command1(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.Help(), nullptr);
  }
}

}  // namespace
}  // namespace treetri::gui
