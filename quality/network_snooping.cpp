#include "quality/network_snooping.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

namespace treetri::quality::net {

namespace {

// A trial that does not converge by then is rejected, a removal in
// snooping as any other. (Short sightings in dense stands converge only
// linearly, a quarter less each step: 15 turned away trials that were
// converging, some of them put-backs of groups that pass their tests. A
// removal that has not converged by then slides on or swings between
// damped and undamped steps: with 50 for those, 2-4 % more Gauss-Newton
// solutions for the same figures.)
constexpr int kTrialIterations = 25;
// Snooping stops after this many removals in a row that cannot be
// adjusted: the network is then in no state to test more (a trial that
// put back gross errors together), and each such try costs a whole
// adjustment that does not converge.
constexpr int kSnoopFailures = 5;
constexpr double kDanishC = 2.5;         // Danish weights: 1 up to this standardised residual
constexpr int kRobustIterations = 4;
constexpr double kMinOmega = 1e-4;       // the smallest weight factor: the system stays regular
constexpr double kLeaveOut = 0.5;        // a group weighted below this is left out
constexpr int kFewSightings = 1;         // sightings left to a field tree whose removal may give way
constexpr double kSightingTie = 0.97;    // a sighting within this share of its observation wins
constexpr double kSuggestRadius = 3.0;   // metres around the point the sighting gives
constexpr size_t kSuggestLimit = 50;     // more trees than this that near: no search

}  // namespace

std::vector<int> HypothesisObservations(const Network& n, HypKind kind, int index) {
  std::vector<int> H;
  if (kind == HypKind::Observation) {
    H.push_back(index);
  } else if (kind == HypKind::Sighting) {
    const Sighting& g = n.Sightings()[static_cast<size_t>(index)];
    for (int i : {g.az, g.dist})
      if (i >= 0) H.push_back(i);
  } else {
    const MapUnknown& m = n.Maps()[static_cast<size_t>(index)];
    H = {m.obsX, m.obsY};
  }
  return H;
}

bool AllActive(const Network& n, const std::vector<int>& H, bool active) {
  for (int i : H)
    if (n.Observations()[static_cast<size_t>(i)].active != active) return false;
  return !H.empty();
}

int ActiveSightings(const Network& n, int map) {
  int k = 0;
  for (int si : n.Maps()[static_cast<size_t>(map)].sightings) {
    const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
    bool any = false;
    for (int i : {g.az, g.dist}) any = any || (i >= 0 && n.Observations()[static_cast<size_t>(i)].active);
    k += any;
  }
  return k;
}

SuspectKind KindOf(const Network& n, const Removal& r) {
  if (r.kind == HypKind::MapTree) return SuspectKind::MapTree;
  if (r.onceSighted) return SuspectKind::SightingOrMapTree;
  if (r.kind == HypKind::Sighting) return SuspectKind::Sighting;
  return SuspectKindOf(n.Observations()[static_cast<size_t>(r.index)].kind);
}

int SightingOf(const Network& n, const Removal& r) {
  return r.kind == HypKind::Sighting ? r.index
                                     : n.Observations()[static_cast<size_t>(r.index)].sighting;
}

std::optional<Suggestion> Suggest(const Network& n, const Sighting& g, const PlotIndex* plotTrees,
                                  double crit2) {
  if (g.az < 0 || g.dist < 0 || plotTrees == nullptr) return std::nullopt;
  const std::vector<Obs>& obs = n.Observations();
  const double az = obs[static_cast<size_t>(g.az)].observed - n.Bias();
  const double dist = obs[static_cast<size_t>(g.dist)].observed;
  const Vector2d f = n.Field(g.field);
  const double px = f.x() + dist * std::sin(az) + n.OriginX();
  const double py = f.y() + dist * std::cos(az) + n.OriginY();
  std::map<int, int> inNetwork;
  for (size_t j = 0; j < n.Maps().size(); ++j) inNetwork[n.Maps()[j].tree] = static_cast<int>(j);
  std::vector<std::pair<double, int>> ranked;
  std::vector<const MapTree*> near;
  plotTrees->Within(px, py, kSuggestRadius, kSuggestLimit, near);
  for (const MapTree* mp : near) {
    const MapTree& m = *mp;
    if (m.tree == g.tree) continue;
    auto it = inNetwork.find(m.tree);
    const int j = it == inNetwork.end() ? -1 : it->second;
    const double T = n.CandidateStatistic(g.field, j, m.x - n.OriginX(), m.y - n.OriginY(), true,
                                          obs[static_cast<size_t>(g.az)].observed, true, dist);
    if (std::isfinite(T)) ranked.push_back({T, m.tree});
  }
  if (ranked.empty()) return std::nullopt;
  std::sort(ranked.begin(), ranked.end());
  if (ranked[0].first > crit2) return std::nullopt;
  Suggestion s;
  s.tree = ranked[0].second;
  s.statistic = ranked[0].first;
  if (ranked.size() > 1) {
    s.runnerUp = ranked[1].second;
    s.evidence = ranked[1].first - ranked[0].first;
  }
  return s;
}

namespace {

void SetActive(Network& n, const std::vector<int>& H, bool active) {
  for (int i : H) n.Observations()[static_cast<size_t>(i)].active = active;
}

// Whether the active observations are those of the flags.
bool Same(const Network& n, const std::vector<char>& active) {
  const std::vector<Obs>& obs = n.Observations();
  for (size_t i = 0; i < obs.size(); ++i)
    if (obs[i].active != static_cast<bool>(active[i])) return false;
  return true;
}

struct Candidate {
  HypKind kind = HypKind::Observation;
  int index = 0, degrees = 1;
  double statistic = 0, ratio = 0;
};

// Every testable hypothesis of the active network, each with its statistic.
std::vector<Candidate> Hypotheses(const Network& n, double crit1, double crit2) {
  std::vector<Candidate> out;
  const std::vector<Obs>& obs = n.Observations();
  for (size_t i = 0; i < obs.size(); ++i) {
    if (!obs[i].active || obs[i].field < 0) continue;
    const double T = n.Statistic(static_cast<int>(i), false);
    if (std::isfinite(T)) out.push_back({HypKind::Observation, static_cast<int>(i), 1, T, T / crit1});
  }
  for (size_t s = 0; s < n.Sightings().size(); ++s) {
    const Sighting& g = n.Sightings()[s];
    if (g.az < 0 || g.dist < 0) continue;
    const std::vector<int> H = {g.az, g.dist};
    if (!AllActive(n, H, true)) continue;
    const double T = n.Statistic(H, false);
    if (std::isfinite(T)) out.push_back({HypKind::Sighting, static_cast<int>(s), 2, T, T / crit2});
  }
  for (size_t j = 0; j < n.Maps().size(); ++j) {
    const MapUnknown& m = n.Maps()[j];
    // Sighted once, the map tree's test is its sighting's.
    if (!AllActive(n, {m.obsX, m.obsY}, true) || ActiveSightings(n, static_cast<int>(j)) < 2)
      continue;
    const double T = n.Statistic({m.obsX, m.obsY}, false);
    if (std::isfinite(T)) out.push_back({HypKind::MapTree, static_cast<int>(j), 2, T, T / crit2});
  }
  return out;
}

// The most significant hypothesis; a sighting whose ratio comes within
// kSightingTie of one of its own observations wins over it.
const Candidate* Strongest(const Network& n, const std::vector<Candidate>& c) {
  const Candidate* best = nullptr;
  for (const Candidate& h : c)
    if (!best || h.ratio > best->ratio) best = &h;
  if (best && best->kind == HypKind::Observation) {
    const int s = n.Observations()[static_cast<size_t>(best->index)].sighting;
    for (const Candidate& h : c)
      if (h.kind == HypKind::Sighting && h.index == s && h.ratio >= kSightingTie * best->ratio)
        return &h;
  }
  return best;
}

// Whether the active observations H of one sighting pass their tests: each
// its own 1-degree test, and the two together their 2-degree test.
bool Passes(const Network& n, const std::vector<int>& H, double crit1, double crit2) {
  for (int i : H)
    if (n.Statistic(i, false) > crit1) return false;
  return H.size() != 2 || !(n.Statistic(H, false) > crit2);
}

bool OnceSighted(const Network& n, HypKind kind, int index) {
  if (kind == HypKind::MapTree) return false;
  const int s = kind == HypKind::Sighting ? index
                                          : n.Observations()[static_cast<size_t>(index)].sighting;
  const int map = n.Sightings()[static_cast<size_t>(s)].map;
  return n.Maps()[static_cast<size_t>(map)].sightings.size() == 1;
}

// Leaves the observations H out where every point stays determined without
// them (regular: the points' flags, kept up to date); true when they went.
bool LeaveOutIfDetermined(Network& n, const std::vector<int>& H, std::vector<char>& regular) {
  SetActive(n, H, false);
  std::vector<char> without = regular;
  n.RegularAfter(H, without);
  if (!std::all_of(without.begin(), without.end(), [](char r) { return r != 0; })) {
    SetActive(n, H, true);
    return false;
  }
  regular.swap(without);
  return true;
}

// Where an adjustment stopped with field trees on map trees they sight
// (Network::Sunk), those sightings go out, each while every point stays
// determined without it. True when any went.
bool LeaveOutSunk(Network& n, std::vector<char>& regular, std::vector<std::pair<HypKind, int>>& sunk) {
  bool left = false;
  for (int s : n.Sunk()) {
    const std::vector<int> H = HypothesisObservations(n, HypKind::Sighting, s);
    if (AllActive(n, H, false) || !LeaveOutIfDetermined(n, H, regular)) continue;
    sunk.push_back({HypKind::Sighting, s});
    left = true;
  }
  return left;
}

// Robust start: Danish reweighting by groups (a sighting, a map tree's
// coordinates), groups below kLeaveOut left out, then put back one at a
// time (or one observation of a sighting) while each passes its predicted
// test. Returns the groups that stay out. False when the network cannot be
// adjusted.
bool RobustStart(Network& n, double crit1, double crit2, std::vector<Removal>& out) {
  std::vector<Obs>& obs = n.Observations();
  const size_t S = n.Sightings().size(), M = n.Maps().size();
  // A field tree pulled onto a map tree it sights (a wrong number that
  // names the field tree's own map record, an azimuth without a distance
  // to a tree nearer than the map's error) is a sink that Gauss-Newton does
  // not leave, and the plot does not converge: where an adjustment stops,
  // such sightings go out first, and they come back only through their
  // tests below.
  std::vector<std::pair<HypKind, int>> sunk;
  std::vector<char> regular = n.Regular();
  auto adjust = [&](bool covariances) {
    bool ok = n.Adjust(true, kNetIterations, covariances);
    while (!ok && LeaveOutSunk(n, regular, sunk)) ok = n.Adjust(true, kNetIterations, covariances);
    return ok;
  };
  // The first weights come from the residuals at the start (a plain
  // adjustment with 180-degree blunders in it may not converge at all),
  // standardised by the a-priori errors alone.
  bool first = true;
  for (int it = 0; it <= kRobustIterations; ++it, first = false) {
    std::vector<double> omega(obs.size(), 1);
    for (size_t i = 0; i < obs.size(); ++i) {
      const double r = first ? 1 : std::max(n.Redundancy(static_cast<int>(i)), 0.05);
      const double u = std::fabs(n.Residuals()[i]) /
                       (first ? n.StartSigma(static_cast<int>(i)) : obs[i].sigma * std::sqrt(r));
      omega[i] = u <= kDanishC ? 1 : std::max(std::exp(-(u - kDanishC) * (u - kDanishC) / 8), kMinOmega);
    }
    auto group = [&](const std::vector<int>& H) {
      double w = 1;
      for (int i : H) w = std::min(w, omega[static_cast<size_t>(i)]);
      for (int i : H) omega[static_cast<size_t>(i)] = w;
    };
    for (size_t s = 0; s < S; ++s) group(HypothesisObservations(n, HypKind::Sighting, static_cast<int>(s)));
    for (size_t j = 0; j < M; ++j) group(HypothesisObservations(n, HypKind::MapTree, static_cast<int>(j)));
    double change = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
      change = std::max(change, std::fabs(obs[i].omega - omega[i]));
      obs[i].omega = omega[i];
    }
    // The last step's covariances are not read: what follows reads the
    // weights and the design rows only.
    const bool last = it == kRobustIterations || (!first && change < 0.01);
    if (!adjust(!last)) {
      for (Obs& o : obs) o.omega = 1;
      if (!adjust(false)) return false;
      break;
    }
    if (last) break;
  }
  // Leave out the groups weighted below kLeaveOut, the lowest first, each
  // only when every point stays determined without it (a group that would
  // leave a point free stays in; snooping tests it). Sightings out already
  // (left in a sink above) are not groups here.
  std::vector<std::pair<double, std::pair<HypKind, int>>> low;
  for (size_t s = 0; s < S; ++s) {
    const std::vector<int> H = HypothesisObservations(n, HypKind::Sighting, static_cast<int>(s));
    if (!H.empty() && !AllActive(n, H, false) && obs[static_cast<size_t>(H[0])].omega < kLeaveOut)
      low.push_back({obs[static_cast<size_t>(H[0])].omega, {HypKind::Sighting, static_cast<int>(s)}});
  }
  // A map tree sighted once cannot be told from its sighting; its sighting
  // is the group left out (the map coordinates, with the larger a-priori
  // error, take up a wrong number's misfit and would be blamed instead).
  for (size_t j = 0; j < M; ++j) {
    const MapUnknown& m = n.Maps()[j];
    const double w = obs[static_cast<size_t>(m.obsX)].omega;
    if (w >= kLeaveOut) continue;
    if (m.sightings.size() >= 2) {
      low.push_back({w, {HypKind::MapTree, static_cast<int>(j)}});
      continue;
    }
    const int s = m.sightings.front();
    if (AllActive(n, HypothesisObservations(n, HypKind::Sighting, s), false)) continue;
    auto it = std::find_if(low.begin(), low.end(), [&](const auto& g) {
      return g.second == std::pair{HypKind::Sighting, s};
    });
    if (it == low.end()) low.push_back({w, {HypKind::Sighting, s}});
    else it->first = std::min(it->first, w);
  }
  std::stable_sort(low.begin(), low.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (Obs& o : obs) o.omega = 1;
  std::vector<std::pair<HypKind, int>> out_;
  regular = n.Regular();
  for (const auto& [w, g] : low)
    if (LeaveOutIfDetermined(n, HypothesisObservations(n, g.first, g.second), regular)) out_.push_back(g);
  // A network that the leaving out made singular all the same gets its
  // groups back, the map trees first (sightings left in a sink going out
  // first as above).
  while (!n.Adjust()) {
    if (LeaveOutSunk(n, regular, sunk)) continue;
    if (out_.empty()) return false;
    std::stable_sort(out_.begin(), out_.end(), [](const auto& a, const auto& b) {
      return a.first == HypKind::MapTree && b.first != HypKind::MapTree;
    });
    SetActive(n, HypothesisObservations(n, out_.front().first, out_.front().second), true);
    out_.erase(out_.begin());
  }
  out_.insert(out_.end(), sunk.begin(), sunk.end());
  // Put back while groups pass their predicted test: in each round every
  // passing group whose field tree and map tree no other passing group of
  // the round touches (the best first), so that one adjustment serves
  // several; should that adjustment fail, only the best goes back, and
  // should that fail too, the best stays out and the others are tried on.
  // After a round that failed, a round takes at most half as many groups:
  // a group that keeps a round from converging passes its test round after
  // round (one plot had forty rounds fail, each with its best group going
  // back alone, a thousand Gauss-Newton solutions).
  std::set<int> refused;
  size_t most = std::numeric_limits<size_t>::max();
  for (;;) {
    struct Back {
      double ratio;
      std::vector<int> H;
      int field, map;
    };
    std::vector<Back> passing;
    for (const auto& [k, i] : out_) {
      std::vector<int> H = HypothesisObservations(n, k, i);
      std::vector<std::vector<int>> tries;
      for (int o : H)
        if (!obs[static_cast<size_t>(o)].active) tries.push_back({o});
      if (tries.size() == 2) tries.push_back(H);
      if (k == HypKind::MapTree) tries = {H};
      Back best{HUGE_VAL, {}, -1, -1};
      for (const std::vector<int>& t : tries) {
        if (!AllActive(n, t, false) || refused.count(t.front())) continue;
        const double T = n.Statistic(t, true);
        const double ratio = T / (t.size() == 1 ? crit1 : crit2);
        if (std::isfinite(ratio) && ratio < best.ratio) best = {ratio, t, -1, -1};
      }
      if (best.H.empty() || best.ratio > 1) continue;
      const Obs& o = obs[static_cast<size_t>(best.H[0])];
      best.field = o.field;
      best.map = o.map;
      passing.push_back(best);
    }
    if (passing.empty()) break;
    std::sort(passing.begin(), passing.end(),
              [](const Back& a, const Back& b) { return a.ratio < b.ratio; });
    std::vector<int> round;
    std::set<int> fieldsTaken, mapsTaken;
    size_t groups = 0;
    for (const Back& g : passing) {
      if (groups == most) break;
      if ((g.field >= 0 && fieldsTaken.count(g.field)) || mapsTaken.count(g.map)) continue;
      if (g.field >= 0) fieldsTaken.insert(g.field);
      mapsTaken.insert(g.map);
      round.insert(round.end(), g.H.begin(), g.H.end());
      ++groups;
    }
    n.Keep();
    SetActive(n, round, true);
    if (n.Adjust(false, kTrialIterations)) continue;
    SetActive(n, round, false);
    n.Restore();
    most = std::max<size_t>(groups / 2, 1);
    if (round.size() > passing.front().H.size()) {
      SetActive(n, passing.front().H, true);
      if (n.Adjust(false, kTrialIterations)) continue;
      SetActive(n, passing.front().H, false);
      n.Restore();
    }
    refused.insert(passing.front().H.front());
  }
  // What stays out, with its predicted statistic.
  for (const auto& [k, i] : out_) {
    const std::vector<int> H = HypothesisObservations(n, k, i);
    std::vector<int> off;
    for (int o : H)
      if (!obs[static_cast<size_t>(o)].active) off.push_back(o);
    if (off.empty()) continue;
    Removal r;
    r.kind = off.size() == 1 && k == HypKind::Sighting ? HypKind::Observation : k;
    r.index = r.kind == HypKind::Observation ? off[0] : i;
    r.degrees = static_cast<int>(off.size());
    r.statistic = n.Statistic(off, true);
    r.ratio = r.statistic / (r.degrees == 1 ? crit1 : crit2);
    r.robust = true;
    r.onceSighted = OnceSighted(n, r.kind, r.index);
    out.push_back(r);
  }
  return true;
}

// Iterative data snooping on the active network. Given the active
// observations of an adjustment that snooping has already left (back), it
// stops before a removal that would return to them, and says so: that
// adjustment is known, and no removal there is significant.
bool Snoop(Network& n, double crit1, double crit2, std::vector<Removal>& out,
           const std::vector<char>* back = nullptr) {
  std::vector<std::pair<HypKind, int>> untestable;
  int failedInARow = 0;
  for (;;) {
    std::vector<Candidate> c = Hypotheses(n, crit1, crit2);
    c.erase(std::remove_if(c.begin(), c.end(), [&](const Candidate& h) {
              return std::find(untestable.begin(), untestable.end(),
                               std::pair{h.kind, h.index}) != untestable.end();
            }), c.end());
    const Candidate* best = Strongest(n, c);
    if (!best || best->ratio <= 1 || n.Redundancy() - best->degrees < 1) return true;
    const Candidate h = *best;
    const std::vector<int> H = HypothesisObservations(n, h.kind, h.index);
    Removal r;
    r.kind = h.kind;
    r.index = h.index;
    r.degrees = h.degrees;
    r.statistic = h.statistic;
    r.ratio = h.ratio;
    r.onceSighted = OnceSighted(n, h.kind, h.index);
    // A once-sighted map tree's sighting: its whole sighting goes.
    std::vector<int> off = H;
    if (r.onceSighted && h.kind == HypKind::Observation) {
      const int s = n.Observations()[static_cast<size_t>(h.index)].sighting;
      off = HypothesisObservations(n, HypKind::Sighting, s);
      std::vector<int> still;
      for (int i : off)
        if (n.Observations()[static_cast<size_t>(i)].active) still.push_back(i);
      off = still;
    }
    SetActive(n, off, false);
    if (back && Same(n, *back)) {
      SetActive(n, off, true);
      return false;
    }
    n.Keep();  // (the adjustment, which the flags do not change until it runs)
    if (!n.Adjust(false, kTrialIterations)) {
      SetActive(n, off, true);
      untestable.push_back({h.kind, h.index});
      n.Restore();
      if (++failedInARow >= kSnoopFailures) return true;
      continue;
    }
    failedInARow = 0;
    out.push_back(r);
  }
}

// What the robust start left out was tested against a network that still
// held the errors found later: each such group (or its observations) that
// passes its predicted test in the network as snooping leaves it goes back,
// the best first, one at a time. Once everything else is settled, every
// removal is tried the same way: snooping's first ones were tested against
// a network that still held the errors it removed later. True when any
// went back.
enum class Tried { RobustStart, Every };

bool PutBackCleared(Network& n, double crit1, double crit2, Tried tried,
                    std::vector<Removal>& removed) {
  bool any = false;
  for (;;) {
    double bestRatio = 1;
    size_t best = removed.size();
    std::vector<int> bestH;
    for (size_t k = 0; k < removed.size(); ++k) {
      const Removal& r = removed[k];
      if (!r.robust && tried == Tried::RobustStart) continue;
      std::vector<int> H = HypothesisObservations(n, r.kind, r.index);
      H.erase(std::remove_if(H.begin(), H.end(),
                             [&](int i) { return n.Observations()[static_cast<size_t>(i)].active; }),
              H.end());
      if (H.empty()) continue;
      const double ratio = n.Statistic(H, true) / (H.size() == 1 ? crit1 : crit2);
      if (std::isfinite(ratio) && ratio <= bestRatio) {
        bestRatio = ratio;
        best = k;
        bestH = H;
      }
    }
    if (best == removed.size()) return any;
    n.Keep();
    SetActive(n, bestH, true);
    if (!n.Adjust(false, kTrialIterations)) {
      SetActive(n, bestH, false);
      n.Restore();
      return any;
    }
    removed.erase(removed.begin() + static_cast<std::ptrdiff_t>(best));
    any = true;
  }
}

// Comparing a whole sighting's test with one observation's by their ratios
// to the critical values favours the sighting where the field tree has few
// sightings: leaving out two observations takes up more misfit. So a removed
// whole sighting is put back while each observation of the field tree's
// other sighting in turn is left out in its place; of the exchanges under
// which every test of the field tree passes (one observation explains the
// data as well), the one with the least vTPv stands. Not where a
// replacement tree fits the sighting.
bool PreferOneObservation(Network& n, double crit1, double crit2, const PlotIndex* plotTrees,
                          std::vector<Removal>& removed) {
  bool any = false;
  const std::vector<Obs>& obs = n.Observations();
  for (Removal& r : removed) {
    if (r.kind != HypKind::Sighting || r.onceSighted) continue;
    const std::vector<int> back = HypothesisObservations(n, r.kind, r.index);
    if (!AllActive(n, back, false)) continue;
    const int field = n.Sightings()[static_cast<size_t>(r.index)].field;
    // Only a field tree left with one other sighting is open to it (with
    // more, the tests of a whole sighting and of one observation part well,
    // and each trial costs two adjustments).
    int others = 0;
    for (int si : n.Fields()[static_cast<size_t>(field)].sightings)
      if (si != r.index) {
        const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
        bool active = false;
        for (int i : {g.az, g.dist}) active = active || (i >= 0 && obs[static_cast<size_t>(i)].active);
        others += active;
      }
    // A map tree that fits in the sighting's place says the number was
    // wrong: the whole sighting is the explanation.
    if (others > kFewSightings || Suggest(n, n.Sightings()[static_cast<size_t>(r.index)], plotTrees, crit2))
      continue;
    // Each single observation of the other sightings in turn takes the
    // sighting's place (the sighting back, that observation out); the one
    // under which every test of the field tree passes with the least vTPv
    // stands. (Adjusting with the sighting back and both errors in first
    // may not converge at all where the other error is a 180-degree one.)
    // Every trial starts from the adjustment the exchange left.
    n.Keep();
    std::vector<int> candidates;
    for (int si : n.Fields()[static_cast<size_t>(field)].sightings) {
      if (si == r.index) continue;
      const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
      for (int i : {g.az, g.dist})
        if (i >= 0 && obs[static_cast<size_t>(i)].active) candidates.push_back(i);
    }
    int best = -1;
    double bestVtpv = HUGE_VAL;
    SetActive(n, back, true);
    for (int c : candidates) {
      SetActive(n, {c}, false);
      bool keep = n.Redundancy() >= 1 && n.Adjust(false, kTrialIterations);
      for (int si : n.Fields()[static_cast<size_t>(field)].sightings) {
        if (!keep) break;
        const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
        std::vector<int> H;
        for (int i : {g.az, g.dist})
          if (i >= 0 && obs[static_cast<size_t>(i)].active) H.push_back(i);
        keep = Passes(n, H, crit1, crit2);
      }
      if (keep && n.Vtpv() < bestVtpv) {
        bestVtpv = n.Vtpv();
        best = c;
        n.KeepBest();
      }
      SetActive(n, {c}, true);
      n.Restore();
    }
    if (best < 0) {
      SetActive(n, back, false);
      n.Restore();
      continue;
    }
    // The best trial's adjustment (converged within the trial's iterations,
    // an adjustment from the same start would repeat it step by step).
    SetActive(n, {best}, false);
    n.RestoreBest();
    r.kind = HypKind::Observation;
    r.index = best;
    r.degrees = 1;
    r.statistic = n.Statistic(best, true);
    r.ratio = r.statistic / crit1;
    r.robust = false;
    r.onceSighted = OnceSighted(n, r.kind, r.index);
    any = true;
  }
  return any;
}

// vTPv plus the critical value of each hypothesis left out: each removal
// is worth its place when it takes up more misfit than its test's critical
// value.
double PenalisedVtpv(const Network& n, const std::vector<Removal>& removed, double crit1,
                     double crit2) {
  double s = n.Vtpv();
  for (const Removal& r : removed) s += r.degrees == 1 ? crit1 : crit2;
  return s;
}

// Snooping removes one hypothesis at a time and never looks back, so one
// error can have others blamed in its place: a wrong number that names map
// tree M pulls M towards the tree meant, the sightings of M by the field
// trees that sight it rightly fail and go, and M's own map coordinates then
// look displaced, while the wrong sighting, now in agreement with M, stays.
// So each map tree with two or more removals (its sightings, its
// coordinates) gets them all back and snooping runs again; the outcome
// stands when it leaves less penalised vTPv. (This also finds a map tree
// displaced on the map whose sightings the robust start left out: back
// together, its coordinates are what fails.) Then the same for each field
// tree with two or more removals: one wrong sighting can pull its field
// tree so that the field tree's clean sightings fail and go, and the wrong
// one then fits.
enum class Group { MapTree, FieldTree };

void Rejoin(Network& n, double crit1, double crit2, Group by, std::vector<Removal>& removed) {
  std::vector<Obs>& obs = n.Observations();
  std::vector<char> active(obs.size());
  const size_t groups = by == Group::MapTree ? n.Maps().size() : n.Fields().size();
  for (size_t j = 0; j < groups; ++j) {
    std::vector<Removal> rest, on;
    for (const Removal& r : removed) {
      int group = -1;  // (a map tree's coordinates belong to no field tree)
      if (by == Group::MapTree)
        group = r.kind == HypKind::MapTree
                    ? r.index
                    : n.Sightings()[static_cast<size_t>(SightingOf(n, r))].map;
      else if (r.kind != HypKind::MapTree)
        group = n.Sightings()[static_cast<size_t>(SightingOf(n, r))].field;
      (group == static_cast<int>(j) ? on : rest).push_back(r);
    }
    if (on.size() < 2) continue;
    const double before = PenalisedVtpv(n, removed, crit1, crit2);
    for (size_t i = 0; i < obs.size(); ++i) active[i] = obs[i].active;
    // (Snooping keeps and restores its own trials: this one is held as the
    // best.)
    n.KeepBest();
    for (const Removal& r : on) SetActive(n, HypothesisObservations(n, r.kind, r.index), true);
    // (Snooping that returns to the removals it started from finds them
    // again: the trial stops there.)
    if (n.Adjust(false, kTrialIterations) && Snoop(n, crit1, crit2, rest, &active)) {
      if (PenalisedVtpv(n, rest, crit1, crit2) < before - 1e-6) {
        removed.swap(rest);
        continue;
      }
    }
    for (size_t i = 0; i < obs.size(); ++i) obs[i].active = active[i];
    n.RestoreBest();
  }
}

// A wrong number whose azimuth alone is removed leaves its distance in,
// and the distance holds the named map tree away from its place; the field
// trees that sight that tree rightly then fail and go. So where a removed
// observation's sighting keeps its other observation and the same map tree
// has other removals (its other sightings, its coordinates), the whole
// sighting is tried out instead, and every removal that then passes its
// predicted test goes back. The outcome stands when something went back
// and it leaves less penalised vTPv (a sighting out whole costs the
// 2-degree critical value instead of the 1-degree one).
void CompleteSightings(Network& n, double crit1, double crit2, std::vector<Removal>& removed) {
  std::vector<Obs>& obs = n.Observations();
  std::vector<char> active(obs.size());
  for (size_t k = 0; k < removed.size(); ++k) {
    const Removal r = removed[k];
    if (r.kind != HypKind::Observation) continue;
    const int s = SightingOf(n, r);
    const Sighting& g = n.Sightings()[static_cast<size_t>(s)];
    const int other = g.az == r.index ? g.dist : g.az;
    if (other < 0 || !obs[static_cast<size_t>(other)].active) continue;
    const bool shared = std::any_of(removed.begin(), removed.end(), [&](const Removal& q) {
      if (q.kind == HypKind::MapTree) return q.index == g.map;
      const int qs = SightingOf(n, q);
      return qs != s && n.Sightings()[static_cast<size_t>(qs)].map == g.map;
    });
    if (!shared) continue;
    const double before = PenalisedVtpv(n, removed, crit1, crit2);
    for (size_t i = 0; i < obs.size(); ++i) active[i] = obs[i].active;
    n.KeepBest();
    std::vector<Removal> trial = removed;
    obs[static_cast<size_t>(other)].active = false;
    if (n.Adjust(false, kTrialIterations)) {
      Removal& t = trial[k];
      t.kind = HypKind::Sighting;
      t.index = s;
      t.degrees = 2;
      t.robust = false;
      const std::vector<int> H = HypothesisObservations(n, HypKind::Sighting, s);
      t.statistic = n.Statistic(H, true);
      t.ratio = t.statistic / crit2;
      if (std::isfinite(t.statistic)) {
        const bool back = PutBackCleared(n, crit1, crit2, Tried::Every, trial);
        if (back) Snoop(n, crit1, crit2, trial);
        if (back && PenalisedVtpv(n, trial, crit1, crit2) < before - 1e-6) {
          removed.swap(trial);
          k = static_cast<size_t>(-1);  // from the start: the removals changed
          continue;
        }
      }
    }
    for (size_t i = 0; i < obs.size(); ++i) obs[i].active = active[i];
    n.RestoreBest();
  }
}

}  // namespace

bool FindGrossErrors(Network& n, double crit1, double crit2, const PlotIndex* plotTrees,
                     std::vector<Removal>& removed) {
  removed.clear();
  // The trials converge to the search's limit; the adjustment left behind
  // converges as any other.
  struct Searching {
    Network& n;
    ~Searching() { n.SetConvergence(kConvergence); }
  } searching{n};
  n.SetConvergence(kSearchConvergence);
  if (!RobustStart(n, crit1, crit2, removed)) return false;
  Snoop(n, crit1, crit2, removed);
  if (PutBackCleared(n, crit1, crit2, Tried::RobustStart, removed)) Snoop(n, crit1, crit2, removed);
  if (PreferOneObservation(n, crit1, crit2, plotTrees, removed)) Snoop(n, crit1, crit2, removed);
  Rejoin(n, crit1, crit2, Group::MapTree, removed);
  Rejoin(n, crit1, crit2, Group::FieldTree, removed);
  CompleteSightings(n, crit1, crit2, removed);
  if (PutBackCleared(n, crit1, crit2, Tried::Every, removed)) Snoop(n, crit1, crit2, removed);
  return true;
}

}  // namespace treetri::quality::net
