#include "core/quality_input.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "output/results_format.h"

namespace treetri {

LegacyFigures LegacyFiguresOf(const LegacyCaseResult& r, const RunSettings& settings) {
  LegacyFigures g;
  g.iterations = r.iterations;
  if (r.Has(LegacyFigure::InitialApproximation)) {
    g.xIni = r.X_ini;
    g.yIni = r.Y_ini;
    const std::string_view word(r.TypeOfIni.data(), r.TypeOfIni.size());
    size_t end = word.size();
    while (end > 0 && (word[end - 1] == ' ' || word[end - 1] == '\0')) --end;
    if (word != kTypeOfIniWords[2] && end > 0) g.initial = std::string(word.substr(0, end));
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
