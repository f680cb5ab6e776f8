// Helpers of the desktop program's tests: pixel checks and a main window whose
// message boxes, file dialogs and exit are recorded instead of shown, beside a
// small data set near the origin in a temporary folder.
#pragma once

#include <cstdlib>
#include <deque>
#include <fstream>
#include <iterator>
#include <utility>

#include <QAction>
#include <QColor>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "data/parameter_file.h"
#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"

namespace treetri::gui {

inline bool HasColour(const QImage& image, int x, int y, Rgb c) {
  const QRgb p = image.valid(x, y) ? image.pixel(x, y) : qRgba(1, 2, 3, 0);
  return qRed(p) == c.r && qGreen(p) == c.g && qBlue(p) == c.b;
}
// Whether a pixel of `image` within one pixel of `at` has the colour, each
// channel within `tolerance`.
inline bool Carries(const QImage& image, QPoint at, const QColor& colour, int tolerance = 0) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      if (!image.valid(at.x() + dx, at.y() + dy)) continue;
      const QColor p(image.pixel(at.x() + dx, at.y() + dy));
      if (std::abs(p.red() - colour.red()) <= tolerance &&
          std::abs(p.green() - colour.green()) <= tolerance &&
          std::abs(p.blue() - colour.blue()) <= tolerance)
        return true;
    }
  return false;
}
inline int CountColour(const QImage& image, Rgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += HasColour(image, x, y, colour);
  return n;
}

// A main window over its own tables; file dialogs take the queued answers
// (none left cancels), messages and exits are recorded.
class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest() {
    window.Ui().messageHook = [this](const std::string& m) { messages.push_back(m); };
    window.Ui().dialogHook = [this](auto&, auto&, auto&, std::string& chosen) {
      if (answers.empty()) return false;
      chosen = answers.front(), answers.pop_front();
      return true;
    };
    window.exitHook = [this] { ++exits; };
    // Recent jobs go to the test's folder, never to the user's settings.
    window.UseRecentJobsFile(folder.filePath("recent.ini"));
    window.show();
  }
  std::string File(const char* name) const { return folder.filePath(name).toStdString(); }
  // Field trees 101 to 103 at (0.3, 0.2), (-0.4, -0.5) and (0.6, -0.3),
  // distances and azimuths to 6 decimals.
  static constexpr const char* kSightings =
      "1,101,1,3,1,0.728011,105.945396,2,0.854400,339.443955,3,1.315295,261.253838,0,-1,-1,0,-1,-1\r\n"
      "1,102,1,3,3,0.781025,309.805571,4,0.640312,141.340192,1,1.486607,70.346176,0,-1,-1,0,-1,-1\r\n"
      "1,103,1,3,1,0.500000,53.130102,4,0.921954,220.601295,2,1.431782,335.224859,0,-1,-1,0,-1,-1\r\n";
  // map.txt (trees 1 to 4 of plot 1 at (1, 0), (0, 1), (-1, 0), (0, -1)),
  // sightings.txt (the text given) and the parameter file: results file
  // "results.txt" of the folder, azimuth correction 0.
  void WriteDataSet(const std::string& sightings = kSightings) const {
    treetri::ParameterFileTexts params = treetri::DefaultParameterTexts();
    params.Item(2) = File("results.txt");
    std::ofstream(File("map.txt"), std::ios::binary)
        << "1,1,1,1,0,0,0,0,0,0,0,0,0,x,0,a,0\r\n1,2,1,0,1,0,0,0,0,0,0,0,0,x,0,a,0\r\n"
           "1,3,1,-1,0,0,0,0,0,0,0,0,0,x,0,a,0\r\n1,4,1,0,-1,0,0,0,0,0,0,0,0,x,0,a,0\r\n";
    std::ofstream(File("sightings.txt"), std::ios::binary) << sightings;
    std::ofstream(File(treetri::kParameterFileName), std::ios::binary)
        << treetri::ParameterFileText(params);
  }
  void OpenDataSet(const std::string& sightings = kSightings) {
    WriteDataSet(sightings);
    tables.WorkFolder = folder.path().toStdString() + "/";
    answers = {File("map.txt"), File("sightings.txt")};
    window.OpenMapAction()->trigger();
    window.OpenSightingsAction()->trigger();
  }
  const QImage& Surface() const { return window.Picture1()->Image(); }
  // A file's bytes; empty when it is missing.
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The desktop program started in the folder with `args`, run to its end:
  // its exit code (-1 where it did not end within a minute) and its
  // standard error.
  std::pair<int, std::string> Scripted(const QStringList& args) const {
    QProcess p;
    p.setWorkingDirectory(folder.path());
    p.start(TREETRI_PROGRAM, args);
    const bool ended = p.waitForFinished(60000);
    return {ended ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
  }
  // The same on the data set with --run and `more`.
  void RunScripted(const QStringList& more) {
    WriteDataSet();
    const QStringList args = {"--map", folder.filePath("map.txt"), "--sightings",
                              folder.filePath("sightings.txt"), "--run"};
    const auto [code, err] = Scripted(args + more);
    EXPECT_EQ(code, 0) << err;
  }

  QTemporaryDir folder;
  Tables tables;
  MainWindow window{tables};
  std::vector<std::string> messages;
  std::deque<std::string> answers;
  int exits = 0;
};

}  // namespace treetri::gui
