// treetri-bench-network: the plot network against the per-case layer on
// simulated realistic stands, in memory. For each seed it simulates a data
// set (treetri-simulate's --realistic settings), builds every case's input
// as the run would (map coordinates of the last record of a tree number, the
// parameter file's standard errors, no azimuth correction, no start
// position), assesses each plot with the network and each case alone, and
// scores both against the planted errors. A clean case is one none of whose
// sightings of map trees carries a planted error, as treetri-quality-report
// counts it (a sighting of a number not on the map takes no part). Prints,
// per seed, the network's false alarms and ellipse coverage with the
// commands that give the same data set to a batch run (the batch run and
// this bench assess every case alike: tests/test_network_run.cpp), then one
// table of figures summed over the seeds, with the time each method took
// and the network's slowest plot (what an edit on that plot costs), the
// median plot and how many plots take over 0.1 s.
//
// With --clean no gross error is planted (a compass bias still is): every
// field tree is clean, and its false alarms are those of the tests' own
// levels, the floor that no handling of planted errors can go below. With
// errors planted, the false alarms whose suspect map tree another field
// tree's planted error names or means (the tree it names or the one meant)
// are counted apart: blame spread from a neighbour's error.
//
// --stand, --density and --map-error change one setting of the realistic
// stand (as treetri-simulate's options of those names do), to see the
// methods on stands other than the two they are usually judged on. --only
// plants only the kinds of gross error it names (a comma-separated list of
// errors.txt's words wrong_tree, azimuth, distance and map_shift), to see
// which of them, alone or together, raise the false alarms above the floor.
//
//   treetri-bench-network [--young] [--seeds N] [--cases N] [--plots N] [--no-bias] [--clean]
//                         [--stand uniform|clustered|regular] [--density N] [--map-error M]
//                         [--only wrong_tree,azimuth,distance,map_shift]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "quality/case_quality.h"
#include "quality/plot_network.h"
#include "tools/simulation.h"

