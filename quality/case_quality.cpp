#include "quality/case_quality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "quality/adjustment.h"
#include "quality/chi_square.h"

namespace treetri::quality {
namespace {

constexpr double kRadToDeg = 57.29577951308232087680;
constexpr double kTieTolerance = 1e-3;

// An adjustment and the largest |w| of its observations.
struct Tested {
  Adjustment adj;
  int maxIndex = -1;  // observation with the largest |w|; -1 when none has one
  double maxW = 0;

  bool Converged() const { return adj.status == AdjustStatus::Converged; }
};

// Where the adjustment's vTPv comes out at or above `figuresBelow`, it has
// no figures and nothing is tested (status NotBelow).
Tested AdjustAndTest(const std::vector<NetworkSighting>& net, double x0, double y0,
                     const Sigmas& sigmas,
                     double figuresBelow = std::numeric_limits<double>::infinity()) {
  Tested t;
  t.adj = AdjustNetwork(net, x0, y0, sigmas, figuresBelow);
  for (size_t i = 0; i < t.adj.observations.size(); ++i) {
    const AdjustedObservation& o = t.adj.observations[i];
    const double w = o.w;
    if (!std::isfinite(w)) continue;
    // |w| that agree to 0.1 % (the observations of one sighting, or all of
    // them when the redundancy is 1, are equal in theory; the iteration stops
    // 0.1 mm short) cannot be told apart by the test: the one with the
    // largest redundancy number, whose test is the most reliable, is named.
    const double a = std::fabs(w);
    const bool tie = t.maxIndex >= 0 && std::fabs(a - t.maxW) <= kTieTolerance * t.maxW;
    if (tie ? o.r > t.adj.observations[static_cast<size_t>(t.maxIndex)].r : a > t.maxW)
      t.maxIndex = static_cast<int>(i);
    if (a > t.maxW) t.maxW = a;  // both finite and not negative: fmax without its call
  }
  return t;
}

// The global test's limits for the redundancies a case can have, computed
// once.
double GlobalTestLimit(int f) {
  static const std::array<double, 4 * kSlotCount> limits = [] {
    std::array<double, 4 * kSlotCount> l{};
    for (size_t k = 1; k < l.size(); ++k)
      l[k] = ChiSquareQuantile(kGlobalTestLevel, static_cast<int>(k));
    return l;
  }();
  return f < static_cast<int>(limits.size()) ? limits[static_cast<size_t>(f)]
                                             : ChiSquareQuantile(kGlobalTestLevel, f);
}

bool PassesGlobalTest(const Adjustment& a) {
  return a.redundancy >= 1 && a.vtpv <= GlobalTestLimit(a.redundancy);
}

std::vector<NetworkSighting> Without(const std::vector<NetworkSighting>& net, size_t left) {
  std::vector<NetworkSighting> rest;
  rest.reserve(net.size());
  for (size_t j = 0; j < net.size(); ++j)
    if (j != left) rest.push_back(net[j]);
  return rest;
}

struct Suggestion {
  int tree = 0;
  double sigma0 = 0;
};

// The map trees the wrong-tree search tries for sighting s seen from
// (cx, cy): all within the radius when they are few; otherwise those nearest
// to where s puts its tree (the point at its distance and azimuth, the ray
// of its azimuth, the circle of its distance).
std::vector<const MapTree*> SearchCandidates(const PlotIndex& index, const NetworkSighting& s,
                                             double cx, double cy, double radius) {
  std::vector<const MapTree*> found;
  if (index.Within(cx, cy, radius, kSearchAll, found)) return found;
  const double ex = std::sin(s.azimuth), ey = std::cos(s.azimuth);
  const double reach = s.hasDistance ? s.distance : radius;
  const double px = cx + reach * ex, py = cy + reach * ey;
  const int own = s.tree;
  const Ranking r = InsideDisc(s.hasAzimuth && s.hasDistance ? NearPoint(px, py)
                               : s.hasAzimuth                ? NearSegment(cx, cy, px, py)
                                                             : NearCircle(cx, cy, reach),
                               cx, cy, radius);
  // The sighting's own tree is not a candidate: one more to make up for it.
  std::vector<const MapTree*> best = index.Best(r, kSearchCandidates + 1);
  best.erase(std::remove_if(best.begin(), best.end(), [&](const MapTree* m) { return m->tree == own; }),
             best.end());
  if (best.size() > kSearchCandidates) best.resize(kSearchCandidates);
  return best;
}

// Replaces the suspect sighting's map tree by every candidate map tree of
// the plot within the search radius of the centre and returns the
// replacement with the smallest vTPv when it has no |w| above the limit and
// a vTPv of at most vtpvLimit (no such limit when negative).
std::optional<Suggestion> SearchWrongTree(const CaseInput& in,
                                          const std::vector<NetworkSighting>& net, size_t suspect,
                                          double centreX, double centreY, double vtpvLimit,
                                          AssessCount* count) {
  if (!in.plotTrees) return std::nullopt;
  double radius = 0;
  for (const NetworkSighting& s : net)
    if (s.hasDistance && s.distance > radius) radius = s.distance;
  radius += kSearchMargin;
  std::vector<NetworkSighting> trial = net;
  std::optional<Tested> best;
  int bestTree = 0;
  // A replacement above vtpvLimit is never suggested, whether it has the
  // smallest vTPv (then there is no suggestion) or not (then another is
  // kept): it needs no figures.
  const double aboveLimit = vtpvLimit >= 0
                                ? std::nextafter(vtpvLimit, std::numeric_limits<double>::infinity())
                                : std::numeric_limits<double>::infinity();
  for (const MapTree* m : SearchCandidates(*in.plotTrees, net[suspect], centreX, centreY, radius)) {
    if (m->tree == net[suspect].tree) continue;
    trial[suspect].tree = m->tree;
    trial[suspect].mapX = m->x;
    trial[suspect].mapY = m->y;
    // Only a replacement that lowers the smallest vTPv so far needs its
    // figures; any other cannot be kept.
    Tested t = AdjustAndTest(trial, centreX, centreY, in.sigmas,
                             best ? std::fmin(best->adj.vtpv, aboveLimit) : aboveLimit);
    if (count) ++count->adjustments;
    if (!t.Converged()) continue;
    if (!best || t.adj.vtpv < best->adj.vtpv) {
      best = std::move(t);
      bestTree = m->tree;
    }
  }
  if (!best || best->maxW > kCriticalW || (vtpvLimit >= 0 && best->adj.vtpv > vtpvLimit))
    return std::nullopt;
  const int f = best->adj.redundancy;
  return Suggestion{bestTree, f >= 1 ? std::sqrt(best->adj.vtpv / f) : 0.0};
}

// The figures of a converged adjustment on the case's line and its
// observation lines.
void Describe(const CaseInput& in, const std::vector<NetworkSighting>& net, const Tested& t,
              CaseQuality& q) {
  CaseAssessment& row = q.row;
  const Adjustment& a = t.adj;
  row.redundancy = a.redundancy;
  row.iterations = a.iterations;
  row.converged = true;
  row.x = a.x;
  row.y = a.y;
  if (a.redundancy >= 1) {
    row.sigma0 = std::sqrt(a.vtpv / a.redundancy);
    row.globalTest = PassesGlobalTest(a) ? GlobalTest::Pass : GlobalTest::Fail;
    if (t.maxIndex >= 0) row.maxW = t.maxW;
  }
  SetPointEllipse(a.qxx, a.qxy, a.qyy, row);

  q.observations.reserve(a.observations.size());
  for (const AdjustedObservation& o : a.observations) {
    const NetworkSighting& s = net[static_cast<size_t>(o.sighting)];
    const double unit = o.kind == ObservationKind::Azimuth ? kRadToDeg : 1.0;
    double adjusted = o.adjusted * unit;
    if (o.kind == ObservationKind::Azimuth) {
      // fmod returns an angle within one turn unchanged.
      if (!(std::fabs(adjusted) < 360.0)) adjusted = std::fmod(adjusted, 360.0);
      if (adjusted < 0) adjusted += 360;
    }
    const double w = o.w;
    const bool tested = std::isfinite(w);
    // All fields in their order (the golden observation files check it): the
    // assessment is written once, measurably faster than cleared and then
    // set field by field.
    q.observations.push_back(ObservationAssessment{
        in.caseNumber, in.plot, in.tree, s.slot, s.tree, o.kind,
        o.observed * unit, adjusted, o.residual * unit, o.sigma * unit, o.r,
        tested ? std::optional<double>(w) : std::nullopt,
        tested ? std::optional<double>(-o.residual / o.r * unit) : std::nullopt,
        tested ? std::optional<double>(kMdbFactor * o.sigma / std::sqrt(o.r) * unit)
               : std::nullopt,
        o.r < kUncontrolledR ? Control::Uncontrolled
        : o.r < kWeakR       ? Control::Weak
                             : Control::Controlled,
        std::nullopt, std::nullopt});
  }
}

}  // namespace

void AddWarning(std::string& warnings, const std::string& w) {
  if (!warnings.empty()) warnings += "; ";
  warnings += w;
}

void SetPointEllipse(double qxx, double qxy, double qyy, CaseAssessment& row) {
  row.sx = std::sqrt(qxx);
  row.sy = std::sqrt(qyy);
  // Eigenvalues of the 2 x 2 cofactor matrix; the direction of the larger
  // as an azimuth: the form q(phi) = qxx sin^2 + qyy cos^2 + 2 qxy sin cos is
  // largest at 2 phi = atan2(2 qxy, qyy - qxx).
  const double mean = (qxx + qyy) / 2;
  const double half = std::hypot((qxx - qyy) / 2, qxy);
  row.ellipseA = std::sqrt(mean + half);
  row.ellipseB = std::sqrt(std::fmax(mean - half, 0.0));
  double phi = 0.5 * std::atan2(2 * qxy, qyy - qxx) * kRadToDeg;
  if (phi < 0) phi += 180;
  if (phi >= 180) phi -= 180;
  row.ellipseAzimuth = phi;
  row.conf95A = *row.ellipseA * kConf95Factor;
  row.conf95B = *row.ellipseB * kConf95Factor;
}

CaseQuality AssessCase(const CaseInput& in, AssessCount* count) {
  CaseQuality q;
  CaseAssessment& row = q.row;
  row.caseNumber = in.caseNumber;
  row.plot = in.plot;
  row.tree = in.tree;
  row.species = in.species;
  row.legacyStatus = in.legacyStatus;
  row.legacy = in.legacy;
  // Always set: no adjustment has run yet.
  row.usedSightings = 0;
  row.iterations = 0;
  row.converged = false;
  if (!in.computed) {
    row.verdict = Verdict::NotComputed;
    return q;
  }

  // The sightings that take part; a tree not on the map takes none.
  std::vector<NetworkSighting> net;
  net.reserve(in.sightings.size());
  double sumX = 0, sumY = 0;
  for (const InputSighting& s : in.sightings) {
    if (!s.onMap) {
      AddWarning(row.warnings, "slot " + std::to_string(s.slot) + ": tree " +
                                   std::to_string(s.tree) + " not on the map");
      continue;
    }
    if (!s.hasAzimuth && !s.hasDistance) continue;
    net.push_back(NetworkSighting{s.slot, s.tree, s.mapX, s.mapY, s.hasAzimuth,
                                  s.azimuth / kRadToDeg, s.hasDistance, s.distance});
    sumX += s.mapX;
    sumY += s.mapY;
  }
  row.usedSightings = static_cast<int>(net.size());
  row.verdict = Verdict::Failed;
  if (net.empty()) return q;
  const double x0 = in.hasStart ? in.startX : sumX / static_cast<double>(net.size());
  const double y0 = in.hasStart ? in.startY : sumY / static_cast<double>(net.size());

  const Tested full = AdjustAndTest(net, x0, y0, in.sigmas);
  if (full.Converged()) {
    Describe(in, net, full, q);
    if (full.adj.redundancy < 1) {
      row.verdict = Verdict::NoRedundancy;
      return q;
    }
    row.verdict = Verdict::Ok;
    if (full.maxIndex < 0 || full.maxW <= kCriticalW) return q;
    // Data snooping: the observation with the largest |w| is the suspect.
    const size_t k = static_cast<size_t>(full.maxIndex);
    const AdjustedObservation& o = full.adj.observations[k];
    const size_t suspect = static_cast<size_t>(o.sighting);
    row.verdict = Verdict::Outlier;
    row.suspectKind = SuspectKindOf(o.kind);
    row.suspectTree = net[suspect].tree;
    // Its w and gross error as its observation line gives them.
    const ObservationAssessment& suspectLine = q.observations[k];
    row.suspectW = suspectLine.w;
    row.suspectGrossError = suspectLine.grossError;
    // Centre the search on the field tree adjusted without the suspect
    // sighting, which a wrong tree does not drag; without redundancy there,
    // on the adjusted position.
    double cx = full.adj.x, cy = full.adj.y;
    const Adjustment rest = AdjustNetwork(Without(net, suspect), x0, y0, in.sigmas);
    if (rest.status == AdjustStatus::Converged && rest.redundancy >= 1) {
      cx = rest.x;
      cy = rest.y;
    }
    if (auto s = SearchWrongTree(in, net, suspect, cx, cy, full.adj.vtpv / 2, count)) {
      row.suggestedTree = s->tree;
      row.suggestedSigma0 = s->sigma0;
    }
    return q;
  }

  // Not converged or singular: the sighting whose leaving out gives a
  // network that converges, has redundancy and passes the global test with
  // the smallest vTPv is the suspect.
  const bool singular = full.adj.status == AdjustStatus::Singular;
  AddWarning(row.warnings, singular ? "singular" : "not converged");
  // Fewer observations than unknowns: the case has no redundancy at all.
  if (full.adj.redundancy >= 0) row.redundancy = full.adj.redundancy;
  row.iterations = full.adj.iterations;
  row.converged = false;
  std::optional<Tested> best;
  size_t left = 0;
  for (size_t j = 0; j < net.size() && net.size() > 1; ++j) {
    Tested t = AdjustAndTest(Without(net, j), x0, y0, in.sigmas);
    if (t.Converged() && PassesGlobalTest(t.adj) && (!best || t.adj.vtpv < best->adj.vtpv)) {
      best = std::move(t);
      left = j;
    }
  }
  if (!best) return q;
  const std::vector<NetworkSighting> rest = Without(net, left);
  Describe(in, rest, *best, q);
  row.usedSightings = static_cast<int>(rest.size());
  row.verdict = Verdict::Outlier;
  row.suspectKind = SuspectKind::Sighting;
  row.suspectTree = net[left].tree;
  AddWarning(row.warnings, "adjusted without slot " + std::to_string(net[left].slot) + " (tree " +
                               std::to_string(net[left].tree) + ")");
  if (auto s = SearchWrongTree(in, net, left, best->adj.x, best->adj.y, -1, count)) {
    row.suggestedTree = s->tree;
    row.suggestedSigma0 = s->sigma0;
  }
  return q;
}

}  // namespace treetri::quality
