// Helpers of the desktop program's tests: temporary folders, a small data set
// near the origin, pixel inspection and a main window whose message boxes,
// file dialogs and exit are recorded instead of shown.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <cmath>

#include <QImage>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "data/tables.h"
#include "platform/ui.h"

namespace treetri::gui {

// A fresh folder under the system's temporary folder, removed when done.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);

// Makes `dir` the current directory until destroyed (the run writes its
// results file relative to it).
class CurrentDirScope {
 public:
  explicit CurrentDirScope(const std::string& dir);
  ~CurrentDirScope();

 private:
  std::string previous_;
};

// One field tree of the data set: its true position and the map trees it
// sights (observed without error, distance and azimuth).
struct FieldTree {
  int tree;
  double x, y;
  std::vector<int> sighted;
};

// Map trees 1..4 of plot 1 at (1, 0), (0, 1), (-1, 0) and (0, -1), and three
// field trees, all within 1 m of the origin.
const std::vector<FieldTree>& FieldTrees();
double MapX(int tree);
double MapY(int tree);

// Writes map.txt, sightings.txt and the parameter file (results file
// "results.txt", azimuth correction 0) into the folder.
void WriteDataSet(const TempDir& dir);

// Pixel of the run's canvas for a map position.
inline int CanvasX(double x) { return static_cast<int>(std::lround(200 + 100 * x)); }
inline int CanvasY(double y) { return static_cast<int>(std::lround(200 - 100 * y)); }

bool HasColour(const QImage& image, int x, int y, Rgb colour);
int CountColour(const QImage& image, Rgb colour);
// Pixels that are not white.
int CountInk(const QImage& image);

// A main window over its own tables with every dialog recorded.
class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest();
  ~DesktopTest() override;

  // Answers of the coming file dialogs; std::nullopt cancels.
  void Answer(std::optional<std::string> name) { answers.push_back(std::move(name)); }
  // Reads the data set's two files through the menu commands.
  void OpenDataSet(const TempDir& dir);
  // The surface's current picture.
  const QImage& Surface() const;

  struct Dialog {
    std::string filter, title, folder;
  };

  Tables tables;
  std::unique_ptr<MainWindow> window;
  std::vector<std::string> messages;
  std::vector<Dialog> dialogs;
  std::deque<std::optional<std::string>> answers;
  int exits = 0;
};

}  // namespace treetri::gui
