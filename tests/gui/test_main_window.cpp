// The main window: title, menu, layout, help window, start-up, the file
// dialogs of the two reading commands and the exit command.
#include <filesystem>

#include <QAction>
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "app/help_window.h"
#include "app/startup.h"
#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

using MainWindowTest = DesktopTest;

TEST_F(MainWindowTest, MenuHasItsCaptionsInOrder) {
  EXPECT_EQ(window->windowTitle().left(28), QString("Trisection and trilateration"));

  const QList<QAction*> bar = window->menuBar()->actions();
  ASSERT_EQ(bar.size(), 2);
  EXPECT_EQ(bar[0]->text(), "File");
  ASSERT_NE(bar[0]->menu(), nullptr);
  // Help is a command of the menu bar itself, not a menu.
  EXPECT_EQ(bar[1]->text(), "Help");
  EXPECT_EQ(bar[1]->menu(), nullptr);
  EXPECT_EQ(bar[1], window->HelpAction());

  const QList<QAction*> file = bar[0]->menu()->actions();
  ASSERT_EQ(file.size(), 4);
  EXPECT_EQ(file[0]->text(), "Open photogrammetric map (ilmakuvapuut)");
  EXPECT_EQ(file[1]->text(), "Open field observations (suuntimat)");
  EXPECT_EQ(file[2]->text(), "Calculate positions (tasoituslaskenta)");
  EXPECT_EQ(file[3]->text(), "Exit Program");
  EXPECT_EQ(file[0], window->OpenMapAction());
  EXPECT_EQ(file[1], window->OpenSightingsAction());
  EXPECT_EQ(file[2], window->SimulateAction());
  EXPECT_EQ(file[3], window->ExitAction());
  for (QAction* a : file) EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(MainWindowTest, LayoutInPixels) {
  QCoreApplication::processEvents();
  QWidget* client = window->centralWidget();
  EXPECT_EQ(client->size(), QSize(1006, 538));
  EXPECT_EQ(window->Picture1()->parentWidget(), client);
  EXPECT_EQ(window->Picture1()->geometry(), QRect(8, 16, 345, 345));
  EXPECT_EQ(window->List1()->parentWidget(), client);
  EXPECT_EQ(window->List1()->geometry(), QRect(376, 16, 601, 409));
  EXPECT_EQ(window->Ui().ScaleWidth(), 345);
  EXPECT_EQ(window->Ui().ScaleHeight(), 345);

  // The window keeps its size: client area plus menu bar.
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_EQ(window->height(), 538 + window->menuBar()->height());
  EXPECT_EQ(window->width(), 1006);

  const QFontInfo listFont(window->List1()->font());
  EXPECT_TRUE(listFont.fixedPitch()) << listFont.family().toStdString();
  EXPECT_EQ(window->List1()->font().pointSize(), 9);
}

TEST_F(MainWindowTest, LongListLinesCanBeScrolledTo) {
  // A doubtful case's status names its suspect tree at the end of the line.
  window->Ui().ListAdd("C Nite Plot Tree");
  window->Ui().ListAdd("7, 1, 1, 1007, 3400012.23, 6900006.64, 3.888, 0.85, 0.84, "
                       "???? Point 7 erroneous? and more text than the list is wide");
  QCoreApplication::processEvents();
  EXPECT_GT(window->List1()->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(window->List1()->textElideMode(), Qt::ElideNone);
}

TEST_F(MainWindowTest, HelpWindowIsComposedWhenCreated) {
  tables.WorkFolder = "/data/plots/";
  ASSERT_EQ(window->Help(), nullptr);
  window->HelpAction()->trigger();
  HelpWindow* help = window->Help();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_TRUE(help->isWindow());
  EXPECT_FALSE(help->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(help->windowTitle(), "Help window");
  EXPECT_EQ(help->size(), QSize(312, 213));
  EXPECT_EQ(help->Label1()->text().toStdString(),
            "1) Read the photo-tree file\n"
            "2) Read the azimuth and distance observations file\n"
            "3) Calculate positions\n"
            "4) Assess the results in the /data/plots/results.txt file");
  EXPECT_EQ(help->Label1()->geometry(), QRect(16, 32, 281, 105));
  EXPECT_EQ(help->Command1()->text(), "Close");
  EXPECT_EQ(help->Command1()->geometry(), QRect(112, 160, 89, 41));

  // Help while the window is open keeps that window, text unchanged.
  tables.WorkFolder = "/elsewhere/";
  window->HelpAction()->trigger();
  EXPECT_EQ(window->Help(), help);
  EXPECT_TRUE(help->isVisible());
  EXPECT_NE(help->Label1()->text().toStdString().find("/data/plots/results.txt"),
            std::string::npos);

  // Close ends it; the next Help composes the text again.
  QTest::mouseClick(help->Command1(), Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window->Help(), nullptr);
  window->HelpAction()->trigger();
  ASSERT_NE(window->Help(), nullptr);
  EXPECT_TRUE(window->Help()->isVisible());
  EXPECT_EQ(window->Help()->Label1()->text().toStdString(), HelpText(tables));
  EXPECT_NE(window->Help()->Label1()->text().toStdString().find("/elsewhere/results.txt"),
            std::string::npos);
  EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, StartUpInAFolderThatCannotBeWritten) {
  // A "folder" that is a plain file: nothing can be created in it, not even
  // by the superuser.
  TempDir dir;
  const std::string notAFolder = dir.Write("plain-file", "x");
  window->RunStartUpIn(notAFolder);
  const std::string folder = notAFolder + "/";
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "Assuming that all files are in folder " + folder);
  EXPECT_EQ(messages[1], "TREETRI is badly written:; it assumes I/O access to " + folder +
                             " -folder, point (.) as decimal and comma (,) as list separator!");
  EXPECT_EQ(tables.WorkFolder, folder);
}

TEST_F(MainWindowTest, StartUpInAWritableFolderLeavesNoProbe) {
  TempDir dir;
  window->RunStartUpIn(dir.Path());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Assuming that all files are in folder " + dir.Path() + "/");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

  // The file dialog opens in the working folder.
  window->OpenMapAction()->trigger();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].folder, dir.Path() + "/");
}

