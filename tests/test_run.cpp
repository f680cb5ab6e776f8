// Whole runs through real files: a case checked against an independent
// least-squares solution, the run driver's decisions, the canvas, the plot
// viewer and the start-up routine.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "data/readers.h"
#include "display/plot_viewer.h"
#include "output/results_writer.h"
#include "platform/files.h"
#include "platform/headless_ui.h"
#include "positioning/case_steps.h"
#include "positioning/run.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::MapRecord;
using testing::Parameters;
using testing::Sight;
using testing::Sighting;
using testing::SightingRecord;
using testing::SplitFields;
using testing::SplitLines;
using testing::TempFolder;

// A folder with the three input files and tables that have read them.
struct RunFixture {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  Parameters par;

  RunFixture() { par.resultsFile = dir.Path() + "/results.txt"; }
  void Files(const std::string& map, const std::string& sightings) {
    dir.Write("map.txt", map);
    dir.Write("sight.txt", sightings);
    dir.Write("SimulationInputParameters2.txt", testing::ParameterFile(par));
    t.WorkFolder = dir.WorkFolder();
    ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Path() + "/map.txt"));
    ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/sight.txt"));
    ui.messages.clear();
  }
  std::vector<std::string> Results() { return SplitLines(dir.Read("results.txt")); }
};

// ----------------------------------------------------- independent route

// Solves the same adjustment by a plain Gauss-Newton iteration with
// Cholesky factorisation and atan2, straight from the observations.
struct Independent {
  double x = 0, y = 0, sigma0 = 0, sigmaX = 0, sigmaY = 0;
  std::vector<double> baarda;
  int iterations = 0;
};

std::vector<double> Solve(std::vector<std::vector<double>> N, std::vector<double> b,
                          std::vector<std::vector<double>>* inverse) {
  const size_t n = b.size();
  // Cholesky N = L L^T.
  std::vector<std::vector<double>> L(n, std::vector<double>(n, 0));
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j <= i; ++j) {
      double s = N[i][j];
      for (size_t k = 0; k < j; ++k) s -= L[i][k] * L[j][k];
      L[i][j] = i == j ? std::sqrt(s) : s / L[j][j];
    }
  auto solve = [&](std::vector<double> r) {
    for (size_t i = 0; i < n; ++i) {
      for (size_t k = 0; k < i; ++k) r[i] -= L[i][k] * r[k];
      r[i] /= L[i][i];
    }
    for (size_t i = n; i-- > 0;) {
      for (size_t k = i + 1; k < n; ++k) r[i] -= L[k][i] * r[k];
      r[i] /= L[i][i];
    }
    return r;
  };
  if (inverse) {
    inverse->assign(n, std::vector<double>(n, 0));
    for (size_t c = 0; c < n; ++c) {
      std::vector<double> e(n, 0);
      e[c] = 1;
      auto col = solve(e);
      for (size_t r = 0; r < n; ++r) (*inverse)[r][c] = col[r];
    }
  }
  return solve(b);
}

