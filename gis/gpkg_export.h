// GeoPackage export of a run's results: the field trees, the map trees of
// the positioned plots, the sightings and the 95 % confidence ellipses as
// four layers of one GeoPackage file, written with GDAL/OGR. No Qt: the
// batch program and the desktop windows both call it, the desktop from a
// worker thread, reporting through a Feedback.
//
// The file is written under a temporary name in the target's folder and
// renamed to the target when complete, so the target name never holds a
// half-written file; an existing file of that name is replaced.
#pragma once

#include <map>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "platform/feedback.h"
#include "quality/assessment.h"

namespace treetri::gis {

// The legacy results of one case, as the results file has them. An empty
// optional is a value the results file writes as -999 (a case not set up,
// not adjusted, or without precision figures).
struct CaseResult {
  int caseNumber = 0;
  int iterations = 0;
  int plot = 0, tree = 0, species = 0;
  std::optional<double> xIni, yIni;
  std::optional<double> xAdj, yAdj;
  std::optional<double> sigmaNull, sigmaX, sigmaY;
  std::string status;  // the list status without padding blanks
};

// One tree of the photo-tree map.
struct MapTreeRecord {
  int plot = 0, tree = 0, species = 0;
  double x = 0, y = 0, z = 0;
};

// One line of the re-measure list (core/remeasure.h), as the layer
// "remeasure" takes it: the check word and the reason as text.
struct RemeasureFeature {
  int plot = 0, tree = 0, caseNumber = 0;
  std::optional<int> slot, sightedTree;
  std::string check, reason;
  std::optional<int> suggestedTree;
  std::optional<double> x, y;  // no geometry without them (a failed case)
};

// A sighting whose distance and azimuth the adjustment left out (a case's
// suspect when the case did not converge with it, or the plot network's
// removals): they have no observation lines, so the sighting record gives
// it. Exported in "sightings" without their residuals, marked left out.
struct LeftOutSighting {
  int caseNumber = 0, plot = 0, tree = 0, slot = 0, sightedTree = 0;
  bool azimuth = false, distance = false;  // what the record holds
  std::optional<double> mapX, mapY;        // the sighted map tree as the case used it
  bool suspect = false;                    // the case's suspect
};

// One line of plots.csv (the plot network), as the layer "plots" takes it:
// a polygon around the plot's trees with the file's fields.
struct PlotFeature {
  int plot = 0, fieldTrees = 0, mapTrees = 0, observations = 0, redundancy = 0;
  std::optional<double> sigma0;
  std::string globalTest;  // "pass", "fail" or ""
  std::optional<double> azimuthBias, azimuthBiasSd, azimuthBiasW;
  std::string azimuthBiasTest;  // "significant", "not significant" or ""
  int displacedMapTrees = 0, removed = 0, iterations = 0;
  bool converged = false;
};

// What the plot network found for one map tree (map_trees.csv).
struct MapTreeNetwork {
  double mapX = 0, mapY = 0, x = 0, y = 0, shift = 0, sx = 0, sy = 0;
  int sightings = 0;
  std::optional<double> test;
  bool displaced = false;
};

// Everything the export takes, in memory. The quality rows and the
// observation rows are those of quality.csv and observations.csv; a case
// without a quality row is exported with empty quality fields, its point at
// the legacy position.
struct ExportData {
  std::vector<CaseResult> results;               // one per case
  std::vector<quality::CaseAssessment> quality;      // one per case, any order
  std::vector<quality::ObservationAssessment> observations;
  std::vector<MapTreeRecord> mapTrees;           // the map trees of the positioned plots
  // The re-measure list; the layer "remeasure" is written when it is set
  // (empty: a layer without features).
  std::optional<std::vector<RemeasureFeature>> remeasure;
  // The sightings left out whole, for the layer "sightings".
  std::vector<LeftOutSighting> leftOut;
  // The plot network's plots (the layer "plots" is written when set) and
  // its map trees by (plot, tree): map_trees then takes the network's
  // adjusted coordinates, shift and test instead of the per-case means.
  std::optional<std::vector<PlotFeature>> plots;
  std::map<std::pair<int, int>, MapTreeNetwork> networkMapTrees;
  // The run record (run.json's text) of the run, for gpkg_metadata; empty:
  // none known (the metadata then says so).
  std::string runRecord;
};


enum class ExportCode { Ok, UnknownCrs, CrsMismatch, CannotWrite, Cancelled };

// The outcome: on failure, a message that names the file or the CRS text;
// on success, a warning when the layers carry no coordinate reference
// system (none was given), else empty.
struct ExportStatus {
  ExportCode code = ExportCode::Ok;
  std::string message;
  std::string warning;
  bool Ok() const { return code == ExportCode::Ok; }
};

// Checks a coordinate reference system text as the export reads it:
// "EPSG:3067", WKT, a PROJ string or any other definition GDAL accepts.
// Empty text is accepted (no CRS). UnknownCrs with a message naming the
// text otherwise. For a dialog that asks for the CRS before exporting.
ExportStatus CheckCrs(const std::string& crs);

// Writes the four layers "field_trees", "map_trees", "sightings" and
// "confidence_ellipses" (and "remeasure" and "plots" when the data hold
// them) to the GeoPackage `path` in the coordinate reference system `crs`
// (empty: none, with a warning), with coded field domains for the coded
// values and the run's metadata in gpkg_metadata. An unknown CRS writes nothing.
// `feedback`, when given, gets the features written so far of all now and
// then; once it is cancelled the export stops (Cancelled: nothing is left on
// disk, the target is untouched).
ExportStatus ExportGeoPackage(const ExportData& data, const std::string& path,
                              const std::string& crs, Feedback* feedback = nullptr);

}  // namespace treetri::gis
