#include "bench/bench_support.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <system_error>

#include "app/startup.h"
#include "data/readers.h"
#include "positioning/case_steps.h"
#include "positioning/run.h"
#include "tools/simulation.h"

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
                          std::string& error) {
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
  o.plots = (cases + 39) / 40;
  o.cases = cases;
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

int ComputeCase(Tables& t, UserInterface& ui, int caseNumber) {
  CaseWork& c = t.Case;
  c.CaseNumber = caseNumber;
  c.Failure = CaseFailure::None;
  c.Unchecked = false;
  c.InitialApproximationFailed = false;
  if (!CaseNpaValid(t, caseNumber)) {
    c.Failure = CaseFailure::Npa;
    return 0;
  }
  PrepareCaseTables(t, caseNumber);
  CopyObservationFlags(t, caseNumber);
  InitFixedPoints(t, caseNumber);
  ConvertAzimuths(t, caseNumber);
  FindInitialApproximation(t, ui, caseNumber);
  int converged = 0, iterations = 0;
  while (converged != 1 && iterations != 20) {
    ++iterations;
    BuildObservationEquations(t, caseNumber);
    AdjustmentStep(t, ui, converged, caseNumber);
  }
  return iterations;
}

}  // namespace treetri::bench
