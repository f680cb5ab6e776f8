#include "views/plot_scene.h"

#include "data/angles.h"
#include "quality/quality_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace treetri::views {

using quality::CaseQuality;
using quality::ObservationKind;
using quality::ObservationAssessment;
using quality::Verdict;

void CaseResults::Add(CaseQuality c) {
  auto it = std::lower_bound(
      cases_.begin(), cases_.end(), c.row.caseNumber,
      [](const CaseQuality& q, int n) { return q.row.caseNumber < n; });
  if (it != cases_.end() && it->row.caseNumber == c.row.caseNumber)
    *it = std::move(c);
  else
    cases_.insert(it, std::move(c));
}

const CaseQuality* CaseResults::Find(int caseNumber) const {
  return const_cast<CaseResults*>(this)->At(caseNumber);
}

CaseQuality* CaseResults::At(int caseNumber) {
  auto it = std::lower_bound(
      cases_.begin(), cases_.end(), caseNumber,
      [](const CaseQuality& q, int n) { return q.row.caseNumber < n; });
  return it != cases_.end() && it->row.caseNumber == caseNumber ? &*it : nullptr;
}

const std::array<double, 2>* CaseResults::LegacyPosition(int caseNumber) const {
  auto it = legacy_.find(caseNumber);
  return it == legacy_.end() ? nullptr : &it->second;
}

std::vector<int> CaseResults::CasesOfPlot(int plot) const {
  std::vector<int> numbers;
  for (const CaseQuality& c : cases_)
    if (c.row.plot == plot) numbers.push_back(c.row.caseNumber);
  return numbers;
}

namespace {

// The message of a quality file that could not be read.
std::string ReadError(const quality::FileReadStatus& s) {
  if (s.line == 0) return "The file \"" + s.path + "\" cannot be read: " + s.message;
  return "The file \"" + s.path + "\", line " + std::to_string(s.line) + ": " +
         (s.column > 0 ? "column " + std::to_string(s.column) + ": " : std::string()) +
         s.message;
}

}  // namespace

bool CaseResults::Load(const std::string& qualityPath, const std::string& observationsPath,
                       std::string& error, std::vector<std::string>* warnings) {
  cases_.clear();
  quality::QualityRunFiles run;
  const quality::FileReadStatus s =
      quality::ReadQualityRun(qualityPath, observationsPath, false, run);
  if (!s.ok) {
    error = ReadError(s);
    return false;
  }
  if (warnings) *warnings = run.warnings;
  for (quality::CaseAssessment& r : run.cases) {
    CaseQuality c;
    c.row = std::move(r);
    Add(std::move(c));
  }
  for (ObservationAssessment& o : run.observations) At(o.caseNumber)->observations.push_back(std::move(o));
  return true;
}

Colour VerdictColour(Verdict v) {
  const quality::LegendColour c = quality::VerdictLegendColour(v);
  return {c.r, c.g, c.b};
}

Colour WColour(std::optional<double> absW) {
  const quality::LegendColour c = quality::WLegendColour(absW);
  return {c.r, c.g, c.b};
}

Colour ConfusableColour() {
  const quality::LegendColour c = quality::ConfusableLegendColour();
  return {c.r, c.g, c.b};
}

const char* SightingStyleLabel(SightingStyle s) {
  switch (s) {
    case SightingStyle::AzimuthOnly: return "azimuth only";
    case SightingStyle::DistanceOnly: return "distance only";
    case SightingStyle::Both: return "azimuth and distance";
  }
  return "";
}