Independent SolveIndependently(const std::vector<std::pair<double, double>>& map,
                               const std::vector<Sighting>& obs, double correction,
                               const Parameters& par, double x0, double y0) {
  const double pi = 3.14159265358979323846;
  const size_t N = map.size();
  std::vector<double> X(2 + 2 * N);
  X[0] = x0;
  X[1] = y0;
  for (size_t j = 0; j < N; ++j) {
    X[2 + 2 * j] = map[j].first;
    X[3 + 2 * j] = map[j].second;
  }
  Independent out;
  for (int it = 1; it <= 20; ++it) {
    std::vector<std::vector<double>> A;
    std::vector<double> l, p;
    auto row = [&]() {
      A.emplace_back(X.size(), 0.0);
      return A.size() - 1;
    };
    for (size_t j = 0; j < N; ++j) {
      const double dx = X[2 + 2 * j] - X[0], dy = X[3 + 2 * j] - X[1];
      const double s2 = dx * dx + dy * dy, s = std::sqrt(s2);
      if (obs[j].azimuth > -1) {
        double a = std::fmod(obs[j].azimuth + correction, 360.0);
        double theta = (90 - a) * pi / 180;
        double v = theta - std::atan2(dy, dx);
        while (v > pi) v -= 2 * pi;
        while (v < -pi) v += 2 * pi;
        size_t r = row();
        A[r][0] = dy / s2;
        A[r][1] = -dx / s2;
        A[r][2 + 2 * j] = -dy / s2;
        A[r][3 + 2 * j] = dx / s2;
        l.push_back(v);
        p.push_back(1 / (par.sigmaAzimuth * par.sigmaAzimuth));
      }
      if (obs[j].distance > -1) {
        size_t r = row();
        A[r][0] = -dx / s;
        A[r][1] = -dy / s;
        A[r][2 + 2 * j] = dx / s;
        A[r][3 + 2 * j] = dy / s;
        l.push_back(obs[j].distance - s);
        p.push_back(1 / (par.sigmaDistance * par.sigmaDistance));
      }
    }
    for (size_t j = 0; j < N; ++j) {
      size_t r = row();
      A[r][2 + 2 * j] = 1;
      l.push_back(map[j].first - X[2 + 2 * j]);
      p.push_back(1 / (par.sigmaMapX * par.sigmaMapX));
      r = row();
      A[r][3 + 2 * j] = 1;
      l.push_back(map[j].second - X[3 + 2 * j]);
      p.push_back(1 / (par.sigmaMapY * par.sigmaMapY));
    }
    const size_t m = A.size(), u = X.size();
    std::vector<std::vector<double>> Nm(u, std::vector<double>(u, 0)), Q;
    std::vector<double> b(u, 0);
    for (size_t i = 0; i < m; ++i)
      for (size_t a = 0; a < u; ++a) {
        b[a] += A[i][a] * p[i] * l[i];
        for (size_t c = 0; c < u; ++c) Nm[a][c] += A[i][a] * p[i] * A[i][c];
      }
    std::vector<double> dxv = Solve(Nm, b, &Q);
    for (size_t a = 0; a < u; ++a) X[a] += dxv[a];
    double omega = 0;
    for (size_t i = 0; i < m; ++i) omega += l[i] * p[i] * l[i];
    out.sigma0 = std::sqrt(omega / static_cast<double>(m - u));
    out.sigmaX = out.sigma0 * std::sqrt(Q[0][0]);
    out.sigmaY = out.sigma0 * std::sqrt(Q[1][1]);
    out.baarda.assign(m, 0);
    for (size_t i = 0; i < m; ++i) {
      double aqa = 0;
      for (size_t a = 0; a < u; ++a)
        for (size_t c = 0; c < u; ++c) aqa += A[i][a] * Q[a][c] * A[i][c];
      out.baarda[i] = std::fabs(l[i] / (out.sigma0 * (1 / p[i] + aqa)));
    }
    out.iterations = it;
    if (std::fabs(dxv[0]) < 0.01 && std::fabs(dxv[1]) < 0.01) break;
  }
  out.x = X[0];
  out.y = X[1];
  return out;
}

