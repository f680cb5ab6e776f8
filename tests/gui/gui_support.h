// Helpers of the desktop program's tests: a temporary folder with a small data
// set near the origin, pixel checks and a main window whose message boxes,
// file dialogs and exit are recorded instead of shown.
#pragma once

#include <stdlib.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>

#include <QAction>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"

namespace treetri::gui {

// A fresh folder under the system's temporary folder, removed when done.
struct TempDir {
  TempDir() {
    std::string p = (std::filesystem::temp_directory_path() / "treetri-gui-XXXXXX").string();
    path = mkdtemp(p.data()) ? p : "/nonexistent";
  }
  ~TempDir() { std::error_code ec; std::filesystem::remove_all(path, ec); }
  std::string File(const std::string& name) const { return path + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
  }
  std::string path;
};

// Map trees 1..4 of plot 1 at (1, 0), (0, 1), (-1, 0), (0, -1); three field
// trees, each with its true position and the map trees it sights.
struct FieldTree { int tree; double x, y; std::vector<int> sighted; };
inline const std::vector<FieldTree> kFieldTrees = {
    {101, 0.3, 0.2, {1, 2, 3}}, {102, -0.4, -0.5, {3, 4, 1}}, {103, 0.6, -0.3, {1, 4, 2}}};
inline double MapX(int tree) { return tree == 1 ? 1 : tree == 3 ? -1 : 0; }
inline double MapY(int tree) { return tree == 2 ? 1 : tree == 4 ? -1 : 0; }

// map.txt, sightings.txt (exact distances and azimuths) and the parameter
// file: results file "results.txt" of the folder, azimuth correction 0.
inline void WriteDataSet(const TempDir& dir) {
  std::string map, sightings, params = "Results\r\n" + dir.File("results.txt") + "\r\n";
  for (int t = 1; t <= 4; ++t)
    map += "1," + std::to_string(t) + ",1," + std::to_string(MapX(t)) + "," +
           std::to_string(MapY(t)) + ",0,0,0,0,0,0,0,0,x,0,a,0\r\n";
  for (const FieldTree& f : kFieldTrees) {
    sightings += "1," + std::to_string(f.tree) + ",1,3";
    for (int s : f.sighted) {
      const double dx = MapX(s) - f.x, dy = MapY(s) - f.y;
      const double azimuth = std::fmod(std::atan2(dx, dy) * 180 / M_PI + 360, 360);
      sightings += "," + std::to_string(s) + "," + std::to_string(std::hypot(dx, dy)) + "," +
                   std::to_string(azimuth);
    }
    sightings += ",0,-1,-1,0,-1,-1\r\n";
  }
  for (const char* item : {"4", "0", "Azimuth correction", "0", "8", "0, 0", "Map errors",
                           "0.3, 0.3", "Block rows", "0", "Block", "16", "x", "18", "0", "20", "0",
                           "22", "0", "24", "0", "26", "x", "28", "0", "Distance error", "0.05",
                           "32", "0", "Azimuth error", "0.0175", "36", "0"})
    params += std::string(item) + "\r\n";
  dir.Write("map.txt", map);
  dir.Write("sightings.txt", sightings);
  dir.Write("SimulationInputParameters2.txt", params);
}

inline bool HasColour(const QImage& image, int x, int y, Rgb c) {
  const QRgb p = image.valid(x, y) ? image.pixel(x, y) : qRgba(1, 2, 3, 0);
  return qRed(p) == c.r && qGreen(p) == c.g && qBlue(p) == c.b;
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
    window.show();
  }
  void OpenDataSet(const TempDir& dir) {
    answers = {dir.File("map.txt"), dir.File("sightings.txt")};
    window.OpenMapAction()->trigger();
    window.OpenSightingsAction()->trigger();
  }
  const QImage& Surface() const { return window.Picture1()->Image(); }

  Tables tables;
  MainWindow window{tables};
  std::vector<std::string> messages;
  std::deque<std::string> answers;
  int exits = 0;
};

}  // namespace treetri::gui