TEST_F(MainWindowTest, ReadingCommandsSetTheirDialogs) {
  TempDir dir;
  WriteDataSet(dir);
  tables.WorkFolder = dir.Path() + "/";
  OpenDataSet(dir);
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].filter, "Field plot data files (*.txt, *.csv) (*)");
  EXPECT_EQ(dialogs[0].title, "File which has photogrammetric control points!");
  EXPECT_EQ(dialogs[0].folder, tables.WorkFolder);
  EXPECT_EQ(dialogs[1].filter, "Sighting obs files (*.txt, *.csv) (*)");
  EXPECT_EQ(dialogs[1].title, "File which has azimuth-distance data!");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "4 trees / fixed points read");
  EXPECT_EQ(messages[1], "3 observed trees to be positioned ");
  EXPECT_EQ(window->Ui().DialogFileName(), dir.File("sightings.txt"));
}

TEST_F(MainWindowTest, CancelledDialogChangesNothing) {
  TempDir dir;
  WriteDataSet(dir);
  OpenDataSet(dir);
  messages.clear();
  Answer(std::nullopt);
  window->OpenMapAction()->trigger();
  Answer(std::nullopt);
  window->OpenSightingsAction()->trigger();
  EXPECT_EQ(dialogs.size(), 4u);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(tables.PhotoTrees.Size(), 4);
  EXPECT_EQ(tables.TargetTreeCount, 3);
  EXPECT_EQ(window->Ui().DialogFileName(), dir.File("sightings.txt"));
}

TEST_F(MainWindowTest, ExitAndClosingTheWindowEndTheProgram) {
  window->ExitAction()->trigger();
  EXPECT_EQ(exits, 1);
  window->close();
  EXPECT_EQ(exits, 2);
}

}  // namespace
}  // namespace treetri::gui