TEST(WholeCase, AgreesWithAnIndependentSolution) {
  RunFixture f;
  f.par.azimuthCorrection = 1.5;
  // Field tree truly at (2.0, -1.0); the map trees are off by a few cm and
  // the field observations carry small errors.
  const double tx = 2.0, ty = -1.0;
  std::vector<std::pair<double, double>> truth = {{6.0, 2.0}, {-1.5, 3.0}, {1.0, -6.5}};
  std::vector<std::pair<double, double>> map = {{6.04, 1.97}, {-1.52, 3.05}, {0.97, -6.46}};
  std::vector<Sighting> obs;
  const double errD[] = {0.03, -0.02, 0.04}, errA[] = {0.8, -1.1, 0.6};
  for (int j = 0; j < 3; ++j) {
    Sighting s = Sight(j + 1, tx, ty, truth[j].first, truth[j].second);
    s.distance += errD[j];
    s.azimuth = std::fmod(s.azimuth + errA[j] - 1.5 + 360, 360.0);  // crew's compass offset
    obs.push_back(s);
  }
  obs[1].distance = -1;  // slot 2: azimuth only
  std::string mapText;
  for (int j = 0; j < 3; ++j) mapText += MapRecord(4, j + 1, 1, map[j].first, map[j].second);
  f.Files(mapText, SightingRecord(4, 50, 2, 3, obs));
  const RunOutcome outcome = Simulate(f.t, f.ui);
  ASSERT_TRUE(outcome.completed);
  const double used = f.t.Parameters.AzimuthCorrection;
  EXPECT_GE(used, 1.5);
  EXPECT_LT(used, 1.51);

  // The independent solution starts from the program's initial approximation.
  const Independent ind =
      SolveIndependently(map, obs, used, f.par, f.t.Case.X_ini, f.t.Case.Y_ini);
  const CaseWork& c = f.t.Case;
  EXPECT_NEAR(c.X_adj, ind.x, 1e-9);
  EXPECT_NEAR(c.Y_adj, ind.y, 1e-9);
  EXPECT_NEAR(c.SigmaNull, ind.sigma0, 1e-9 * ind.sigma0);
  EXPECT_NEAR(c.SigmaX, ind.sigmaX, 1e-9 * ind.sigmaX);
  EXPECT_NEAR(c.SigmaY, ind.sigmaY, 1e-9 * ind.sigmaY);
  ASSERT_EQ(c.BaardaValues.Size(), static_cast<int>(ind.baarda.size()));
  for (int i = 1; i <= c.BaardaValues.Size(); ++i)
    EXPECT_NEAR(c.BaardaValues(i), ind.baarda[static_cast<size_t>(i - 1)],
                1e-7 * ind.baarda[static_cast<size_t>(i - 1)] + 1e-12)
        << "row " << i;
  // The solution lies near the truth.
  EXPECT_NEAR(c.X_adj, tx, 0.15);
  EXPECT_NEAR(c.Y_adj, ty, 0.15);

  // The results file and the list carry the same figures, as printed.
  auto lines = f.Results();
  ASSERT_EQ(lines.size(), 2u);
  auto fields = SplitFields(lines[1]);
  ASSERT_EQ(fields.size(), 15u + 3 * 14 + 1);
  EXPECT_EQ(fields[1], std::to_string(ind.iterations));
  EXPECT_NEAR(std::stod(fields[7]), ind.x, 0.005 + 1e-9);
  EXPECT_NEAR(std::stod(fields[9]), ind.sigma0, 0.0005 + 1e-9);
  EXPECT_EQ(fields[13], "3");
  EXPECT_EQ(fields[14], "11");          // 5 field rows, 6 map rows
  EXPECT_EQ(fields[12], "2.1705");      // Tau at 11 - 3 = 8
  EXPECT_EQ(fields[15 + 14 + 8], "False");
  EXPECT_EQ(fields[15 + 14 + 9], "-999");
  EXPECT_NEAR(std::stod(fields[15 + 12]), ind.baarda[0], 0.00005 + 1e-9);
  ASSERT_EQ(f.ui.list.size(), 2u);
  EXPECT_EQ(f.ui.list[0], kListHeader);
  EXPECT_EQ(f.ui.list[1], ListLine(f.t, 1, ind.iterations));
  ASSERT_EQ(f.ui.messages.size(), 1u);
  EXPECT_EQ(f.ui.messages[0], "Ready! Results are in file " + f.par.resultsFile);
}

// ------------------------------------------------------ run decisions

std::string ThreeTreeMap(int plot) {
  return MapRecord(plot, 1, 1, 1.0, 0.0) + MapRecord(plot, 2, 1, 0.0, 1.5) +
         MapRecord(plot, 3, 1, -1.2, -0.8);
}

