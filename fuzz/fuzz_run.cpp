// A whole positioning run on fuzzed inputs: map, sightings and parameter
// file split from one input at form feeds (a missing part is the default
// file), run in this process's own folder. Whatever the inputs, the run
// must not crash or leak, the tables stay within their limits, every file
// and list line holds only finite numbers or "-999" with the field count
// that its NPA gives, and the plot viewer draws every case line with finite
// coordinates.
#include <cstdint>
#include <string>

#include "data/readers.h"
#include "display/plot_viewer.h"
#include "fuzz/fuzz_support.h"
#include "output/dump_files.h"
#include "core/run.h"
#include "output/results_writer.h"

using namespace treetri;
using namespace treetri::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunInputs in;
  if (!PrepareRun(data, size, in)) return -1;  // not kept
  const InWorkFolder inWorkFolder;

  Tables t;
  t.WorkFolder = WorkFolder();
  HeadlessUi ui;
  ReadPhotoMapFile(t, ui, WriteWorkFile("map.txt", in.map));
  ReadSightingFile(t, ui, WriteWorkFile("sightings.txt", in.sightings));
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
