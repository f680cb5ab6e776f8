// Number-to-text rules, the status of a case and the three lines the
// results writer makes.
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "output/number_text.h"
#include "output/results_writer.h"
#include "platform/headless_ui.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

TEST(FixedText, DecimalsAndRounding) {
  EXPECT_EQ(FixedText(1234.5, 2), "1234.50");
  EXPECT_EQ(FixedText(0.004, 2), "0.00");
  EXPECT_EQ(FixedText(0.005, 2), "0.01");  // half away from zero after 15 digits
  EXPECT_EQ(FixedText(-0.005, 2), "-0.01");
  EXPECT_EQ(FixedText(2.675, 2), "2.68");  // binary 2.67499999... reads 2.675
  EXPECT_EQ(FixedText(1.005, 2), "1.01");
  EXPECT_EQ(FixedText(9.995, 2), "10.00");
  EXPECT_EQ(FixedText(0.5, 0), "1");
  EXPECT_EQ(FixedText(1.5, 0), "2");
  EXPECT_EQ(FixedText(2.5, 0), "3");
  EXPECT_EQ(FixedText(-2.5, 0), "-3");
  EXPECT_EQ(FixedText(0.49, 0), "0");
  EXPECT_EQ(FixedText(17, 0), "17");
  EXPECT_EQ(FixedText(0, 5), "0.00000");
  EXPECT_EQ(FixedText(0.123456, 5), "0.12346");
  EXPECT_EQ(FixedText(-3.14159265358979, 4), "-3.1416");
  EXPECT_EQ(FixedText(0.0996, 2), "0.10");
  EXPECT_EQ(FixedText(99.996, 2), "100.00");
  EXPECT_EQ(FixedText(6912345.678, 2), "6912345.68");
  EXPECT_EQ(FixedText(3401234.125, 2), "3401234.13");
  EXPECT_EQ(FixedText(1e20, 2), "100000000000000000000.00");
  EXPECT_EQ(FixedText(1e-20, 3), "0.000");
}

TEST(FixedText, SignsOfZeroAndNotFinite) {
  EXPECT_EQ(FixedText(-0.0, 2), "0.00");
  EXPECT_EQ(FixedText(-0.001, 2), "-0.00");
  EXPECT_EQ(FixedText(std::nan(""), 2), "-999");
  EXPECT_EQ(FixedText(std::numeric_limits<double>::infinity(), 3), "-999");
  EXPECT_EQ(FixedText(-std::numeric_limits<double>::infinity(), 0), "-999");
}

TEST(FreeText, AtMostFifteenDigits) {
  EXPECT_EQ(FreeText(0.1), "0.1");
  EXPECT_EQ(FreeText(-2.5), "-2.5");
  EXPECT_EQ(FreeText(1), "1");
  EXPECT_EQ(FreeText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FreeText(3265.3061224489797), "3265.30612244898");
  EXPECT_EQ(FreeText(1e-20), "1e-20");
  EXPECT_EQ(FreeText(std::nan("")), "-999");
}

TEST(IntegerText, PlainAndPrinted) {
  EXPECT_EQ(IntegerText(17), "17");
  EXPECT_EQ(IntegerText(-3), "-3");
  EXPECT_EQ(PrintedNumberText(12), " 12 ");
  EXPECT_EQ(PrintedNumberText(-4), "-4 ");
}

// A case adjusted with two slots, with the figures the writer reads set by
// hand.
Tables WrittenCase() {
  Tables t;
  testing::SetParameters(t, testing::Parameters{});
  testing::AddTarget(t, 7, 12, 2, {{3, 5.5, 10}, {4, -1, 200}}, {{3, 1, 2}, {4, -3, 1}});
  t.TargetTrees[1].Species = 2;
  t.TargetTrees[1].SightedSpecies[1] = 1;
  t.TargetTrees[1].SightedSpecies[2] = 3;
  CaseWork& c = t.Case;
  c.CaseObservations.Recreate(2);
  c.FixedPoints.Recreate(2);
  c.CaseObservations[1] = CaseObservation{1, 2, kTrue, 5.5, 5.5, kTrue, 1.396, 1.396, 0, 0.0123, 0.00004};
  c.CaseObservations[2] = CaseObservation{3, 0, kFalse, 0, 0, kTrue, -1.9, -1.9, 0, 0, -0.02};
  c.FixedPoints[1] = FixedPoint{1, 2, 1, 2, 1.004, 2.006};
  c.FixedPoints[2] = FixedPoint{-3, 1, -3, 1, -2.995, 0.9951};
  c.X_ini = 0.111;
  c.Y_ini = -0.115;
  c.X_adj = 0.1;
  c.Y_adj = -0.1;
  c.SigmaNull = 1.23456;
  c.SigmaX = 0.2;
  c.SigmaY = 0.3;
  c.NumOfObs = 7;
  c.TypeOfIni = {'P', 'O', 'L', 'A', 'R', ' ', ' ', ' '};
  c.BaardaValues = Vector{1.5, 2.25, 3.125, 0, 0, 0, 0};
  return t;
}

