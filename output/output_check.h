// Checks of text in the forms the results writer produces: a results file,
// "mapdata.txt", a results-list line and a dump file. Each returns the
// problems found, every one naming the line and field; an empty list means
// the text is well formed. Used by treetri-check, which tells a user whether
// files left by an interrupted run are intact, and by the fuzz targets.
#pragma once

#include <string>
#include <vector>

#include "output/results_format.h"

namespace treetri {

std::vector<std::string> CheckResultsText(const std::string& text);
std::vector<std::string> CheckMapDataText(const std::string& text);
std::vector<std::string> CheckListLine(const std::string& line);
std::vector<std::string> CheckDumpText(const std::string& text);

}  // namespace treetri
