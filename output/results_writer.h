// The results writer: after each case one line is appended to "mapdata.txt",
// one to the results file (after its header for case 1) and one to the
// results list.
#pragma once

#include <string>

#include "output/results_format.h"
#include "platform/files.h"
#include "positioning/legacy_figures.h"
#include "positioning/tables.h"

namespace treetri {

class UserInterface;
class Feedback;


// A run's two line files, kept open from case to case, and the texts of a
// case reused from one to the next. A file that could not be written is
// reported once and left alone for the rest of the run.
struct OutputState {
  // Names the results file (emptied at once: false with the reason when it
  // cannot be) and "mapdata.txt" in `folder` (opened at its first line).
  bool Open(const std::string& resultsFile, const std::string& folder, std::string& error);

  bool resultsFileFailed = false;
  bool mapDataFailed = false;
  OutputFile results, mapData;
  std::string resultsText, mapDataText, listText;
};

// The status text of the current case (" OK ", " ? ", "???? Point N
// erroneous?", "UNCHECKED" or "FAILED: reason").
std::string CaseStatus(const Tables& t, int caseNumber);

// The case fields of the results line of case caseNumber as values: those
// the line writes as -999 are empty, and so are X_ini and Y_ini where the
// case made no initial approximation (the line repeats the case before's
// there). TypeOfIni without its padding blanks.
LegacyFigures LegacyFiguresOf(const TargetTree& tree, const std::array<double, kTauCount>& tau,
                              const CaseWork& c, int iterations);

// The three texts of a case, built in memory.
std::string MapDataLine(const Tables& t, int caseNumber);
std::string ResultsHeaderLine(const Tables& t, int caseNumber);
std::string ResultsLine(const Tables& t, int caseNumber, int iterations);
std::string ListLine(const Tables& t, int caseNumber, int iterations);
// The same lines appended to `line`.
void AppendMapDataLine(std::string& line, const Tables& t, int caseNumber);
void AppendResultsLine(std::string& line, const Tables& t, int caseNumber, int iterations);
void AppendListLine(std::string& line, const Tables& t, int caseNumber, int iterations,
                    const std::string& status);

// Writes the case to the two files and the list and returns the case's
// status text. Every line ends with CR LF; each file is complete on disk
// when the call returns.
// Its own write failures go to `feedback` with the case number.
std::string WriteCaseResults(const Tables& t, UserInterface& ui, Feedback& feedback,
                             int caseNumber, int iterations, OutputState& state);

}  // namespace treetri
