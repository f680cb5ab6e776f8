// corrections.csv on any bytes, applied to sightings (the default ones, or a
// second part of the input after a form feed): a line read back from its
// own formatting is the same line; a file either applies whole or changes
// nothing; the corrected records read back as a sighting file give the same
// text; and the undo lines, applied in reverse, give back the sightings read.
#include <cstdint>
#include <string>
#include <vector>

#include "core/corrections.h"
#include "data/readers.h"
#include "fuzz/fuzz_support.h"

using namespace treetri;
using namespace treetri::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CleanWorkFolder();
  const std::vector<std::string> parts = SplitParts(data, size, 2);
  Tables t;
  HeadlessUi ui;
  ReadPhotoMapFile(t, ui, WriteWorkFile("map.txt", DefaultMap()));
  if (!ReadSightingFile(t, ui, WriteWorkFile("s.txt", parts.size() > 1 ? parts[1] : DefaultSightings())))
    return 0;
  const std::string original = CorrectedSightingText(t);

  std::vector<Correction> lines;
  std::string error;
  const bool parsed = ParseCorrections(parts[0], "c.csv", lines, error);
  FUZZ_CHECK(parsed || error.rfind("The corrections file \"c.csv\", line ", 0) == 0,
             "a refusal without file and line: " + error);
  for (const Correction& c : lines) {
    std::vector<Correction> again;
    std::string e;
    FUZZ_CHECK(ParseCorrections(CorrectionsHeaderLine() + FormatCorrectionLine(c), "c", again, e) &&
                   again.size() == 1 &&
                   FormatCorrectionLine(again[0]) == FormatCorrectionLine(c),
               "line " + std::to_string(c.line) + " does not read back: " + e);
  }
  if (!parsed) return 0;

  if (!ApplyCorrections(t, lines, "c.csv", error)) {
    FUZZ_CHECK(CorrectedSightingText(t) == original, "a refused file changed the sightings");
    FUZZ_CHECK(error.find("line ") != std::string::npos, "a refusal without its line: " + error);
    return 0;
  }
  CheckTables(t);
  const std::string corrected = CorrectedSightingText(t);
  Tables back;
  ReadPhotoMapFile(back, ui, WriteWorkFile("map.txt", DefaultMap()));
  FUZZ_CHECK(ReadSightingFile(back, ui, WriteWorkFile("s.corrected.txt", corrected)),
             "the corrected sightings cannot be read");
  FUZZ_CHECK(CorrectedSightingText(back) == corrected, "the corrected sightings read differently");

  std::vector<Correction> undo;
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    undo.push_back(InverseCorrection(*it, "2026-12-07T04:00:00Z"));
  // A field tree found twice may not let an undo line single out its record.
  if (ApplyCorrections(t, undo, "c.csv", error))
    FUZZ_CHECK(CorrectedSightingText(t) == original, "the undo lines do not restore the sightings");
  return 0;
}
