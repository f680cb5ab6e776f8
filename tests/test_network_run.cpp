// treetri-batch --quality network on simulated realistic plots: the four
// files, each plot's lines together and complete, the readers taking the
// network's columns, and the per-case mode unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <string>
#include <vector>

#include "quality/network_files.h"
#include "quality/network_writer.h"
#include "quality/plot_network.h"
#include "quality/quality_files.h"
#include "tests/support.h"
#include "tools/simulation.h"

namespace treetri {
namespace {

using testing::RunBatch;
using testing::SplitLines;
using testing::TempFolder;

// A realistic data set, in memory.
tools::SimulatedData SimulateRealistic(int seed, int plots, int cases, bool young) {
  tools::SimulationOptions o;
  o.seed = static_cast<std::uint64_t>(seed);
  o.plots = plots;
  o.cases = cases;
  o.MakeRealistic(young);
  return tools::SimulatePlots(o);
}

// The cases of quality.csv in `dir`, by its reader.
std::vector<quality::CaseAssessment> ReadCases(const TempFolder& dir) {
  std::vector<quality::CaseAssessment> rows;
  const quality::FileReadStatus s =
      quality::ReadQualityFile(dir.WorkFolder() + quality::kQualityFileName, rows);
  EXPECT_TRUE(s.ok) << s.message;
  return rows;
}

// The files of a data set written into `dir`.
void Write(const TempFolder& dir, const tools::SimulatedData& d) {
  std::string error;
  ASSERT_TRUE(tools::WriteSimulationFiles(d, dir.Path(), error)) << error;
}

// Seed `seed` of the dense young stand of 50 plots and 2000 cases, and the
// inputs of the cases of one plot.
struct YoungPlot {
  tools::SimulatedData data;
  std::vector<quality::CaseInput> inputs;
};
YoungPlot SimulateYoungPlot(int seed, int plot) {
  YoungPlot p{SimulateRealistic(seed, 50, 2000, true), {}};
  for (const quality::CaseInput& c : tools::QualityInputs(p.data))
    if (c.plot == plot) p.inputs.push_back(c);
  return p;
}

// A network run of four mature plots writes each plot's cases together, in
// columns its readers take. Its re-measure list holds every sighting marked
// confusable in observations.csv (its case and slot, check "tree number",
// the tree it could be confused with), and no other confusable line; each
// map tree that map_trees.csv calls displaced once, check "position"; and
// every removal that the warnings of quality.csv list beside a suspect.
TEST(NetworkRun, WritesEveryPlotWholeInTheNetworkColumnsAndListsWhatToRemeasure) {
  const tools::SimulatedData d = SimulateRealistic(4, 4, 120, false);
  TempFolder dir;
  Write(dir, d);
  const testing::BatchResult r =
      RunBatch(dir, "--quality network --remeasure crew.csv map.txt sightings.txt");
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.err.back().rfind("quality: ", 0), 0u);
  const std::string qualityText = dir.Read(quality::kQualityFileName);
  const std::vector<std::string> q = SplitLines(qualityText);
  const std::vector<std::string> p = SplitLines(dir.Read(quality::kPlotsFileName));
  // (Each file's header is checked by its reader: the two below, and those
  // of plots.csv and map_trees.csv in GeoPackageNetwork.ExportsPlotsAndItsMapTrees.)
  EXPECT_EQ(q.size(), 121u);
  EXPECT_EQ(p.size(), 5u);
  // The summary line ends with the plots adjusted as a network (those of
  // plots.csv) of the plots written.
  const std::string tail = "; 4 of 4 plots adjusted as a network";
  EXPECT_EQ(r.err.back().substr(r.err.back().size() - std::min(r.err.back().size(), tail.size())), tail);

  // The readers take the files; every case once, each plot's cases together.
  const std::vector<quality::CaseAssessment> rows = ReadCases(dir);
  std::vector<quality::ObservationAssessment> observations;
  const quality::FileReadStatus os = quality::ReadObservationsFile(
      dir.WorkFolder() + quality::kObservationsFileName, observations);
  ASSERT_TRUE(os.ok) << os.message;
  std::set<int> seen, plotsDone;
  int plot = 0, network = 0;
  for (size_t k = 0; k < rows.size(); ++k) {
    EXPECT_TRUE(seen.insert(rows[k].caseNumber).second);
    if (rows[k].plot != plot) {
      EXPECT_TRUE(plotsDone.insert(rows[k].plot).second) << "plot " << rows[k].plot << " split";
      plot = rows[k].plot;
    }
    const bool isNetwork = q[k + 1].find(",network,") != std::string::npos;
    network += isNetwork;
    // The reader takes the network's columns.
    ASSERT_TRUE(rows[k].networkFigures) << q[k + 1];
    EXPECT_EQ(rows[k].networkFigures->network, isNetwork);
  }
  EXPECT_GT(network, 80);
  for (const quality::ObservationAssessment& ob : observations) EXPECT_TRUE(seen.count(ob.caseNumber));

