// The quality assessment of one case: the rigorous adjustment, its global
// test, the per-observation figures, data snooping, the leave-one-out
// adjustments of a case that does not converge, the wrong-tree search and
// the verdict, as the lines of the two quality files.
#pragma once

#include <vector>

#include "quality/case_input.h"
#include "quality/assessment.h"

namespace treetri::quality {

// Test limits: Baarda's w-test at alpha0 = 0.1 % (two-sided), the minimal
// detectable bias factor for that test with 80 % power, the global test at
// 95 %, the control classes and the wrong-tree search radius beyond the
// largest observed distance.
inline constexpr double kCriticalW = 3.29;
inline constexpr double kMdbFactor = 4.13;
inline constexpr double kGlobalTestLevel = 0.95;
inline constexpr double kConf95Factor = 2.447746830680816;  // sqrt(chi2(2, 0.95))
inline constexpr double kUncontrolledR = 0.01;
inline constexpr double kWeakR = 0.1;
inline constexpr double kSearchMargin = 5.0;
// The wrong-tree search tries every map tree within its radius when there
// are at most this many; beyond, the kSearchCandidates trees nearest to
// where the suspect sighting puts its tree (a crowded plot costs no more
// than an ordinary one).
inline constexpr size_t kSearchAll = 64;
inline constexpr size_t kSearchCandidates = 32;

// The error ellipse of a point from its cofactors (x east, y north, as the
// adjustment gives them): sx, sy, the semi-axes, the azimuth of the major axis
// in degrees within [0, 180) and the 95 % semi-axes, set in `row`. The case
// assessment and the plot network both use it.
void SetPointEllipse(double qxx, double qxy, double qyy, CaseAssessment& row);

struct CaseQuality {
  CaseAssessment row;
  std::vector<ObservationAssessment> observations;
};

// Adjustments made by AssessCase, for tests and benchmarks that count work.
struct AssessCount {
  long adjustments = 0;
};

CaseQuality AssessCase(const CaseInput& in, AssessCount* count = nullptr);

// Appends a warning to a case's warnings ("; " between two).
void AddWarning(std::string& warnings, const std::string& w);

}  // namespace treetri::quality
