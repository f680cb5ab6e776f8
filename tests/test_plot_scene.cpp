// The plot map's scene without pixels: which marks and lines a plot gets
// from hand-made cases, the colours of |w|, the scale bar lengths, and the
// quality files read back.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "quality/quality_files.h"
#include "tests/support.h"
#include "views/plot_scene.h"

namespace treetri::views {
namespace {

using quality::ObservationKind;
using quality::ObservationAssessment;

ObservationAssessment Obs(int caseNumber, int slot, int tree, ObservationKind kind,
                   std::optional<double> w) {
  ObservationAssessment o;
  o.caseNumber = caseNumber, o.plot = 1, o.slot = slot, o.sightedTree = tree;
  o.kind = kind, o.w = w;
  return o;
}

quality::CaseQuality Case(int number, int plot, std::optional<double> x, double y) {
  quality::CaseQuality c;
  c.row.caseNumber = number, c.row.plot = plot, c.row.tree = 100 + number;
  c.row.x = x, c.row.y = y, c.row.verdict = quality::Verdict::Ok;
  return c;
}

// Plot 1: map trees 1 (10, 0), 2 (0, 10), 3 (-10, 0), 4 (0, -20), and any
// more given.
Table<PhotoTree> PlotOne(std::vector<std::tuple<int, double, double>> more = {}) {
  Table<PhotoTree> t;
  more.insert(more.begin(), {{1, 10.0, 0.0}, {2, 0.0, 10.0}, {3, -10.0, 0.0}, {4, 0.0, -20.0}});
  for (auto [tree, x, y] : more) {
    PhotoTree p;
    p.Plot = 1, p.Tree = tree, p.X = x, p.Y = y;
    t.Append(p);
  }
  return t;
}

// Case 1 at the origin: tree 1 with azimuth and distance (the distance is
// the suspect, w -4), tree 2 azimuth only, tree 3 distance only; tree 4 is
// suggested. Case 2 was adjusted without its sighting of tree 3. Case 3 has
// no position, case 4 is of plot 2.
struct SceneFixture {
  quality::PlotMaps maps{PlotOne()};
  CaseResults results;
  SceneFixture() {
    auto one = Case(1, 1, 0.0, 0.0);
    one.row.conf95A = 0.5, one.row.conf95B = 0.2, one.row.ellipseAzimuth = 90;
    one.row.verdict = quality::Verdict::Outlier, one.row.suspectTree = 1, one.row.suggestedTree = 4;
    one.row.suspectKind = quality::SuspectKind::Distance, one.row.suspectW = -4.0;
    one.observations = {Obs(1, 1, 1, ObservationKind::Azimuth, 1.0),
                        Obs(1, 1, 1, ObservationKind::Distance, -4.0),
                        Obs(1, 2, 2, ObservationKind::Azimuth, 0.5),
                        Obs(1, 3, 3, ObservationKind::Distance, std::nullopt),
                        Obs(1, 1, 1, ObservationKind::MapX, 9.0)};
    auto two = Case(2, 1, 1.0, 1.0);
    two.row.suspectKind = quality::SuspectKind::Sighting, two.row.suspectTree = 3;
    two.observations = {Obs(2, 1, 1, ObservationKind::Azimuth, 0.1)};
    for (auto c : {two, Case(4, 2, 50.0, 50.0), Case(3, 1, std::nullopt, 0), one})
      results.Add(c);
  }
};

TEST(PlotScene, MarksAndLinesOfAPlot) {
  const SceneFixture f;
  const PlotScene s = BuildPlotScene(f.maps, f.results, 1);
  EXPECT_EQ(std::make_pair(s.plot, s.mapTrees.size()), std::make_pair(1, size_t{4}));
  // Cases 1 and 2 (3 has no position), one ellipse, three lines.
  ASSERT_EQ((std::vector<size_t>{s.fieldTrees.size(), s.ellipses.size(), s.lines.size()}),
            (std::vector<size_t>{2, 1, 3}));
  const std::tuple<int, SightingStyle, std::optional<double>, bool> expected[] = {
      {1, SightingStyle::Both, 4.0, true},
      {2, SightingStyle::AzimuthOnly, 0.5, false},
      {3, SightingStyle::DistanceOnly, std::nullopt, false}};
  for (size_t i = 0; i < 3; ++i) {
    const SightingLine& l = s.lines[i];
    EXPECT_EQ(std::tie(l.tree, l.style, l.absW, l.suspect), expected[i]) << i;
    EXPECT_EQ(std::tie(l.x0, l.y0), std::make_tuple(0.0, 0.0));
  }
  // The suspect's line by its kind and tree: also an azimuth beside a larger
  // distance w, and a coordinate of the sighted map tree.
  for (auto [kind, w] : {std::pair{quality::SuspectKind::Azimuth, 1.0},
                         std::pair{quality::SuspectKind::MapX, 9.0}}) {
    CaseResults other = f.results;
    quality::CaseQuality one = *f.results.Find(1);
    one.row.suspectKind = kind, one.row.suspectW = w;
    other.Add(one);
    const PlotScene k = BuildPlotScene(f.maps, other, 1);
    EXPECT_TRUE(k.lines[0].suspect && !k.lines[1].suspect && !k.lines[2].suspect) << w;
  }
  EXPECT_EQ(s.suggested ? s.suggested->tree : 0, 4);
  // The case box holds the sighted and the suggested trees; the plot box
  // every tree of the plot, not the far field tree of plot 2.
  EXPECT_EQ(std::tie(s.caseBox.minX, s.caseBox.minY, s.caseBox.maxX, s.caseBox.maxY),
            std::make_tuple(-10.0, -20.0, 10.0, 10.0));
  EXPECT_EQ(s.plotBox.maxX, 10.0);
  EXPECT_EQ(CaseNear(s, 0.9, 1.2, 0.5), 2);
  EXPECT_EQ(CaseNear(s, 5, 5, 0.5), 0);

  // Case 3 at the position the legacy adjustment gave it.
  CaseResults withLegacy = f.results;
  withLegacy.SetLegacyPosition(3, 2, 3);
  const PlotScene three = BuildPlotScene(f.maps, withLegacy, 3);
  ASSERT_EQ(three.fieldTrees.size(), 3u);
  EXPECT_TRUE(three.fieldTrees[2].atLegacyPosition && three.fieldTrees[2].x == 2);
  EXPECT_TRUE(three.lines.empty());

  // The left-out sighting of case 2 is its suspect line.
  const PlotScene two = BuildPlotScene(f.maps, f.results, 2);
  ASSERT_EQ(two.lines.size(), 2u);
  EXPECT_TRUE(two.lines[1].leftOut && two.lines[1].suspect && two.lines[1].tree == 3);
  EXPECT_FALSE(two.lines[0].suspect);
}

TEST(PlotScene, WColoursAndScaleBars) {
  const Colour grey{0x90, 0x90, 0x90}, green{0x1a, 0x85, 0x3c}, amber{0xe6, 0x9f, 0x00},
      red{0xd6, 0x27, 0x28};
  EXPECT_EQ(WColour(std::nullopt), grey);
  EXPECT_EQ(WColour(0.5), green);
  EXPECT_EQ(WColour(-kWarningW), amber);
  EXPECT_EQ(WColour(quality::kCriticalW), red);
  EXPECT_EQ(WColour(40), red);
  EXPECT_EQ(WColour(1.5), (Colour{0x80, 0x92, 0x1e}));  // halfway green to amber
  for (auto [most, length] : {std::pair{140.0, 100.0}, {7.3, 5.0}, {0.3, 0.2}, {1.0, 1.0},
                              {0.0, 0.0}})
    EXPECT_EQ(ScaleBarLength(most), length) << most;
}

TEST(PlotScene, QualityFilesReadBack) {
  const SceneFixture f;
  testing::TempFolder folder;
  std::string quality = quality::QualityHeaderLine(), observations = quality::ObservationHeaderLine();
  for (const quality::CaseQuality& c : f.results.Cases()) {
    quality += quality::FormatQualityLine(c.row);
    for (const ObservationAssessment& o : c.observations) observations += FormatObservationLine(o);
  }
  const std::string q = folder.Write(quality::kQualityFileName, quality + "\r\n");  // blank end
  std::string o = folder.Write(quality::kObservationsFileName, observations);
  CaseResults back;
  std::string error;
  ASSERT_TRUE(back.Load(q, o, error)) << error;
  ASSERT_EQ(back.Cases().size(), 4u);
  EXPECT_EQ(back.Find(1)->observations.size(), 5u);
  EXPECT_EQ(back.Find(1)->row.suspectW, -4.0);
  EXPECT_EQ(back.Find(0), nullptr);  // not the nearest case instead
  EXPECT_EQ(back.Find(5), nullptr);
  // A line that does not parse is named with its file and line.
  o = folder.Write(quality::kObservationsFileName, observations + "1,1,101,9,x\r\n");
  EXPECT_FALSE(back.Load(q, o, error));
  EXPECT_TRUE(back.Cases().empty());
  EXPECT_NE(error.find("observations.csv\", line 8"), std::string::npos) << error;
}

// One map tree typed with X = 340000000.0: drawn, but "Fit plot" frames the
// rest of the plot, and a note says why.
TEST(PlotScene, AFarOffMapTreeIsLeftOutOfFitPlot) {
  SceneFixture f;
  const Table<PhotoTree> t = PlotOne({{5, 340000000.0, 0.0}});
  const quality::PlotMaps maps(t);
  const PlotScene s = BuildPlotScene(maps, f.results, 2);
  EXPECT_EQ(s.mapTrees.size(), 5u);
  ASSERT_EQ(s.farOff.size(), 1u);
  EXPECT_EQ(s.farOff[0].tree, 5);
  EXPECT_LE(s.plotBox.Width(), 20.0);
  EXPECT_EQ(s.plotBox.Height(), 30.0);
  EXPECT_EQ(FarOffNote(s), "Map tree 5 (X 340000000.00, Y 0.00) lies far from the rest of plot 1 "
                           "and is left out of Fit plot.");
  EXPECT_EQ(FarOffNote(BuildPlotScene(f.maps, f.results, 2)), "");
  // A tree at 10 times the median spread (10 m) is not far off yet.
  Table<PhotoTree> edge = t;
  edge[5].X = 100;
  EXPECT_TRUE(BuildPlotScene(quality::PlotMaps(edge), f.results, 2).farOff.empty());
  edge[5].X = 100.01;
  EXPECT_EQ(BuildPlotScene(quality::PlotMaps(edge), f.results, 2).farOff.size(), 1u);
}

// A 50 MB text field is shown as its first 400 bytes, cut between
// characters, with its length.
TEST(PlotScene, ALongTextFieldIsShownCut) {
  std::string warnings = "x";
  while (warnings.size() < 50u * 1000 * 1000) warnings += "\xC3\xA4";  // ä
  std::string cut = "x";
  for (int i = 0; i < 199; ++i) cut += "\xC3\xA4";
  EXPECT_EQ(ShownText(warnings), cut + " ... (25000001 characters in all)");
  EXPECT_EQ(ShownText("short"), "short");
  EXPECT_EQ(ShownText(std::string(400, 'a')), std::string(400, 'a'));
}

}  // namespace
}  // namespace treetri::views
