// The simulator, its generator and the position-error report.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <type_traits>

#include "data/field_reader.h"
#include "app/startup.h"
#include "data/readers.h"
#include "platform/headless_ui.h"
#include "positioning/run.h"
#include "tests/support.h"
#include "tools/position_stats.h"
#include "tools/rng.h"
#include "tools/simulation.h"
#include "tools/text_format.h"

namespace treetri {
namespace {

using testing::SplitFields;
using testing::SplitLines;
using testing::TempFolder;
using tools::SimulatedData;
using tools::SimulationOptions;
using tools::SlotKind;

constexpr double kDeg = 3.141592653589793 / 180.0;

// ---------------------------------------------------------------- generator

TEST(ToolsRng, MatchesThePublishedReferenceSequences) {
  // xoshiro256** from the state {1, 2, 3, 4}; the first two values follow by
  // hand: rotl(2 * 5, 7) * 9 = 11520, and s[1] becomes 0 after one step.
  tools::Rng r = tools::Rng::FromState({1, 2, 3, 4});
  EXPECT_EQ(r.Next(), 11520u);
  EXPECT_EQ(r.Next(), 0u);
  EXPECT_EQ(r.Next(), 1509978240u);
  EXPECT_EQ(r.Next(), 1215971899390074240u);
  // splitmix64 from seed 0.
  tools::SplitMix64 sm(0);
  EXPECT_EQ(sm.Next(), 0xE220A8397B1DCDAFull);
  EXPECT_EQ(sm.Next(), 0x6E789E6AA1B965F4ull);
  EXPECT_EQ(sm.Next(), 0x06C45D188009454Full);
}

TEST(ToolsRng, SameSeedSameSequenceAndSaneDistributions) {
  tools::Rng a(42), b(42), c(43);
  bool differs = false;
  for (int i = 0; i < 100; ++i) {
    const std::uint64_t x = a.Next();
    EXPECT_EQ(x, b.Next());
    differs = differs || x != c.Next();
  }
  EXPECT_TRUE(differs);

  tools::Rng r(7);
  const int n = 200000;
  double sum = 0, sumSq = 0, uMin = 1, uMax = 0;
  int counts[5] = {};
  for (int i = 0; i < n; ++i) {
    const double u = r.Uniform();
    uMin = std::min(uMin, u);
    uMax = std::max(uMax, u);
    const int k = r.UniformInt(2, 6);
    ASSERT_GE(k, 2);
    ASSERT_LE(k, 6);
    ++counts[k - 2];
    const double z = r.Normal();
    sum += z;
    sumSq += z * z;
  }
  EXPECT_GE(uMin, 0.0);
  EXPECT_LT(uMax, 1.0);
  for (int c2 : counts) EXPECT_NEAR(c2, n / 5, n / 50);  // every value, evenly
  EXPECT_NEAR(sum / n, 0.0, 0.01);
  EXPECT_NEAR(std::sqrt(sumSq / n), 1.0, 0.01);
  EXPECT_EQ(r.UniformInt(3, 3), 3);
}

// ---------------------------------------------------------------- simulation

SimulationOptions Options(std::uint64_t seed, int plots, int cases) {
  SimulationOptions o;
  o.seed = seed;
  o.plots = plots;
  o.cases = cases;
  return o;
}

TEST(ToolsSimulation, SameSeedGivesIdenticalFiles) {
  const SimulationOptions o = Options(11, 3, 90);
  TempFolder a, b;
  std::string error;
  ASSERT_TRUE(tools::WriteSimulationFiles(tools::SimulatePlots(o), a.Path(), error)) << error;
  ASSERT_TRUE(tools::WriteSimulationFiles(tools::SimulatePlots(o), b.Path() + "/sub", error))
      << error;
  for (const char* name : {tools::kSimMapFile, tools::kSimSightingFile, tools::kSimParameterFile,
                           tools::kSimTruthFile}) {
    const std::string first = a.Read(name);
    EXPECT_FALSE(first.empty()) << name;
    EXPECT_EQ(first, b.Read(std::string("sub/") + name)) << name;
  }
  const SimulatedData other = tools::SimulatePlots(Options(12, 3, 90));
  EXPECT_NE(a.Read(tools::kSimSightingFile), tools::SightingFileText(other));
  EXPECT_NE(a.Read(tools::kSimMapFile), tools::MapFileText(other));
}

TEST(ToolsSimulation, RejectsWhatTheTablesCannotHold) {
  EXPECT_EQ(tools::CheckOptions(Options(1, 14, 2000)), "");  // 143 per plot
  EXPECT_EQ(tools::CheckOptions(Options(1, 1, 150)), "");
  EXPECT_NE(tools::CheckOptions(Options(1, 1, 151)), "");
  EXPECT_NE(tools::CheckOptions(Options(1, 20, 2001)), "");
  EXPECT_NE(tools::CheckOptions(Options(1, 0, 10)), "");
  EXPECT_NE(tools::CheckOptions(Options(1, 91, 100)), "");
  EXPECT_NE(tools::CheckOptions(Options(1, 3, 0)), "");
  SimulationOptions o = Options(1, 3, 30);
  o.resultsFileName = "a,b.txt";  // a comma would shift the parameter file
  EXPECT_NE(tools::CheckOptions(o), "");
  o = Options(1, 3, -1);
  EXPECT_EQ(o.TotalCases(), 120);
}

TEST(ToolsSimulation, LargestRunFitsTheTablesAndKeepsItsLimits) {
  // 2000 field trees and 90 plots: the map stays under 5700 records.
  const SimulatedData d = tools::SimulatePlots(Options(5, 90, 2000));
  EXPECT_LE(d.summary.mapRecords, kMaxPhotoTrees);
  EXPECT_EQ(d.summary.fieldTrees, 2000);
  std::set<std::pair<int, int>> fieldIds;
  for (const auto& f : d.fieldTrees) {
    ASSERT_GE(f.slots.size(), 2u);
    ASSERT_LE(f.slots.size(), 5u);
    EXPECT_TRUE(fieldIds.insert({f.plot, f.tree}).second);
    bool full = false;
    for (const auto& s : f.slots) {
      EXPECT_FALSE(s.distance <= -1 && s.azimuth <= -1) << "a slot with nothing observed";
      full = full || (s.distance > -1 && s.azimuth > -1);
      if (s.azimuth > -1) {
        EXPECT_GE(s.azimuth, 0.0);
        EXPECT_LT(s.azimuth, 360.0);
      }
    }
    EXPECT_TRUE(full) << "field tree " << f.plot << "/" << f.tree << " has no polar slot";
  }
  EXPECT_LE(d.summary.mapRecords, kMaxPhotoTrees);
}

// The field tree as the polar point of one slot: from the map tree back
// along the azimuth. Independent of how the simulator computes azimuths.
void PolarPoint(double mapX, double mapY, double distance, double azimuthDeg, double& x,
                double& y) {
  x = mapX - distance * std::sin(azimuthDeg * kDeg);
  y = mapY - distance * std::cos(azimuthDeg * kDeg);
}

TEST(ToolsSimulation, ErrorFreeSightingsAgreeWithTheCoordinatesReadBack) {
  SimulationOptions o = Options(3, 3, 60);
  o.MakeClean();
  const SimulatedData d = tools::SimulatePlots(o);
  TempFolder dir;
  std::string error;
  ASSERT_TRUE(tools::WriteSimulationFiles(d, dir.Path(), error)) << error;

  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/map.txt"));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/sightings.txt"));
  ASSERT_EQ(t.TargetTreeCount, 60);
  EXPECT_EQ(t.PhotoTrees.Size(), d.summary.mapRecords);

