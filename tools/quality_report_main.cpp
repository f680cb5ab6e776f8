// treetri-quality-report: the verdicts of a run's quality files and, given
// the folder of the simulation it ran on, how well the planted gross errors
// were found.
#include <cstdio>
#include <string>

#include "tools/quality_report.h"
#include "platform/run_guard.h"

namespace {

const char* const kUsage =
    "usage: treetri-quality-report RESULTS_DIR [TRUTH_DIR]\n"
    "  RESULTS_DIR  the run's work folder, holding quality.csv (and observations.csv)\n"
    "  TRUTH_DIR    the folder that treetri-simulate wrote: truth.txt, errors.txt, map.txt,\n"
    "               sightings.txt; then the detection of the planted errors, the right\n"
    "               suggestions, the false alarms and the 95 % ellipses against the truth\n";

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 2 || argc > 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  treetri::tools::QualityFileContents run;
  treetri::tools::SimulationTruth truth;
  std::string error;
  if (!treetri::tools::ReadQualityFiles(argv[1], run, error) ||
      (argc == 3 && !treetri::tools::ReadSimulationTruth(argv[2], truth, error))) {
    std::fprintf(stderr, "treetri-quality-report: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& w : run.warnings)
    std::fprintf(stderr, "treetri-quality-report: %s\n", w.c_str());
  const treetri::tools::QualityFigures f =
      treetri::tools::ComputeQualityFigures(run, argc == 3 ? &truth : nullptr);
  std::fputs(treetri::tools::FormatQualityReport(f).c_str(), stdout);
  return 0;
}
