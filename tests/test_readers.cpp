// The photo-tree map reader and the sighting reader on small files written
// here: what lands in the tables, the counts, the messages and the failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/readers.h"
#include "data/tables.h"
#include "platform/headless_ui.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::TempFolder;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One map record: the given plot, tree, species and coordinates, filler in the
// other fields.
std::string MapRecord(int plot, int tree, int species, const std::string& x,
                      const std::string& y, const std::string& z = "0") {
  return std::to_string(plot) + "," + std::to_string(tree) + "," + std::to_string(species) + "," +
         x + "," + y + "," + z + ",0,0,0,0,0,0,0,t,0,u,0\r\n";
}

struct Slot {
  int tree;
  std::string distance, azimuth;
};

// One sighting record of 19 fields; missing slots are written as 0,-1,-1.
std::string SightingRecord(int plot, int tree, int species, int npa, std::vector<Slot> slots) {
  std::string s = std::to_string(plot) + "," + std::to_string(tree) + "," +
                  std::to_string(species) + "," + std::to_string(npa);
  slots.resize(5, Slot{0, "-1", "-1"});
  for (const Slot& k : slots) s += "," + std::to_string(k.tree) + "," + k.distance + "," + k.azimuth;
  return s + "\r\n";
}

void ExpectSamePhotoTrees(const Table<PhotoTree>& a, const Table<PhotoTree>& b) {
  ASSERT_EQ(a.Size(), b.Size());
  for (int i = 1; i <= a.Size(); ++i) {
    EXPECT_EQ(a[i].Plot, b[i].Plot);
    EXPECT_EQ(a[i].Tree, b[i].Tree);
    EXPECT_EQ(a[i].Species, b[i].Species);
    EXPECT_EQ(a[i].X, b[i].X);
    EXPECT_EQ(a[i].Y, b[i].Y);
    EXPECT_EQ(a[i].Z, b[i].Z);
    EXPECT_EQ(a[i].Text16, b[i].Text16);
    EXPECT_EQ(a[i].Code17, b[i].Code17);
  }
}

void ExpectSameTargetTree(const TargetTree& a, const TargetTree& b, int record) {
  SCOPED_TRACE("record " + std::to_string(record));
  EXPECT_EQ(a.Plot, b.Plot);
  EXPECT_EQ(a.Tree, b.Tree);
  EXPECT_EQ(a.Species, b.Species);
  EXPECT_EQ(a.NPA, b.NPA);
  EXPECT_EQ(a.DistanceCount, b.DistanceCount);
  EXPECT_EQ(a.AzimuthCount, b.AzimuthCount);
  for (int k = 1; k <= kSlotCount; ++k) {
    EXPECT_EQ(a.SightedTree[k], b.SightedTree[k]) << k;
    EXPECT_EQ(a.SightedSpecies[k], b.SightedSpecies[k]) << k;
    EXPECT_EQ(a.Sighted[k].X, b.Sighted[k].X) << k;
    EXPECT_EQ(a.Sighted[k].Y, b.Sighted[k].Y) << k;
    EXPECT_EQ(a.Sighted[k].Z, b.Sighted[k].Z) << k;
    EXPECT_EQ(a.Azimuth[k], b.Azimuth[k]) << k;
    EXPECT_EQ(a.Distance[k], b.Distance[k]) << k;
    EXPECT_EQ(a.HasDistance[k], b.HasDistance[k]) << k;
    EXPECT_EQ(a.HasAzimuth[k], b.HasAzimuth[k]) << k;
  }
}

// ---------------------------------------------------------------- map file

TEST(MapReader, EveryFieldLandsInItsPlace) {
  TempFolder dir;
  std::string path = dir.Write(
      "map.txt",
      "3, 17 ,2,101.25,202.5,7.75,1.5,2.5,3.5,4.5,9,9,9,skip,9,\"Birch, old\",-12\r\n");
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, path));
  ASSERT_EQ(t.PhotoTrees.Size(), 1);
  const PhotoTree& p = t.PhotoTrees[1];
  EXPECT_EQ(p.Plot, 3);
  EXPECT_EQ(p.Tree, 17);
  EXPECT_EQ(p.Species, 2);
  EXPECT_EQ(p.X, 101.25);
  EXPECT_EQ(p.Y, 202.5);
  EXPECT_EQ(p.Z, 7.75);
  EXPECT_EQ(p.Value7, 1.5);
  EXPECT_EQ(p.Value8, 2.5);
  EXPECT_EQ(p.Value9, 3.5);
  EXPECT_EQ(p.Value10, 4.5);
  EXPECT_EQ(p.Text16, "Birch, old");
  EXPECT_EQ(p.Code17, -12);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"1 trees / fixed points read"});
}

