// The main window: menu, layout and help window.
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST_F(DesktopTest, MenuCaptionsInOrderLayoutAndHelpTextRecreatedAfterClose) {
  const QList<QAction*> bar = window.menuBar()->actions();
  // Help is a command of the bar itself; the Job menu comes after the two.
  ASSERT_TRUE(bar.size() == 3 && bar[0]->menu() == window.FileMenu() &&
              bar[1] == window.HelpAction() && bar[2]->menu() == window.JobMenu());
  const QList<QAction*> file = window.FileMenu()->actions();
  EXPECT_EQ(file, (QList<QAction*>{window.OpenMapAction(), window.OpenSightingsAction(),
                                   window.SimulateAction(), window.ExitAction()}));
  QStringList captions;
  for (QAction* a : bar.mid(0, 2) + file) captions << a->text() + (a->isEnabled() ? "" : " (off)");
  EXPECT_EQ(captions, (QStringList{"File", "Help", "Open photogrammetric map (ilmakuvapuut)",
      "Open field observations (suuntimat)", "Calculate positions (tasoituslaskenta)", "Exit Program"}));
  // The layout in pixels.
  QCoreApplication::processEvents();
  EXPECT_EQ(window.centralWidget()->size(), QSize(1006, 538));
  EXPECT_EQ(window.Picture1()->geometry(), QRect(8, 16, 345, 345));
  EXPECT_EQ(window.List1()->geometry(), QRect(376, 16, 601, 409));
  for (const std::string work : {"/data/plots/", "/elsewhere/"}) {
    tables.WorkFolder = work;
    window.HelpAction()->trigger();
    HelpWindow* help = window.Help();
    ASSERT_TRUE(help && help->isVisible() && !help->isModal());
    EXPECT_EQ(help->Label1()->text().toStdString(),
              "1) Read the photo-tree file\n2) Read the azimuth and distance observations file\n"
              "3) Calculate positions\n4) Assess the results in the " + work + "results.txt file");
    // Close ends the window; the next Help composes the text again.
    QTest::mouseClick(help->Command1(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.Help(), nullptr);
  }
}

}  // namespace
}  // namespace treetri::gui
