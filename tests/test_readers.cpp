// The photo-tree map reader and the sighting reader on small files written
// here: what lands in the tables, the counts, the messages and the failures.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "data/readers.h"
#include "positioning/tables.h"
#include "platform/headless_ui.h"
#include "tests/support.h"

namespace treetri {
namespace {

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
// Slot 0 stands for the record's NPA, distance count and azimuth count.
std::string SlotText(const TargetTree& r, int k) {
  if (k == 0) return Join(r.NPA, r.DistanceCount, r.AzimuthCount);
  return Join(r.SightedTree[k], r.SightedSpecies[k], r.Sighted[k].X, r.Sighted[k].Y, r.Sighted[k].Z,
              r.Distance[k], r.Azimuth[k], r.HasDistance[k], r.HasAzimuth[k]);
}
struct Readers : ::testing::Test {
  bool Map(const std::string& text) { return ReadPhotoMapFile(t, ui, dir.Write("m.txt", text)); }
  bool Sight(const std::string& text) { return ReadSightingFile(t, ui, dir.Write("s.txt", text)); }
  testing::TempFolder dir;
  Tables t;
  HeadlessUi ui;
};

// Plot 1 holds trees 1 to 4 (tree 3 twice); tree 9 is only in plot 2.
const std::string kMap = MapRecord(1, 1, 11, "100", "200", "1") + MapRecord(1, 2, 12, "110", "210") +
                         MapRecord(1, 3, 13, "120", "220", "3") + MapRecord(1, 4, 14, "130", "230") +
                         MapRecord(2, 9, 19, "900", "900") + MapRecord(1, 3, 23, "121", "221", "4");

TEST_F(Readers, MapFieldsRecordsOverSeveralLinesBlankLinesAndBadFields) {
  ASSERT_TRUE(Map("3, 17 ,2,101.25,202.5,7.75,1.5,2.5,3.5,4.5,9,9,9,t,9,\"Birch, old\",-12\r\n"
                  "3,17,5,11,21,0\n0,0,0,0,0,0,0\r\nt,0,u,0\n" + MapRecord(2, 1, 1, "30", "40") +
                  "\r\n \t\r\n\n"));
  ASSERT_EQ(t.PhotoTrees.Size(), 3);
  EXPECT_EQ(PhotoText(t.PhotoTrees[1]), "3 17 2 101.25 202.5 7.75 1.5 2.5 3.5 4.5 Birch, old -12");
  EXPECT_EQ(PhotoText(t.PhotoTrees[2]), "3 17 5 11 21 0 0 0 0 0 u 0");
  EXPECT_EQ(ui.messages, Messages{"3 trees / fixed points read"});
  // A bad field ends reading, keeping the complete records.
  const std::string two = MapRecord(1, 1, 1, "1", "2") + MapRecord(1, 2, 1, "3", "4");
  const std::tuple<std::string, std::string, int> cases[] = {
      {two + "1,3,1,nan,5" + MapRecord(1, 4, 1, "7", "8"), "record 3, field 4 (line 3): \"nan\" is "
       "not a number. 2 complete records were read before it and kept.", 2},
      {MapRecord(1, 1, 1, "1", "2") + "1,2,1\r\n", "record 2, field 4 (line 3): the file ends inside "
       "the record. 1 complete record was read before it and kept.", 1},
  };
  for (const auto& [file, expected, kept] : cases) {
    ui.messages.clear();
    EXPECT_FALSE(Map(file));
    EXPECT_EQ(ui.messages, Messages{"Error in the photogrammetric map file \"" + dir.Path() +
                                    "/m.txt\", " + expected});
    EXPECT_TRUE(t.PhotoTrees.Size() == kept && t.PhotoTrees[kept].Y == 2 * kept);
  }
}

TEST_F(Readers, SightingSlotsLookUpsMissingObservationsNpaAndBadFields) {
  ASSERT_TRUE(Map(kMap));
  const std::vector<std::string> five = {"1,1,1", "2,2,2", "3,3,3", "4,4,4", "1,5,5"};
  const std::string last = SightingRecord(1, 4, 7, five);  // written without a line end
  ASSERT_TRUE(Sight(SightingRecord(1, 1, 5, {"1,5.5,45", "9,6,90", "3,7,180", "2,-1,0", "4,8.25,-1"}) +
                    SightingRecord(1, 2, 4, {"1,-1,-1", "2,-0.5,-0.999", "3,-1.5,-7", "4,-1.0,-1e0"}) +
                    SightingRecord(1, 3, 3, five) + last.substr(0, last.size() - 2)));
  EXPECT_EQ(ui.messages.back(), "4 observed trees to be positioned ");
  ASSERT_EQ(t.TargetTreeCount, 4);
  const std::tuple<int, int, const char*> slots[] = {
      {1, 0, "5 3 3"}, {1, 1, "1 11 100 200 1 5.5 45 -1 -1"}, {1, 2, "9 0 0 0 0 6 90 0 0"},
      {1, 3, "3 23 121 221 4 7 180 -1 -1"},  // 9: not in plot 1; 3: the last of its two records
      {1, 4, "2 12 110 210 0 -1 0 0 -1"}, {2, 0, "4 1 1"},  // -1 or less: not observed
      {2, 2, "2 12 110 210 0 -0.5 -0.999 -1 -1"}, {2, 3, "3 23 121 221 4 -1.5 -7 0 0"},
      {3, 0, "3 3 3"}, {3, 4, "4 0 0 0 0 4 4 0 0"},  // NPA 3: slots 4 and 5 not looked up
      {4, 0, "7 5 5"}, {4, 5, "1 11 100 200 1 5 5 -1 -1"}, {4, 6, "0 0 0 0 0 0 0 0 0"},
  };
  for (const auto& [record, slot, text] : slots)
    EXPECT_EQ(SlotText(t.TargetTrees[record], slot), text) << record << "/" << slot;
  // Bad fields and trailing blank lines fail, keeping the records before.
  const std::string first = SightingRecord(1, 1, 2, {"1,1,10", "2,2,20"}),
                    rest = ",0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\n";
  const std::pair<std::string, std::string> cases[] = {
      {"\r\n", "1 (line 2): \"\" is empty where a whole number belongs"},
      {"1,2,1,1,2,2,2x" + rest, "7 (line 2): \"2x\" is not a number"},
      {"1,2,1,1.5,2,2,2" + rest + first, "4 (line 2): \"1.5\" is not a whole number"},
      {"1,2,1,1,2,2,2,0,-1,-1\n", "11 (line 3): the file ends inside the record"}};
  for (const auto& [bad, detail] : cases) {
    ui.messages.clear();
    EXPECT_FALSE(Sight(first + bad)) << bad;
    EXPECT_EQ(ui.messages, (Messages{kSightingErrorMessage, "The sighting file \"" + dir.Path() +
        "/s.txt\": record 2, field " + detail + ". 1 complete record was read before it and kept."}));
    EXPECT_EQ(Join(t.TargetTreeCount, SlotText(t.TargetTrees[1], 2)), "1 2 12 110 210 0 2 20 -1 -1");
  }
}

TEST_F(Readers, TwoThousandSightingsFitAndFailuresLeaveTheTablesUsable) {
  EXPECT_FALSE(Map(MapRecord(7, 7, 7, "7", "7") + MapRecord(7, 8, 7, "7", "7") + "7,7,x\n"));
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, dir.Path() + "/missing.txt"));
  EXPECT_EQ(t.PhotoTrees.Size(), 2);  // the unreadable file keeps the earlier map
  ASSERT_TRUE(Map(kMap));
  std::string content;
  for (int i = 1; i <= kMaxTargetTrees; ++i) content += SightingRecord(1, i, 5, {"1,1,1"});
  ASSERT_TRUE(Sight(content));
  EXPECT_EQ(ui.messages.back(), "2000 observed trees to be positioned ");
  EXPECT_FALSE(Sight(content + SightingRecord(1, 2001, 1, {"1,1,1"})));
  EXPECT_NE(ui.messages.back().find("record 2001 (line 2001) does not fit: the table holds 2000 "
                                     "field trees. 2000 complete records"), std::string::npos);
  EXPECT_TRUE(t.TargetTreeCount == 2000 && t.TargetTrees[2000].Tree == 2000);
  // A later read gives what a fresh one gives, whatever failed before it.
  ASSERT_TRUE(Sight(SightingRecord(1, 2, 1, {"4,-1,3"})));
  EXPECT_EQ(Join(t.TargetTreeCount, SlotText(t.TargetTrees[1], 1)), "1 4 14 130 230 0 -1 3 0 -1");
}

}  // namespace
}  // namespace treetri
