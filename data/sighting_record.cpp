#include "data/sighting_record.h"

#include <charconv>

namespace treetri {

bool ReadSightingRecord(FieldReader& in, TargetTree& t, FieldError& err) {
  in.BeginRecord();
  if (!(in.ReadInt32(t.Plot, err) && in.ReadInt32(t.Tree, err) && in.ReadInt32(t.Species, err) &&
        in.ReadInt32(t.NPA, err)))
    return false;
  for (int k = 1; k <= kFileSlots; ++k)
    if (!(in.ReadInt32(t.SightedTree[k], err) && in.ReadReal(t.Distance[k], err) &&
          in.ReadReal(t.Azimuth[k], err)))
      return false;
  return true;
}

std::string SightingNumberText(double value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string SightingRecordLine(const TargetTree& t) {
  std::string line = std::to_string(t.Plot) + "," + std::to_string(t.Tree) + "," +
                     std::to_string(t.Species) + "," + std::to_string(t.NPA);
  for (int k = 1; k <= kFileSlots; ++k)
    line += "," + std::to_string(t.SightedTree[k]) + "," + SightingNumberText(t.Distance[k]) +
            "," + SightingNumberText(t.Azimuth[k]);
  line += "\r\n";
  return line;
}

void AttachSightedTrees(TargetTree& t, const Table<PhotoTree>& map, const PlotTreeIndex& index) {
  t.DistanceCount = 0;
  t.AzimuthCount = 0;
  for (int k = 1; k <= kSlotCount; ++k) {
    t.Sighted[k] = SightedXYZ{};
    t.SightedSpecies[k] = 0;
    t.HasAzimuth[k] = kFalse;
    t.HasDistance[k] = kFalse;
  }
  const int slots = t.NPA < kFileSlots ? t.NPA : kFileSlots;
  for (int k = 1; k <= slots; ++k) {
    const int found = index.Find(t.Plot, t.SightedTree[k]);
    if (found == 0) continue;
    const PhotoTree& p = map[found];
    t.Sighted[k] = SightedXYZ{p.X, p.Y, p.Z};
    t.SightedSpecies[k] = p.Species;
    if (t.Azimuth[k] > kNotMeasured) {
      t.HasAzimuth[k] = kTrue;
      ++t.AzimuthCount;
    }
    if (t.Distance[k] > kNotMeasured) {
      t.HasDistance[k] = kTrue;
      ++t.DistanceCount;
    }
  }
}

}  // namespace treetri
