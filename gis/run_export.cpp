#include "gis/run_export.h"

#include <map>
#include <set>
#include <unordered_set>

#include "quality/case_input.h"
#include "quality/network_files.h"

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

void AddLeftOutSightings(ExportData& data, const Table<TargetTree>& targetTrees) {
  using quality::ObservationKind;
  using quality::SuspectKind;
  // The slots whose distance or azimuth has a line, and the cases with
  // lines at all.
  std::set<std::pair<int, int>> measured;
  std::set<int> adjusted;
  for (const quality::ObservationAssessment& o : data.observations) {
    adjusted.insert(o.caseNumber);
    if (o.kind == ObservationKind::Azimuth || o.kind == ObservationKind::Distance)
      measured.insert({o.caseNumber, o.slot});
  }
  for (const quality::CaseAssessment& q : data.quality) {
    if (!adjusted.count(q.caseNumber)) continue;  // not adjusted: nothing was left out
    if (q.caseNumber < 1 || q.caseNumber > targetTrees.Size()) continue;
    const TargetTree& t = targetTrees[q.caseNumber];
    if (t.Plot != q.plot || t.Tree != q.tree) continue;  // not this run's record
    const bool suspectLeftOut = q.suspectTree && q.suspectKind != SuspectKind::None;
    bool suspectFound = false;
    // Every sighting of a map tree that was found, measured and has neither
    // its distance nor its azimuth among the lines; the first of the
    // suspect's tree is the suspect.
    for (int k = 1; k <= kSlotCount; ++k) {
      const bool azimuth = IsTrue(t.HasAzimuth[k]), distance = IsTrue(t.HasDistance[k]);
      const bool found = t.Sighted[k].X != 0 || t.Sighted[k].Y != 0;
      if (t.SightedTree[k] <= 0 || !found || (!azimuth && !distance) ||
          measured.count({q.caseNumber, k}))
        continue;
      LeftOutSighting l;
      l.caseNumber = q.caseNumber;
      l.plot = q.plot;
      l.tree = q.tree;
      l.slot = k;
      l.sightedTree = t.SightedTree[k];
      l.azimuth = azimuth;
      l.distance = distance;
      l.mapX = t.Sighted[k].X;
      l.mapY = t.Sighted[k].Y;
      l.suspect = suspectLeftOut && !suspectFound && l.sightedTree == *q.suspectTree;
      suspectFound = suspectFound || l.suspect;
      data.leftOut.push_back(l);
    }
  }
}

bool AddNetworkFiles(ExportData& data, const std::string& workFolder, std::string& error) {
  quality::QualityRunFiles files;
  const quality::FileReadStatus st =
      quality::ReadQualityRun(workFolder + quality::kQualityFileName,
                              workFolder + quality::kObservationsFileName, false, files);
  quality::NetworkFiles network;
  const quality::FileReadStatus nst = st.ok ? quality::ReadNetworkFiles(workFolder, network) : st;
  if (!nst.ok) {
    error = "The file \"" + nst.path + "\" cannot be read" +
            (nst.line > 0 ? " at line " + std::to_string(nst.line) : std::string()) +
            (nst.columnName ? std::string(", column ") + nst.columnName : std::string()) + ": " +
            nst.message + ".";
    return false;
  }
  data.quality = std::move(files.cases);
  data.observations = std::move(files.observations);
  data.plots.emplace();
  for (const quality::PlotLine& p : network.plots) {
    PlotFeature f;
    f.plot = p.plot;
    f.fieldTrees = p.fieldTrees;
    f.mapTrees = p.mapTrees;
    f.observations = p.observations;
    f.redundancy = p.redundancy;
    f.sigma0 = p.sigma0;
    f.globalTest = quality::GlobalTestWord(p.globalTest);
    f.azimuthBias = p.azimuthBias;
    f.azimuthBiasSd = p.azimuthBiasSd;
    f.azimuthBiasW = p.azimuthBiasW;
    f.azimuthBiasTest = p.azimuthBiasTest;
    f.displacedMapTrees = p.displacedMapTrees;
    f.removed = p.removed;
    f.iterations = p.iterations;
    f.converged = p.converged;
    data.plots->push_back(f);
  }
  for (const quality::MapTreeLine& m : network.mapTrees)
    data.networkMapTrees[{m.plot, m.tree}] =
        MapTreeNetwork{m.mapX, m.mapY, m.x, m.y, m.shift, m.sx, m.sy, m.sightings, m.test,
                       m.displaced};
  return true;
}

ExportData ExportDataFromQuality(const std::vector<quality::CaseQuality>& cases,
                                 const Table<PhotoTree>& photoTrees,
                                 const Table<TargetTree>* targetTrees) {
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
    const LegacyFigures& g = c.row.legacy;
    r.iterations = g.iterations;
    r.xIni = g.xIni;
    r.yIni = g.yIni;
    r.xAdj = g.x;
    r.yAdj = g.y;
    r.sigmaNull = g.sigma0;
    r.sigmaX = g.sx;
    r.sigmaY = g.sy;
    data.results.push_back(r);
  }
  data.mapTrees = MapTreesOfPlots(photoTrees, data.results);
  if (targetTrees) AddLeftOutSightings(data, *targetTrees);
  return data;
}

}  // namespace treetri::gis
