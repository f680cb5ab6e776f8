// The re-measure list for the field crew, "FILE.csv": every field tree that
// still needs a visit, with the sighting to check, what to measure and why,
// sorted by plot. Built from a run's quality rows and the corrections that
// were applied; the desktop program exports it, treetri-batch --remeasure
// writes it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/corrections.h"
#include "data/tables.h"
#include "gis/gpkg_export.h"
#include "quality/assessment.h"

namespace treetri {

inline constexpr std::array<const char*, 10> kRemeasureColumns = {
    "plot", "tree", "case", "slot", "sighted_tree", "check", "reason", "suggested_tree", "x", "y"};

// What to measure again: "tree number", "distance", "azimuth", "sighting"
// (distance and azimuth of the slot, or every sighting of a failed case),
// "position" (the map tree's position).
enum class RemeasureCheck { TreeNumber, Distance, Azimuth, Sighting, Position };
const char* RemeasureCheckWord(RemeasureCheck c);

// One line of the list. x, y: the field tree's adjusted position (quality
// layer), where the crew finds it; empty for a failed case.
struct RemeasureRow {
  int plot = 0, tree = 0, caseNumber = 0;
  std::optional<int> slot, sightedTree;
  RemeasureCheck check = RemeasureCheck::Sighting;
  std::string reason;
  std::optional<int> suggestedTree;
  std::optional<double> x, y;
};

// The field trees needing a visit: outlier cases of a field tree that no
// applied correction (net of its undo lines) touches, sightings that a plot
// network run marked confusable (observation lines with a confusable tree;
// check "tree number"; a sighting whose slot an applied correction changed
// is left out; the mark of an outlier's suspect sighting joins its line), a
// network run's other removals of an outlier case (its warnings), each map
// tree a network run found displaced (once, check "position"), and failed or
// not computed cases. `input` (optional) finds the slot of a sighting that
// was left out of the adjustment. Sorted by plot, tree, case and slot.
std::vector<RemeasureRow> BuildRemeasureList(const std::vector<quality::CaseAssessment>& rows,
                                             const std::vector<quality::ObservationAssessment>& obs,
                                             const std::vector<Correction>& corrections,
                                             const InputData* input);

// The file: header and one line per row, CR LF, coordinates to 4 decimals.
std::string RemeasureText(const std::vector<RemeasureRow>& rows);
// Writes the list to `path` (a name the user chose; an existing file is
// replaced whole). False, with the message naming the file, on failure.
bool WriteRemeasureFile(const std::string& path, const std::vector<RemeasureRow>& rows,
                        std::string& error);

// The list as the GeoPackage's layer "remeasure" takes it.
std::vector<gis::RemeasureFeature> RemeasureFeatures(const std::vector<RemeasureRow>& rows);

// The list of the last run in `workFolder`: its quality files read back,
// the corrections it applied and the sightings of `input`, written to
// `path`. False, with the message naming the file, when a quality file
// cannot be read or the list cannot be written.
bool WriteRemeasureFileOfRun(const InputData& input, const std::string& workFolder,
                             const std::vector<Correction>& corrections, const std::string& path,
                             std::string& error);

}  // namespace treetri
