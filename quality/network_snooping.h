// The search for gross errors in a plot network: a robust start, iterative
// data snooping over three kinds of hypothesis (one observation, one whole
// sighting, one map tree's coordinates) and the steps that look back at what
// the snooping removed (quality/plot_network.h says them in order), and the
// wrong-tree suggestion for a removed sighting. Works on a Network
// (quality/network_model.h), switching its observations off and on.
#pragma once

#include <optional>
#include <vector>

#include "quality/assessment.h"
#include "quality/map_index.h"
#include "quality/network_model.h"

namespace treetri::quality::net {

// The three kinds of hypothesis: one field observation, one whole sighting,
// one map tree's coordinates.
enum class HypKind { Observation, Sighting, MapTree };

// A hypothesis left out of the adjustment, with its test when it went.
struct Removal {
  HypKind kind = HypKind::Observation;
  int index = 0;  // observation, sighting or map unknown
  double statistic = 0, ratio = 0;
  int degrees = 1;
  bool robust = false;     // left out by the robust start
  bool onceSighted = false;  // its map tree has no other sighting
};

// The observations of a hypothesis; whether H are all active (or all not);
// the active sightings of a map tree (with at least one active observation).
std::vector<int> HypothesisObservations(const Network& n, HypKind kind, int index);
bool AllActive(const Network& n, const std::vector<int>& H, bool active);
int ActiveSightings(const Network& n, int map);

// A removal's suspect kind and its sighting (a map tree's coordinates have
// none: not to be asked).
SuspectKind KindOf(const Network& n, const Removal& r);
int SightingOf(const Network& n, const Removal& r);

struct Suggestion {
  int tree = 0;
  double statistic = 0;
  std::optional<int> runnerUp;
  std::optional<double> evidence;
};

// The map trees of the plot near the point that sighting g's observations
// give from its adjusted field tree, tried in its place by their predicted
// test; the best when it passes, with the runner-up.
std::optional<Suggestion> Suggest(const Network& n, const Sighting& g, const PlotIndex* plotTrees,
                                  double crit2);

// Every step of the search, from the network as built to the removals that
// stand (crit1, crit2: the critical values of the 1- and 2-degree tests).
// The network is left adjusted without them, converged to the search's
// limit (kSearchConvergence: Adjust() takes it on to kConvergence). False
// when the network cannot be adjusted.
bool FindGrossErrors(Network& n, double crit1, double crit2, const PlotIndex* plotTrees,
                     std::vector<Removal>& removed);

}  // namespace treetri::quality::net
