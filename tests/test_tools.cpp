// The simulator's files and the errors it plants, and the position-error
// statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support.h"
#include "tools/planted_errors.h"
#include "tools/position_stats.h"
#include "tools/simulation.h"

namespace treetri {
namespace {

using namespace tools;

TEST(ToolsSimulation, WithoutPlantedErrorsTheExampleDataComeOutAsBefore) {
  // The example folder's command, with planting rates 0 and other sizes.
  SimulationOptions o;
  o.seed = 9;
  o.cases = 30;
  o.planting.wrongTreeRadius = 1;
  o.planting.azimuthSize[1] = 90;
  testing::TempFolder dir;
  std::string error;
  ASSERT_TRUE(WriteSimulationFiles(SimulatePlots(o), dir.Path(), error)) << error;
  for (const char* name :
       {kSimMapFile, kSimSightingFile, kSimParameterFile, kSimTruthFile, kSimErrorsFile})
    EXPECT_EQ(dir.Read(name), testing::ExampleText(name)) << name;
}

// Error-free data with planted errors, in the plain forms (with the
// anomalies) and in the crews' forms of a realistic mature and young stand:
// every slot agrees with the truth except by what errors.txt records, the
// record reads back as written, and the same options plant the same errors.
TEST(ToolsSimulation, PlantedErrorsAreWhatTheRecordSays) {
  std::vector<std::pair<SimulationOptions, std::vector<PlantedKind>>> runs(3);
  SimulationOptions& plain = runs[0].first;
  plain.seed = 5;
  plain.plots = 5;
  plain.cases = 400;
  plain.MakeClean();
  plain.anomalies = true;  // the anomaly's tree is only in another plot: a missing one
  plain.planting = {0.1, 0.1, 0.1, 0.05};
  runs[0].second = {PlantedKind::WrongTree, PlantedKind::Azimuth, PlantedKind::Distance,
                    PlantedKind::MapShift, PlantedKind::Missing};
  for (bool young : {false, true}) {
    SimulationOptions& o = runs[1 + young].first;
    o.seed = 21;
    o.plots = 6;
    o.cases = 240;
    o.MakeRealistic(young);
    o.mapError = o.distanceError = o.azimuthErrorDeg = o.missingShare = 0;
    o.planting.wrongTree = o.planting.azimuth = o.planting.distance = 0.15;
    o.planting.mapShift = 0.1;
    o.planting.compassBias = 1;
    runs[1 + young].second = {PlantedKind::WrongTree, PlantedKind::DigitSlip,
                              PlantedKind::Azimuth, PlantedKind::AzimuthFlip,
                              PlantedKind::SlopeDistance, PlantedKind::SwappedDigits,
                              PlantedKind::MapShift};
  }
  for (const auto& [o, expectedKinds] : runs) {
    SCOPED_TRACE(o.stand.realistic ? (o.stand.density > 1000 ? "young" : "mature") : "plain");
    ASSERT_EQ(CheckOptions(o), "");
    const SimulatedData d = SimulatePlots(o);
    const std::vector<PlantedError> errors = PlantedErrors(d);
    EXPECT_EQ(PlantedErrorsText(errors), PlantedErrorsText(PlantedErrors(SimulatePlots(o))));
    const PlantedErrorsFile back = ParsePlantedErrors(PlantedErrorsText(errors), "errors.txt");
    ASSERT_EQ(back.problem, "");
    EXPECT_EQ(PlantedErrorsText(back.errors), PlantedErrorsText(errors));

    // A realistic stand: trees at least the spacing apart (a few may miss it
    // after the placement's tries).
    int close = 0, pairs = 0;
    for (const SimulatedPlot& p : o.stand.realistic ? d.plots : std::vector<SimulatedPlot>{}) {
      std::vector<std::pair<double, double>> at;
      for (const MapTree& m : d.map)
        if (m.plot == p.plot) at.push_back({m.trueX, m.trueY});
      for (const FieldTree& f : d.fieldTrees)
        if (f.plot == p.plot) at.push_back({f.trueX, f.trueY});
      for (size_t a = 0; a < at.size(); ++a)
        for (size_t b = a + 1; b < at.size(); ++b, ++pairs)
          close += std::hypot(at[a].first - at[b].first, at[a].second - at[b].second) <
                   o.stand.spacing - 0.002;
    }
    EXPECT_LT(close, pairs / 1000 + 1);

    std::map<int, double> bias;
    std::map<std::tuple<int, int, int>, PlantedError> bySlot, shiftOfSlot;
    std::map<PlantedKind, int> kinds;
    for (const PlantedError& e : errors) {
      ++kinds[e.kind];
      if (e.kind == PlantedKind::CompassBias) {
        EXPECT_TRUE(std::fabs(e.shift) >= 1 && std::fabs(e.shift) <= 3) << e.shift;
        bias[e.plot] = e.shift;
      } else {
        (e.kind == PlantedKind::MapShift ? shiftOfSlot : bySlot)[{e.plot, e.tree, e.slot}] = e;
      }
    }
    EXPECT_EQ(static_cast<int>(bias.size()), o.planting.compassBias > 0 ? o.plots : 0);
    for (PlantedKind k : expectedKinds) EXPECT_GT(kinds[k], 0) << PlantedKindWord(k);
    auto mapTree = [&](int plot, int tree) -> const MapTree* {
      for (const MapTree& m : d.map)
        if (m.plot == plot && m.tree == tree) return &m;
      return nullptr;
    };
    for (const FieldTree& f : d.fieldTrees)
      for (size_t j = 0; j < f.slots.size(); ++j) {
        const SimulatedSighting& s = f.slots[j];
        const MapTree& measured = d.map[static_cast<size_t>(s.measuredIndex)];
        const double d0 = std::hypot(measured.trueX - f.trueX, measured.trueY - f.trueY);
        const double a0 = AzimuthDegrees(f.trueX, f.trueY, measured.trueX, measured.trueY);
        const std::tuple<int, int, int> slot{f.plot, f.tree, static_cast<int>(j) + 1};
        auto it = bySlot.find(slot);
        const PlantedKind kind = it == bySlot.end() ? PlantedKind::CompassBias : it->second.kind;
        const double shift = it == bySlot.end() ? 0 : it->second.shift;
        double azimuthOff = bias[f.plot], distanceOff = 0;
        if (kind == PlantedKind::AzimuthFlip) {
          EXPECT_EQ(shift, 180);
          azimuthOff += 180;
        }
        if (kind == PlantedKind::Azimuth) {
          EXPECT_TRUE(std::fabs(shift) >= o.planting.azimuthSize[0] &&
                      std::fabs(shift) <= o.planting.azimuthSize[1]) << shift;
          azimuthOff += shift;
        }
        if (kind == PlantedKind::Distance || kind == PlantedKind::SlopeDistance ||
            kind == PlantedKind::SwappedDigits)
          distanceOff = shift;
        if (kind == PlantedKind::SlopeDistance) {
          // A slope of 8 to 25 degrees: the distance over its cosine.
          const double slope = std::acos(d0 / (d0 + distanceOff)) * 180 / 3.141592653589793;
          EXPECT_TRUE(slope > 7.5 && slope < 25.5) << slope << " at " << d0;
        }
        if (kind == PlantedKind::SwappedDigits) {
          // The centimetres of the distance with two neighbouring digits swapped.
          std::string was = std::to_string(std::llround(d0 * 100));
          const std::string now = std::to_string(std::llround(s.distance * 100));
          bool one = false;
          for (size_t k = 0; k + 1 < was.size(); ++k) {
            std::string t = was;
            std::swap(t[k], t[k + 1]);
            one = one || t == now;
          }
          EXPECT_TRUE(one) << was << " " << now;
        }
        // The number written: the recorded one, on the map where recorded so.
        if (it != bySlot.end()) {
          EXPECT_EQ(it->second.trueTree, measured.tree);
          ASSERT_EQ(s.tree, it->second.plantedTree);
          ASSERT_EQ(mapTree(f.plot, s.tree) != nullptr, it->second.onMap);
        }
        if (kind == PlantedKind::WrongTree || kind == PlantedKind::DigitSlip) {
          // Another tree of the plot, as far from the measured one as recorded.
          ASSERT_TRUE(s.tree != measured.tree && mapTree(f.plot, s.tree));
          const MapTree& named = *mapTree(f.plot, s.tree);
          EXPECT_NEAR(std::hypot(named.trueX - measured.trueX, named.trueY - measured.trueY), shift,
                      1e-9);
          if (kind == PlantedKind::WrongTree && o.planting.crewErrors) {
            // The nearest map tree that the field tree does not sight.
            for (const MapTree& m : d.map) {
              bool sighted = false;
              for (const SimulatedSighting& other : f.slots)
                sighted = sighted || other.tree == m.tree ||
                          d.map[static_cast<size_t>(other.measuredIndex)].tree == m.tree;
              if (m.plot == f.plot && !sighted) {
                EXPECT_GE(std::hypot(m.trueX - measured.trueX, m.trueY - measured.trueY) + 1e-9,
                          shift);
              }
            }
          } else if (kind == PlantedKind::DigitSlip) {
            // One digit changed or two neighbouring digits swapped.
            const std::string a = std::to_string(measured.tree), b = std::to_string(s.tree);
            int differ = 0;
            for (size_t k = 0; k < std::min(a.size(), b.size()); ++k) differ += a[k] != b[k];
            EXPECT_TRUE(a.size() == b.size() && (differ == 1 || differ == 2)) << a << " " << b;
          }
        } else if (kind != PlantedKind::Missing) {
          EXPECT_EQ(s.tree, measured.tree);
        }
        // The named map tree displaced by exactly its record (a map without errors).
        auto shifted = shiftOfSlot.find(slot);
        const double mapOff = shifted == shiftOfSlot.end() ? 0 : shifted->second.shift;
        if (shifted != shiftOfSlot.end()) {
          EXPECT_TRUE(mapOff >= o.planting.mapShiftSize[0] - 0.01 &&
                      mapOff <= o.planting.mapShiftSize[1] + 0.01) << mapOff;
        }
        if (const MapTree* m = mapTree(f.plot, s.tree)) {
          EXPECT_NEAR(std::hypot(m->mapX - m->trueX, m->mapY - m->trueY), mapOff, 0.008);
        }
        EXPECT_NEAR(s.distance, d0 + distanceOff, 0.006);
        // The azimuth is rounded to 0.1 degree before and after the blunder
        // (and the compass bias).
        EXPECT_NEAR(std::remainder(s.azimuth - a0 - azimuthOff, 360.0), 0.0,
                    o.planting.compassBias > 0 ? 0.1501 : 0.1001);
      }
  }
  SimulationOptions other = runs[0].first;
  other.seed = 6;
  EXPECT_NE(PlantedErrorsText(PlantedErrors(SimulatePlots(runs[0].first))),
            PlantedErrorsText(PlantedErrors(SimulatePlots(other))));
}

TEST(ToolsPlantedErrors, RoundTripAndBadLinesNamed) {
  const std::string head = std::string(kPlantedErrorsHeader) + "\r\n";
  const std::string good = head + "2,1005,3,wrong_tree,7,15,1,22.237\r\n2,1001,5,missing,15,38,0,\r\n";
  const PlantedErrorsFile f = ParsePlantedErrors(good, "e.txt");
  ASSERT_EQ(f.problem, "");
  EXPECT_EQ(PlantedErrorsText(f.errors), good);
  const std::pair<std::string, std::string> bad[] = {
      {"Plot,Tree\n", "e.txt line 1: the header must be"},
      {head + "1,2,3,wrong_tree,7,15,1\n", "e.txt line 2: 7 fields instead of 8"},
      {head + "\n1,2,0,azimuth,7,7,1,3\n", "e.txt line 3: Plot, Tree and Slot must"},
      {head + "1,2,3,blunder,7,7,1,3\n", "e.txt line 2: unknown Kind \"blunder\""},
      {head + "1,2,3,azimuth,7,7,2,3\n", "e.txt line 2: OnMap must be 0 or 1"},
      {head + "1,2,3,azimuth,7,7,1,\n", "e.txt line 2: Shift is no number"},
      {"", "e.txt line 1: the file is empty"}};
  for (const auto& [text, problem] : bad)
    EXPECT_EQ(ParsePlantedErrors(text, "e.txt").problem.rfind(problem, 0), 0u) << problem;
}

TEST(ToolsErrors, StatisticsOfAHandMadePair) {
  // Results lines of 15 fields (NPA 0). Errors 0.5 (OK), 1 (OK at the limit),
  // 2 (not OK); no position; not in the truth (OK); too short a line.
  const ResultsFile r = ParseResultsText(
      "Case,NumofIte,Plot-id,Tree-id\n1,3,1,1,1,10,20,0.3,0.4,1,0.2,0.3,3.5,0,0\n"
      "2,3,1,2,1,10,20,0,0,1,0.5,0.5,3.5,0,0\n3,3,1,3,1,10,20,10,12,1,0.51,0.1,3.5,0,0\n"
      "4,3,1,4,1,10,20,-999,-999,1,0,0,3.5,0,0\n5,3,1,9,1,10,20,5,5,1,0.1,0.1,3.5,0,0\n6,1\n");
  const TruthFile t = ParseTruthText("Plot,Tree,X,Y\n1,1,0,0\n1,2,0.6,0.8\n1,3,10,10\n1,1,9,9\n");
  const ErrorStatistics s = ComputeErrorStatistics(r, t);
  EXPECT_EQ((std::vector<int>{r.skippedLines, t.duplicates, s.cases, s.withPosition, s.matched,
                              s.notInTruth, s.statusOk, s.okMatched}),
            (std::vector<int>{1, 1, 5, 4, 3, 1, 3, 2}));
  EXPECT_NEAR(s.median, 1, 1e-12);
  EXPECT_NEAR(s.rmse, std::sqrt(1.75), 1e-12);  // sqrt((0.25 + 1 + 4) / 3)
  EXPECT_NEAR(s.okRmse, std::sqrt(0.625), 1e-12);
  EXPECT_NE(FormatReport(r, t, s).find("RMSE (m)                    1.323"), std::string::npos);
}

}  // namespace
}  // namespace treetri
