// The export's data gathered from a positioning run: the legacy results of
// a case as the run leaves them, and the map trees of the plots that were
// positioned. The batch program and the desktop program collect with these
// after each case.
#pragma once

#include <string>
#include <vector>

#include "data/tables.h"
#include "gis/gpkg_export.h"
#include "positioning/case_result.h"
#include "quality/case_quality.h"

namespace treetri::gis {

// The legacy results of a computed case with its list status (padding
// blanks are dropped). A value the results file writes as -999 is empty.
CaseResult CaseResultOf(const LegacyCaseResult& legacy, const std::string& status);

// Every map tree of the plots of `results`, in map order.
std::vector<MapTreeRecord> MapTreesOfPlots(const Table<PhotoTree>& photoTrees,
                                           const std::vector<CaseResult>& results);

// The sightings that the adjusted cases of `data` left out: a sighting of a
// map tree that was found on the map and measured, whose distance and
// azimuth have no observation lines (a whole sighting as the suspect, or
// the plot network's removals; the map tree's coordinates may still be
// there), taken from the field trees' records (TargetTrees, by case
// number) and appended to data.leftOut. The first such sighting of the
// suspect's tree is the case's suspect.
void AddLeftOutSightings(ExportData& data, const Table<TargetTree>& targetTrees);

// The export of a run's quality read back from its files (the cases with
// the legacy figures quality.csv repeats), with the map trees of their
// plots and, given the field trees' records, the sightings left out.
ExportData ExportDataFromQuality(const std::vector<quality::CaseQuality>& cases,
                                 const Table<PhotoTree>& photoTrees,
                                 const Table<TargetTree>* targetTrees = nullptr);

// Replaces the quality of `data` (an export gathered while a run of the plot
// network went, with the legacy results only) by what the network wrote in
// the work folder: quality.csv and observations.csv (with the network's
// columns), plots.csv and map_trees.csv. False, with a message naming the file and
// the line, when one of them cannot be read.
bool AddNetworkFiles(ExportData& data, const std::string& workFolder, std::string& error);

}  // namespace treetri::gis
