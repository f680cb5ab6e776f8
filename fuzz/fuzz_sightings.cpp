// The sighting reader on any bytes, after a map (the default one, or a
// second part of the input after a form feed): the table limits, the two
// messages of a failure, and every sighted tree looked up as the last
// matching map record.
#include <cstdint>
#include <string>

#include "data/readers.h"
#include "fuzz/fuzz_support.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

// What the slot must hold after the lookup, found the slow way.
void CheckLookup(const Tables& t, int record) {
  const TargetTree& r = t.TargetTrees[record];
  for (int k = 1; k <= kSlotCount; ++k) {
    const PhotoTree* match = nullptr;
    if (k <= kFileSlots && k <= r.NPA)
      for (int i = 1; i <= t.PhotoTrees.Size(); ++i)
        if (t.PhotoTrees[i].Plot == r.Plot && t.PhotoTrees[i].Tree == r.SightedTree[k])
          match = &t.PhotoTrees[i];
    const std::string where = "record " + std::to_string(record) + " slot " + std::to_string(k);
    if (match) {
      FUZZ_CHECK(r.Sighted[k].X == match->X && r.Sighted[k].Y == match->Y &&
                     r.Sighted[k].Z == match->Z && r.SightedSpecies[k] == match->Species,
                 where + ": not the last matching map record");
      FUZZ_CHECK(IsTrue(r.HasAzimuth[k]) == (r.Azimuth[k] > -1), where + ": azimuth flag");
      FUZZ_CHECK(IsTrue(r.HasDistance[k]) == (r.Distance[k] > -1), where + ": distance flag");
    } else {
      FUZZ_CHECK(r.Sighted[k].X == 0 && r.Sighted[k].Y == 0 && r.Sighted[k].Z == 0 &&
                     r.SightedSpecies[k] == 0 && !IsTrue(r.HasAzimuth[k]) &&
                     !IsTrue(r.HasDistance[k]),
                 where + ": a slot without a map tree holds map values or flags");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CleanWorkFolder();
  const std::vector<std::string> parts = SplitParts(data, size, 2);
  Tables t;
  HeadlessUi ui;
  const std::string map = WriteWorkFile("map.txt", parts.size() > 1 ? parts[1] : DefaultMap());
  ReadPhotoMapFile(t, ui, map);
  ui.messages.clear();

  const std::string path = WriteWorkFile("sightings.txt", parts[0]);
  const bool ok = ReadSightingFile(t, ui, path);
  CheckTables(t);
  if (ok) {
    FUZZ_CHECK(ui.messages.size() == 1 &&
                   ui.messages[0] ==
                       std::to_string(t.TargetTreeCount) + " observed trees to be positioned ",
               "the count message");
  } else {
    FUZZ_CHECK(ui.messages.size() == 2 && ui.messages[0] == kSightingErrorMessage,
               "a failed reading gives the fixed message and the detail");
    FUZZ_CHECK(ui.messages[1].find("\"" + path + "\"") != std::string::npos,
               "no file name in: " + ui.messages[1]);
  }
  for (int i = 1; i <= t.TargetTreeCount; ++i) CheckLookup(t, i);
  // Records past the count are empty (the table was cleared).
  for (int i = t.TargetTreeCount + 1; i <= t.TargetTrees.Size() && i <= t.TargetTreeCount + 2; ++i)
    FUZZ_CHECK(t.TargetTrees[i].NPA == 0 && t.TargetTrees[i].Plot == 0,
               "record " + std::to_string(i) + " past the count is not empty");
  return 0;
}
