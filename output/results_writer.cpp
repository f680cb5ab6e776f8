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

// Longer than any line of "mapdata.txt" (a few hundred bytes).
constexpr size_t kLongestLine = 64 * 1024;

// Fields followed by a separator, appended to one line.
struct Fields {
  std::string& line;
  const char* separator;
  void Fixed(double v, int d) {
    char text[kMaxFixedChars + 8];  // the separators are "," and ", "
    char* end = WriteFixed(text, v, d);
    for (const char* s = separator; *s; ++s) *end++ = *s;
    line.append(text, static_cast<size_t>(end - text));
  }
  // fixed(d) when the value exists, else "-999".
  void FixedOr(bool exists, double v, int d) {
    if (exists) return Fixed(v, d);
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
  void CaseKey(const LegacyCaseResult& r) {
    for (std::int64_t v : {r.caseNumber, r.iterations, r.plot, r.tree}) Integer(v);
  }
  // SigmaNull, SigmaX and SigmaY, or "-999" where the case has none.
  void Precision(const LegacyCaseResult& r) {
    const bool precise = r.Has(LegacyFigure::Precision);
    FixedOr(precise, r.SigmaNull, 3);
    FixedOr(precise, r.SigmaX, 2);
    FixedOr(precise, r.SigmaY, 2);
  }
};

void Tau(Fields& f, const LegacyCaseResult& r, const RunSettings& settings) {
  const std::optional<double> tau = r.Tau(settings.TauCriticalValues);
  f.FixedOr(tau.has_value(), tau.value_or(0), 4);
}

void AppendTypeOfIni(std::string& line, const LegacyCaseResult& r) {
  if (!r.Has(LegacyFigure::InitialApproximation))
    line += kTypeOfIniWords[2];
  else
    line.append(r.TypeOfIni.data(), r.TypeOfIni.size());
}

}  // namespace

std::string CaseStatus(const LegacyCaseResult& r) {
  if (r.failure != CaseFailure::None) return std::string(kStatusFailed) + FailureReason(r.failure);
  if (r.unchecked) return kStatusUnchecked;
  std::string status = kStatusOk;
  if (r.SigmaX > 0.5 || r.SigmaY > 0.5) status = kStatusDoubtful;
  if (r.SigmaX > 0.75 || r.SigmaY > 0.75) status = kStatusErroneous;
  double best = 0;
  const SlotResult* worst = nullptr;
  for (const SlotResult& s : r.sightings) {
    if (!s.hasBaardaAzim) continue;
    if (s.Baarda_Azim > 0 && s.Baarda_Azim > best) {
      best = s.Baarda_Azim;
      worst = &s;
    }
  }
  if (r.SigmaX > 0.75 || r.SigmaY > 0.75)
    status += " Point " + (worst ? IntegerText(worst->SightedTree) : "?") + " erroneous?";
  return status;
}

void AppendMapDataLine(std::string& line, const LegacyCaseResult& r) {
  const bool adjusted = r.Has(LegacyFigure::Position);
  Fields f{line, ","};
  f.Fixed(r.tree, 0);
  f.Fixed(r.species, 0);
  f.FixedOr(adjusted, r.X_adj, 2);
  f.FixedOr(adjusted, r.Y_adj, 2);
  for (float v : r.Reserved2) f.Fixed(v, 5);
  f.Fixed(r.Reserved2x3[0][1], 5);
  f.Fixed(r.Reserved2x3[0][2], 5);
  f.Fixed(r.Reserved2x3[1][1], 5);
  f.Fixed(r.Reserved2x3[1][2], 5);
  for (const SlotResult& s : r.sightings) {
    f.FixedOr(adjusted, s.X_adj, 2);
    f.FixedOr(adjusted, s.Y_adj, 2);
  }
}

std::string ResultsHeaderLine(const LegacyCaseResult& r) {
  std::string line = kResultsHeaderCasePart;
  for (size_t j = 0; j < r.sightings.size(); ++j) line += kResultsHeaderSlotPart;
  return line + kResultsHeaderEnd;
}

