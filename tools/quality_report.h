// The quality report of a run: the verdicts of its quality.csv and, against
// the truth of a simulation, how well the planted gross errors were found.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "quality/assessment.h"
#include "tools/planted_errors.h"

namespace treetri::tools {

// A run's quality files, as read from its work folder.
struct QualityFileContents {
  std::vector<quality::CaseAssessment> cases;
  std::vector<quality::ObservationAssessment> observations;
  bool observationsRead = false;  // observations.csv is optional
  std::vector<std::string> warnings;  // a last case cut short by a stopped run, left out
};

// Reads both files as one unit (quality::ReadQualityRun). False, with a
// message naming the file, the line and the column, when quality.csv is
// missing, a line of either file is bad or a case is given twice.
bool ReadQualityFiles(const std::string& folder, QualityFileContents& run, std::string& error);

// What a simulation folder says about each field tree.
struct TruthCase {
  double x = 0, y = 0;      // true position
  int redundancy = 0;       // observations minus unknowns of the whole case
  double searchRadius = 0;  // the wrong-tree search's margin plus the largest observed distance
};

struct SimulationTruth {
  std::map<std::pair<int, int>, TruthCase> cases;                     // (plot, tree)
  std::map<std::pair<int, int>, std::pair<double, double>> mapTrees;  // map position used
  std::vector<PlantedError> errors;
};

// Reads truth.txt, errors.txt, map.txt and sightings.txt of a simulation
// folder. False, with a message naming the file and the line, when one is
// missing or bad.
bool ReadSimulationTruth(const std::string& folder, SimulationTruth& truth, std::string& error);

// hits of `of`.
struct Share {
  int hits = 0, of = 0;
  void Count(bool hit) {
    ++of;
    hits += hit;
  }
};

struct DetectionFigures {
  Share outlier;  // the case's verdict is "outlier"
  Share named;    // its suspect is the sighting of the planted tree
};

struct QualityFigures {
  int verdicts[5] = {};  // by quality::Verdict
  int suggestions = 0;
  int observations = 0, weak = 0, uncontrolled = 0, beyondCritical = 0;

  bool withTruth = false;
  int matched = 0, notInTruth = 0, clean = 0;
  DetectionFigures byKind[4];  // wrong tree, azimuth, distance, map shift (crews' forms within)
  DetectionFigures byForm[kPlantedKinds];  // by the planted kind as errors.txt names it
  DetectionFigures all;
  Share soleWrongTree;       // wrong tree the only gross error, redundancy >= 3: outlier
  Share soleWrongTreeRight;  // of those with the true tree within reach: suggested right
  Share suggestionsRight;    // suggested replacements that name the measured tree
  Share falseAlarms;         // clean cases tested (ok or outlier) that are "outlier"
  Share insideConf95;        // clean cases with an ellipse that hold the true position
  // Plot network runs (observations.csv with the confusable columns):
  bool withConfusable = false;
  Share wrongCaughtOrConfusable;  // wrong trees named as suspect or their sighting marked
  Share missedConfusable;         // wrong trees not named whose sighting is marked
};

// `truth` may be null (then only the run's own figures).
QualityFigures ComputeQualityFigures(const QualityFileContents& run, const SimulationTruth* truth);

// The text that treetri-quality-report prints.
std::string FormatQualityReport(const QualityFigures& f);

// Whether (x, y) lies inside the ellipse centred at (cx, cy) with semi-axes
// a and b, a in the direction `azimuthDeg` (clockwise from north).
bool InsideEllipse(double x, double y, double cx, double cy, double a, double b,
                   double azimuthDeg);

}  // namespace treetri::tools
