// The user-interface operations over Qt: filters, message boxes, the results
// list and the painting of the drawing surface.
#include <cmath>
#include <limits>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST(QtFilter, DescriptionAndPatternBecomeAQtNameFilter) {
  EXPECT_EQ(ToQtFilter("Field plot data files (*.txt, *.csv)|*.*"),
            "Field plot data files (*.txt, *.csv) (*)");
  EXPECT_EQ(ToQtFilter("Text files|*.txt;*.csv|All files|*.*"),
            "Text files (*.txt *.csv);;All files (*)");
  EXPECT_EQ(ToQtFilter("Maps|*.map"), "Maps (*.map)");
  // A description without a pattern lists everything; no filter at all is
  // Qt's empty filter.
  EXPECT_EQ(ToQtFilter("Everything"), "Everything (*)");
  EXPECT_EQ(ToQtFilter(""), "");
}

TEST(QtFont, WindowsNamesMapToLiberationFamilies) {
  const QFont arial = ToQFont({"Arial", 12, true});
  EXPECT_EQ(QFontInfo(arial).family(), "Liberation Sans");
  EXPECT_TRUE(arial.bold());
  EXPECT_DOUBLE_EQ(arial.pointSizeF(), 12);
  EXPECT_EQ(arial.styleStrategy() & QFont::NoAntialias, QFont::NoAntialias);
  EXPECT_EQ(QFontInfo(ToQFont({"Courier New", 10, false})).family(), "Liberation Mono");
  EXPECT_FALSE(ToQFont({"MS Sans Serif", 8.25, false}).bold());
}

class QtUiTest : public ::testing::Test {
 protected:
  QtUiTest() : picture(345, 345), ui(&list, &picture, nullptr) {}
  QImage& Image() { return picture.Image(); }
  QListWidget list;
  PictureBox picture;
  QtUi ui;
};

TEST_F(QtUiTest, MessageBoxHasOneTextOneOkAndTheApplicationTitle) {
  std::string title, text;
  int buttons = -1;
  bool okOnly = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle().toStdString();
    text = box->text().toStdString();
    buttons = static_cast<int>(box->buttons().size());
    okOnly = box->standardButtons() == QMessageBox::Ok;
    box->button(QMessageBox::Ok)->click();
  });
  ui.MessageBox("7 trees / fixed points read <b>");
  EXPECT_EQ(title, "treetri");
  EXPECT_EQ(text, "7 trees / fixed points read <b>");
  EXPECT_EQ(buttons, 1);
  EXPECT_TRUE(okOnly);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtUiTest, MessageHookReplacesTheBox) {
  std::vector<std::string> seen;
  ui.messageHook = [&](const std::string& m) { seen.push_back(m); };
  ui.MessageBox("first");
  ui.MessageBox("second");
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtUiTest, DialogAnswerAndCancel) {
  ui.SetStartFolder("/work/plots/");
  std::vector<std::string> folders;
  bool cancel = false;
  ui.dialogHook = [&](const std::string& filter, const std::string& title,
                      const std::string& folder, std::string& chosen) {
    EXPECT_EQ(filter, "Maps (*.map)");
    EXPECT_EQ(title, "Choose");
    folders.push_back(folder);
    if (cancel) return false;
    chosen = "/work/plots/a.map";
    return true;
  };
  ui.SetDialogFilter("Maps|*.map");
  ui.SetDialogTitle("Choose");
  EXPECT_TRUE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), "/work/plots/a.map");
  cancel = true;
  EXPECT_FALSE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), "/work/plots/a.map");
  EXPECT_EQ(folders, (std::vector<std::string>{"/work/plots/", "/work/plots/"}));
}

TEST_F(QtUiTest, RealDialogOpensInTheStartFolderWithTheFilter) {
  TempDir dir;
  const std::string file = dir.Write("plots", "x");  // no extension: still listed
  ui.SetStartFolder(dir.Path() + "/");
  ui.SetDialogFilter("Field plot data files (*.txt, *.csv)|*.*");
  ui.SetDialogTitle("File which has photogrammetric control points!");
  std::string title, folder;
  QStringList filters;
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&, accept] {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!d) return;
      title = d->windowTitle().toStdString();
      folder = d->directory().absolutePath().toStdString();
      filters = d->nameFilters();
      if (!accept) {
        d->reject();
        return;
      }
      d->selectFile(QString::fromStdString(file));
      static_cast<QDialog*>(d)->accept();
    });
  };
  answer(true);
  ASSERT_TRUE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), file);
  EXPECT_EQ(title, "File which has photogrammetric control points!");
  EXPECT_EQ(folder, dir.Path());
  EXPECT_EQ(filters, QStringList{"Field plot data files (*.txt, *.csv) (*)"});

  answer(false);
  EXPECT_FALSE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), file);
}

