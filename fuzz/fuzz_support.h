// Shared by the fuzz targets: a private work folder, the splitting of one
// input into several files, and the checks of the properties that every
// output must have whatever the input was. A check that fails prints what it
// found and aborts, so libFuzzer keeps the input as a crash.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "positioning/tables.h"
#include "platform/headless_ui.h"

namespace treetri::fuzz {

[[noreturn]] void Violated(const char* condition, const std::string& detail, const char* file,
                           int line);

#define FUZZ_CHECK(cond, detail)                                           \
  do {                                                                     \
    if (!(cond)) ::treetri::fuzz::Violated(#cond, (detail), __FILE__, __LINE__); \
  } while (0)

// This process's own empty folder (ends with '/'), made at first use.
const std::string& WorkFolder();
// Removes every file of the work folder.
void CleanWorkFolder();
// Writes a file of the work folder and returns its full name.
std::string WriteWorkFile(const std::string& name, const std::string& content);
// Reads a file of the work folder; false when it is missing.
bool ReadWorkFile(const std::string& name, std::string& content);

// Separator of the parts of one input: a form feed.
inline constexpr char kPartSeparator = '\f';
// Splits the input at the first (n - 1) separators into at most n parts.
std::vector<std::string> SplitParts(const std::uint8_t* data, std::size_t size, int n);

// The inputs of a whole run from one input: the map, the sightings and the
// parameter file at form feeds, a missing part the default file.
struct RunInputs {
  std::string map, sightings;
};
// Cleans the work folder, writes the parameter file there and gives the
// other two parts. False (the input is not kept) when the parameter file
// names a results file that is not a plain name or is one of the run's own
// files.
bool PrepareRun(const std::uint8_t* data, std::size_t size, RunInputs& out);

// While it lives, the work folder is the current folder: a run writes its
// results file by a name relative to it. It goes back afterwards, since
// libFuzzer reads its corpus by relative names.
class InWorkFolder {
 public:
  InWorkFolder();
  ~InWorkFolder();
  InWorkFolder(const InWorkFolder&) = delete;
  InWorkFolder& operator=(const InWorkFolder&) = delete;

 private:
  std::string before_;
};

// Seed data of the targets: a map of plot 1, sightings to it, and a parameter
// file in the usual layout (results file "results.txt").
std::string DefaultMap();
std::string DefaultSightings();
std::string DefaultParameters();

// The limits of the tables after any reading: TargetTreeCount within the
// table and the 2000 records; per record the counts equal the flags, and
// only slots 1..min(NPA, 5) have flags.
void CheckTables(const Tables& t);

// The results file of a run of `cases` cases: header plus one complete
// line per case, each with its field count and every number finite with its
// decimals or "-999".
void CheckResultsFile(const Tables& t, const std::string& text, int cases);
// "mapdata.txt" after a run of `cases` cases into an empty folder.
void CheckMapData(const Tables& t, const std::string& text, int cases);
// The list lines of a run: header and one line per case.
void CheckList(const Tables& t, const std::vector<std::string>& list, int cases);
// A dump file: blank-separated numbers, all finite.
void CheckDumpFile(const std::string& name, const std::string& text);
// Drawing operations: every coordinate and radius finite.
void CheckDrawing(const std::vector<DrawOp>& drawing);

}  // namespace treetri::fuzz
