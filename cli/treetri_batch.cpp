// treetri-batch: the positioning run without windows. Reads the map and the
// sighting file named on the command line, runs once in the current
// directory and writes the results list to standard output and every message
// to standard error.
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/quality_observer.h"
#include "core/run.h"
#include "core/startup.h"
#include "data/readers.h"
#include "platform/headless_ui.h"
#include "platform/run_guard.h"

namespace {

const char* const kUsage =
    "usage: treetri-batch [--no-quality] MAP SIGHTINGS\n"
    "\n"
    "Positions the field trees of SIGHTINGS against the photo-tree map MAP, with\n"
    "the run parameters of SimulationInputParameters2.txt in the current directory.\n"
    "The results list goes to standard output, messages to standard error; the\n"
    "results file, mapdata.txt and the dump files are written as in the desktop\n"
    "program.\n"
    "\n"
    "Every case is also adjusted rigorously and tested for gross errors; the\n"
    "figures go to quality.csv and observations.csv in the current directory\n"
    "and a count of the verdicts to standard error. --no-quality leaves this out.\n"
    "\n"
    "Exit status: 0 when the run went through, 1 when an input file or the\n"
    "parameter file could not be read, the run stopped or standard output was\n"
    "closed before the list was complete, 2 for wrong usage.\n";

std::string Significant17(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
  return std::string(buf, res.ptr);
}

}  // namespace

int main(int argc, char** argv) {
  // A write past a file-size limit or into a closed pipe must fail with an
  // error the program reports, not end it.
  treetri::TreatWriteSignalsAsErrors();
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("treetri-batch %s\n", TREETRI_VERSION);
    return 0;
  }
  bool withQuality = true;
  if (argc == 4 && std::strcmp(argv[1], "--no-quality") == 0) {
    withQuality = false;
    --argc;
    ++argv;
  }
  if (argc != 3 || argv[1][0] == '-' || argv[2][0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }

  treetri::Tables t;
  treetri::HeadlessUi ui;
  ui.recordDrawing = false;
  const bool progress = isatty(STDERR_FILENO) == 1;
  bool progressShown = false;
  auto clearProgress = [&] {
    if (progressShown) std::fputs("\r\033[K", stderr);
    progressShown = false;
  };
  ui.onMessage = [&](const std::string& m) {
    clearProgress();
    std::fputs(m.c_str(), stderr);
    std::fputc('\n', stderr);
    ui.messages.clear();  // the stream has it; no need to keep a long run's messages
  };
  // Standard output carries only the list: when it is closed (a reader such
  // as "head" has gone) the run still completes its files, and the exit
  // status tells that the list is incomplete.
  ui.onListAdd = [&](const std::string& line) {
    ui.list.clear();
    if (std::ferror(stdout)) return;
    std::fputs(line.c_str(), stdout);
    std::fputs("\n", stdout);
  };

  if (!treetri::StartUp(t, ui)) return 1;
  if (!treetri::ReadPhotoMapFile(t, ui, argv[1])) return 1;
  if (!treetri::ReadSightingFile(t, ui, argv[2])) return 1;

  // The progress line on a terminal: every 50th case and the last.
  struct Progress : treetri::RunHooks {
    std::function<void(int, int)> show;
    void OnCaseDone(const treetri::CaseReport& r) override {
      if (r.caseNumber == r.caseCount || r.caseNumber % 50 == 1) show(r.caseNumber, r.caseCount);
    }
  } progressLine;
  progressLine.show = [&](int i, int n) {
    std::fprintf(stderr, "\r\033[Kcase %d of %d", i, n);
    progressShown = true;
  };
  treetri::QualityObserver quality(t, ui);
  std::vector<treetri::RunHooks*> hooks;
  if (withQuality) hooks.push_back(&quality);
  if (progress) hooks.push_back(&progressLine);
  const treetri::RunOutcome outcome = treetri::Simulate(t, ui, hooks);
  clearProgress();
  std::fputs(("AzimuthCorrection used: " + Significant17(outcome.azimuthCorrectionUsed) + "\n").c_str(),
             stderr);
  if (withQuality)
    std::fputs((treetri::quality::SummaryText(quality.Summary()) + "\n").c_str(), stderr);
  const bool listWhole = std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!listWhole)
    std::fputs("The results list could not be written whole to standard output (it was "
               "closed, or a write failed). The results file and mapdata.txt hold every case "
               "the run finished.\n",
               stderr);
  return outcome.parametersRead && outcome.completed && listWhole ? 0 : 1;
}