TEST_F(QtUiTest, ListKeepsOrderSelectionAndShowsTheLastLine) {
  EXPECT_EQ(ui.ListSelectedIndex(), -1);
  list.resize(601, 409);
  list.show();
  for (int i = 0; i < 200; ++i) ui.ListAdd("line " + std::to_string(i));
  QApplication::processEvents();
  ASSERT_EQ(list.count(), 200);
  EXPECT_EQ(list.item(0)->text(), "line 0");
  EXPECT_EQ(list.item(199)->text(), "line 199");
  // The newest line is in view.
  QScrollBar* bar = list.verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_TRUE(list.viewport()->rect().intersects(list.visualItemRect(list.item(199))));

  EXPECT_EQ(ui.ListSelectedIndex(), -1);
  list.setCurrentRow(3);
  EXPECT_EQ(ui.ListSelectedIndex(), 3);
  list.setCurrentRow(0);
  EXPECT_EQ(ui.ListSelectedIndex(), 0);

  ui.ListClear();
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(ui.ListSelectedIndex(), -1);
}

TEST_F(QtUiTest, SurfaceStartsWhiteAtNinetySixDotsPerInch) {
  EXPECT_EQ(ui.ScaleWidth(), 345);
  EXPECT_EQ(ui.ScaleHeight(), 345);
  EXPECT_EQ(Image().size(), QSize(345, 345));
  EXPECT_EQ(Image().dotsPerMeterX(), 3780);
  EXPECT_EQ(Image().dotsPerMeterY(), 3780);
  EXPECT_EQ(CountInk(Image()), 0);
}

TEST_F(QtUiTest, LinesUseTheForegroundColourAndWidth) {
  ui.SetForeColor(kBlue);
  ui.SetDrawWidth(1);
  ui.Line(10, 100, 300, 100);
  EXPECT_EQ(ui.CurrentX(), 300);
  EXPECT_EQ(ui.CurrentY(), 100);
  int thin = 0;
  for (int y = 90; y <= 110; ++y) thin += HasColour(Image(), 150, y, kBlue);
  EXPECT_EQ(thin, 1);
  EXPECT_TRUE(HasColour(Image(), 10, 100, kBlue) || HasColour(Image(), 11, 100, kBlue));

  ui.SetForeColor(kRed);
  ui.SetDrawWidth(3);
  ui.Line(200, 10, 200, 300);
  int thick = 0;
  for (int x = 190; x <= 210; ++x) thick += HasColour(Image(), x, 150, kRed);
  EXPECT_EQ(thick, 3);
  EXPECT_EQ(CountInk(Image()), CountColour(Image(), kBlue) + CountColour(Image(), kRed));
}

TEST_F(QtUiTest, PointIsADotOfTheLineWidthInItsOwnColour) {
  ui.SetForeColor(kBlack);
  ui.SetDrawWidth(1);
  ui.Point(50, 60, kMagenta);
  EXPECT_TRUE(HasColour(Image(), 50, 60, kMagenta));
  EXPECT_EQ(CountInk(Image()), 1);

  ui.SurfaceClear();
  ui.SetDrawWidth(2);
  ui.Point(200, 200, kMagenta);
  EXPECT_TRUE(HasColour(Image(), 200, 200, kMagenta));
  EXPECT_EQ(CountColour(Image(), kMagenta), 4);

  ui.SurfaceClear();
  ui.SetDrawWidth(3);
  ui.Point(100.4, 99.6, kMagenta);
  EXPECT_EQ(CountColour(Image(), kMagenta), 9);
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy) EXPECT_TRUE(HasColour(Image(), 100 + dx, 100 + dy, kMagenta));
  EXPECT_EQ(CountInk(Image()), 9);
}

