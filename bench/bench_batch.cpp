// treetri-bench-batch: a whole positioning run of simulated cases through
// the library, as the batch program makes it, and the computation alone.
//
//   treetri-bench-batch [--cases N] [--seed N] [--repeat R] [--dir BASE]
//
// The work folder is made under BASE (default: the temporary folder), since
// the run writes its results, mapdata.txt and the dump files there.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/quality_observer.h"
#include "core/run.h"
#include "data/field_reader.h"
#include "output/results_writer.h"
#include "platform/files.h"
#include "tools/text_format.h"

namespace {

using treetri::bench::Now;

using treetri::bench::Median;

}  // namespace

int main(int argc, char** argv) {
  treetri::bench::RunArguments args;
  if (!treetri::bench::ParseRunArguments(argc, argv, args)) {
    std::fputs("usage: treetri-bench-batch [--cases N] [--seed N] [--repeat R] [--dir BASE]\n",
               stderr);
    return 2;
  }
  const long long cases = args.cases, repeat = args.repeat;
  const std::string& base = args.base;

  treetri::bench::PreparedRun r;
  std::string error;
  if (!r.Prepare(static_cast<int>(cases), static_cast<std::uint64_t>(args.seed), base, error)) {
    std::fprintf(stderr, "treetri-bench-batch: %s\n", error.c_str());
    return 1;
  }
  std::printf("work folder          %s\n", r.Folder().c_str());
  std::printf("cases                %lld\n", cases);
  std::printf("simulate and write   %.4f s\n", r.simulateSeconds);
  std::printf("read map, sightings  %.4f s\n", r.readSeconds);

  // Whole runs: parameters, results file, every case with its files.
  std::vector<double> runs;
  int failed = 0;
  for (long long k = 0; k < repeat; ++k) {
    const double t0 = Now();
    const treetri::RunOutcome outcome = treetri::Simulate(r.t, r.ui);
    runs.push_back(Now() - t0);
    if (!outcome.completed || outcome.cases != cases) {
      std::fprintf(stderr, "treetri-bench-batch: the run stopped after %d cases\n", outcome.cases);
      return 1;
    }
    failed = outcome.failedCases;
  }
  // Whole runs with the quality layer, as the batch program hooks it up.
  std::vector<double> qualityRuns;
  for (long long k = 0; k < repeat; ++k) {
    const double t0 = Now();
    treetri::QualityObserver quality(r.t, r.feedback);
    treetri::Simulate(r.t, r.ui, {&quality}, &r.feedback);
    qualityRuns.push_back(Now() - t0);
    if (k == 0) std::printf("quality verdicts     %s\n", SummaryText(quality.Summary()).c_str());
  }
  // The same runs with 200,000 more map trees crowded at one spot of the
  // first plot (a crafted map): the wrong-tree search and the per-plot
  // lookups go through the map index, so the crowd should cost little.
  std::vector<double> crowdedRuns;
  if (r.t.PhotoTrees.Size() > 0) {
    treetri::PhotoTree crowd = r.t.PhotoTrees[1];
    const int kept = r.t.PhotoTrees.Size();
    for (int i = 0; i < 200000; ++i) {
      crowd.Tree = 1000000 + i;
      r.t.PhotoTrees.Append(crowd);
    }
    for (long long k = 0; k < repeat; ++k) {
      const double t0 = Now();
      treetri::QualityObserver quality(r.t, r.feedback);
      treetri::Simulate(r.t, r.ui, {&quality}, &r.feedback);
      crowdedRuns.push_back(Now() - t0);
    }
    r.t.PhotoTrees.Shrink(kept);
  }
  r.TakeMessages();
  const double runBest = *std::min_element(runs.begin(), runs.end());
  const double runMedian = Median(runs);
  std::printf("whole run            best %.4f s, median %.4f s over %lld runs (%d cases failed)\n",
              runBest, runMedian, repeat, failed);
  std::printf("                     %.0f cases/s (median run)\n", cases / runMedian);
  const double qualityMedian = Median(qualityRuns);
  std::printf("whole run, quality   median %.4f s over %lld runs: %.2f x the run without\n",
              qualityMedian, repeat, qualityMedian / runMedian);

  if (!crowdedRuns.empty()) {
    const double crowdedMedian = Median(crowdedRuns);
    std::printf("  crowded plot       median %.4f s: %.2f x the quality run, %.2f x the run without\n",
                crowdedMedian, crowdedMedian / qualityMedian, crowdedMedian / runMedian);
  }

  // The computation alone: the case steps without any file or drawing, and
  // then with the output lines built in memory.
  std::vector<double> compute, withLines, withQuality;
  for (long long k = 0; k < repeat; ++k) {
    double t0 = Now();
    for (int c = 1; c <= cases; ++c) treetri::bench::ComputeCase(r.t, c);
    compute.push_back(Now() - t0);
    t0 = Now();
    size_t bytes = 0;
    for (int c = 1; c <= cases; ++c) {
      const int it = treetri::bench::ComputeCase(r.t, c);
      bytes += treetri::MapDataLine(r.t, c).size() + treetri::ResultsLine(r.t, c, it).size() +
               treetri::ListLine(r.t, c, it).size();
    }
    withLines.push_back(Now() - t0);
    if (bytes == 0) return 1;
    t0 = Now();
    const treetri::quality::PlotMaps maps(r.t.PhotoTrees);
    for (int c = 1; c <= cases; ++c) {
      const int it = treetri::bench::ComputeCase(r.t, c);
      const auto q = treetri::quality::AssessCase(treetri::quality::CaseInputFromRun(
          c, r.t.TargetTrees[c], r.t.Parameters, r.t.Case, maps, treetri::CaseStatus(r.t, c),
          treetri::LegacyFiguresOf(r.t.TargetTrees[c], r.t.TauCriticalValues, r.t.Case, it)));
      bytes += q.observations.size();
    }
    withQuality.push_back(Now() - t0);
  }
  const double computeMedian = Median(compute), linesMedian = Median(withLines);
  std::printf("computation alone    %.4f s, %.2f us per case, %.0f cases/s\n", computeMedian,
              1e6 * computeMedian / cases, cases / computeMedian);
  std::printf("  with output lines  %.4f s, %.2f us per case, %.0f cases/s\n", linesMedian,
              1e6 * linesMedian / cases, cases / linesMedian);
  const double qualityComputeMedian = Median(withQuality);
  std::printf("  with quality       %.4f s, %.2f us per case: %.2f x the computation alone\n",
              qualityComputeMedian, 1e6 * qualityComputeMedian / cases,
              qualityComputeMedian / computeMedian);
  std::printf("files and drawing    %.4f s of the median run (%.0f %%)\n", runMedian - linesMedian,
              100.0 * (runMedian - linesMedian) / runMedian);

  const bool runOk = cases != 2000 || runMedian < 0.25;
  const bool computeOk = cases / computeMedian >= 100000;
  std::printf("targets              whole 2000-case run < 0.25 s: %s; computation >= 100000 cases/s: %s\n",
              cases != 2000 ? "n/a" : (runOk ? "met" : "MISSED"), computeOk ? "met" : "MISSED");
  return 0;
}
