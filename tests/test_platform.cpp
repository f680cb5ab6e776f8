// The recording user interface (drawing state, dialog, list) and the file
// operations (overwrite, append, partial appends taken back).
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/headless_ui.h"
#include "platform/ui.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::TempFolder;

// ------------------------------------------------------------ drawing state

TEST(HeadlessDrawing, ALineLeavesTheCurrentPositionAtItsEnd) {
  HeadlessUi ui;
  ui.SetCurrentPosition(5, 6);
  ui.SetForeColor(kRed);
  ui.SetDrawWidth(2);
  ui.Line(10, 20, 30, 40);
  EXPECT_EQ(ui.CurrentX(), 30);
  EXPECT_EQ(ui.CurrentY(), 40);
  ASSERT_EQ(ui.drawing.size(), 1u);
  const DrawOp& op = ui.drawing[0];
  EXPECT_EQ(op.kind, DrawOp::Kind::Line);
  EXPECT_EQ(op.x1, 10);
  EXPECT_EQ(op.y1, 20);
  EXPECT_EQ(op.x2, 30);
  EXPECT_EQ(op.y2, 40);
  EXPECT_EQ(op.color, kRed);
  EXPECT_EQ(op.state.drawWidth, 2);
  // A second line starts from wherever it is told, and moves on again.
  ui.Line(0, 0, -1, 2.5);
  EXPECT_EQ(ui.CurrentX(), -1);
  EXPECT_EQ(ui.CurrentY(), 2.5);
}

TEST(HeadlessDrawing, ACircleLeavesTheCurrentPositionAtItsCentre) {
  HeadlessUi ui;
  ui.SetForeColor(kBlue);
  ui.SetFillColor(kMagenta);
  ui.SetFillStyle(FillStyle::Solid);
  ui.Circle(100, 50, 7);
  EXPECT_EQ(ui.CurrentX(), 100);
  EXPECT_EQ(ui.CurrentY(), 50);
  ui.Circle(3, 4, 1.5, kRed);
  EXPECT_EQ(ui.CurrentX(), 3);
  EXPECT_EQ(ui.CurrentY(), 4);
  ASSERT_EQ(ui.drawing.size(), 2u);
  // Outline in the foreground colour unless one is given.
  EXPECT_EQ(ui.drawing[0].color, kBlue);
  EXPECT_EQ(ui.drawing[1].color, kRed);
  EXPECT_EQ(ui.drawing[1].radius, 1.5);
  EXPECT_EQ(ui.drawing[1].state.fillColor, kMagenta);
  EXPECT_EQ(ui.drawing[1].state.fillStyle, FillStyle::Solid);
}

TEST(HeadlessDrawing, PrintDrawsAtTheCurrentPositionAndLeavesItThere) {
  HeadlessUi ui;
  ui.SetFont("Arial", 12, true);
  ui.SetForeColor(kMagenta);
  ui.SetCurrentPosition(11, 22);
  ui.Print("Tree 7");
  ui.Print("again");
  EXPECT_EQ(ui.CurrentX(), 11);
  EXPECT_EQ(ui.CurrentY(), 22);
  ASSERT_EQ(ui.drawing.size(), 2u);
  for (const DrawOp& op : ui.drawing) {
    EXPECT_EQ(op.kind, DrawOp::Kind::Print);
    EXPECT_EQ(op.x1, 11);
    EXPECT_EQ(op.y1, 22);
    EXPECT_EQ(op.color, kMagenta);
    EXPECT_EQ(op.state.font, (FontSpec{"Arial", 12, true}));
  }
  EXPECT_EQ(ui.drawing[0].text, "Tree 7");
}

TEST(HeadlessDrawing, APointIsADotOfTheLineWidthInItsOwnColour) {
  HeadlessUi ui;
  ui.SetForeColor(kBlack);
  ui.SetDrawWidth(4);
  ui.Point(8, 9, kRed);
  ASSERT_EQ(ui.drawing.size(), 1u);
  EXPECT_EQ(ui.drawing[0].kind, DrawOp::Kind::Point);
  EXPECT_EQ(ui.drawing[0].color, kRed);
  EXPECT_EQ(ui.drawing[0].state.drawWidth, 4);
  EXPECT_EQ(ui.Surface().foreColor, kBlack);
}

