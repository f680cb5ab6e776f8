// The steps of one case: set-up, initial approximation, observation
// equations and the adjustment step, against values worked out by hand.
#include <cmath>

#include <gtest/gtest.h>

#include "platform/headless_ui.h"
#include "positioning/case_steps.h"
#include "positioning/run.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::AddTarget;
using testing::MapPoint;
using testing::Parameters;
using testing::SetParameters;
using testing::Sighting;

void SetUp4(Tables& t, int caseNumber) {
  PrepareCaseTables(t, caseNumber);
  CopyObservationFlags(t, caseNumber);
  InitFixedPoints(t, caseNumber);
  ConvertAzimuths(t, caseNumber);
}

// ---------------------------------------------------------------- set-up

TEST(DirectionRule, WorkedExamples) {
  EXPECT_EQ(AzimuthToDirection(CorrectAzimuth(350, 15)), 85 * 0.0174532925199433);
  EXPECT_DOUBLE_EQ(AzimuthToDirection(CorrectAzimuth(350, 15)), 1.4835298641951804);
  EXPECT_EQ(AzimuthToDirection(0), 90 * 0.0174532925199433);
  EXPECT_DOUBLE_EQ(AzimuthToDirection(0), 1.570796326794897);
  EXPECT_EQ(AzimuthToDirection(90), 0.0);
  EXPECT_DOUBLE_EQ(AzimuthToDirection(270), -3.141592653589794);
  EXPECT_DOUBLE_EQ(AzimuthToDirection(360), 1.5707963267948948);
  // 270 < a <= 360 uses the 5 pi / 2 form.
  EXPECT_EQ(AzimuthToDirection(300), 15.70796326794895 / 2 - (6.28318530717958 / 360) * 300);
  EXPECT_NEAR(AzimuthToDirection(300), (90 - 300 + 360) * 3.14159265358979 / 180, 1e-13);
  // Outside 0..360 there is no rule: 0 stays.
  EXPECT_EQ(AzimuthToDirection(360.5), 0.0);
}

TEST(DirectionRule, CorrectionWrapsAt360AndBelowZero) {
  EXPECT_EQ(CorrectAzimuth(350, 15), 5);
  EXPECT_EQ(CorrectAzimuth(344.9, 15), 344.9 + 15);
  EXPECT_EQ(CorrectAzimuth(345, 15), 0);  // 360 - c > a fails: 345 - 360 + 15
  EXPECT_EQ(CorrectAzimuth(10, -15), 355);   // below zero: 360 added
  EXPECT_EQ(CorrectAzimuth(-0.5, 0), 359.5);
}

TEST(CaseSetUp, FillsTablesFromSlotsAndFlags) {
  Tables t;
  SetParameters(t, Parameters{});
  t.Parameters.AzimuthCorrection = 15;
  // Slot 1 both, slot 2 azimuth only, slot 3 distance only, slot 4 tree not
  // on the map.
  AddTarget(t, 1, 10, 4, {{1, 5.0, 350}, {2, -1, 90}, {3, 7.5, -1}, {99, 3, 3}},
            {{1, 100, 200}, {2, 110, 190}, {3, 90, 210}});
  SetUp4(t, 1);
  const CaseWork& c = t.Case;
  ASSERT_EQ(c.CaseObservations.Size(), 4);
  ASSERT_EQ(c.FixedPoints.Size(), 4);
  EXPECT_TRUE(IsTrue(c.CaseObservations[1].IsDist));
  EXPECT_TRUE(IsTrue(c.CaseObservations[1].Is_Azim));
  EXPECT_EQ(c.CaseObservations[1].Obs_dist, 5.0);
  EXPECT_DOUBLE_EQ(c.CaseObservations[1].Obs_azim, 1.4835298641951804);
  EXPECT_EQ(c.CaseObservations[1].Azimuth, c.CaseObservations[1].Obs_azim);
  EXPECT_FALSE(IsTrue(c.CaseObservations[2].IsDist));
  EXPECT_EQ(c.CaseObservations[2].Obs_dist, 0.0);
  // 90 + 15 = 105 degrees: -(105 - 90) degrees in radians.
  EXPECT_EQ(c.CaseObservations[2].Obs_azim, -(105 - 90) * kDegToRad);
  EXPECT_FALSE(IsTrue(c.CaseObservations[3].Is_Azim));
  // An unobserved azimuth still gets a direction: from the correction alone.
  EXPECT_EQ(c.CaseObservations[3].Obs_azim, (90 - 15) * kDegToRad);
  EXPECT_FALSE(IsTrue(c.CaseObservations[4].IsDist));
  EXPECT_FALSE(IsTrue(c.CaseObservations[4].Is_Azim));
  EXPECT_EQ(c.FixedPoints[4].Obs_X, 0.0);
  for (int k = 1; k <= 3; ++k) {
    const FixedPoint& p = c.FixedPoints[k];
    EXPECT_EQ(p.X_adj, p.Obs_X);
    EXPECT_EQ(p.StartX, p.Obs_X);
    EXPECT_EQ(p.StartY, p.Obs_Y);
  }
  EXPECT_EQ(c.FixedPoints[2].Obs_X, 110);
  // The field tree itself is not changed.
  EXPECT_EQ(t.TargetTrees[1].Azimuth[1], 350);
}

