// Reading back a results file and comparing its positions with the true
// ones of a simulation.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace treetri::tools {

// The value that a results line holds where a case has no number.
inline constexpr double kMissingValue = -999.0;

// The fields of one results line that the comparison needs.
struct ResultCase {
  int caseNumber = 0;
  int plot = 0, tree = 0;
  double xAdj = kMissingValue, yAdj = kMissingValue;
  double sigmaX = kMissingValue, sigmaY = kMissingValue;
  bool HasPosition() const { return xAdj != kMissingValue && yAdj != kMissingValue; }
  // The status the results writer gives such a case would be " OK ".
  bool StatusOk() const {
    return HasPosition() && sigmaX != kMissingValue && sigmaY != kMissingValue &&
           sigmaX <= 0.5 && sigmaY <= 0.5;
  }
};

struct ResultsFile {
  std::vector<ResultCase> cases;
  bool headerSeen = false;
  int skippedLines = 0;               // lines that are no readable case
  std::vector<std::string> problems;  // the first few reasons, "line 7: ..."
};

// Reads a results file's text: an optional header line starting with "Case",
// then one line per case: Case, NumofIte, Plot-id, Tree-id, Sp, X_ini, Y_ini,
// X_adj, Y_adj, SigmaNull, SigmaX, SigmaY, Tau, NPA, NumOfObs, 14 fields per
// slot, TypeOfIni. Blank lines are passed over; a line that is too short or
// whose Plot-id, Tree-id, X_adj, Y_adj, SigmaX or SigmaY is not a number is
// skipped and counted.
ResultsFile ParseResultsText(const std::string& text);

struct TruthFile {
  std::map<std::pair<int, int>, std::pair<double, double>> positions;  // (plot, tree) -> (x, y)
  int skippedLines = 0;
  int duplicates = 0;  // a repeated (plot, tree) keeps its first position
  std::vector<std::string> problems;
};

// The truth file of a simulation ("truth.txt"): this header, then one
// Plot,Tree,X,Y line per field tree. The simulator writes it; the reader
// takes a first line that is no such record as the header.
inline constexpr const char* kTruthHeader = "Plot,Tree,X,Y";
TruthFile ParseTruthText(const std::string& text);

struct ErrorStatistics {
  int cases = 0;         // cases read from the results
  int withPosition = 0;  // cases whose X_adj and Y_adj are numbers
  int matched = 0;       // of those, found in the truth
  int notInTruth = 0;
  int statusOk = 0;
  double median = 0, rmse = 0, mean = 0, max = 0;  // position error in metres, over matched
  double okRmse = 0;                               // over matched cases with status OK
  int okMatched = 0;
  double OkShare() const { return cases > 0 ? static_cast<double>(statusOk) / cases : 0.0; }
};

ErrorStatistics ComputeErrorStatistics(const ResultsFile& results, const TruthFile& truth);

// The median of the values (the mean of the two middle ones for an even
// count); 0 for none.
double Median(std::vector<double> values);

// The report that treetri-errors prints.
std::string FormatReport(const ResultsFile& results, const TruthFile& truth,
                         const ErrorStatistics& s);

}  // namespace treetri::tools