  const std::vector<std::string> truth = SplitLines(dir.Read("truth.txt"));
  ASSERT_EQ(truth.size(), 61u);
  EXPECT_EQ(truth[0], "Plot,Tree,X,Y");
  int slots = 0;
  for (int i = 1; i <= t.TargetTreeCount; ++i) {
    const TargetTree& tt = t.TargetTrees[i];
    const std::vector<std::string> f = SplitFields(truth[static_cast<size_t>(i)]);
    ASSERT_EQ(f.size(), 4u);
    ASSERT_EQ(std::stoi(f[0]), tt.Plot);
    ASSERT_EQ(std::stoi(f[1]), tt.Tree);
    double tx = 0, ty = 0;
    ASSERT_TRUE(ParseReal(f[2], tx) && ParseReal(f[3], ty));
    EXPECT_EQ(tt.DistanceCount, tt.NPA);
    EXPECT_EQ(tt.AzimuthCount, tt.NPA);
    for (int k = 1; k <= tt.NPA; ++k) {
      ASSERT_TRUE(IsTrue(tt.HasDistance[k]) && IsTrue(tt.HasAzimuth[k]));
      double x = 0, y = 0;
      PolarPoint(tt.Sighted[k].X, tt.Sighted[k].Y, tt.Distance[k], tt.Azimuth[k], x, y);
      // Map in cm, distance in cm, azimuth in 0.1 degree (at most ~15 m).
      EXPECT_NEAR(x, tx, 0.03) << "case " << i << " slot " << k;
      EXPECT_NEAR(y, ty, 0.03) << "case " << i << " slot " << k;
      ++slots;
    }
  }
  EXPECT_EQ(slots, d.summary.slots);
}

