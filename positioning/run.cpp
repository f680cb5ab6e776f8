// The run driver: parameters, results file and list header, then every
// case from set-up to its results line.
#include "positioning/run.h"

#include <cmath>

#include "data/field_reader.h"
#include "display/canvas.h"
#include "output/number_text.h"
#include "output/results_writer.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "positioning/case_steps.h"
#include "positioning/run_guard.h"

namespace treetri {

double NextUniform(Tables& t) {
  // splitmix64: a 64-bit state advanced by a fixed odd constant and mixed;
  // the top 53 bits of the mixed value give a double in [0, 1).
  t.RandomState += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = t.RandomState;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

void FillTauCriticalValues(Tables& t) { t.TauCriticalValues = kTauCriticalValues; }

namespace {

enum class ParameterStatus { Ok, ReadFailed };

// Reads the items in order, each value after its label. Every value read
// before a failure keeps its new value.
ParameterStatus ReadParameterItems(Tables& t, UserInterface& ui, const std::string& path) {
  RunParameters& p = t.Parameters;
  std::string content, error;
  auto fail = [&](const std::string& detail) {
    ui.MessageBox(kParameterErrorMessage);
    ui.MessageBox("The parameter file \"" + path + "\": " + detail + ".");
    return ParameterStatus::ReadFailed;
  };
  if (!ReadWholeFile(path, content, error)) return fail("cannot be opened: " + error);
  FieldReader in(std::move(content));
  in.BeginRecord();
  FieldError err;
  int item = 0;
  std::string label, ignored;
  // The field count within the file stands for the field; the item number
  // tells the user which value it is.
  auto bad = [&]() {
    const std::string what = err.what == "the file ends inside the record"
                                 ? std::string("the file ends before this item")
                                 : "\"" + ShownText(err.text) + "\" " + err.what;
    return fail("item " + std::to_string(item) + ", field " + std::to_string(err.field) +
                " (line " + std::to_string(err.line) + "): " + what);
  };
  auto labelAt = [&](int n) {
    item = n;
    return in.ReadText(label, err);
  };
  auto real = [&](int n, double& v) {
    item = n;
    return in.ReadReal(v, err);
  };

  if (!labelAt(1)) return bad();
  item = 2;
  if (!in.ReadText(p.ResultsFileName, err)) return bad();
  if (!labelAt(3)) return bad();
  item = 4;
  if (!in.ReadInt32(p.Item4, err)) return bad();
  if (!labelAt(5)) return bad();
  if (!real(6, p.AzimuthCorrection)) return bad();
  p.AzimuthCorrection = p.AzimuthCorrection + 0.01 * NextUniform(t);
  if (!labelAt(7) || !real(8, p.Item8a) || !real(8, p.Item8b)) return bad();
  if (!labelAt(9) || !real(10, p.SigmaMapX) || !real(10, p.SigmaMapY)) return bad();
  if (!labelAt(11)) return bad();
  item = 12;
  std::int32_t rows = 0;
  if (!in.ReadInt32(rows, err)) return bad();
  // A count the block cannot hold is not kept: BlockRows stays within 0..4.
  if (rows < 0 || rows > 4)
    return fail("item 12 (line " + std::to_string(err.line) + ") gives " +
                std::to_string(rows) + " rows for the block, which holds 0 to 4");
  p.BlockRows = rows;
  if (!labelAt(13)) return bad();
  for (int r = 0; r < p.BlockRows; ++r)
    if (!real(14, p.Block[static_cast<size_t>(r)][0]) ||
        !real(14, p.Block[static_cast<size_t>(r)][1]))
      return bad();
  auto any = [&](int n) {
    item = n;
    return in.ReadText(ignored, err);
  };
  if (!labelAt(15) || !any(16)) return bad();
  if (!labelAt(17) || !real(18, p.Item18)) return bad();
  if (!labelAt(19) || !real(20, p.Item20)) return bad();
  if (!labelAt(21) || !real(22, p.Item22)) return bad();
  if (!labelAt(23) || !real(24, p.Item24)) return bad();
  if (!labelAt(25) || !any(26)) return bad();
  if (!labelAt(27) || !real(28, p.Item28)) return bad();
  if (!labelAt(29) || !real(30, p.SigmaDistance)) return bad();
  if (!labelAt(31) || !real(32, p.Item32)) return bad();
  if (!labelAt(33) || !real(34, p.SigmaAzimuth)) return bad();
  std::int16_t flag = 0;
  if (!labelAt(35)) return bad();
  item = 36;
  if (!in.ReadInt16(flag, err)) return bad();
  p.Item36 = flag != 0 ? kTrue : kFalse;
  return ParameterStatus::Ok;
}

// A standard error that is not positive makes its weight infinite: the run
// cannot go on with it. Returns the offending item's description, or empty.
std::string NonPositiveSigma(const RunParameters& p) {
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

}  // namespace

bool ReadRunParameters(Tables& t, UserInterface& ui) {
  const std::string path = t.WorkFolder + kParameterFileName;
  const bool read = ReadParameterItems(t, ui, path) == ParameterStatus::Ok;
  const std::string sigma = NonPositiveSigma(t.Parameters);
  if (!sigma.empty()) {
    if (read) ui.MessageBox(kParameterErrorMessage);
    ui.MessageBox("The parameter file \"" + path + "\": the standard error " + sigma +
                  "; standard errors must be greater than 0. The run is stopped.");
    return false;
  }
  return read;
}

RunOutcome Simulate(Tables& t, UserInterface& ui, const RunHooks* hooks) {
  RunOutcome outcome;
  struct InProgress {
    bool& flag;
    explicit InProgress(bool& f) : flag(f) { flag = true; }
    ~InProgress() { flag = false; }
  } inProgress(t.RunInProgress);

  Flag drawFlag = kTrue;
  SetUpMapCanvas(ui, drawFlag);
  outcome.parametersRead = ReadRunParameters(t, ui);
  outcome.azimuthCorrectionUsed = t.Parameters.AzimuthCorrection;
  // A read that failed part-way goes on with the parameters kept from
  // before, unless they leave a standard error that is not positive.
  if (!NonPositiveSigma(t.Parameters).empty()) return outcome;
  FillTauCriticalValues(t);

  // Nothing is written before the output names are checked and the work
  // folder is locked for this run.
  RunGuard guard;
  if (!guard.Begin(t, ui)) return outcome;
  std::string error;
  const std::string& resultsFile = t.Parameters.ResultsFileName;
  if (resultsFile.empty() || !WriteWholeFile(resultsFile, "", error)) {
    ui.MessageBox("The results file \"" + resultsFile + "\" cannot be created" +
                  (error.empty() ? std::string() : ": " + error) + ". The run is stopped.");
    return outcome;
  }
  ui.ListClear();
  ui.ListAdd(kListHeader);

  OutputState output;
  bool dumpFailed = false;
  int cases = t.TargetTreeCount;
  if (cases > t.TargetTrees.Size()) cases = t.TargetTrees.Size();
  for (int caseNumber = 1; caseNumber <= cases; ++caseNumber) {
    CaseWork& c = t.Case;
    c.CaseNumber = caseNumber;
    c.Failure = CaseFailure::None;
    c.Unchecked = false;
    c.InitialApproximationFailed = false;
    int iterations = 0;
    if (!CaseNpaValid(t, caseNumber)) {
      c.Failure = CaseFailure::Npa;
    } else {
      PrepareCaseTables(t, caseNumber);
      CopyObservationFlags(t, caseNumber);
      InitFixedPoints(t, caseNumber);
      ConvertAzimuths(t, caseNumber);
      FindInitialApproximation(t, ui, caseNumber);
      int converged = 0;
      while (converged != 1 && iterations != 20) {
        ++iterations;
        BuildObservationEquations(t, caseNumber);
        AdjustmentStep(t, ui, converged, caseNumber);
      }
      // The dump files hold the system of the case's last iteration.
      if (!dumpFailed && !WriteDumpFiles(t, error)) {
        dumpFailed = true;
        ui.MessageBox("The dump file " + error + ". The run goes on without the dump files.");
      }
      if (c.Failure == CaseFailure::None) DrawCasePosition(t, ui, drawFlag);
    }
    if (c.Failure != CaseFailure::None) ++outcome.failedCases;
    WriteCaseResults(t, ui, caseNumber, iterations, output);
    outcome.cases = caseNumber;
    if (hooks && hooks->onCaseDone) hooks->onCaseDone(caseNumber, cases);
    // Without the results file the run's purpose is lost: stop it.
    if (output.resultsFileFailed || output.mapDataFailed) {
      ui.MessageBox("The run is stopped after case " + IntegerText(caseNumber) + ".");
      return outcome;
    }
  }
  outcome.completed = true;
  guard.End();
  ui.MessageBox("Ready! Results are in file " + resultsFile);
  return outcome;
}

}  // namespace treetri
