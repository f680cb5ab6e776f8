// What the quality adjustment of one case needs, as plain data: the field
// tree, its sightings, the start position, the plot's map trees and the
// standard errors. Built from the run's tables by the adapter below, or by
// hand in tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/tables.h"
#include "positioning/case_work.h"
#include "positioning/legacy_figures.h"
#include "quality/map_index.h"

namespace treetri::quality {

// One sighting slot of the field tree.
struct InputSighting {
  int slot = 0;
  int tree = 0;        // sighted tree number
  bool onMap = false;  // found on the map of the plot
  double mapX = 0, mapY = 0;
  bool hasAzimuth = false;
  double azimuth = 0;  // degrees clockwise from north, azimuth correction applied
  bool hasDistance = false;
  double distance = 0;  // metres
};

// A-priori standard errors: the azimuth in radians, the others in metres.
struct Sigmas {
  double azimuth = 0, distance = 0, mapX = 0, mapY = 0;
};

struct CaseInput {
  int caseNumber = 0;
  int plot = 0, tree = 0, species = 0;
  std::string legacyStatus;              // without padding blanks
  LegacyFigures legacy;                  // the case's figures of the results file
  bool computed = true;                  // false: the run could not compute the case
  std::vector<InputSighting> sightings;  // the sighting slots in slot order
  bool hasStart = false;                 // false: start from the mean of the sighted trees
  double startX = 0, startY = 0;
  // The map trees of the plot, for the wrong-tree search (shared by the
  // plot's cases; null: none).
  std::shared_ptr<const PlotIndex> plotTrees;
  Sigmas sigmas;
};

// A case's list status without the blanks that pad it (" OK " gives "OK"),
// as legacyStatus and the exported status hold it.
std::string LegacyStatusText(const std::string& listStatus);

// The input of case caseNumber (field tree `target`) as the run leaves it
// right after that case: the sightings and their map coordinates, the
// azimuth correction used (in `parameters`), the case's initial
// approximation from `work` (unless it failed) and the standard errors.
// legacyStatus is the case's list status, `legacy` its results line's figures.
CaseInput CaseInputFromRun(int caseNumber, const TargetTree& target,
                           const RunParameters& parameters, const CaseWork& work,
                           const PlotMaps& maps, const std::string& legacyStatus,
                           const LegacyFigures& legacy);

}  // namespace treetri::quality