  // The marks, read from the file's own columns: case (1), slot (4),
  // confusable_tree (16).
  std::set<std::tuple<std::string, std::string, std::string>> marks;
  const std::vector<std::string> o = SplitLines(dir.Read(quality::kObservationsFileName));
  for (size_t k = 1; k < o.size(); ++k) {
    std::vector<std::string> f;
    ASSERT_TRUE(quality::SplitCsvLine(o[k], f));
    ASSERT_EQ(f.size(), 17u);
    if (!f[15].empty()) marks.insert({f[0], f[3], f[15]});
  }
  ASSERT_GT(marks.size(), 3u) << "the simulated stands should have confusable sightings";
  std::multiset<std::pair<std::string, std::string>> displaced, positions;
  const std::vector<std::string> m = SplitLines(dir.Read(quality::kMapTreesFileName));
  for (size_t k = 1; k < m.size(); ++k) {
    const std::vector<std::string> f = testing::SplitFields(m[k]);
    if (f.back() == "TRUE") displaced.insert({f[0], f[1]});
  }
  ASSERT_FALSE(displaced.empty()) << "the simulated stands should have displaced map trees";
  std::set<std::tuple<std::string, std::string, std::string>> listed;
  // The network's removals beside each suspect, from the warnings.
  int alsoRemoved = 0, alsoListed = 0;
  for (size_t at = qualityText.find("also removed: slot "); at != std::string::npos;
       at = qualityText.find("also removed: slot ", at + 1))
    ++alsoRemoved;
  ASSERT_GT(alsoRemoved, 0) << "the simulated stands should have cases with two errors";
  const std::vector<std::string> crew = SplitLines(dir.Read("crew.csv"));
  for (size_t k = 1; k < crew.size(); ++k) {
    std::vector<std::string> f;
    ASSERT_TRUE(quality::SplitCsvLine(crew[k], f));
    ASSERT_EQ(f.size(), 10u);
    if (f[5] == "position") positions.insert({f[0], f[4]});
    alsoListed += f[6].rfind("also removed: ", 0) == 0;
    const size_t at = f[6].find("confusable with tree ");
    if (at == std::string::npos) continue;
    const std::string tree = f[6].substr(at + 21, f[6].find(' ', at + 21) - at - 21);
    listed.insert({f[2], f[3], tree});
    if (f[6].rfind("outlier", 0) != 0 && f[6].rfind("also removed", 0) != 0) {
      EXPECT_EQ(f[5], "tree number") << crew[k];
    }
  }
  EXPECT_EQ(listed, marks);
  EXPECT_EQ(positions, displaced);
  EXPECT_EQ(alsoListed, alsoRemoved);

