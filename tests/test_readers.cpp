// The photo-tree map reader and the sighting reader on small files written
// here: what lands in the tables, the counts, the messages and the failures.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "data/readers.h"
#include "data/tables.h"
#include "platform/headless_ui.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::TempFolder;
using Messages = std::vector<std::string>;

// One map record: plot, tree, species and coordinates, filler elsewhere.
std::string MapRecord(int plot, int tree, int species, const std::string& x,
                      const std::string& y, const std::string& z = "0") {
  return std::to_string(plot) + "," + std::to_string(tree) + "," + std::to_string(species) + "," +
         x + "," + y + "," + z + ",0,0,0,0,0,0,0,t,0,u,0\r\n";
}

// One sighting record of 19 fields from slots "tree,distance,azimuth"; the
// missing ones are written as 0,-1,-1.
std::string SightingRecord(int plot, int tree, int npa, std::vector<std::string> slots) {
  std::string s = std::to_string(plot) + "," + std::to_string(tree) + ",1," + std::to_string(npa);
  slots.resize(5, "0,-1,-1");
  for (const std::string& k : slots) s += "," + k;
  return s + "\r\n";
}

// The values, blank-separated, doubles in full.
template <class... T>
std::string Join(const T&... v) {
  std::ostringstream s;
  s.precision(17);
  ((s << v << ' '), ...);
  return s.str().substr(0, s.str().size() - 1);
}
std::string PhotoText(const PhotoTree& p) {
  return Join(p.Plot, p.Tree, p.Species, p.X, p.Y, p.Z, p.Value7, p.Value8, p.Value9, p.Value10,
              p.Text16, p.Code17);
}
std::string SlotText(const TargetTree& r, int k) {
  return Join(r.SightedTree[k], r.SightedSpecies[k], r.Sighted[k].X, r.Sighted[k].Y, r.Sighted[k].Z,
              r.Distance[k], r.Azimuth[k], r.HasDistance[k], r.HasAzimuth[k]);
}
// Everything the readers fill.
std::string TablesText(const Tables& t) {
  std::string s = Join(t.TargetTreeCount, t.TargetTrees.Size());
  for (int i = 1; i <= t.PhotoTrees.Size(); ++i) s += "\n" + PhotoText(t.PhotoTrees[i]);
  for (int i = 1; i <= t.TargetTrees.Size(); ++i) {
    const TargetTree& r = t.TargetTrees[i];
    s += "\n" + Join(r.Plot, r.Tree, r.Species, r.NPA, r.DistanceCount, r.AzimuthCount);
    for (int k = 1; k <= kSlotCount; ++k) s += ", " + SlotText(r, k);
  }
  return s;
}

struct Readers : ::testing::Test {
  bool Map(const std::string& text) { return ReadPhotoMapFile(t, ui, dir.Write("m.txt", text)); }
  bool Sight(const std::string& text) { return ReadSightingFile(t, ui, dir.Write("s.txt", text)); }
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
};

// Plot 1 holds trees 1 to 4 (tree 3 twice); tree 9 is only in plot 2.
const std::string kMap = MapRecord(1, 1, 11, "100", "200", "1") + MapRecord(1, 2, 12, "110", "210") +
                         MapRecord(1, 3, 13, "120", "220", "3") + MapRecord(1, 4, 14, "130", "230") +
                         MapRecord(2, 9, 19, "900", "900") + MapRecord(1, 3, 23, "121", "221", "4");

TEST_F(Readers, MapFieldsRecordsOverSeveralLinesRepeatedTreesAndTrailingBlankLines) {
  ASSERT_TRUE(Map("3, 17 ,2,101.25,202.5,7.75,1.5,2.5,3.5,4.5,9,9,9,t,9,\"Birch, old\",-12\r\n"
                  "3,17,5,11,21,0\n0,0,0,0,0,0,0\r\nt,0,u,0\n" + MapRecord(2, 1, 1, "30", "40") +
                  "\r\n \t\r\n\n"));
  ASSERT_EQ(t.PhotoTrees.Size(), 3);
  EXPECT_EQ(PhotoText(t.PhotoTrees[1]), "3 17 2 101.25 202.5 7.75 1.5 2.5 3.5 4.5 Birch, old -12");
  EXPECT_EQ(PhotoText(t.PhotoTrees[2]), "3 17 5 11 21 0 0 0 0 0 u 0");
  // A mark with lone CR line ends and nothing else empties the table.
  ASSERT_TRUE(Map("\xEF\xBB\xBF\r\r"));
  EXPECT_EQ(t.PhotoTrees.Size(), 0);
  EXPECT_EQ(ui.messages, (Messages{"3 trees / fixed points read", "0 trees / fixed points read"}));
}