std::vector<Sighting> GoodSlots(double x, double y) {
  return {Sight(1, x, y, 1.0, 0.0), Sight(2, x, y, 0.0, 1.5), Sight(3, x, y, -1.2, -0.8)};
}

TEST(RunDriver, RepeatedRunsAndRandomCorrection) {
  RunFixture f;
  f.par.azimuthCorrection = 2.0;
  f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)) +
                               SightingRecord(1, 10, 1, 3, GoodSlots(-0.3, 0.1)));
  RunOutcome a = Simulate(f.t, f.ui);
  const std::string first = f.dir.Read("results.txt");
  const std::vector<std::string> firstList = f.ui.list;
  RunOutcome b = Simulate(f.t, f.ui);
  EXPECT_TRUE(a.completed && b.completed && a.parametersRead);
  EXPECT_GE(a.azimuthCorrectionUsed, 2.0);
  EXPECT_LT(a.azimuthCorrectionUsed, 2.01);
  EXPECT_GE(b.azimuthCorrectionUsed, 2.0);
  EXPECT_LT(b.azimuthCorrectionUsed, 2.01);
  EXPECT_NE(a.azimuthCorrectionUsed, b.azimuthCorrectionUsed);
  // One header and one line per case each time; mapdata.txt grows.
  EXPECT_EQ(f.Results().size(), 3u);
  EXPECT_EQ(SplitLines(f.dir.Read("mapdata.txt")).size(), 4u);
  EXPECT_EQ(f.ui.list.size(), 3u);
  // A fresh program start draws the same first number: same results.
  RunFixture g;
  g.par.azimuthCorrection = f.par.azimuthCorrection;
  g.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)) +
                               SightingRecord(1, 10, 1, 3, GoodSlots(-0.3, 0.1)));
  RunOutcome c = Simulate(g.t, g.ui);
  EXPECT_EQ(c.azimuthCorrectionUsed, a.azimuthCorrectionUsed);
  EXPECT_EQ(g.dir.Read("results.txt"), first);
  EXPECT_EQ(g.ui.list, firstList);
}

TEST(RunDriver, NpaOutsideTheSlotsIsReportedAndTheRunGoesOn) {
  RunFixture f;
  f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 0, {}) +
                               SightingRecord(1, 10, 1, 25, GoodSlots(0.1, 0.1)) +
                               SightingRecord(1, 11, 1, 3, GoodSlots(0.1, 0.1)));
  RunOutcome out = Simulate(f.t, f.ui);
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(out.failedCases, 2);
  auto lines = f.Results();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "Case,NumofIte,Plot-id,Tree-id, Sp, X_ini, Y_ini, X_adj, Y_adj, SigmaNull, "
                      "SigmaX, SigmaY, Tau, NPA, NumOfObs, TypeOfIni");
  auto f1 = SplitFields(lines[1]);
  ASSERT_EQ(f1.size(), 16u);
  EXPECT_EQ(f1[1], "0");
  EXPECT_EQ(f1[13], "0");
  EXPECT_EQ(f1[15], "NONE    ");
  auto f2 = SplitFields(lines[2]);
  ASSERT_EQ(f2.size(), 16u);
  EXPECT_EQ(f2[13], "25");
  EXPECT_EQ(SplitFields(lines[3]).size(), 15u + 42 + 1);
  EXPECT_EQ(f.ui.list[1].substr(f.ui.list[1].size() - 11), "FAILED: NPA");
  EXPECT_EQ(f.ui.list[3].substr(f.ui.list[3].size() - 4), " OK ");
}

