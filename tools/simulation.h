// Simulated forest plots: a photo-tree map with coordinate errors, field
// sightings (tree number, distance, azimuth) from field trees to their
// nearest map trees, the run's parameter file and the true positions.
//
// The model, plot by plot:
//  - plot centres on a square grid (`plotSpacing` apart) from the origin;
//  - 20 to 60 map trees drawn uniformly in a disc of `plotRadius`, at least
//    2 m apart, numbered 1..n; their map coordinates are the true ones plus
//    normal errors of `mapError` per axis;
//  - the plot's field trees drawn in the same disc, at least 1 m from every
//    other tree, numbered 1001, 1002, ...; none of them is on the map;
//  - each field tree sights 2 to 5 of its nearest map trees (nearest first):
//    distance = true distance + N(0, distanceError), written in cm; azimuth =
//    true azimuth (clockwise from north) + N(0, azimuthErrorDeg), in 0.1°;
//  - a share of the distances and of the azimuths is missing (-1), never both
//    of one slot, and every field tree keeps at least one slot with both;
//  - a share of the field trees carries one gross error: an azimuth off by
//    20° to 90° either way, or the number of another map tree of the plot;
//  - with `anomalies`: one map tree of plot 1 is listed a second time at the
//    end of the map with other coordinates (a remeasurement), and one field
//    tree gets an extra slot whose tree number exists only in another plot;
//  - then the planted gross errors of `planting` (none by default): map trees
//    displaced, and sightings given the number of a nearby map tree, an
//    azimuth blunder or a distance blunder, at most one of these per slot;
//    with `crewErrors` these take the forms crews make: the wrong number names
//    the unsighted map tree nearest the measured one (or is a digit slip of
//    the right number), an azimuth blunder is 180 degrees or 10-40 degrees, a
//    distance blunder is a slope distance taken as horizontal or two swapped
//    digits; last a compass bias added to every azimuth of a share of plots.
//
// With `stand.realistic` the trees of a plot are not drawn one by one in a
// fixed disc: the whole stand (map and field trees) is drawn at the stand's
// density in a disc just large enough, uniform, clustered (groups of about
// six trees within 4 m) or regular (a jittered square grid), and the larger
// trees are the mapped ones: the map trees are the first trees drawn (they
// get the map's heights), the rest are the field trees.
//
// Every random number comes from one Rng seeded with `seed`, drawn in a fixed
// order, so the same options always give the same files. The planted errors
// draw from a second generator, so that they leave the rest of the data as it
// is without them. Every gross error, built-in or planted, and the anomalous
// slot are recorded in the planted-errors file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/parameter_file.h"
#include "quality/case_input.h"
#include "tools/planted_errors.h"

namespace treetri::tools {

inline constexpr int kMaxSimulatedCases = 2000;  // the sighting table's room
inline constexpr int kMaxSimulatedPlots = 90;    // keeps the map under 5700 records
inline constexpr int kMaxCasesPerPlot = 150;
inline constexpr int kMaxSightings = 5;
inline constexpr int kFirstFieldTreeNumber = 1001;

// Gross errors planted on top of the simulated data. Rates are shares: of
// the sightings (wrong tree), of the observed azimuths and distances, and of
// the map trees (displacement; the remeasured tree is never displaced).
// Blunder sizes are drawn uniformly between their least and largest value.
struct PlantingOptions {
  double wrongTree = 0, azimuth = 0, distance = 0, mapShift = 0;
  double wrongTreeRadius = 5.0;  // m: the tree given instead stands this near the true one
  // Least and largest blunder size.
  double azimuthSize[2] = {10, 45};  // degrees, either sign
  double distanceSize[2] = {1, 5};   // metres, either sign
  double mapShiftSize[2] = {1, 5};   // metres, in any direction
  // Crews' forms of the blunders (off: the uniform sizes above).
  bool crewErrors = false;
  double nearestShare = 0.8;       // wrong numbers naming the nearest tree; the rest digit slips
  double flipShare = 0.3;          // azimuth blunders that are 180 degrees
  double slopeShare = 0.5;         // distance blunders that are slope distances
  double slopeDeg[2] = {8, 25};    // the slope of those, degrees
  // A compass bias of MIN..MAX degrees, either sign, on this share of plots.
  double compassBias = 0;
  double compassBiasSize[2] = {1, 3};
  bool Any() const {
    return wrongTree > 0 || azimuth > 0 || distance > 0 || mapShift > 0 || compassBias > 0;
  }
};

enum class StandPattern { Uniform, Clustered, Regular };
// The pattern a word names ("uniform", "clustered", "regular"); false for
// any other word.
bool ParseStandPattern(const std::string& word, StandPattern& pattern);

// A realistic stand (see above); off by default.
struct StandOptions {
  bool realistic = false;
  StandPattern pattern = StandPattern::Uniform;
  double density = 600;  // trees per hectare, mapped and field trees together
  double spacing = 1.5;  // least distance between two trees, metres
};

struct SimulationOptions {
  std::uint64_t seed = 1;
  int plots = 3;
  int cases = -1;  // field trees in all; below 0: 40 per plot
  double originX = 3400000.0, originY = 6900000.0;
  double plotSpacing = 200.0;
  double plotRadius = 25.0;
  int minMapTrees = 20, maxMapTrees = 60;
  double mapError = 0.3;           // metres, per axis
  double distanceError = 0.05;     // metres
  double azimuthErrorDeg = 1.0;    // degrees
  double missingShare = 0.05;      // per slot, for the distance and for the azimuth
  double grossAzimuthShare = 0.02; // per field tree
  double wrongTreeShare = 0.01;    // per field tree
  bool anomalies = true;
  PlantingOptions planting;
  StandOptions stand;
  std::string resultsFileName = "results.txt";