TEST_F(Readers, ABadMapFieldEndsReadingKeepingTheCompleteRecords) {
  const std::string two = MapRecord(1, 1, 1, "1", "2") + MapRecord(1, 2, 1, "3", "4"),
                    after = ",0,0,0,0,0,0,0,0,t,0,u,0\n" + MapRecord(1, 4, 1, "7", "8"),
                    kept = " 2 complete records were read before it and kept.";
  const struct {
    std::string file, expected;
    int kept;
  } cases[] = {
      {two + "1,3,1,nan,5" + after, "record 3, field 4 (line 3): \"nan\" is not a number." + kept, 2},
      {two + "1,3,1,1e400,5" + after, "record 3, field 4 (line 3): \"1e400\" is not a number." + kept, 2},
      {two + "1,3.5,1,1,5" + after, "record 3, field 2 (line 3): \"3.5\" is not a whole number." + kept, 2},
      {two + "1,3,1,1,5,0,0,0,0,0,0,0,0,t,0,u,40000\n", "record 3, field 17 (line 3): \"40000\" is out "
       "of the range of a 16-bit whole number (-32768 to 32767)." + kept, 2},
      {MapRecord(1, 1, 1, "1", "2") + "1,2,1\r\n", "record 2, field 4 (line 3): the file ends inside "
       "the record. 1 complete record was read before it and kept.", 1},
  };
  for (const auto& c : cases) {
    ui.messages.clear();
    EXPECT_FALSE(Map(c.file));
    EXPECT_EQ(ui.messages, Messages{"Error in the photogrammetric map file \"" + dir.Path() +
                                    "/m.txt\", " + c.expected});
    EXPECT_EQ(t.PhotoTrees.Size(), c.kept);
    EXPECT_EQ(t.PhotoTrees[c.kept].Y, 2 * c.kept);
  }
}

TEST_F(Readers, SightingSlotsLookUpsMissingObservationsAndNpa) {
  ASSERT_TRUE(Map(kMap));
  const std::vector<std::string> five = {"1,1,1", "2,2,2", "3,3,3", "4,4,4", "1,5,5"};
  const std::string last = SightingRecord(1, 4, 7, five);  // written without a line end
  ASSERT_TRUE(Sight(SightingRecord(1, 1, 5, {"1,5.5,45", "9,6,90", "3,7,180", "2,-1,0", "4,8.25,-1"}) +
                    SightingRecord(1, 2, 4, {"1,-1,-1", "2,-0.5,-0.999", "3,-1.5,-7", "4,-1.0,-1e0"}) +
                    SightingRecord(1, 3, 3, five) + last.substr(0, last.size() - 2)));
  EXPECT_EQ(ui.messages.back(), "4 observed trees to be positioned ");
  ASSERT_EQ(t.TargetTreeCount, 4);
  const struct {
    int record, slot;
    const char* text;
  } slots[] = {
      {1, 1, "1 11 100 200 1 5.5 45 -1 -1"}, {1, 2, "9 0 0 0 0 6 90 0 0"},  // 9: not in plot 1
      {1, 3, "3 23 121 221 4 7 180 -1 -1"},  // the last of its two map records
      {1, 4, "2 12 110 210 0 -1 0 0 -1"}, {1, 5, "4 14 130 230 0 8.25 -1 -1 0"},
      {1, 6, "0 0 0 0 0 0 0 0 0"}, {2, 1, "1 11 100 200 1 -1 -1 0 0"},  // -1 or less: not observed
      {2, 2, "2 12 110 210 0 -0.5 -0.999 -1 -1"}, {2, 3, "3 23 121 221 4 -1.5 -7 0 0"},
      {2, 4, "4 14 130 230 0 -1 -1 0 0"}, {3, 3, "3 23 121 221 4 3 3 -1 -1"},
      {3, 4, "4 0 0 0 0 4 4 0 0"}, {3, 5, "1 0 0 0 0 5 5 0 0"},  // NPA 3: 4 and 5 not looked up
      {4, 5, "1 11 100 200 1 5 5 -1 -1"}, {4, 6, "0 0 0 0 0 0 0 0 0"},  // NPA 7: five slots only
  };
  for (const auto& s : slots)
    EXPECT_EQ(SlotText(t.TargetTrees[s.record], s.slot), s.text) << s.record << "/" << s.slot;
  const char* counts[] = {"5 3 3", "4 1 1", "3 3 3", "7 5 5"};  // NPA, distances, azimuths
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(Join(t.TargetTrees[i].NPA, t.TargetTrees[i].DistanceCount, t.TargetTrees[i].AzimuthCount),
              counts[i - 1]);
}