TEST(MapReader, RecordsOverSeveralLinesRepeatedTreesAndTrailingBlankLines) {
  TempFolder dir;
  std::string path = dir.Write("map.txt",
                               MapRecord(1, 1, 1, "10", "20") +
                                   "1,1,5,11,21,0\n0,0,0,0,0,0,0\r\nt,0,u,0\n" +
                                   MapRecord(2, 1, 1, "30", "40") + "\r\n \t\r\n\n");
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, path));
  ASSERT_EQ(t.PhotoTrees.Size(), 3);
  // Both records of tree (1, 1) are kept, in file order.
  EXPECT_EQ(t.PhotoTrees[1].X, 10);
  EXPECT_EQ(t.PhotoTrees[2].X, 11);
  EXPECT_EQ(t.PhotoTrees[2].Species, 5);
  EXPECT_EQ(t.PhotoTrees[3].Plot, 2);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"3 trees / fixed points read"});
}

TEST(MapReader, EmptyFileEmptiesTheTable) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("a.txt", MapRecord(1, 1, 1, "1", "2"))));
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("empty.txt", "")));
  EXPECT_EQ(t.PhotoTrees.Size(), 0);
  EXPECT_EQ(ui.messages.back(), "0 trees / fixed points read");
  // A byte-order mark with lone CR line ends and nothing else is empty too;
  // with a record after it, the record is read.
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("bom.txt", "\xEF\xBB\xBF\r\r")));
  EXPECT_EQ(ui.messages.back(), "0 trees / fixed points read");
  ASSERT_TRUE(ReadPhotoMapFile(
      t, ui, dir.Write("bom2.txt", "\xEF\xBB\xBF" "5,6,7,1,2,3,0,0,0,0,0,0,0,t,0,\xE4\xF6,1\r")));
  ASSERT_EQ(t.PhotoTrees.Size(), 1);
  EXPECT_EQ(t.PhotoTrees[1].Plot, 5);
  EXPECT_EQ(t.PhotoTrees[1].Text16, "\xE4\xF6");
}

TEST(MapReader, MoreRecordsThanTheTableIsSizedForAreAllRead) {
  TempFolder dir;
  std::string content;
  for (int i = 1; i <= kMaxPhotoTrees + 1; ++i) content += MapRecord(1, i, 1, "1.5", "2.5");
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("big.txt", content)));
  EXPECT_EQ(t.PhotoTrees.Size(), 5701);
  EXPECT_EQ(t.PhotoTrees[5701].Tree, 5701);
  EXPECT_EQ(ui.messages.back(), "5701 trees / fixed points read");
}

TEST(MapReader, BadFieldEndsReadingKeepingTheCompleteRecords) {
  TempFolder dir;
  std::string good = MapRecord(1, 1, 1, "1", "2") + MapRecord(1, 2, 1, "3", "4");
  struct Case {
    std::string third;     // the third record
    std::string expected;  // the part of the message after the file name
  } cases[] = {
      {"1,3,1,abc,5,0,0,0,0,0,0,0,0,t,0,u,0\n",
       "record 3, field 4 (line 3): \"abc\" is not a number"},
      {"1,3,1,nan,5,0,0,0,0,0,0,0,0,t,0,u,0\n",
       "record 3, field 4 (line 3): \"nan\" is not a number"},
      {"1,3,1,1e400,5,0,0,0,0,0,0,0,0,t,0,u,0\n",
       "record 3, field 4 (line 3): \"1e400\" is not a number"},
      {"1,3.5,1,1,5,0,0,0,0,0,0,0,0,t,0,u,0\n",
       "record 3, field 2 (line 3): \"3.5\" is not a whole number"},
      {"1,3,1,1,5,0,0,0,0,0,0,0,0,t,0,u,40000\n",
       "record 3, field 17 (line 3): \"40000\" is out of the range of a 16-bit whole number"},
      {"1,3,,1,5,0,0,0,0,0,0,0,0,t,0,u,0\n",
       "record 3, field 3 (line 3): \"\" is empty where a whole number belongs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.third);
    Tables t;
    HeadlessUi ui;
    std::string path = dir.Write("bad.txt", good + c.third + MapRecord(1, 4, 1, "7", "8"));
    EXPECT_FALSE(ReadPhotoMapFile(t, ui, path));
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& m = ui.messages[0];
    EXPECT_TRUE(Contains(m, "\"" + path + "\", " + c.expected)) << m;
    EXPECT_TRUE(Contains(m, "2 complete records were read before it and kept.")) << m;
    ASSERT_EQ(t.PhotoTrees.Size(), 2);
    EXPECT_EQ(t.PhotoTrees[2].Tree, 2);
    EXPECT_EQ(t.PhotoTrees[2].Y, 4);
  }
  // The whole message once, for a record cut short by the end of the file.
  Tables t;
  HeadlessUi ui;
  std::string path = dir.Write("short.txt", MapRecord(1, 1, 1, "1", "2") + "1,2,1\r\n");
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, path));
  EXPECT_EQ(ui.messages, std::vector<std::string>{
                             "Error in the photogrammetric map file \"" + path +
                             "\", record 2, field 4 (line 3): the file ends inside the record. "
                             "1 complete record was read before it and kept."});
  EXPECT_EQ(t.PhotoTrees.Size(), 1);
}

