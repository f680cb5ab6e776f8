#include "gis/crs_check.h"

#include <cpl_error.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <memory>

#include "platform/text.h"

namespace treetri::gis {
namespace {

bool AllOf(const std::string& s, int (*test)(int)) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [test](unsigned char c) { return test(c) != 0; });
}

int IsCodeChar(int c) { return std::isalnum(c) || c == '_' || c == '.' || c == '-'; }

// A code of an authority: all digits when it begins with one ("3067", or
// "3067+5717" for a compound system), else letters, digits, '_', '.', '-'.
bool CodeWhole(const std::string& code) {
  if (code.empty()) return false;
  if (std::isdigit(static_cast<unsigned char>(code[0]))) {
    const size_t plus = code.find('+');
    if (plus == std::string::npos) return AllOf(code, [](int c) { return std::isdigit(c); });
    return AllOf(code.substr(0, plus), [](int c) { return std::isdigit(c); }) &&
           AllOf(code.substr(plus + 1), [](int c) { return std::isdigit(c); });
  }
  return AllOf(code, IsCodeChar);
}

// The position just after the bracket that closes WKT's first one (quoted
// text skipped); npos when the brackets do not close.
size_t WktEnd(const std::string& s) {
  int depth = 0;
  bool quoted = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '[' || c == '(') ++depth;
    if (c == ']' || c == ')') {
      if (--depth == 0) return i + 1;
      if (depth < 0) return std::string::npos;
    }
  }
  return std::string::npos;
}

bool Blank(const std::string& s, size_t from) {
  return std::all_of(s.begin() + static_cast<std::ptrdiff_t>(std::min(from, s.size())), s.end(),
                     [](unsigned char c) { return std::isspace(c) != 0; });
}

std::string Fixed(double v, int decimals) {
  std::string s;
  if (!AppendFixedDecimals(s, v, decimals)) s = std::isnan(v) ? "nan" : v < 0 ? "-inf" : "inf";
  return s;
}

std::string Degrees(double lo, double hi, char positive, char negative) {
  auto one = [&](double v) { return Fixed(std::fabs(v), 2) + "° " + (v < 0 ? negative : positive); };
  return lo == hi ? one(lo) : one(lo) + " to " + one(hi);
}

std::string Metres(const PlaneExtent& e) {
  return "X " + Fixed(e.minX, 2) + " to " + Fixed(e.maxX, 2) + ", Y " + Fixed(e.minY, 2) + " to " +
         Fixed(e.maxY, 2);
}

// The area's name without its closing full stop, followed by ": ".
std::string AreaName(const char* area) {
  if (!area || !*area) return std::string();
  std::string name = area;
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name + ": ";
}

}  // namespace

bool CrsTextWhole(const std::string& crs, std::string& error) {
  bool whole = false;
  const size_t bracket = crs.find_first_of("[(");
  const size_t colon = crs.find(':');
  if (!crs.empty() && crs[0] == '{') {
    whole = crs.find_last_not_of(" \t\r\n") == crs.rfind('}');  // PROJJSON, parsed strictly
  } else if (!crs.empty() && crs[0] == '+') {
    // A PROJ string: "+key" or "+key=value" items, nothing else.
    whole = true;
    size_t i = 0;
    while (i < crs.size()) {
      if (std::isspace(static_cast<unsigned char>(crs[i]))) {
        ++i;
        continue;
      }
      const size_t end = crs.find_first_of(" \t", i);
      const std::string item = crs.substr(i, end == std::string::npos ? std::string::npos : end - i);
      if (item.size() < 2 || item[0] != '+' || !std::isalpha(static_cast<unsigned char>(item[1])))
        whole = false;
      i = end == std::string::npos ? crs.size() : end;
    }
  } else if (bracket != std::string::npos && (colon == std::string::npos || bracket < colon)) {
    const size_t end = WktEnd(crs);
    whole = end != std::string::npos && Blank(crs, end);
  } else if (crs.rfind("urn:ogc:def:crs:", 0) == 0 || crs.rfind("http://www.opengis.net/", 0) == 0 ||
             crs.rfind("https://www.opengis.net/", 0) == 0) {
    const size_t last = crs.find_last_of(":/");
    whole = CodeWhole(crs.substr(last + 1));
  } else if (colon != std::string::npos) {
    whole = AllOf(crs.substr(0, colon), [](int c) { return std::isalpha(c); }) &&
            CodeWhole(crs.substr(colon + 1));
  } else {
    whole = AllOf(crs, [](int c) { return std::isalnum(c); });  // "WGS84", "NAD83"
  }
  if (!whole)
    error = "The coordinate reference system \"" + crs +
            "\" is not a definition read whole (such as EPSG:2393, WKT or a PROJ string): "
            "text after the definition would be ignored. No GeoPackage is written.";
  return whole;
}

