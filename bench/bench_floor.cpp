// treetri-bench-floor: a whole batch run beside its floor, a loop that makes
// only the system calls a run needs for its files, with the same byte
// counts: per case one write to "mapdata.txt", one to the results file and
// one positional write to each dump file, cut only when it shrinks.
//
//   treetri-bench-floor [--cases N] [--seed N] [--repeat R] [--dir BASE]
//
// The texts of every case are computed first and kept, so the floor does no
// computing and no formatting.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/run.h"
#include "output/dump_files.h"
#include "output/results_writer.h"

namespace {

using treetri::bench::Now;

using treetri::bench::Median;

struct CaseTexts {
  std::string mapData, results;
  bool dumps = false;  // a case without slots writes no dump files
  std::string dump[4];
};

// One run of the floor in `folder`: the six files opened once, the calls of
// every case, the files closed. Returns the seconds, or -1 on a failed call.
double Floor(const std::vector<CaseTexts>& cases, const std::string& folder) {
  const double t0 = Now();
  const int results = ::open((folder + "/floor-results.txt").c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
  const int mapData = ::open((folder + "/floor-mapdata.txt").c_str(),
                             O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  int dump[4];
  off_t size[4] = {0, 0, 0, 0};
  bool ok = results >= 0 && mapData >= 0;
  for (int k = 0; k < 4; ++k) {
    dump[k] = ::open((folder + "/floor-dump" + std::to_string(k) + ".txt").c_str(),
                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ok = ok && dump[k] >= 0;
  }
  for (const CaseTexts& c : cases) {
    if (!ok) break;
    if (c.dumps)
      for (int k = 0; k < 4; ++k) {
        const off_t n = static_cast<off_t>(c.dump[k].size());
        ok = ok && ::pwrite(dump[k], c.dump[k].data(), c.dump[k].size(), 0) == n;
        if (n < size[k]) ok = ok && ::ftruncate(dump[k], n) == 0;
        size[k] = n;
      }
    ok = ok && ::write(mapData, c.mapData.data(), c.mapData.size()) ==
                   static_cast<ssize_t>(c.mapData.size());
    ok = ok && ::write(results, c.results.data(), c.results.size()) ==
                   static_cast<ssize_t>(c.results.size());
  }
  for (int fd : {results, mapData, dump[0], dump[1], dump[2], dump[3]})
    if (fd >= 0) ::close(fd);
  return ok ? Now() - t0 : -1;
}

}  // namespace

int main(int argc, char** argv) {
  treetri::bench::RunArguments args;
  args.repeat = 7;
  if (!treetri::bench::ParseRunArguments(argc, argv, args)) {
    std::fputs("usage: treetri-bench-floor [--cases N] [--seed N] [--repeat R] [--dir BASE]\n", stderr);
    return 2;
  }
  const long long cases = args.cases, repeat = args.repeat;
  treetri::bench::PreparedRun r;
  std::string error;
  if (!r.Prepare(static_cast<int>(cases), static_cast<std::uint64_t>(args.seed), args.base, error)) {
    std::fprintf(stderr, "treetri-bench-floor: %s\n", error.c_str());
    return 1;
  }

  // Every case's texts as the run writes them, and the computation's time.
  std::vector<CaseTexts> texts;
  size_t bytes = 0;
  double compute = 0;
  for (int c = 1; c <= cases; ++c) {
    const double t0 = Now();
    const treetri::LegacyCaseResult legacy = treetri::bench::ComputeCase(r.t, c);
    compute += Now() - t0;
    CaseTexts x;
    treetri::AppendMapDataLine(x.mapData, legacy);
    x.mapData += "\r\n";
    if (c == 1) x.results = treetri::ResultsHeaderLine(legacy) + "\r\n";
    treetri::AppendResultsLine(x.results, legacy, r.t);
    x.results += "\r\n";
    x.dumps = legacy.Has(treetri::LegacyFigure::Start);
    treetri::DumpTexts d;
    treetri::FillDumpTexts(legacy, treetri::LastCaseSystem(r.t), d);
    x.dump[0] = d.a, x.dump[1] = d.l, x.dump[2] = d.weights, x.dump[3] = d.matlab;
    for (const std::string* s : {&x.mapData, &x.results, &x.dump[0], &x.dump[1], &x.dump[2], &x.dump[3]})
      bytes += s->size();
    texts.push_back(std::move(x));
  }

  std::vector<double> runs, floors, empties;
  for (long long k = 0; k < repeat; ++k) {
    double t0 = Now();
    const treetri::RunOutcome outcome = treetri::Simulate(r.t, r.ui);
    runs.push_back(Now() - t0);
    if (!outcome.completed) {
      std::fputs("treetri-bench-floor: the run did not complete\n", stderr);
      return 1;
    }
    const double f = Floor(texts, r.Folder());
    if (f < 0) {
      std::fputs("treetri-bench-floor: a call of the floor failed\n", stderr);
      return 1;
    }
    floors.push_back(f);
    // The run's fixed part: the same run without cases.
    const int count = r.t.TargetTreeCount;
    r.t.TargetTreeCount = 0;
    t0 = Now();
    treetri::Simulate(r.t, r.ui);
    empties.push_back(Now() - t0);
    r.t.TargetTreeCount = count;
  }
  r.TakeMessages();
  const double run = Median(runs), floor = Median(floors), start = Median(empties);
  std::printf("cases                %lld, %zu bytes of files per run\n", cases, bytes);
  std::printf("whole run            median %.4f s over %lld runs\n", run, repeat);
  std::printf("  of it computing    %.4f s (once, outside the runs)\n", compute);
  std::printf("  run start, 0 cases median %.4f s\n", start);
  std::printf("floor (calls only)   median %.4f s\n", floor);
  // The target holds for the run's file part: the whole run less its
  // computing and its fixed start, against the calls alone.
  const double files = run - compute - start;
  std::printf("run / floor          %.2f whole; file part (run - computing - start) / floor %.2f "
              "(target at most 1.5): %s\n",
              run / floor, files / floor, files <= 1.5 * floor ? "met" : "MISSED");
  return 0;
}
