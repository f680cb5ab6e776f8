// The results writer: after each case one line is appended to "mapdata.txt",
// one to the results file (after its header for case 1) and one to the
// results list.
#pragma once

#include <string>

#include "output/results_format.h"
#include "positioning/tables.h"

namespace treetri {

class UserInterface;


// What a run knows about its output files: a file that could not be written
// is reported once and left alone for the rest of the run.
struct OutputState {
  bool resultsFileFailed = false;
  bool mapDataFailed = false;
};

// The status text of the current case (" OK ", " ? ", "???? Point N
// erroneous?", "UNCHECKED" or "FAILED: reason").
std::string CaseStatus(const Tables& t, int caseNumber);

// The three texts of a case, built in memory.
std::string MapDataLine(const Tables& t, int caseNumber);
std::string ResultsHeaderLine(const Tables& t, int caseNumber);
std::string ResultsLine(const Tables& t, int caseNumber, int iterations);
std::string ListLine(const Tables& t, int caseNumber, int iterations);

// Writes the case to the two files and the list and returns the case's
// status text. Every line ends with CR LF; each file is complete on disk
// when the call returns.
std::string WriteCaseResults(const Tables& t, UserInterface& ui, int caseNumber, int iterations,
                             OutputState& state);

}  // namespace treetri
