// The positioning run: the menu command that reads the run parameters and
// positions every field tree read from the sighting file.
#pragma once

#include <functional>
#include <string>

#include "data/tables.h"

namespace treetri {

class UserInterface;

inline constexpr const char* kParameterFileName = "SimulationInputParameters2.txt";
inline constexpr const char* kParameterErrorMessage = "error in open_input_parameters routine";

// How a run went, for the batch program's exit status.
struct RunOutcome {
  bool parametersRead = false;  // the parameter file was read completely and is usable
  bool completed = false;       // every case was processed and written
  int cases = 0;                // cases processed
  int failedCases = 0;          // cases that could not be adjusted
  double azimuthCorrectionUsed = 0;
};

// Optional observers of a run.
struct RunHooks {
  // Called after each case with the case number, the number of cases and
  // the iterations the case ran.
  std::function<void(int, int, int)> onCaseDone;
};

// Menu command "Calculate positions".
RunOutcome Simulate(Tables& t, UserInterface& ui, const RunHooks* hooks = nullptr);

// Reads the parameter file into t.Parameters (with the random addition to
// AzimuthCorrection). Returns false, after its message, when the file could
// not be read completely or holds a standard error that is not positive.
bool ReadRunParameters(Tables& t, UserInterface& ui);

void FillTauCriticalValues(Tables& t);

// The next number of the run driver's generator, uniform in [0, 1).
double NextUniform(Tables& t);

}  // namespace treetri
