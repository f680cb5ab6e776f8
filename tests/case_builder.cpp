#include "tests/case_builder.h"

#include <charconv>

#include "data/parameter_file.h"

namespace treetri::testing {

namespace {
std::string Num(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}
}  // namespace

std::string MapRecordText(int plot, int tree, int species, const std::string& x, const std::string& y,
                          const std::string& z) {
  return std::to_string(plot) + "," + std::to_string(tree) + "," + std::to_string(species) + "," + x +
         "," + y + "," + z + ",0,0,0,0,0,0,0,t,0,u,0\r\n";
}

std::string MapRecord(int plot, int tree, int species, double x, double y) {
  return MapRecordText(plot, tree, species, Num(x), Num(y));
}

std::string SightingRecordText(int plot, int tree, int species, int npa, std::vector<std::string> slots) {
  std::string s = std::to_string(plot) + "," + std::to_string(tree) + "," + std::to_string(species) +
                  "," + std::to_string(npa);
  slots.resize(5, "0,-1,-1");
  for (const std::string& k : slots) s += "," + k;
  return s + "\r\n";
}

std::string SightingRecord(int plot, int tree, int species, int npa,
                           const std::vector<Sighting>& slots) {
  std::vector<std::string> texts;
  for (const Sighting& x : slots) texts.push_back(std::to_string(x.tree) + "," + Num(x.distance) + "," + Num(x.azimuth));
  return SightingRecordText(plot, tree, species, npa, texts);
}

std::string ParameterFile(const Parameters& p) {
  ParameterFileTexts f = DefaultParameterTexts();
  f.Item(2) = p.resultsFile;
  f.Item(6) = Num(p.azimuthCorrection);
  f.Item(10) = Num(p.sigmaMapX) + ", " + Num(p.sigmaMapY);
  f.Item(12) = std::to_string(p.blockRows);
  f.blockRows.assign(static_cast<size_t>(p.blockRows), "1.5, 2.5");
  f.Item(30) = Num(p.sigmaDistance);
  f.Item(34) = Num(p.sigmaAzimuth);
  return ParameterFileText(f);
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
