// The positioning run: the menu command that reads the run parameters and
// positions every field tree read from the sighting file, and the events
// its observers get.
#pragma once

#include <string>
#include <vector>

#include "core/run_guard.h"
#include "data/parameter_file.h"
#include "platform/feedback.h"
#include "positioning/case_result.h"
#include "positioning/tables.h"

namespace treetri {

class UserInterface;

inline constexpr const char* kParameterErrorMessage = "error in open_input_parameters routine";

// How a run went, for the batch program's exit status.
struct RunOutcome {
  bool parametersRead = false;  // the parameter file was read completely and is usable
  bool completed = false;       // every case was processed and written
  int cases = 0;                // cases processed
  int failedCases = 0;          // cases that could not be adjusted
  double azimuthCorrectionUsed = 0;
  bool nothingToCompute = false;  // no map or no field tree: nothing was read or written
};

// Why a run would have nothing to compute ("no photogrammetric map has been
// read", "no field trees have been read ..."), or nullptr when it has. Such
// a run is refused before it reads the parameter file or touches any file.
const char* NothingToCompute(const InputData& input);

// One map per run: the sighting reader copies each sighted tree's map
// coordinates, so field trees read against an earlier map would give the
// legacy lines the old coordinates and the quality layer the new ones.
// Called after the map was replaced: when field trees were read, reads the
// sighting file again against the new map and tells the user; when that
// fails, drops the field trees (a run then has nothing to compute) and says
// so. Returns false in that case.
bool SightingsAgainstNewMap(InputData& input, UserInterface& ui);

// What an observer sees after each case's results line has been written.
// Everything is const: observers read, they never change the run.
struct CaseReport {
  int caseNumber = 0;
  int caseCount = 0;
  // The computed case: its figures, failure, messages, slots as used.
  const LegacyCaseResult& result;
  const InputData& input;
  // The run parameters as used, AzimuthCorrection with its random addition.
  const RunSettings& settings;
  // The status text of the case as the results list shows it.
  const std::string& status;
  // The run's feedback: where an observer reports what the user must learn
  // (a quality file that cannot be written), with the case number.
  Feedback& feedback;
};

// An observer of a run. Every event has a default that does nothing, so an
// observer overrides only what it needs. The desktop's case dot, the batch
// program's progress line and the tests are observers.
class RunHooks {
 public:
  virtual ~RunHooks() = default;
  // After the results file has been emptied and before case 1 (other
  // per-run files can be emptied now). Returning false stops the run; the
  // run then shows `message` (when not empty).
  virtual bool OnRunStart(const RunSettings& settings, std::string& message) {
    (void)settings;
    (void)message;
    return true;
  }
  // After the case's line has gone to the results file and the list.
  virtual void OnCaseDone(const CaseReport& report) { (void)report; }
  // Once at the end of a run that got past its start: completed is true
  // when every case was processed and written.
  virtual void OnRunEnd(bool completed) { (void)completed; }
  // A sink of the run adds every file it will write (or remove) to `files`;
  // the run guard checks the union of all declarations against the inputs
  // and each other before anything is written.
  virtual void DeclareFiles(const Tables& t, std::vector<RunFile>& files) const {
    (void)t;
    (void)files;
  }
};

// The run driver: parameters, results file and list header, then every
// case through the case pipeline and the results writer, with the events
// to every observer in `hooks`. The run reports through `feedback`: its
// progress (cases done of all) after each case, every message the user must
// see (the legacy's message boxes, in their order, with their case), and it
// stops after the case just written once the feedback is cancelled. Without
// a feedback, the run's messages go to ui.MessageBox as they come. `ui`
// gets the list lines and the drawing.
RunOutcome RunPositioning(Tables& t, UserInterface& ui, const std::vector<RunHooks*>& hooks,
                          Feedback* feedback = nullptr);

// Menu command "Calculate positions": the run with the overview canvas set
// up first and the case dot drawn after every adjusted case, besides the
// observers in `hooks`; without a RunRecordSink among them, one of its own
// writes run.json.
RunOutcome Simulate(Tables& t, UserInterface& ui, const std::vector<RunHooks*>& hooks = {},
                    Feedback* feedback = nullptr);

// Reads the parameter file into t.Parameters (with the random addition to
// AzimuthCorrection). Returns false, after its message, when the file could
// not be read completely or holds a standard error that is not positive.
bool ReadRunParameters(Tables& t, UserInterface& ui);

void FillTauCriticalValues(RunSettings& settings);

// A standard error that is not positive makes its weight infinite: a run
// cannot go on with it. Returns the first such item described ("SigmaMapX
// (item 10) is 0"), or empty.
std::string NonPositiveStandardError(const RunParameters& p);

// The next number of the run driver's generator, uniform in [0, 1).
double NextUniform(std::uint64_t& state);

}  // namespace treetri