namespace {

bool Positioned(const quality::CaseAssessment& r) {
  return r.x && r.y && std::isfinite(*r.x) && std::isfinite(*r.y);
}

void AddEllipseBox(PlaneExtent& box, const EllipseMark& e) {
  // The ellipse's bounding box: half-widths along X and Y.
  const AzimuthUnit u = UnitOfAzimuth(e.azimuth);
  const double hx = std::hypot(e.a * u.east, e.b * u.north);
  const double hy = std::hypot(e.a * u.north, e.b * u.east);
  box.AddFinite(e.x - hx, e.y - hy);
  box.AddFinite(e.x + hx, e.y + hy);
}

// The sighting lines of a case: one per slot with field observations, the
// suspect marked; a sighting left out of the adjustment is drawn too.
std::vector<SightingLine> CaseLines(const quality::PlotMaps& maps, const CaseQuality& c) {
  const quality::CaseAssessment& row = c.row;
  std::map<int, SightingLine> bySlot;
  std::map<int, std::pair<bool, bool>> kinds;  // slot: azimuth, distance
  for (const ObservationAssessment& o : c.observations) {
    if (o.kind != ObservationKind::Azimuth && o.kind != ObservationKind::Distance) continue;
    SightingLine& line = bySlot[o.slot];
    line.slot = o.slot;
    line.tree = o.sightedTree;
    (o.kind == ObservationKind::Azimuth ? kinds[o.slot].first : kinds[o.slot].second) = true;
    if (o.w && (!line.absW || std::fabs(*o.w) > *line.absW)) line.absW = std::fabs(*o.w);
    if (o.confusableTree) {
      line.confusableTree = o.confusableTree;
      line.confusableDistance = o.confusableDistance;
    }
  }
  std::vector<SightingLine> lines;
  const bool suspectLeftOut = row.suspectKind == quality::SuspectKind::Sighting;
  const int suspectSlot = quality::SuspectSlot(row, c.observations);
  for (auto& [slot, line] : bySlot) {
    const quality::MapTree* m = maps.Find(row.plot, line.tree);
    if (!m) continue;
    const auto [az, dist] = kinds[slot];
    line.style = az && dist ? SightingStyle::Both
                 : az       ? SightingStyle::AzimuthOnly
                            : SightingStyle::DistanceOnly;
    line.x0 = *row.x;
    line.y0 = *row.y;
    line.x1 = m->x;
    line.y1 = m->y;
    line.suspect = slot == suspectSlot;
    lines.push_back(line);
  }
  if (suspectLeftOut && row.suspectTree) {
    if (const quality::MapTree* m = maps.Find(row.plot, *row.suspectTree)) {
      SightingLine line;
      line.tree = m->tree;
      line.x0 = *row.x;
      line.y0 = *row.y;
      line.x1 = m->x;
      line.y1 = m->y;
      line.suspect = line.leftOut = true;
      lines.push_back(line);
    }
  }
  return lines;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
  return v[mid];
}

// The middle of a plot's map trees (the median of X and of Y) and their
// spread (the median distance from it, at least 1 m).
class FarOffRule {
 public:
  explicit FarOffRule(const std::vector<quality::MapTree>& trees) {
    std::vector<double> xs, ys, d;
    for (const quality::MapTree& m : trees)
      if (std::isfinite(m.x) && std::isfinite(m.y)) {
        xs.push_back(m.x);
        ys.push_back(m.y);
      }
    x_ = Median(xs);
    y_ = Median(ys);
    for (size_t i = 0; i < xs.size(); ++i) d.push_back(std::hypot(xs[i] - x_, ys[i] - y_));
    spread_ = std::fmax(Median(d), 1.0);
  }
  bool IsFarOff(double x, double y) const {
    return !(std::hypot(x - x_, y - y_) <= kFarOffFactor * spread_);
  }

 private:
  double x_ = 0, y_ = 0, spread_ = 1;
};

}  // namespace

std::string FarOffNote(const PlotScene& scene) {
  if (scene.farOff.empty()) return "";
  const quality::MapTree& m = scene.farOff.front();
  char where[96];
  std::snprintf(where, sizeof where, " (X %.2f, Y %.2f)", m.x, m.y);
  std::string note = "Map tree " + std::to_string(m.tree) + where;
  if (scene.farOff.size() > 1)
    note += " and " + std::to_string(scene.farOff.size() - 1) + " more map tree" +
            (scene.farOff.size() > 2 ? "s lie" : " lies");
  else
    note += " lies";
  return note + " far from the rest of plot " + std::to_string(scene.plot) +
         (scene.farOff.size() > 1 ? " and are" : " and is") + " left out of Fit plot.";
}