TEST(ToolsSimulation, MeasurementErrorsHaveTheirStandardErrors) {
  const SimulatedData d = tools::SimulatePlots(Options(9, 40, 2000));
  double dSum = 0, dSq = 0, aSq = 0, mSq = 0;
  int nd = 0, na = 0, nm = 0;
  for (const auto& m : d.map) {
    mSq += (m.mapX - m.trueX) * (m.mapX - m.trueX) + (m.mapY - m.trueY) * (m.mapY - m.trueY);
    nm += 2;
  }
  for (const auto& f : d.fieldTrees)
    for (const auto& s : f.slots) {
      if (s.kind != SlotKind::Good && s.kind != SlotKind::WrongTree) continue;
      const auto& m = d.map[static_cast<size_t>(s.measuredIndex)];
      if (s.distance > -1) {
        const double e = s.distance - std::hypot(m.trueX - f.trueX, m.trueY - f.trueY);
        dSum += e;
        dSq += e * e;
        ++nd;
      }
      if (s.azimuth > -1) {
        // Angle between the observed ray and the true direction, from vectors.
        const double ux = std::sin(s.azimuth * kDeg), uy = std::cos(s.azimuth * kDeg);
        const double vx = m.trueX - f.trueX, vy = m.trueY - f.trueY;
        const double e = std::atan2(ux * vy - uy * vx, ux * vx + uy * vy) / kDeg;
        aSq += e * e;
        ++na;
      }
    }
  ASSERT_GT(nd, 5000);
  EXPECT_NEAR(dSum / nd, 0.0, 0.005);
  EXPECT_NEAR(std::sqrt(dSq / nd), 0.05, 0.005);
  EXPECT_NEAR(std::sqrt(aSq / na), 1.0, 0.05);
  EXPECT_NEAR(std::sqrt(mSq / nm), 0.3, 0.015);
  // About 5 % of each quantity is missing.
  EXPECT_NEAR(static_cast<double>(d.summary.missingDistances) / d.summary.slots, 0.05, 0.015);
  EXPECT_NEAR(static_cast<double>(d.summary.missingAzimuths) / d.summary.slots, 0.05 * 0.95,
              0.015);
}

