// The quality layer as an observer of a run: it empties "quality.csv" and
// "observations.csv" when the run starts (after the results file) and
// appends every case's lines after the case's results line. Both programs
// attach it; the batch program's --no-quality makes it remove the files.
#pragma once

#include <memory>
#include <string>

#include "core/run.h"
#include "quality/network_writer.h"
#include "quality/quality_writer.h"

namespace treetri {

class Feedback;

class QualityObserver : public RunHooks {
 public:
  // The files go to session.WorkFolder as it is when the run starts; a file
  // that cannot be written is reported through `feedback` (the run's) and
  // the run goes on without the quality files. Without `write`, the run
  // writes none and removes those of an earlier run when it starts.
  QualityObserver(const Session& session, Feedback& feedback, bool write = true)
      : session_(session), feedback_(feedback), write_(write) {}
  // The plot network instead of the per-case layer: every case is kept and
  // the files are written plot by plot when the run ends; Assessed() then
  // has no case.
  void UseNetwork(const quality::NetworkOptions& options) {
    network_ = true;
    networkOptions_ = options;
  }
  bool OnRunStart(const RunSettings& settings, std::string& message) override;
  void OnCaseDone(const CaseReport& report) override;
  void OnRunEnd(bool completed) override;
  // quality.csv and observations.csv (written, or removed without `write`).
  void DeclareFiles(const Tables& t, std::vector<RunFile>& files) const override;
  // The assessment of case caseNumber when it is the case last observed and
  // was assessed, else nullptr.
  const quality::CaseQuality* Assessed(int caseNumber) const {
    const quality::CaseQuality& q = run_.LastCase();
    return q.row.caseNumber == caseNumber && caseNumber > 0 ? &q : nullptr;
  }
  // Whether the last run began its quality files (false while no run has
  // started, as when it stopped at its parameters).
  bool Began() const { return began_; }
  // The verdict counts of the last run.
  const quality::QualitySummary& Summary() const {
    return network_ ? networkRun_.Summary() : run_.Summary();
  }

 private:
  const Session& session_;
  Feedback& feedback_;
  bool write_;
  bool began_ = false;
  // The map trees of each plot, built at the run's first case.
  std::unique_ptr<quality::PlotMaps> maps_;
  quality::QualityRun run_;
  bool network_ = false;
  quality::NetworkOptions networkOptions_;
  quality::NetworkRun networkRun_;
};

}  // namespace treetri
