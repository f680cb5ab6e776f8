// The quality files of a run: "quality.csv" and "observations.csv" in the
// work folder, emptied (header line only) at the start of the run, kept
// open for the whole run and appended to once after every case, so that
// both are complete on disk after each case.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "data/tables.h"
#include "platform/files.h"
#include "quality/case_quality.h"

namespace treetri::quality {

// Counts of a run: cases per verdict (indexed by Verdict) and suggested
// replacements.
struct QualitySummary {
  std::array<int, 5> verdicts{};
  int suggestions = 0;
  // Network runs: the plots written and those adjusted as a network.
  int plots = 0, networkPlots = 0;
};

// "quality: 12 ok, 3 outlier, ... ; 2 suggested replacements", in network
// runs followed by "; 4 of 5 plots adjusted as a network"
std::string SummaryText(const QualitySummary& s);

// Removes both quality files of workFolder, for a run without the quality
// layer: files of an earlier run would sit beside results they do not
// describe. False, with the reason naming the file, when one is there and
// cannot be removed.
bool RemoveQualityFiles(const std::string& workFolder, std::string& error);

class QualityRun {
 public:
  // Starts a run: writes both files in workFolder afresh with their header
  // lines and keeps them open. False, with the reason naming the file, when a
  // file cannot be written; the run then writes no quality.
  bool Begin(const std::string& workFolder, std::string& error);
  // Assesses a case and appends its lines. False, with the reason, when a
  // file could not be written; later cases are then skipped. Both files end
  // on the same whole case after every call, also after a failed write.
  // Summary() counts the cases written.
  bool AddCase(const CaseInput& in, std::string& error);
  // Closes both files.
  void End();
  // The assessment of the case last added (for observers that keep the
  // rows in memory, like the GeoPackage export); a case number of 0 when
  // that case was skipped or could not be written.
  const CaseQuality& LastCase() const { return last_; }
  const QualitySummary& Summary() const { return summary_; }

 private:
  std::string workFolder_;
  OutputFile quality_, observations_;
  bool active_ = false;
  QualitySummary summary_;
  CaseQuality last_;
};

}  // namespace treetri::quality
