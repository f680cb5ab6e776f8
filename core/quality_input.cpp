#include "core/quality_input.h"

#include <algorithm>
#include <cmath>

#include "output/results_format.h"

namespace treetri {

LegacyFigures LegacyFiguresOf(const LegacyCaseResult& r, const RunSettings& settings) {
  LegacyFigures g;
  g.iterations = r.iterations;
  if (r.Has(LegacyFigure::InitialApproximation)) {
    g.xIni = r.X_ini;
    g.yIni = r.Y_ini;
    const std::string word(r.TypeOfIni.data(), r.TypeOfIni.size());
    const size_t end = word.find_last_not_of(std::string(" \0", 2));
    if (word != kTypeOfIniWords[2] && end != std::string::npos) g.initial = word.substr(0, end + 1);
  }
  if (r.Has(LegacyFigure::Position)) {
    g.x = r.X_adj;
    g.y = r.Y_adj;
  }
  if (r.Has(LegacyFigure::Precision)) {
    g.sigma0 = r.SigmaNull;
    g.sx = r.SigmaX;
    g.sy = r.SigmaY;
  }
  g.tau = r.Tau(settings.TauCriticalValues);
  g.sightings = r.NPA;
  g.observations = r.Has(LegacyFigure::Start) ? r.NumOfObs : 0;
  return g;
}

quality::CaseInput QualityCaseInput(const LegacyCaseResult& r, const RunSettings& settings,
                                    const quality::PlotMaps& maps, const std::string& listStatus) {
  const RunParameters& p = settings.Parameters;
  quality::CaseInput in;
  in.caseNumber = r.caseNumber;
  in.plot = r.plot;
  in.tree = r.tree;
  in.species = r.species;
  in.legacyStatus = quality::LegacyStatusText(listStatus);
  in.legacy = LegacyFiguresOf(r, settings);
  in.computed = r.Has(LegacyFigure::Start);
  in.sigmas = quality::Sigmas{p.SigmaAzimuth, p.SigmaDistance, p.SigmaMapX, p.SigmaMapY};
  if (!in.computed) return in;
  in.hasStart = !r.initialApproximationFailed;
  in.startX = r.X_ini;
  in.startY = r.Y_ini;
  in.plotTrees = maps.Plot(r.plot);
  const size_t slots = std::min(r.sightings.size(), static_cast<size_t>(kFileSlots));
  in.sightings.reserve(slots);
  for (size_t k = 0; k < slots; ++k) {
    const SlotResult& used = r.sightings[k];
    quality::InputSighting s;
    s.slot = static_cast<int>(k) + 1;
    s.tree = used.SightedTree;
    const quality::MapTree* m = in.plotTrees->Find(s.tree);
    s.onMap = m != nullptr;
    if (m) {
      s.mapX = m->x;
      s.mapY = m->y;
    }
    s.hasAzimuth = used.Is_Azim;
    s.hasDistance = used.IsDist;
    s.distance = used.Obs_dist;
    if (s.hasAzimuth) {
      // The case's corrected azimuth lies in [0, 360] for every azimuth a
      // sighting file can sensibly hold; any other is brought into range.
      double a = used.azimuth;
      if (!(a >= 0 && a < 360)) {
        a = std::fmod(a, 360.0);
        if (a < 0) a += 360;
        if (a >= 360) a -= 360;
      }
      s.azimuth = a;
    }
    in.sightings.push_back(s);
  }
  return in;
}

}  // namespace treetri
