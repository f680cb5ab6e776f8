#include "gis/crs_list.h"

#include <ogr_srs_api.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <sstream>

namespace treetri::gis {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<CrsEntry> ReadList() {
  std::vector<CrsEntry> list;
  int count = 0;
  OSRCRSInfo** infos = OSRGetCRSInfoListFromDatabase("EPSG", nullptr, &count);
  if (!infos) return list;
  for (int i = 0; i < count; ++i) {
    const OSRCRSInfo& c = *infos[i];
    if (c.bDeprecated) continue;
    if (c.eType != OSR_CRS_TYPE_PROJECTED && c.eType != OSR_CRS_TYPE_GEOGRAPHIC_2D) continue;
    CrsEntry e;
    e.id = std::string(c.pszAuthName) + ":" + c.pszCode;
    e.name = c.pszName ? c.pszName : "";
    e.area = c.pszAreaName ? c.pszAreaName : "";
    e.geographic = c.eType == OSR_CRS_TYPE_GEOGRAPHIC_2D;
    e.hasBox = c.bBboxValid != 0;
    e.west = c.dfWestLongitudeDeg;
    e.south = c.dfSouthLatitudeDeg;
    e.east = c.dfEastLongitudeDeg;
    e.north = c.dfNorthLatitudeDeg;
    list.push_back(std::move(e));
  }
  OSRDestroyCRSInfoList(infos);
  // By code as a number: EPSG:2393 before EPSG:10000.
  auto code = [](const CrsEntry& e) { return std::stoll("0" + e.id.substr(e.id.find(':') + 1)); };
  std::stable_sort(list.begin(), list.end(),
                   [&](const CrsEntry& a, const CrsEntry& b) { return code(a) < code(b); });
  return list;
}

}  // namespace

const std::vector<CrsEntry>& KnownCrsList() {
  static std::once_flag once;
  static std::vector<CrsEntry> list;
  std::call_once(once, [] { list = ReadList(); });
  return list;
}

bool CrsMatches(const CrsEntry& entry, const std::string& search) {
  const std::string text = Lower(entry.id + " " + entry.name);
  std::istringstream words(Lower(search));
  std::string word;
  while (words >> word)
    if (text.find(word) == std::string::npos) return false;
  return true;
}

}  // namespace treetri::gis