TEST(RunDriver, FailedInitialApproximationAndCasesThatCannotBeAdjusted) {
  RunFixture f;
  std::vector<Sighting> oneAzimuth = {Sighting{1, -1, 45}};
  // Case 2 sights tree 1 twice, once at the solved position: map tree 4
  // stands where the field tree is.
  std::vector<Sighting> coincident = {Sight(4, 0.5, 0.5, 0.5, 0.5), Sight(1, 0.5, 0.5, 1.0, 0.0)};
  coincident[0].azimuth = 10;
  coincident[0].distance = 0;
  coincident[1].distance = -1;  // the start is exactly at tree 4
  f.Files(ThreeTreeMap(1) + MapRecord(1, 4, 1, 0.5, 0.5),
          SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)) +
              SightingRecord(1, 10, 1, 1, oneAzimuth) + SightingRecord(1, 11, 1, 2, coincident));
  RunOutcome out = Simulate(f.t, f.ui);
  EXPECT_TRUE(out.completed);
  ASSERT_GE(f.ui.messages.size(), 2u);
  EXPECT_EQ(f.ui.messages[0], "Finding initial approximation failed");
  auto lines = f.Results();
  ASSERT_EQ(lines.size(), 4u);
  auto c1 = SplitFields(lines[1]), c2 = SplitFields(lines[2]), c3 = SplitFields(lines[3]);
  // Case 2 shows the kept start of case 1 and "NONE", and cannot be solved.
  EXPECT_EQ(c2[5], c1[5]);
  EXPECT_EQ(c2[6], c1[6]);
  EXPECT_EQ(c2.back(), "NONE    ");
  EXPECT_EQ(c2[7], "-999");
  EXPECT_EQ(f.ui.list[2].substr(f.ui.list[2].size() - 16), "FAILED: singular");
  EXPECT_EQ(f.ui.list[3].substr(f.ui.list[3].size() - 24), "FAILED: coincident point");
  EXPECT_EQ(c3[7], "-999");
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("nan"), std::string::npos);
    EXPECT_EQ(line.find("inf"), std::string::npos);
  }
}

TEST(RunDriver, StandardErrorNotPositiveStopsBeforeTheResultsFile) {
  for (int which = 0; which < 4; ++which) {
    RunFixture f;
    double* sigma[] = {&f.par.sigmaMapX, &f.par.sigmaMapY, &f.par.sigmaDistance,
                       &f.par.sigmaAzimuth};
    *sigma[which] = which % 2 ? 0.0 : -0.5;
    f.dir.Write("results.txt", "earlier results\r\n");
    f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)));
    f.ui.ListAdd("earlier line");
    RunOutcome out = Simulate(f.t, f.ui);
    EXPECT_FALSE(out.completed);
    EXPECT_FALSE(out.parametersRead);
    ASSERT_EQ(f.ui.messages.size(), 2u);
    EXPECT_EQ(f.ui.messages[0], "error in open_input_parameters routine");
    const char* names[] = {"SigmaMapX", "SigmaMapY", "SigmaDistance", "SigmaAzimuth"};
    EXPECT_NE(f.ui.messages[1].find(names[which]), std::string::npos) << f.ui.messages[1];
    EXPECT_EQ(f.dir.Read("results.txt"), "earlier results\r\n");
    EXPECT_FALSE(f.dir.Exists("mapdata.txt"));
  }
}

TEST(RunDriver, ParameterFileFailures) {
  RunFixture f;
  f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)));
  // First run: no parameter file at all; nothing to go on with.
  RemoveFile(f.dir.Path() + "/SimulationInputParameters2.txt");
  RunOutcome none = Simulate(f.t, f.ui);
  EXPECT_FALSE(none.completed);
  ASSERT_GE(f.ui.messages.size(), 2u);
  EXPECT_EQ(f.ui.messages[0], "error in open_input_parameters routine");
  EXPECT_NE(f.ui.messages[1].find("SimulationInputParameters2.txt"), std::string::npos);

  // A good run, then a file cut short after item 12: the run goes on with
  // the values kept from before (and the new ones read).
  f.dir.Write("SimulationInputParameters2.txt", testing::ParameterFile(f.par));
  f.ui.messages.clear();
  ASSERT_TRUE(Simulate(f.t, f.ui).completed);
  const std::string full = testing::ParameterFile(f.par);
  f.dir.Write("SimulationInputParameters2.txt", full.substr(0, full.find("Block\r\n")));
  f.ui.messages.clear();
  RunOutcome cut = Simulate(f.t, f.ui);
  EXPECT_FALSE(cut.parametersRead);
  EXPECT_TRUE(cut.completed);
  EXPECT_EQ(f.ui.messages[0], "error in open_input_parameters routine");
  EXPECT_NE(f.ui.messages[1].find("item 13"), std::string::npos) << f.ui.messages[1];
  EXPECT_EQ(f.Results().size(), 2u);

  // r = 4 reads four rows; r = 5 fails.
  f.par.blockRows = 4;
  f.dir.Write("SimulationInputParameters2.txt", testing::ParameterFile(f.par));
  ASSERT_TRUE(ReadRunParameters(f.t, f.ui));
  EXPECT_EQ(f.t.Parameters.Block[3][1], 2.5);
  EXPECT_EQ(f.t.Parameters.SigmaAzimuth, 0.0175);
  f.par.blockRows = 5;
  f.dir.Write("SimulationInputParameters2.txt", testing::ParameterFile(f.par));
  f.ui.messages.clear();
  EXPECT_FALSE(ReadRunParameters(f.t, f.ui));
  EXPECT_EQ(f.ui.messages[0], "error in open_input_parameters routine");
}

