// The layout of one record of the sighting file, shared by its reader and by
// the writer of the corrected sighting file: 19 fields, plot, field tree,
// species, NPA, then five slots of sighted tree, distance (metres) and
// azimuth (degrees), -1 for a quantity not measured.
#pragma once

#include <string>

#include "data/field_reader.h"
#include "data/plot_tree_index.h"
#include "data/tables.h"

namespace treetri {

inline constexpr int kSightingRecordFields = 19;
// A distance or azimuth of this value or less was not measured.
inline constexpr double kNotMeasured = -1;

// Reads the 19 fields of one record into plot, tree, species, NPA and the
// five slots' tree numbers, distances and azimuths; false, with the error,
// at the first field that cannot be read.
bool ReadSightingRecord(FieldReader& in, TargetTree& t, FieldError& err);

// The record as one line of the file: the 19 fields separated by commas,
// numbers without locale in their shortest form that reads back to the same
// value, CR LF at the end.
std::string SightingRecordLine(const TargetTree& t);

// A distance or azimuth as SightingRecordLine writes it ("7.26", "-1").
std::string SightingNumberText(double value);

// Looks slots 1 to min(NPA, 5) up in the map of the field tree's plot
// (`index` built over `map`): the sighted trees' coordinates and species,
// the flags of the quantities measured and their counts. Earlier look-ups of
// the record are cleared first, so a record whose tree numbers or values
// changed can be looked up again.
void AttachSightedTrees(TargetTree& t, const Table<PhotoTree>& map, const PlotTreeIndex& index);

}  // namespace treetri
