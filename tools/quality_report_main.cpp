// treetri-quality-report: the verdicts of a run's quality files and, given
// the folder of the simulation it ran on, how well the planted gross errors
// were found.
#include <cstdio>
#include <string>

#include "platform/command_line.h"
#include "tools/quality_report.h"
#include "platform/run_guard.h"

namespace {

const char* const kUsage =
    "usage: treetri-quality-report RESULTS_DIR [TRUTH_DIR]\n"
    "       treetri-quality-report --help | --version\n"
    "  RESULTS_DIR  the run's work folder, holding quality.csv (and observations.csv)\n"
    "  TRUTH_DIR    the folder that treetri-simulate wrote: truth.txt, errors.txt, map.txt,\n"
    "               sightings.txt; then the detection of the planted errors, the right\n"
    "               suggestions, the false alarms and the 95 % ellipses against the truth\n"
    "Exit status: 0 when the files were read, 1 when one could not be read, 2 for\n"
    "wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  treetri::CommandLine cl("treetri-quality-report", kUsage);
  if (!cl.Parse(argc, argv)) return cl.ExitStatus();
  const auto& dirs = cl.Operands();
  if (dirs.empty() || dirs.size() > 2)
    return cl.UsageError(dirs.empty() ? "needs the run's folder RESULTS_DIR"
                                      : "takes at most two folders");
  const bool withTruth = dirs.size() == 2;
  treetri::tools::QualityFileContents run;
  treetri::tools::SimulationTruth truth;
  std::string error;
  if (!treetri::tools::ReadQualityFiles(dirs[0], run, error) ||
      (withTruth && !treetri::tools::ReadSimulationTruth(dirs[1], truth, error))) {
    cl.Error(error);
    return 1;
  }
  for (const std::string& w : run.warnings)
    std::fprintf(stderr, "treetri-quality-report: %s\n", w.c_str());
  const treetri::tools::QualityFigures f =
      treetri::tools::ComputeQualityFigures(run, withTruth ? &truth : nullptr);
  std::fputs(treetri::tools::FormatQualityReport(f).c_str(), stdout);
  return 0;
}