TEST(CaseSetUp, NpaRange) {
  Tables t;
  AddTarget(t, 1, 1, 0, {}, {});
  AddTarget(t, 1, 2, 21, {}, {});
  AddTarget(t, 1, 3, 20, {}, {});
  AddTarget(t, 1, 4, 1, {}, {});
  EXPECT_FALSE(CaseNpaValid(t, 1));
  EXPECT_FALSE(CaseNpaValid(t, 2));
  EXPECT_TRUE(CaseNpaValid(t, 3));
  EXPECT_TRUE(CaseNpaValid(t, 4));
  EXPECT_FALSE(CaseNpaValid(t, 0));
}

// ------------------------------------------------- initial approximation

// A case with given direction angles (radians) and distances, straight into
// the working tables.
Tables DirectCase(const std::vector<MapPoint>& map, const std::vector<double>& theta,
                  const std::vector<double>& dist) {
  Tables t;
  std::vector<Sighting> slots;
  for (const MapPoint& p : map) slots.push_back({p.tree, 1, 1});
  AddTarget(t, 1, 1, static_cast<int>(map.size()), slots, map);
  int one = 1;
  PrepareCaseTables(t, one);
  CopyObservationFlags(t, one);
  InitFixedPoints(t, one);
  TargetTree& tree = t.TargetTrees[1];
  tree.AzimuthCount = tree.DistanceCount = 0;
  for (size_t i = 0; i < map.size(); ++i) {
    CaseObservation& o = t.Case.CaseObservations[static_cast<int>(i) + 1];
    o.Is_Azim = ToFlag(!std::isnan(theta[i]));
    o.IsDist = ToFlag(!std::isnan(dist[i]));
    o.Obs_azim = std::isnan(theta[i]) ? 0 : theta[i];
    o.Obs_dist = std::isnan(dist[i]) ? 0 : dist[i];
    tree.AzimuthCount += IsTrue(o.Is_Azim);
    tree.DistanceCount += IsTrue(o.IsDist);
  }
  return t;
}

const double kNone = std::nan("");

std::string TypeOf(const Tables& t) {
  return std::string(t.Case.TypeOfIni.data(), t.Case.TypeOfIni.size());
}

