// The colours of the plot map's legend, shared by the plot map's drawing
// and the styles of the exported GeoPackage, so both look alike: a colour
// for every verdict, and the |w| scale from green (up to 1) over amber (at
// kWarningW) to red (the critical value and above).
#pragma once

#include <cstdint>
#include <optional>

#include "quality/assessment.h"

namespace treetri::quality {

struct LegendColour {
  std::uint8_t r = 0, g = 0, b = 0;
};

LegendColour VerdictLegendColour(Verdict v);
// Grey where w does not exist.
LegendColour WLegendColour(std::optional<double> absW);
// |w| from which a sighting line is drawn in the warning colour.
inline constexpr double kWarningW = 2.0;

// The plot network's marks: a sighting marked confusable (another map tree
// lies nearer its map tree than the network could detect a confusion) and
// that other tree; a field tree with such sightings is ringed in it.
LegendColour ConfusableLegendColour();
inline constexpr const char* kConfusableSightingText = "confusable sighting";
inline constexpr const char* kConfusableTreeText = "confusable tree";

}  // namespace treetri::quality
