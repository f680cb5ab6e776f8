// Bad input files, one table per input file: what is wrong, the file text,
// and the message fragment that must name the file, record, field and text.
// After each, the tables hold what the message says was kept, and a good
// run gives what a good run on a fresh start gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "data/readers.h"
#include "display/plot_viewer.h"
#include "output/results_writer.h"
#include "platform/headless_ui.h"
#include "positioning/case_steps.h"
#include "core/run.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

using namespace testing;

// Six map trees of plot 1 around the origin, and three field trees: polar,
// azimuths only, and a mixture.
std::string GoodMap() {
  std::string s;
  int tree = 0;
  for (const char* xy : {"1.20,0.40", "-1.50,2.10", "-2.00,-1.80", "2.50,-2.20", "0.30,3.00", "-3.10,0.20"})
    s += "1," + std::to_string(++tree) + ",1," + xy + ",0,12.5,3.1,25,0,0,0,0,AER,0,\"pine, 12.5 m\",0\r\n";
  return s;
}
std::string GoodSightings() {
  return "1,101,1,4,1,1.253,61.39,2,2.802,325.176,3,2.64,232.696,4,3.124,129.806,0,-1,-1\r\n"
         "1,102,2,3,1,-1,125.538,2,-1,300.964,3,-1,222.797,0,-1,-1,0,-1,-1\r\n"
         "1,103,1,5,2,1.97,336.038,5,2.879,-1,6,-1,267.614,3,2.47,211.759,4,-1,127.999\r\n";
}
// The parameter file: two block rows of item 14.
ParameterFileTexts ParameterTexts(const std::string& results) {
  ParameterFileTexts f = DefaultParameterTexts();
  f.Item(2) = results;
  f.Item(12) = "2";
  f.blockRows = {"0, 0", "100, 0"};
  return f;
}
// The parameter file with the text of `item` (both block rows for 14) replaced.
std::string Parameters(const std::string& results, int item = 0, const std::string& text = "") {
  ParameterFileTexts f = ParameterTexts(results);
  if (item == kBlockItem)
    f.blockRows.assign(2, text);
  else if (item > 0)
    f.Item(item) = text;
  return ParameterFileText(f);
}
std::string Utf16(const std::string& text, std::string s = "\xFF\xFE") {
  for (char c : text) s += std::string{c, '\0'};
  return s;
}
std::string Garbage(std::string s = std::string(512, ' ')) {
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 151 + 7) % 256);
  return s;
}

