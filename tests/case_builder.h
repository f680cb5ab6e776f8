// Builds tables for the positioning tests: map trees, field trees with
// their sightings, run parameters and the input files of a whole run.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "positioning/tables.h"

namespace treetri::testing {

struct Sighting {
  int tree = 0;
  double distance = -1;  // -1: not observed
  double azimuth = -1;   // degrees, -1: not observed
};

// Distance and azimuth (degrees clockwise from north) from one point to
// another, as a field crew would measure them.
inline Sighting Sight(int tree, double fromX, double fromY, double toX, double toY,
                      bool withDistance = true, bool withAzimuth = true) {
  const double dx = toX - fromX, dy = toY - fromY;
  double az = std::atan2(dx, dy) * 180.0 / 3.14159265358979323846;
  if (az < 0) az += 360;
  return Sighting{tree, withDistance ? std::hypot(dx, dy) : -1, withAzimuth ? az : -1};
}

// One record of a map file: 17 fields.
std::string MapRecord(int plot, int tree, int species, double x, double y);
// One record of a sighting file: 19 fields (missing slots are 0,-1,-1).
std::string SightingRecord(int plot, int tree, int species, int npa,
                           const std::vector<Sighting>& slots);
// The same records from the texts of their fields, as a file may hold them;
// sighting slots as "tree,distance,azimuth".
std::string MapRecordText(int plot, int tree, int species, const std::string& x, const std::string& y,
                          const std::string& z = "0");
std::string SightingRecordText(int plot, int tree, int species, int npa, std::vector<std::string> slots);
// A parameter file in the usual layout.
struct Parameters {
  std::string resultsFile = "results.txt";
  double azimuthCorrection = 0;
  double sigmaMapX = 0.3, sigmaMapY = 0.3;
  double sigmaDistance = 0.05;
  double sigmaAzimuth = 0.0175;
  int blockRows = 0;
};
std::string ParameterFile(const Parameters& p);

// Puts a field tree straight into the tables, as the sighting reader would
// after looking its sighted trees up in `map` (index = tree number).
struct MapPoint {
  int tree;
  double x, y;
};
void AddTarget(Tables& t, int plot, int tree, int npa, const std::vector<Sighting>& slots,
               const std::vector<MapPoint>& map);
void SetParameters(Tables& t, const Parameters& p);

}  // namespace treetri::testing
