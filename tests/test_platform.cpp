// The recording user interface's drawing state, and appends to a file that
// fail part way being taken back.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <string>

#include "platform/files.h"
#include "platform/headless_ui.h"
#include "platform/ui.h"
#include "tests/support.h"

namespace treetri {
namespace {

TEST(HeadlessDrawing, CurrentPositionAfterLinesCirclesAndPrints) {
  HeadlessUi ui;
  ui.SetCurrentPosition(5, 6);
  ui.Line(10, 20, 30, 40);  // ends at the line's end
  EXPECT_EQ(ui.CurrentX(), 30);
  EXPECT_EQ(ui.CurrentY(), 40);
  ui.Circle(100, 50, 7);  // at the circle's centre
  EXPECT_EQ(ui.CurrentX(), 100);
  EXPECT_EQ(ui.CurrentY(), 50);
  ui.SetCurrentPosition(11, 22);
  ui.Print("Tree 7");  // drawn at the position, which stays
  ui.Print("again");
  EXPECT_EQ(ui.CurrentX(), 11);
  EXPECT_EQ(ui.CurrentY(), 22);
  ASSERT_EQ(ui.drawing.size(), 4u);
  EXPECT_EQ(ui.drawing[3].x1, 11);
  EXPECT_EQ(ui.drawing[3].y1, 22);
  // Unrecorded drawing still moves the position.
  ui.recordDrawing = false;
  ui.Line(0, 0, -1, 2.5);
  EXPECT_EQ(ui.CurrentX(), -1);
  EXPECT_EQ(ui.CurrentY(), 2.5);
}

TEST(HeadlessDrawing, SettingsStayInForceUntilChangedAlsoAcrossAClear) {
  HeadlessUi ui;
  ui.SetDrawWidth(3);
  ui.SetForeColor(kRed);
  ui.SetFillColor(kBlue);
  ui.SetFillStyle(FillStyle::Solid);
  ui.SetFont("Courier", 10, true);
  ui.Line(0, 0, 7, 8);
  ui.SurfaceClear();  // puts the position back at the origin
  EXPECT_TRUE(ui.CurrentX() == 0 && ui.CurrentY() == 0);
  ui.SetForeColor(kMagenta);  // one setting changed leaves the others alone
  ui.Circle(5, 5, 2);
  ui.Print("x");
  ui.Circle(1, 1, 1, kBlack);  // an outline colour of its own changes no setting
  ui.Line(0, 0, 1, 1);
  ASSERT_EQ(ui.drawing.size(), 5u);
  EXPECT_EQ(ui.drawing[3].color, kBlack);
  for (size_t i = 1; i < ui.drawing.size(); ++i) {
    const SurfaceState& s = ui.drawing[i].state;
    EXPECT_EQ(s.drawWidth, 3);
    EXPECT_EQ(s.foreColor, kMagenta);
    EXPECT_EQ(s.fillColor, kBlue);
    EXPECT_EQ(s.fillStyle, FillStyle::Solid);
    EXPECT_EQ(s.font, (FontSpec{"Courier", 10, true}));
  }
}

TEST(Files, AnAppendThatFailsPartWayIsTakenBack) {
  testing::TempFolder dir;
  const std::string path = dir.Path() + "/mapdata.txt";
  std::string error;
  ASSERT_TRUE(AppendToFile(path, "line 1\r\n", error));  // 8 bytes
  rlimit saved{}, lowered{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  lowered = saved;
  lowered.rlim_cur = 20;  // the test main ignores SIGXFSZ
  if (setrlimit(RLIMIT_FSIZE, &lowered) != 0) GTEST_SKIP() << "cannot lower the file-size limit";
  // 8 + 30 bytes cross the limit: 12 land before the write fails.
  const bool failed = !AppendToFile(path, std::string(28, 'x') + "\r\n", error);
  const std::string afterFailure = dir.Read("mapdata.txt");
  const bool fits = AppendToFile(path, "line 2\r\n", error);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_TRUE(failed);
  EXPECT_EQ(afterFailure, "line 1\r\n");
  EXPECT_TRUE(fits) << error;
  ASSERT_TRUE(AppendToFile(path, "line 3\r\n", error)) << error;
  EXPECT_EQ(dir.Read("mapdata.txt"), "line 1\r\nline 2\r\nline 3\r\n");
}

}  // namespace
}  // namespace treetri