// kept: the records in the table afterwards; for the parameters, the block's
// row count (2 in the good file read before).
struct Row { std::string what, text; bool ok; int kept; std::string fragment; };

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override { t.WorkFolder = dir.WorkFolder(); }
  std::string Results() const { return dir.Path() + "/results.txt"; }
  // The messages from the `from`th on, each followed by " | ".
  std::string MessagesFrom(size_t from) const {
    std::string m;
    for (size_t i = from; i < ui.messages.size(); ++i) m += ui.messages[i] + " | ";
    return m;
  }

  // Reads the good files, then each row's text as the file `name`; a failed
  // read's first message is `header` where there is one.
  void Check(const std::string& name, const std::string& header, const std::vector<Row>& rows) {
    const bool map = name == "map.txt", sightings = name == "sightings.txt";
    for (const Row& r : rows) {
      SCOPED_TRACE(name + ": " + r.what);
      ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", GoodMap())));
      ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("sightings.txt", GoodSightings())));
      dir.Write(kParameterFileName, Parameters(Results()));
      ASSERT_TRUE(ReadRunParameters(t, ui));
      const std::string path = r.what == "missing" ? dir.Path() + "/none.txt" : dir.Write(name, r.text);
      const size_t from = ui.messages.size();
      EXPECT_EQ(map ? ReadPhotoMapFile(t, ui, path) : sightings ? ReadSightingFile(t, ui, path) : ReadRunParameters(t, ui), r.ok);
      const std::string m = MessagesFrom(from);
      EXPECT_NE(m.find(r.fragment), std::string::npos) << m;
      EXPECT_TRUE(r.ok || header.empty() || ui.messages.at(from) == header) << m;
      // Control bytes of the text found are shown escaped.
      EXPECT_TRUE(std::none_of(m.begin(), m.end(), [](char c) { return c >= 0 && c < 0x20; })) << m;
      EXPECT_EQ(r.kept, map ? t.PhotoTrees.Size() : sightings ? t.TargetTreeCount : t.Parameters.BlockRows);
      ExpectGoodRunAsOnAFreshStart();
    }
  }

  // A run on the good files compared with the same run on a fresh start in
  // a folder of its own, with the same generator state.
  void ExpectGoodRunAsOnAFreshStart() {
    TempFolder freshDir;
    Tables fresh;
    HeadlessUi freshUi;
    fresh.WorkFolder = freshDir.WorkFolder();
    fresh.RandomState = t.RandomState;
    for (auto [d, tables, u] : {std::tuple{&dir, &t, &ui}, std::tuple{&freshDir, &fresh, &freshUi}}) {
      ASSERT_TRUE(ReadPhotoMapFile(*tables, *u, d->Write("map.txt", GoodMap())));
      ASSERT_TRUE(ReadSightingFile(*tables, *u, d->Write("sightings.txt", GoodSightings())));
      d->Write(kParameterFileName, Parameters(d->Path() + "/results.txt"));
      const RunOutcome o = Simulate(*tables, *u);
      ASSERT_TRUE(o.completed && o.failedCases == 0) << u->messages.back();
    }
    EXPECT_EQ(dir.Read("results.txt"), freshDir.Read("results.txt"));
    EXPECT_EQ(ui.list, freshUi.list);
    // mapdata.txt is only ever appended to: compare the run's own lines.
    const auto ours = SplitLines(dir.Read(kMapDataFileName)), theirs = SplitLines(freshDir.Read(kMapDataFileName));
    ASSERT_GE(ours.size(), theirs.size());
    EXPECT_TRUE(std::equal(theirs.begin(), theirs.end(), ours.end() - static_cast<long>(theirs.size())));
  }

  TempFolder dir;
  Tables t;
  HeadlessUi ui;
};

TEST_F(BadInput, MapFile) {
  std::string many;
  for (int i = 1; i <= 6000; ++i) many += MapRecordText(1, i, 1, std::to_string(i % 100) + ".5", std::to_string(i / 100));
  const std::string at = "map.txt\", record ";
  Check("map.txt", "",
        {{"missing", "", false, 6, "none.txt\" cannot be opened"},
         {"empty", "", true, 0, "0 trees / fixed points read"},
         {"binary garbage", Garbage(), false, 0, at + "1, field "},
         {"UTF-16", Utf16(GoodMap()), false, 0, at + "1, field 1 (line 1): \"\xFF\xFE" "1\\x00\" is not a whole"},
         {"record cut short", GoodMap() + "1,7,1,0.5,0.5,0,0,0", false, 6,
          at + "7, field 9 (line 7): the file ends inside the record. 6 complete records were read"},
         {"text for a number", GoodMap() + MapRecordText(1, 7, 1, "0", "12 m"), false, 6, at + "7, field 5 (line 7): \"12 m\" is not a number"},
         {"6000 records", many, true, 6000, "6000 trees / fixed points read"}});
  // The last of more than 5700 map trees is found by the sighting reader.
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", many)));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("sightings.txt", SightingRecordText(1, 9, 1, 1, {"6000,1,1"}))));
  EXPECT_EQ(t.TargetTrees[1].Sighted[1].Y, 60);
}

