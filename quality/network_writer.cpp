#include "quality/network_writer.h"

#include <tuple>

#include "quality/network_files.h"

namespace treetri::quality {

bool NetworkRun::Begin(const std::string& workFolder, const NetworkOptions& options,
                       std::string& error) {
  active_ = false;
  summary_ = QualitySummary{};
  maps_.reset();
  cases_.clear();
  plotOrder_.clear();
  workFolder_ = workFolder;
  options_ = options;
  for (auto [file, name, header] :
       {std::tuple{&quality_, kQualityFileName, NetworkQualityHeaderLine()},
        std::tuple{&observations_, kObservationsFileName, NetworkObservationHeaderLine()},
        std::tuple{&plots_, kPlotsFileName, PlotsHeaderLine()},
        std::tuple{&mapTrees_, kMapTreesFileName, MapTreesHeaderLine()}}) {
    const std::string path = workFolder + name;
    if (!file->Create(path, header, error)) {
      for (OutputFile* f : {&quality_, &observations_, &plots_, &mapTrees_}) f->Close();
      error = "The quality file \"" + path + "\" cannot be written: " + error +
              ". The run goes on without the quality files.";
      return false;
    }
  }
  active_ = true;
  return true;
}

void NetworkRun::AddCase(const InputData& input, const RunParameters& parameters,
                         const CaseWork& work, int caseNumber, const std::string& legacyStatus,
                         const LegacyFigures& legacy) {
  if (!active_) return;
  if (!maps_) maps_ = std::make_unique<PlotMaps>(input.PhotoTrees);
  CaseInput in = CaseInputFromRun(caseNumber, input.TargetTrees[caseNumber], parameters, work,
                                  *maps_, LegacyStatusText(legacyStatus), legacy);
  auto [it, added] = cases_.emplace(in.plot, std::vector<CaseInput>{});
  if (added) plotOrder_.push_back(in.plot);
  it->second.push_back(std::move(in));
}

bool NetworkRun::End(std::string& error) {
  if (!active_) return true;
  active_ = false;
  bool ok = true;
  for (int plot : plotOrder_) {
    const PlotResult r = AssessPlot(cases_[plot], options_);
    std::string quality, observations, mapTrees;
    for (const NetworkCaseResult& c : r.cases) {
      quality += FormatNetworkQualityLine(c);
      for (size_t k = 0; k < c.quality.observations.size(); ++k)
        observations += FormatNetworkObservationLine(
            c.quality.observations[k], k < c.extras.size() ? c.extras[k] : ObservationExtra{});
    }
    for (const MapTreeResult& m : r.mapTrees) mapTrees += FormatMapTreeLine(plot, m);
    // The plot's lines whole, the observation lines before the case lines.
    if (!observations_.Append(observations, error) || !quality_.Append(quality, error) ||
        (r.summary.fieldTrees > 0 && !plots_.Append(FormatPlotLine(r.summary), error)) ||
        !mapTrees_.Append(mapTrees, error)) {
      error = "The quality files of plot " + std::to_string(plot) + " in \"" + workFolder_ +
              "\" cannot be written: " + error + ".";
      ok = false;
      break;
    }
    for (const NetworkCaseResult& c : r.cases) {
      ++summary_.verdicts[static_cast<size_t>(c.quality.row.verdict)];
      if (c.quality.row.suggestedTree) ++summary_.suggestions;
    }
  }
  for (OutputFile* f : {&quality_, &observations_, &plots_, &mapTrees_}) f->Close();
  cases_.clear();
  return ok;
}

}  // namespace treetri::quality