TEST(MapReader, UnreadableFileKeepsTheEarlierMap) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("a.txt", MapRecord(4, 4, 4, "1", "2"))));
  const std::string missing = dir.Path() + "/missing.txt";
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, missing));
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_TRUE(Contains(ui.messages[1], "\"" + missing + "\"")) << ui.messages[1];
  ASSERT_EQ(t.PhotoTrees.Size(), 1);
  EXPECT_EQ(t.PhotoTrees[1].Plot, 4);
  // A folder cannot be read as a map either.
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, dir.Path()));
  EXPECT_EQ(t.PhotoTrees.Size(), 1);
}

TEST(MapReader, MenuCommandUsesTheDialogAndACancelChangesNothing) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  ui.QueueDialogAnswer(dir.Write("m.txt", MapRecord(1, 1, 1, "1", "2") + MapRecord(1, 2, 1, "3", "4")));
  Open_PhotogrammetricMap(t, ui);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].filter, "Field plot data files (*.txt, *.csv)|*.*");
  EXPECT_EQ(ui.dialogs[0].title, "File which has photogrammetric control points!");
  EXPECT_EQ(ui.messages, std::vector<std::string>{"2 trees / fixed points read"});

  // The file changes, but a cancelled dialog does not read it again.
  dir.Write("m.txt", MapRecord(9, 9, 9, "9", "9"));
  ui.QueueDialogAnswer(std::nullopt);
  Open_PhotogrammetricMap(t, ui);
  EXPECT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(t.PhotoTrees.Size(), 2);
}

TEST(MapReader, AReadAfterAFailureGivesWhatAFreshReadGives) {
  TempFolder dir;
  std::string good = dir.Write("good.txt", MapRecord(1, 1, 2, "1.25", "2.5") +
                                               MapRecord(1, 2, 3, "4", "5", "6"));
  Tables fresh;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(fresh, ui, good));

  Tables t;
  std::string bad = dir.Write("bad.txt", MapRecord(7, 7, 7, "7", "7") + MapRecord(7, 8, 7, "7", "7") +
                                             MapRecord(7, 9, 7, "7", "7") + "7,7,x\n");
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, bad));
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, good));
  ExpectSamePhotoTrees(t.PhotoTrees, fresh.PhotoTrees);
}

// ----------------------------------------------------------- sighting file

// A map with trees 1 to 4 in plot 1 (tree 3 twice) and tree 9 in plot 2 only.
const std::string kMap = MapRecord(1, 1, 11, "100", "200", "1") + MapRecord(1, 2, 12, "110", "210") +
                         MapRecord(1, 3, 13, "120", "220", "3") + MapRecord(1, 4, 14, "130", "230") +
                         MapRecord(2, 9, 19, "900", "900") + MapRecord(1, 3, 23, "121", "221", "4");

struct SightingFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", kMap)));
    ui.messages.clear();
  }
  bool Read(const std::string& content) {
    return ReadSightingFile(t, ui, dir.Write("sight.txt", content));
  }
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
};

