#include "output/results_writer.h"

#include <cmath>
#include <optional>

#include "output/number_text.h"
#include "platform/files.h"
#include "platform/feedback.h"
#include "platform/ui.h"

namespace treetri {

const char* FailureReason(CaseFailure f) {
  switch (f) {
    case CaseFailure::Npa: return "NPA";
    case CaseFailure::CoincidentPoint: return "coincident point";
    case CaseFailure::Singular: return "singular";
    case CaseFailure::TooManyRows: return "too many rows";
    case CaseFailure::NotFinite: return "not finite";
    case CaseFailure::None: break;
  }
  return "";
}

namespace {

// Number of slot blocks a case writes: none for a case that was not set up.
int SlotCount(const Tables& t, int caseNumber) {
  if (t.Case.Failure == CaseFailure::Npa) return 0;
  const int npa = t.TargetTrees[caseNumber].NPA;
  int n = npa < 0 ? 0 : npa;
  if (n > t.Case.FixedPoints.Size()) n = t.Case.FixedPoints.Size();
  if (n > t.Case.CaseObservations.Size()) n = t.Case.CaseObservations.Size();
  return n;
}

bool Failed(const CaseWork& c) { return c.Failure != CaseFailure::None; }
bool Failed(const Tables& t) { return Failed(t.Case); }
// Precision figures exist only for an adjusted case with positive redundancy.
bool HasPrecision(const CaseWork& c) { return !Failed(c) && !c.Unchecked; }
bool HasPrecision(const Tables& t) { return HasPrecision(t.Case); }

// Fields followed by a separator, appended to one line.
struct Fields {
  std::string& line;
  const char* separator;
  void Fixed(double v, int d) {
    AppendFixed(line, v, d);
    line += separator;
  }
  // fixed(d) when the value exists, else "-999".
  void FixedOr(bool exists, double v, int d) {
    if (exists)
      AppendFixed(line, v, d);
    else
      line += kMissingText;
    line += separator;
  }
  void Integer(std::int64_t v) {
    AppendInteger(line, v);
    line += separator;
  }
  void Text(const char* text) {
    line += text;
    line += separator;
  }
  // The case number, the iterations, the plot and the tree: the first four
  // fields of both the results line and the list line.
  void CaseKey(int caseNumber, int iterations, const TargetTree& tree) {
    for (std::int64_t v : {caseNumber, iterations, tree.Plot, tree.Tree}) Integer(v);
  }
  // SigmaNull, SigmaX and SigmaY, or "-999" where the case has none.
  void Precision(bool precise, const CaseWork& c) {
    FixedOr(precise, c.SigmaNull, 3);
    FixedOr(precise, c.SigmaX, 2);
    FixedOr(precise, c.SigmaY, 2);
  }
};

// A test value of a row, or "-999" when the row has none.
void TestValue(Fields& f, const Tables& t, bool observed, int row) {
  const bool exists = observed && HasPrecision(t) && t.Case.BaardaValues.Contains(row);
  f.FixedOr(exists, exists ? t.Case.BaardaValues(row) : 0, 4);
}

// The case's critical value, where it has one.
std::optional<double> TauOf(const std::array<double, kTauCount>& tau, const CaseWork& c) {
  const int index = c.NumOfObs - 3;
  if (!HasPrecision(c) || index < 0 || index >= kTauCount) return std::nullopt;
  return tau[static_cast<size_t>(index)];
}

void Tau(Fields& f, const Tables& t) {
  const std::optional<double> tau = TauOf(t.TauCriticalValues, t.Case);
  f.FixedOr(tau.has_value(), tau.value_or(0), 4);
}

void AppendTypeOfIni(std::string& line, const CaseWork& c) {
  if (c.Failure == CaseFailure::Npa || c.InitialApproximationFailed)
    line += kTypeOfIniWords[2];
  else
    line.append(c.TypeOfIni.data(), c.TypeOfIni.size());
}

}  // namespace

LegacyFigures LegacyFiguresOf(const TargetTree& tree, const std::array<double, kTauCount>& tau,
                              const CaseWork& c, int iterations) {
  LegacyFigures g;
  const bool setUp = c.Failure != CaseFailure::Npa;
  g.iterations = iterations;
  if (setUp && !c.InitialApproximationFailed) {
    g.xIni = c.X_ini;
    g.yIni = c.Y_ini;
  }
  if (!Failed(c)) {
    g.x = c.X_adj;
    g.y = c.Y_adj;
  }
  if (HasPrecision(c)) {
    g.sigma0 = c.SigmaNull;
    g.sx = c.SigmaX;
    g.sy = c.SigmaY;
  }
  g.tau = TauOf(tau, c);
  g.sightings = tree.NPA;
  g.observations = setUp ? c.NumOfObs : 0;
  // The word without its padding; none where no approximation was made.
  std::string initial;
  AppendTypeOfIni(initial, c);
  const size_t end = initial.find_last_not_of(std::string(" \0", 2));
  if (initial != kTypeOfIniWords[2] && end != std::string::npos) g.initial = initial.substr(0, end + 1);
  return g;
}

std::string CaseStatus(const Tables& t, int caseNumber) {
  const CaseWork& c = t.Case;
  if (Failed(t)) return std::string(kStatusFailed) + FailureReason(c.Failure);
  if (c.Unchecked) return kStatusUnchecked;
  std::string status = kStatusOk;
  if (c.SigmaX > 0.5 || c.SigmaY > 0.5) status = kStatusDoubtful;
  if (c.SigmaX > 0.75 || c.SigmaY > 0.75) status = kStatusErroneous;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  double best = 0;
  int bestSlot = 0;
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) {
    const CaseObservation& o = c.CaseObservations[j];
    if (!IsTrue(o.Is_Azim) || !c.BaardaValues.Contains(o.AzimuthRow)) continue;
    const double v = c.BaardaValues(o.AzimuthRow);
    if (v > 0 && v > best) {
      best = v;
      bestSlot = j;
    }
  }
  if (c.SigmaX > 0.75 || c.SigmaY > 0.75)
    status += " Point " + (bestSlot > 0 ? IntegerText(tree.SightedTree[bestSlot]) : "?") +
              " erroneous?";
  return status;
}