TEST(ToolsSimulation, GrossErrorsAndAnomaliesAreWhatTheyClaim) {
  const SimulatedData d = tools::SimulatePlots(Options(21, 6, 600));
  EXPECT_GT(d.summary.grossAzimuths, 0);
  EXPECT_GT(d.summary.wrongTrees, 0);
  EXPECT_EQ(d.summary.foreignTrees, 1);
  for (const auto& f : d.fieldTrees) {
    int gross = 0;
    for (const auto& s : f.slots) {
      const auto& m = d.map[static_cast<size_t>(s.measuredIndex)];
      if (s.kind != SlotKind::Good) ++gross;
      if (s.kind == SlotKind::GrossAzimuth) {
        const double truth = tools::AzimuthDegrees(f.trueX, f.trueY, m.trueX, m.trueY);
        double off = std::fabs(s.azimuth - truth);
        off = std::min(off, 360.0 - off);
        EXPECT_GE(off, 15.0);
        EXPECT_LE(off, 95.0);
      }
      if (s.kind == SlotKind::WrongTree) {
        EXPECT_NE(s.tree, m.tree);
        EXPECT_GE(s.tree, 1);
        EXPECT_LE(s.tree, d.plots[static_cast<size_t>(f.plot - 1)].mapTrees);
      }
      if (s.kind == SlotKind::ForeignTree) {
        EXPECT_GT(s.tree, d.plots[static_cast<size_t>(f.plot - 1)].mapTrees);
      }
    }
    EXPECT_LE(gross, 2) << "one gross error, and at most the foreign slot besides";
  }

  // Read back: the repeated map tree gives the coordinates of its last
  // record, and the foreign tree number is not found in its plot.
  TempFolder dir;
  std::string error;
  ASSERT_TRUE(tools::WriteSimulationFiles(d, dir.Path(), error)) << error;
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/map.txt"));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/sightings.txt"));
  EXPECT_EQ(ui.messages.back(), "600 observed trees to be positioned ");
  const PhotoTree& last = t.PhotoTrees[t.PhotoTrees.Size()];
  EXPECT_EQ(last.Plot, d.summary.duplicatedPlot);
  EXPECT_EQ(last.Tree, d.summary.duplicatedTree);
  EXPECT_EQ(last.Text16.find("remeasured") != std::string::npos, true);
  int copies = 0, duplicateSightings = 0, foreignSlots = 0;
  for (int i = 1; i <= t.PhotoTrees.Size(); ++i)
    copies += t.PhotoTrees[i].Plot == last.Plot && t.PhotoTrees[i].Tree == last.Tree;
  EXPECT_EQ(copies, 2);
  for (int i = 1; i <= t.TargetTreeCount; ++i) {
    const TargetTree& tt = t.TargetTrees[i];
    const auto& f = d.fieldTrees[static_cast<size_t>(i - 1)];
    ASSERT_EQ(tt.NPA, static_cast<int>(f.slots.size()));
    for (int k = 1; k <= tt.NPA; ++k) {
      if (f.slots[static_cast<size_t>(k - 1)].kind == SlotKind::ForeignTree) {
        ++foreignSlots;
        EXPECT_FALSE(IsTrue(tt.HasDistance[k]) || IsTrue(tt.HasAzimuth[k]));
        EXPECT_EQ(tt.Sighted[k].X, 0.0);
      } else if (tt.Plot == last.Plot && tt.SightedTree[k] == last.Tree) {
        ++duplicateSightings;
        EXPECT_EQ(tt.Sighted[k].X, last.X);
        EXPECT_EQ(tt.Sighted[k].Y, last.Y);
      }
    }
  }
  EXPECT_EQ(foreignSlots, 1);
  EXPECT_GE(duplicateSightings, 1);
}