TEST_F(QtUiTest, CircleOutlineAndFill) {
  ui.SetForeColor(kBlack);
  ui.SetDrawWidth(1);
  ui.Circle(100, 100, 10);  // transparent: outline in the foreground colour
  EXPECT_EQ(ui.CurrentX(), 100);
  EXPECT_EQ(ui.CurrentY(), 100);
  EXPECT_TRUE(HasColour(Image(), 100, 100, kWhite));
  EXPECT_TRUE(HasColour(Image(), 110, 100, kBlack) || HasColour(Image(), 109, 100, kBlack));
  EXPECT_TRUE(HasColour(Image(), 100, 90, kBlack) || HasColour(Image(), 100, 91, kBlack));

  ui.SetFillColor(kRed);
  ui.SetFillStyle(FillStyle::Solid);
  ui.Circle(200, 200, 6, kBlue);
  EXPECT_TRUE(HasColour(Image(), 200, 200, kRed));
  EXPECT_TRUE(HasColour(Image(), 202, 198, kRed));
  EXPECT_TRUE(HasColour(Image(), 206, 200, kBlue) || HasColour(Image(), 205, 200, kBlue));
  EXPECT_FALSE(HasColour(Image(), 210, 200, kBlue));

  ui.SetFillStyle(FillStyle::Transparent);
  ui.Circle(300, 300, 6, kBlue);
  EXPECT_TRUE(HasColour(Image(), 300, 300, kWhite));
}

// Bounding box of the pixels in a colour.
QRect InkBox(const QImage& image, Rgb colour) {
  QRect box;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (HasColour(image, x, y, colour)) box |= QRect(x, y, 1, 1);
  return box;
}

TEST_F(QtUiTest, TextHangsFromTheCurrentPosition) {
  ui.SetForeColor(kRed);
  ui.SetFont("Arial", 12, true);
  ui.SetCurrentPosition(100, 150);
  ui.Print("3 m");
  const QRect big = InkBox(Image(), kRed);
  ASSERT_FALSE(big.isNull());
  // Text without antialiasing: only the foreground colour.
  EXPECT_EQ(CountInk(Image()), CountColour(Image(), kRed));
  EXPECT_GE(big.left(), 100);
  EXPECT_LE(big.left(), 103);
  EXPECT_GE(big.top(), 150);
  EXPECT_LE(big.top(), 156);  // the line's top, not its baseline
  EXPECT_LE(big.bottom(), 150 + 16);

  ui.SurfaceClear();
  ui.SetFont("Arial", 8, false);
  ui.SetCurrentPosition(100, 150);
  ui.Print("3 m");
  const QRect small = InkBox(Image(), kRed);
  ASSERT_FALSE(small.isNull());
  EXPECT_LT(small.height(), big.height());
  EXPECT_LT(small.width(), big.width());
}

TEST_F(QtUiTest, ClearWhitensAndResetsThePosition) {
  ui.SetDrawWidth(3);
  ui.Line(0, 0, 344, 344);
  ui.SetCurrentPosition(5, 5);
  ui.SetFont("Arial", 12, true);
  ui.Print("x");
  ASSERT_GT(CountInk(Image()), 0);
  ui.SurfaceClear();
  EXPECT_EQ(CountInk(Image()), 0);
  EXPECT_EQ(ui.CurrentX(), 0);
  EXPECT_EQ(ui.CurrentY(), 0);
  EXPECT_EQ(ui.Surface().drawWidth, 3);  // the state stays
}

TEST_F(QtUiTest, DrawingFarOutsideTheSurfaceIsHarmless) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  ui.SetDrawWidth(2);
  ui.Point(1e300, -1e300, kMagenta);
  ui.Point(nan, 5, kMagenta);
  ui.Circle(nan, nan, 3);
  ui.Circle(5e9, 5e9, 1e9);
  ui.SetCurrentPosition(1e200, nan);
  ui.Print("far");
  EXPECT_EQ(CountInk(Image()), 0);
  // A line from inside to very far away still shows its inner part.
  ui.SetDrawWidth(1);
  ui.Line(10, 10, 1e12, 10);
  EXPECT_TRUE(HasColour(Image(), 300, 10, kBlack));
  ui.Line(nan, 0, 20, 20);
}

TEST_F(QtUiTest, PictureKeepsItsContentWhenRepainted) {
  picture.show();
  ui.SetDrawWidth(2);
  ui.Point(200, 200, kMagenta);
  ui.ProcessEvents();
  QImage shown = picture.grab().toImage();
  EXPECT_TRUE(HasColour(shown, 200, 200, kMagenta));
  picture.hide();
  QApplication::processEvents();
  picture.show();
  picture.repaint();
  shown = picture.grab().toImage();
  EXPECT_TRUE(HasColour(shown, 200, 200, kMagenta));
  EXPECT_TRUE(HasColour(shown, 10, 10, kWhite));
}

TEST_F(QtUiTest, ProcessEventsDispatchesPendingWork) {
  int fired = 0, hooked = 0;
  QTimer::singleShot(0, [&] { ++fired; });
  ui.onProcessEvents = [&] {
    EXPECT_EQ(fired, 1);  // Qt's events come first
    ++hooked;
  };
  ui.ProcessEvents();
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(hooked, 1);
}

}  // namespace
}  // namespace treetri::gui