std::string MapDataLine(const Tables& t, int caseNumber) {
  std::string line;
  AppendMapDataLine(line, t, caseNumber);
  return line;
}

void AppendMapDataLine(std::string& line, const Tables& t, int caseNumber) {
  const CaseWork& c = t.Case;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  const bool adjusted = !Failed(t);
  Fields f{line, ","};
  f.Fixed(tree.Tree, 0);
  f.Fixed(tree.Species, 0);
  f.FixedOr(adjusted, c.X_adj, 2);
  f.FixedOr(adjusted, c.Y_adj, 2);
  for (float v : c.Reserved2) f.Fixed(v, 5);
  f.Fixed(c.Reserved2x3[0][1], 5);
  f.Fixed(c.Reserved2x3[0][2], 5);
  f.Fixed(c.Reserved2x3[1][1], 5);
  f.Fixed(c.Reserved2x3[1][2], 5);
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) {
    f.FixedOr(adjusted, c.FixedPoints[j].X_adj, 2);
    f.FixedOr(adjusted, c.FixedPoints[j].Y_adj, 2);
  }
}

std::string ResultsHeaderLine(const Tables& t, int caseNumber) {
  std::string line = kResultsHeaderCasePart;
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) line += kResultsHeaderSlotPart;
  return line + kResultsHeaderEnd;
}

std::string ResultsLine(const Tables& t, int caseNumber, int iterations) {
  std::string line;
  AppendResultsLine(line, t, caseNumber, iterations);
  return line;
}

