// treetri-errors RESULTS TRUTH: compares the adjusted positions of a results
// file with the true positions of a simulation.
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "tools/position_stats.h"
#include "platform/run_guard.h"

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  if (argc != 3) {
    std::fputs("usage: treetri-errors RESULTS TRUTH\n", stderr);
    return 2;
  }
  std::string resultsText, truthText, error;
  if (!treetri::ReadWholeFile(argv[1], resultsText, error)) {
    std::fprintf(stderr, "treetri-errors: cannot read %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (!treetri::ReadWholeFile(argv[2], truthText, error)) {
    std::fprintf(stderr, "treetri-errors: cannot read %s: %s\n", argv[2], error.c_str());
    return 1;
  }
  const auto results = treetri::tools::ParseResultsText(resultsText);
  const auto truth = treetri::tools::ParseTruthText(truthText);
  const auto stats = treetri::tools::ComputeErrorStatistics(results, truth);
  std::fputs(treetri::tools::FormatReport(results, truth, stats).c_str(), stdout);
  return 0;
}