TEST(HeadlessDrawing, SettingsStayInForceUntilChangedAlsoAcrossAClear) {
  HeadlessUi ui;
  const SurfaceState start = ui.Surface();
  EXPECT_EQ(start.drawWidth, 1);
  EXPECT_EQ(start.foreColor, kBlack);
  EXPECT_EQ(start.fillStyle, FillStyle::Transparent);

  ui.SetDrawWidth(3);
  ui.SetForeColor(kRed);
  ui.SetFillColor(kBlue);
  ui.SetFillStyle(FillStyle::Solid);
  ui.SetFont("Courier", 10, true);
  ui.Line(0, 0, 1, 1);
  ui.SurfaceClear();
  ASSERT_EQ(ui.drawing.size(), 1u);
  EXPECT_EQ(ui.drawing[0].kind, DrawOp::Kind::Clear);
  // A later command finds every setting as the earlier one left it.
  ui.Circle(5, 5, 2);
  ui.Print("x");
  for (size_t i = 1; i < ui.drawing.size(); ++i) {
    const SurfaceState& s = ui.drawing[i].state;
    EXPECT_EQ(s.drawWidth, 3);
    EXPECT_EQ(s.foreColor, kRed);
    EXPECT_EQ(s.fillColor, kBlue);
    EXPECT_EQ(s.fillStyle, FillStyle::Solid);
    EXPECT_EQ(s.font, (FontSpec{"Courier", 10, true}));
  }
  // Changing one setting leaves the others alone.
  ui.SetForeColor(kBlack);
  EXPECT_EQ(ui.Surface().drawWidth, 3);
  EXPECT_EQ(ui.Surface().fillColor, kBlue);
}

TEST(HeadlessDrawing, UnrecordedDrawingStillMovesTheCurrentPosition) {
  HeadlessUi ui;
  ui.recordDrawing = false;
  ui.Line(0, 0, 7, 8);
  ui.Circle(1, 2, 3);
  ui.Print("t");
  EXPECT_TRUE(ui.drawing.empty());
  EXPECT_EQ(ui.CurrentX(), 1);
  EXPECT_EQ(ui.CurrentY(), 2);
  EXPECT_EQ(ui.ScaleWidth(), 345);
  EXPECT_EQ(HeadlessUi(200, 100).ScaleHeight(), 100);
}

// ----------------------------------------------------- dialog, list, events

TEST(HeadlessDialog, ChosenNameStaysUntilTheNextChoice) {
  HeadlessUi ui;
  ui.SetDialogFilter("Any (*.*)|*.*");
  ui.SetDialogTitle("Pick one");
  // Nothing queued counts as a cancel.
  EXPECT_FALSE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), "");
  ui.QueueDialogAnswer(std::string("/data/a.txt"));
  ui.QueueDialogAnswer(std::nullopt);
  ui.QueueDialogAnswer(std::string("/data/b.txt"));
  EXPECT_TRUE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), "/data/a.txt");
  EXPECT_FALSE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), "/data/a.txt");
  ui.SetDialogTitle("Another");
  EXPECT_TRUE(ui.ShowOpenDialog());
  EXPECT_EQ(ui.DialogFileName(), "/data/b.txt");
  ASSERT_EQ(ui.dialogs.size(), 4u);
  EXPECT_EQ(ui.dialogs[0].filter, "Any (*.*)|*.*");
  EXPECT_EQ(ui.dialogs[0].title, "Pick one");
  EXPECT_EQ(ui.dialogs[3].title, "Another");
}