TEST(RunDriver, NoFieldTreesAndUncreatableResultsFile) {
  RunFixture f;
  f.Files(ThreeTreeMap(1), "");
  RunOutcome out = Simulate(f.t, f.ui);
  EXPECT_TRUE(out.completed);
  EXPECT_EQ(f.dir.Read("results.txt"), "");
  EXPECT_EQ(f.ui.list.size(), 1u);
  EXPECT_EQ(f.ui.messages.back(), "Ready! Results are in file " + f.par.resultsFile);

  RunFixture g;
  g.par.resultsFile = g.dir.Path() + "/no such folder/results.txt";
  g.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)));
  RunOutcome bad = Simulate(g.t, g.ui);
  EXPECT_FALSE(bad.completed);
  ASSERT_EQ(g.ui.messages.size(), 1u);
  EXPECT_NE(g.ui.messages[0].find("no such folder/results.txt"), std::string::npos);
  EXPECT_FALSE(g.t.RunInProgress);
}

TEST(RunDriver, ExactCaseConvergesInTheFirstIteration) {
  RunFixture f;
  f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.25, 0.25)));
  // No random correction would keep it exact: compensate by reading the
  // correction the run used is not possible beforehand, so use distances
  // only, which the correction does not touch.
  std::vector<Sighting> d = GoodSlots(0.25, 0.25);
  for (Sighting& s : d) s.azimuth = -1;
  d[0].azimuth = Sight(1, 0.25, 0.25, 1.0, 0.0).azimuth;
  f.dir.Write("sight.txt", SightingRecord(1, 9, 1, 3, d));
  ASSERT_TRUE(ReadSightingFile(f.t, f.ui, f.dir.Path() + "/sight.txt"));
  Simulate(f.t, f.ui);
  auto fields = SplitFields(f.Results()[1]);
  EXPECT_EQ(fields[1], "1");
  EXPECT_EQ(fields[7], "0.25");
  EXPECT_EQ(fields[8], "0.25");
}

// ------------------------------------------------------ canvas and viewer