  // --quality case writes what the default writes.
  TempFolder cases, plain;
  Write(cases, d);
  Write(plain, d);
  ASSERT_EQ(RunBatch(cases, "--quality case map.txt sightings.txt").status, 0);
  ASSERT_EQ(RunBatch(plain, "map.txt sightings.txt").status, 0);
  for (const char* name : {quality::kQualityFileName, quality::kObservationsFileName, "results.txt"})
    EXPECT_EQ(cases.Read(name), plain.Read(name)) << name;
  EXPECT_FALSE(cases.Exists(quality::kPlotsFileName));
  // Options that do not go together.
  for (const char* args : {"--quality plot map.txt sightings.txt",
                           "--azimuth-bias none map.txt sightings.txt",
                           "--quality network --azimuth-bias some map.txt sightings.txt"})
    EXPECT_EQ(RunBatch(cases, args).status, 2) << args;
}

// Realistic plots carry 180-degree azimuth blunders, wrong numbers and
// displaced map trees together; a plain first adjustment with them in it
// did not converge, and a removal that left a field tree undetermined made
// the whole plot fall back to the per-case layer (about half of the plots of
// a mature stand did). Every plot is adjusted as a network now: plots.csv
// has a converged line for each, and every computed case of it is a
// network case.
//
// treetri-bench-network scores the network in memory on the simulator's
// cases (tools::QualityInputs: no azimuth correction, no start position);
// treetri-batch reads the same data from files, adds the run's azimuth
// correction (the parameter file's plus the legacy's random addition) and
// starts each field tree from its legacy position. The bench's figures stand
// for the batch only if both give every case the same assessment: the plot's
// azimuth bias takes the correction up (it differs by exactly the correction
// drawn, so a correction left out, applied twice or with the wrong sign
// shows), and the adjustment ends at the same solution from either start.
// Dense young stands are where the two once seemed to differ (the stand of
// six plots).
TEST(NetworkRun, EveryRealisticPlotIsAdjustedAsANetworkAndAsTheInMemoryBenchAssessesIt) {
  for (const auto& [plots, cases, young] : {std::tuple{12, 480, false}, {12, 480, true}, {6, 240, true}}) {
    SCOPED_TRACE(std::to_string(plots) + (young ? " young plots" : " mature plots"));
    const tools::SimulatedData d = SimulateRealistic(1, plots, cases, young);
    TempFolder dir;
    Write(dir, d);
    ASSERT_EQ(RunBatch(dir, "--quality network map.txt sightings.txt").status, 0);
    const std::vector<std::string> p = SplitLines(dir.Read(quality::kPlotsFileName));
    ASSERT_EQ(p.size(), plots + 1u);
    int fieldTrees = 0;
    std::map<int, double> batchBias;
    for (size_t k = 1; k < p.size(); ++k) {
      const std::vector<std::string> f = testing::SplitFields(p[k]);
      EXPECT_EQ(f.back(), "TRUE") << p[k];
      fieldTrees += std::stoi(f[1]);
      batchBias[std::stoi(f[0])] = std::stod(f[7]);  // azimuth_bias, degrees
    }
    int network = 0, computed = 0;
    for (const std::string& line : SplitLines(dir.Read(quality::kQualityFileName))) {
      network += line.find(",network,") != std::string::npos;
      computed += line.find("not computed") == std::string::npos;
    }
    EXPECT_EQ(network, fieldTrees);
    EXPECT_GE(network, computed - 1 - plots) << "at most one case per plot alone";

    const std::string record = dir.Read("run.json");
    const std::string key = "\"azimuth_correction_used_deg\": ";
    const size_t at = record.find(key);
    ASSERT_NE(at, std::string::npos) << record;
    const double correction = std::stod(record.substr(at + key.size()));
    EXPECT_NE(correction, 0.0) << "the legacy's random addition is drawn";
    const std::vector<quality::CaseAssessment> rows = ReadCases(dir);
    ASSERT_EQ(rows.size(), d.fieldTrees.size());
    // The bench's way, plot by plot in the order of the cases.
    const std::vector<quality::CaseInput> inputs = tools::QualityInputs(d);
    std::map<int, std::vector<size_t>> byPlot;
    for (size_t c = 0; c < inputs.size(); ++c) byPlot[inputs[c].plot].push_back(c);
    std::vector<quality::CaseAssessment> bench(inputs.size());
    ASSERT_EQ(byPlot.size(), batchBias.size());
    int outliers = 0;
    for (const auto& [plot, idx] : byPlot) {
      std::vector<quality::CaseInput> in;
      for (size_t c : idx) in.push_back(inputs[c]);
      const quality::PlotResult r = quality::AssessPlot(in, quality::NetworkOptions{});
      for (size_t k = 0; k < idx.size(); ++k) bench[idx[k]] = r.cases[k].quality.row;
      ASSERT_TRUE(r.summary.hasBias);
      EXPECT_NEAR(batchBias[plot] - r.summary.bias, correction, 2e-4) << "plot " << plot;
    }
    for (size_t c = 0; c < rows.size(); ++c) {
      const quality::CaseAssessment& b = rows[c];
      const quality::CaseAssessment& m = bench[c];
      ASSERT_EQ(b.tree, m.tree);
      SCOPED_TRACE("plot " + std::to_string(b.plot) + " tree " + std::to_string(b.tree));
      EXPECT_EQ(std::tie(b.verdict, b.suspectTree, b.suspectKind, b.suggestedTree),
                std::tie(m.verdict, m.suspectTree, m.suspectKind, m.suggestedTree));
      for (auto figure : {&quality::CaseAssessment::x, &quality::CaseAssessment::y,
                          &quality::CaseAssessment::conf95A}) {
        EXPECT_EQ((b.*figure).has_value(), (m.*figure).has_value());
        if (b.*figure && m.*figure) {
          EXPECT_NEAR(*(b.*figure), *(m.*figure), 5e-4);
        }
      }
      outliers += b.verdict == quality::Verdict::Outlier;
    }
    EXPECT_GT(outliers, 20) << "the stand should carry errors to find";
  }
}

// Plots adjusted on several threads are written as one thread writes them:
// each plot whole, in the order of its first case, with the same figures.
TEST(NetworkRun, ThreadsWriteWhatOneThreadWrites) {
  const std::vector<quality::CaseInput> inputs = tools::QualityInputs(SimulateRealistic(7, 12, 360, true));
  std::map<std::string, std::string> files[2];
  quality::QualitySummary summaries[2];
  const unsigned threads[2] = {1, 5};
  for (int k = 0; k < 2; ++k) {
    TempFolder dir;
    quality::NetworkRun run;
    run.SetThreads(threads[k]);
    std::string error;
    ASSERT_TRUE(run.Begin(dir.Path() + "/", quality::NetworkOptions{}, error)) << error;
    for (const quality::CaseInput& in : inputs) run.AddCase(in);
    ASSERT_TRUE(run.End(error)) << error;
    files[k] = dir.Snapshot();
    summaries[k] = run.Summary();
  }
  ASSERT_EQ(files[0].size(), 4u);  // quality.csv, observations.csv, plots.csv, map_trees.csv
  ASSERT_EQ(SplitLines(files[0][quality::kPlotsFileName]).size(), 13u);  // the header and every plot
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(summaries[0].verdicts, summaries[1].verdicts);
  EXPECT_EQ(summaries[0].suggestions, summaries[1].suggestions);
}

// A wrong number in a dense young stand is blamed on its own field tree
// alone. Where it had the field trees that rightly sight its tree blamed,
// each plot is repaired when every removal on the tree goes back and
// snooping runs again:
// - Seed 6, plot 15: map tree 26 is 1.7 m off on the map by chance (no
//   planted shift) and field tree 1019 wrote 26 for tree 22, which stands
//   near where the map puts 26; the robust start leaves out every sighting
//   of 26. Back together, the wrong sighting and 26's map coordinates fail.
// - Seed 1, plot 5: field tree 1021 wrote 47 for tree 10; snooping removed
//   its distance alone, and its azimuth, still in, had 1016's sighting of 47
//   removed.
// - Seed 10, plot 7: field tree 1002 wrote 38 for tree 18, 3.2 m away; its
//   sighting was found, and so were those of 1011 and 1035, which sight 38
//   rightly.
// A wrong number also pulls its own field tree, so that the field tree's
// clean sightings fail first and the wrong one then fits: the field tree's
// removals are tried back together (seed 1, plot 21; seed 2, plot 32).
TEST(NetworkRun, AWrongNumberIsBlamedAndNeitherTheFieldTreesThatRightlySightItsTreeNorItsCleanSightings) {
  const struct {
    int seed, plot, field, named, intended;
    int sightings;  // of the tree named, by field trees that are clean but for the wrong one (0:
                    // not looked at)
    bool displaced, alone;  // the tree named found displaced; the wrong number the field tree's only error
  } rows[] = {{6, 15, 1019, 26, 22, 5, true, true},  {1, 5, 1021, 47, 10, 2, false, false},
              {10, 7, 1002, 38, 18, 3, false, true}, {1, 21, 1009, 2, 17, 0, false, true},
              {2, 32, 1028, 32, 15, 0, false, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE("seed " + std::to_string(row.seed) + ", plot " + std::to_string(row.plot));
    const YoungPlot p = SimulateYoungPlot(row.seed, row.plot);
    // The data set still holds the case (the simulator's draws unchanged):
    // the field tree's planted errors, the named tree not shifted.
    int errors = 0, slot = 0;
    for (const tools::PlantedError& e : tools::PlantedErrors(p.data))
      if (e.plot == row.plot && e.tree == row.field && e.kind != tools::PlantedKind::CompassBias) {
        ++errors;
        if (e.kind == tools::PlantedKind::WrongTree && e.plantedTree == row.named &&
            e.trueTree == row.intended)
          slot = e.slot;
      }
    ASSERT_GT(slot, 0);
    ASSERT_EQ(errors == 1, row.alone);
    for (const tools::MapTree& m : p.data.map)
      if (m.plot == row.plot && m.tree == row.named) {
        ASSERT_EQ(m.shift, 0.0);
      }
    const quality::PlotResult r = quality::AssessPlot(p.inputs, {});
    for (const quality::MapTreeResult& m : r.mapTrees)
      if (m.tree == row.named) {
        EXPECT_EQ(m.displaced, row.displaced);
      }
    int sightings = 0;
    for (size_t c = 0; c < p.inputs.size(); ++c) {
      const quality::CaseAssessment& a = r.cases[c].quality.row;
      const bool wrong = p.inputs[c].tree == row.field;
      bool sights = false;
      for (const quality::InputSighting& s : p.inputs[c].sightings) sights = sights || s.tree == row.named;
      sightings += sights;
      if (sights && row.sightings) {
        EXPECT_EQ(a.verdict == quality::Verdict::Outlier, wrong) << p.inputs[c].tree;
      }
      if (!wrong) continue;
      EXPECT_EQ(std::tuple(a.verdict, a.suspectTree, a.suggestedTree),
                std::tuple(quality::Verdict::Outlier, std::optional(row.named), std::optional(row.intended)));
      // Nothing else of the field tree left out.
      for (const quality::RemovedSighting& m : r.cases[c].removed) {
        EXPECT_TRUE(!row.alone || m.slot == slot) << "slot " << m.slot << " left out";
      }
    }
    if (row.sightings) {
      EXPECT_EQ(sightings, row.sightings);
    }
  }
}

// Snooping's first removals are tested against a network that still holds
// the errors found later. Seed 5, plot 16: field tree 1033 names map tree 7
// for 34; its azimuth goes first and its distance holds tree 7 away, so
// 1015's sighting of 7 fails, and with it 1021's of 34. Out whole, the
// wrong sighting leaves both to pass. Seed 5, plot 11: two clean distances
// are removed before the plot's errors are, and pass once those are out.
TEST(NetworkRun, CleanSightingsLeftOutOnTheWayGoBack) {
  const struct {
    int plot;
    std::vector<int> clean;
    int wrong;  // the field tree that names 7 for 34
  } rows[] = {{11, {1001, 1007}, 0}, {16, {1015, 1021}, 1033}};
  const tools::SimulatedData data = SimulateRealistic(5, 50, 2000, true);
  const std::vector<quality::CaseInput> all = tools::QualityInputs(data);
  for (const auto& row : rows) {
    std::vector<quality::CaseInput> in;
    for (const quality::CaseInput& c : all)
      if (c.plot == row.plot) in.push_back(c);
    const quality::PlotResult r = quality::AssessPlot(in, {});
    for (size_t c = 0; c < in.size(); ++c) {
      const quality::CaseAssessment& a = r.cases[c].quality.row;
      const bool clean = std::count(row.clean.begin(), row.clean.end(), in[c].tree) > 0;
      if (clean) {
        for (const tools::PlantedError& e : tools::PlantedErrors(data))
          EXPECT_FALSE(e.plot == row.plot && e.tree == in[c].tree) << in[c].tree;
        EXPECT_EQ(a.verdict, quality::Verdict::Ok) << in[c].tree;
        EXPECT_TRUE(r.cases[c].removed.empty()) << in[c].tree;
      }
      if (in[c].tree == row.wrong) {
        EXPECT_EQ(std::tie(a.suspectTree, a.suspectKind, a.suggestedTree),
                  std::tuple(7, quality::SuspectKind::Sighting, 34));
      }
    }
  }
}

// Young plots whose adjustment once stopped or ran on; each converges now,
// whole and with its bias, in fewer than 1,500 Gauss-Newton solutions.
// - Seed 5, plot 40: a field tree that sights a map tree by an azimuth
//   without a distance, where the map's error is as large as the distance
//   between them, is pulled onto that map tree; there no direction from the
//   one to the other is defined, Gauss-Newton stops lowering vTPv, and with
//   every field tree in the network converged neither with the bias nor
//   without it. Such sightings, where an adjustment stopped, now go out
//   first and the snooping tests them like any other.
// - Seed 9, plot 28 and seed 10, plot 10: the search ends with a field tree
//   nearer than 0.3 m to a tree it sights, and its adjustment, converged to
//   the search's millimetre, cannot be taken on to 0.1 mm: it stands, and
//   the plots keep their bias (they were adjusted without it).
// - Seed 1, plot 23: one trial of the search puts several gross errors back
//   at once, and from the network it leaves no removal can be adjusted.
//   Snooping used to try some sixty of them there, each fifty Gauss-Newton
//   steps that do not converge (about 5,000 solutions for the plot); it
//   stops after a few such tries in a row (about 700).
TEST(NetworkRun, NeitherAFieldTreePulledOntoAMapTreeNorTrialsWithNothingToAdjustKeepAPlotFromConverging) {
  for (const auto& [seed, plot] : {std::pair{5, 40}, {9, 28}, {10, 10}, {1, 23}}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const YoungPlot p = SimulateYoungPlot(seed, plot);
    const quality::PlotResult r = quality::AssessPlot(p.inputs, {});
    EXPECT_TRUE(r.summary.converged);
    EXPECT_TRUE(r.summary.hasBias);
    EXPECT_LT(r.summary.iterations, 1500);
    int network = 0;
    for (size_t c = 0; c < p.inputs.size(); ++c) {
      network += r.cases[c].network;
      EXPECT_EQ(r.cases[c].quality.row.warnings.find("left out of the plot network"), std::string::npos)
          << p.inputs[c].tree;
    }
    EXPECT_EQ(r.summary.fieldTrees, network);
    EXPECT_GE(network, static_cast<int>(p.inputs.size()) - 2);
  }
}

// A plot that cannot be adjusted whole all the same (here a sighting with
// a distance of 0, which puts its field tree's start on the tree it sights,
// where the direction is not defined even at the start) is adjusted
// without the field trees that fail or show an outlier adjusted alone;
// those stay alone, with a warning that says why.
TEST(NetworkRun, APlotThatCannotBeAdjustedWholeLeavesOutItsFieldTreesThatFailAlone) {
  YoungPlot p = SimulateYoungPlot(2, 10);
  // A field tree whose first sighting has both observations: its distance
  // becomes 0 and the others lose theirs, so that the start is that tree.
  const size_t broken = std::find_if(p.inputs.begin(), p.inputs.end(), [](const quality::CaseInput& c) {
                          const std::vector<quality::InputSighting>& s = c.sightings;
                          return s.size() >= 3 && s[0].onMap && s[0].hasAzimuth && s[0].hasDistance;
                        }) - p.inputs.begin();
  ASSERT_LT(broken, p.inputs.size());
  std::vector<quality::InputSighting>& s = p.inputs[broken].sightings;
  s[0].distance = 0;
  for (size_t k = 1; k < s.size(); ++k) s[k].hasDistance = false;
  const quality::PlotResult r = quality::AssessPlot(p.inputs, {});
  int alone = 0;
  for (size_t c = 0; c < p.inputs.size(); ++c) {
    const quality::NetworkCaseResult& res = r.cases[c];
    const quality::Verdict own = quality::AssessCase(p.inputs[c]).row.verdict;
    const bool doubtful = own != quality::Verdict::Ok && own != quality::Verdict::NoRedundancy;
    EXPECT_EQ(res.network, !doubtful) << p.inputs[c].tree;
    EXPECT_EQ(res.quality.row.warnings.find("left out of the plot network") != std::string::npos, doubtful)
        << p.inputs[c].tree;
    alone += doubtful;
  }
  EXPECT_FALSE(r.cases[broken].network);
  EXPECT_GT(alone, 0);
  EXPECT_EQ(r.summary.fieldTrees, static_cast<int>(p.inputs.size()) - alone);
  EXPECT_TRUE(r.summary.converged);
}

// Mature seed 3 in plots of 100 field trees, plot 5: one group that the
// robust start left out passes its predicted test round after round but
// keeps every round it is in from converging. Each failed round sent only
// its best group back, and some forty rounds failed (1,362 Gauss-Newton
// solutions for the plot); after a round that failed, a round now takes at
// most half as many groups (453).
TEST(NetworkRun, PuttingBackAfterARoundThatFailedTakesSmallerRounds) {
  const tools::SimulatedData d = SimulateRealistic(3, 20, 2000, false);
  std::vector<quality::CaseInput> in;
  for (const quality::CaseInput& c : tools::QualityInputs(d))
    if (c.plot == 5) in.push_back(c);
  ASSERT_EQ(in.size(), 100u);
  const quality::PlotResult r = quality::AssessPlot(in, {});
  EXPECT_TRUE(r.summary.converged);
  EXPECT_TRUE(r.summary.hasBias);
  EXPECT_LT(r.summary.iterations, 700);
}

}  // namespace
}  // namespace treetri
