// The quality report's figures on a hand-made run and simulation, worked out
// by hand, and its messages for bad input.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "quality/network_files.h"
#include "quality/quality_files.h"
#include "tests/support.h"
#include "tools/position_stats.h"
#include "tools/quality_report.h"
#include "tools/simulation.h"

namespace treetri::tools {
namespace {

using quality::Verdict;

// One plot: map trees 1..5 (plot, tree, species, X, Y, ...) around the field trees, all of which stand at the
// origin; each sights up to three trees 10 m away (tree 5 is 12 m north).
struct HandMadeRun {
  testing::TempFolder dir;
  HandMadeRun() {
    std::string map;
    const char* trees[] = {"1,1,1,0,10", "1,2,1,10,0", "1,3,1,0,-10", "1,4,1,-10,0", "1,5,1,0,12"};
    for (const char* t : trees) map += std::string(t) + ",100,20,5,22,0,401,0,0,AER,0,\"x\",1\r\n";
    dir.Write("map.txt", map);
    const std::string full = "1,10.00,0.0,2,10.00,90.0,3,10.00,180.0,0,-1,-1,0,-1,-1";
    dir.Write("sightings.txt",
              "1,1001,1,3," + full + "\r\n1,1002,1,3," + full +
                  "\r\n1,1003,1,3,5,10.00,0.0,2,10.00,90.0,3,10.00,180.0,0,-1,-1,0,-1,-1"
                  "\r\n1,1004,1,3,2,10.00,0.0,3,10.00,180.0,4,10.00,300.0,0,-1,-1,0,-1,-1"
                  "\r\n1,1005,1,2,5,10.00,0.0,2,10.00,90.0,0,-1,-1,0,-1,-1,0,-1,-1"
                  "\r\n1,1006,1,1,1,10.00,0.0,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1"
                  "\r\n1,1007,1,3,99,10.00,0.0,2,10.00,90.0,3,10.00,180.0,0,-1,-1,0,-1,-1\r\n");
    std::string truth = std::string(kTruthHeader) + "\r\n";
    for (int t = 1001; t <= 1007; ++t) truth += "1," + std::to_string(t) + ",0,0\r\n";
    dir.Write(kSimTruthFile, truth);
    dir.Write(kSimErrorsFile, std::string(kPlantedErrorsHeader) +
                                "\r\n1,1003,1,wrong_tree,1,5,1,2.000"
                                "\r\n1,1004,1,wrong_tree,1,2,1,14.142"
                                "\r\n1,1004,3,azimuth,4,4,1,30.000"
                                "\r\n1,1005,1,wrong_tree,1,5,1,2.000"
                                "\r\n1,1007,1,missing,1,99,0,\r\n");
  }
  // Reads the run's quality files and the truth.
  void Read() {
    ASSERT_TRUE(ReadQualityFiles(dir.Path(), run, error)) << error;
    ASSERT_TRUE(ReadSimulationTruth(dir.Path(), truth, error)) << error;
  }
  QualityFileContents run;
  SimulationTruth truth;
  std::string error;
};

quality::CaseAssessment Row(int tree, Verdict v, double x, double y, double azimuth) {
  quality::CaseAssessment r;
  r.caseNumber = tree - 1000, r.plot = 1, r.tree = tree, r.verdict = v, r.x = x, r.y = y;
  r.conf95A = 2, r.conf95B = 1, r.ellipseAzimuth = azimuth;
  return r;
}

// A share as {hits, of}.
std::vector<int> Pair(const Share& s) { return {s.hits, s.of}; }

TEST(QualityReport, FiguresOfAHandMadeRun) {
  HandMadeRun h;
  // Clean: 1001 ok, truth 1.697 m along a (inside); 1002 outlier, truth
  // 1.414 m along b (outside); 1006 no redundancy and 1007 ok, inside.
  std::vector<quality::CaseAssessment> rows = {
      Row(1001, Verdict::Ok, -1.2, -1.2, 45), Row(1002, Verdict::Outlier, -1, 1, 45),
      Row(1003, Verdict::Outlier, 0, 0, 0), Row(1004, Verdict::Outlier, 0, 0, 0),
      Row(1005, Verdict::Ok, 0, 0, 0), Row(1006, Verdict::NoRedundancy, 0, 1.9, 0),
      Row(1007, Verdict::Ok, 0.9, 0, 90), Row(1099, Verdict::Failed, 0, 0, 0)};
  rows[2].suspectTree = 5, rows[2].suggestedTree = 1;  // the wrong tree named, tree 1 suggested
  rows[3].suspectTree = 2, rows[3].suggestedTree = 3;  // the wrong tree named, tree 3 suggested
  std::string text = quality::QualityHeaderLine();
  for (const quality::CaseAssessment& r : rows) text += quality::FormatQualityLine(r);
  h.dir.Write(quality::kQualityFileName, text);

  ASSERT_NO_FATAL_FAILURE(h.Read());
  EXPECT_FALSE(h.run.observationsRead);
  // Redundancy: azimuths and distances of sightings on the map, less 2.
  EXPECT_EQ(h.truth.cases.at({1, 1005}).redundancy, 2);
  EXPECT_EQ(h.truth.cases.at({1, 1007}).redundancy, 2);
  EXPECT_DOUBLE_EQ(h.truth.cases.at({1, 1003}).searchRadius, 15.0);

  const QualityFigures f = ComputeQualityFigures(h.run, &h.truth);
  EXPECT_EQ(std::vector<int>(f.verdicts, f.verdicts + 5), (std::vector<int>{3, 3, 1, 1, 0}));
  EXPECT_EQ((std::vector<int>{f.suggestions, f.matched, f.notInTruth, f.clean}),
            (std::vector<int>{2, 7, 1, 4}));
  // 1003 and 1004's wrong trees and 1004's azimuth are found, 1005's is not;
  // 1004's suspect names the wrong tree, not the azimuth.
  EXPECT_EQ(Pair(f.all.outlier), (std::vector<int>{3, 4}));
  EXPECT_EQ(Pair(f.all.named), (std::vector<int>{2, 4}));
  EXPECT_EQ(Pair(f.byKind[0].outlier), (std::vector<int>{2, 3}));
  EXPECT_EQ(Pair(f.byKind[1].named), (std::vector<int>{0, 1}));
  // Alone with redundancy >= 3: only 1003 (1004 has two errors, 1005 f = 2).
  EXPECT_EQ(Pair(f.soleWrongTree), (std::vector<int>{1, 1}));
  EXPECT_EQ(Pair(f.soleWrongTreeRight), (std::vector<int>{1, 1}));
  EXPECT_EQ(Pair(f.suggestionsRight), (std::vector<int>{1, 2}));
  EXPECT_EQ(Pair(f.falseAlarms), (std::vector<int>{1, 3}));
  EXPECT_EQ(Pair(f.insideConf95), (std::vector<int>{3, 4}));
  const std::string report = FormatQualityReport(f);
  EXPECT_NE(report.find("false alarms: outlier on clean tested cases 1 of 3 (33.3 %)"),
            std::string::npos)
      << report;
}

// A plot network run's files: the wrong trees of 1003 and 1004 are named,
// 1005's is missed but its sighting carries a confusable mark (read from
// observations.csv's network columns), so every wrong tree is named or
// marked; without the mark one of three is neither.
TEST(QualityReport, MissedWrongTreesWithAConfusableMark) {
  for (const bool marked : {true, false}) {
    HandMadeRun h;
    std::string q = quality::NetworkQualityHeaderLine();
    for (int tree = 1001; tree <= 1007; ++tree) {
      quality::NetworkCaseResult c;
      c.network = true;
      c.quality.row = Row(tree, tree == 1003 || tree == 1004 ? Verdict::Outlier : Verdict::Ok, 0, 0, 0);
      if (tree == 1003) c.quality.row.suspectTree = 5;
      if (tree == 1004) c.quality.row.suspectTree = 2;
      q += quality::FormatNetworkQualityLine(c);
    }
    h.dir.Write(quality::kQualityFileName, q);
    std::string o = quality::NetworkObservationHeaderLine();
    for (const auto& [slot, sighted] : {std::pair{1, 5}, std::pair{2, 2}}) {
      quality::ObservationAssessment r;
      r.caseNumber = 5, r.plot = 1, r.tree = 1005, r.slot = slot, r.sightedTree = sighted;
      quality::ObservationExtra e;
      e.confusableDistance = 2.5;
      if (marked && slot == 1) e.confusableTree = 1;
      o += quality::FormatNetworkObservationLine(r, e);
    }
    h.dir.Write(quality::kObservationsFileName, o);
    ASSERT_NO_FATAL_FAILURE(h.Read());
    ASSERT_EQ(h.run.observations.size(), 2u);
    EXPECT_EQ(h.run.observations[0].confusableTree, marked ? std::optional<int>(1) : std::nullopt);
    EXPECT_EQ(h.run.observations[1].confusableDistance, 2.5);
    const QualityFigures f = ComputeQualityFigures(h.run, &h.truth);
    EXPECT_TRUE(f.withConfusable);
    EXPECT_EQ(Pair(f.wrongCaughtOrConfusable), (std::vector<int>{marked ? 3 : 2, 3}));
    EXPECT_EQ(Pair(f.missedConfusable), (std::vector<int>{marked ? 1 : 0, 1}));
    const std::string report = FormatQualityReport(f);
    EXPECT_NE(report.find(marked ? "wrong tree named or marked confusable       3 of 3 (100.0 %)"
                                 : "wrong tree named or marked confusable       2 of 3 (66.7 %)"),
              std::string::npos)
        << report;
  }
}

// A quality file, and a plot network run's observations file, that do not
// read: each message names the file, the line and the column.
TEST(QualityReport, BadInputNamesFileLineAndColumn) {
  HandMadeRun h;
  const std::string head = quality::QualityHeaderLine();
  const std::string good = quality::FormatQualityLine(Row(1001, Verdict::Ok, 0, 0, 0));
  std::string badVerdict = good;
  badVerdict.replace(badVerdict.find(",ok,"), 4, ",fine,");
  // A confusable tree, and a count of confusable sightings, that are not numbers.
  std::string badTree =
      quality::FormatNetworkObservationLine(quality::ObservationAssessment{}, {7, 2.5});
  badTree.replace(badTree.find(",7,"), 3, ",x7,");
  quality::NetworkCaseResult c;
  c.network = true, c.confusable = 3;
  std::string badCount = quality::FormatNetworkQualityLine(c);
  badCount.replace(badCount.rfind(",3"), 2, ",x3");
  const std::string q = h.dir.Path() + "/quality.csv", o = h.dir.Path() + "/observations.csv";
  const std::string oHead = quality::NetworkObservationHeaderLine();
  const std::string confusableTree = std::to_string(quality::kObservationColumns.size() + 1);
  const std::string confusable = std::to_string(quality::kQualityColumns.size() + 4);
  // (quality.csv, observations.csv or none, the message's start)
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"case,plot\r\n" + good, "", q + " line 1: the header is not \"case,plot,tree,"},
      {head + good + badVerdict, "", q + " line 3, column 40 (verdict): "},
      {"", "", q + " line 1: the file is empty"},
      {head, oHead + badTree, o + " line 2, column " + confusableTree + " (confusable_tree)"},
      {quality::NetworkQualityHeaderLine() + badCount, oHead,
       q + " line 2, column " + confusable + " (confusable)"}};
  for (const auto& [qualityText, observationsText, message] : cases) {
    h.dir.Write(quality::kQualityFileName, qualityText);
    if (!observationsText.empty()) h.dir.Write(quality::kObservationsFileName, observationsText);
    EXPECT_FALSE(ReadQualityFiles(h.dir.Path(), h.run, h.error));
    EXPECT_EQ(h.error.rfind(message, 0), 0u) << h.error;
  }
  h.dir.Write(kSimTruthFile, std::string(kTruthHeader) + "\r\n1,1001,0,0\r\n1,1002,zero,0\r\n");
  EXPECT_FALSE(ReadSimulationTruth(h.dir.Path(), h.truth, h.error));
  EXPECT_EQ(h.error, h.dir.Path() + "/truth.txt line 3: not Plot,Tree,X,Y");
}

}  // namespace
}  // namespace treetri::tools
