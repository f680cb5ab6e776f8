#include "core/case_recompute.h"

#include "output/results_writer.h"
#include "quality/case_input.h"

namespace treetri {

CaseRecomputer::CaseRecomputer(const InputData& input, const RunSettings& lastRun) {
  static_cast<InputData&>(t_) = input;
  static_cast<RunSettings&>(t_) = lastRun;
  // A replay value of the last run is already in its parameters.
  t_.ReplayAzimuthCorrection.reset();
  maps_ = std::make_unique<quality::PlotMaps>(t_.PhotoTrees);
}

CaseRecomputer::~CaseRecomputer() = default;

bool CaseRecomputer::Apply(const Correction& c, int& caseNumber, std::string& error) {
  const std::string path =
      t_.CorrectionsFileName.empty() ? std::string(kCorrectionsFileName) : t_.CorrectionsFileName;
  return ApplyCorrection(t_, c, path, caseNumber, error);
}

RecomputedCase CaseRecomputer::Recompute(int caseNumber) {
  RecomputedCase r;
  r.caseNumber = caseNumber;
  CaseWork& c = t_.Case;
  c.CaseNumber = caseNumber;
  r.outcome = ComputeCase(t_.TargetTrees[caseNumber], t_.Parameters, c);
  r.status = CaseStatus(t_, caseNumber);
  r.listLine = ListLine(t_, caseNumber, r.outcome.iterations);
  r.x = c.X_adj;
  r.y = c.Y_adj;
  r.quality = quality::AssessCase(quality::CaseInputFromRun(
      caseNumber, t_.TargetTrees[caseNumber], t_.Parameters, c, *maps_,
      quality::LegacyStatusText(r.status),
      LegacyFiguresOf(t_.TargetTrees[caseNumber], t_.TauCriticalValues, c,
                      r.outcome.iterations)));
  return r;
}

}  // namespace treetri