TEST(InitialApproximation, PolarPoints) {
  HeadlessUi ui;
  int one = 1;
  Tables a = DirectCase({{1, 100, 200}}, {0}, {10});
  FindInitialApproximation(a, ui, one);
  EXPECT_EQ(a.Case.X_adj, 90);
  EXPECT_EQ(a.Case.Y_adj, 200);
  EXPECT_EQ(TypeOf(a), "POLAR   ");
  EXPECT_EQ(a.Case.X_ini, 90);

  Tables b = DirectCase({{1, 100, 200}}, {kPi / 2}, {10});
  FindInitialApproximation(b, ui, one);
  EXPECT_NEAR(b.Case.X_adj, 100, 1e-12);
  EXPECT_NEAR(b.Case.Y_adj, 190, 1e-12);

  // Two polar slots: the midpoint; azimuth-only slots play no part.
  Tables c = DirectCase({{1, 100, 200}, {2, 0, 0}, {3, 120, 200}}, {0, 1.0, kPi / 2},
                        {10, kNone, 4});
  FindInitialApproximation(c, ui, one);
  EXPECT_NEAR(c.Case.X_adj, (90 + 120) / 2.0, 1e-12);
  EXPECT_NEAR(c.Case.Y_adj, (200 + 196) / 2.0, 1e-12);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(InitialApproximation, IntersectionOfRays) {
  HeadlessUi ui;
  int one = 1;
  // Field tree at (0, 0): tree 1 due east (theta 0), tree 2 due north.
  Tables a = DirectCase({{1, 10, 0}, {2, 0, 10}}, {0, kPi / 2}, {kNone, kNone});
  FindInitialApproximation(a, ui, one);
  EXPECT_EQ(TypeOf(a), "INTERSEC");
  EXPECT_NEAR(a.Case.X_adj, 0, 1e-9);
  EXPECT_NEAR(a.Case.Y_adj, 0, 1e-9);
  EXPECT_EQ(a.Case.CaseObservations[1].Slope, std::tan(0.0));

  // Three rays from (1, 2): each pair's meeting point is (1, 2).
  const double th1 = std::atan2(10 - 2, 8 - 1), th2 = std::atan2(-5 - 2, 4 - 1),
               th3 = std::atan2(3 - 2, -9 - 1);
  Tables b = DirectCase({{1, 8, 10}, {2, 4, -5}, {3, -9, 3}}, {th1, th2, th3},
                        {kNone, kNone, kNone});
  FindInitialApproximation(b, ui, one);
  EXPECT_EQ(TypeOf(b), "INTERSEC");
  EXPECT_NEAR(b.Case.X_adj, 1, 1e-9);
  EXPECT_NEAR(b.Case.Y_adj, 2, 1e-9);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(InitialApproximation, AngleTestAcrossTheSeam) {
  HeadlessUi ui;
  int one = 1;
  const double d170 = 170 * kDegToRad, dm100 = -100 * kDegToRad, dm60 = -60 * kDegToRad;
  // 170 and -100 degrees: 90 degrees apart across the seam, either order.
  for (bool swap : {false, true}) {
    Tables t = DirectCase({{1, 0, 0}, {2, 5, 5}}, swap ? std::vector<double>{dm100, d170}
                                                       : std::vector<double>{d170, dm100},
                          {kNone, kNone});
    FindInitialApproximation(t, ui, one);
    EXPECT_EQ(TypeOf(t), "INTERSEC") << swap;
  }
  EXPECT_TRUE(ui.messages.empty());
  // 170 and -60 degrees: raw 230 degrees, not reduced, rejected.
  Tables r = DirectCase({{1, 0, 0}, {2, 5, 5}}, {d170, dm60}, {kNone, kNone});
  FindInitialApproximation(r, ui, one);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Finding initial approximation failed");
}

TEST(InitialApproximation, AngleBoundsAreExcluded) {
  HeadlessUi ui;
  int one = 1;
  // Exactly 20 degrees apart (as the bound's value): rejected.
  Tables a = DirectCase({{1, 0, 0}, {2, 5, 5}}, {0.34906585039886595, 0}, {kNone, kNone});
  FindInitialApproximation(a, ui, one);
  EXPECT_EQ(ui.messages.size(), 1u);
  Tables b = DirectCase({{1, 0, 0}, {2, 5, 5}}, {2.7925268031909276, 0}, {kNone, kNone});
  FindInitialApproximation(b, ui, one);
  EXPECT_EQ(ui.messages.size(), 2u);
  Tables c = DirectCase({{1, 0, 0}, {2, 5, 5}}, {0.35, 0}, {kNone, kNone});
  FindInitialApproximation(c, ui, one);
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST(InitialApproximation, FailureKeepsThePreviousCase) {
  HeadlessUi ui;
  int one = 1;
  Tables t = DirectCase({{1, 100, 200}}, {0}, {10});
  FindInitialApproximation(t, ui, one);
  // Now one azimuth and no distance.
  Tables next = DirectCase({{1, 0, 0}, {2, 3, 3}}, {0.5, kNone}, {kNone, 4});
  next.Case.X_adj = t.Case.X_adj;
  next.Case.Y_adj = t.Case.Y_adj;
  next.Case.X_ini = t.Case.X_ini;
  next.Case.Y_ini = t.Case.Y_ini;
  next.Case.TypeOfIni = t.Case.TypeOfIni;
  FindInitialApproximation(next, ui, one);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(next.Case.InitialApproximationFailed);
  EXPECT_EQ(next.Case.X_ini, 90);
  EXPECT_EQ(next.Case.X_adj, 90);
  EXPECT_EQ(TypeOf(next), "POLAR   ");
  // A fresh start has eight NULs.
  Tables fresh;
  EXPECT_EQ(TypeOf(fresh), std::string(8, '\0'));
}

// ------------------------------------------------- observation equations

TEST(DirectionAngle, WorkedExamples) {
  EXPECT_EQ(DirectionAngle(0, 0), 0);
  EXPECT_EQ(DirectionAngle(5, 0), 1.5707963267949);
  EXPECT_EQ(DirectionAngle(-5, 5E-08), -1.5707963267949);
  EXPECT_EQ(DirectionAngle(0, -1), 3.14159265358979);
  EXPECT_EQ(DirectionAngle(-1, -1), std::atan(1.0) - 3.14159265358979);
  EXPECT_EQ(DirectionAngle(4, 3), std::atan(4.0 / 3.0));
  EXPECT_DOUBLE_EQ(DirectionAngle(4, 3), 0.927295218001612);
}

TEST(ObservationEquations, RowsOfOneSlotAtThreeFourFive) {
  Tables t;
  SetParameters(t, Parameters{});
  AddTarget(t, 1, 1, 1, {{1, 6, 30}}, {{1, 3, 4}});
  int one = 1;
  SetUp4(t, one);
  t.Case.X_adj = 0;
  t.Case.Y_adj = 0;
  BuildObservationEquations(t, one);
  const Matrix& A = t.Case.DesignMatrix;
  ASSERT_EQ(A.Rows(), 4);
  ASSERT_EQ(A.Cols(), 4);
  EXPECT_EQ(t.Case.NumOfObs, 4);
  EXPECT_DOUBLE_EQ(A(1, 1), 0.16);
  EXPECT_DOUBLE_EQ(A(1, 2), -0.12);
  EXPECT_DOUBLE_EQ(A(1, 3), -0.16);
  EXPECT_DOUBLE_EQ(A(1, 4), 0.12);
  EXPECT_DOUBLE_EQ(A(2, 1), -0.6);
  EXPECT_DOUBLE_EQ(A(2, 2), -0.8);
  EXPECT_DOUBLE_EQ(A(2, 3), 0.6);
  EXPECT_DOUBLE_EQ(A(2, 4), 0.8);
  // Azimuth 30 degrees is the direction 60 degrees; computed atan(4/3).
  EXPECT_EQ(t.Case.MisclosureVector(1), (90 - 30) * kDegToRad - std::atan(4.0 / 3));
  EXPECT_EQ(t.Case.MisclosureVector(2), 6 - 5.0);
  EXPECT_EQ(t.Case.WeightVector(1), 1 / (0.0175 * 0.0175));
  EXPECT_EQ(t.Case.WeightVector(2), 1 / (0.05 * 0.05));
  EXPECT_EQ(t.Case.WeightVector(3), 1 / (0.3 * 0.3));
  // Map rows: 1 in the tree's columns, misclosure 0 before any correction.
  EXPECT_EQ(A(3, 3), 1);
  EXPECT_EQ(A(4, 4), 1);
  EXPECT_EQ(A(3, 1), 0);
  EXPECT_EQ(t.Case.MisclosureVector(3), 0);
  EXPECT_EQ(t.Case.CaseObservations[1].AzimuthRow, 1);
  EXPECT_EQ(t.Case.CaseObservations[1].DistanceRow, 2);
  EXPECT_EQ(t.Case.CaseObservations[1].Res_Dist, 1);
}

TEST(ObservationEquations, RowOrderAndDumpFiles) {
  testing::TempFolder dir;
  Tables t;
  t.WorkFolder = dir.WorkFolder();
  SetParameters(t, Parameters{});
  // N = 3, azimuths everywhere, distances in slots 1 and 3.
  AddTarget(t, 1, 1, 3, {{1, 5, 10}, {2, -1, 100}, {3, 4, 200}},
            {{1, 1, 5}, {2, 5, 0}, {3, -1, -4}});
  int one = 1;
  SetUp4(t, one);
  t.Case.X_adj = 0.2;
  t.Case.Y_adj = 0.1;
  BuildObservationEquations(t, one);
  const CaseWork& c = t.Case;
  EXPECT_EQ(c.DesignMatrix.Rows(), 11);
  EXPECT_EQ(c.DesignMatrix.Cols(), 8);
  EXPECT_EQ(c.CaseObservations[1].AzimuthRow, 1);
  EXPECT_EQ(c.CaseObservations[1].DistanceRow, 2);
  EXPECT_EQ(c.CaseObservations[2].AzimuthRow, 3);
  EXPECT_EQ(c.CaseObservations[3].AzimuthRow, 4);
  EXPECT_EQ(c.CaseObservations[3].DistanceRow, 5);
  for (int j = 1; j <= 3; ++j) {
    EXPECT_EQ(c.DesignMatrix(5 + 2 * j - 1, 2 * j + 1), 1);
    EXPECT_EQ(c.DesignMatrix(5 + 2 * j, 2 * j + 2), 1);
  }
  std::string error;
  ASSERT_TRUE(WriteDumpFiles(t, error)) << error;
  auto a = testing::SplitLines(dir.Read("A_txt.txt"));
  ASSERT_EQ(a.size(), 26u);
  EXPECT_EQ(a[0].substr(0, 4), "1 1 ");
  EXPECT_EQ(a[4].substr(0, 4), "2 1 ");
  EXPECT_EQ(a[20], "6 3 1");
  EXPECT_EQ(a[25], "11 8 1");
  EXPECT_EQ(dir.Read("Matlab.txt"), "11 8 26 3\r\n");
  auto l = testing::SplitLines(dir.Read("l_txt.txt"));
  ASSERT_EQ(l.size(), 11u);
  EXPECT_NEAR(std::stod(l[1]), c.MisclosureVector(2), 1e-14 * std::fabs(c.MisclosureVector(2)));
  auto w = testing::SplitLines(dir.Read("weigths.txt"));
  ASSERT_EQ(w.size(), 11u);
  EXPECT_NEAR(std::stod(w[0]), 1 / (0.0175 * 0.0175), 1e-10);
  // Every number reads back to the value within 15 significant digits.
  for (const std::string& line : a) {
    auto sp = line.rfind(' ');
    int row = std::stoi(line), col = std::stoi(line.substr(line.find(' ') + 1));
    EXPECT_NEAR(std::stod(line.substr(sp + 1)), c.DesignMatrix(row, col),
                1e-14 * std::fabs(c.DesignMatrix(row, col)));
  }
  // The same estimates give the same system and files.
  const std::string before = dir.Read("A_txt.txt");
  BuildObservationEquations(t, one);
  ASSERT_TRUE(WriteDumpFiles(t, error));
  EXPECT_EQ(dir.Read("A_txt.txt"), before);
}

TEST(ObservationEquations, DistancesOnlyAndEmptySlot) {
  testing::TempFolder dir;
  Tables t;
  t.WorkFolder = dir.WorkFolder();
  SetParameters(t, Parameters{});
  AddTarget(t, 1, 1, 2, {{1, 5, -1}, {7, 3, 3}}, {{1, 1, 5}});
  int one = 1;
  SetUp4(t, one);
  BuildObservationEquations(t, one);
  EXPECT_EQ(t.Case.DesignMatrix.Rows(), 5);
  // Slot 2 has no observation: its columns hold only the two map entries.
  int nonzero = 0;
  for (int i = 1; i <= 5; ++i)
    for (int col : {5, 6}) nonzero += t.Case.DesignMatrix(i, col) != 0;
  EXPECT_EQ(nonzero, 2);
  std::string error;
  ASSERT_TRUE(WriteDumpFiles(t, error));
  EXPECT_EQ(dir.Read("Matlab.txt"), "5 6 8 -1\r\n");
}

TEST(ObservationEquations, MisclosureAcrossTheCut) {
  auto misclosure = [](double observed, double targetX, double targetY) {
    Tables t;
    SetParameters(t, Parameters{});
    AddTarget(t, 1, 1, 1, {{1, -1, 10}}, {{1, targetX, targetY}});
    int one = 1;
    SetUp4(t, one);
    t.Case.CaseObservations[1].Obs_azim = observed;
    t.Case.X_adj = 0;
    t.Case.Y_adj = 0;
    BuildObservationEquations(t, one);
    return t.Case.MisclosureVector(1);
  };
  // Computed direction -3.1 (tree at angle -3.1) and observed 3.1.
  EXPECT_NEAR(misclosure(3.1, std::cos(-3.1), std::sin(-3.1)), -0.08318530717958, 1e-12);
  EXPECT_NEAR(misclosure(-3.1, std::cos(3.1), std::sin(3.1)), 0.08318530717958, 1e-12);
  // Observed -pi (270 degrees) against DirectionAngle(0, -1) = pi: about 0.
  EXPECT_NEAR(misclosure(AzimuthToDirection(270), -1, 0), 0, 1e-14);
  // Observed 2 against computed -1: no adjustment.
  EXPECT_NEAR(misclosure(2.0, std::cos(-1.0), std::sin(-1.0)), 3.0, 1e-12);
}

// ------------------------------------------------------ adjustment step

TEST(AdjustmentStep, StopTest) {
  // A system whose normal matrix is the identity: the corrections are
  // exactly the misclosures of the first two rows.
  struct Row {
    double dx, dy;
    int converged;
  };
  for (Row r : {Row{0.005, -0.009, 1}, Row{0.005, 0.01, 0}, Row{150, 120, 1}, Row{150, 100, 0},
                Row{-150, -101, 1}, Row{0.001, 500, 0}}) {
    Tables t;
    AddTarget(t, 1, 1, 1, {{1, 1, 1}}, {{1, 5, 5}});
    int one = 1, converged = 7;
    SetUp4(t, one);
    CaseWork& c = t.Case;
    c.DesignMatrix.Recreate(5, 4);
    c.MisclosureVector.Recreate(5);
    c.WeightVector.Recreate(5);
    for (int i = 1; i <= 4; ++i) {
      c.DesignMatrix(i, i) = 1;
      c.WeightVector(i) = 1;
    }
    c.WeightVector(5) = 1;
    c.MisclosureVector(1) = r.dx;
    c.MisclosureVector(2) = r.dy;
    c.MisclosureVector(3) = 1000;  // a large correction of the map tree alone
    c.X_adj = 10;
    c.Y_adj = 20;
    HeadlessUi ui;
    AdjustmentStep(t, ui, converged, one);
    EXPECT_EQ(converged, r.converged) << r.dx << " " << r.dy;
    EXPECT_EQ(c.X_adj, 10 + r.dx);
    EXPECT_EQ(c.Y_adj, 20 + r.dy);
    EXPECT_EQ(c.FixedPoints[1].X_adj, 5 + 1000.0);
  }
}

TEST(AdjustmentStep, ExactObservationsGiveZeroSigmaAndTestValues) {
  Tables t;
  SetParameters(t, Parameters{});
  AddTarget(t, 1, 1, 3, {{1, 10, 90}, {2, 10, 0}, {3, 10, 270}},
            {{1, 10, 0}, {2, 0, 10}, {3, -10, 0}});
  HeadlessUi ui;
  int one = 1, converged = 0;
  SetUp4(t, one);
  FindInitialApproximation(t, ui, one);
  EXPECT_NEAR(t.Case.X_adj, 0, 1e-12);
  EXPECT_NEAR(t.Case.Y_adj, 0, 1e-12);
  BuildObservationEquations(t, one);
  AdjustmentStep(t, ui, converged, one);
  EXPECT_EQ(converged, 1);
  EXPECT_EQ(t.Case.Failure, CaseFailure::None);
  EXPECT_FALSE(t.Case.Unchecked);
  EXPECT_NEAR(t.Case.SigmaNull, 0, 1e-6);
  for (int i = 1; i <= t.Case.BaardaValues.Size(); ++i)
    EXPECT_TRUE(std::isfinite(t.Case.BaardaValues(i)));
  EXPECT_TRUE(ui.messages.empty());
}

TEST(AdjustmentStep, RedundancyOneAndTwoObservations) {
  HeadlessUi ui;
  // Two azimuths and one distance: redundancy 1, SigmaNull = sqrt(l'Pl).
  Tables t;
  SetParameters(t, Parameters{});
  AddTarget(t, 1, 1, 2, {{1, 5.1, 37}, {2, -1, 300}}, {{1, 3, 4}, {2, -4, 2}});
  int one = 1, converged = 0;
  SetUp4(t, one);
  FindInitialApproximation(t, ui, one);
  BuildObservationEquations(t, one);
  double omega = 0;
  for (int i = 1; i <= t.Case.MisclosureVector.Size(); ++i)
    omega += t.Case.MisclosureVector(i) * t.Case.MisclosureVector(i) * t.Case.WeightVector(i);
  AdjustmentStep(t, ui, converged, one);
  EXPECT_FALSE(t.Case.Unchecked);
  EXPECT_NEAR(t.Case.SigmaNull, std::sqrt(omega), 1e-9 * std::sqrt(omega));

  // One slot with distance and azimuth: no redundancy, unchecked.
  Tables u;
  SetParameters(u, Parameters{});
  AddTarget(u, 1, 1, 1, {{1, 5, 37}}, {{1, 3, 4}});
  SetUp4(u, one);
  FindInitialApproximation(u, ui, one);
  BuildObservationEquations(u, one);
  AdjustmentStep(u, ui, converged, one);
  EXPECT_TRUE(u.Case.Unchecked);
  EXPECT_EQ(u.Case.Failure, CaseFailure::None);
}

TEST(AdjustmentStep, SingleAzimuthIsSingular) {
  HeadlessUi ui;
  Tables t;
  SetParameters(t, Parameters{});
  AddTarget(t, 1, 1, 1, {{1, -1, 37}}, {{1, 3, 4}});
  int one = 1, converged = 0;
  SetUp4(t, one);
  t.Case.X_adj = 0;
  t.Case.Y_adj = 0;
  BuildObservationEquations(t, one);
  AdjustmentStep(t, ui, converged, one);
  EXPECT_EQ(t.Case.Failure, CaseFailure::Singular);
  EXPECT_EQ(converged, 1);
  EXPECT_EQ(t.Case.X_adj, 0);  // no correction applied
}

TEST(AdjustmentStep, CoincidentPoint) {
  HeadlessUi ui;
  Tables t;
  SetParameters(t, Parameters{});
  AddTarget(t, 1, 1, 2, {{1, 5, 37}, {2, 4, 100}}, {{1, 3, 4}, {2, 1, 1}});
  int one = 1, converged = 0;
  SetUp4(t, one);
  t.Case.X_adj = 3;
  t.Case.Y_adj = 4;
  BuildObservationEquations(t, one);
  AdjustmentStep(t, ui, converged, one);
  EXPECT_EQ(t.Case.Failure, CaseFailure::CoincidentPoint);
  EXPECT_EQ(converged, 1);
}

TEST(RandomGenerator, SameSequenceAfterEveryStart) {
  Tables a, b;
  for (int i = 0; i < 1000; ++i) {
    const double u = NextUniform(a);
    EXPECT_EQ(u, NextUniform(b));
    EXPECT_GE(u, 0);
    EXPECT_LT(u, 1);
  }
  Tables c;
  EXPECT_NE(NextUniform(c), NextUniform(c));
}

}  // namespace
}  // namespace treetri
