// The map index: its queries against a plain scan of random plots, and the
// wrong-tree search on a plot with 200,000 map trees crowded at one spot,
// counted in adjustments and index visits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "quality/case_quality.h"
#include "quality/map_index.h"

namespace treetri::quality {
namespace {

constexpr double kDeg = 57.29577951308232;

std::vector<MapTree> RandomPlot(std::mt19937& gen, int n, double half) {
  std::uniform_real_distribution<double> u(-half, half);
  std::vector<MapTree> trees;
  for (int i = 1; i <= n; ++i) trees.push_back({i, std::round(u(gen)), std::round(u(gen))});
  return trees;  // rounded: many trees share a spot
}

TEST(MapIndex, QueriesAgreeWithAPlainScan) {
  std::mt19937 gen(17);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    const std::vector<MapTree> trees = RandomPlot(gen, 1 + round * 37, 5 + round);
    const PlotIndex index(trees);
    std::uniform_real_distribution<double> u(-20, 20);
    const double cx = u(gen), cy = u(gen), r = std::fabs(u(gen));

    std::vector<const MapTree*> found;
    ASSERT_TRUE(index.Within(cx, cy, r, trees.size(), found));
    std::vector<int> expected;
    for (const MapTree& m : trees)
      if (std::hypot(m.x - cx, m.y - cy) <= r) expected.push_back(m.tree);
    std::vector<int> got;
    for (const MapTree* m : found) got.push_back(m->tree);
    EXPECT_EQ(got, expected);
    if (expected.size() > 2) {
      EXPECT_FALSE(index.Within(cx, cy, r, 2, found));
    }

    // The three rankings of the wrong-tree search: to a point, to a
    // segment, to a circle. The k best scores equal the k smallest of a scan.
    const double px = u(gen), py = u(gen), d = std::fabs(u(gen));
    const std::vector<Ranking> rankings = {
        NearPoint(px, py), NearSegment(cx, cy, px, py), NearCircle(cx, cy, d),
        InsideDisc(NearCircle(cx, cy, d), px, py, r)};
    for (size_t k : {size_t{1}, size_t{5}, size_t{40}}) {
      for (const Ranking& ranking : rankings) {
        std::vector<double> scan;
        for (const MapTree& m : trees)
          if (const double v = ranking.score(m.x, m.y); std::isfinite(v)) scan.push_back(v);
        std::sort(scan.begin(), scan.end());
        scan.resize(std::min(k, scan.size()));
        std::vector<double> best;
        for (const MapTree* m : index.Best(ranking, k)) best.push_back(ranking.score(m->x, m->y));
        EXPECT_EQ(best, scan) << "k " << k;
      }
    }
  }
}

TEST(MapIndex, SegmentDistanceOfABoxByHand) {
  const IndexBox box{0, 0, 2, 1};
  EXPECT_DOUBLE_EQ(SegmentBoxDistance(-1, 0.5, 3, 0.5, box), 0);  // through it
  EXPECT_DOUBLE_EQ(SegmentBoxDistance(-1, 3, 3, 3, box), 2);      // above it
  EXPECT_DOUBLE_EQ(SegmentBoxDistance(5, 5, 8, 9, box), 5);       // corner (2, 1) to (5, 5)
  EXPECT_DOUBLE_EQ(SegmentBoxDistance(3, -1, 3, 5, box), 1);      // beside it
}

// Exact observations from (0, 0) to four map trees, the second written as
// tree 7 (4 m off); tree 2 is the one measured.
CaseInput WrongTreeCase(std::shared_ptr<const PlotIndex> plot) {
  const std::vector<MapTree> sighted = {{1, 8, 1}, {2, -3, 9}, {3, -7, -6}, {4, 2, -10}};
  CaseInput in;
  in.caseNumber = in.plot = 1;
  in.tree = 100;
  in.hasStart = true;
  in.startX = in.startY = 0.2;
  in.sigmas = Sigmas{0.02, 0.08, 0.3, 0.3};
  for (size_t k = 0; k < sighted.size(); ++k) {
    const MapTree& m = sighted[k];
    const double az = std::atan2(m.x, m.y) * kDeg;
    in.sightings.push_back({static_cast<int>(k) + 1, m.tree, true, m.x, m.y, true,
                            az < 0 ? az + 360 : az, true, std::hypot(m.x, m.y)});
  }
  in.sightings[1].tree = 7;
  in.sightings[1].mapX = -6;
  in.sightings[1].mapY = 6.5;
  in.plotTrees = std::move(plot);
  return in;
}

// The wrong-tree search on the case above: other trees of the plot stand in
// and out of the search radius, only tree 2 fits the observations; without
// tree 2 on the map no replacement is good enough. A crowded plot finds the
// same tree at no more cost.
TEST(MapIndex, CrowdedPlotCostsNoMoreThanAnOrdinaryOne) {
  std::vector<MapTree> ordinary = {{1, 8, 1},  {2, -3, 9},  {3, -7, -6},  {4, 2, -10},
                                   {5, 5, 14}, {6, -12, 2}, {7, -6, 6.5}, {8, 40, 40}};
  auto plain = std::make_shared<PlotIndex>(ordinary);
  AssessCount plainCount;
  const CaseQuality q = AssessCase(WrongTreeCase(plain), &plainCount);
  ASSERT_EQ(std::tie(q.row.verdict, q.row.suspectTree, q.row.suggestedTree),
            std::tuple(Verdict::Outlier, 7, 2));
  EXPECT_NEAR(*q.row.suggestedSigma0, 0, 1e-4);
  ASSERT_GT(plainCount.adjustments, 0);
  std::vector<MapTree> without = ordinary;
  without.erase(without.begin() + 1);
  EXPECT_FALSE(AssessCase(WrongTreeCase(std::make_shared<PlotIndex>(without))).row.suggestedTree);

  // 200,000 more trees within the search radius: all at one spot (a crafted
  // map), then scattered over a few centimetres.
  for (double jitter : {0.0, 0.03}) {
    SCOPED_TRACE(jitter);
    std::vector<MapTree> crowded = ordinary;
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-jitter, jitter);
    for (int i = 0; i < 200000; ++i) crowded.push_back({1000 + i, 4 + u(gen), -4 + u(gen)});
    auto index = std::make_shared<PlotIndex>(crowded);
    const std::uint64_t built = index->Visits();
    AssessCount count;
    const CaseQuality c = AssessCase(WrongTreeCase(index), &count);
    EXPECT_EQ(std::tie(c.row.suggestedTree, c.row.suggestedSigma0),
              std::tie(q.row.suggestedTree, q.row.suggestedSigma0));
    // Without the index every tree of the crowd was tried: 200,000
    // adjustments. Now at most the candidates, and a few thousand visits.
    EXPECT_LE(count.adjustments, static_cast<long>(kSearchCandidates) + 1);
    EXPECT_LE(index->Visits() - built, 5000u);
  }
}

}  // namespace
}  // namespace treetri::quality