ExportStatus CheckCrsFitsExtent(const std::string& crs, const PlaneExtent& extent, bool force) {
  ExportStatus status;
  if (crs.empty() || extent.empty) return status;
  OGRSpatialReference srs;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool parsed = srs.SetFromUserInput(
                          crs.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS) ==
                      OGRERR_NONE;
  CPLPopErrorHandler();
  if (!parsed) return status;  // an unknown text is the caller's CheckCrs's to refuse
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  const char* nameText = srs.GetName();
  const std::string named =
      "\"" + crs + "\"" + (nameText && *nameText ? " (" + std::string(nameText) + ")" : "");
  std::string problem;
  if (srs.IsGeographic()) {
    if (extent.minX < -180 || extent.maxX > 180 || extent.minY < -90 || extent.maxY > 90)
      problem = "the map's coordinates (" + Metres(extent) +
                ") are not longitudes within ±180° and latitudes within ±90°, as the geographic "
                "system " + named + " needs";
  } else if (srs.IsProjected()) {
    std::unique_ptr<OGRSpatialReference> geographic(srs.CloneGeogCS());
    geographic->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    CPLPushErrorHandler(CPLQuietErrorHandler);
    std::unique_ptr<OGRCoordinateTransformation> toGeographic(
        OGRCreateCoordinateTransformation(&srs, geographic.get()));
    std::array<double, 5> x = {extent.minX, extent.maxX, extent.minX, extent.maxX,
                               (extent.minX + extent.maxX) / 2};
    std::array<double, 5> y = {extent.minY, extent.minY, extent.maxY, extent.maxY,
                               (extent.minY + extent.maxY) / 2};
    std::array<int, 5> ok{};
    const bool transformed =
        toGeographic && toGeographic->Transform(5, x.data(), y.data(), nullptr, ok.data());
    CPLPopErrorHandler();
    bool allFinite = transformed;
    for (int i = 0; i < 5 && allFinite; ++i)
      allFinite = ok[i] && std::isfinite(x[i]) && std::isfinite(y[i]);
    if (!allFinite) {
      problem = "the map's coordinates (" + Metres(extent) +
                ") cannot be transformed from " + named + " to longitude and latitude";
    } else {
      const double lonLo = *std::min_element(x.begin(), x.end());
      const double lonHi = *std::max_element(x.begin(), x.end());
      const double latLo = *std::min_element(y.begin(), y.end());
      const double latHi = *std::max_element(y.begin(), y.end());
      double west = 0, south = 0, east = 0, north = 0;
      const char* area = nullptr;
      if (srs.GetAreaOfUse(&west, &south, &east, &north, &area)) {
        const double m = kAreaOfUseMarginDegrees;
        // An area that crosses the antimeridian has west > east.
        const bool lonInside = west <= east ? lonLo >= west - m && lonHi <= east + m
                                            : lonLo >= west - m || lonHi <= east + m;
        if (!lonInside || latLo < south - m || latHi > north + m)
          problem = "the map's coordinates (" + Metres(extent) + ") lie at " +
                    Degrees(lonLo, lonHi, 'E', 'W') + ", " + Degrees(latLo, latHi, 'N', 'S') +
                    " in " + named + ", outside its area of use (" +
                    AreaName(area) +
                    Degrees(west, east, 'E', 'W') + ", " + Degrees(south, north, 'N', 'S') + ")";
      }
    }
  }
  if (problem.empty()) return status;
  if (force) {
    status.warning = "Warning: " + problem + "; exported in it as --force-crs asks.";
    return status;
  }
  status.code = ExportCode::CrsMismatch;
  status.message = "The coordinate reference system does not fit: " + problem +
                   ". Give the system of the map's coordinates, or --force-crs to use this one "
                   "anyway. No GeoPackage is written.";
  return status;
}

}  // namespace treetri::gis
