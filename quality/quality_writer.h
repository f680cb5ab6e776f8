// The quality files of a run: "quality.csv" and "observations.csv" in the
// work folder, emptied (header line only) at the start of the run and
// appended to after every case, so that both are complete on disk after
// each case.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "data/tables.h"
#include "quality/case_quality.h"

namespace treetri::quality {

// Counts of a run: cases per verdict (indexed by Verdict) and suggested
// replacements.
struct QualitySummary {
  std::array<int, 5> verdicts{};
  int suggestions = 0;
};

// "quality: 12 ok, 3 outlier, ... ; 2 suggested replacements"
std::string SummaryText(const QualitySummary& s);

class QualityRun {
 public:
  // Starts a run: takes the map trees of every plot from t and writes both
  // files afresh with their header lines. False, with the reason naming the
  // file, when a file cannot be written; the run then writes no quality.
  bool Begin(const Tables& t, std::string& error);
  // Assesses case caseNumber from the tables as the run leaves them after
  // that case and appends its lines. legacyStatus is the case's list status
  // (padding blanks are dropped). False, with the reason, when a file could
  // not be written; later cases are then skipped.
  bool AddCase(const Tables& t, int caseNumber, const std::string& legacyStatus,
               std::string& error);
  bool Active() const { return active_; }
  const QualitySummary& Summary() const { return summary_; }

 private:
  std::unique_ptr<PlotMaps> maps_;
  std::string qualityPath_, observationsPath_;
  bool active_ = false;
  QualitySummary summary_;
};

}  // namespace treetri::quality
