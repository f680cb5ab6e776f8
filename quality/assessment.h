// The assessments of the quality layer, apart from any file: a case's
// verdict, position, ellipse, suspect and suggestion, and each observation's
// residual, redundancy number and test, from the per-case adjustment or the
// plot network. quality/quality_files.h maps them to and from the lines of
// quality.csv and observations.csv.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quality/legacy_figures.h"

namespace treetri::quality {

// Verdict of a case.
enum class Verdict { Ok, Outlier, NoRedundancy, Failed, NotComputed };
// Kind of one observation.
enum class ObservationKind { Azimuth, Distance, MapX, MapY };
// Kind of a case's suspect: one observation, a whole sighting (its distance
// and azimuth together; per case: left out because the case did not
// converge with it), both coordinates of a map tree (displaced on the map;
// plot network only) or, for a map tree sighted once, either of the last two
// (they cannot be told apart).
enum class SuspectKind { None, Azimuth, Distance, MapX, MapY, Sighting, MapTree, SightingOrMapTree };
// How well an observation is controlled by the others (redundancy number).
enum class Control { Controlled, Weak, Uncontrolled };
// The global test of vTPv at 95 %.
enum class GlobalTest { None, Pass, Fail };

// The suspect kind of an observation kind.
SuspectKind SuspectKindOf(ObservationKind k);

// What the quality layer says of one case (a line of quality.csv). Empty
// optionals: no value (an empty field in the file). Units: metres,
// azimuths in degrees. The writers set usedSightings, iterations and
// converged on every line (0, 0 and false where no adjustment ran), so that
// those columns have no gaps; redundancy is empty where the case has none
// (not computed, or fewer observations than unknowns).
struct CaseAssessment {
  int caseNumber = 0;
  int plot = 0;
  int tree = 0;
  int species = 0;
  std::string legacyStatus;
  LegacyFigures legacy;  // the case's figures of the results file
  std::optional<int> usedSightings;
  std::optional<int> redundancy;
  std::optional<int> iterations;
  std::optional<bool> converged;
  std::optional<double> x, y;
  std::optional<double> sigma0;
  GlobalTest globalTest = GlobalTest::None;
  std::optional<double> sx, sy;
  std::optional<double> ellipseA, ellipseB, ellipseAzimuth;
  std::optional<double> conf95A, conf95B;
  std::optional<double> maxW;
  SuspectKind suspectKind = SuspectKind::None;
  std::optional<int> suspectTree;
  std::optional<double> suspectW, suspectGrossError;
  std::optional<int> suggestedTree;
  std::optional<double> suggestedSigma0;
  Verdict verdict = Verdict::NotComputed;
  std::string warnings;
  // The columns of a plot network run (kQualityNetworkColumns): set when the
  // line has them. network: method "network", else "case"; confusable: the
  // case's sightings with a confusable tree (empty for method "case").
  struct NetworkFigures {
    bool network = false;
    std::optional<int> runnerUp;
    std::optional<double> evidence;
    std::optional<int> confusable;
  };
  std::optional<NetworkFigures> networkFigures;
};

// One observation as the adjustment used it (a line of observations.csv).
// Azimuths hold degrees in observed, adjusted, residual, sigma, gross_error
// and mdb; the others metres.
struct ObservationAssessment {
  int caseNumber = 0;
  int plot = 0;
  int tree = 0;
  int slot = 0;
  int sightedTree = 0;
  ObservationKind kind = ObservationKind::Azimuth;
  double observed = 0, adjusted = 0, residual = 0, sigma = 0;
  double redundancyNumber = 0;
  std::optional<double> w, grossError, mdb;  // empty where r is zero
  Control control = Control::Controlled;
  // Of a plot network run (kObservationNetworkColumns), where the line has
  // them: a map tree a confusion with could not be seen, and the sighting's
  // smallest detectable displacement (metres).
  std::optional<int> confusableTree;
  std::optional<double> confusableDistance;
};

// A removal of a field tree's own observations by the plot network beside
// its suspect (kind: azimuth, distance, sighting or sighting_or_map_tree;
// statistic: its test value in chi-square units). The files carry it in the
// case's warnings.
struct RemovedSighting {
  int slot = 0, tree = 0;
  SuspectKind kind = SuspectKind::Sighting;
  double statistic = 0;
};
// The slot of a case's suspect observation among observation lines (lines
// of other cases are passed over): the line of the suspect's kind and tree;
// of a tree sighted twice, the line whose w is nearest the suspect's, the
// first on a tie. 0 when there is none: no suspect, or a whole sighting left
// out of the adjustment (it has no observation lines).
int SuspectSlot(const CaseAssessment& row, const std::vector<ObservationAssessment>& observations);

}  // namespace treetri::quality