TEST_F(SightingFixture, SlotsAreLookedUpInTheFieldTreesPlot) {
  ASSERT_TRUE(Read(SightingRecord(1, 101, 7, 5,
                                  {{1, "5.5", "45"},      // found, both observed
                                   {9, "6", "90"},        // tree 9 is only in plot 2
                                   {3, "7", "180"},       // on the map twice
                                   {2, "-1", "0"},        // azimuth only
                                   {4, "8.25", "-1"}})));  // distance only
  ASSERT_EQ(t.TargetTreeCount, 1);
  const TargetTree& r = t.TargetTrees[1];
  EXPECT_EQ(r.Plot, 1);
  EXPECT_EQ(r.Tree, 101);
  EXPECT_EQ(r.Species, 7);
  EXPECT_EQ(r.NPA, 5);
  // Slot 1.
  EXPECT_EQ(r.SightedTree[1], 1);
  EXPECT_EQ(r.SightedSpecies[1], 11);
  EXPECT_EQ(r.Sighted[1].X, 100);
  EXPECT_EQ(r.Sighted[1].Y, 200);
  EXPECT_EQ(r.Sighted[1].Z, 1);
  EXPECT_EQ(r.Distance[1], 5.5);
  EXPECT_EQ(r.Azimuth[1], 45);
  EXPECT_EQ(r.HasDistance[1], kTrue);
  EXPECT_EQ(r.HasAzimuth[1], kTrue);
  // Slot 2: not found; its observations are stored but flagged false.
  EXPECT_EQ(r.SightedTree[2], 9);
  EXPECT_EQ(r.SightedSpecies[2], 0);
  EXPECT_EQ(r.Sighted[2].X, 0);
  EXPECT_EQ(r.Sighted[2].Y, 0);
  EXPECT_EQ(r.Distance[2], 6);
  EXPECT_EQ(r.Azimuth[2], 90);
  EXPECT_EQ(r.HasDistance[2], kFalse);
  EXPECT_EQ(r.HasAzimuth[2], kFalse);
  // Slot 3: the last of the two map records, counted once.
  EXPECT_EQ(r.SightedSpecies[3], 23);
  EXPECT_EQ(r.Sighted[3].X, 121);
  EXPECT_EQ(r.Sighted[3].Y, 221);
  EXPECT_EQ(r.Sighted[3].Z, 4);
  EXPECT_EQ(r.HasDistance[3], kTrue);
  EXPECT_EQ(r.HasAzimuth[3], kTrue);
  // Slots 4 and 5: one quantity each.
  EXPECT_EQ(r.HasDistance[4], kFalse);
  EXPECT_EQ(r.HasAzimuth[4], kTrue);
  EXPECT_EQ(r.Sighted[4].X, 110);
  EXPECT_EQ(r.HasDistance[5], kTrue);
  EXPECT_EQ(r.HasAzimuth[5], kFalse);
  EXPECT_EQ(r.Sighted[5].Y, 230);
  // Counts equal the flags set: slots 1, 3, 5 and slots 1, 3, 4.
  EXPECT_EQ(r.DistanceCount, 3);
  EXPECT_EQ(r.AzimuthCount, 3);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"1 observed trees to be positioned "});
}

TEST_F(SightingFixture, OnlyDistanceOrOnlyAzimuthInOneSlot) {
  ASSERT_TRUE(Read(SightingRecord(1, 1, 1, 1, {{2, "-1", "0"}})));
  const TargetTree& r = t.TargetTrees[1];
  EXPECT_EQ(r.HasAzimuth[1], kTrue);
  EXPECT_EQ(r.HasDistance[1], kFalse);
  EXPECT_EQ(r.AzimuthCount, 1);
  EXPECT_EQ(r.DistanceCount, 0);
}

