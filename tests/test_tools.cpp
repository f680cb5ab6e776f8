// The simulator's files as the readers take them, and the position-error
// statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "data/field_reader.h"
#include "data/readers.h"
#include "platform/headless_ui.h"
#include "tests/support.h"
#include "tools/position_stats.h"
#include "tools/simulation.h"

namespace treetri {
namespace {

using testing::TempFolder;
using tools::SimulatedData;
using Messages = std::vector<std::string>;

tools::SimulationOptions Options(std::uint64_t seed, int plots, int cases, bool clean = false) {
  tools::SimulationOptions o;
  o.seed = seed;
  o.plots = plots;
  o.cases = cases;
  if (clean) o.MakeClean();
  return o;
}

TEST(ToolsSimulation, SameSeedGivesIdenticalFiles) {
  TempFolder a, b;
  std::string error;
  ASSERT_TRUE(tools::WriteSimulationFiles(tools::SimulatePlots(Options(11, 3, 90)), a.Path(), error));
  ASSERT_TRUE(tools::WriteSimulationFiles(tools::SimulatePlots(Options(11, 3, 90)), b.Path(), error));
  for (const char* name : {tools::kSimMapFile, tools::kSimSightingFile, tools::kSimParameterFile,
                           tools::kSimTruthFile}) {
    EXPECT_FALSE(a.Read(name).empty()) << name;
    EXPECT_EQ(a.Read(name), b.Read(name)) << name;
  }
  const SimulatedData other = tools::SimulatePlots(Options(12, 3, 90));
  EXPECT_NE(a.Read(tools::kSimSightingFile), tools::SightingFileText(other));
}

TEST(ToolsSimulation, FilesReadBackWithTheirCountsAndErrorFreeSightingsAgreeWithTheTruth) {
  const SimulatedData d = tools::SimulatePlots(Options(3, 3, 60, true));
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  std::string error;
  ASSERT_TRUE(tools::WriteSimulationFiles(d, dir.Path(), error)) << error;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/" + tools::kSimMapFile));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/" + tools::kSimSightingFile));
  EXPECT_EQ(ui.messages, (Messages{std::to_string(d.summary.mapRecords) + " trees / fixed points read",
                                   "60 observed trees to be positioned "}));
  ASSERT_EQ(t.PhotoTrees.Size(), d.summary.mapRecords);
  ASSERT_EQ(t.TargetTreeCount, 60);
  const std::vector<std::string> truth = testing::SplitLines(dir.Read(tools::kSimTruthFile));
  ASSERT_EQ(truth.size(), 61u);  // with a header
  for (int i = 1; i <= t.TargetTreeCount; ++i) {
    const TargetTree& r = t.TargetTrees[i];
    const std::vector<std::string> f = testing::SplitFields(truth[static_cast<size_t>(i)]);
    double x = 0, y = 0;
    ASSERT_TRUE(f.size() == 4 && std::stoi(f[0]) == r.Plot && std::stoi(f[1]) == r.Tree &&
                ParseReal(f[2], x) && ParseReal(f[3], y)) << truth[static_cast<size_t>(i)];
    EXPECT_TRUE(r.DistanceCount == r.NPA && r.AzimuthCount == r.NPA) << i;
    // From the map tree back along the azimuth (clockwise from north): the
    // field tree, to the rounding of the files (cm, 0.1 degree, ~15 m).
    for (int k = 1; k <= r.NPA; ++k) {
      const double a = r.Azimuth[k] * 3.141592653589793 / 180.0;
      EXPECT_NEAR(r.Sighted[k].X - r.Distance[k] * std::sin(a), x, 0.03) << i << "/" << k;
      EXPECT_NEAR(r.Sighted[k].Y - r.Distance[k] * std::cos(a), y, 0.03) << i << "/" << k;
    }
  }
}

// One results line with one slot block; the fields that the statistics read
// are given, the others are fixed plausible values.
std::string ResultLine(int caseNo, int plot, int tree, const std::string& x, const std::string& y,
                       const std::string& sx, const std::string& sy) {
  return std::to_string(caseNo) + ",3," + std::to_string(plot) + "," + std::to_string(tree) +
         ",1,10.00,20.00," + x + "," + y + ",1.020," + sx + "," + sy +
         ",3.5164,1,4,7,1,100.00,200.00,100.01,200.02,0.0010,0.004,True,0.5000,4.20,True,"
         "0.3000,1.2000,POLAR   \r\n";
}

TEST(ToolsErrors, StatisticsOfAHandMadePair) {
  const tools::ResultsFile r = tools::ParseResultsText(
      "Case,NumofIte,Plot-id,Tree-id\r\n" +
      ResultLine(1, 1, 1001, "100.30", "200.40", "0.20", "0.30") +  // error 0.5, OK
      ResultLine(2, 1, 1002, "50.00", "60.00", "0.50", "0.50") +    // error 1.0, OK at the limit
      ResultLine(3, 2, 1001, "10.00", "12.00", "0.51", "0.10") +    // error 2.0, not OK
      ResultLine(4, 2, 1002, "-999", "-999", "-999", "-999") +      // failed
      ResultLine(5, 3, 1, "5.00", "5.00", "0.10", "0.10") +         // not in the truth, OK
      "garbage\r\n6,1,1\r\n\r\n" + ResultLine(9, 1, 1003, "3.00", "4.00", "0.80", "0.90"));  // 5.0
  const tools::TruthFile t = tools::ParseTruthText(
      "Plot,Tree,X,Y\n1,1001,100.0,200.0\n1,1002,50.6,60.8\n2,1001,10,10\n2,1002,7,7\n"
      "1,1003,0,0\n1,1003,9,9\nbad line\n");
  EXPECT_TRUE(r.headerSeen && r.cases.size() == 6u && r.skippedLines == 2) << r.skippedLines;
  EXPECT_TRUE(t.positions.size() == 5u && t.duplicates == 1 && t.skippedLines == 1);
  const tools::ErrorStatistics s = tools::ComputeErrorStatistics(r, t);
  EXPECT_EQ(s.cases, 6);
  EXPECT_EQ(s.withPosition, 5);
  EXPECT_EQ(s.matched, 4);
  EXPECT_EQ(s.notInTruth, 1);
  // Errors 0.5, 1, 2 and 5.
  EXPECT_DOUBLE_EQ(s.median, 1.5);
  EXPECT_DOUBLE_EQ(s.rmse, 2.75);  // sqrt((0.25 + 1 + 4 + 25) / 4)
  EXPECT_DOUBLE_EQ(s.mean, 2.125);
  EXPECT_DOUBLE_EQ(s.max, 5.0);
  EXPECT_EQ(s.statusOk, 3);  // cases 1, 2 and 5
  EXPECT_EQ(s.okMatched, 2);
  EXPECT_NEAR(s.okRmse, std::sqrt(0.625), 1e-12);
  const std::string report = tools::FormatReport(r, t, s);
  EXPECT_NE(report.find("RMSE (m)                    2.750"), std::string::npos) << report;
  EXPECT_NE(report.find("3 of 6 (50.0 %)"), std::string::npos) << report;
  EXPECT_NE(report.find("line 7: 1 fields, fewer than 15"), std::string::npos) << report;
}

}  // namespace
}  // namespace treetri
