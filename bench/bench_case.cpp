// treetri-bench-case: one case's steps, from the set-up to its results line,
// on 2000 simulated cases taken in turn. Set TREETRI_BENCH_DIR to put the
// work folder somewhere other than the temporary folder.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/case_recompute.h"
#include "core/quality_input.h"
#include "data/sighting_record.h"
#include "display/canvas.h"
#include "output/results_writer.h"
#include "platform/files.h"
#include "output/dump_files.h"
#include "quality/case_quality.h"
#include "quality/plot_network.h"

namespace {

using treetri::bench::ComputeCase;
using treetri::bench::PreparedRun;

constexpr int kCases = 2000;

PreparedRun& Shared() {
  static std::unique_ptr<PreparedRun> run = [] {
    auto r = std::make_unique<PreparedRun>();
    const char* base = std::getenv("TREETRI_BENCH_DIR");
    std::string error;
    if (!r->Prepare(kCases, 2024, base ? base : "", error)) {
      std::fprintf(stderr, "treetri-bench-case: %s\n", error.c_str());
      std::exit(1);
    }
    return r;
  }();
  return *run;
}

// The case steps only: set-up, initial approximation, iterations.
void BM_CaseComputation(benchmark::State& state) {
  PreparedRun& r = Shared();
  int caseNumber = 0;
  long iterations = 0;
  for (auto _ : state) {
    caseNumber = caseNumber % kCases + 1;
    const treetri::LegacyCaseResult legacy = ComputeCase(r.t, caseNumber);
    iterations += legacy.iterations;
    benchmark::DoNotOptimize(legacy.X_adj);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["iterations/case"] =
      benchmark::Counter(static_cast<double>(iterations) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_CaseComputation);

// The quality assessment of one case alone (adjustment, tests and, for a
// case with an outlier, the wrong-tree search), from inputs taken from the
// run's tables beforehand.
void BM_CaseQuality(benchmark::State& state) {
  PreparedRun& r = Shared();
  static const std::vector<treetri::quality::CaseInput> inputs = [&] {
    const treetri::quality::PlotMaps maps(r.t.PhotoTrees);
    std::vector<treetri::quality::CaseInput> in;
    for (int c = 1; c <= kCases; ++c) {
      in.push_back(treetri::QualityCaseInput(ComputeCase(r.t, c), r.t, maps, ""));
    }
    return in;
  }();
  size_t next = 0;
  for (auto _ : state) {
    const treetri::quality::CaseQuality q = treetri::quality::AssessCase(inputs[next]);
    next = (next + 1) % inputs.size();
    benchmark::DoNotOptimize(q.row.x);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaseQuality);

// The edits both edit benchmarks make, in turn: the azimuth of a case's
// first sighting dropped (its old value as the sighting file has it), then
// restored by its undo line, case after case.
class EditCycle {
 public:
  // Applies the next edit to `recomputer`; false (the benchmark stopped
  // with the error) where it is refused.
  bool Apply(treetri::CaseRecomputer& recomputer, benchmark::State& state, int& changed) {
    if (!undo_) {
      caseNumber_ = caseNumber_ % kCases + 1;
      const treetri::TargetTree& tree = recomputer.Input().TargetTrees[caseNumber_];
      edit_ = treetri::Correction{};
      edit_.time = "2026-12-07T04:00:00Z";
      edit_.plot = tree.Plot;
      edit_.tree = tree.Tree;
      edit_.slot = 1;
      edit_.field = treetri::CorrectionField::Azimuth;
      edit_.oldValue = treetri::SightingNumberText(tree.Azimuth[1]);
    }
    const treetri::Correction c = undo_ ? treetri::InverseCorrection(edit_, edit_.time) : edit_;
    undo_ = !undo_;
    std::string error;
    if (recomputer.Apply(c, changed, error)) return true;
    state.SkipWithError(error.c_str());
    return false;
  }

 private:
  int caseNumber_ = 0;
  bool undo_ = false;
  treetri::Correction edit_;
};

// A desktop edit on 2000 cases: one correction applied to the held copy of
// the sightings (the azimuth of slot 1 dropped, then restored by its undo
// line, in turn) and the edited case computed again, legacy and quality.
void BM_EditAndRecompute(benchmark::State& state) {
  PreparedRun& r = Shared();
  treetri::CaseRecomputer recomputer(r.t, r.t);
  EditCycle edits;
  for (auto _ : state) {
    int changed = 0;
    if (!edits.Apply(recomputer, state, changed)) break;
    const treetri::RecomputedCase q = recomputer.Recompute(changed);
    benchmark::DoNotOptimize(q.quality.row.x);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EditAndRecompute)->Unit(benchmark::kMillisecond);

// A desktop edit with the plot network on 2000 cases in plots of 40 or 100
// field trees (the argument; realistic mature stands): the edit as above, then the edited case
// computed again and its whole plot assessed again by the network. The first
// edit of a plot computes the plot's other cases once; the benchmark edits
// one case after another through the plots, so it counts that too, once per
// plot.
void BM_EditAndRecomputePlot(benchmark::State& state) {
  static std::map<int, std::unique_ptr<PreparedRun>> runs;
  const int perPlot = static_cast<int>(state.range(0));
  std::unique_ptr<PreparedRun>& run = runs[perPlot];
  if (!run) {
    auto r = std::make_unique<PreparedRun>();
    const char* base = std::getenv("TREETRI_BENCH_DIR");
    std::string error;
    if (!r->Prepare(kCases, 2024, base ? base : "", error, perPlot, true)) {
      std::fprintf(stderr, "treetri-bench-case: %s\n", error.c_str());
      std::exit(1);
    }
    run = std::move(r);
  }
  treetri::CaseRecomputer recomputer(run->t, run->t);
  const treetri::quality::NetworkOptions options;
  int computed = 0, slowest = 0;
  EditCycle edits;
  for (auto _ : state) {
    int changed = 0;
    if (!edits.Apply(recomputer, state, changed)) break;
    int cases = 0;
    const treetri::CaseRecomputer::PlotRecompute p = recomputer.RecomputePlot(changed, options, &cases);
    benchmark::DoNotOptimize(p.plot.cases.data());
    computed += cases;
    slowest = std::max(slowest, static_cast<int>(p.plot.cases.size()));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["field trees/plot"] = benchmark::Counter(slowest);
  state.counters["cases computed/edit"] =
      benchmark::Counter(static_cast<double>(computed) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_EditAndRecomputePlot)->Arg(40)->Arg(100)->Unit(benchmark::kMillisecond);

// What the desktop does once per run before the first edit: the copy of
// 2000 sighting records and the plot maps of the recomputer.
void BM_RecomputerSetUp(benchmark::State& state) {
  PreparedRun& r = Shared();
  for (auto _ : state) {
    treetri::CaseRecomputer recomputer(r.t, r.t);
    benchmark::DoNotOptimize(&recomputer);
  }
}
BENCHMARK(BM_RecomputerSetUp)->Unit(benchmark::kMillisecond);

// The case steps, the dot on the canvas and the case's three output lines
// and status built in memory, as the results writer builds them.
void BM_CaseToResultsLine(benchmark::State& state) {
  PreparedRun& r = Shared();
  treetri::Flag drawFlag = treetri::kTrue;
  int caseNumber = 0;
  for (auto _ : state) {
    caseNumber = caseNumber % kCases + 1;
    const treetri::LegacyCaseResult legacy = ComputeCase(r.t, caseNumber);
    treetri::DrawCasePosition(legacy, r.ui, drawFlag);
    std::string map, line, list;
    treetri::AppendMapDataLine(map, legacy);
    treetri::AppendResultsLine(line, legacy, r.t);
    treetri::AppendListLine(list, legacy, treetri::CaseStatus(legacy));
    benchmark::DoNotOptimize(map.data());
    benchmark::DoNotOptimize(line.data());
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaseToResultsLine);

// As the run driver does it: the case steps, the four dump files, the dot,
// and the lines appended to mapdata.txt, the results file and the list.
// The two growing files are emptied (outside the timing) after every 2000
// cases.
void BM_CaseWithFiles(benchmark::State& state) {
  PreparedRun& r = Shared();
  treetri::Flag drawFlag = treetri::kTrue;
  treetri::OutputState output;
  treetri::DumpFiles dumps(r.t.WorkFolder);
  std::string error;
  output.Open(r.t.Parameters.ResultsFileName, r.t.WorkFolder, error);
  int caseNumber = 0;
  for (auto _ : state) {
    if (caseNumber == kCases) {
      state.PauseTiming();
      output.Open(r.t.Parameters.ResultsFileName, r.t.WorkFolder, error);
      treetri::WriteWholeFile(r.t.WorkFolder + treetri::kMapDataFileName, "", error);
      caseNumber = 0;
      state.ResumeTiming();
    }
    ++caseNumber;
    const treetri::LegacyCaseResult legacy = ComputeCase(r.t, caseNumber);
    if (!dumps.Write(legacy, treetri::LastCaseSystem(r.t), error)) {
      state.SkipWithError(("dump file: " + error).c_str());
      break;
    }
    treetri::DrawCasePosition(legacy, r.ui, drawFlag);
    treetri::WriteCaseResults(legacy, r.t, r.ui, r.feedback, output);
    if (output.resultsFileFailed || output.mapDataFailed) {
      state.SkipWithError("the results could not be written");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaseWithFiles);

// The case's output alone, without the dump files: the two appends and the
// list line of an already computed case.
void BM_CaseResultsAppendOnly(benchmark::State& state) {
  PreparedRun& r = Shared();
  treetri::OutputState output;
  std::string error;
  output.Open(r.t.Parameters.ResultsFileName, r.t.WorkFolder, error);
  const treetri::LegacyCaseResult legacy = ComputeCase(r.t, 1);
  int appended = 0;
  for (auto _ : state) {
    if (++appended == kCases) {
      state.PauseTiming();
      output.Open(r.t.Parameters.ResultsFileName, r.t.WorkFolder, error);
      treetri::WriteWholeFile(r.t.WorkFolder + treetri::kMapDataFileName, "", error);
      appended = 0;
      state.ResumeTiming();
    }
    treetri::WriteCaseResults(legacy, r.t, r.ui, r.feedback, output);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaseResultsAppendOnly);

// The four dump files of an already computed case, rewritten.
void BM_CaseDumpFilesOnly(benchmark::State& state) {
  PreparedRun& r = Shared();
  const treetri::LegacyCaseResult legacy = ComputeCase(r.t, 1);
  treetri::DumpFiles dumps(r.t.WorkFolder);
  std::string error;
  for (auto _ : state)
    if (!dumps.Write(legacy, treetri::LastCaseSystem(r.t), error)) {
      state.SkipWithError(("dump file: " + error).c_str());
      break;
    }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CaseDumpFilesOnly);

}  // namespace

BENCHMARK_MAIN();