TEST_F(BadInput, SightingFile) {
  std::string full;
  for (int i = 1; i <= 2001; ++i) full += SightingRecordText(1, 9, 1, 0, {"0,-1,-1"});
  const std::string at = "sightings.txt\": record ";
  Check("sightings.txt", kSightingErrorMessage,
        {{"missing", "", false, 3, "none.txt\" cannot be opened"},
         {"empty", "", true, 0, "0 observed trees to be positioned"},
         {"binary garbage", Garbage(), false, 0, at + "1, field "},
         {"record cut short", GoodSightings() + "1,104,1,2,1,1.9,", false, 3,
          at + "4, field 7 (line 4): the file ends inside the record. 3 complete records were read"},
         {"text for a number", GoodSightings() + SightingRecordText(1, 9, 1, 1, {"1,two,3"}), false, 3, at + "4, field 6 (line 4): \"two\" is not"},
         {"2001 records", full, false, 2000, at + "2001 (line 2001) does not fit: the table holds 2000 field trees. 2000 complete"}});
}

TEST_F(BadInput, ParameterFile) {
  const std::string at = "The parameter file \"" + t.WorkFolder + kParameterFileName + "\": item ";
  auto with = [&](int item, const char* text) { return Parameters(Results(), item, text); };
  Check(kParameterFileName, kParameterErrorMessage,
        {{"binary garbage", Garbage(), false, 2, at},
         {"text for a number", with(4, "one"), false, 2,
          at + "4, field 4 (line 4): \"one\" is not a whole number"},
         {"control bytes", with(30, "0.05\x01\x7F"), false, 2,
          at + "30, field 35 (line 31): \"0.05\\x01\\x7F\" is not a number"},
         {"r of 5", with(12, "5"), false, 2,
          at + "12 (line 12) gives 5 rows for the block, which holds 0 to 4"},
         {"r of -1", with(12, "-1"), false, 2, at + "12 (line 12) gives -1 rows for the block"}});
}

TEST_F(BadInput, EveryParameterItemMissingInTurnIsNamed) {
  // The file cut before each line in turn (before line 1: an empty file).
  const std::vector<std::string> all = SplitLines(ParameterFileText(ParameterTexts(Results())));
  std::string head;
  for (size_t cut = 0, field = 1; cut < all.size(); field += 1 + std::count(all[cut].begin(), all[cut].end(), ','),
                                                 head += all[cut++] + "\r\n") {
    dir.Write(kParameterFileName, head);
    ui.messages.clear();
    EXPECT_FALSE(ReadRunParameters(t, ui));
    EXPECT_EQ(ui.messages.at(1),
              "The parameter file \"" + t.WorkFolder + kParameterFileName + "\": item " +
                  std::to_string(cut < 13   ? cut + 1
                                 : cut < 15 ? 14
                                            : cut) +
                  ", field " + std::to_string(field) + " (line " + std::to_string(cut + 1) +
                  "): the file ends before this item.");
  }
  ExpectGoodRunAsOnAFreshStart();
}

// Standard errors of 0 or less and an empty results file name: the run
// stops before it touches the results file or the list.
TEST_F(BadInput, UnusableParametersStopTheRunBeforeItWritesAnything) {
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", GoodMap())));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("sightings.txt", GoodSightings())));
  const std::string stop = "; standard errors must be greater than 0. The run is stopped.";
  for (const auto& [item, text, said] : std::vector<std::tuple<int, std::string, std::string>>{
           {10, "0, 0.3", "the standard error SigmaMapX (item 10) is 0" + stop},
           {10, "0.3, -0.3", "the standard error SigmaMapY (item 10) is -0.3" + stop},
           {30, "-0", "the standard error SigmaDistance (item 30) is -0" + stop},
           {34, "-1e-300", "the standard error SigmaAzimuth (item 34) is -1e-300" + stop},
           {2, "\"\"", "The results file \"\" cannot be created. The run is stopped."}}) {
    SCOPED_TRACE(text);
    dir.Write(kParameterFileName, Parameters(Results(), item, text));
    dir.Write("results.txt", "an earlier run's results\r\n");
    ui.list = {"an earlier line"};
    const size_t from = ui.messages.size();
    EXPECT_FALSE(Simulate(t, ui).completed);
    const std::string m = MessagesFrom(from);
    EXPECT_NE(m.find(said), std::string::npos) << m;
    EXPECT_EQ(dir.Read("results.txt"), "an earlier run's results\r\n");
    EXPECT_EQ(ui.list, std::vector<std::string>{"an earlier line"});
  }
  ExpectGoodRunAsOnAFreshStart();
}

