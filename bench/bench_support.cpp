#include "bench/bench_support.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "core/startup.h"
#include "data/readers.h"
#include "positioning/case_pipeline.h"
#include "core/run.h"
#include "tools/simulation.h"
#include "tools/text_format.h"

namespace treetri::bench {

double Now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

PreparedRun::~PreparedRun() {
  if (folder_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

int PreparedRun::TakeMessages() {
  const int n = messages_;
  messages_ = 0;
  return n;
}

bool PreparedRun::Prepare(int cases, std::uint64_t seed, const std::string& base,
                          std::string& error, int perPlot, bool realistic) {
  ui.recordDrawing = false;
  ui.onMessage = [this](const std::string&) {
    ++messages_;
    ui.messages.clear();
  };
  ui.onListAdd = [this](const std::string&) { ui.list.clear(); };

  std::error_code ec;
  const std::string root = base.empty() ? std::filesystem::temp_directory_path(ec).string() : base;
  std::string pattern = root + "/treetri-bench-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    error = "cannot create a folder under " + root;
    return false;
  }
  folder_ = pattern;

  const double t0 = Now();
  tools::SimulationOptions o;
  o.seed = seed;
  o.plots = (cases + perPlot - 1) / perPlot;
  o.cases = cases;
  if (realistic) o.MakeRealistic(false);
  o.resultsFileName = folder_ + "/results.txt";
  const std::string problem = tools::CheckOptions(o);
  if (!problem.empty()) {
    error = problem;
    return false;
  }
  if (!tools::WriteSimulationFiles(tools::SimulatePlots(o), folder_, error)) return false;
  const double t1 = Now();
  StartUpIn(t, ui, folder_);
  if (!ReadPhotoMapFile(t, ui, folder_ + "/" + tools::kSimMapFile) ||
      !ReadSightingFile(t, ui, folder_ + "/" + tools::kSimSightingFile)) {
    error = "the simulated files could not be read";
    return false;
  }
  const double t2 = Now();
  simulateSeconds = t1 - t0;
  readSeconds = t2 - t1;
  if (!ReadRunParameters(t, ui)) {
    error = "the simulated parameter file could not be read";
    return false;
  }
  FillTauCriticalValues(t);
  TakeMessages();
  return true;
}

LegacyCaseResult ComputeCase(Tables& t, int caseNumber) {
  return treetri::ComputeCase(t, caseNumber);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

bool ParseRunArguments(int argc, char** argv, RunArguments& a, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (flag && name == flag) {
      a.flagSet = true;
      continue;
    }
    if (!value) return false;
    if (name == "--dir") {
      a.base = value;
    } else if (!(name == "--cases" && tools::ParseWholeArgument(value, 1, 2000, a.cases)) &&
               !(name == "--seed" && tools::ParseWholeArgument(value, 0, INT64_MAX, a.seed)) &&
               !(name == "--repeat" && tools::ParseWholeArgument(value, 1, 1000, a.repeat))) {
      return false;
    }
    ++i;
  }
  return true;
}

}  // namespace treetri::bench
