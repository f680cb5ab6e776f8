#include "tests/gui/gui_support.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <QAction>

#include "platform/qt/picture_box.h"
#include "platform/qt/qt_ui.h"

namespace treetri::gui {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "treetri-gui-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::string full = File(name);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out << content;
  return full;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

CurrentDirScope::CurrentDirScope(const std::string& dir) {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(dir);
}

CurrentDirScope::~CurrentDirScope() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
}

const std::vector<FieldTree>& FieldTrees() {
  static const std::vector<FieldTree> trees = {
      {101, 0.3, 0.2, {1, 2, 3}},
      {102, -0.4, -0.5, {3, 4, 1}},
      {103, 0.6, -0.3, {1, 4, 2}},
  };
  return trees;
}

double MapX(int tree) {
  static const double x[] = {0, 1, 0, -1, 0};
  return x[tree];
}

double MapY(int tree) {
  static const double y[] = {0, 0, 1, 0, -1};
  return y[tree];
}

void WriteDataSet(const TempDir& dir) {
  std::string map;
  char line[256];
  for (int tree = 1; tree <= 4; ++tree) {
    std::snprintf(line, sizeof line, "1,%d,1,%.2f,%.2f,0,0,0,0,0,0,0,0,x,0,a,0\r\n", tree,
                  MapX(tree), MapY(tree));
    map += line;
  }
  dir.Write("map.txt", map);

  std::string sightings;
  for (const FieldTree& f : FieldTrees()) {
    std::snprintf(line, sizeof line, "1,%d,1,%zu", f.tree, f.sighted.size());
    sightings += line;
    for (size_t k = 0; k < 5; ++k) {
      if (k < f.sighted.size()) {
        const int s = f.sighted[k];
        const double dx = MapX(s) - f.x, dy = MapY(s) - f.y;
        double azimuth = std::atan2(dx, dy) * 180.0 / std::acos(-1.0);
        if (azimuth < 0) azimuth += 360.0;
        std::snprintf(line, sizeof line, ",%d,%.6f,%.6f", s, std::hypot(dx, dy), azimuth);
      } else {
        std::snprintf(line, sizeof line, ",0,-1,-1");
      }
      sightings += line;
    }
    sightings += "\r\n";
  }
  dir.Write("sightings.txt", sightings);

  dir.Write("SimulationInputParameters2.txt",
            "Results file\r\nresults.txt\r\n"
            "Item 4\r\n0\r\n"
            "Azimuth correction (degrees)\r\n0\r\n"
            "Item 8\r\n0, 0\r\n"
            "Standard errors of the map X and Y (m)\r\n0.3, 0.3\r\n"
            "Rows of the block\r\n0\r\n"
            "Block\r\n"
            "Item 16\r\nx\r\n"
            "Item 18\r\n0\r\n"
            "Item 20\r\n0\r\n"
            "Item 22\r\n0\r\n"
            "Item 24\r\n0\r\n"
            "Item 26\r\nx\r\n"
            "Item 28\r\n0\r\n"
            "Standard error of a distance (m)\r\n0.05\r\n"
            "Item 32\r\n0\r\n"
            "Standard error of an azimuth (radians)\r\n0.0175\r\n"
            "Item 36\r\n0\r\n");
}

bool HasColour(const QImage& image, int x, int y, Rgb colour) {
  if (!image.valid(x, y)) return false;
  const QRgb p = image.pixel(x, y);
  return qRed(p) == colour.r && qGreen(p) == colour.g && qBlue(p) == colour.b;
}

int CountColour(const QImage& image, Rgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += HasColour(image, x, y, colour);
  return n;
}

int CountInk(const QImage& image) {
  return image.width() * image.height() - CountColour(image, kWhite);
}

DesktopTest::DesktopTest() {
  window = std::make_unique<MainWindow>(tables);
  QtUi& ui = window->Ui();
  ui.messageHook = [this](const std::string& m) { messages.push_back(m); };
  ui.dialogHook = [this](const std::string& filter, const std::string& title,
                         const std::string& folder, std::string& chosen) {
    dialogs.push_back({filter, title, folder});
    if (answers.empty()) return false;
    std::optional<std::string> a = answers.front();
    answers.pop_front();
    if (!a) return false;
    chosen = *a;
    return true;
  };
  window->exitHook = [this] { ++exits; };
  window->show();
}

DesktopTest::~DesktopTest() { window.reset(); }

void DesktopTest::OpenDataSet(const TempDir& dir) {
  Answer(dir.File("map.txt"));
  window->OpenMapAction()->trigger();
  Answer(dir.File("sightings.txt"));
  window->OpenSightingsAction()->trigger();
}

const QImage& DesktopTest::Surface() const { return window->Picture1()->Image(); }

}  // namespace treetri::gui