namespace {

using namespace treetri;
using tools::PlantedKind;

struct Share {
  int hits = 0, of = 0;
  void Count(bool h) {
    ++of;
    hits += h;
  }
  std::string Text() const {
    char b[64];
    std::snprintf(b, sizeof b, "%5.1f %% (%d/%d)", of ? 100.0 * hits / of : 0.0, hits, of);
    return b;
  }
};

struct Figures {
  Share loneWrongNamed, loneWrongAny, loneWrongSuggested, wrongCaughtOrConfusable;
  Share wrongCaughtOrConfusableDense;
  Share azimuthCaught, distanceCaught, mapCaught, mapNamed, mapNamedMulti, mapNamedHonest, kindRight;
  Share falseAlarms, alarmsBesideErrors, coverage, biasWithin2Sigma, biasNoneWithin2Sigma;
  Share missedWithConfusable, networkPlots, failedAloneFalseAlarms;
  double seconds = 0;
};

struct Slot {
  std::vector<tools::PlantedError> errors;
};

// The per-case redundancy: observations minus unknowns of the case alone.
int CaseRedundancy(const quality::CaseInput& in) {
  int n = 0;
  for (const quality::InputSighting& s : in.sightings)
    if (s.onMap) n += s.hasAzimuth + s.hasDistance;
  return n - 2;
}

void Score(const tools::SimulatedData& d, const std::vector<quality::CaseInput>& inputs,
           const std::vector<quality::NetworkCaseResult>& results,
           const std::map<std::pair<int, int>, bool>& mapFound,
           const std::map<std::pair<int, int>, bool>& mapNamedAsTree,
           const std::map<int, std::pair<double, double>>& bias, Figures& f,
           const std::vector<quality::NetworkCaseResult>* alone = nullptr) {
  std::map<std::tuple<int, int, int>, std::vector<tools::PlantedError>> bySlot;
  std::map<std::pair<int, int>, double> displaced;
  std::map<int, double> plantedBias;
  // The map trees that some planted error names or means.
  std::set<std::pair<int, int>> inErrors;
  for (const tools::PlantedError& e : tools::PlantedErrors(d)) {
    if (e.kind == PlantedKind::CompassBias) {
      plantedBias[e.plot] = e.shift;
      continue;
    }
    // As the quality report: an error of a sighting whose number is not on
    // the map takes no part in any adjustment.
    if (!e.onMap || e.kind == PlantedKind::Missing) continue;
    bySlot[{e.plot, e.tree, e.slot}].push_back(e);
    inErrors.insert({e.plot, e.plantedTree});
    inErrors.insert({e.plot, e.trueTree});
    if (e.kind == PlantedKind::MapShift) displaced[{e.plot, e.plantedTree}] = e.shift;
  }
  for (size_t c = 0; c < inputs.size(); ++c) {
    const quality::CaseInput& in = inputs[c];
    const quality::NetworkCaseResult& r = results[c];
    const quality::CaseAssessment& row = r.quality.row;
    const tools::FieldTree& truth = d.fieldTrees[c];
    std::vector<tools::PlantedError> own;
    for (const quality::InputSighting& s : in.sightings)
      for (const tools::PlantedError& e : bySlot[{in.plot, in.tree, s.slot}]) own.push_back(e);
    const bool outlier = row.verdict == quality::Verdict::Outlier;
    if (own.empty()) {
      if (row.verdict == quality::Verdict::Ok || outlier) f.falseAlarms.Count(outlier);
      // A false alarm whose suspect map tree another field tree's error
      // names or means: the blame spread from a neighbour's error.
      if (outlier)
        f.alarmsBesideErrors.Count(row.suspectTree && inErrors.count({in.plot, *row.suspectTree}));
      // Clean cases that the per-case adjustment calls singular or not
      // converged.
      if (alone) {
        const std::string& w = (*alone)[c].quality.row.warnings;
        if (w.find("singular") != std::string::npos || w.find("not converged") != std::string::npos)
          f.failedAloneFalseAlarms.Count(outlier || row.verdict == quality::Verdict::Failed);
      }
      if (row.conf95A && row.x) {
        // Inside the 95 % ellipse.
        const double a = *row.conf95A, b = *row.conf95B, phi = *row.ellipseAzimuth / 57.29577951308232;
        const double dx = truth.trueX - *row.x, dy = truth.trueY - *row.y;
        const double along = dx * std::sin(phi) + dy * std::cos(phi);
        const double across = dx * std::cos(phi) - dy * std::sin(phi);
        f.coverage.Count(along * along / (a * a) + across * across / (b * b) <= 1);
      }
      continue;
    }
    // Marks of each slot.
    auto confusableAt = [&](int slot) {
      for (size_t k = 0; k < r.quality.observations.size() && k < r.extras.size(); ++k)
        if (r.quality.observations[k].slot == slot && r.extras[k].confusableTree) return true;
      return false;
    };
    for (const tools::PlantedError& e : own) {
      // Caught: the suspect names the planted tree, or (plot network) the
      // error's sighting is among the field tree's other removals, which
      // the warnings list.
      const bool named = outlier && row.suspectTree && *row.suspectTree == e.plantedTree;
      bool suspected = named;
      quality::SuspectKind s = row.suspectKind;
      for (const quality::RemovedSighting& m : r.removed)
        if (!suspected && m.slot == e.slot) {
          suspected = true;
          s = m.kind;
        }
      const PlantedKind k = tools::BasicKind(e.kind);
      using SK = quality::SuspectKind;
      if (suspected) {
        bool right = false;
        if (k == PlantedKind::WrongTree) right = s == SK::Sighting || s == SK::SightingOrMapTree;
        if (k == PlantedKind::Azimuth) right = s == SK::Azimuth;
        if (k == PlantedKind::Distance) right = s == SK::Distance;
        if (k == PlantedKind::MapShift) right = s == SK::MapTree || s == SK::SightingOrMapTree;
        f.kindRight.Count(right);
      }
      if (k == PlantedKind::WrongTree) {
        const bool caughtOrMarked = suspected || confusableAt(e.slot);
        (d.options.stand.density > 1500 ? f.wrongCaughtOrConfusableDense
                                        : f.wrongCaughtOrConfusable)
            .Count(caughtOrMarked);
        if (!suspected) f.missedWithConfusable.Count(confusableAt(e.slot));
        if (own.size() == 1 && CaseRedundancy(in) >= 3) {
          f.loneWrongAny.Count(outlier);
          f.loneWrongNamed.Count(named);
          f.loneWrongSuggested.Count(named && row.suggestedTree &&
                                     *row.suggestedTree == e.trueTree);
        }
      } else if (k == PlantedKind::Azimuth) {
        f.azimuthCaught.Count(suspected);
      } else if (k == PlantedKind::Distance) {
        f.distanceCaught.Count(suspected);
      }
    }
  }
  // Map trees sighted once named as "sighting or map tree" by an outlier.
  std::set<std::pair<int, int>> onceNamed;
  for (size_t c = 0; c < inputs.size(); ++c) {
    const quality::CaseAssessment& row = results[c].quality.row;
    if (row.verdict == quality::Verdict::Outlier && row.suspectTree &&
        row.suspectKind == quality::SuspectKind::SightingOrMapTree)
      onceNamed.insert({row.plot, *row.suspectTree});
  }
  // Sightings of each map tree: one sighted once cannot be named "map tree".
  std::map<std::pair<int, int>, int> sightings;
  for (const quality::CaseInput& in : inputs)
    for (const quality::InputSighting& s : in.sightings)
      if (s.onMap) ++sightings[{in.plot, s.tree}];
  for (const auto& [key, shift] : displaced) {
    (void)shift;
    auto it = mapFound.find(key);
    f.mapCaught.Count(it != mapFound.end() && it->second);
    auto named = mapNamedAsTree.find(key);
    const bool isNamed = named != mapNamedAsTree.end() && named->second;
    f.mapNamed.Count(isNamed);
    if (sightings[key] >= 2) f.mapNamedMulti.Count(isNamed);
    f.mapNamedHonest.Count(isNamed || (sightings[key] < 2 && onceNamed.count(key)));
  }
  for (const auto& [plot, est] : bias) {
    auto it = plantedBias.find(plot);
    const double planted = it == plantedBias.end() ? 0 : it->second;
    (it == plantedBias.end() ? f.biasNoneWithin2Sigma : f.biasWithin2Sigma)
        .Count(std::fabs(est.first - planted) <= 2 * est.second);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool young = false, bias = true, clean = false;
  int seeds = 3, cases = 2000, plots = 50;
  std::string stand, only;
  double density = 0, mapError = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--young") young = true;
    else if (a == "--no-bias") bias = false;
    else if (a == "--clean") clean = true;
    else if (a == "--seeds" && i + 1 < argc) seeds = std::atoi(argv[++i]);
    else if (a == "--cases" && i + 1 < argc) cases = std::atoi(argv[++i]);
    else if (a == "--plots" && i + 1 < argc) plots = std::atoi(argv[++i]);
    else if (a == "--stand" && i + 1 < argc) stand = argv[++i];
    else if (a == "--density" && i + 1 < argc) density = std::atof(argv[++i]);
    else if (a == "--map-error" && i + 1 < argc) mapError = std::atof(argv[++i]);
    else if (a == "--only" && i + 1 < argc) only = argv[++i];
    else {
      std::fprintf(stderr, "usage: treetri-bench-network [--young] [--seeds N] [--cases N] "
                           "[--plots N] [--no-bias] [--clean] [--stand uniform|clustered|regular] "
                           "[--density N] [--map-error M] [--only KINDS]\n");
      return 2;
    }
  }
  tools::StandPattern pattern = tools::StandPattern::Uniform;
  if (!stand.empty() && !tools::ParseStandPattern(stand, pattern)) {
    std::fprintf(stderr, "treetri-bench-network: bad stand pattern \"%s\"\n", stand.c_str());
    return 2;
  }
  // The four kinds of gross error planted, by their words in errors.txt,
  // with treetri-simulate's option and setting of each.
  const struct {
    PlantedKind kind;
    const char* option;
    double tools::PlantingOptions::*rate;
  } kinds[] = {{PlantedKind::WrongTree, "--wrong-tree", &tools::PlantingOptions::wrongTree},
               {PlantedKind::Azimuth, "--azimuth-blunder", &tools::PlantingOptions::azimuth},
               {PlantedKind::Distance, "--distance-blunder", &tools::PlantingOptions::distance},
               {PlantedKind::MapShift, "--map-shift", &tools::PlantingOptions::mapShift}};
  std::set<std::string> named;
  for (size_t at = 0; !only.empty() && at != std::string::npos;) {
    const size_t comma = only.find(',', at);
    const std::string word = only.substr(at, comma == std::string::npos ? comma : comma - at);
    if (std::none_of(std::begin(kinds), std::end(kinds),
                     [&](const auto& k) { return word == tools::PlantedKindWord(k.kind); })) {
      std::fprintf(stderr, "treetri-bench-network: bad kind \"%s\" (wrong_tree, azimuth, "
                           "distance, map_shift)\n", word.c_str());
      return 2;
    }
    named.insert(word);
    at = comma == std::string::npos ? comma : comma + 1;
  }
  bool planted[std::size(kinds)];
  for (size_t k = 0; k < std::size(kinds); ++k)
    planted[k] = !clean && (only.empty() || named.count(tools::PlantedKindWord(kinds[k].kind)));
  // The settings that differ from --realistic, as treetri-simulate's options.
  std::string settings;
  if (!stand.empty()) settings += " --stand " + stand;
  char number[64];
  if (density > 0) settings += (std::snprintf(number, sizeof number, " --density %g", density), number);
  if (mapError > 0) settings += (std::snprintf(number, sizeof number, " --map-error %g", mapError), number);
  for (size_t k = 0; k < std::size(kinds); ++k)
    if (!planted[k]) settings += std::string(" ") + kinds[k].option + " 0";
  Figures perCase, network;
  // Every plot's time and field trees: the slowest (what an edit on it
  // costs), the median and the share over 0.1 s.
  std::vector<std::pair<double, size_t>> plotTimes;
  long solutions = 0;  // the plots' Gauss-Newton solutions: their cost, free of the machine's load
  for (int seed = 1; seed <= seeds; ++seed) {
    tools::SimulationOptions o;
    o.seed = static_cast<std::uint64_t>(seed);
    o.plots = plots;
    o.cases = cases;
    o.MakeRealistic(young);
    if (!stand.empty()) o.stand.pattern = pattern;
    if (density > 0) o.stand.density = density;
    if (mapError > 0) o.mapError = mapError;
    for (size_t k = 0; k < std::size(kinds); ++k)
      if (!planted[k]) o.planting.*kinds[k].rate = 0;
    const std::string problem = tools::CheckOptions(o);
    if (!problem.empty()) {
      std::fprintf(stderr, "treetri-bench-network: %s\n", problem.c_str());
      return 2;
    }
    const tools::SimulatedData d = tools::SimulatePlots(o);
    // The cases' inputs, as the run builds them.
    const std::vector<quality::CaseInput> inputs = tools::QualityInputs(d);

    // Per case.
    auto t0 = std::chrono::steady_clock::now();
    std::vector<quality::NetworkCaseResult> alone(inputs.size());
    std::map<std::pair<int, int>, bool> aloneMap, aloneMapNamed;
    for (size_t c = 0; c < inputs.size(); ++c) {
      alone[c].quality = quality::AssessCase(inputs[c]);
      const quality::CaseAssessment& row = alone[c].quality.row;
      if (row.verdict == quality::Verdict::Outlier && row.suspectTree) {
        const bool mapKind = row.suspectKind == quality::SuspectKind::MapX ||
                             row.suspectKind == quality::SuspectKind::MapY;
        aloneMap[{row.plot, *row.suspectTree}] = true;
        if (mapKind) aloneMapNamed[{row.plot, *row.suspectTree}] = true;
      }
    }
    auto t1 = std::chrono::steady_clock::now();
    perCase.seconds += std::chrono::duration<double>(t1 - t0).count();
    Score(d, inputs, alone, aloneMap, aloneMapNamed, {}, perCase);

    // The network, plot by plot.
    std::vector<quality::NetworkCaseResult> net(inputs.size());
    std::map<std::pair<int, int>, bool> netMap, netMapNamed;
    std::map<int, std::pair<double, double>> biases;
    std::map<int, std::vector<size_t>> byPlot;
    for (size_t c = 0; c < inputs.size(); ++c) byPlot[inputs[c].plot].push_back(c);
    t0 = std::chrono::steady_clock::now();
    for (const auto& [plot, idx] : byPlot) {
      std::vector<quality::CaseInput> in;
      for (size_t c : idx) in.push_back(inputs[c]);
      const auto plotStart = std::chrono::steady_clock::now();
      quality::PlotResult r = quality::AssessPlot(in, quality::NetworkOptions{bias});
      const double plotSeconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - plotStart).count();
      plotTimes.emplace_back(plotSeconds, in.size());
      solutions += r.summary.iterations;
      for (size_t k = 0; k < idx.size(); ++k) net[idx[k]] = std::move(r.cases[k]);
      for (const quality::MapTreeResult& m : r.mapTrees) {
        if (m.displaced) netMap[{plot, m.tree}] = netMapNamed[{plot, m.tree}] = true;
        if (std::getenv("NETWORK_DEBUG"))
          for (const tools::MapTree& t : d.map)
            if (t.plot == plot && t.tree == m.tree && t.shift > 0)
              std::printf("plot %d tree %d shift %.2f sightings %d test %.1f displaced %d\n", plot,
                          m.tree, t.shift, m.sightings, m.test ? *m.test : -1.0, m.displaced);
      }
      network.networkPlots.Count(r.summary.fieldTrees > 0);
      if (r.summary.hasBias) biases[plot] = {r.summary.bias, r.summary.biasSigma};
    }
    t1 = std::chrono::steady_clock::now();
    network.seconds += std::chrono::duration<double>(t1 - t0).count();
    // Caught, as for the per-case layer: some case's suspect is the tree.
    for (size_t c = 0; c < inputs.size(); ++c) {
      const quality::CaseAssessment& row = net[c].quality.row;
      if (row.verdict == quality::Verdict::Outlier && row.suspectTree)
        netMap[{row.plot, *row.suspectTree}] = true;
    }
    const Share alarms = network.falseAlarms, inside = network.coverage;
    Score(d, inputs, net, netMap, netMapNamed, biases, network, &alone);
    // This seed alone, to set beside a batch run on the same data set.
    std::printf("seed %d: network false alarms %d/%d, truth inside the 95 %% ellipse %d/%d; "
                "as a batch run: treetri-simulate --out DIR --realistic %s --seed %d --plots %d "
                "--cases %d%s, treetri-batch --quality network%s, treetri-quality-report\n",
                seed, network.falseAlarms.hits - alarms.hits, network.falseAlarms.of - alarms.of,
                network.coverage.hits - inside.hits, network.coverage.of - inside.of,
                young ? "young" : "mature", seed, plots, cases, settings.c_str(),
                bias ? "" : " --azimuth-bias none");
  }
  const std::pair<const char*, Share Figures::*> lines[] = {
      {"lone wrong tree (r >= 3): planted sighting suspect", &Figures::loneWrongNamed},
      {"lone wrong tree (r >= 3): any outlier verdict", &Figures::loneWrongAny},
      {"lone wrong tree (r >= 3): right tree suggested", &Figures::loneWrongSuggested},
      {"wrong tree caught or confusable", &Figures::wrongCaughtOrConfusable},
      {"wrong tree caught or confusable (dense)", &Figures::wrongCaughtOrConfusableDense},
      {"missed wrong trees with a confusable mark", &Figures::missedWithConfusable},
      {"azimuth blunders caught", &Figures::azimuthCaught},
      {"distance blunders caught", &Figures::distanceCaught},
      {"displaced map trees caught", &Figures::mapCaught},
      {"displaced map trees named map tree", &Figures::mapNamed},
      {"  of those sighted twice or more", &Figures::mapNamedMulti},
      {"  ... or, sighted once, sighting_or_map_tree", &Figures::mapNamedHonest},
      {"suspect's kind right", &Figures::kindRight},
      {"false alarms on clean cases", &Figures::falseAlarms},
      {"  of those, suspect in a neighbour's planted error", &Figures::alarmsBesideErrors},
      {"truth inside the 95 % ellipse (clean)", &Figures::coverage},
      {"planted compass bias within 2 sigma", &Figures::biasWithin2Sigma},
      {"no bias: estimate within 2 sigma of 0", &Figures::biasNoneWithin2Sigma},
      {"plots adjusted as a network", &Figures::networkPlots},
      {"clean, singular or not converged alone: alarm or failed", &Figures::failedAloneFalseAlarms}};
  std::printf("%s stand, %d seed(s), %d cases, %d plots%s", young ? "dense young" : "mature",
              seeds, cases, plots, clean ? ", no gross errors planted" : "");
  if (!stand.empty()) std::printf(", pattern %s", stand.c_str());
  if (density > 0) std::printf(", %g trees/ha", density);
  if (mapError > 0) std::printf(", map error %g m", mapError);
  if (!only.empty()) std::printf(", planted only %s", only.c_str());
  std::printf("\n");
  std::printf("%-52s %-24s %s\n", "", "per case", "network");
  for (const auto& [name, member] : lines)
    std::printf("%-52s %-24s %s\n", name, (perCase.*member).Text().c_str(),
                (network.*member).Text().c_str());
  std::printf("%-52s %-24.2f %.2f\n", "seconds (quality only)", perCase.seconds, network.seconds);
  std::printf("%-52s %-24s %ld\n", "Gauss-Newton solutions, all plots", "", solutions);
  std::sort(plotTimes.begin(), plotTimes.end());
  const std::pair<double, size_t> slowest = plotTimes.empty() ? std::pair<double, size_t>{} : plotTimes.back();
  std::printf("%-52s %-24s %.3f (%zu field trees)\n", "slowest plot, seconds", "", slowest.first,
              slowest.second);
  if (!plotTimes.empty()) {
    const auto over = std::count_if(plotTimes.begin(), plotTimes.end(),
                                    [](const std::pair<double, size_t>& t) { return t.first > 0.1; });
    std::printf("%-52s %-24s %.3f, %ld of %zu over 0.1 s\n", "median plot, seconds", "",
                plotTimes[plotTimes.size() / 2].first, static_cast<long>(over), plotTimes.size());
  }
  return 0;
}
