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

// The export of a run's quality read back from its files (the cases
// without their legacy figures, which only a run has), with the map trees
// of their plots.
ExportData ExportDataFromQuality(const std::vector<quality::CaseQuality>& cases,
                                 const Table<PhotoTree>& photoTrees);

}  // namespace treetri::gis
