// The run's adjustment step computes only the elements it needs; it must
// give the same bits as the step composed of the general matrix routines.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "positioning/case_pipeline.h"
#include "positioning/tables.h"
#include "tests/case_builder.h"

namespace treetri {
namespace {

TEST(AdjustmentForms, SameBitsOnRandomCases) {
  std::mt19937_64 rng(20261206);
  std::uniform_real_distribution<double> pos(-25, 25), unit(0, 1);
  std::normal_distribution<double> noise(0, 1);
  int compared = 0, unchecked = 0;
  for (int n = 0; n < 400; ++n) {
    Tables a;
    testing::Parameters par;
    testing::SetParameters(a, par);
    a.Parameters.AzimuthCorrection = unit(rng) * 3;
    // A real map grid for half of the cases.
    const double ox = n % 2 ? 3400000 : 0, oy = n % 2 ? 6900000 : 0;
    const double tx = ox + pos(rng), ty = oy + pos(rng);
    const int slots = 1 + static_cast<int>(unit(rng) * 5);
    std::vector<testing::Sighting> obs;
    std::vector<testing::MapPoint> map;
    for (int k = 1; k <= slots; ++k) {
      const double mx = tx + pos(rng) / 3, my = ty + pos(rng) / 3;
      testing::Sighting s = testing::Sight(k, tx, ty, mx, my, unit(rng) < 0.8, unit(rng) < 0.9);
      if (s.distance > -1) s.distance += 0.05 * noise(rng);
      if (s.azimuth > -1)
        s.azimuth = std::fmod(s.azimuth - a.Parameters.AzimuthCorrection + noise(rng) + 720, 360);
      obs.push_back(s);
      map.push_back({k, mx + 0.3 * noise(rng), my + 0.3 * noise(rng)});
    }
    testing::AddTarget(a, 1, n, slots, obs, map);
    Tables b = a;
    const int ia = ComputeCase(a.TargetTrees[1], a.Parameters, a.Case).iterations;
    const int ib =
        ComputeCase(b.TargetTrees[1], b.Parameters, b.Case, AdjustmentForm::ByRoutines).iterations;
    ASSERT_EQ(ia, ib) << n;
    ASSERT_EQ(a.Case.Failure, b.Case.Failure) << n;
    ASSERT_EQ(a.Case.Unchecked, b.Case.Unchecked) << n;
    EXPECT_EQ(a.Case.X_adj, b.Case.X_adj) << n;
    EXPECT_EQ(a.Case.Y_adj, b.Case.Y_adj) << n;
    if (a.Case.Failure != CaseFailure::None) continue;
    if (a.Case.Unchecked) {
      ++unchecked;
      continue;
    }
    EXPECT_EQ(a.Case.SigmaNull, b.Case.SigmaNull) << n;
    EXPECT_EQ(a.Case.SigmaX, b.Case.SigmaX) << n;
    EXPECT_EQ(a.Case.SigmaY, b.Case.SigmaY) << n;
    ASSERT_EQ(a.Case.BaardaValues.Size(), b.Case.BaardaValues.Size());
    for (int i = 1; i <= a.Case.BaardaValues.Size(); ++i)
      EXPECT_EQ(a.Case.BaardaValues(i), b.Case.BaardaValues(i)) << n << " row " << i;
    for (int j = 1; j <= slots; ++j) EXPECT_EQ(a.Case.FixedPoints[j].X_adj, b.Case.FixedPoints[j].X_adj);
    ++compared;
  }
  EXPECT_GT(compared, 250);
  EXPECT_GT(unchecked, 0);
}

}  // namespace
}  // namespace treetri