TEST_F(Readers, BadSightingFieldsAndTrailingBlankLinesFailKeepingTheRecordsBefore) {
  ASSERT_TRUE(Map(kMap));
  const std::string first = SightingRecord(1, 1, 2, {"1,1,10", "2,2,20"});
  const std::string rest = ",0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\n";
  const std::string cases[] = {"\r\n", "\n\n", " ", "1,2,1,1,2,2,2x" + rest, "1,2,1,1,2,inf,2" + rest,
                               "1,2,1,1.5,2,2,2" + rest + first, "1,2,1,1,2,2,2,0,-1,-1\n"};
  for (const std::string& bad : cases) {
    ui.messages.clear();
    EXPECT_FALSE(Sight(first + bad)) << bad;
    EXPECT_EQ(ui.messages.back().find("observed trees"), std::string::npos);
    EXPECT_EQ(ui.messages.at(0),
              "An error in reading observations, only seprator \",\"  decimal \".\" space \" \" "
              "and numbers 0...9 allowed");
    EXPECT_EQ(t.TargetTreeCount, 1) << bad;
    EXPECT_EQ(SlotText(t.TargetTrees[1], 2), "2 12 110 210 0 2 20 -1 -1");
  }
}

TEST_F(Readers, TwoThousandSightingsFitAndFailuresLeaveTheTablesUsable) {
  const std::string map = dir.Write("map.txt", kMap), good = dir.Write("good.txt",
      SightingRecord(1, 1, 2, {"1,1,1", "3,2,-1"}) + SightingRecord(1, 2, 1, {"4,-1,3"}));
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, map) && ReadSightingFile(t, ui, good));
  const std::string fresh = TablesText(t);
  // A later read gives what a fresh one gives, whatever failed before it.
  EXPECT_FALSE(Map(MapRecord(7, 7, 7, "7", "7") + MapRecord(7, 8, 7, "7", "7") +
                   MapRecord(7, 9, 7, "7", "7") + "7,7,x\n"));
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, dir.Path() + "/missing.txt"));
  EXPECT_EQ(t.PhotoTrees.Size(), 3);  // the unreadable file keeps the earlier map
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, map));
  std::string content;
  for (int i = 1; i <= kMaxTargetTrees; ++i) content += SightingRecord(1, i, 5, {"1,1,1"});
  ASSERT_TRUE(Sight(content));
  EXPECT_EQ(ui.messages.back(), "2000 observed trees to be positioned ");
  ui.messages.clear();
  EXPECT_FALSE(Sight(content + SightingRecord(1, 2001, 1, {"1,1,1"})));
  EXPECT_EQ(ui.messages.at(0), kSightingErrorMessage);
  EXPECT_EQ(t.TargetTreeCount, 2000);
  EXPECT_EQ(t.TargetTrees[2000].Tree, 2000);
  EXPECT_FALSE(Sight("1,x\n"));
  EXPECT_FALSE(ReadSightingFile(t, ui, dir.Path() + "/missing.txt"));
  ASSERT_TRUE(ReadSightingFile(t, ui, good));
  EXPECT_EQ(TablesText(t), fresh);
}

}  // namespace
}  // namespace treetri