TEST(MapCanvas, AxesTicksLabelsAndDots) {
  RunFixture f;
  f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.3, -0.4)));
  Simulate(f.t, f.ui);
  const auto& ops = f.ui.drawing;
  ASSERT_FALSE(ops.empty());
  EXPECT_EQ(ops[0].kind, DrawOp::Kind::Clear);
  EXPECT_EQ(ops[1].kind, DrawOp::Kind::Line);
  EXPECT_EQ(ops[1].x1, 10);
  EXPECT_EQ(ops[1].y2, 200);
  EXPECT_EQ(ops[1].state.drawWidth, 2);
  std::vector<std::string> labels;
  for (const DrawOp& op : ops)
    if (op.kind == DrawOp::Kind::Print) labels.push_back(op.text);
  ASSERT_EQ(labels.size(), 14u);
  EXPECT_EQ(labels[0], "1.5");
  EXPECT_EQ(labels[1], "-1.5");
  EXPECT_EQ(labels[6], "0.0");
  EXPECT_EQ(labels[12], "-1.5");
  EXPECT_EQ(labels[13], "1.5");
  // The first label stands at the end of its tick, (210, 50).
  for (const DrawOp& op : ops)
    if (op.kind == DrawOp::Kind::Print) {
      EXPECT_EQ(op.x1, 210);
      EXPECT_EQ(op.y1, 50);
      EXPECT_EQ(op.state.drawWidth, 1);
      break;
    }
  const DrawOp& dot = ops.back();
  EXPECT_EQ(dot.kind, DrawOp::Kind::Point);
  EXPECT_EQ(dot.color, kMagenta);
  EXPECT_NEAR(dot.x1, 200 + 100 * f.t.Case.X_adj, 1e-9);
  EXPECT_NEAR(dot.y1, 200 - 100 * f.t.Case.Y_adj, 1e-9);
  EXPECT_NEAR(dot.x1, 230, 1);
  EXPECT_EQ(dot.state.drawWidth, 2);
  EXPECT_EQ(f.ui.processEventsCalls, 1);
}

TEST(PlotViewer, DrawsTheChosenCase) {
  RunFixture f;
  f.par.azimuthCorrection = 0;
  // Map trees spanning 10 m east-west and 4 m north-south.
  std::string map = MapRecord(1, 1, 1, 0, 0) + MapRecord(1, 2, 1, 10, 4) + MapRecord(1, 3, 1, 5, 1);
  std::vector<Sighting> s = {Sight(1, 4, 2, 0, 0), Sight(2, 4, 2, 10, 4), Sight(3, 4, 2, 5, 1)};
  s[0].azimuth = 0;  // a ray due north reverses to due south
  f.Files(map, SightingRecord(1, 9, 1, 3, s) + SightingRecord(1, 10, 1, 3, s));
  Simulate(f.t, f.ui);
  f.ui.SelectListLine(2);
  List1_DblClick(f.t, f.ui);
  const auto& ops = f.ui.drawing;
  const double extent = 15.6, scale = 345 / extent;
  ASSERT_GE(ops.size(), 13u);
  EXPECT_EQ(ops[0].kind, DrawOp::Kind::Clear);
  EXPECT_EQ(ops[1].kind, DrawOp::Kind::Line);  // scale bar
  EXPECT_NEAR(ops[1].x1, 3 * scale, 1e-9);
  EXPECT_NEAR(ops[1].x2, 6 * scale, 1e-9);
  EXPECT_NEAR(ops[1].y1, 345 - (extent - 1) * scale, 1e-9);
  EXPECT_EQ(ops[2].kind, DrawOp::Kind::Print);
  EXPECT_EQ(ops[2].text, "3 m");
  EXPECT_NEAR(ops[2].y1, ops[1].y1 - 10, 1e-9);
  EXPECT_EQ(ops[2].state.font, (FontSpec{"Arial", 12, true}));
  // Tree 1 at the west edge: 3 * scale from the left, its label in red.
  EXPECT_EQ(ops[3].kind, DrawOp::Kind::Circle);
  EXPECT_NEAR(ops[3].x1, 3 * scale, 1e-9);
  EXPECT_NEAR(ops[3].y1, (4 - 0 + 3) * scale, 1e-9);
  EXPECT_EQ(ops[3].radius, 5);
  EXPECT_EQ(ops[4].text, " 1 ");
  EXPECT_EQ(ops[4].color, kRed);
  EXPECT_EQ(ops[5].kind, DrawOp::Kind::Line);
  // Straight down, give or take the run's random correction (< 0.01 degrees).
  EXPECT_NEAR(ops[5].x2, ops[5].x1, extent * scale * 0.01 * kDegToRad);
  EXPECT_NEAR(ops[5].y2, ops[5].y1 + extent * scale, 1e-3);
  EXPECT_EQ(ops[5].state.drawWidth, 1);
  const DrawOp& adj = ops[ops.size() - 2];
  const DrawOp& ini = ops.back();
  EXPECT_EQ(adj.kind, DrawOp::Kind::Circle);
  EXPECT_EQ(adj.radius, 3);
  EXPECT_EQ(adj.color, kRed);
  EXPECT_EQ(adj.state.fillStyle, FillStyle::Solid);
  EXPECT_EQ(ini.radius, 5);
  EXPECT_EQ(ini.color, kBlue);
  // Positions of case 2 as written (two decimals).
  auto fields = SplitFields(f.Results()[2]);
  EXPECT_NEAR(adj.x1, (std::stod(fields[7]) - 0 + 3) * scale, 1e-9);
  EXPECT_NEAR(adj.y1, (4 - std::stod(fields[8]) + 3) * scale, 1e-9);
  EXPECT_EQ(f.ui.Surface().fillStyle, FillStyle::Transparent);
  EXPECT_EQ(f.ui.Surface().foreColor, kBlue);
  EXPECT_TRUE(f.ui.messages.size() == 1u);  // only the run's closing message

  // The next run's axes are drawn in the viewer's colour and font.
  Simulate(f.t, f.ui);
  EXPECT_EQ(f.ui.drawing[1].color, kBlue);
}

