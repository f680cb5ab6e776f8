// The simulator's files as the readers take them, and the position-error
// statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/readers.h"
#include "platform/headless_ui.h"
#include "positioning/tables.h"
#include "tests/support.h"
#include "tools/position_stats.h"
#include "tools/simulation.h"

namespace treetri {
namespace {

using namespace tools;

// Three plots of 40 field trees; clean: the sightings without errors.
SimulatedData Simulate(std::uint64_t seed, bool clean) {
  SimulationOptions o;
  o.seed = seed;
  if (clean) o.MakeClean();
  return SimulatePlots(o);
}

TEST(ToolsSimulation, SameSeedSameFilesAndErrorFreeSightingsReadBackAgreeWithTheTruth) {
  const SimulatedData a = Simulate(11, false), b = Simulate(11, false), d = Simulate(3, true);
  for (auto text : {MapFileText, SightingFileText, ParameterFileText, TruthFileText})
    EXPECT_TRUE(!text(a).empty() && text(a) == text(b));
  EXPECT_NE(SightingFileText(a), SightingFileText(Simulate(12, false)));
  testing::TempFolder dir;
  Tables t;
  HeadlessUi ui;
  std::string error;
  ASSERT_TRUE(WriteSimulationFiles(d, dir.Path(), error)) << error;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/" + kSimMapFile) &&
              ReadSightingFile(t, ui, dir.Path() + "/" + kSimSightingFile));
  ASSERT_EQ(ui.messages.back(), "120 observed trees to be positioned ");
  for (int i = 1; i <= 120; ++i) {
    const TargetTree& r = t.TargetTrees[i];
    const tools::FieldTree& f = d.fieldTrees[static_cast<size_t>(i - 1)];
    ASSERT_TRUE(r.Plot == f.plot && r.Tree == f.tree && r.DistanceCount == r.NPA) << i;
    // From the map tree back along the azimuth (clockwise from north): the
    // field tree, to the rounding of the files (cm, 0.1 degree, ~15 m).
    for (int k = 1; k <= r.NPA; ++k) {
      const double a = r.Azimuth[k] * 3.141592653589793 / 180.0;
      EXPECT_NEAR(r.Sighted[k].X - r.Distance[k] * std::sin(a), f.trueX, 0.03) << i << "/" << k;
      EXPECT_NEAR(r.Sighted[k].Y - r.Distance[k] * std::cos(a), f.trueY, 0.03) << i << "/" << k;
    }
  }
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
