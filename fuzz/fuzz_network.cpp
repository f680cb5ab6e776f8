// A whole run with the quality layer on fuzzed inputs, once per case and once
// as a plot network (with the plot's azimuth bias, or without it where the
// input's length is odd): map, sightings and parameter file split from one
// input at form feeds (a missing part is the default file). Whatever the
// geometry (trees on one spot, far or repeated sightings, a plot of one
// field tree, numbers at the edge of the fields), the run must not crash,
// hang or leak, and what it writes reads back: a quality line for every case
// with its observation lines (every number finite, as the readers demand,
// standard deviations and axes not negative, the ellipse's major axis
// first, a tested observation's redundancy number within 0..1 but for
// rounding, an outlier with its suspect), and for the network plots.csv and
// map_trees.csv, each plot and each sighted map tree once.
#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "core/quality_observer.h"
#include "core/run.h"
#include "data/readers.h"
#include "fuzz/fuzz_support.h"
#include "platform/feedback.h"
#include "quality/network_files.h"
#include "quality/quality_files.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

enum class Method { Case, Network, NetworkWithoutBias };

// One run in the work folder (the current folder) and the checks of its
// quality files.
void RunAndCheck(const RunInputs& in, Method method) {
  Tables t;
  t.WorkFolder = WorkFolder();
  HeadlessUi ui;
  ReadPhotoMapFile(t, ui, WriteWorkFile("map.txt", in.map));
  ReadSightingFile(t, ui, WriteWorkFile("sightings.txt", in.sightings));
  Feedback feedback;
  QualityObserver quality(t, feedback);
  if (method != Method::Case) quality.UseNetwork({method == Method::Network});
  const RunOutcome outcome = Simulate(t, ui, {&quality}, &feedback);
  if (!outcome.completed || !quality.Began()) return;

  quality::QualityRunFiles run;
  const quality::FileReadStatus read = quality::ReadQualityRun(
      WorkFolder() + quality::kQualityFileName, WorkFolder() + quality::kObservationsFileName,
      false, run);
  FUZZ_CHECK(read.ok, read.path + " line " + std::to_string(read.line) + ": " + read.message);
  FUZZ_CHECK(run.warnings.empty(), run.warnings.front());
  FUZZ_CHECK(static_cast<int>(run.cases.size()) == outcome.cases,
             std::to_string(run.cases.size()) + " quality lines for " +
                 std::to_string(outcome.cases) + " cases");
  for (const quality::CaseAssessment& c : run.cases) {
    const std::string which = "case " + std::to_string(c.caseNumber);
    FUZZ_CHECK(!c.sigma0 || *c.sigma0 >= 0, which + ": a negative sigma0");
    FUZZ_CHECK((!c.sx || *c.sx >= 0) && (!c.sy || *c.sy >= 0), which + ": a negative sx or sy");
    FUZZ_CHECK(!c.ellipseA || !c.ellipseB || (*c.ellipseA >= *c.ellipseB && *c.ellipseB >= 0),
               which + ": ellipse axes out of order");
    FUZZ_CHECK(!c.conf95A || !c.conf95B || (*c.conf95A >= *c.conf95B && *c.conf95B >= 0),
               which + ": 95 % axes out of order");
    FUZZ_CHECK(c.verdict != quality::Verdict::Outlier || c.suspectKind != quality::SuspectKind::None,
               which + ": an outlier without a suspect");
  }
  // The redundancy number of a tested observation (one with a w) lies
  // within 0..1 up to rounding. The files write every number as computed:
  // where the others fix an observation entirely it may read -0.0000 (as
  // in the worked example), and on a plot that a nonsense parameter file
  // leaves all but singular (distances with a standard error of 300 m) an
  // untested one may read -0.02.
  for (const quality::ObservationAssessment& o : run.observations)
    FUZZ_CHECK(!o.w || (o.redundancyNumber >= -0.01 && o.redundancyNumber <= 1.01),
               "case " + std::to_string(o.caseNumber) + " slot " + std::to_string(o.slot) +
                   ": redundancy number " + std::to_string(o.redundancyNumber));
  if (method == Method::Case) return;

  quality::NetworkFiles network;
  const quality::FileReadStatus net = quality::ReadNetworkFiles(WorkFolder(), network);
  FUZZ_CHECK(net.ok, net.path + " line " + std::to_string(net.line) + ": " + net.message);
  std::set<int> plots;
  for (const quality::PlotLine& p : network.plots) {
    FUZZ_CHECK(plots.insert(p.plot).second, "plot " + std::to_string(p.plot) + " twice");
    FUZZ_CHECK(p.redundancy >= 0 && p.removed >= 0 && p.iterations >= 0,
               "plot " + std::to_string(p.plot) + ": a negative count");
  }
  std::set<std::pair<int, int>> trees;
  for (const quality::MapTreeLine& m : network.mapTrees) {
    FUZZ_CHECK(plots.count(m.plot), "map tree of plot " + std::to_string(m.plot) + " without its plot");
    FUZZ_CHECK(trees.insert({m.plot, m.tree}).second,
               "map tree " + std::to_string(m.tree) + " of plot " + std::to_string(m.plot) + " twice");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RunInputs in;
  if (!PrepareRun(data, size, in)) return -1;  // not kept
  const InWorkFolder inWorkFolder;

  RunAndCheck(in, Method::Case);
  RunAndCheck(in, size % 2 ? Method::NetworkWithoutBias : Method::Network);
  return 0;
}