TEST(ResultsLines, FieldsOfAnAdjustedCase) {
  Tables t = WrittenCase();
  EXPECT_EQ(ResultsLine(t, 1, 4),
            "1,4,7,12,2,0.11,-0.12,0.10,-0.10,1.235,0.20,0.30,2.2937,2,7,"
            "3,1,1.00,2.00,1.00,2.01,0.0000,0.012,True,2.2500,5.50,True,1.5000,1.3960,"
            "4,3,-3.00,1.00,-3.00,1.00,-0.0200,0.000,False,-999,0.00,True,3.1250,-1.9000,"
            "POLAR   ");
  EXPECT_EQ(ListLine(t, 1, 4), "1, 4, 7, 12, 0.10, -0.10, 1.235, 0.20, 0.30,  OK ");
  EXPECT_EQ(MapDataLine(t, 1),
            "12,2,0.10,-0.10,0.00000,0.00000,0.00000,0.00000,0.00000,0.00000,1.00,2.01,-3.00,"
            "1.00,");
  EXPECT_EQ(ResultsHeaderLine(t, 1),
            "Case,NumofIte,Plot-id,Tree-id, Sp, X_ini, Y_ini, X_adj, Y_adj, SigmaNull, SigmaX, "
            "SigmaY, Tau, NPA, NumOfObs, "
            "Tree, Sp, Obs_X, Obs_Y, X_adj, Y_adj, Res_Azim, Res_Dist, IsDist, BaardaDist, "
            "Obs_dist, Is_Azim, Baarda_Azim, Obs_azim,"
            "Tree, Sp, Obs_X, Obs_Y, X_adj, Y_adj, Res_Azim, Res_Dist, IsDist, BaardaDist, "
            "Obs_dist, Is_Azim, Baarda_Azim, Obs_azim,TypeOfIni");
}

TEST(ResultsLines, TauOutsideTheTable) {
  Tables t = WrittenCase();
  t.Case.NumOfObs = 3;
  EXPECT_EQ(testing::SplitFields(ResultsLine(t, 1, 1))[12], "55.0000");
  t.Case.NumOfObs = 31;
  EXPECT_EQ(testing::SplitFields(ResultsLine(t, 1, 1))[12], "2.0869");
  t.Case.NumOfObs = 32;
  EXPECT_EQ(testing::SplitFields(ResultsLine(t, 1, 1))[12], "-999");
  t.Case.NumOfObs = 2;
  EXPECT_EQ(testing::SplitFields(ResultsLine(t, 1, 1))[12], "-999");
}

TEST(CaseStatus, ThresholdsAndSuspect) {
  Tables t = WrittenCase();
  auto status = [&](double sx, double sy) {
    t.Case.SigmaX = sx;
    t.Case.SigmaY = sy;
    return CaseStatus(t, 1);
  };
  EXPECT_EQ(status(0.5, 0.5), " OK ");
  EXPECT_EQ(status(0.6, 0.1), " ? ");
  EXPECT_EQ(status(0.75, 0.1), " ? ");
  // The largest azimuth test value is slot 2's (3.125) with tree 4; the
  // distance value of slot 1 (2.25) never counts.
  EXPECT_EQ(status(0.1, 0.8), "???? Point 4 erroneous?");
  t.Case.BaardaValues(3) = 1.5;  // tie with slot 1: the earlier slot
  EXPECT_EQ(status(0.1, 0.8), "???? Point 3 erroneous?");
  t.Case.BaardaValues(1) = 0;
  t.Case.BaardaValues(3) = 0;
  t.Case.BaardaValues(2) = 99;
  EXPECT_EQ(status(0.1, 0.8), "???? Point ? erroneous?");
  EXPECT_EQ(ListLine(t, 1, 20).substr(ListLine(t, 1, 20).size() - 25),
            ", ???? Point ? erroneous?");
}

