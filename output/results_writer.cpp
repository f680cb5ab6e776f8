#include "output/results_writer.h"

#include <cmath>

#include "output/number_text.h"
#include "platform/files.h"
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

const char* const kMissing = kMissingText;

// Number of slot blocks a case writes: none for a case that was not set up.
int SlotCount(const Tables& t, int caseNumber) {
  if (t.Case.Failure == CaseFailure::Npa) return 0;
  const int npa = t.TargetTrees[caseNumber].NPA;
  int n = npa < 0 ? 0 : npa;
  if (n > t.Case.FixedPoints.Size()) n = t.Case.FixedPoints.Size();
  if (n > t.Case.CaseObservations.Size()) n = t.Case.CaseObservations.Size();
  return n;
}

bool Failed(const Tables& t) { return t.Case.Failure != CaseFailure::None; }
// Precision figures exist only for an adjusted case with positive redundancy.
bool HasPrecision(const Tables& t) { return !Failed(t) && !t.Case.Unchecked; }

std::string Fixed(double v, int d) { return FixedText(v, d); }

// A test value of a row, or "-999" when the row has none.
std::string TestValue(const Tables& t, int row) {
  if (!HasPrecision(t) || !t.Case.BaardaValues.Contains(row)) return kMissing;
  return Fixed(t.Case.BaardaValues(row), 4);
}

std::string TauText(const Tables& t) {
  const int index = t.Case.NumOfObs - 3;
  if (!HasPrecision(t) || index < 0 || index >= kTauCount) return kMissing;
  return Fixed(t.TauCriticalValues[static_cast<size_t>(index)], 4);
}

std::string TypeOfIniText(const Tables& t) {
  if (t.Case.Failure == CaseFailure::Npa || t.Case.InitialApproximationFailed)
    return kTypeOfIniWords[2];
  return std::string(t.Case.TypeOfIni.data(), t.Case.TypeOfIni.size());
}

}  // namespace

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
  const CaseWork& c = t.Case;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  const bool adjusted = !Failed(t);
  std::string line;
  auto add = [&line](const std::string& s) { line += s + ","; };
  add(Fixed(tree.Tree, 0));
  add(Fixed(tree.Species, 0));
  add(adjusted ? Fixed(c.X_adj, 2) : kMissing);
  add(adjusted ? Fixed(c.Y_adj, 2) : kMissing);
  for (float f : c.Reserved2) add(Fixed(f, 5));
  add(Fixed(c.Reserved2x3[0][1], 5));
  add(Fixed(c.Reserved2x3[0][2], 5));
  add(Fixed(c.Reserved2x3[1][1], 5));
  add(Fixed(c.Reserved2x3[1][2], 5));
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) {
    add(adjusted ? Fixed(c.FixedPoints[j].X_adj, 2) : kMissing);
    add(adjusted ? Fixed(c.FixedPoints[j].Y_adj, 2) : kMissing);
  }
  return line;
}

std::string ResultsHeaderLine(const Tables& t, int caseNumber) {
  std::string line = kResultsHeaderCasePart;
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) line += kResultsHeaderSlotPart;
  return line + kResultsHeaderEnd;
}

