// The desktop's edits of sightings after a run: each edit is one line of
// corrections.csv in the work folder (appended under the folder's lock), is
// applied to an in-memory copy of the sightings the run used, and computes
// its case again with the run's azimuth correction (with the plot network,
// its whole plot). Undo appends the inverse line. No input file and no result file is written: the next full run
// applies corrections.csv. Qt-free.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/case_recompute.h"
#include "views/plot_scene.h"

namespace treetri {

class CaseEdits {
 public:
  // `input` and `lastRun` as the last run used them (its corrections
  // applied, its azimuth correction in the parameters); `folder` the work
  // folder (ending with the separator); `results` the quality of the run's
  // cases, which each edit updates.
  // With `network`, the run assessed its cases by the plot network: an edit
  // assesses the edited case's plot again the same way.
  CaseEdits(const InputData& input, const RunSettings& lastRun, std::string folder,
            views::CaseResults& results,
            std::optional<quality::NetworkOptions> network = std::nullopt);
  ~CaseEdits();

  // The run's parameters (its azimuth correction included).
  const RunParameters& Parameters() const { return recomputer_->Parameters(); }
  // The sighting record of a case with the edits so far, or null.
  const TargetTree* Record(int caseNumber) const;

  // The correction line of an edit: case caseNumber's slot, the field and
  // its new text ("" drops), with the old text as the record holds it and the
  // verdict and suspect kind the case has now.
  Correction Line(int caseNumber, int slot, CorrectionField field, const std::string& newValue) const;

  // Applies the line to the copy, records it in corrections.csv, computes the
  // case again and puts it into the results. False, changing nothing, when
  // the line does not match or cannot be recorded; `error` says why.
  bool Edit(const Correction& c, std::string& error);
  // Undoes the last edit not undone (the inverse line, recorded the same way).
  bool Undo(std::string& error);
  bool CanUndo() const { return !done_.empty(); }
  // The case the last edit or undo computed again (0: none yet), and every
  // case whose quality it changed (the case, or its plot's cases).
  int LastCase() const { return lastCase_; }
  const std::vector<int>& LastChanged() const { return lastChanged_; }
  bool Network() const { return network_.has_value(); }

  // The case as the run left it, before its first edit; null when not edited.
  const quality::CaseQuality* Before(int caseNumber) const;
  const std::map<int, quality::CaseQuality>& BeforeCases() const { return before_; }

  // The map trees of the case's plot nearest to where slot `slot`'s sighting
  // ends (the field tree's position, the distance along the azimuth; the
  // sighted map tree when either is missing), best first, at most k.
  std::vector<int> TreesNearSighting(int caseNumber, int slot, size_t k) const;

 private:
  bool ApplyAndRecord(const Correction& c, std::string& error);

  std::unique_ptr<CaseRecomputer> recomputer_;
  std::string folder_;
  views::CaseResults& results_;
  std::vector<Correction> done_;
  std::map<int, quality::CaseQuality> before_;
  std::unique_ptr<quality::PlotMaps> maps_;
  std::optional<quality::NetworkOptions> network_;
  int lastCase_ = 0;
  std::vector<int> lastChanged_;
};

}  // namespace treetri
