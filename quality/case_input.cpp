#include "quality/case_input.h"

#include <cmath>

namespace treetri::quality {

std::string LegacyStatusText(const std::string& listStatus) {
  const size_t first = listStatus.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return listStatus.substr(first, listStatus.find_last_not_of(' ') - first + 1);
}

CaseInput CaseInputFromRun(int caseNumber, const TargetTree& target, const RunParameters& p,
                           const CaseWork& c, const PlotMaps& maps,
                           const std::string& legacyStatus, const LegacyFigures& legacy) {
  CaseInput in;
  in.caseNumber = caseNumber;
  in.plot = target.Plot;
  in.tree = target.Tree;
  in.species = target.Species;
  in.legacyStatus = legacyStatus;
  in.legacy = legacy;
  in.computed = c.Failure != CaseFailure::Npa && target.NPA >= 1 && target.NPA <= kSlotCount;
  in.sigmas = Sigmas{p.SigmaAzimuth, p.SigmaDistance, p.SigmaMapX, p.SigmaMapY};
  if (!in.computed) return in;
  in.hasStart = !c.InitialApproximationFailed;
  in.startX = c.X_ini;
  in.startY = c.Y_ini;
  in.plotTrees = maps.Plot(target.Plot);
  const int slots = target.NPA < kFileSlots ? target.NPA : kFileSlots;
  for (int k = 1; k <= slots; ++k) {
    InputSighting s;
    s.slot = k;
    s.tree = target.SightedTree[k];
    const MapTree* m = maps.Find(target.Plot, s.tree);
    s.onMap = m != nullptr;
    if (m) {
      s.mapX = m->x;
      s.mapY = m->y;
    }
    s.hasAzimuth = IsTrue(target.HasAzimuth[k]);
    s.hasDistance = IsTrue(target.HasDistance[k]);
    s.distance = target.Distance[k];
    if (s.hasAzimuth) {
      // The correction as the run applies it, brought into [0, 360) in one
      // step: a sighting file may hold an azimuth of any size.
      double a = std::fmod(target.Azimuth[k] + p.AzimuthCorrection, 360.0);
      if (a < 0) a += 360;
      if (a >= 360) a -= 360;
      s.azimuth = a;
    }
    in.sightings.push_back(s);
  }
  return in;
}

}  // namespace treetri::quality
