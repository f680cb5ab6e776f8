#include "quality/plot_network.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>

#include "quality/chi_square.h"
#include "quality/network_model.h"
#include "quality/network_snooping.h"
#include "quality/quality_files.h"

namespace treetri::quality {

double CriticalValue(int degrees) { return ChiSquareQuantile(1 - kAlpha0, degrees); }

double NonCentrality(int degrees) {
  // Bisection on lambda: the power rises with it.
  const double k = CriticalValue(degrees);
  double lo = 0, hi = 100;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    if (mid == lo || mid == hi) break;  // adjacent: no halving changes them
    (NonCentralChiSquareTail(degrees, mid, k) < kPower ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

using namespace net;

namespace {

constexpr double kUnseenShare = 1e-6;    // an information share below which a displacement goes unseen

// Union of field trees that share a map tree.
int Find(std::vector<int>& parent, int a) {
  while (parent[static_cast<size_t>(a)] != a) a = parent[static_cast<size_t>(a)] = parent[static_cast<size_t>(parent[static_cast<size_t>(a)])];
  return a;
}

bool Usable(const InputSighting& s) { return s.onMap && (s.hasAzimuth || s.hasDistance); }

}  // namespace

PlotResult AssessPlot(const std::vector<CaseInput>& cases, const NetworkOptions& options) {
  PlotResult out;
  out.cases.resize(cases.size());
  if (cases.empty()) return out;
  out.summary.plot = cases.front().plot;
  const PlotIndex* plotTrees = cases.front().plotTrees.get();

  // Field trees that share a map tree with another one go into the network
  // (of those not left out), with the plot origin their map trees give.
  struct Members {
    std::vector<int> cases;
    double ox = 0, oy = 0;
  };
  auto members = [&](const std::vector<bool>& leftOut) {
    std::vector<int> parent(cases.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::map<int, int> firstSighter;
    std::vector<int> observations(cases.size(), 0);
    for (size_t c = 0; c < cases.size(); ++c) {
      if (!cases[c].computed || leftOut[c]) continue;
      for (const InputSighting& s : cases[c].sightings) {
        if (!Usable(s)) continue;
        observations[c] += s.hasAzimuth + s.hasDistance;
        auto [it, added] = firstSighter.emplace(s.tree, static_cast<int>(c));
        if (!added) parent[static_cast<size_t>(Find(parent, static_cast<int>(c)))] = Find(parent, it->second);
      }
    }
    std::map<int, int> componentSize;
    for (size_t c = 0; c < cases.size(); ++c)
      if (observations[c] >= 2) ++componentSize[Find(parent, static_cast<int>(c))];
    Members m;
    double sx = 0, sy = 0;
    int sn = 0;
    for (size_t c = 0; c < cases.size(); ++c)
      if (observations[c] >= 2 && componentSize[Find(parent, static_cast<int>(c))] >= 2) {
        m.cases.push_back(static_cast<int>(c));
        for (const InputSighting& s : cases[c].sightings)
          if (Usable(s)) {
            sx += s.mapX;
            sy += s.mapY;
            ++sn;
          }
      }
    if (sn > 0) {
      m.ox = std::round(sx / sn);
      m.oy = std::round(sy / sn);
    }
    return m;
  };

  int solutions = 0;  // of every network tried, the search included
  std::optional<Network> net;
  std::vector<Removal> removed;
  static const double crit1 = CriticalValue(1), crit2 = CriticalValue(2);
  static const double lambda2 = NonCentrality(2);
  // With the bias, then without it.
  auto adjust = [&](const Members& m) {
    if (m.cases.empty()) return false;
    for (bool bias : {options.azimuthBias, false}) {
      net.emplace(cases, m.cases, bias, m.ox, m.oy);
      const bool adjusted = FindGrossErrors(*net, crit1, crit2, plotTrees, removed);
      if (adjusted) {
        // The search's adjustment, converged to its own limit, is taken on
        // to kConvergence. Where its steps stop lowering vTPv first (a field
        // tree nearer to a tree it sights than kNear, where the direction's
        // partials are those at kNear), the search's adjustment stands: it
        // is within a millimetre of the point, and the plot keeps its bias.
        net->Keep();
        if (!net->Adjust()) net->Restore();
      }
      solutions += net->Solutions();
      if (adjusted) return true;
      if (!bias) break;
    }
    return false;
  };
  std::vector<std::optional<CaseQuality>> alone(cases.size());
  std::vector<bool> leftOut(cases.size(), false);
  Members network = members(leftOut);
  bool adjusted = adjust(network);
  if (!adjusted && !network.cases.empty()) {
    // One field tree far from its place (a wrong number that pulls it onto
    // a map tree, distances taken to another tree) can keep a whole plot
    // from converging. So the plot is tried once more without the field
    // trees that fail or show an outlier adjusted alone; they stay alone.
    for (int c : network.cases) {
      const size_t k = static_cast<size_t>(c);
      alone[k] = AssessCase(cases[k]);
      leftOut[k] = alone[k]->row.verdict != Verdict::Ok && alone[k]->row.verdict != Verdict::NoRedundancy;
    }
    if (std::find(leftOut.begin(), leftOut.end(), true) != leftOut.end()) {
      network = members(leftOut);
      adjusted = adjust(network);
    }
  }
  // The rest, and everything when the network could not be adjusted: alone.
  std::vector<bool> inNetwork(cases.size(), false);
  if (adjusted)
    for (int c : network.cases) inNetwork[static_cast<size_t>(c)] = true;
  for (size_t c = 0; c < cases.size(); ++c)
    if (!inNetwork[c]) {
      out.cases[c].quality = alone[c] ? std::move(*alone[c]) : AssessCase(cases[c]);
      if (adjusted && leftOut[c])
        AddWarning(out.cases[c].quality.row.warnings, "left out of the plot network");
      out.cases[c].extras.resize(out.cases[c].quality.observations.size());
    }
  if (!adjusted) return out;

  Network& n = *net;
  const std::vector<Obs>& obs = n.Observations();
  PlotSummary& sum = out.summary;
  sum.fieldTrees = static_cast<int>(n.Fields().size());
  sum.mapTrees = static_cast<int>(n.Maps().size());
  sum.observations = n.ActiveObservations();
  sum.redundancy = n.Redundancy();
  sum.iterations = solutions;
  sum.converged = true;
  sum.removed = static_cast<int>(removed.size());
  if (sum.redundancy >= 1) {
    sum.sigma0 = std::sqrt(n.Vtpv() / sum.redundancy);
    sum.globalTest = n.Vtpv() <= ChiSquareQuantile(kGlobalTestLevel, sum.redundancy) ? GlobalTest::Pass
                                                                                       : GlobalTest::Fail;
  }
  sum.hasBias = n.HasBias();
  if (n.HasBias()) {
    sum.bias = n.Bias() * kRadToDeg;
    // As the field trees' ellipses: scaled by the plot's sigma0 where that
    // says the a-priori errors are too small.
    sum.biasSigma =
        n.BiasSigma() * kRadToDeg * (sum.sigma0 && *sum.sigma0 > 1 ? *sum.sigma0 : 1.0);
    if (sum.biasSigma > 0) sum.biasW = sum.bias / sum.biasSigma;
  }
  std::vector<bool> displaced(n.Maps().size(), false);
  for (const Removal& r : removed)
    if (r.kind == HypKind::MapTree) displaced[static_cast<size_t>(r.index)] = true;
  for (size_t j = 0; j < n.Maps().size(); ++j) {
    const MapUnknown& m = n.Maps()[j];
    MapTreeResult t;
    t.tree = m.tree;
    t.mapX = m.mapX + n.OriginX();
    t.mapY = m.mapY + n.OriginY();
    t.x = n.MapPoint(static_cast<int>(j)).x() + n.OriginX();
    t.y = n.MapPoint(static_cast<int>(j)).y() + n.OriginY();
    t.sx = std::sqrt(n.MapCov(static_cast<int>(j))(0, 0));
    t.sy = std::sqrt(n.MapCov(static_cast<int>(j))(1, 1));
    t.sightings = ActiveSightings(n, static_cast<int>(j));
    t.displaced = displaced[j];
    const std::vector<int> H = {m.obsX, m.obsY};
    const double T = n.Statistic(H, !AllActive(n, H, true));
    if (std::isfinite(T)) t.test = T;
    sum.displacedMapTrees += t.displaced;
    out.mapTrees.push_back(t);
  }

  // Per field tree: its own removals, its figures, its lines.
  for (size_t fi = 0; fi < n.Fields().size(); ++fi) {
    const int field = static_cast<int>(fi);
    const FieldUnknown& f = n.Fields()[fi];
    const CaseInput& in = cases[static_cast<size_t>(f.caseIndex)];
    NetworkCaseResult& res = out.cases[static_cast<size_t>(f.caseIndex)];
    res.network = true;
    CaseAssessment& row = res.quality.row;
    row.caseNumber = in.caseNumber;
    row.plot = in.plot;
    row.tree = in.tree;
    row.species = in.species;
    row.legacyStatus = in.legacyStatus;
    row.legacy = in.legacy;
    for (const InputSighting& s : in.sightings)
      if (!s.onMap)
        AddWarning(row.warnings,
                   "slot " + std::to_string(s.slot) + ": tree " + std::to_string(s.tree) + " not on the map");
    int used = 0;
    double ownR = 0, ownVtpv = 0, maxW = -1;
    for (int si : f.sightings) {
      const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
      bool any = false;
      for (int i : {g.az, g.dist})
        if (i >= 0 && obs[static_cast<size_t>(i)].active) {
          any = true;
          ownR += n.Redundancy(i);
          const double v = n.Residuals()[static_cast<size_t>(i)] / obs[static_cast<size_t>(i)].sigma;
          ownVtpv += v * v;
          const double w = n.W(i);
          if (std::isfinite(w)) maxW = std::max(maxW, std::fabs(w));
        }
      used += any;
    }
    row.usedSightings = used;
    row.redundancy = static_cast<int>(std::lround(ownR));
    row.iterations = sum.iterations;
    row.converged = true;
    const Vector2d p = n.Field(field);
    row.x = p.x() + n.OriginX();
    row.y = p.y() + n.OriginY();
    row.sigma0 = sum.sigma0;
    row.globalTest = sum.globalTest;
    // Where the plot's sigma0 says the a-priori errors are too small, the
    // ellipse takes the a-posteriori variance factor. So it does where the
    // field tree's own distances and azimuths misfit more than their a-priori
    // errors say (their vTPv over the sum of their redundancy numbers, once
    // that sum reaches 1): errors left undetected elsewhere in the plot reach
    // a field tree through the map trees it shares, and show there.
    double scale = sum.sigma0 && *sum.sigma0 > 1 ? *sum.sigma0 * *sum.sigma0 : 1.0;
    if (ownR >= 1) scale = std::max(scale, ownVtpv / ownR);
    const Matrix2d Q = n.FieldCov(field) * scale;
    SetPointEllipse(Q(0, 0), Q(0, 1), Q(1, 1), row);
    if (maxW >= 0) row.maxW = maxW;
    row.verdict = ownR > kUncontrolledR ? Verdict::Ok : Verdict::NoRedundancy;

    // The suspect: the strongest of its own removals, else a displaced map
    // tree it sights. A displaced map tree is the map's fault, not the
    // crew's: the field tree's verdict follows its own observations.
    std::vector<const Removal*> owns;
    for (const Removal& r : removed)
      if (r.kind != HypKind::MapTree &&
          n.Sightings()[static_cast<size_t>(SightingOf(n, r))].field == field)
        owns.push_back(&r);
    std::stable_sort(owns.begin(), owns.end(),
                     [](const Removal* a, const Removal* b) { return a->ratio > b->ratio; });
    for (const Removal* r : owns) {
      const Sighting& g = n.Sightings()[static_cast<size_t>(SightingOf(n, *r))];
      res.removed.push_back({g.slot, g.tree, KindOf(n, *r), r->statistic});
    }
    if (!owns.empty()) {
      const Removal* own = owns.front();
      const Sighting& g = n.Sightings()[static_cast<size_t>(SightingOf(n, *own))];
      row.verdict = Verdict::Outlier;
      row.suspectKind = KindOf(n, *own);
      row.suspectTree = g.tree;
      if (own->degrees == 1) {
        const size_t i = static_cast<size_t>(own->index);
        const double unit = obs[i].kind == ObservationKind::Azimuth ? kRadToDeg : 1.0;
        row.suspectW = std::sqrt(own->statistic) * (n.Residuals()[i] < 0 ? -1 : 1);
        row.suspectGrossError = -n.Residuals()[i] * unit;
      } else {
        row.suspectW = std::sqrt(own->statistic);
      }
      if (auto s = Suggest(n, g, plotTrees, crit2)) {
        row.suggestedTree = s->tree;
        if (sum.redundancy >= 1)
          row.suggestedSigma0 = std::sqrt((n.Vtpv() + s->statistic) / (sum.redundancy + 2));
        res.runnerUp = s->runnerUp;
        res.evidence = s->evidence;
        // A replacement tree that fits: the number was wrong.
        if (row.suspectKind == SuspectKind::Azimuth || row.suspectKind == SuspectKind::Distance)
          row.suspectKind = SuspectKind::Sighting;
      }
      res.removed.front().kind = row.suspectKind;
      for (size_t k = 1; k < res.removed.size(); ++k) {
        AddWarning(row.warnings, RemovedSightingWarning(res.removed[k]));
      }
    } else {
      for (int si : f.sightings) {
        const int j = n.Sightings()[static_cast<size_t>(si)].map;
        if (!displaced[static_cast<size_t>(j)]) continue;
        row.suspectKind = SuspectKind::MapTree;
        row.suspectTree = n.Maps()[static_cast<size_t>(j)].tree;
        const MapTreeResult& t = out.mapTrees[static_cast<size_t>(j)];
        if (t.test) row.suspectW = std::sqrt(*t.test);
        row.suspectGrossError = std::hypot(t.x - t.mapX, t.y - t.mapY);
        break;
      }
    }

    // Observation lines: azimuth and distance of every sighting, then map
    // X, then map Y, as the per-case layer writes them.
    auto line = [&](int i, const Sighting& g) {
      const Obs& o = obs[static_cast<size_t>(i)];
      ObservationAssessment r;
      r.caseNumber = in.caseNumber;
      r.plot = in.plot;
      r.tree = in.tree;
      r.slot = g.slot;
      r.sightedTree = g.tree;
      r.kind = o.kind;
      const double unit = o.kind == ObservationKind::Azimuth ? kRadToDeg : 1.0;
      double origin = o.kind == ObservationKind::MapX ? n.OriginX()
                      : o.kind == ObservationKind::MapY ? n.OriginY() : 0;
      const double v = n.Residuals()[static_cast<size_t>(i)];
      r.observed = o.observed * unit + origin;
      r.adjusted = (o.observed + v) * unit + origin;
      if (o.kind == ObservationKind::Azimuth) {
        r.adjusted = std::fmod(r.adjusted, 360.0);
        if (r.adjusted < 0) r.adjusted += 360;
      }
      r.residual = v * unit;
      r.sigma = o.sigma * unit;
      const double red = n.Redundancy(i);
      r.redundancyNumber = red;
      const double w = n.W(i);
      if (std::isfinite(w)) {
        r.w = w;
        r.grossError = -v / red * unit;
        r.mdb = kMdbFactor * o.sigma / std::sqrt(red) * unit;
      }
      r.control = red < kUncontrolledR ? Control::Uncontrolled
                  : red < kWeakR       ? Control::Weak
                                       : Control::Controlled;
      res.quality.observations.push_back(r);
    };
    for (int si : f.sightings) {
      const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
      // The sighting's smallest detectable displacement and a map tree
      // nearer than that: a confusion with it could not be seen.
      ObservationExtra extra;
      bool any = false;
      for (int i : {g.az, g.dist}) any = any || (i >= 0 && obs[static_cast<size_t>(i)].active);
      if (any) {
        double scale = 0;
        const Matrix2d Mi = n.DisplacementInformation(g, scale);
        // An eigenvalue below kUnseenShare of the observations' own
        // information is zero within the computation's precision: a
        // displacement that way is not seen at all (no distance is written,
        // the nearest other tree is confusable).
        const double smallest = Eigen::SelfAdjointEigenSolver<Matrix2d>(Mi).eigenvalues()[0];
        const double mdb = smallest > kUnseenShare * scale ? std::sqrt(lambda2 / smallest) : HUGE_VAL;
        if (std::isfinite(mdb)) extra.confusableDistance = mdb;
        const MapUnknown& m = n.Maps()[static_cast<size_t>(g.map)];
        const double mx = m.mapX + n.OriginX(), my = m.mapY + n.OriginY();
        if (plotTrees)
          for (const MapTree* t : plotTrees->Best(InsideDisc(NearPoint(mx, my), mx, my, mdb), 2))
            if (t->tree != g.tree && std::hypot(t->x - mx, t->y - my) < mdb) {
              extra.confusableTree = t->tree;
              break;
            }
        res.confusable += extra.confusableTree.has_value();
      }
      for (int i : {g.az, g.dist})
        if (i >= 0 && obs[static_cast<size_t>(i)].active) {
          line(i, g);
          res.extras.push_back(extra);
        }
    }
    for (bool y : {false, true})
      for (int si : f.sightings) {
        const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
        const MapUnknown& m = n.Maps()[static_cast<size_t>(g.map)];
        const int i = y ? m.obsY : m.obsX;
        if (!obs[static_cast<size_t>(i)].active) continue;
        line(i, g);
        res.extras.push_back({});
      }
  }
  return out;
}

}  // namespace treetri::quality