TEST(ToolsSimulation, ParameterFileReadsItemByItem) {
  const SimulatedData d = tools::SimulatePlots(Options(4, 6, 60));
  FieldReader in(tools::ParameterFileText(d));
  FieldError err;
  std::string label, text;
  double a = 0, b = 0;
  std::int32_t n = 0;
  // Each value follows its label.
  auto labelled = [&](auto& out) {
    if (!in.ReadText(label, err)) return false;
    using T = std::decay_t<decltype(out)>;
    if constexpr (std::is_same_v<T, std::string>) return in.ReadText(out, err);
    else if constexpr (std::is_same_v<T, double>) return in.ReadReal(out, err);
    else return in.ReadInt32(out, err);
  };
  ASSERT_TRUE(labelled(text));
  EXPECT_EQ(text, "results.txt");
  ASSERT_TRUE(labelled(n));
  ASSERT_TRUE(labelled(a));
  EXPECT_EQ(a, 0.0);  // AzimuthCorrection
  ASSERT_TRUE(labelled(a) && in.ReadReal(b, err));
  EXPECT_EQ(a, 3400000.0);
  EXPECT_EQ(b, 6900000.0);
  ASSERT_TRUE(labelled(a) && in.ReadReal(b, err));
  EXPECT_EQ(a, 0.3);  // SigmaMapX
  EXPECT_EQ(b, 0.3);  // SigmaMapY
  ASSERT_TRUE(labelled(n));
  EXPECT_EQ(n, 4);  // six plots, four centres listed
  ASSERT_TRUE(in.ReadText(label, err));
  for (int r = 0; r < n; ++r) ASSERT_TRUE(in.ReadReal(a, err) && in.ReadReal(b, err));
  // Six plots in rows of three: the fourth starts the second row.
  EXPECT_EQ(a, 3400000.0);
  EXPECT_EQ(b, 6900200.0);
  ASSERT_TRUE(labelled(text));  // item 16: any field
  for (int item = 18; item <= 24; item += 2) ASSERT_TRUE(labelled(a)) << item;
  ASSERT_TRUE(labelled(text));  // item 26: any field
  ASSERT_TRUE(labelled(a));
  ASSERT_TRUE(labelled(a));
  EXPECT_EQ(a, 0.05);  // SigmaDistance
  ASSERT_TRUE(labelled(a));
  ASSERT_TRUE(labelled(a));
  EXPECT_NEAR(a, 0.0174533, 1e-6);  // SigmaAzimuth, one degree in radians
  std::int16_t flag = 0;
  ASSERT_TRUE(in.ReadText(label, err) && in.ReadInt16(flag, err));
  EXPECT_TRUE(in.OnlyBlankLeft());

  // Error-free data still gets positive standard errors.
  SimulationOptions o = Options(4, 1, 5);
  o.MakeClean();
  FieldReader clean(tools::ParameterFileText(tools::SimulatePlots(o)));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(clean.ReadText(label, err));  // items 1 to 9
  ASSERT_TRUE(clean.ReadReal(a, err) && clean.ReadReal(b, err));
  EXPECT_GT(a, 0.0);
  EXPECT_GT(b, 0.0);
}

TEST(ToolsSimulation, RecordsHaveTheirFieldCountsAndOneCaseFitsEachPlot) {
  const SimulatedData d = tools::SimulatePlots(Options(8, 4, 5));
  // Five field trees over four plots: 2, 1, 1, 1.
  int perPlot[4] = {};
  for (const auto& f : d.fieldTrees) ++perPlot[f.plot - 1];
  EXPECT_EQ(perPlot[0], 2);
  EXPECT_EQ(perPlot[3], 1);
  const std::string map = tools::MapFileText(d);
  ASSERT_EQ(map.substr(map.size() - 2), "\r\n");
  for (const std::string& line : SplitLines(map)) {
    // The note in field 16 is quoted and holds a comma.
    const size_t q = line.find('"');
    ASSERT_NE(q, std::string::npos);
    EXPECT_EQ(SplitFields(line.substr(0, q)).size(), 16u) << line;
  }
  for (const std::string& line : SplitLines(tools::SightingFileText(d)))
    EXPECT_EQ(SplitFields(line).size(), 19u) << line;
}