TEST(CaseStatus, FailedAndUnchecked) {
  Tables t = WrittenCase();
  t.Case.Unchecked = true;
  EXPECT_EQ(CaseStatus(t, 1), "UNCHECKED");
  auto f = testing::SplitFields(ResultsLine(t, 1, 1));
  EXPECT_EQ(f[7], "0.10");   // position kept
  EXPECT_EQ(f[9], "-999");   // SigmaNull
  EXPECT_EQ(f[12], "-999");  // Tau
  EXPECT_EQ(f[15 + 9], "-999");
  EXPECT_EQ(f[15 + 12], "-999");
  t.Case.Unchecked = false;
  t.Case.Failure = CaseFailure::Singular;
  EXPECT_EQ(CaseStatus(t, 1), "FAILED: singular");
  f = testing::SplitFields(ResultsLine(t, 1, 3));
  EXPECT_EQ(f.size(), 15u + 28u + 1u);
  EXPECT_EQ(f[5], "0.11");  // the initial approximation stays
  EXPECT_EQ(f[7], "-999");
  EXPECT_EQ(f[15 + 4], "-999");
  EXPECT_EQ(ListLine(t, 1, 3), "1, 3, 7, 12, -999, -999, -999, -999, -999, FAILED: singular");
  EXPECT_EQ(MapDataLine(t, 1), "12,2,-999,-999,0.00000,0.00000,0.00000,0.00000,0.00000,0.00000,"
                               "-999,-999,-999,-999,");
  t.Case.Failure = CaseFailure::Npa;
  f = testing::SplitFields(ResultsLine(t, 1, 0));
  EXPECT_EQ(f.size(), 16u);
  EXPECT_EQ(f[1], "0");
  EXPECT_EQ(f[14], "0");
  EXPECT_EQ(f[15], "NONE    ");
  EXPECT_EQ(CaseStatus(t, 1), "FAILED: NPA");
  t.Case.Failure = CaseFailure::CoincidentPoint;
  EXPECT_EQ(CaseStatus(t, 1), "FAILED: coincident point");
  t.Case.Failure = CaseFailure::NotFinite;
  EXPECT_EQ(CaseStatus(t, 1), "FAILED: not finite");
  t.Case.Failure = CaseFailure::TooManyRows;
  EXPECT_EQ(CaseStatus(t, 1), "FAILED: too many rows");
}

TEST(WriteCaseResults, FilesAndListInOrder) {
  testing::TempFolder dir;
  Tables t = WrittenCase();
  t.WorkFolder = dir.WorkFolder();
  t.Parameters.ResultsFileName = dir.Path() + "/res.txt";
  HeadlessUi ui;
  int one = 1, four = 4;
  WriteCaseResults(t, ui, one, four);
  int two = 2;
  t.TargetTrees[2] = t.TargetTrees[1];
  WriteCaseResults(t, ui, two, four);
  const std::string results = dir.Read("res.txt");
  auto lines = testing::SplitLines(results);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], ResultsHeaderLine(t, 1));
  EXPECT_EQ(lines[1], ResultsLine(t, 1, 4));
  EXPECT_EQ(lines[2].substr(0, 2), "2,");
  EXPECT_EQ(results.substr(results.size() - 2), "\r\n");
  EXPECT_EQ(testing::SplitLines(dir.Read("mapdata.txt")).size(), 2u);
  ASSERT_EQ(ui.list.size(), 2u);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(WriteCaseResults, UnwritableFileGivesOneMessage) {
  testing::TempFolder dir;
  Tables t = WrittenCase();
  t.WorkFolder = dir.WorkFolder();
  // A folder where the results file should be: it cannot be appended to.
  dir.Write("keep", "");
  t.Parameters.ResultsFileName = dir.Path() + "/keep/res.txt";
  HeadlessUi ui;
  OutputState state;
  int one = 1, four = 4;
  WriteCaseResults(t, ui, one, four, state);
  WriteCaseResults(t, ui, one, four, state);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find(dir.Path() + "/keep/res.txt"), std::string::npos);
  EXPECT_TRUE(state.resultsFileFailed);
  EXPECT_EQ(ui.list.size(), 2u);  // the list still shows the cases
}

}  // namespace
}  // namespace treetri
