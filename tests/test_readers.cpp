// The photo-tree map reader and the sighting reader on small files written
// here: what lands in the tables, the counts and the messages. Bad files are
// in test_bad_input.cpp.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "data/readers.h"
#include "positioning/tables.h"
#include "platform/headless_ui.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

using Messages = std::vector<std::string>;

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
const std::string kMap = testing::MapRecordText(1, 1, 11, "100", "200", "1") + testing::MapRecordText(1, 2, 12, "110", "210") +
                         testing::MapRecordText(1, 3, 13, "120", "220", "3") + testing::MapRecordText(1, 4, 14, "130", "230") +
                         testing::MapRecordText(2, 9, 19, "900", "900") + testing::MapRecordText(1, 3, 23, "121", "221", "4");

TEST_F(Readers, MapFieldsRecordsOverSeveralLinesAndBlankLines) {
  ASSERT_TRUE(Map("3, 17 ,2,101.25,202.5,7.75,1.5,2.5,3.5,4.5,9,9,9,t,9,\"Birch, old\",-12\r\n"
                  "3,17,5,11,21,0\n0,0,0,0,0,0,0\r\nt,0,u,0\n" + testing::MapRecordText(2, 1, 1, "30", "40") +
                  "\r\n \t\r\n\n"));
  ASSERT_EQ(t.PhotoTrees.Size(), 3);
  EXPECT_EQ(PhotoText(t.PhotoTrees[1]), "3 17 2 101.25 202.5 7.75 1.5 2.5 3.5 4.5 Birch, old -12");
  EXPECT_EQ(PhotoText(t.PhotoTrees[2]), "3 17 5 11 21 0 0 0 0 0 u 0");
  EXPECT_EQ(ui.messages, Messages{"3 trees / fixed points read"});
}

TEST_F(Readers, SightingSlotsLookUpsMissingObservationsAndNpa) {
  ASSERT_TRUE(Map(kMap));
  const std::vector<std::string> five = {"1,1,1", "2,2,2", "3,3,3", "4,4,4", "1,5,5"};
  const std::string last = testing::SightingRecordText(1, 4, 1, 7, five);  // written without a line end
  ASSERT_TRUE(Sight(testing::SightingRecordText(1, 1, 1, 5, {"1,5.5,45", "9,6,90", "3,7,180", "2,-1,0", "4,8.25,-1"}) +
                    testing::SightingRecordText(1, 2, 1, 4, {"1,-1,-1", "2,-0.5,-0.999", "3,-1.5,-7", "4,-1.0,-1e0"}) +
                    testing::SightingRecordText(1, 3, 1, 3, five) + last.substr(0, last.size() - 2)));
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
}

}  // namespace
}  // namespace treetri
