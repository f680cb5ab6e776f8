// Checks of text in the forms the results writer produces: a results file
// and "mapdata.txt". Each returns the problems found, every one naming the
// line and field; an empty list means the text is well formed. Used by
// treetri-check, which tells a user whether files left by an interrupted run
// are intact, and by the fuzz targets, which check the list and the dump
// files with the same parts.
#pragma once

#include <string>
#include <vector>

#include "output/results_format.h"

namespace treetri {

std::vector<std::string> CheckResultsText(const std::string& text);
std::vector<std::string> CheckMapDataText(const std::string& text);

// The parts of the checks. The text in quotes, control bytes as \xHH.
std::string QuotedText(const std::string& s);
// The lines of a file the program writes (each ends with CR LF); a last line
// cut short or a stray line end is a problem.
std::vector<std::string> WrittenLines(const std::string& text, std::vector<std::string>& problems);
// A problem when the text holds "nan" or "inf" in any case.
void NoNonFiniteWords(const std::string& where, const std::string& text,
                      std::vector<std::string>& problems);
// Field forms from `first` on: 'i' integer, '0'..'5' fixed with that many
// decimals or "-999", 'b' a flag word.
void CheckFields(const std::string& where, const std::vector<std::string>& fields, size_t first,
                 const std::string& forms, std::vector<std::string>& problems);

}  // namespace treetri