std::string ResultsLine(const Tables& t, int caseNumber, int iterations) {
  const CaseWork& c = t.Case;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  const bool setUp = c.Failure != CaseFailure::Npa;
  const bool adjusted = !Failed(t);
  const bool precise = HasPrecision(t);
  std::string line;
  auto add = [&line](const std::string& s) { line += s + ","; };
  add(IntegerText(caseNumber));
  add(IntegerText(iterations));
  add(IntegerText(tree.Plot));
  add(IntegerText(tree.Tree));
  add(IntegerText(tree.Species));
  // A case whose initial approximation failed shows the kept values of the
  // case before, as the adjustment started from there.
  add(setUp ? Fixed(c.X_ini, 2) : kMissing);
  add(setUp ? Fixed(c.Y_ini, 2) : kMissing);
  add(adjusted ? Fixed(c.X_adj, 2) : kMissing);
  add(adjusted ? Fixed(c.Y_adj, 2) : kMissing);
  add(precise ? Fixed(c.SigmaNull, 3) : kMissing);
  add(precise ? Fixed(c.SigmaX, 2) : kMissing);
  add(precise ? Fixed(c.SigmaY, 2) : kMissing);
  add(TauText(t));
  add(IntegerText(tree.NPA));
  add(IntegerText(setUp ? c.NumOfObs : 0));
  const int n = SlotCount(t, caseNumber);
  for (int j = 1; j <= n; ++j) {
    const FixedPoint& p = c.FixedPoints[j];
    const CaseObservation& o = c.CaseObservations[j];
    add(IntegerText(tree.SightedTree[j]));
    add(IntegerText(tree.SightedSpecies[j]));
    add(Fixed(p.Obs_X, 2));
    add(Fixed(p.Obs_Y, 2));
    add(adjusted ? Fixed(p.X_adj, 2) : kMissing);
    add(adjusted ? Fixed(p.Y_adj, 2) : kMissing);
    add(Fixed(o.Res_Azim, 4));
    add(Fixed(o.Res_Dist, 3));
    add(FlagText(IsTrue(o.IsDist)));
    add(IsTrue(o.IsDist) ? TestValue(t, o.DistanceRow) : kMissing);
    add(Fixed(o.Obs_dist, 2));
    add(FlagText(IsTrue(o.Is_Azim)));
    add(IsTrue(o.Is_Azim) ? TestValue(t, o.AzimuthRow) : kMissing);
    add(Fixed(o.Obs_azim, 4));
  }
  return line + TypeOfIniText(t);
}

std::string ListLine(const Tables& t, int caseNumber, int iterations) {
  const CaseWork& c = t.Case;
  const TargetTree& tree = t.TargetTrees[caseNumber];
  const bool adjusted = !Failed(t);
  const bool precise = HasPrecision(t);
  const std::string sep = kListSeparator;
  return IntegerText(caseNumber) + sep + IntegerText(iterations) + sep + IntegerText(tree.Plot) +
         sep + IntegerText(tree.Tree) + sep + (adjusted ? Fixed(c.X_adj, 2) : kMissing) + sep +
         (adjusted ? Fixed(c.Y_adj, 2) : kMissing) + sep +
         (precise ? Fixed(c.SigmaNull, 3) : kMissing) + sep +
         (precise ? Fixed(c.SigmaX, 2) : kMissing) + sep +
         (precise ? Fixed(c.SigmaY, 2) : kMissing) + sep + CaseStatus(t, caseNumber);
}

std::string WriteCaseResults(const Tables& t, UserInterface& ui, int caseNumber, int iterations,
                             OutputState& state) {
  std::string error;
  if (!state.mapDataFailed) {
    const std::string path = t.WorkFolder + kMapDataFileName;
    if (!AppendToFile(path, MapDataLine(t, caseNumber) + "\r\n", error, Links::Refuse)) {
      state.mapDataFailed = true;
      ui.MessageBox("The map data file \"" + path + "\" cannot be written: " + error +
                    ". It holds the lines of the cases before case " +
                    IntegerText(caseNumber) + ".");
    }
  }
  std::string text;
  if (caseNumber == 1) text = ResultsHeaderLine(t, caseNumber) + "\r\n";
  text += ResultsLine(t, caseNumber, iterations) + "\r\n";
  ui.ListAdd(ListLine(t, caseNumber, iterations));
  if (!state.resultsFileFailed) {
    const std::string& path = t.Parameters.ResultsFileName;
    if (!AppendToFile(path, text, error)) {
      state.resultsFileFailed = true;
      ui.MessageBox("The results file \"" + path + "\" cannot be written: " + error +
                    ". It holds the lines of the cases before case " +
                    IntegerText(caseNumber) + ".");
    }
  }
  return CaseStatus(t, caseNumber);
}

}  // namespace treetri