// ---------------------------------------------------------------- error report

// One results line with one slot block; the fields that the report reads are
// given, the others are fixed plausible values.
std::string ResultLine(int caseNo, int plot, int tree, const std::string& x, const std::string& y,
                       const std::string& sx, const std::string& sy) {
  return std::to_string(caseNo) + ",3," + std::to_string(plot) + "," + std::to_string(tree) +
         ",1,10.00,20.00," + x + "," + y + ",1.020," + sx + "," + sy +
         ",3.5164,1,4,7,1,100.00,200.00,100.01,200.02,0.0010,0.004,True,0.5000,4.20,True,"
         "0.3000,1.2000,POLAR   \r\n";
}

const char* const kHeader =
    "Case,NumofIte,Plot-id,Tree-id, Sp, X_ini, Y_ini, X_adj, Y_adj, SigmaNull, SigmaX, SigmaY, "
    "Tau, NPA, NumOfObs, Tree, Sp, Obs_X, Obs_Y, X_adj, Y_adj, Res_Azim, Res_Dist, IsDist, "
    "BaardaDist, Obs_dist, Is_Azim, Baarda_Azim, Obs_azim,TypeOfIni\r\n";

TEST(ToolsErrors, StatisticsOfAHandMadePair) {
  const std::string results =
      std::string(kHeader) +
      ResultLine(1, 1, 1001, "100.30", "200.40", "0.20", "0.30") +  // error 0.5, OK
      ResultLine(2, 1, 1002, "50.00", "60.00", "0.50", "0.50") +    // error 1.0, OK at the limit
      ResultLine(3, 2, 1001, "10.00", "12.00", "0.51", "0.10") +    // error 2.0, " ? "
      ResultLine(4, 2, 1002, "-999", "-999", "-999", "-999") +      // failed
      ResultLine(5, 3, 1, "5.00", "5.00", "0.10", "0.10") +         // not in the truth, OK
      "garbage\r\n" +
      "6,1,1\r\n" +
      ResultLine(7, 1, 1003, "abc", "4.00", "0.80", "0.90") +       // unreadable X_adj
      // NPA 3 with one slot block only: cut short.
      "8,3,1,1003,1,0,0,3.00,4.00,1.0,0.1,0.1,2.0,3,10,7,1,1,1,1,1,0,0,True,0,1,True,0,1,"
      "POLAR   \r\n" +
      "\r\n" +
      ResultLine(9, 1, 1003, "3.00", "4.00", "0.80", "0.90");       // error 5.0, "????"
  const std::string truth =
      "Plot,Tree,X,Y\n1,1001,100.0,200.0\n1,1002,50.6,60.8\n2,1001,10,10\n2,1002,7,7\n"
      "1,1003,0,0\n1,1003,9,9\nbad line\n";

  const tools::ResultsFile r = tools::ParseResultsText(results);
  EXPECT_TRUE(r.headerSeen);
  EXPECT_EQ(r.cases.size(), 6u);
  EXPECT_EQ(r.skippedLines, 4);
  const tools::TruthFile t = tools::ParseTruthText(truth);
  EXPECT_EQ(t.positions.size(), 5u);
  EXPECT_EQ(t.duplicates, 1);
  EXPECT_EQ(t.skippedLines, 1);

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
  EXPECT_DOUBLE_EQ(s.OkShare(), 0.5);
  EXPECT_EQ(s.okMatched, 2);
  EXPECT_NEAR(s.okRmse, std::sqrt(0.625), 1e-12);

  const std::string report = tools::FormatReport(r, t, s);
  EXPECT_NE(report.find("median error (m)            1.500"), std::string::npos) << report;
  EXPECT_NE(report.find("RMSE (m)                    2.750"), std::string::npos) << report;
  EXPECT_NE(report.find("3 of 6 (50.0 %)"), std::string::npos) << report;
  EXPECT_NE(report.find("line 7: 1 fields, fewer than 15"), std::string::npos) << report;
}