// Cases that cannot be adjusted fail alone, in order, with their reason in
// the list and the field count their NPA gives; the cases after them are
// adjusted as usual. (The golden runs hold NPA 0 and 21, a coincident point
// and a case without redundancy.)
TEST_F(BadInput, CasesThatCannotBeAdjustedFailAlone) {
  // Trees 11 to 13 on one line, 21 and 22 at one point, 8 near the largest double.
  const std::string map = GoodMap() + MapRecordText(1, 11, 1, "1", "0") + MapRecordText(1, 12, 1, "2", "0") +
                          MapRecordText(1, 13, 1, "3", "0") + MapRecordText(1, 21, 1, "2", "2") +
                          MapRecordText(1, 22, 1, "2", "2") + MapRecordText(1, 8, 1, "1.7976931348623157e308", "-1.7e308");
  const std::string none = ",0,-1,-1";
  struct Case { std::string record, status; int slots; };
  const std::vector<Case> cases = {
      {"1,301,1,0,1,1.25,61.39" + none + none + none + none, "FAILED: NPA", 0},
      {GoodSightings().substr(0, GoodSightings().find('\r')), " OK ", 4},
      {"1,303,1,-3,1,1.25,61.39" + none + none + none + none, "FAILED: NPA", 0},
      // Parallel rays: no start position and nothing to fix the position
      // along the line; the adjustment wanders off and the case is flagged.
      {"1,501,1,3,11,-1,90,12,-1,90,13,-1,90" + none + none, "???? Point 11 erroneous?", 3},
      // Two rays from one point.
      {"1,601,1,2,21,-1,45,22,-1,45" + none + none + none, "FAILED: singular", 2},
      {"1,201,1,3,8,1e300,45,1,1.25,61.39,2,2.8,325.2" + none + none, "FAILED: not finite", 3},
      // With distances the same line is no problem.
      {"1,502,1,3,11,1,90,12,2,90,13,3,90" + none + none, " OK ", 3}};

  std::string sightings;
  for (const Case& c : cases) sightings += c.record + "\r\n";
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", map)));
  ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("sightings.txt", sightings))) << ui.messages.back();
  dir.Write(kParameterFileName, Parameters(Results()));
  const size_t from = ui.messages.size();
  ASSERT_TRUE(Simulate(t, ui).completed);
  const std::string m = MessagesFrom(from);
  EXPECT_NE(m.find(kInitialApproximationFailedMessage), std::string::npos) << m;

  const std::vector<std::string> lines = SplitLines(dir.Read("results.txt"));
  ASSERT_EQ(lines.size(), cases.size() + 1);
  for (size_t k = 1; k <= cases.size(); ++k) {
    const Case& c = cases[k - 1];
    SCOPED_TRACE(c.record);
    const std::vector<std::string> f = SplitFields(lines[k]);
    EXPECT_EQ(f.size(), static_cast<size_t>(ResultsFieldCount(c.slots)));
    const std::string& list = ui.list.at(k);
    EXPECT_EQ(list.substr(list.size() - std::min(list.size(), c.status.size())), c.status) << list;
  }
  EXPECT_EQ(SplitLines(dir.Read(kMapDataFileName)).size(), cases.size());
  ExpectGoodRunAsOnAFreshStart();
}

}  // namespace
}  // namespace treetri
