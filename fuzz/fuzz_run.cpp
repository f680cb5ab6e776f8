// A whole positioning run on fuzzed inputs: map, sightings and parameter
// file split from one input at form feeds (a missing part is the default
// file), run in this process's own folder. Whatever the inputs, the run
// must not crash or leak, the tables stay within their limits, every file
// and list line holds only finite numbers or "-999" with the field count
// that its NPA gives, and the plot viewer draws every case line with finite
// coordinates.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "data/readers.h"
#include "display/plot_viewer.h"
#include "fuzz/fuzz_support.h"
#include "output/dump_files.h"
#include "core/run.h"
#include "output/results_writer.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

// The run writes the results file under the name the parameter file gives,
// relative to the current folder. Only names inside the work folder are
// let through, and none that is one of the program's own files there.
bool ResultsNameIsSafe(const std::string& name) {
  if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return false;
  for (const char* own : {kParameterFileName, kMapDataFileName, kDumpAFileName, kDumpLFileName,
                          kDumpWeightsFileName, kDumpMatlabFileName, "map.txt", "sightings.txt"})
    if (name == own) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CleanWorkFolder();
  const std::vector<std::string> parts = SplitParts(data, size, 3);
  const std::string mapText = parts.size() > 0 && !parts[0].empty() ? parts[0] : DefaultMap();
  const std::string sightingText = parts.size() > 1 ? parts[1] : DefaultSightings();
  const std::string parameterText = parts.size() > 2 ? parts[2] : DefaultParameters();
  WriteWorkFile(kParameterFileName, parameterText);

  {
    Tables probe;
    probe.WorkFolder = WorkFolder();
    HeadlessUi quiet;
    ReadRunParameters(probe, quiet);
    if (!ResultsNameIsSafe(probe.Parameters.ResultsFileName)) return -1;  // not kept
  }

  // The results file name is relative to the current folder: run in the
  // work folder, and go back afterwards (libFuzzer reads its corpus by
  // relative names).
  struct InWorkFolder {
    std::string before;
    InWorkFolder() {
      char buf[4096];
      if (::getcwd(buf, sizeof buf)) before = buf;
      FUZZ_CHECK(::chdir(WorkFolder().c_str()) == 0, "cannot enter the work folder");
    }
    ~InWorkFolder() {
      if (!before.empty() && ::chdir(before.c_str()) != 0) std::abort();
    }
  } inWorkFolder;

  Tables t;
  t.WorkFolder = WorkFolder();
  HeadlessUi ui;
  ReadPhotoMapFile(t, ui, WriteWorkFile("map.txt", mapText));
  ReadSightingFile(t, ui, WriteWorkFile("sightings.txt", sightingText));
  CheckTables(t);

  const RunOutcome outcome = Simulate(t, ui);
  CheckTables(t);
  FUZZ_CHECK(!t.RunInProgress, "the run is still marked in progress");
  const std::string& name = t.Parameters.ResultsFileName;
  std::string results, mapData;
  const bool resultsThere = !name.empty() && ReadWorkFile(name, results);
  if (outcome.completed) {
    const int cases = t.TargetTreeCount;
    FUZZ_CHECK(outcome.cases == cases, "the run processed " + std::to_string(outcome.cases) +
                                           " of " + std::to_string(cases) + " cases");
    FUZZ_CHECK(resultsThere, "a completed run left no results file");
    CheckResultsFile(t, results, cases);
    if (!ReadWorkFile(kMapDataFileName, mapData)) mapData.clear();
    CheckMapData(t, mapData, cases);
    CheckList(t, ui.list, cases);
    FUZZ_CHECK(ui.messages.back() == "Ready! Results are in file " + name, ui.messages.back());
  } else {
    FUZZ_CHECK(outcome.cases == 0, "a run that stopped processed cases");
    FUZZ_CHECK(!resultsThere || results.empty(), "a stopped run wrote results");
    FUZZ_CHECK(ui.list.empty(), "a stopped run wrote list lines");
  }
  for (const char* dump : {kDumpAFileName, kDumpLFileName, kDumpWeightsFileName, kDumpMatlabFileName}) {
    std::string text;
    if (ReadWorkFile(dump, text)) CheckDumpFile(dump, text);
  }
  CheckDrawing(ui.drawing);

  // The viewer on the first, the second and the last case line.
  if (outcome.completed && outcome.cases > 0) {
    for (int k : {1, 2, outcome.cases}) {
      if (k > outcome.cases) continue;
      HeadlessUi view;
      view.SelectListLine(k);
      List1_DblClick(t, view);
      FUZZ_CHECK(view.messages.empty(), "the viewer showed a message");
      CheckDrawing(view.drawing);
    }
  }
  return 0;
}