TEST_F(SightingFixture, MinusOneOrLessMeansNotObserved) {
  ASSERT_TRUE(Read(SightingRecord(1, 1, 1, 4,
                                  {{1, "-1", "-1"}, {2, "-0.5", "-0.999"}, {3, "-1.5", "-7"},
                                   {4, "-1.0", "-1e0"}})));
  const TargetTree& r = t.TargetTrees[1];
  EXPECT_EQ(r.HasDistance[1], kFalse);
  EXPECT_EQ(r.HasAzimuth[1], kFalse);
  EXPECT_EQ(r.HasDistance[2], kTrue);
  EXPECT_EQ(r.HasAzimuth[2], kTrue);
  EXPECT_EQ(r.HasDistance[3], kFalse);
  EXPECT_EQ(r.HasAzimuth[3], kFalse);
  EXPECT_EQ(r.HasDistance[4], kFalse);
  EXPECT_EQ(r.HasAzimuth[4], kFalse);
  EXPECT_EQ(r.DistanceCount, 1);
  EXPECT_EQ(r.AzimuthCount, 1);
  // Found, so the coordinates are attached even with nothing observed.
  EXPECT_EQ(r.Sighted[1].X, 100);
}

TEST_F(SightingFixture, NpaOfThreeLeavesSlotsFourAndFiveUnlookedUp) {
  ASSERT_TRUE(Read(SightingRecord(1, 5, 1, 3,
                                  {{1, "1", "1"}, {2, "2", "2"}, {3, "3", "3"}, {4, "4", "4"},
                                   {1, "5", "5"}})));
  const TargetTree& r = t.TargetTrees[1];
  EXPECT_EQ(r.DistanceCount, 3);
  EXPECT_EQ(r.AzimuthCount, 3);
  for (int k = 4; k <= 5; ++k) {
    EXPECT_EQ(r.SightedTree[k], k == 4 ? 4 : 1) << k;
    EXPECT_EQ(r.Distance[k], k) << k;
    EXPECT_EQ(r.Azimuth[k], k) << k;
    EXPECT_EQ(r.HasDistance[k], kFalse) << k;
    EXPECT_EQ(r.HasAzimuth[k], kFalse) << k;
    EXPECT_EQ(r.Sighted[k].X, 0) << k;
    EXPECT_EQ(r.SightedSpecies[k], 0) << k;
  }
}

TEST_F(SightingFixture, NpaAboveFiveFillsOnlyTheFileSlots) {
  ASSERT_TRUE(Read(SightingRecord(1, 5, 1, 7,
                                  {{1, "1", "1"}, {2, "2", "2"}, {3, "3", "3"}, {4, "4", "4"},
                                   {1, "5", "5"}})));
  const TargetTree& r = t.TargetTrees[1];
  EXPECT_EQ(r.NPA, 7);
  EXPECT_EQ(r.DistanceCount, 5);
  EXPECT_EQ(r.AzimuthCount, 5);
  EXPECT_EQ(r.HasDistance[5], kTrue);
  EXPECT_EQ(r.Sighted[5].X, 100);
  for (int k = 6; k <= kSlotCount; ++k) {
    EXPECT_EQ(r.SightedTree[k], 0) << k;
    EXPECT_EQ(r.HasDistance[k], kFalse) << k;
    EXPECT_EQ(r.HasAzimuth[k], kFalse) << k;
  }
}

TEST_F(SightingFixture, NpaOutsideOneToTwentyIsStoredAsItStands) {
  ASSERT_TRUE(Read(SightingRecord(1, 1, 1, 0, {{1, "1", "1"}}) +
                   SightingRecord(1, 2, 1, -2, {{1, "1", "1"}}) +
                   SightingRecord(1, 3, 1, 25, {{1, "1", "1"}})));
  ASSERT_EQ(t.TargetTreeCount, 3);
  EXPECT_EQ(t.TargetTrees[1].NPA, 0);
  EXPECT_EQ(t.TargetTrees[2].NPA, -2);
  EXPECT_EQ(t.TargetTrees[3].NPA, 25);
  EXPECT_EQ(t.TargetTrees[1].DistanceCount, 0);
  EXPECT_EQ(t.TargetTrees[1].HasDistance[1], kFalse);
  EXPECT_EQ(t.TargetTrees[2].AzimuthCount, 0);
  EXPECT_EQ(t.TargetTrees[3].DistanceCount, 1);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"3 observed trees to be positioned "});
}

TEST_F(SightingFixture, LineEndsAndRecordsOverSeveralLines) {
  // No line end after the last record; a record spread over two lines; LF
  // and lone CR line ends.
  const std::string r1 = SightingRecord(1, 1, 1, 1, {{1, "1", "1"}});
  ASSERT_TRUE(Read(r1 + "1,2,1,1\n2,2,2,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r" +
                   "1,3,1,1,3,3,3,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1"));
  ASSERT_EQ(t.TargetTreeCount, 3);
  EXPECT_EQ(t.TargetTrees[2].Sighted[1].X, 110);
  EXPECT_EQ(t.TargetTrees[3].Sighted[1].Y, 221);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"3 observed trees to be positioned "});
}

