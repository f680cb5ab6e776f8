// The case figures of one results line as plain values: what the quality
// files repeat in their legacy_ columns (beside the list status), so that
// nobody has to read the results file for them. A figure that the results
// file writes as -999 is empty here.
#pragma once

#include <optional>
#include <string>

namespace treetri {

struct LegacyFigures {
  int iterations = 0;                  // NumofIte
  std::optional<double> xIni, yIni;    // X_ini, Y_ini: empty where no approximation was made
  std::optional<double> x, y;          // X_adj, Y_adj: empty for a failed case
  std::optional<double> sigma0;        // SigmaNull: empty without precision figures
  std::optional<double> sx, sy;        // SigmaX, SigmaY, metres
  std::optional<double> tau;           // Tau: the critical value of the case's test
  int sightings = 0;                   // NPA, the sighting slots of the field tree
  int observations = 0;                // NumOfObs, 0 for a case that was not set up
  std::string initial;                 // TypeOfIni: "POLAR", "INTERSEC" or "NONE"
};

}  // namespace treetri
