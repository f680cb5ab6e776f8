#include "gis/run_export.h"

#include <unordered_set>

#include "quality/case_input.h"

namespace treetri::gis {

CaseResult CaseResultOf(const LegacyCaseResult& work, const std::string& status) {
  CaseResult r;
  r.caseNumber = work.caseNumber;
  r.iterations = work.iterations;
  r.plot = work.plot;
  r.tree = work.tree;
  r.species = work.species;
  if (work.Has(LegacyFigure::Start)) {
    r.xIni = work.X_ini;
    r.yIni = work.Y_ini;
  }
  if (work.Has(LegacyFigure::Position)) {
    r.xAdj = work.X_adj;
    r.yAdj = work.Y_adj;
  }
  if (work.Has(LegacyFigure::Precision)) {
    r.sigmaNull = work.SigmaNull;
    r.sigmaX = work.SigmaX;
    r.sigmaY = work.SigmaY;
  }
  r.status = quality::LegacyStatusText(status);
  return r;
}

std::vector<MapTreeRecord> MapTreesOfPlots(const Table<PhotoTree>& photoTrees,
                                           const std::vector<CaseResult>& results) {
  std::unordered_set<int> plots;
  for (const CaseResult& r : results) plots.insert(r.plot);
  std::vector<MapTreeRecord> trees;
  for (int i = 1; i <= photoTrees.Size(); ++i) {
    const PhotoTree& p = photoTrees[i];
    if (plots.count(p.Plot))
      trees.push_back(MapTreeRecord{p.Plot, p.Tree, p.Species, p.X, p.Y, p.Z});
  }
  return trees;
}

ExportData ExportDataFromQuality(const std::vector<quality::CaseQuality>& cases,
                                 const Table<PhotoTree>& photoTrees) {
  ExportData data;
  for (const quality::CaseQuality& c : cases) {
    data.quality.push_back(c.row);
    data.observations.insert(data.observations.end(), c.observations.begin(),
                             c.observations.end());
    CaseResult r;
    r.caseNumber = c.row.caseNumber;
    r.plot = c.row.plot;
    r.tree = c.row.tree;
    r.species = c.row.species;
    r.status = c.row.legacyStatus;
    data.results.push_back(r);
  }
  data.mapTrees = MapTreesOfPlots(photoTrees, data.results);
  return data;
}

}  // namespace treetri::gis
