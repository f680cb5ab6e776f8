// Shared by the benchmarks: a simulated data set read into the tables in a
// temporary work folder, and one case's steps in the run driver's order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "positioning/tables.h"
#include "platform/feedback.h"
#include "platform/headless_ui.h"

namespace treetri::bench {

// A work folder with simulated files, the tables read from them and a
// recording user interface that keeps nothing (no drawing, no list, no
// messages). The folder and everything in it go with the object.
class PreparedRun {
 public:
  PreparedRun() = default;
  ~PreparedRun();
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;

  // Simulates `cases` field trees (`perPlot` per plot; with `realistic`,
  // the simulator's realistic mature stands) into a fresh folder under
  // `base` (the system's temporary folder when empty), runs the start-up in
  // it, reads the map and the sighting file and the run parameters. The
  // results file is named with its full path inside the folder.
  bool Prepare(int cases, std::uint64_t seed, const std::string& base, std::string& error,
               int perPlot = 40, bool realistic = false);

  const std::string& Folder() const { return folder_; }
  // The message boxes shown since the last call, counted.
  int TakeMessages();

  Tables t;
  HeadlessUi ui;
  MessagesToUi toUi{ui};
  Feedback feedback{&toUi, Feedback::Keep::Nothing};
  double simulateSeconds = 0, readSeconds = 0;

 private:
  std::string folder_;
  int messages_ = 0;
};

// One case through the case pipeline, as the run driver computes it. No
// file is written and nothing drawn. Returns the iterations.
LegacyCaseResult ComputeCase(Tables& t, int caseNumber);

// Seconds since an arbitrary start, monotonic.
double Now();

double Median(std::vector<double> v);

// The options of the whole-run benchmarks.
struct RunArguments {
  long long cases = 2000, seed = 2024, repeat = 5;
  std::string base;      // --dir: where the work folder is made
  bool flagSet = false;  // the program's own flag, when it has one
};
// Parses --cases N (1 to 2000), --seed N, --repeat R, --dir BASE and, when
// given, the flag `flag`; false for anything else.
bool ParseRunArguments(int argc, char** argv, RunArguments& a, const char* flag = nullptr);

}  // namespace treetri::bench
