// An edited case computed again in memory, for the desktop program's edits:
// the legacy pipeline and the quality assessment of one case, with the
// settings the last run used (its AzimuthCorrection, random addition
// included). No file is written and nothing is shown; the files change only
// with the next full run.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/corrections.h"
#include "positioning/case_result.h"
#include "positioning/tables.h"
#include "quality/case_quality.h"
#include "quality/plot_network.h"

namespace treetri {

// One case as a run would compute it.
struct RecomputedCase {
  int caseNumber = 0;
  LegacyCaseResult legacy;
  std::string status;    // the list status (" OK ", "FAILED: NPA", ...)
  std::string listLine;  // the results list line
  quality::CaseQuality quality;
};

class CaseRecomputer {
 public:
  // Keeps its own copy of `input` (the sightings as the last run used them,
  // corrections included) and of the settings of that run.
  CaseRecomputer(const InputData& input, const RunSettings& lastRun);
  ~CaseRecomputer();
  CaseRecomputer(const CaseRecomputer&) = delete;
  CaseRecomputer& operator=(const CaseRecomputer&) = delete;

  // The sightings with the edits applied so far.
  const InputData& Input() const { return t_; }
  const RunParameters& Parameters() const { return t_.Parameters; }

  // Applies one edit to the copy (the rules of ApplyCorrection); `caseNumber`
  // is the case it changed. False, changing nothing, when it does not match.
  bool Apply(const Correction& c, int& caseNumber, std::string& error);
  // Computes case caseNumber (1 to the case count) of the copy.
  RecomputedCase Recompute(int caseNumber);

  // Case caseNumber computed again and its plot assessed again by the plot
  // network: the legacy figures of the edited case (its `quality` stays
  // empty) and the plot's result, its cases in case order. The other cases
  // of the plot are computed once, at the first call for the plot, and kept:
  // only an edit changes a case. `cases` (optional) counts the legacy
  // computations made.
  struct PlotRecompute {
    RecomputedCase edited;
    quality::PlotResult plot;
  };
  PlotRecompute RecomputePlot(int caseNumber, const quality::NetworkOptions& options,
                              int* cases = nullptr);

 private:
  // The legacy computation of a case and its quality input.
  RecomputedCase Legacy(int caseNumber, quality::CaseInput& in);

  Tables t_;
  std::unique_ptr<quality::PlotMaps> maps_;
  std::map<int, quality::CaseInput> inputs_;  // of the cases of plots assessed so far
};

}  // namespace treetri
