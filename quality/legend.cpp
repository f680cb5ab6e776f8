#include "quality/legend.h"

#include <cmath>
#include <iterator>

#include "quality/case_quality.h"

namespace treetri::quality {

LegendColour VerdictLegendColour(Verdict v) {
  switch (v) {
    case Verdict::Ok: return {0x1a, 0x85, 0x3c};            // green
    case Verdict::Outlier: return {0xd6, 0x27, 0x28};       // red
    case Verdict::NoRedundancy: return {0xe6, 0x9f, 0x00};  // amber
    case Verdict::Failed: return {0x7b, 0x2c, 0xbf};        // violet
    case Verdict::NotComputed: break;
  }
  return {0x80, 0x80, 0x80};
}

LegendColour ConfusableLegendColour() { return {0x00, 0x9e, 0xb0}; }  // teal

LegendColour WLegendColour(std::optional<double> absW) {
  if (!absW || !std::isfinite(*absW)) return {0x90, 0x90, 0x90};
  struct Stop {
    double w;
    LegendColour c;
  };
  static const Stop stops[] = {{1.0, {0x1a, 0x85, 0x3c}},
                               {kWarningW, {0xe6, 0x9f, 0x00}},
                               {kCriticalW, {0xd6, 0x27, 0x28}}};
  const double w = std::fabs(*absW);
  if (w <= stops[0].w) return stops[0].c;
  for (size_t i = 1; i < std::size(stops); ++i) {
    if (w > stops[i].w) continue;
    const double f = (w - stops[i - 1].w) / (stops[i].w - stops[i - 1].w);
    auto mix = [f](std::uint8_t a, std::uint8_t b) {
      return static_cast<std::uint8_t>(std::lround(a + f * (b - a)));
    };
    const LegendColour& a = stops[i - 1].c;
    const LegendColour& b = stops[i].c;
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
  }
  return stops[std::size(stops) - 1].c;
}

}  // namespace treetri::quality