TEST(HeadlessList, LinesKeepTheirOrderMessagesAndEventsAreRecorded) {
  HeadlessUi ui;
  EXPECT_EQ(ui.ListSelectedIndex(), -1);
  std::vector<std::string> forwarded;
  ui.onListAdd = [&](const std::string& s) { forwarded.push_back(s); };
  ui.ListAdd("header");
  ui.ListAdd("case 1");
  ui.ListClear();
  ui.ListAdd("header");
  ui.ListAdd("case 1");
  ui.ListAdd("case 2");
  EXPECT_EQ(ui.list, (std::vector<std::string>{"header", "case 1", "case 2"}));
  EXPECT_EQ(ui.listClears, 1);
  EXPECT_EQ(forwarded.size(), 5u);
  ui.SelectListLine(2);
  EXPECT_EQ(ui.ListSelectedIndex(), 2);

  int calls = 0;
  ui.onProcessEvents = [&] { ++calls; };
  ui.ProcessEvents();
  ui.ProcessEvents();
  EXPECT_EQ(ui.processEventsCalls, 2);
  EXPECT_EQ(calls, 2);
  std::string last;
  ui.onMessage = [&](const std::string& s) { last = s; };
  ui.MessageBox("one");
  ui.MessageBox("two");
  EXPECT_EQ(ui.messages, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(last, "two");
}

// -------------------------------------------------------------------- files

TEST(Files, WholeFileWriteReplacesAndReadGivesTheBytesBack) {
  TempFolder dir;
  const std::string path = dir.Path() + "/out.txt";
  std::string error;
  ASSERT_TRUE(WriteWholeFile(path, "a long first content\r\n", error)) << error;
  const std::string bytes = std::string("x,\xE4\xF6\r\n") + std::string(1, '\0') + "y\r\n";
  ASSERT_TRUE(WriteWholeFile(path, bytes, error)) << error;
  EXPECT_EQ(dir.Read("out.txt"), bytes);
  std::string content = "stale";
  ASSERT_TRUE(ReadWholeFile(path, content, error));
  EXPECT_EQ(content, bytes);
  ASSERT_TRUE(WriteWholeFile(path, "", error));
  EXPECT_EQ(dir.Read("out.txt"), "");
  EXPECT_TRUE(FileExists(path));
}

TEST(Files, AppendCreatesAndExtends) {
  TempFolder dir;
  const std::string path = dir.Path() + "/mapdata.txt";
  std::string error;
  EXPECT_FALSE(FileExists(path));
  ASSERT_TRUE(AppendToFile(path, "1,2\r\n", error)) << error;
  ASSERT_TRUE(AppendToFile(path, "3,4\r\n", error)) << error;
  ASSERT_TRUE(AppendToFile(path, "", error)) << error;
  EXPECT_EQ(dir.Read("mapdata.txt"), "1,2\r\n3,4\r\n");
  // An overwrite after appends starts the file afresh.
  ASSERT_TRUE(WriteWholeFile(path, "new\r\n", error));
  ASSERT_TRUE(AppendToFile(path, "more\r\n", error));
  EXPECT_EQ(dir.Read("mapdata.txt"), "new\r\nmore\r\n");
}

TEST(Files, FailuresGiveAReason) {
  TempFolder dir;
  std::string error, content = "stale";
  EXPECT_FALSE(ReadWholeFile(dir.Path() + "/missing.txt", content, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(content, "");
  error.clear();
  EXPECT_FALSE(ReadWholeFile(dir.Path(), content, error));
  EXPECT_EQ(error, "it is a folder");
  EXPECT_FALSE(WriteWholeFile("", "x", error));
  EXPECT_EQ(error, "no file name");
  EXPECT_FALSE(AppendToFile("", "x", error));
  EXPECT_EQ(error, "no file name");
  error.clear();
  EXPECT_FALSE(WriteWholeFile(dir.Path() + "/no/such/folder.txt", "x", error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(AppendToFile(dir.Path() + "/no/such/folder.txt", "x", error));
  EXPECT_FALSE(error.empty());
}

TEST(Files, RemoveExistsAndCurrentDirectory) {
  TempFolder dir;
  const std::string path = dir.Write("probe.txt", "x");
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(RemoveFile(path));
  EXPECT_EQ(CurrentDirectory(), std::filesystem::current_path().string());
  EXPECT_NE(CurrentDirectory().back(), kPathSeparator);
}

// Lowers the process's file-size limit for the life of the object, so that a
// write fails part way (the test main ignores SIGXFSZ).
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ok_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
    if (!ok_) return;
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
  }
  ~FileSizeLimit() {
    if (ok_) setrlimit(RLIMIT_FSIZE, &saved_);
  }
  bool Ok() const { return ok_; }

 private:
  rlimit saved_{};
  bool ok_ = false;
};

TEST(Files, AnAppendThatFailsPartWayIsTakenBack) {
  TempFolder dir;
  const std::string path = dir.Path() + "/mapdata.txt";
  std::string error;
  ASSERT_TRUE(AppendToFile(path, "line 1\r\n", error));  // 8 bytes
  {
    FileSizeLimit limit(20);
    if (!limit.Ok()) GTEST_SKIP() << "cannot lower the file-size limit";
    // 8 + 30 bytes cross the limit: 12 land before the write fails.
    EXPECT_FALSE(AppendToFile(path, std::string(28, 'x') + "\r\n", error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(dir.Read("mapdata.txt"), "line 1\r\n");
    // A write that fits still lands whole.
    EXPECT_TRUE(AppendToFile(path, "line 2\r\n", error)) << error;
    // A complete overwrite that does not fit leaves no partial text.
    EXPECT_FALSE(WriteWholeFile(dir.Path() + "/results.txt", std::string(50, 'r'), error));
    EXPECT_EQ(dir.Read("results.txt"), "");
  }
  ASSERT_TRUE(AppendToFile(path, "line 3\r\n", error)) << error;
  EXPECT_EQ(dir.Read("mapdata.txt"), "line 1\r\nline 2\r\nline 3\r\n");
}

}  // namespace
}  // namespace treetri
