// The plot network's files: the columns it adds to "quality.csv" and
// "observations.csv", and its own "plots.csv" (one line per plot) and
// "map_trees.csv" (one line per sighted map tree of a plot network). The
// column lists and formatters; the quality files' own columns come first,
// as quality/quality_files.h writes them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quality/plot_network.h"
#include "quality/quality_files.h"

namespace treetri::quality {

inline constexpr const char* kPlotsFileName = "plots.csv";
inline constexpr const char* kMapTreesFileName = "map_trees.csv";

inline constexpr std::array<const char*, 15> kPlotsColumns = {
    "plot",         "field_trees",     "map_trees",      "observations",
    "redundancy",   "sigma0",          "global_test",    "azimuth_bias",
    "azimuth_bias_sd", "azimuth_bias_w", "azimuth_bias_test", "displaced_map_trees",
    "removed",      "iterations",      "converged"};
inline constexpr std::array<const char*, 12> kMapTreesColumns = {
    "plot", "tree", "map_x", "map_y", "x", "y", "shift", "sx", "sy", "sightings", "test",
    "displaced"};

// Header lines and lines, CR LF at the end. Units: metres, degrees; the
// numbers fixed-point as in the quality files (coordinates 4 decimals,
// statistics 3, angles 5).
std::string NetworkQualityHeaderLine();
std::string NetworkObservationHeaderLine();
std::string PlotsHeaderLine();
std::string MapTreesHeaderLine();
std::string FormatNetworkQualityLine(const NetworkCaseResult& c);
std::string FormatNetworkObservationLine(const ObservationAssessment& o, const ObservationExtra& e);
std::string FormatPlotLine(const PlotSummary& p);
std::string FormatMapTreeLine(int plot, const MapTreeResult& m);

// One line of plots.csv and of map_trees.csv as read back (for the
// GeoPackage export); optionals are empty fields.
struct PlotLine {
  int plot = 0, fieldTrees = 0, mapTrees = 0, observations = 0, redundancy = 0;
  std::optional<double> sigma0;
  GlobalTest globalTest = GlobalTest::None;
  std::optional<double> azimuthBias, azimuthBiasSd, azimuthBiasW;
  std::string azimuthBiasTest;  // "significant", "not significant" or ""
  int displacedMapTrees = 0, removed = 0, iterations = 0;
  bool converged = false;
};
struct MapTreeLine {
  int plot = 0, tree = 0;
  double mapX = 0, mapY = 0, x = 0, y = 0, shift = 0, sx = 0, sy = 0;
  int sightings = 0;
  std::optional<double> test;
  bool displaced = false;
};
ParseStatus ParsePlotLine(std::string_view line, PlotLine& out);
ParseStatus ParseMapTreeLine(std::string_view line, MapTreeLine& out);

// What a run of the plot network wrote besides the quality files:
// plots.csv and map_trees.csv.
struct NetworkFiles {
  std::vector<PlotLine> plots;
  std::vector<MapTreeLine> mapTrees;
};
// Reads the two files in workFolder (a name ending in its separator); on
// failure the status names the file, the line and the column.
FileReadStatus ReadNetworkFiles(const std::string& workFolder, NetworkFiles& out);

// A case of the network as its lines read back: the quality row and the
// observation rows with the network's columns set, as the readers of
// quality/quality_files.h give them.
CaseQuality NetworkCaseQuality(const NetworkCaseResult& c);

}  // namespace treetri::quality
