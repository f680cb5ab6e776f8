// The planted-errors file of a simulation ("errors.txt"): one line per gross
// error that the simulator put into the sightings or the map, so that a run's
// findings can be checked against what is really wrong. The simulator writes
// it and the quality report reads it, both through this one layout.
//
//   Plot,Tree,Slot,Kind,TrueTree,PlantedTree,OnMap,Shift
//
// Slot counts from 1 in the field tree's sighting line. TrueTree is the map
// tree that the crew measured, PlantedTree the number the sighting file
// gives (the same tree for a blunder). OnMap is 1 when PlantedTree is on the
// plot's map, else 0. Shift, by kind:
//   wrong_tree  metres between the true positions of the two trees;
//   azimuth     the blunder added to the azimuth, in degrees (signed);
//   distance    the blunder added to the distance, in metres (signed);
//   map_shift   metres that the sighted tree's map position is off;
//   missing     none (the number is not on the plot's map).
// The crews' forms have kinds of their own: digit_slip (a wrong number that
// differs from the right one by one digit or two swapped digits; shift as
// wrong_tree), azimuth_180, slope_distance and swapped_digits (shift as
// azimuth and distance), and compass_bias: degrees added to every azimuth
// of the plot, with Tree, Slot, TrueTree and PlantedTree 0.
// Shift may be empty where OnMap is 0, and is written so.
// A map shift is listed for every sighting of the displaced tree.
#pragma once

#include <string>
#include <vector>

namespace treetri::tools {

enum class PlantedKind {
  WrongTree, Azimuth, Distance, MapShift, Missing,
  DigitSlip, AzimuthFlip, SlopeDistance, SwappedDigits, CompassBias
};
inline constexpr int kPlantedKinds = 10;
// The kind a crews' form belongs to: digit slips are wrong trees, 180-degree
// blunders azimuths, slope distances and swapped digits distances.
PlantedKind BasicKind(PlantedKind k);

// The word of the Kind column.
const char* PlantedKindWord(PlantedKind k);

struct PlantedError {
  int plot = 0, tree = 0, slot = 0;
  PlantedKind kind = PlantedKind::WrongTree;
  int trueTree = 0, plantedTree = 0;
  bool onMap = true;
  double shift = 0;  // not written when the named tree is not on the map
};

inline constexpr const char* kPlantedErrorsHeader =
    "Plot,Tree,Slot,Kind,TrueTree,PlantedTree,OnMap,Shift";

// The whole file: header, then one line per error, CR LF line ends.
std::string PlantedErrorsText(const std::vector<PlantedError>& errors);

struct PlantedErrorsFile {
  std::vector<PlantedError> errors;
  std::string problem;  // empty, or "FILE line N: what is wrong" of the first bad line
};

// Reads the file's text; `fileName` names it in the problem. A file whose
// first line is not the header, or with a line that is not such a record,
// gives a problem (the lines before it are kept).
PlantedErrorsFile ParsePlantedErrors(const std::string& text, const std::string& fileName);

}  // namespace treetri::tools