  int TotalCases() const { return cases < 0 ? 40 * plots : cases; }
  // Error-free data: no coordinate or measurement errors, nothing missing,
  // no built-in gross errors and no anomalies (planted errors stay).
  void MakeClean();
  // The realistic settings of a mature (600 trees/ha, regular) or a dense
  // young stand (2500 trees/ha, clustered): map error 0.5 m, 3 % missing
  // values, no built-in errors, crews' errors (wrong numbers 3 % of the
  // sightings, azimuth and distance blunders 2 % each, map trees displaced
  // 1.5-4 m 3 %, a compass bias of 1-3 degrees on half of the plots).
  void MakeRealistic(bool young);
};

// Empty when the options can be simulated, else what is wrong.
std::string CheckOptions(const SimulationOptions& o);

struct MapTree {
  int plot = 0, tree = 0, species = 0;
  double trueX = 0, trueY = 0;  // where the tree stands
  double mapX = 0, mapY = 0;    // as the map gives it
  double z = 0, height = 0, crownDiameter = 0, dbh = 0;
  int code = 1;                 // field 17: 1 measured, 2 remeasured
  double shift = 0;             // metres that the map position is displaced by a planted error
};

enum class SlotKind { Good, GrossAzimuth, GrossDistance, WrongTree, ForeignTree };
// The crews' form of a gross error (Plain: a uniform size, or none).
enum class BlunderForm { Plain, Flip, Slope, SwappedDigits, DigitSlip };

struct SimulatedSighting {
  int tree = 0;            // the number written in the file
  double distance = -1;    // as written (rounded), -1 when not observed
  double azimuth = -1;     // degrees, as written, -1 when not observed
  int measuredIndex = -1;  // index into SimulatedData::map of the tree actually measured
  SlotKind kind = SlotKind::Good;
  BlunderForm form = BlunderForm::Plain;
  // The gross error: degrees or metres added to the azimuth or distance;
  // for a wrong tree, metres between the named and the measured tree.
  double shift = 0;
};

struct FieldTree {
  int plot = 0, tree = 0, species = 0;
  double trueX = 0, trueY = 0;
  std::vector<SimulatedSighting> slots;  // NPA = slots.size(), 1 to 5
};

struct SimulatedPlot {
  int plot = 0;
  double centreX = 0, centreY = 0;
  int mapTrees = 0;
  double compassBias = 0;  // degrees added to every azimuth of the plot
};

struct SimulationSummary {
  int mapRecords = 0, fieldTrees = 0, slots = 0;
  int missingDistances = 0, missingAzimuths = 0;
  int grossAzimuths = 0, grossDistances = 0, wrongTrees = 0, foreignTrees = 0;
  int shiftedMapTrees = 0;
  int duplicatedPlot = 0, duplicatedTree = 0;  // 0 when no duplicate was made
};

struct SimulatedData {
  SimulationOptions options;
  std::vector<SimulatedPlot> plots;
  std::vector<MapTree> map;  // in file order; the duplicate record is last
  std::vector<FieldTree> fieldTrees;
  SimulationSummary summary;
};

// Simulates the data set; the options must pass CheckOptions.
SimulatedData SimulatePlots(const SimulationOptions& options);

// The four files' texts. Every line ends with CR LF.
std::string MapFileText(const SimulatedData& d);        // 17 fields per record
std::string SightingFileText(const SimulatedData& d);   // 19 fields per record
std::string ParameterFileText(const SimulatedData& d);  // SimulationInputParameters2.txt
std::string TruthFileText(const SimulatedData& d);      // header, then Plot,Tree,X,Y

// The gross errors of the data, plot, field tree and slot in order.
std::vector<PlantedError> PlantedErrors(const SimulatedData& d);

// Every field tree's quality input (in the order of d.fieldTrees) as a run
// builds it from the data set's files: the map coordinates of a tree
// number's last record, the plot's map trees for the wrong-tree search, the
// parameter file's standard errors, no azimuth correction and no start
// position.
std::vector<quality::CaseInput> QualityInputs(const SimulatedData& d);

inline constexpr const char* kSimMapFile = "map.txt";
inline constexpr const char* kSimSightingFile = "sightings.txt";
inline constexpr const char* kSimParameterFile = kParameterFileName;
inline constexpr const char* kSimTruthFile = "truth.txt";
inline constexpr const char* kSimErrorsFile = "errors.txt";

// The path of the file `name` in `folder` (a '/' between them unless the
// folder is empty or already ends with one).
std::string PathInFolder(const std::string& folder, const char* name);

// Writes the five files into `folder` (created when missing). False, with
// the reason, when a file cannot be written.
bool WriteSimulationFiles(const SimulatedData& d, const std::string& folder, std::string& error);

// Azimuth in degrees, clockwise from north, in [0, 360), of the direction
// from (x1, y1) to (x2, y2).
double AzimuthDegrees(double x1, double y1, double x2, double y2);

}  // namespace treetri::tools
