// The run driver: parameters, results file and list header, then every
// case through the case pipeline to its results line, with the events to
// the run's observers.
#include "core/run.h"

#include <algorithm>
#include <memory>
#include <new>

#include "core/corrections.h"
#include "core/run_guard.h"
#include "core/run_record.h"
#include "data/parameter_file.h"
#include "data/readers.h"
#include "display/canvas.h"
#include "output/dump_files.h"
#include "output/number_text.h"
#include "output/results_writer.h"
#include "positioning/case_pipeline.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace treetri {

double NextUniform(std::uint64_t& state) {
  // splitmix64: a 64-bit state advanced by a fixed odd constant and mixed;
  // the top 53 bits of the mixed value give a double in [0, 1).
  state += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

void FillTauCriticalValues(RunSettings& s) { s.TauCriticalValues = kTauCriticalValues; }

std::string NonPositiveStandardError(const RunParameters& p) {
  struct Item {
    const char* name;
    int item;
    double value;
  };
  for (const Item& s : {Item{"SigmaMapX", 10, p.SigmaMapX}, Item{"SigmaMapY", 10, p.SigmaMapY},
                        Item{"SigmaDistance", 30, p.SigmaDistance},
                        Item{"SigmaAzimuth", 34, p.SigmaAzimuth}})
    if (!(s.value > 0))
      return std::string(s.name) + " (item " + std::to_string(s.item) + ") is " +
             FreeText(s.value);
  return "";
}

namespace {

// The overview canvas of the run: set up when the observer is made (before
// the parameters are read), one dot per adjusted case.
class CaseDots : public RunHooks {
 public:
  explicit CaseDots(UserInterface& ui) : ui_(ui) { SetUpMapCanvas(ui_, drawFlag_); }
  void OnCaseDone(const CaseReport& r) override {
    if (r.result.Has(LegacyFigure::Position)) DrawCasePosition(r.result, ui_, drawFlag_);
  }

 private:
  UserInterface& ui_;
  Flag drawFlag_ = kTrue;
};

// How the parameters of a run came out of the file.
enum class ParameterState {
  Read,      // read completely and usable
  Kept,      // the read failed part-way; the values kept are usable
  Unusable,  // a standard error is not positive: the run cannot go on
};

ParameterState ReadParameters(Tables& t, Feedback& feedback) {
  auto say = [&](const std::string& text) { feedback.PushMessage(0, text); };
  const std::string path = t.WorkFolder + kParameterFileName;
  std::string content, error;
  ParameterReadStatus status;
  if (!ReadWholeFile(path, content, error)) {
    status.detail = "cannot be opened: " + error;
  } else {
    // A field too large for the memory left ends the reading like a bad one.
    try {
      status = ReadParameterText(std::move(content), t.Parameters);
    } catch (const std::bad_alloc&) {
      status.detail = "does not fit in memory";
    }
    if (status.azimuthCorrectionRead) t.AzimuthCorrectionInFile = t.Parameters.AzimuthCorrection;
    // A replay takes the value an earlier run used and draws nothing.
    if (status.azimuthCorrectionRead && t.ReplayAzimuthCorrection)
      t.Parameters.AzimuthCorrection = *t.ReplayAzimuthCorrection;
    else if (status.azimuthCorrectionRead)
      t.Parameters.AzimuthCorrection = t.Parameters.AzimuthCorrection + 0.01 * NextUniform(t.RandomState);
  }
  const bool read = status.ok;
  if (!read) {
    say(kParameterErrorMessage);
    say("The parameter file \"" + path + "\": " + status.detail + ".");
  }
  const std::string sigma = NonPositiveStandardError(t.Parameters);
  if (!sigma.empty()) {
    if (read) say(kParameterErrorMessage);
    say("The parameter file \"" + path + "\": the standard error " + sigma +
                  "; standard errors must be greater than 0. The run is stopped.");
    return ParameterState::Unusable;
  }
  return read ? ParameterState::Read : ParameterState::Kept;
}

}  // namespace

bool ReadRunParameters(Tables& t, UserInterface& ui) {
  MessagesToUi toUi(ui);
  Feedback feedback(&toUi, Feedback::Keep::Nothing);
  return ReadParameters(t, feedback) == ParameterState::Read;
}

const char* NothingToCompute(const InputData& input) {
  if (input.PhotoTrees.Size() == 0) return "no photogrammetric map has been read";
  if (input.TargetTreeCount <= 0) return "no field trees have been read (no sighting file, or an empty one)";
  return nullptr;
}

bool SightingsAgainstNewMap(InputData& input, UserInterface& ui) {
  if (input.TargetTreeCount <= 0 || input.SightingFileName.empty()) return true;
  const std::string sightings = input.SightingFileName;
  ui.MessageBox("The map was replaced after the sightings were read: the sighting file \"" +
                sightings + "\" is read again against the new map.");
  if (ReadSightingFile(input, ui, sightings)) return true;
  input.TargetTreeCount = 0;
  ui.MessageBox("The sightings could not be read again against the new map; none are kept. "
                "Open the sighting file before the next run.");
  return false;
}

namespace {

// The run itself; `started` is true while the observers are between
// OnRunStart and OnRunEnd.
void RunCases(Tables& t, UserInterface& ui, const std::vector<RunHooks*>& hooks,
              Feedback& feedback, RunOutcome& outcome, bool& started) {
  auto say = [&](int caseNumber, const std::string& text) {
    feedback.PushMessage(caseNumber, text);
  };
  struct InProgress {
    bool& flag;
    explicit InProgress(bool& f) : flag(f) { flag = true; }
    ~InProgress() { flag = false; }
  } inProgress(t.RunInProgress);

  // A run with nothing to compute touches no file: without this check it
  // would empty the results file of the last run and leave its map data.
  if (const char* missing = NothingToCompute(t)) {
    say(0, std::string("Nothing to compute: ") + missing +
               ". The run is not started; no file was changed.");
    outcome.nothingToCompute = true;
    return;
  }

  const ParameterState parameters = ReadParameters(t, feedback);
  outcome.parametersRead = parameters == ParameterState::Read;
  outcome.azimuthCorrectionUsed = t.Parameters.AzimuthCorrection;
  // A read that failed part-way goes on with the parameters kept from
  // before, unless they leave a standard error that is not positive.
  if (parameters == ParameterState::Unusable) return;
  FillTauCriticalValues(t);

  // Nothing is written before the output names are checked and the work
  // folder is locked for this run.
  RunGuard guard;
  if (!guard.Begin(t, feedback, hooks)) return;
  // The output files stay open for the run: one write per line, one
  // positional write per dump file.
  std::string error;
  const std::string& resultsFile = t.Parameters.ResultsFileName;
  OutputState output;
  DumpFiles dumps(t.WorkFolder);
  if (resultsFile.empty() || !output.Open(resultsFile, t.WorkFolder, error)) {
    say(0, "The results file \"" + resultsFile + "\" cannot be created" +
                  (error.empty() ? std::string() : ": " + error) + ". The run is stopped.");
    return;
  }
  // The sightings as this run uses them, beside the sighting file it read:
  // a run with corrections leaves them on disk for whoever checks it.
  if (!t.CorrectionsFileName.empty()) {
    const std::string corrected = CorrectedSightingName(t.WorkFolder, t.SightingFileName);
    OutputFile file;
    if (!file.Create(corrected, CorrectedSightingText(t), error)) {
      say(0, "The corrected sighting file \"" + corrected + "\" cannot be written: " +
                    error + ". The run is stopped.");
      return;
    }
  }
  auto end = [&](bool completed) {
    for (RunHooks* h : hooks) h->OnRunEnd(completed);
    return;
  };
  // An observer may refuse the run now that the results file is empty.
  started = true;
  for (RunHooks* h : hooks) {
    std::string message;
    if (h->OnRunStart(t, message)) continue;
    if (!message.empty()) say(0, message);
    return end(false);
  }
  ui.ListClear();
  ui.ListAdd(kListHeader);

  bool dumpFailed = false;
  int cases = t.TargetTreeCount;
  if (cases > t.TargetTrees.Size()) cases = t.TargetTrees.Size();
  for (int caseNumber = 1; caseNumber <= cases; ++caseNumber) {
    const LegacyCaseResult result = ComputeCase(t, caseNumber);
    for (const std::string& m : result.messages) say(caseNumber, m);
    // The dump files hold the system of the case's last iteration.
    if (result.Has(LegacyFigure::Start) && !dumpFailed &&
        !dumps.Write(result, LastCaseSystem(t), error)) {
      dumpFailed = true;
      say(caseNumber, "The dump file " + error + ". The run goes on without the dump files.");
    }
    if (result.failure != CaseFailure::None) ++outcome.failedCases;
    const std::string status = WriteCaseResults(result, t, ui, feedback, output);
    outcome.cases = caseNumber;
    const CaseReport report{caseNumber, cases, result, t, t, status, feedback};
    for (RunHooks* h : hooks) h->OnCaseDone(report);
    feedback.SetProgress(caseNumber, cases);
    // Without the results file the run's purpose is lost: stop it.
    if (output.resultsFileFailed || output.mapDataFailed || feedback.IsCanceled()) {
      say(caseNumber, "The run is stopped after case " + IntegerText(caseNumber) + ".");
      return end(false);
    }
  }
  outcome.completed = true;
  guard.End();
  say(0, "Ready! Results are in file " + resultsFile);
  end(true);
}

}  // namespace

RunOutcome RunPositioning(Tables& t, UserInterface& ui, const std::vector<RunHooks*>& hooks,
                          Feedback* given) {
  MessagesToUi toUi(ui);
  Feedback own(&toUi, Feedback::Keep::Nothing);
  Feedback& feedback = given ? *given : own;
  RunOutcome outcome;
  bool started = false;
  // No exception leaves a run: memory that runs out (a crowded plot's
  // tables, an observer's gathering) stops it like a write failure. Every
  // file then holds the cases written before, whole; the guard's locks are
  // released by the unwinding, and the observers are told that the run ended.
  try {
    RunCases(t, ui, hooks, feedback, outcome, started);
  } catch (const std::bad_alloc&) {
    outcome.completed = false;
    feedback.PushMessage(outcome.cases,
                         outcome.cases > 0
                             ? "The memory ran out: the run is stopped after case " +
                                   IntegerText(outcome.cases) + "."
                             : std::string("The memory ran out: the run is stopped before its first case."));
    if (started) {
      started = false;
      for (RunHooks* h : hooks) {
        try {
          h->OnRunEnd(false);
        } catch (const std::bad_alloc&) {
          // This observer's end is lost; the others still get theirs.
        }
      }
    }
  }
  return outcome;
}

namespace {

RunOutcome SimulateWithDots(Tables& t, UserInterface& ui, const std::vector<RunHooks*>& hooks,
                            Feedback* feedback) {
  CaseDots dots(ui);
  std::vector<RunHooks*> all{&dots};
  // Every run leaves its record: a program that attaches none gets one
  // with its own name and the per-case quality method.
  std::unique_ptr<RunRecordSink> record;
  if (std::none_of(hooks.begin(), hooks.end(),
                   [](RunHooks* h) { return dynamic_cast<RunRecordSink*>(h) != nullptr; })) {
    RunRecordInfo info;
    info.program = ThisProgramName();
    info.azimuthCorrectionReplayed = t.ReplayAzimuthCorrection.has_value();
    record = std::make_unique<RunRecordSink>(t, t, info);
    all.push_back(record.get());
  }
  all.insert(all.end(), hooks.begin(), hooks.end());
  const RunOutcome outcome = RunPositioning(t, ui, all, feedback);
  if (record && !record->Error().empty()) {
    if (feedback)
      feedback->PushMessage(0, record->Error());
    else
      ui.MessageBox(record->Error());
  }
  return outcome;
}

}  // namespace

RunOutcome Simulate(Tables& t, UserInterface& ui, const std::vector<RunHooks*>& hooks,
                    Feedback* feedback) {
  // The run itself stops on memory running out (RunPositioning); this
  // catches it in the setting up around it, before any file is touched.
  try {
    return SimulateWithDots(t, ui, hooks, feedback);
  } catch (const std::bad_alloc&) {
    const std::string text = "The memory ran out: the run is stopped.";
    if (feedback)
      feedback->PushMessage(0, text);
    else
      ui.MessageBox(text);
    return RunOutcome{};
  }
}

}  // namespace treetri
