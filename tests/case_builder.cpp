#include "tests/case_builder.h"

#include <charconv>

namespace treetri::testing {

namespace {
std::string Num(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}
}  // namespace

std::string MapRecord(int plot, int tree, int species, double x, double y) {
  return std::to_string(plot) + "," + std::to_string(tree) + "," + std::to_string(species) + "," +
         Num(x) + "," + Num(y) + ",0,0,0,0,0,0,0,0,t,0,t,0\r\n";
}

std::string SightingRecord(int plot, int tree, int species, int npa,
                           const std::vector<Sighting>& slots) {
  std::string s = std::to_string(plot) + "," + std::to_string(tree) + "," +
                  std::to_string(species) + "," + std::to_string(npa);
  for (size_t k = 0; k < 5; ++k) {
    Sighting x = k < slots.size() ? slots[k] : Sighting{};
    s += "," + std::to_string(x.tree) + "," + Num(x.distance) + "," + Num(x.azimuth);
  }
  return s + "\r\n";
}

std::string ParameterFile(const Parameters& p) {
  std::string s;
  s += "Results file\r\n" + p.resultsFile + "\r\n";
  s += "Item 4\r\n0\r\n";
  s += "Azimuth correction\r\n" + Num(p.azimuthCorrection) + "\r\n";
  s += "Item 8\r\n0, 0\r\n";
  s += "Sigma map X and Y\r\n" + Num(p.sigmaMapX) + ", " + Num(p.sigmaMapY) + "\r\n";
  s += "Block rows\r\n" + std::to_string(p.blockRows) + "\r\n";
  s += "Block\r\n";
  for (int r = 0; r < p.blockRows; ++r) s += "1.5, 2.5\r\n";
  s += "Item 16\r\nanything\r\n";
  s += "Item 18\r\n0\r\nItem 20\r\n0\r\nItem 22\r\n0\r\nItem 24\r\n0\r\n";
  s += "Item 26\r\nanything\r\nItem 28\r\n0\r\n";
  s += "Sigma distance\r\n" + Num(p.sigmaDistance) + "\r\n";
  s += "Item 32\r\n0\r\n";
  s += "Sigma azimuth\r\n" + Num(p.sigmaAzimuth) + "\r\n";
  s += "Item 36\r\n0\r\n";
  return s;
}

void AddTarget(Tables& t, int plot, int tree, int npa, const std::vector<Sighting>& slots,
               const std::vector<MapPoint>& map) {
  TargetTree rec;
  rec.Plot = plot;
  rec.Tree = tree;
  rec.NPA = npa;
  for (size_t i = 0; i < slots.size() && i < static_cast<size_t>(kFileSlots); ++i) {
    const int k = static_cast<int>(i) + 1;
    rec.SightedTree[k] = slots[i].tree;
    rec.Distance[k] = slots[i].distance;
    rec.Azimuth[k] = slots[i].azimuth;
    if (k > npa) continue;
    for (const MapPoint& p : map) {
      if (p.tree != slots[i].tree) continue;
      rec.Sighted[k] = SightedXYZ{p.x, p.y, 0};
      if (slots[i].azimuth > -1) {
        rec.HasAzimuth[k] = kTrue;
        ++rec.AzimuthCount;
      }
      if (slots[i].distance > -1) {
        rec.HasDistance[k] = kTrue;
        ++rec.DistanceCount;
      }
      break;
    }
  }
  if (t.TargetTrees.Size() < kMaxTargetTrees) t.TargetTrees.Recreate(kMaxTargetTrees);
  t.TargetTrees[++t.TargetTreeCount] = rec;
}

void SetParameters(Tables& t, const Parameters& p) {
  t.Parameters.ResultsFileName = p.resultsFile;
  t.Parameters.AzimuthCorrection = p.azimuthCorrection;
  t.Parameters.SigmaMapX = p.sigmaMapX;
  t.Parameters.SigmaMapY = p.sigmaMapY;
  t.Parameters.SigmaDistance = p.sigmaDistance;
  t.Parameters.SigmaAzimuth = p.sigmaAzimuth;
  t.TauCriticalValues = kTauCriticalValues;
}

}  // namespace treetri::testing