void AppendResultsLine(std::string& line, const LegacyCaseResult& r, const RunSettings& settings) {
  const bool setUp = r.Has(LegacyFigure::Start);
  const bool adjusted = r.Has(LegacyFigure::Position);
  Fields f{line, ","};
  f.CaseKey(r);
  f.Integer(r.species);
  // A case whose initial approximation failed shows the kept values of the
  // case before, as the adjustment started from there.
  f.FixedOr(setUp, r.X_ini, 2);
  f.FixedOr(setUp, r.Y_ini, 2);
  f.FixedOr(adjusted, r.X_adj, 2);
  f.FixedOr(adjusted, r.Y_adj, 2);
  f.Precision(r);
  Tau(f, r, settings);
  f.Integer(r.NPA);
  f.Integer(setUp ? r.NumOfObs : 0);
  for (const SlotResult& s : r.sightings) {
    f.Integer(s.SightedTree);
    f.Integer(s.SightedSpecies);
    f.Fixed(s.Obs_X, 2);
    f.Fixed(s.Obs_Y, 2);
    f.FixedOr(adjusted, s.X_adj, 2);
    f.FixedOr(adjusted, s.Y_adj, 2);
    f.Fixed(s.Res_Azim, 4);
    f.Fixed(s.Res_Dist, 3);
    f.Text(FlagText(s.IsDist));
    f.FixedOr(s.hasBaardaDist, s.BaardaDist, 4);
    f.Fixed(s.Obs_dist, 2);
    f.Text(FlagText(s.Is_Azim));
    f.FixedOr(s.hasBaardaAzim, s.Baarda_Azim, 4);
    f.Fixed(s.Obs_azim, 4);
  }
  AppendTypeOfIni(line, r);
}

void AppendListLine(std::string& line, const LegacyCaseResult& r, const std::string& status) {
  const bool adjusted = r.Has(LegacyFigure::Position);
  Fields f{line, kListSeparator};
  f.CaseKey(r);
  f.FixedOr(adjusted, r.X_adj, 2);
  f.FixedOr(adjusted, r.Y_adj, 2);
  f.Precision(r);
  line += status;
}

bool OutputState::Open(const std::string& resultsFile, const std::string& folder,
                       std::string& error) {
  std::string unused;
  resultsName = resultsFile;
  mapDataName = folder + kMapDataFileName;
  mapData.Open(mapDataName, Links::Refuse, false, unused);
  return results.Open(resultsFile, Links::Follow, true, error);
}

std::string WriteCaseResults(const LegacyCaseResult& r, const RunSettings& settings,
                             UserInterface& ui, Feedback& feedback, OutputState& state) {
  const int caseNumber = r.caseNumber;
  std::string error;
  // "mapdata.txt" collects the lines of every run. A run killed part-way
  // may have left its last line unfinished; the lines of this run start on
  // a line of their own, and the piece is said, not kept: it may end in
  // half a number. (A piece longer than any line is not a run's: it stays,
  // ended.)
  if (!state.mapDataFailed && !state.mapDataChecked) {
    state.mapDataChecked = true;
    std::string cut;
    if (state.mapData.CutUnfinishedLine(kLongestLine, cut, error) && !cut.empty())
      feedback.PushMessage(caseNumber, "The map data file \"" + state.mapDataName +
                                           "\" ended in a line left unfinished by a run that "
                                           "was stopped; it is taken out: \"" + cut + "\".");
    error.clear();
  }
  if (!state.mapDataFailed) {
    state.mapDataText.clear();
    AppendMapDataLine(state.mapDataText, r);
    state.mapDataText += "\r\n";
    if (!state.mapData.Append(state.mapDataText, error)) {
      state.mapDataFailed = true;
      feedback.PushMessage(caseNumber, "The map data file \"" + state.mapDataName +
                    "\" cannot be written: " + error +
                    ". It holds the lines of the cases before case " +
                    IntegerText(caseNumber) + ".");
    }
  }
  std::string& text = state.resultsText;
  text.clear();
  if (caseNumber == 1) text = ResultsHeaderLine(r) + "\r\n";
  AppendResultsLine(text, r, settings);
  text += "\r\n";
  std::string status = CaseStatus(r);
  state.listText.clear();
  AppendListLine(state.listText, r, status);
  ui.ListAdd(state.listText);
  if (!state.resultsFileFailed && !state.results.Append(text, error)) {
    state.resultsFileFailed = true;
    feedback.PushMessage(caseNumber, "The results file \"" + state.resultsName +
                  "\" cannot be written: " + error +
                  ". It holds the lines of the cases before case " + IntegerText(caseNumber) +
                  ".");
  }
  return status;
}

}  // namespace treetri