TEST(ToolsErrors, EmptyAndOddInputGiveZerosNotCrashes) {
  const tools::ResultsFile empty = tools::ParseResultsText("");
  const tools::TruthFile none = tools::ParseTruthText("");
  const tools::ErrorStatistics s = tools::ComputeErrorStatistics(empty, none);
  EXPECT_EQ(s.cases, 0);
  EXPECT_EQ(s.OkShare(), 0.0);
  EXPECT_EQ(s.median, 0.0);
  EXPECT_FALSE(tools::FormatReport(empty, none, s).empty());

  // No header, a NUL-padded TypeOfIni, fields of a huge number, lone commas.
  std::string odd = ResultLine(1, 1, 5, "1.00", "1.00", "0.10", "0.10");
  odd.replace(odd.find("POLAR   "), 8, std::string(8, '\0'));
  odd += "1,1,99999999999999999999,1,1,1,1,1,1,1,1,1,1,1,1\n,,,,,,,,,,,,,,,,,\n";
  const tools::ResultsFile r = tools::ParseResultsText(odd);
  EXPECT_FALSE(r.headerSeen);
  EXPECT_EQ(r.cases.size(), 1u);
  EXPECT_EQ(r.skippedLines, 2);

  EXPECT_DOUBLE_EQ(tools::Median({3.0}), 3.0);
  EXPECT_DOUBLE_EQ(tools::Median({4.0, 1.0, 3.0}), 3.0);
  EXPECT_DOUBLE_EQ(tools::Median({4.0, 1.0, 3.0, 2.0}), 2.5);
}

TEST(ToolsText, FixedIsLocaleFreeAndHasNoNegativeZero) {
  EXPECT_EQ(tools::Fixed(3400123.456, 2), "3400123.46");
  EXPECT_EQ(tools::Fixed(-0.001, 2), "0.00");
  EXPECT_EQ(tools::Fixed(-0.006, 2), "-0.01");
  EXPECT_EQ(tools::Fixed(12.0, 0), "12");
  EXPECT_EQ(tools::Fixed(std::nan(""), 2), "-999");
}

// ---------------------------------------------------------------- round trip

// Simulated files through the positioning run and back through the error
// report: the simulator's conventions (azimuth from the field tree to the
// map tree, clockwise from north) must be those of the run.
tools::ErrorStatistics RunAndCompare(SimulationOptions o, TempFolder& dir) {
  o.resultsFileName = dir.Path() + "/results.txt";
  std::string error;
  EXPECT_TRUE(tools::WriteSimulationFiles(tools::SimulatePlots(o), dir.Path(), error)) << error;
  Tables t;
  HeadlessUi ui;
  ui.recordDrawing = false;
  StartUpIn(t, ui, dir.Path());
  EXPECT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/map.txt"));
  EXPECT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/sightings.txt"));
  const RunOutcome outcome = Simulate(t, ui);
  EXPECT_TRUE(outcome.parametersRead);
  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.cases, o.TotalCases());
  const tools::ResultsFile r = tools::ParseResultsText(dir.Read("results.txt"));
  EXPECT_TRUE(r.headerSeen);
  EXPECT_EQ(r.skippedLines, 0);
  return tools::ComputeErrorStatistics(r, tools::ParseTruthText(dir.Read("truth.txt")));
}

TEST(ToolsRoundTrip, ErrorFreeDataIsPositionedToTheCentimetre) {
  SimulationOptions o = Options(31, 3, 90);
  o.MakeClean();
  TempFolder dir;
  const tools::ErrorStatistics s = RunAndCompare(o, dir);
  EXPECT_EQ(s.cases, 90);
  EXPECT_EQ(s.matched, 90);
  EXPECT_LT(s.max, 0.03);  // rounding of the files only
  EXPECT_EQ(s.statusOk, 90);
}

