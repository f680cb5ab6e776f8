// The plot network: every field tree of a plot adjusted together with every
// map tree it sights and one azimuth bias of the plot. Unknowns: X, Y of
// each field tree and of each sighted map tree, and the bias (radians, added
// to every computed azimuth). Observations: every field distance and azimuth
// (with the run's azimuth correction) and the map coordinates of the sighted
// map trees, weights 1/sigma^2. Damped Gauss-Newton with a bounded step in
// coordinates reduced to a plot origin (where its steps creep, each a steady
// share of the one before, the sum of the steps left is tried at once);
// sparse normal equations of all the unknowns (Eigen), factorised in a
// fill-reducing order over field trees and map trees alike. The
// covariances that the tests read come from the inverse of the normal
// matrix on its factor's pattern (a selected inverse), never from the
// whole inverse.
//
// Gross errors: a robust start (iteratively reweighted least squares with
// Danish weights; groups left out when their weight falls below one half,
// then put back one at a time while each passes its test), then iterative
// data snooping at alpha0 = 0.1 % over three kinds of hypothesis: one field
// observation (1 degree of freedom), one whole sighting (its distance and
// azimuth, 2) and one map tree's coordinates (2), every test at alpha0 (the
// B-method, the 2-degree tests at the 1-degree test's non-centrality, would
// test them at about 0.27 % and raise the false alarms on mature stands from
// 0.85 to 1.07 %); hypotheses are compared by their
// statistic over its critical value, and a near tie between one observation
// and its whole sighting goes to the sighting. A map tree sighted once cannot
// be told from its sighting: that hypothesis is "sighting or map tree".
// Removals stop at the redundancy, and after five in a row whose adjustment
// does not converge. A whole sighting removed from a field tree
// left with one other sighting gives way to one observation of that one when
// it alone leaves every test of the field tree passing. Then each map tree
// with two or more removals gets them back and snooping runs again; the
// outcome stands when vTPv plus the critical values of what is left out
// falls. Then the same for each field tree with two or more removals. Then
// a removed observation whose sighting keeps its other one, on a map tree
// with other removals, is tried as its whole sighting out, with what then
// passes put back (the same rule decides). Last, every removal that passes
// its predicted test goes back, and snooping runs once more.
//
// A field tree whose sightings share no map tree with another field tree of
// the plot is assessed alone (AssessCase, method "case"). A plot whose
// network cannot be adjusted (with the bias, then without) is tried once
// more without the field trees that fail or show an outlier alone; those
// are assessed alone, with the warning "left out of the plot network".
//
// The model and its adjustment are in quality/network_model.h, the search
// for gross errors in quality/network_snooping.h.
#pragma once

#include <optional>
#include <vector>

#include "quality/case_input.h"
#include "quality/case_quality.h"

namespace treetri::quality {

// The tests of data snooping: chi-square with 1 or 2 degrees of freedom,
// each at alpha0 = 0.1 %, and the non-centrality at which each detects with
// power 80 % (for 1 degree 4.13^2, the w-test's).
inline constexpr double kAlpha0 = 0.001;
inline constexpr double kPower = 0.8;
double CriticalValue(int degrees);  // 10.83 for 1, 13.82 for 2
double NonCentrality(int degrees);  // 17.07 for 1, 19.66 for 2

struct NetworkOptions {
  bool azimuthBias = true;  // false: no bias unknown (--azimuth-bias none)
};

// What the network adds to an observation line.
struct ObservationExtra {
  std::optional<int> confusableTree;        // a map tree a confusion with could not be seen
  std::optional<double> confusableDistance; // metres: the sighting's 2-degree MDB
};

struct NetworkCaseResult {
  bool network = false;  // method: "network", else "case"
  CaseQuality quality;   // the case's line and observation lines
  // Every removal of the field tree's own observations, the strongest (the
  // suspect) first; the others are also in the case's warnings.
  std::vector<RemovedSighting> removed;
  std::vector<ObservationExtra> extras;  // one per quality.observations line
  std::optional<int> runnerUp;           // the second-best replacement tree
  std::optional<double> evidence;        // its statistic minus the best one's
  int confusable = 0;                    // sightings with a confusable tree
};

struct MapTreeResult {
  int tree = 0;
  double mapX = 0, mapY = 0, x = 0, y = 0;  // map and adjusted coordinates
  double sx = 0, sy = 0;                    // of the adjusted coordinates
  int sightings = 0;                        // active sightings of the tree
  std::optional<double> test;               // the 2-degree statistic (map-tree hypothesis)
  bool displaced = false;                   // found displaced (its coordinates removed)
};

struct PlotSummary {
  int plot = 0;
  int fieldTrees = 0, mapTrees = 0, observations = 0, redundancy = 0;
  std::optional<double> sigma0;
  GlobalTest globalTest = GlobalTest::None;
  bool hasBias = false;
  double bias = 0, biasSigma = 0;  // degrees
  std::optional<double> biasW;     // bias / its standard deviation
  int displacedMapTrees = 0, removed = 0;
  int iterations = 0;  // Gauss-Newton solutions of the plot, its search for gross errors included
  bool converged = false;
};

struct PlotResult {
  PlotSummary summary;
  std::vector<NetworkCaseResult> cases;  // in the order of the input
  std::vector<MapTreeResult> mapTrees;   // the sighted map trees of the network
};

// Assesses the cases of one plot (all with the same plot number; their
// plotTrees and sigmas are taken from the first).
PlotResult AssessPlot(const std::vector<CaseInput>& cases, const NetworkOptions& options);

}  // namespace treetri::quality
