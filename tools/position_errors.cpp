// treetri-errors RESULTS TRUTH: compares the adjusted positions of a results
// file with the true positions of a simulation.
#include <cstdio>
#include <string>

#include "platform/command_line.h"
#include "platform/files.h"
#include "tools/position_stats.h"
#include "platform/run_guard.h"

namespace {

const char* const kUsage =
    "usage: treetri-errors RESULTS TRUTH\n"
    "       treetri-errors --help | --version\n"
    "Compares the adjusted positions of the results file RESULTS with the true\n"
    "positions TRUTH (truth.txt of treetri-simulate) and prints the position errors:\n"
    "count, median, RMSE, share of status OK.\n"
    "Exit status: 0 when both files were read, 1 when one could not be read,\n"
    "2 for wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  treetri::CommandLine cl("treetri-errors", kUsage);
  if (!cl.Parse(argc, argv)) return cl.ExitStatus();
  if (cl.Operands().size() != 2) return cl.UsageError("needs the files RESULTS and TRUTH");
  const std::string& resultsFile = cl.Operands()[0];
  const std::string& truthFile = cl.Operands()[1];
  std::string resultsText, truthText, error;
  if (!treetri::ReadWholeFile(resultsFile, resultsText, error)) {
    cl.Error("cannot read " + resultsFile + ": " + error);
    return 1;
  }
  if (!treetri::ReadWholeFile(truthFile, truthText, error)) {
    cl.Error("cannot read " + truthFile + ": " + error);
    return 1;
  }
  const auto results = treetri::tools::ParseResultsText(resultsText);
  const auto truth = treetri::tools::ParseTruthText(truthText);
  const auto stats = treetri::tools::ComputeErrorStatistics(results, truth);
  std::fputs(treetri::tools::FormatReport(results, truth, stats).c_str(), stdout);
  return 0;
}
