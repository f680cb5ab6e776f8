// The scripted start of the program itself: files, run and picture from the
// command line, messages on standard error.
#include <filesystem>

#include <QCoreApplication>
#include <QImage>
#include <QMenuBar>
#include <QProcess>
#include <QProcessEnvironment>

#include "platform/qt/picture_box.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

struct Outcome {
  int exitCode = -1;
  std::vector<std::string> errLines;
};

Outcome RunProgram(const std::string& folder, const QStringList& args,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(QString::fromStdString(folder));
  p.start(TREETRI_PROGRAM, args);
  Outcome o;
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    return o;
  }
  o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
  for (const QString& line : QString::fromLocal8Bit(p.readAllStandardError()).split('\n')) {
    // The platform's own notes are not messages of the program.
    if (line.isEmpty() || line.startsWith("QStandardPaths:")) continue;
    o.errLines.push_back(line.toStdString());
  }
  return o;
}

QSize WindowSize() {
  Tables t;
  MainWindow w(t);
  w.show();
  QCoreApplication::processEvents();
  return w.size();
}

QStringList FullArguments(const TempDir& dir, const std::string& png) {
  return {"--map",   QString::fromStdString(dir.File("map.txt")),
          "--sightings", QString::fromStdString(dir.File("sightings.txt")),
          "--run",   "--screenshot", QString::fromStdString(png)};
}

void ExpectPictureOfTheRun(const std::string& png) {
  QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), WindowSize());
  // The surface sits below the menu bar at (8, 16) of the client area.
  Tables t;
  MainWindow w(t);
  w.show();
  QCoreApplication::processEvents();
  const QPoint origin = w.Picture1()->mapTo(&w, QPoint(0, 0));
  EXPECT_EQ(CountColour(image, kMagenta), 3 * 4);
  for (const FieldTree& f : FieldTrees())
    EXPECT_TRUE(HasColour(image, origin.x() + CanvasX(f.x), origin.y() + CanvasY(f.y), kMagenta))
        << f.tree;
  EXPECT_GT(CountColour(image, kBlack), 100);  // axes, labels and list text
}

TEST(ScriptedStart, OpensRunsAndSavesAPictureOfTheWindow) {
  TempDir dir;
  WriteDataSet(dir);
  const std::string png = dir.File("window.png");
  const Outcome o = RunProgram(dir.Path(), FullArguments(dir, png));
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.errLines, (std::vector<std::string>{
                            "Assuming that all files are in folder " + dir.Path() + "/",
                            "4 trees / fixed points read",
                            "3 observed trees to be positioned ",
                            "Ready! Results are in file results.txt",
                        }));
  ExpectPictureOfTheRun(png);
  // The run wrote its results where a run from the menu does.
  const std::string results = ReadFile(dir.File("results.txt"));
  EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 4);
  EXPECT_FALSE(std::filesystem::exists(dir.File("PILKKUTESTI.TXT")));
}

TEST(ScriptedStart, FallsBackToOffscreenWithoutADisplay) {
  TempDir dir;
  WriteDataSet(dir);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  const std::string png = dir.File("window.png");
  const Outcome o = RunProgram(dir.Path(), FullArguments(dir, png), env);
  EXPECT_EQ(o.exitCode, 0);
  ExpectPictureOfTheRun(png);
}

TEST(ScriptedStart, EachOptionMayBeLeftOut) {
  TempDir dir;
  WriteDataSet(dir);
  // The map alone: read, no run, no picture.
  Outcome o = RunProgram(dir.Path(), {"--map", QString::fromStdString(dir.File("map.txt"))});
  EXPECT_EQ(o.exitCode, 0);
  ASSERT_EQ(o.errLines.size(), 2u);
  EXPECT_EQ(o.errLines[1], "4 trees / fixed points read");
  EXPECT_FALSE(std::filesystem::exists(dir.File("results.txt")));

  // The picture alone shows the empty window.
  const std::string png = dir.File("empty.png");
  o = RunProgram(dir.Path(), {"--screenshot", QString::fromStdString(png)});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.errLines.size(), 1u);
  const QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), WindowSize());
  EXPECT_EQ(CountColour(image, kMagenta), 0);
  EXPECT_GT(CountColour(image, kWhite), 345 * 345);
}

TEST(ScriptedStart, StartUpFailureAndBadArguments) {
  // Nothing can be created in /proc, whoever runs the test.
  if (!std::filesystem::is_directory("/proc")) GTEST_SKIP() << "no /proc";
  TempDir dir;
  const std::string png = dir.File("window.png");
  Outcome o = RunProgram("/proc", {"--screenshot", QString::fromStdString(png)});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.errLines, (std::vector<std::string>{
                            "Assuming that all files are in folder /proc/",
                            "TREETRI is badly written:; it assumes I/O access to /proc/ -folder, "
                            "point (.) as decimal and comma (,) as list separator!",
                        }));
  EXPECT_TRUE(std::filesystem::exists(png));

  o = RunProgram(dir.Path(), {"--screenshot"});
  EXPECT_EQ(o.exitCode, 2);
  o = RunProgram(dir.Path(), {"--map", QString::fromStdString(dir.File("map.txt")), "--bogus"});
  EXPECT_EQ(o.exitCode, 2);
  // A file that cannot be read is reported and fails the start.
  o = RunProgram(dir.Path(), {"--map", QString::fromStdString(dir.File("missing.txt"))});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_EQ(o.errLines.size(), 2u);
}

}  // namespace
}  // namespace treetri::gui