void AppendResultsLine(std::string& line, const Tables& t, int caseNumber, int iterations) {
  const CaseWork& c = t.Case;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  const bool setUp = c.Failure != CaseFailure::Npa;
  const bool adjusted = !Failed(t);
  const bool precise = HasPrecision(t);
  Fields f{line, ","};
  f.CaseKey(caseNumber, iterations, tree);
  f.Integer(tree.Species);
  // A case whose initial approximation failed shows the kept values of the
  // case before, as the adjustment started from there.
  f.FixedOr(setUp, c.X_ini, 2);
  f.FixedOr(setUp, c.Y_ini, 2);
  f.FixedOr(adjusted, c.X_adj, 2);
  f.FixedOr(adjusted, c.Y_adj, 2);
  f.Precision(precise, c);
  Tau(f, t);
  f.Integer(tree.NPA);
  f.Integer(setUp ? c.NumOfObs : 0);
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) {
    const FixedPoint& p = c.FixedPoints[j];
    const CaseObservation& o = c.CaseObservations[j];
    f.Integer(tree.SightedTree[j]);
    f.Integer(tree.SightedSpecies[j]);
    f.Fixed(p.Obs_X, 2);
    f.Fixed(p.Obs_Y, 2);
    f.FixedOr(adjusted, p.X_adj, 2);
    f.FixedOr(adjusted, p.Y_adj, 2);
    f.Fixed(o.Res_Azim, 4);
    f.Fixed(o.Res_Dist, 3);
    f.Text(FlagText(IsTrue(o.IsDist)));
    TestValue(f, t, IsTrue(o.IsDist), o.DistanceRow);
    f.Fixed(o.Obs_dist, 2);
    f.Text(FlagText(IsTrue(o.Is_Azim)));
    TestValue(f, t, IsTrue(o.Is_Azim), o.AzimuthRow);
    f.Fixed(o.Obs_azim, 4);
  }
  AppendTypeOfIni(line, t.Case);
}

std::string ListLine(const Tables& t, int caseNumber, int iterations) {
  std::string line;
  AppendListLine(line, t, caseNumber, iterations, CaseStatus(t, caseNumber));
  return line;
}

void AppendListLine(std::string& line, const Tables& t, int caseNumber, int iterations,
                    const std::string& status) {
  const CaseWork& c = t.Case;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  const bool adjusted = !Failed(t);
  const bool precise = HasPrecision(t);
  Fields f{line, kListSeparator};
  f.CaseKey(caseNumber, iterations, tree);
  f.FixedOr(adjusted, c.X_adj, 2);
  f.FixedOr(adjusted, c.Y_adj, 2);
  f.Precision(precise, c);
  line += status;
}

bool OutputState::Open(const std::string& resultsFile, const std::string& folder,
                       std::string& error) {
  std::string unused;
  mapData.Open(folder + kMapDataFileName, Links::Refuse, false, unused);
  return results.Open(resultsFile, Links::Follow, true, error);
}

std::string WriteCaseResults(const Tables& t, UserInterface& ui, Feedback& feedback,
                             int caseNumber, int iterations, OutputState& state) {
  std::string error;
  if (!state.mapDataFailed) {
    state.mapDataText.clear();
    AppendMapDataLine(state.mapDataText, t, caseNumber);
    state.mapDataText += "\r\n";
    if (!state.mapData.Append(state.mapDataText, error)) {
      state.mapDataFailed = true;
      feedback.PushMessage(caseNumber, "The map data file \"" + t.WorkFolder + kMapDataFileName +
                    "\" cannot be written: " + error +
                    ". It holds the lines of the cases before case " +
                    IntegerText(caseNumber) + ".");
    }
  }
  std::string& text = state.resultsText;
  text.clear();
  if (caseNumber == 1) text = ResultsHeaderLine(t, caseNumber) + "\r\n";
  AppendResultsLine(text, t, caseNumber, iterations);
  text += "\r\n";
  std::string status = CaseStatus(t, caseNumber);
  state.listText.clear();
  AppendListLine(state.listText, t, caseNumber, iterations, status);
  ui.ListAdd(state.listText);
  if (!state.resultsFileFailed && !state.results.Append(text, error)) {
    state.resultsFileFailed = true;
    feedback.PushMessage(caseNumber, "The results file \"" + t.Parameters.ResultsFileName +
                  "\" cannot be written: " + error +
                  ". It holds the lines of the cases before case " + IntegerText(caseNumber) +
                  ".");
  }
  return status;
}

}  // namespace treetri
