// Checks of a coordinate reference system before anything is exported in
// it: the text read whole (nothing GDAL would quietly ignore), and the map's
// coordinates against the system (a geographic system needs degrees, a
// projected one must put them inside its area of use).
#pragma once

#include <string>

#include "data/plane_extent.h"
#include "gis/gpkg_export.h"

namespace treetri::gis {

// Whether `crs` is a definition read whole: "AUTH:CODE" with nothing after
// the code (a code that begins with a digit is all digits, "EPSG:3067+5717"
// names a compound system), an OGC URN or URL, a PROJ string of "+key=value"
// items, WKT with nothing after its last bracket, PROJJSON, or a name of
// letters and digits such as "WGS84". False, with a message naming the
// text, otherwise.
bool CrsTextWhole(const std::string& crs, std::string& error);

// The bounding box of coordinates in the map's system: PlaneExtent of
// data/plane_extent.h.

// How far outside its area of use (in degrees) a projected system is still
// taken to fit: an area of use ends where the next zone begins, and a plot
// near the border is measured in the zone of its region.
inline constexpr double kAreaOfUseMarginDegrees = 1.0;

// Checks that the coordinates of `extent` can be in the system `crs`
// (already known to be valid): for a geographic system, longitudes within
// ±180 and latitudes within ±90; for a projected one, the corners and the
// centre of the extent, transformed to geographic coordinates, inside the
// system's area of use widened by kAreaOfUseMarginDegrees. A system without
// an area of use (a bare PROJ string) is only checked for a transformation.
// A mismatch is CrsMismatch with a message naming the system and the
// coordinates; with `force` it passes with that text as the warning. An
// empty `crs` or extent passes.
ExportStatus CheckCrsFitsExtent(const std::string& crs, const PlaneExtent& extent, bool force);

}  // namespace treetri::gis
