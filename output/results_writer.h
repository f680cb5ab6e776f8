// The results writer: after each case one line is appended to "mapdata.txt",
// one to the results file (after its header for case 1) and one to the
// results list.
#pragma once

#include <string>

#include "output/results_format.h"
#include "platform/files.h"
#include "data/tables.h"
#include "positioning/case_result.h"

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

  std::string resultsName, mapDataName;
  bool resultsFileFailed = false;
  bool mapDataFailed = false;
  bool mapDataChecked = false;  // its unfinished last line, if any, cut off
  OutputFile results, mapData;
  std::string resultsText, mapDataText, listText;
};

// The status text of a case (" OK ", " ? ", "???? Point N erroneous?",
// "UNCHECKED" or "FAILED: reason").
std::string CaseStatus(const LegacyCaseResult& r);

// The results header for a case like `r` (one block per slot).
std::string ResultsHeaderLine(const LegacyCaseResult& r);
// The three lines of a case appended to `line`; the results line takes its
// Tau from the run's table.
void AppendMapDataLine(std::string& line, const LegacyCaseResult& r);
void AppendResultsLine(std::string& line, const LegacyCaseResult& r, const RunSettings& settings);
void AppendListLine(std::string& line, const LegacyCaseResult& r, const std::string& status);

// Writes the case to the two files and the list and returns the case's
// status text. Every line ends with CR LF; each file is complete on disk
// when the call returns.
// Its own write failures go to `feedback` with the case number.
std::string WriteCaseResults(const LegacyCaseResult& r, const RunSettings& settings,
                             UserInterface& ui, Feedback& feedback, OutputState& state);

}  // namespace treetri