std::string ShownText(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  // Back to the start of a UTF-8 sequence (a byte that is not 10xxxxxx).
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  return text.substr(0, cut) + " ... (" + std::to_string(characters) + " characters in all)";
}

PlotScene BuildPlotScene(const quality::PlotMaps& maps, const CaseResults& results,
                         int selectedCase, int plot) {
  PlotScene s;
  const CaseQuality* selected = results.Find(selectedCase);
  s.plot = selected ? selected->row.plot : plot;
  s.selectedCase = selected ? selectedCase : 0;
  const std::vector<quality::MapTree>& trees = maps.Trees(s.plot);
  const FarOffRule farOff(trees);
  for (const quality::MapTree& m : trees) {
    s.mapTrees.push_back(m);
    if (farOff.IsFarOff(m.x, m.y))
      s.farOff.push_back(m);
    else
      s.plotBox.AddFinite(m.x, m.y);
  }
  for (int n : results.CasesOfPlot(s.plot)) {
    const quality::CaseAssessment& r = results.Find(n)->row;
    if (!Positioned(r)) {
      if (const auto* legacy = results.LegacyPosition(n)) {
        s.fieldTrees.push_back({n, r.tree, (*legacy)[0], (*legacy)[1], r.verdict, true});
        s.plotBox.AddFinite((*legacy)[0], (*legacy)[1]);
        if (n == s.selectedCase) s.caseBox.AddFinite((*legacy)[0], (*legacy)[1]);
      }
      continue;
    }
    s.fieldTrees.push_back({n, r.tree, *r.x, *r.y, r.verdict});
    if (r.networkFigures) {
      s.network = s.network || r.networkFigures->network;
      s.fieldTrees.back().confusable = r.networkFigures->confusable.value_or(0);
    }
    s.plotBox.AddFinite(*r.x, *r.y);
    if (r.conf95A && r.conf95B && r.ellipseAzimuth) {
      EllipseMark e{n, *r.x, *r.y, *r.conf95A, *r.conf95B, *r.ellipseAzimuth, r.verdict};
      s.ellipses.push_back(e);
      if (n == s.selectedCase) AddEllipseBox(s.caseBox, e);
    }
  }
  if (!selected) return s;
  const quality::CaseAssessment& row = selected->row;
  if (Positioned(row)) {
    s.caseBox.AddFinite(*row.x, *row.y);
    s.lines = CaseLines(maps, *selected);
    for (const SightingLine& l : s.lines) {
      s.caseBox.AddFinite(l.x1, l.y1);
      if (l.confusableTree)
        if (const quality::MapTree* m = maps.Find(row.plot, *l.confusableTree)) {
          s.confusable.push_back(*m);
          s.caseBox.AddFinite(m->x, m->y);
        }
    }
  }
  if (row.suggestedTree)
    if (const quality::MapTree* m = maps.Find(row.plot, *row.suggestedTree)) {
      s.suggested = *m;
      s.caseBox.AddFinite(m->x, m->y);
    }
  return s;
}

int CaseNear(const PlotScene& scene, double x, double y, double radius) {
  int best = 0;
  double bestDistance = radius;
  for (const FieldTreeMark& f : scene.fieldTrees) {
    const double d = std::hypot(f.x - x, f.y - y);
    if (d <= bestDistance) {
      bestDistance = d;
      best = f.caseNumber;
    }
  }
  return best;
}

double ScaleBarLength(double maxLength) {
  if (!(maxLength > 0) || !std::isfinite(maxLength)) return 0;
  double power = std::pow(10.0, std::floor(std::log10(maxLength)));
  for (double f : {5.0, 2.0, 1.0})
    if (f * power <= maxLength) return f * power;
  return power;
}

}  // namespace treetri::views
