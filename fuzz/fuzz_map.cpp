// The photo-tree map reader on any bytes: exactly one message, naming the
// file and the place of a failure; the records before a failure stay; a
// good map read afterwards gives the table of a fresh start.
#include <cstdint>
#include <string>

#include "data/readers.h"
#include "fuzz/fuzz_support.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

void ExpectSameMap(const Table<PhotoTree>& a, const Table<PhotoTree>& b) {
  FUZZ_CHECK(a.Size() == b.Size(), "map sizes differ");
  for (int i = 1; i <= a.Size(); ++i) {
    const PhotoTree &p = a[i], &q = b[i];
    FUZZ_CHECK(p.Plot == q.Plot && p.Tree == q.Tree && p.Species == q.Species && p.X == q.X &&
                   p.Y == q.Y && p.Z == q.Z && p.Value7 == q.Value7 && p.Value8 == q.Value8 &&
                   p.Value9 == q.Value9 && p.Value10 == q.Value10 && p.Text16 == q.Text16 &&
                   p.Code17 == q.Code17,
               "map record " + std::to_string(i) + " differs from a fresh reading");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CleanWorkFolder();
  const std::string path =
      WriteWorkFile("map.txt", std::string(reinterpret_cast<const char*>(data), size));
  Tables t;
  HeadlessUi ui;
  const bool ok = ReadPhotoMapFile(t, ui, path);
  FUZZ_CHECK(ui.messages.size() == 1, "map reading gave " + std::to_string(ui.messages.size()) +
                                          " messages");
  const std::string& m = ui.messages[0];
  if (ok) {
    FUZZ_CHECK(m == std::to_string(t.PhotoTrees.Size()) + " trees / fixed points read", m);
  } else {
    FUZZ_CHECK(m.find("\"" + path + "\"") != std::string::npos, "no file name in: " + m);
    const std::string place = "record " + std::to_string(t.PhotoTrees.Size() + 1) + ", field ";
    FUZZ_CHECK(m.find(place) != std::string::npos && m.find("(line ") != std::string::npos,
               "no place \"" + place + "\" in: " + m);
  }
  FUZZ_CHECK(t.MapRead, "MapRead not set after reading a map");
  CheckTables(t);

  // The table stays usable: a good map and sightings read after it give
  // what a fresh start gives.
  const std::string good = WriteWorkFile("good-map.txt", DefaultMap());
  const std::string sightings = WriteWorkFile("sightings.txt", DefaultSightings());
  Tables fresh;
  HeadlessUi freshUi;
  FUZZ_CHECK(ReadPhotoMapFile(fresh, freshUi, good), "the default map does not read");
  FUZZ_CHECK(ReadPhotoMapFile(t, ui, good), "a good map after a bad one does not read");
  ExpectSameMap(t.PhotoTrees, fresh.PhotoTrees);
  FUZZ_CHECK(ReadSightingFile(t, ui, sightings), "sightings after the map do not read");
  CheckTables(t);
  return 0;
}
