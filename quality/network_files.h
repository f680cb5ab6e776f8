// The plot network's files: the columns it adds to "quality.csv" and
// "observations.csv", and its own "plots.csv" (one line per plot) and
// "map_trees.csv" (one line per sighted map tree of a plot network). The
// column lists and formatters; the quality files' own columns come first,
// as quality/quality_files.h writes them.
#pragma once

#include <array>
#include <string>

#include "quality/plot_network.h"

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
std::string FormatNetworkObservationLine(const ObservationRow& o, const ObservationExtra& e);
std::string FormatPlotLine(const PlotSummary& p);
std::string FormatMapTreeLine(int plot, const MapTreeResult& m);

// A case of the network as its lines read back: the quality row and the
// observation rows with the network's columns set, as the readers of
// quality/quality_files.h give them.
CaseQuality NetworkCaseQuality(const NetworkCaseResult& c);

}  // namespace treetri::quality
