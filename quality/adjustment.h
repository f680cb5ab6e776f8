// The rigorous least-squares adjustment of one field tree's network: the
// field tree's X, Y and the X, Y of every sighted map tree are unknowns; the
// field azimuths, field distances and the map coordinates of the sighted
// trees are observations with weights 1/sigma^2. Damped Gauss-Newton in
// coordinates reduced to a local origin; the normal equations are solved by
// eliminating the map trees' unknowns (2 x 2 blocks, Eigen).
#pragma once

#include <limits>
#include <vector>

#include "quality/case_input.h"
#include "quality/assessment.h"

namespace treetri::quality {

// A sighting that takes part: a map tree with its map coordinates and the
// field observations to it.
struct NetworkSighting {
  int slot = 0;
  int tree = 0;
  double mapX = 0, mapY = 0;
  bool hasAzimuth = false;
  double azimuth = 0;  // radians clockwise from north
  bool hasDistance = false;
  double distance = 0;
};

// Iteration limits: stop when every correction is below 0.1 mm; give up after
// 50 iterations or when 30 halvings of a step do not lower vTPv.
inline constexpr double kConvergenceLimit = 1e-4;
inline constexpr int kMaxIterations = 50;
inline constexpr int kMaxHalvings = 30;

// NotBelow: converged to a vTPv at or above the bound asked for; only vtpv
// (besides iterations and redundancy) is set.
enum class AdjustStatus { Converged, NotConverged, Singular, NotBelow };

// A redundancy number at or below this is zero: the observation has no w.
inline constexpr double kZeroR = 1e-10;

// One observation of the adjusted network and its figures. Angles in
// radians; residual = adjusted - observed (wrapped to (-pi, pi] for
// azimuths); r is the redundancy number (Qvv P)ii; w the standardized
// residual, residual / (sigma sqrt(r)), NaN where r is zero.
struct AdjustedObservation {
  ObservationKind kind = ObservationKind::Azimuth;
  int sighting = 0;  // index into the network's sightings
  double observed = 0, adjusted = 0, residual = 0, sigma = 0, r = 0;
  double w = 0;
};

struct Adjustment {
  AdjustStatus status = AdjustStatus::NotConverged;
  int iterations = 0;   // Gauss-Newton solutions computed
  int redundancy = 0;   // observations - unknowns
  double x = 0, y = 0;  // field tree
  double vtpv = 0;
  // Cofactor matrix of the field tree's X, Y (a-priori unit weight).
  double qxx = 0, qxy = 0, qyy = 0;
  // Filled when converged: in order azimuth and distance of every sighting,
  // then map X of every sighting, then map Y.
  std::vector<AdjustedObservation> observations;
};

// Adjusts the network from the start position. The figures at the end (the
// position, its cofactors, the observations) are computed only where vTPv
// comes out below `figuresBelow`: a search that keeps the smallest vTPv
// needs them of no other.
Adjustment AdjustNetwork(const std::vector<NetworkSighting>& sightings, double startX,
                         double startY, const Sigmas& sigmas,
                         double figuresBelow = std::numeric_limits<double>::infinity());

}  // namespace treetri::quality