TEST(ToolsRoundTrip, NoisyDataGivesDecimetreErrorsAndFlagsSomeCases) {
  TempFolder dir;
  const tools::ErrorStatistics s = RunAndCompare(Options(32, 5, 200), dir);
  EXPECT_EQ(s.cases, 200);
  EXPECT_EQ(s.matched, s.withPosition);
  EXPECT_GT(s.matched, 190);
  // Map errors of 0.3 m per axis dominate; the gross errors make the tail.
  EXPECT_GT(s.median, 0.05);
  EXPECT_LT(s.median, 0.4);
  EXPECT_GT(s.max, s.rmse);
  EXPECT_GT(s.OkShare(), 0.5);
  EXPECT_LT(s.OkShare(), 1.0);
}

// ---------------------------------------------------------------- programs

int RunProgram(const std::string& command, const std::string& output = "/dev/null") {
  const int rc = std::system((command + " >" + output + " 2>/dev/null").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(ToolsPrograms, SimulatorWritesWhatTheLibraryMakesAndRefusesBadOptions) {
  const std::string sim = std::string(TREETRI_BIN_DIR) + "/treetri-simulate";
  TempFolder dir;
  ASSERT_EQ(RunProgram(sim + " --seed 77 --plots 2 --cases 25 --origin 2500000.5 7000000 --out " +
                       dir.Path()),
            0);
  SimulationOptions o = Options(77, 2, 25);
  o.originX = 2500000.5;
  o.originY = 7000000;
  const SimulatedData d = tools::SimulatePlots(o);
  EXPECT_EQ(dir.Read("map.txt"), tools::MapFileText(d));
  EXPECT_EQ(dir.Read("sightings.txt"), tools::SightingFileText(d));
  EXPECT_EQ(dir.Read("truth.txt"), tools::TruthFileText(d));
  EXPECT_EQ(dir.Read("SimulationInputParameters2.txt"), tools::ParameterFileText(d));

  EXPECT_EQ(RunProgram(sim + " --seed 1"), 2);  // no folder
  EXPECT_EQ(RunProgram(sim + " --cases 2001 --plots 20 --out " + dir.Path()), 2);
  EXPECT_EQ(RunProgram(sim + " --seed 1x --out " + dir.Path()), 2);
  EXPECT_EQ(RunProgram(sim + " --seed 18446744073709551616 --out " + dir.Path()), 2);
  EXPECT_EQ(RunProgram(sim + " --origin 1 --out " + dir.Path()), 2);
  EXPECT_EQ(RunProgram(sim + " --seed 18446744073709551615 --cases 3 --out " + dir.Path()), 0);
}

TEST(ToolsPrograms, ErrorToolReportsAndSurvivesMissingFiles) {
  const std::string tool = std::string(TREETRI_BIN_DIR) + "/treetri-errors";
  TempFolder dir;
  dir.Write("r.txt", std::string(kHeader) + ResultLine(1, 1, 1001, "3.00", "4.00", "0.1", "0.1"));
  dir.Write("t.txt", "1,1001,0,0\n");
  const std::string out = dir.Path() + "/out.txt";
  ASSERT_EQ(RunProgram(tool + " " + dir.Path() + "/r.txt " + dir.Path() + "/t.txt", out), 0);
  const std::string report = dir.Read("out.txt");
  EXPECT_NE(report.find("median error (m)            5.000"), std::string::npos) << report;
  EXPECT_NE(report.find("1 of 1 (100.0 %)"), std::string::npos) << report;
  EXPECT_EQ(RunProgram(tool + " " + dir.Path() + "/missing.txt " + dir.Path() + "/t.txt"), 1);
  EXPECT_EQ(RunProgram(tool + " only-one-argument"), 2);
}

}  // namespace
}  // namespace treetri