TEST_F(SightingFixture, EmptyFileGivesNoCases) {
  ASSERT_TRUE(Read(SightingRecord(1, 1, 1, 1, {{1, "1", "1"}})));
  ui.messages.clear();
  ASSERT_TRUE(Read(""));
  EXPECT_EQ(t.TargetTreeCount, 0);
  EXPECT_EQ(t.TargetTrees[1].Tree, 0);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"0 observed trees to be positioned "});
}

TEST_F(SightingFixture, BlankLinesAfterTheLastRecordFail) {
  const std::string two =
      SightingRecord(1, 1, 1, 1, {{1, "1", "1"}}) + SightingRecord(1, 2, 1, 1, {{2, "2", "2"}});
  for (const std::string& tail : {std::string("\r\n"), std::string("\n\n"), std::string(" ")}) {
    ui.messages.clear();
    EXPECT_FALSE(Read(two + tail));
    ASSERT_GE(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0],
              "An error in reading observations, only seprator \",\"  decimal \".\" space \" \" "
              "and numbers 0...9 allowed");
    EXPECT_EQ(t.TargetTreeCount, 2);
    for (const std::string& m : ui.messages) EXPECT_FALSE(Contains(m, "observed trees to be"));
  }
}

TEST_F(SightingFixture, BadFieldKeepsTheRecordsBeforeIt) {
  const std::string r1 = SightingRecord(1, 1, 1, 2, {{1, "1", "10"}, {2, "2", "20"}});
  for (const std::string& bad :
       {std::string("1,2,1,1,2,2,2x,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\n"),
        std::string("1,2,1,1,2,inf,2,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\n"),
        std::string("1,2,1,1.5,2,2,2,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\n"),
        std::string("1,2,1,1,2,2,2,0,-1,-1,0,-1,-1\n")}) {
    SCOPED_TRACE(bad);
    Tables fresh;
    fresh.PhotoTrees = t.PhotoTrees;
    fresh.MapRead = true;
    HeadlessUi ui2;
    // A record cut short is the last one; after the others a good record
    // follows, which must not be read.
    const std::string after = Contains(bad, "0,-1,-1,0,-1,-1,0,-1,-1,0") ? r1 : "";
    EXPECT_FALSE(ReadSightingFile(fresh, ui2, dir.Write("s.txt", r1 + bad + after)));
    ASSERT_GE(ui2.messages.size(), 1u);
    EXPECT_EQ(ui2.messages[0], kSightingErrorMessage);
    EXPECT_EQ(fresh.TargetTreeCount, 1);
    EXPECT_EQ(fresh.TargetTrees[1].Azimuth[2], 20);
    EXPECT_EQ(fresh.TargetTrees[1].DistanceCount, 2);
  }
}

TEST_F(SightingFixture, TableHoldsTwoThousandRecords) {
  std::string content;
  for (int i = 1; i <= kMaxTargetTrees; ++i) content += SightingRecord(1, i, 1, 1, {{1, "1", "1"}});
  ASSERT_TRUE(Read(content));
  EXPECT_EQ(t.TargetTreeCount, 2000);
  EXPECT_EQ(t.TargetTrees[2000].Tree, 2000);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"2000 observed trees to be positioned "});

  ui.messages.clear();
  EXPECT_FALSE(Read(content + SightingRecord(1, 2001, 1, 1, {{1, "1", "1"}})));
  ASSERT_GE(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kSightingErrorMessage);
  EXPECT_EQ(t.TargetTreeCount, 2000);
  EXPECT_EQ(t.TargetTrees.Size(), 2000);
}

TEST(SightingReader, NegativeAndLargeNumbersAreLookedUpLikeAnyOther) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("m.txt", MapRecord(-3, -7, 1, "1", "2") +
                                                          MapRecord(-3, 2147483647, 2, "3", "4") +
                                                          MapRecord(3, -7, 3, "5", "6"))));
  ASSERT_TRUE(ReadSightingFile(
      t, ui,
      dir.Write("s.txt", SightingRecord(-3, 1, 1, 3,
                                        {{-7, "1", "1"}, {2147483647, "1", "1"}, {7, "1", "1"}}))));
  const TargetTree& r = t.TargetTrees[1];
  EXPECT_EQ(r.Sighted[1].X, 1);
  EXPECT_EQ(r.Sighted[2].X, 3);
  EXPECT_EQ(r.HasDistance[3], kFalse);
  EXPECT_EQ(r.DistanceCount, 2);
}

