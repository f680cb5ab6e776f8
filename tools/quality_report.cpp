#include "tools/quality_report.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "data/readers.h"
#include "platform/files.h"
#include "platform/headless_ui.h"
#include "quality/case_quality.h"
#include "quality/quality_files.h"
#include "tools/position_stats.h"
#include "tools/simulation.h"
#include "tools/text_format.h"
#include "data/angles.h"

namespace treetri::tools {

namespace {

constexpr int kMinRedundancy = 3;  // of a case whose lone wrong tree is counted on its own

// The message of a quality file that could not be read.
std::string ReadError(const quality::FileReadStatus& s) {
  if (s.line == 0) return "cannot read " + s.path + ": " + s.message;
  std::string where = s.path + " line " + std::to_string(s.line);
  if (s.columnName)
    where += ", column " + std::to_string(s.column) + " (" + s.columnName + ")";
  return where + ": " + s.message;
}

std::string Percent(const Share& s) {
  if (s.of == 0) return "-";
  return std::to_string(s.hits) + " of " + std::to_string(s.of) + " (" +
         Fixed(100.0 * s.hits / s.of, 1) + " %)";
}

}  // namespace

bool ReadQualityFiles(const std::string& folder, QualityFileContents& run, std::string& error) {
  error.clear();
  quality::QualityRunFiles files;
  const quality::FileReadStatus s =
      quality::ReadQualityRun(PathInFolder(folder, quality::kQualityFileName),
                              PathInFolder(folder, quality::kObservationsFileName), true, files);
  run.cases = std::move(files.cases);
  run.observations = std::move(files.observations);
  run.observationsRead = files.observationsRead;
  run.warnings = std::move(files.warnings);
  if (!s.ok) error = ReadError(s);
  return s.ok;
}

bool ReadSimulationTruth(const std::string& folder, SimulationTruth& truth, std::string& error) {
  std::string text;
  const std::string truthPath = PathInFolder(folder, kSimTruthFile);
  if (!ReadWholeFile(truthPath, text, error)) {
    error = "cannot read " + truthPath + ": " + error;
    return false;
  }
  const TruthFile positions = ParseTruthText(text);
  if (!positions.problems.empty()) {
    error = truthPath + " " + positions.problems.front();
    return false;
  }
  const std::string errorsPath = PathInFolder(folder, kSimErrorsFile);
  if (!ReadWholeFile(errorsPath, text, error)) {
    error = "cannot read " + errorsPath + ": " + error;
    return false;
  }
  PlantedErrorsFile planted = ParsePlantedErrors(text, errorsPath);
  if (!planted.problem.empty()) {
    error = planted.problem;
    return false;
  }
  truth.errors = std::move(planted.errors);

  // The inputs as the run reads them: which sightings the case has, and
  // where the map puts each tree (a tree listed twice: its last record).
  InputData t;
  HeadlessUi ui;
  if (!ReadPhotoMapFile(t, ui, PathInFolder(folder, kSimMapFile)) ||
      !ReadSightingFile(t, ui, PathInFolder(folder, kSimSightingFile))) {
    error = ui.messages.empty() ? "cannot read the map or the sightings" : ui.messages.back();
    return false;
  }
  for (int i = 1; i <= t.PhotoTrees.Size(); ++i)
    truth.mapTrees[{t.PhotoTrees[i].Plot, t.PhotoTrees[i].Tree}] = {t.PhotoTrees[i].X,
                                                                    t.PhotoTrees[i].Y};
  for (int i = 1; i <= t.TargetTreeCount; ++i) {
    const TargetTree& r = t.TargetTrees[i];
    auto at = positions.positions.find({r.Plot, r.Tree});
    if (at == positions.positions.end()) {
      error = truthPath + ": no true position of plot " + std::to_string(r.Plot) + " tree " +
              std::to_string(r.Tree);
      return false;
    }
    TruthCase c;
    c.x = at->second.first;
    c.y = at->second.second;
    c.redundancy = r.AzimuthCount + r.DistanceCount - 2;
    double longest = 0;
    for (int k = 1; k <= r.NPA; ++k)
      if (IsTrue(r.HasDistance[k])) longest = std::max(longest, r.Distance[k]);
    c.searchRadius = quality::kSearchMargin + longest;
    truth.cases[{r.Plot, r.Tree}] = c;
  }
  return true;
}

bool InsideEllipse(double x, double y, double cx, double cy, double a, double b,
                   double azimuthDeg) {
  if (!(a > 0 && b > 0)) return false;
  const AzimuthUnit major = UnitOfAzimuth(azimuthDeg);
  const double dx = x - cx, dy = y - cy;
  const double u = dx * major.east + dy * major.north;  // along a
  const double v = dx * major.north - dy * major.east;  // along b
  return (u / a) * (u / a) + (v / b) * (v / b) <= 1.0;
}

QualityFigures ComputeQualityFigures(const QualityFileContents& run, const SimulationTruth* truth) {
  using quality::Verdict;
  QualityFigures f;
  for (const quality::CaseAssessment& c : run.cases) {
    ++f.verdicts[static_cast<int>(c.verdict)];
    f.suggestions += c.suggestedTree.has_value();
  }
  for (const quality::ObservationAssessment& o : run.observations) {
    ++f.observations;
    f.weak += o.control == quality::Control::Weak;
    f.uncontrolled += o.control == quality::Control::Uncontrolled;
    f.beyondCritical += o.w.has_value() && std::fabs(*o.w) > quality::kCriticalW;
  }
  if (truth == nullptr) return f;
  f.withTruth = true;

  // The gross errors that take part in each case's adjustment: a sighting
  // whose tree is not on the map is left out of it.
  // The sightings (plot, field tree, slot) that the plot network marked
  // confusable.
  std::set<std::tuple<int, int, int>> confusable;
  for (const quality::ObservationAssessment& o : run.observations) {
    f.withConfusable = f.withConfusable || o.confusableDistance || o.confusableTree;
    if (o.confusableTree) confusable.insert({o.plot, o.tree, o.slot});
  }
  std::map<std::pair<int, int>, std::vector<const PlantedError*>> gross;
  for (const PlantedError& e : truth->errors)
    if (e.onMap && e.kind != PlantedKind::Missing && e.kind != PlantedKind::CompassBias)
      gross[{e.plot, e.tree}].push_back(&e);

  for (const quality::CaseAssessment& c : run.cases) {
    const std::pair<int, int> key{c.plot, c.tree};
    auto known = truth->cases.find(key);
    if (known == truth->cases.end()) {
      ++f.notInTruth;
      continue;
    }
    ++f.matched;
    const TruthCase& t = known->second;
    const bool outlier = c.verdict == Verdict::Outlier;
    auto errors = gross.find(key);
    if (errors == gross.end()) {
      ++f.clean;
      if (outlier || c.verdict == Verdict::Ok) f.falseAlarms.Count(outlier);
      if (c.x && c.y && c.conf95A && c.conf95B && c.ellipseAzimuth)
        f.insideConf95.Count(
            InsideEllipse(t.x, t.y, *c.x, *c.y, *c.conf95A, *c.conf95B, *c.ellipseAzimuth));
      if (c.suggestedTree) f.suggestionsRight.Count(false);
      continue;
    }
    bool rightSuggestion = false;
    const std::vector<quality::RemovedSighting> alsoRemoved = quality::RemovedSightingsIn(c.warnings);
    for (const PlantedError* e : errors->second) {
      const bool named = c.suspectTree && *c.suspectTree == e->plantedTree;
      // Caught: named as the suspect or, in a plot network run, among the
      // case's other removals (its warnings).
      bool caught = named;
      for (const quality::RemovedSighting& r : alsoRemoved) caught = caught || r.slot == e->slot;
      const PlantedKind basic = BasicKind(e->kind);
      // A map tree found displaced is flagged on the map, not on the field
      // trees that sight it (their verdict follows their own observations).
      const bool flagged = outlier || (basic == PlantedKind::MapShift && named &&
                                       c.suspectKind == quality::SuspectKind::MapTree);
      for (DetectionFigures* d : {&f.byKind[static_cast<int>(basic)],
                                  &f.byForm[static_cast<int>(e->kind)], &f.all}) {
        d->outlier.Count(flagged);
        d->named.Count(caught);
      }
      if (basic == PlantedKind::WrongTree) {
        const bool marked = confusable.count({e->plot, e->tree, e->slot}) > 0;
        f.wrongCaughtOrConfusable.Count(caught || marked);
        if (!caught) f.missedConfusable.Count(marked);
      }
      const bool suggestedRight = basic == PlantedKind::WrongTree && named &&
                                  c.suggestedTree && *c.suggestedTree == e->trueTree;
      rightSuggestion = rightSuggestion || suggestedRight;
      if (basic != PlantedKind::WrongTree || errors->second.size() != 1 ||
          t.redundancy < kMinRedundancy)
        continue;
      f.soleWrongTree.Count(outlier);
      auto measured = truth->mapTrees.find({e->plot, e->trueTree});
      if (measured != truth->mapTrees.end() &&
          std::hypot(measured->second.first - t.x, measured->second.second - t.y) <=
              t.searchRadius)
        f.soleWrongTreeRight.Count(suggestedRight);
    }
    if (c.suggestedTree) f.suggestionsRight.Count(rightSuggestion);
  }
  return f;
}

std::string FormatQualityReport(const QualityFigures& f) {
  std::string out;
  auto line = [&](const std::string& label, const std::string& value) {
    out += label;
    out.append(label.size() < 44 ? 44 - label.size() : 1, ' ');
    out += value + "\n";
  };
  int cases = 0;
  for (int v : f.verdicts) cases += v;
  line("cases", std::to_string(cases));
  const quality::Verdict verdicts[] = {quality::Verdict::Ok, quality::Verdict::Outlier,
                                       quality::Verdict::NoRedundancy, quality::Verdict::Failed,
                                       quality::Verdict::NotComputed};
  for (quality::Verdict v : verdicts)
    line(std::string("  ") + quality::VerdictWord(v), Percent({f.verdicts[static_cast<int>(v)], cases}));
  line("suggested replacements", std::to_string(f.suggestions));
  if (f.observations > 0) {
    line("observations", std::to_string(f.observations));
    line("  weak", Percent({f.weak, f.observations}));
    line("  uncontrolled", Percent({f.uncontrolled, f.observations}));
    line("  |w| > 3.29", Percent({f.beyondCritical, f.observations}));
  }
  if (!f.withTruth) return out;
  out += "\nagainst the simulated truth\n";
  line("cases in the truth", std::to_string(f.matched));
  if (f.notInTruth > 0) line("cases not in the truth", std::to_string(f.notInTruth));
  line("clean cases (no gross error taking part)", std::to_string(f.clean));
  const char* kinds[] = {"wrong tree", "azimuth blunder", "distance blunder", "map shift"};
  line("planted gross errors: outlier verdict", Percent(f.all.outlier));
  line("  named by the suspect or a removal", Percent(f.all.named));
  for (int k = 0; k < 4; ++k) {
    if (f.byKind[k].outlier.of == 0) continue;
    line(std::string("  ") + kinds[k] + (k == 3 ? ": outlier or found displaced" : ": outlier verdict"),
         Percent(f.byKind[k].outlier));
    line(std::string("  ") + kinds[k] + ": named", Percent(f.byKind[k].named));
  }
  // The crews' forms of the errors, each on its own.
  for (int k = static_cast<int>(PlantedKind::DigitSlip); k < kPlantedKinds; ++k) {
    if (f.byForm[k].outlier.of == 0) continue;
    const std::string word = PlantedKindWord(static_cast<PlantedKind>(k));
    line("  " + word + ": outlier verdict", Percent(f.byForm[k].outlier));
    line("  " + word + ": named", Percent(f.byForm[k].named));
  }
  // The plot network (its files carry the confusable marks) is held to
  // stricter targets than the per-case layer.
  const bool network = f.withConfusable;
  line("wrong tree alone, redundancy >= 3: outlier", Percent(f.soleWrongTree) + "  target >= 90 %");
  line("  right tree suggested (true tree in reach)",
       Percent(f.soleWrongTreeRight) + (network ? "  target >= 85 %" : "  target >= 80 %"));
  line("suggested replacements that are right", Percent(f.suggestionsRight));
  if (f.withConfusable) {
    line("wrong tree named or marked confusable", Percent(f.wrongCaughtOrConfusable) + "  target >= 97 %");
    line("  missed wrong trees marked confusable", Percent(f.missedConfusable));
  }
  line("false alarms: outlier on clean tested cases",
       Percent(f.falseAlarms) + (network ? "  target <= 1 %" : "  target <= 2 %"));
  line("clean cases, truth inside the 95 % ellipse",
       Percent(f.insideConf95) + (network ? "  target >= 93 %" : "  target >= 90 %"));
  return out;
}

}  // namespace treetri::tools