TEST(PlotViewer, FailureCasesDrawLessAndShowNothing) {
  RunFixture f;
  f.Files(ThreeTreeMap(1), SightingRecord(1, 9, 1, 3, GoodSlots(0.1, 0.2)) +
                               SightingRecord(1, 10, 1, 0, {}));
  Simulate(f.t, f.ui);
  const size_t messages = f.ui.messages.size();
  auto circles = [&] {
    int n = 0;
    for (const DrawOp& op : f.ui.drawing) n += op.kind == DrawOp::Kind::Circle;
    return n;
  };
  f.ui.SelectListLine(0);  // the header
  const size_t before = f.ui.drawing.size();
  List1_DblClick(f.t, f.ui);
  EXPECT_EQ(f.ui.drawing.size(), before);
  f.ui.SelectListLine(2);  // NPA 0
  List1_DblClick(f.t, f.ui);
  EXPECT_EQ(f.ui.drawing.size(), 1u);
  f.ui.SelectListLine(7);  // beyond the cases
  List1_DblClick(f.t, f.ui);
  EXPECT_EQ(f.ui.drawing.size(), 1u);
  f.ui.SelectListLine(1);
  List1_DblClick(f.t, f.ui);
  EXPECT_EQ(circles(), 5);
  // Results file short, then missing: the trees but no positions.
  f.dir.Write("results.txt", f.Results()[0] + "\r\n");
  List1_DblClick(f.t, f.ui);
  EXPECT_EQ(circles(), 3);
  RemoveFile(f.par.resultsFile);
  List1_DblClick(f.t, f.ui);
  EXPECT_EQ(circles(), 3);
  EXPECT_EQ(f.ui.messages.size(), messages);
}

// ------------------------------------------------------------ start-up

TEST(StartUp, MessagesProbeAndHelpText) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  StartUpIn(t, ui, dir.Path());
  EXPECT_EQ(t.WorkFolder, dir.Path() + "/");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], "Assuming that all files are in folder " + dir.Path() + "/");
  EXPECT_FALSE(dir.Exists("PILKKUTESTI.TXT"));
  EXPECT_EQ(HelpText(t),
            "1) Read the photo-tree file\n2) Read the azimuth and distance observations file\n"
            "3) Calculate positions\n4) Assess the results in the " +
                dir.Path() + "/results.txt file");
}

TEST(StartUp, FolderWithoutAccess) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  const std::string missing = dir.Path() + "/gone";
  StartUpIn(t, ui, missing);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[1], "TREETRI is badly written:; it assumes I/O access to " + missing +
                                "/ -folder, point (.) as decimal and comma (,) as list separator!");
}

}  // namespace
}  // namespace treetri
