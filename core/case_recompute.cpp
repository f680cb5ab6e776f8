#include "core/case_recompute.h"

#include "output/results_writer.h"
#include "positioning/case_pipeline.h"
#include "core/quality_input.h"

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
  r.legacy = ComputeCase(t_, caseNumber);
  r.status = CaseStatus(r.legacy);
  AppendListLine(r.listLine, r.legacy, r.status);
  r.quality = quality::AssessCase(QualityCaseInput(r.legacy, t_, *maps_, r.status));
  return r;
}

}  // namespace treetri
