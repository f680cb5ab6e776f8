#include "core/case_recompute.h"

#include <algorithm>

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

RecomputedCase CaseRecomputer::Legacy(int caseNumber, quality::CaseInput& in) {
  RecomputedCase r;
  r.caseNumber = caseNumber;
  r.legacy = ComputeCase(t_, caseNumber);
  r.status = CaseStatus(r.legacy);
  AppendListLine(r.listLine, r.legacy, r.status);
  in = QualityCaseInput(r.legacy, t_, *maps_, r.status);
  return r;
}

RecomputedCase CaseRecomputer::Recompute(int caseNumber) {
  quality::CaseInput in;
  RecomputedCase r = Legacy(caseNumber, in);
  r.quality = quality::AssessCase(in);
  return r;
}

CaseRecomputer::PlotRecompute CaseRecomputer::RecomputePlot(int caseNumber,
                                                            const quality::NetworkOptions& options,
                                                            int* cases) {
  PlotRecompute out;
  quality::CaseInput edited;
  out.edited = Legacy(caseNumber, edited);
  inputs_[caseNumber] = std::move(edited);
  int computed = 1;
  const int plot = t_.TargetTrees[caseNumber].Plot;
  std::vector<quality::CaseInput> plotCases;
  const int count = std::min(t_.TargetTreeCount, t_.TargetTrees.Size());
  for (int n = 1; n <= count; ++n) {
    if (t_.TargetTrees[n].Plot != plot) continue;
    auto it = inputs_.find(n);
    if (it == inputs_.end()) {
      quality::CaseInput in;
      Legacy(n, in);
      ++computed;
      it = inputs_.emplace(n, std::move(in)).first;
    }
    plotCases.push_back(it->second);
  }
  out.plot = quality::AssessPlot(plotCases, options);
  if (cases) *cases = computed;
  return out;
}

}  // namespace treetri