TEST(SightingReader, SightedTreesNeedAMapReadSinceStartUp) {
  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  // No sighted trees: no map needed.
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("a.txt", SightingRecord(1, 1, 1, 0, {}))));
  EXPECT_EQ(t.TargetTreeCount, 1);
  ui.messages.clear();
  EXPECT_FALSE(ReadSightingFile(
      t, ui,
      dir.Write("b.txt", SightingRecord(1, 1, 1, 0, {}) + SightingRecord(1, 2, 1, 1, {{1, "1", "1"}}))));
  ASSERT_GE(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kSightingErrorMessage);
  EXPECT_EQ(t.TargetTreeCount, 1);
  // An empty map read counts as a map: the tree is then just not found.
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("m.txt", "")));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/b.txt"));
  EXPECT_EQ(t.TargetTreeCount, 2);
  EXPECT_EQ(t.TargetTrees[2].HasDistance[1], kFalse);
}

TEST_F(SightingFixture, UnreadableFileAndLaterMapLeaveTheRecordsAlone) {
  ASSERT_TRUE(Read(SightingRecord(1, 1, 1, 1, {{1, "1", "1"}})));
  TargetTree before = t.TargetTrees[1];
  ui.messages.clear();
  EXPECT_FALSE(ReadSightingFile(t, ui, dir.Path() + "/nothing.txt"));
  ASSERT_GE(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0], kSightingErrorMessage);
  EXPECT_EQ(t.TargetTreeCount, 1);
  ExpectSameTargetTree(t.TargetTrees[1], before, 1);
  // A new map does not change the coordinates already attached.
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map2.txt", MapRecord(1, 1, 5, "-1", "-2"))));
  ExpectSameTargetTree(t.TargetTrees[1], before, 1);
}

TEST_F(SightingFixture, MenuCommandUsesTheDialogAndACancelChangesNothing) {
  ui.QueueDialogAnswer(dir.Write("s.txt", SightingRecord(1, 1, 1, 1, {{1, "1", "1"}})));
  OPen_Field_observations(t, ui);
  ASSERT_EQ(ui.dialogs.size(), 1u);  // the fixture read its map without the dialog
  EXPECT_EQ(ui.dialogs[0].filter, "Sighting obs files (*.txt, *.csv)|*.*");
  EXPECT_EQ(ui.dialogs[0].title, "File which has azimuth-distance data!");
  EXPECT_EQ(ui.messages, std::vector<std::string>{"1 observed trees to be positioned "});

  dir.Write("s.txt", "broken");
  ui.QueueDialogAnswer(std::nullopt);
  OPen_Field_observations(t, ui);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(t.TargetTreeCount, 1);
  EXPECT_EQ(t.TargetTrees[1].HasAzimuth[1], kTrue);
}

TEST_F(SightingFixture, AReadAfterAFailureGivesWhatAFreshReadGives) {
  const std::string good = SightingRecord(1, 1, 1, 2, {{1, "1", "1"}, {3, "2", "-1"}}) +
                           SightingRecord(1, 2, 2, 1, {{4, "-1", "3"}});
  Tables fresh;
  fresh.PhotoTrees = t.PhotoTrees;
  fresh.MapRead = true;
  HeadlessUi other;
  ASSERT_TRUE(ReadSightingFile(fresh, other, dir.Write("good.txt", good)));

  // A failure after more records than the good file has, and one at the
  // table's end.
  std::string many;
  for (int i = 1; i <= 5; ++i) many += SightingRecord(1, 50 + i, 3, 5, {{1, "1", "1"}, {2, "2", "2"}});
  EXPECT_FALSE(Read(many + "1,x\n"));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Path() + "/good.txt"));
  ASSERT_EQ(t.TargetTreeCount, fresh.TargetTreeCount);
  for (int i = 1; i <= kMaxTargetTrees; ++i) ExpectSameTargetTree(t.TargetTrees[i], fresh.TargetTrees[i], i);
}

}  // namespace
}  // namespace treetri
