// The main window: menu, layout, help window and start-up.
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

using MainWindowTest = DesktopTest;

TEST_F(MainWindowTest, MenuCaptionsInOrder) {
  const QList<QAction*> bar = window.menuBar()->actions();
  ASSERT_EQ(bar.size(), 2);
  EXPECT_EQ(bar[0]->menu(), window.FileMenu());
  EXPECT_EQ(bar[1], window.HelpAction());  // a command of the bar itself
  const QList<QAction*> file = window.FileMenu()->actions();
  EXPECT_EQ(file, (QList<QAction*>{window.OpenMapAction(), window.OpenSightingsAction(),
                                   window.SimulateAction(), window.ExitAction()}));
  QStringList captions;
  for (QAction* a : bar + file) captions << a->text() + (a->isEnabled() ? "" : " (off)");
  EXPECT_EQ(captions, (QStringList{"File", "Help", "Open photogrammetric map (ilmakuvapuut)",
                                   "Open field observations (suuntimat)",
                                   "Calculate positions (tasoituslaskenta)", "Exit Program"}));
}

TEST_F(MainWindowTest, LayoutInPixels) {
  QCoreApplication::processEvents();
  EXPECT_EQ(window.centralWidget()->size(), QSize(1006, 538));
  EXPECT_EQ(window.Picture1()->geometry(), QRect(8, 16, 345, 345));
  EXPECT_EQ(window.List1()->geometry(), QRect(376, 16, 601, 409));
}

TEST_F(MainWindowTest, HelpTextAndItsRecreationAfterClose) {
  for (const std::string folder : {"/data/plots/", "/elsewhere/"}) {
    tables.WorkFolder = folder;
    window.HelpAction()->trigger();
    HelpWindow* help = window.Help();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_EQ(help->Label1()->text().toStdString(),
              "1) Read the photo-tree file\n"
              "2) Read the azimuth and distance observations file\n"
              "3) Calculate positions\n"
              "4) Assess the results in the " + folder + "results.txt file");
    // Close ends the window; the next Help composes the text again.
    QTest::mouseClick(help->Command1(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.Help(), nullptr);
  }
}

TEST_F(MainWindowTest, StartUpInAFolderThatCannotBeWritten) {
  // A "folder" that is a plain file: nothing can be created in it, not even
  // by the superuser.
  TempDir dir;
  dir.Write("plain-file", "x");
  const std::string folder = dir.File("plain-file") + "/";
  window.RunStartUpIn(dir.File("plain-file"));
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "Assuming that all files are in folder " + folder,
                          "TREETRI is badly written:; it assumes I/O access to " + folder +
                              " -folder, point (.) as decimal and comma (,) as list separator!"}));
  EXPECT_EQ(tables.WorkFolder, folder);
}

}  // namespace
}  // namespace treetri::gui
