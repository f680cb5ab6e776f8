// The coordinate reference systems the PROJ database knows (through GDAL),
// for a list the user searches: the EPSG systems that a plane or a
// geographic map can be in (projected and geographic 2-D), not deprecated,
// by code.
#pragma once

#include <string>
#include <vector>

namespace treetri::gis {

struct CrsEntry {
  std::string id;    // "EPSG:2393", as the export takes it
  std::string name;  // "KKJ / Finland Uniform Coordinate System"
  std::string area;  // the area of use's name, "" when PROJ has none
  bool geographic = false;
  bool hasBox = false;  // the area of use's box, degrees
  double west = 0, south = 0, east = 0, north = 0;
};

// Read from the database once per process; empty when it cannot be read.
const std::vector<CrsEntry>& KnownCrsList();

// Whether every word of `search` (blank-separated, case-insensitive in
// ASCII) is in the entry's id or name.
bool CrsMatches(const CrsEntry& entry, const std::string& search);

}  // namespace treetri::gis
