// The plot viewer on a results file of any bytes, for any selected list
// line, over tables read from the default files (or from the second and
// third part of the input). It shows no message, hands the surface only
// finite coordinates, draws nothing for the header line or no selection,
// and draws the same picture when the line is double-clicked again.
//
// Input: byte 1 picks the selected line (and whether the results file is
// there at all), byte 2 the azimuth correction; the rest is the results
// file, then after form feeds the sighting file and the map file.
#include <algorithm>
#include <cstdint>
#include <string>

#include "data/readers.h"
#include "display/plot_viewer.h"
#include "fuzz/fuzz_support.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

const double kCorrections[] = {0,     15,     -15,     359.99, -720,   0.005,
                               1e300, -1e300, 1.7e308, -1.7e308, 180, 360};

int Circles(const std::vector<DrawOp>& d) {
  int n = 0;
  for (const DrawOp& op : d) n += op.kind == DrawOp::Kind::Circle;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  CleanWorkFolder();
  const int selected = static_cast<int>(data[0] % 10) - 2;  // -2 .. 7
  const bool resultsThere = (data[0] & 0x80) == 0;
  const double correction = kCorrections[data[1] % (sizeof kCorrections / sizeof(double))];
  const std::vector<std::string> parts = SplitParts(data + 2, size - 2, 3);

  Tables t;
  HeadlessUi reading;
  ReadPhotoMapFile(t, reading, WriteWorkFile("map.txt", parts.size() > 2 ? parts[2] : DefaultMap()));
  ReadSightingFile(t, reading,
                   WriteWorkFile("sightings.txt", parts.size() > 1 ? parts[1] : DefaultSightings()));
  CheckTables(t);
  t.Parameters.AzimuthCorrection = correction;
  t.Parameters.ResultsFileName = WorkFolder() + "results.txt";
  if (resultsThere) WriteWorkFile("results.txt", parts[0]);

  HeadlessUi ui;
  ui.SelectListLine(selected);
  List1_DblClick(t, ui);
  FUZZ_CHECK(ui.messages.empty(), "the viewer showed a message: " + ui.messages[0]);
  CheckDrawing(ui.drawing);
  if (selected < 1) {
    FUZZ_CHECK(ui.drawing.empty(), "the header line or no selection drew something");
    return 0;
  }
  FUZZ_CHECK(!ui.drawing.empty() && ui.drawing[0].kind == DrawOp::Kind::Clear,
             "a case line does not begin with clearing the surface");
  int npa = 0;
  if (selected <= t.TargetTreeCount) npa = t.TargetTrees[selected].NPA;
  const int circles = Circles(ui.drawing);
  if (npa < 1 || npa > kSlotCount) {
    FUZZ_CHECK(ui.drawing.size() == 1, "a case without slots drew something");
  } else {
    // Map trees farther apart than a double can measure: nothing to scale.
    double minX = 1e20, minY = 1e20, maxX = -1e20, maxY = -1e20;
    const TargetTree& target = t.TargetTrees[selected];
    for (int j = 1; j <= npa; ++j) {
      minX = std::min(minX, target.Sighted[j].X);
      maxX = std::max(maxX, target.Sighted[j].X);
      minY = std::min(minY, target.Sighted[j].Y);
      maxY = std::max(maxY, target.Sighted[j].Y);
    }
    if (!std::isfinite(1.2 * std::max(maxX - minX + 3, maxY - minY + 3)))
      FUZZ_CHECK(ui.drawing.size() == 1, "a view without scale drew something");
    else
      FUZZ_CHECK(circles == npa || circles == npa + 2,
                 std::to_string(circles) + " circles for NPA " + std::to_string(npa));
  }

  // Again: the same coordinates (the surface state may differ).
  const std::vector<DrawOp> first = ui.drawing;
  List1_DblClick(t, ui);
  FUZZ_CHECK(ui.drawing.size() == first.size(), "a second double-click draws differently");
  for (size_t i = 0; i < first.size(); ++i) {
    const DrawOp &a = first[i], &b = ui.drawing[i];
    FUZZ_CHECK(a.kind == b.kind && a.x1 == b.x1 && a.y1 == b.y1 && a.x2 == b.x2 &&
                   a.y2 == b.y2 && a.radius == b.radius && a.text == b.text,
               "a second double-click draws operation " + std::to_string(i) + " differently");
  }
  return 0;
}
