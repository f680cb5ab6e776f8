// Bad input of every kind, grouped by what is wrong with it: a missing or
// empty file, bytes that are no text of ours, records cut short, text where
// a number belongs, numbers out of range, too many records, parameter items
// missing or unusable, and degenerate geometry. For each: the message names
// the file and the place, the tables stay usable, and a good run afterwards
// gives what a good run on a fresh start gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "data/readers.h"
#include "data/tables.h"
#include "display/plot_viewer.h"
#include "output/results_writer.h"
#include "platform/headless_ui.h"
#include "positioning/case_steps.h"
#include "positioning/run.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::SplitFields;
using testing::SplitLines;
using testing::TempFolder;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ------------------------------------------------------------ good inputs

// Six map trees of plot 1 around the origin.
std::string GoodMap() {
  return "1,1,1,1.20,0.40,0,12.5,3.1,25,0,0,0,0,AER,0,\"pine, 12.5 m\",0\r\n"
         "1,2,2,-1.50,2.10,0,14.0,3.5,28,0,0,0,0,AER,0,spruce,1\r\n"
         "1,3,1,-2.00,-1.80,0,9.5,2.2,18,0,0,0,0,AER,0,pine,0\r\n"
         "1,4,1,2.50,-2.20,0,11.0,2.9,22,0,0,0,0,AER,0,pine,0\r\n"
         "1,5,3,0.30,3.00,0,16.5,4.0,31,0,0,0,0,AER,0,birch,2\r\n"
         "1,6,2,-3.10,0.20,0,13.0,3.3,26,0,0,0,0,AER,0,spruce,0\r\n";
}

// Field trees at (0.1, -0.2), (0.5, 0.9) and (-0.7, 0.3): polar, azimuths
// only, and a mixture.
std::string GoodSightings() {
  return "1,101,1,4,1,1.253,61.39,2,2.802,325.176,3,2.64,232.696,4,3.124,129.806,0,-1,-1\r\n"
         "1,102,2,3,1,-1,125.538,2,-1,300.964,3,-1,222.797,0,-1,-1,0,-1,-1\r\n"
         "1,103,1,5,2,1.97,336.038,5,2.879,-1,6,-1,267.614,3,2.47,211.759,4,-1,127.999\r\n";
}

// The parameter file as (item number, line) pairs in the usual layout:
// labels on their own lines, the two reals of items 8 and 10 on one line.
struct ParameterLine {
  int item;
  std::string text;
};

std::vector<ParameterLine> ParameterLines(const std::string& results, int rows = 2,
                                          const std::string& sigmaMap = "0.3, 0.3",
                                          const std::string& sigmaDistance = "0.05",
                                          const std::string& sigmaAzimuth = "0.0175") {
  std::vector<ParameterLine> p = {
      {1, "Results file name"}, {2, results},
      {3, "Number of plots"}, {4, "1"},
      {5, "Azimuth correction in degrees"}, {6, "0"},
      {7, "Origin X Y"}, {8, "0, 0"},
      {9, "Standard errors of the map coordinates"}, {10, sigmaMap},
      {11, "Number of rows below"}, {12, std::to_string(rows)},
      {13, "Plot centres"}};
  for (int r = 0; r < rows; ++r) p.push_back({14, std::to_string(100 * r) + ", 0"});
  const std::vector<ParameterLine> rest = {
      {15, "Made by"}, {16, "hand"},
      {17, "Plot radius"}, {18, "10"},
      {19, "Least number of map trees"}, {20, "6"},
      {21, "Largest number of map trees"}, {22, "6"},
      {23, "Map error"}, {24, "0.1"},
      {25, "Seed"}, {26, "1"},
      {27, "Share of missing observations"}, {28, "0"},
      {29, "Standard error of a distance"}, {30, sigmaDistance},
      {31, "Azimuth error in degrees"}, {32, "1"},
      {33, "Standard error of an azimuth in radians"}, {34, sigmaAzimuth},
      {35, "Gross errors"}, {36, "0"}};
  p.insert(p.end(), rest.begin(), rest.end());
  return p;
}

std::string Join(const std::vector<ParameterLine>& lines) {
  std::string s;
  for (const ParameterLine& l : lines) s += l.text + "\r\n";
  return s;
}

// A map record with the given fields 1 to 5 and fillers.
std::string MapLine(const std::string& plot, const std::string& tree, const std::string& x,
                    const std::string& y, const std::string& code = "0") {
  return plot + "," + tree + ",1," + x + "," + y + ",0,0,0,0,0,0,0,0,t,0,u," + code + "\r\n";
}

// A sighting record with the given plot, tree and NPA and the slot triples
// as text ("tree,distance,azimuth"); missing slots are 0,-1,-1.
std::string SightingLine(int plot, int tree, const std::string& npa,
                         std::vector<std::string> slots) {
  slots.resize(5, "0,-1,-1");
  std::string s = std::to_string(plot) + "," + std::to_string(tree) + ",1," + npa;
  for (const std::string& k : slots) s += "," + k;
  return s + "\r\n";
}

// ------------------------------------------------------------ the fixture

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override { t.WorkFolder = dir.WorkFolder(); }

  std::string ResultsPath() const { return dir.Path() + "/results.txt"; }
  void WriteParameters(const std::string& text) const { dir.Write(kParameterFileName, text); }
  void WriteGoodParameters() const { WriteParameters(Join(ParameterLines(ResultsPath()))); }

  bool ReadMap(const std::string& content) {
    return ReadPhotoMapFile(t, ui, dir.Write("map.txt", content));
  }
  bool ReadSightings(const std::string& content) {
    return ReadSightingFile(t, ui, dir.Write("sightings.txt", content));
  }
  // The messages shown since `from`, joined by " | ".
  std::string MessagesSince(size_t from) const {
    std::string s;
    for (size_t i = from; i < ui.messages.size(); ++i) s += (s.empty() ? "" : " | ") + ui.messages[i];
    return s;
  }
  std::string LastMessage() const { return ui.messages.empty() ? "" : ui.messages.back(); }

  // Runs on the good inputs and compares with the same run on a fresh
  // start in a folder of its own (with the same generator state, since every
  // run draws a number).
  void ExpectGoodRunAsOnAFreshStart() {
    ASSERT_TRUE(ReadMap(GoodMap())) << LastMessage();
    ASSERT_TRUE(ReadSightings(GoodSightings())) << LastMessage();
    WriteGoodParameters();
    const std::uint64_t state = t.RandomState;
    const RunOutcome outcome = Simulate(t, ui);
    ASSERT_TRUE(outcome.completed) << MessagesSince(0);
    ASSERT_EQ(outcome.failedCases, 0);

    TempFolder freshDir;
    Tables fresh;
    fresh.WorkFolder = freshDir.WorkFolder();
    fresh.RandomState = state;
    HeadlessUi freshUi;
    ASSERT_TRUE(ReadPhotoMapFile(fresh, freshUi, freshDir.Write("map.txt", GoodMap())));
    ASSERT_TRUE(ReadSightingFile(fresh, freshUi, freshDir.Write("sightings.txt", GoodSightings())));
    freshDir.Write(kParameterFileName, Join(ParameterLines(freshDir.Path() + "/results.txt")));
    ASSERT_TRUE(Simulate(fresh, freshUi).completed);

    EXPECT_EQ(dir.Read("results.txt"), freshDir.Read("results.txt"));
    EXPECT_EQ(ui.list, freshUi.list);
    // mapdata.txt is only ever appended to: compare the run's own lines.
    const std::vector<std::string> ours = SplitLines(dir.Read(kMapDataFileName));
    const std::vector<std::string> theirs = SplitLines(freshDir.Read(kMapDataFileName));
    ASSERT_GE(ours.size(), theirs.size());
    EXPECT_EQ(std::vector<std::string>(ours.end() - static_cast<long>(theirs.size()), ours.end()),
              theirs);
    EXPECT_EQ(dir.Read(kDumpAFileName), freshDir.Read(kDumpAFileName));
  }

  TempFolder dir;
  Tables t;
  HeadlessUi ui;
};

// ------------------------------------------------- missing and empty files

TEST_F(BadInput, MissingFilesAreNamedAndChangeNothing) {
  ASSERT_TRUE(ReadMap(GoodMap()));
  ASSERT_TRUE(ReadSightings(GoodSightings()));
  const std::string missing = dir.Path() + "/no-such-file.txt";

  size_t from = ui.messages.size();
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, missing));
  EXPECT_TRUE(Contains(MessagesSince(from), "\"" + missing + "\" cannot be opened")) << MessagesSince(from);
  EXPECT_EQ(t.PhotoTrees.Size(), 6);

  from = ui.messages.size();
  EXPECT_FALSE(ReadSightingFile(t, ui, missing));
  ASSERT_EQ(ui.messages.size(), from + 2);
  EXPECT_EQ(ui.messages[from], kSightingErrorMessage);
  EXPECT_TRUE(Contains(ui.messages[from + 1], "\"" + missing + "\" cannot be opened"));
  EXPECT_EQ(t.TargetTreeCount, 3);

  // A folder in place of a file.
  from = ui.messages.size();
  EXPECT_FALSE(ReadPhotoMapFile(t, ui, dir.Path()));
  EXPECT_TRUE(Contains(MessagesSince(from), "it is a folder")) << MessagesSince(from);
  EXPECT_EQ(t.PhotoTrees.Size(), 6);

  // No parameter file on a fresh start: there is no standard error to go
  // on with, so the run stops before touching the results file.
  from = ui.messages.size();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_FALSE(o.parametersRead);
  EXPECT_FALSE(o.completed);
  const std::string m = MessagesSince(from);
  EXPECT_EQ(ui.messages[from], kParameterErrorMessage);
  EXPECT_TRUE(Contains(m, "\"" + t.WorkFolder + kParameterFileName + "\": cannot be opened")) << m;
  EXPECT_TRUE(Contains(m, "The run is stopped")) << m;
  EXPECT_FALSE(dir.Exists("results.txt"));
  EXPECT_TRUE(ui.list.empty());

  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, ParameterFileGoneAfterAGoodRunKeepsTheLastParameters) {
  ASSERT_TRUE(ReadMap(GoodMap()));
  ASSERT_TRUE(ReadSightings(GoodSightings()));
  WriteGoodParameters();
  ASSERT_TRUE(Simulate(t, ui).completed);
  ASSERT_EQ(std::remove((t.WorkFolder + kParameterFileName).c_str()), 0);
  const size_t from = ui.messages.size();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_FALSE(o.parametersRead);
  EXPECT_TRUE(o.completed) << MessagesSince(from);
  EXPECT_EQ(ui.messages[from], kParameterErrorMessage);
  EXPECT_EQ(SplitLines(dir.Read("results.txt")).size(), 4u);
}

TEST_F(BadInput, EmptyFilesReadAsNoRecords) {
  ASSERT_TRUE(ReadMap(""));
  EXPECT_EQ(LastMessage(), "0 trees / fixed points read");
  EXPECT_EQ(t.PhotoTrees.Size(), 0);
  // Blank lines only are no record either.
  ASSERT_TRUE(ReadMap("\r\n  \r\n\t\n"));
  EXPECT_EQ(t.PhotoTrees.Size(), 0);

  ASSERT_TRUE(ReadSightings(""));
  EXPECT_EQ(LastMessage(), "0 observed trees to be positioned ");
  EXPECT_EQ(t.TargetTreeCount, 0);

  // A run without cases: an empty results file, the list header only.
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_TRUE(o.completed);
  EXPECT_EQ(o.cases, 0);
  EXPECT_TRUE(dir.Exists("results.txt"));
  EXPECT_EQ(dir.Read("results.txt"), "");
  EXPECT_EQ(ui.list, std::vector<std::string>{kListHeader});

  // An empty parameter file: item 1 is missing.
  WriteParameters("");
  const size_t from = ui.messages.size();
  EXPECT_FALSE(ReadRunParameters(t, ui));
  EXPECT_TRUE(Contains(MessagesSince(from), "item 1, field 1 (line 1): the file ends before this item"))
      << MessagesSince(from);

  ExpectGoodRunAsOnAFreshStart();
}

// ------------------------------------------------ bytes that are no text

TEST_F(BadInput, BinaryGarbageIsRefusedAtItsPlace) {
  std::string garbage;
  for (int i = 0; i < 512; ++i) garbage += static_cast<char>((i * 151 + 7) % 256);

  size_t from = ui.messages.size();
  EXPECT_FALSE(ReadMap(garbage));
  std::string m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "\"" + dir.Path() + "/map.txt\"")) << m;
  EXPECT_TRUE(Contains(m, "record 1, field ")) << m;
  EXPECT_TRUE(Contains(m, "(line ")) << m;
  EXPECT_EQ(t.PhotoTrees.Size(), 0);
  // Control bytes of the text found are shown escaped.
  for (char c : m) EXPECT_FALSE(c >= 0 && c < 0x20) << m;

  ASSERT_TRUE(ReadMap(GoodMap()));
  from = ui.messages.size();
  EXPECT_FALSE(ReadSightings(garbage));
  ASSERT_EQ(ui.messages.size(), from + 2);
  EXPECT_TRUE(Contains(ui.messages[from + 1], "\"" + dir.Path() + "/sightings.txt\": record 1, field"))
      << ui.messages[from + 1];
  EXPECT_EQ(t.TargetTreeCount, 0);

  WriteParameters(garbage);
  from = ui.messages.size();
  EXPECT_FALSE(ReadRunParameters(t, ui));
  m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "The parameter file \"" + t.WorkFolder + kParameterFileName + "\": item "))
      << m;

  ExpectGoodRunAsOnAFreshStart();
}

std::string Utf16Le(const std::string& text) {
  std::string s = "\xFF\xFE";
  for (char c : text) {
    s += c;
    s += '\0';
  }
  return s;
}

TEST_F(BadInput, Utf16IsRefusedAtTheFirstFieldAndAUtf8MarkIsSkipped) {
  size_t from = ui.messages.size();
  EXPECT_FALSE(ReadMap(Utf16Le(GoodMap())));
  std::string m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "map.txt\", record 1, field 1 (line 1)")) << m;
  EXPECT_TRUE(Contains(m, "\\x00")) << m;  // the NUL bytes show in the text found

  ASSERT_TRUE(ReadMap(GoodMap()));
  from = ui.messages.size();
  EXPECT_FALSE(ReadSightings(Utf16Le(GoodSightings())));
  m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "sightings.txt\": record 1, field 1 (line 1)")) << m;

  WriteParameters(Utf16Le(Join(ParameterLines(ResultsPath()))));
  from = ui.messages.size();
  EXPECT_FALSE(ReadRunParameters(t, ui));
  m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "\": item ")) << m;

  // The UTF-8 mark is skipped: the same tables as without it.
  Tables plain;
  HeadlessUi plainUi;
  ASSERT_TRUE(ReadPhotoMapFile(plain, plainUi, dir.Write("plain-map.txt", GoodMap())));
  ASSERT_TRUE(ReadMap("\xEF\xBB\xBF" + GoodMap()));
  ASSERT_EQ(t.PhotoTrees.Size(), plain.PhotoTrees.Size());
  EXPECT_EQ(t.PhotoTrees[1].Plot, 1);
  EXPECT_EQ(t.PhotoTrees[1].Text16, plain.PhotoTrees[1].Text16);
  ASSERT_TRUE(ReadSightings("\xEF\xBB\xBF" + GoodSightings()));
  EXPECT_EQ(t.TargetTreeCount, 3);
  EXPECT_EQ(t.TargetTrees[1].Plot, 1);
  WriteParameters("\xEF\xBB\xBF" + Join(ParameterLines(ResultsPath())));
  EXPECT_TRUE(ReadRunParameters(t, ui)) << LastMessage();
  EXPECT_EQ(t.Parameters.ResultsFileName, ResultsPath());

  ExpectGoodRunAsOnAFreshStart();
}

// ------------------------------------------------------ records cut short

TEST_F(BadInput, ARecordCutShortKeepsTheRecordsBeforeIt) {
  std::string map = GoodMap();
  map += "1,7,1,0.5,0.5,0,0,0";  // eight fields of seventeen, no line end
  size_t from = ui.messages.size();
  EXPECT_FALSE(ReadMap(map));
  std::string m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "map.txt\", record 7, field 9 (line 7): the file ends inside the record"))
      << m;
  EXPECT_TRUE(Contains(m, "6 complete records were read before it and kept")) << m;
  EXPECT_EQ(t.PhotoTrees.Size(), 6);

  // A record cut at a line end: the next line's fields fill it up, and the
  // reading fails where a text lands in a number field.
  from = ui.messages.size();
  EXPECT_FALSE(ReadMap("1,1,1,1.2,0.4,0,0\r\n" + GoodMap()));
  m = MessagesSince(from);
  EXPECT_TRUE(Contains(m, "map.txt\", record 2, field 4 (line 2): \"AER\" is not a number")) << m;
  EXPECT_TRUE(Contains(m, "1 complete record was read before it and kept")) << m;

  ASSERT_TRUE(ReadMap(GoodMap()));
  std::string sightings = GoodSightings() + "1,104,1,2,1,1.9,";
  from = ui.messages.size();
  EXPECT_FALSE(ReadSightings(sightings));
  ASSERT_EQ(ui.messages.size(), from + 2);
  EXPECT_TRUE(Contains(ui.messages[from + 1],
                       "sightings.txt\": record 4, field 7 (line 4): the file ends inside the record"))
      << ui.messages[from + 1];
  EXPECT_TRUE(Contains(ui.messages[from + 1], "3 complete records were read before it and kept"));
  EXPECT_EQ(t.TargetTreeCount, 3);

  // A blank line after the last record begins a record of its own.
  from = ui.messages.size();
  EXPECT_FALSE(ReadSightings(GoodSightings() + "\r\n"));
  EXPECT_TRUE(Contains(MessagesSince(from), "record 4, field ")) << MessagesSince(from);
  EXPECT_EQ(t.TargetTreeCount, 3);

  // The records read are usable: a run goes through them.
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_TRUE(o.completed);
  EXPECT_EQ(o.cases, 3);

  ExpectGoodRunAsOnAFreshStart();
}

// ------------------------------------------ text where a number belongs

TEST_F(BadInput, TextWhereANumberBelongsNamesRecordFieldAndLine) {
  struct Case {
    std::string map, where, what;
  };
  const std::vector<Case> maps = {
      {MapLine("x", "1", "0", "0"), "record 2, field 1 (line 2): \"x\"", "is not a whole number"},
      {MapLine("1", "2", "1,5", "0"), "record 2, field ", "is not"},
      {MapLine("1", "2", "0", "12 m"), "record 2, field 5 (line 2): \"12 m\"", "is not a number"},
      {MapLine("1", "2", "", "0"), "record 2, field 4 (line 2): \"\"", "is empty where a number belongs"},
      {MapLine("1", "2.5", "0", "0"), "record 2, field 2 (line 2): \"2.5\"", "is not a whole number"},
      {MapLine("1", "2", "0", "0", "T"), "record 2, field 17 (line 2): \"T\"", "is not a whole number"},
  };
  for (const Case& c : maps) {
    SCOPED_TRACE(c.map);
    const size_t from = ui.messages.size();
    EXPECT_FALSE(ReadMap(MapLine("1", "1", "0", "0") + c.map));
    const std::string m = MessagesSince(from);
    EXPECT_TRUE(Contains(m, "map.txt\", " + c.where)) << m;
    EXPECT_TRUE(Contains(m, c.what)) << m;
    EXPECT_EQ(t.PhotoTrees.Size(), 1);
  }

  ASSERT_TRUE(ReadMap(GoodMap()));
  const std::vector<Case> sightings = {
      {SightingLine(1, 9, "three", {}), "record 2, field 4 (line 2): \"three\"", "is not a whole number"},
      {SightingLine(1, 9, "1", {"1,two,3"}), "record 2, field 6 (line 2): \"two\"", "is not a number"},
      {SightingLine(1, 9, "1", {"1,2,3.5.1"}), "record 2, field 7 (line 2): \"3.5.1\"", "is not a number"},
  };
  for (const Case& c : sightings) {
    SCOPED_TRACE(c.map);
    const size_t from = ui.messages.size();
    EXPECT_FALSE(ReadSightings(SightingLine(1, 8, "1", {"1,1,1"}) + c.map));
    const std::string m = MessagesSince(from);
    EXPECT_TRUE(Contains(m, "sightings.txt\": " + c.where)) << m;
    EXPECT_TRUE(Contains(m, c.what)) << m;
    EXPECT_EQ(t.TargetTreeCount, 1);
  }

  ExpectGoodRunAsOnAFreshStart();
}

// ---------------------------------------------------- numbers out of range

TEST_F(BadInput, NumbersOutOfRangeAreRefusedOrReadAsTheirValue) {
  // 16-bit field 17 of the map.
  EXPECT_TRUE(ReadMap(MapLine("1", "1", "0", "0", "32767") + MapLine("1", "2", "0", "0", "-32768")));
  EXPECT_EQ(t.PhotoTrees[1].Code17, 32767);
  EXPECT_EQ(t.PhotoTrees[2].Code17, -32768);
  for (const char* code : {"32768", "-32769", "99999999999999999999"}) {
    const size_t from = ui.messages.size();
    EXPECT_FALSE(ReadMap(MapLine("1", "1", "0", "0", code)));
    EXPECT_TRUE(Contains(MessagesSince(from), "record 1, field 17 (line 1): \"" + std::string(code) +
                                                  "\" is out of the range of a 16-bit whole number"))
        << MessagesSince(from);
  }
  // 32-bit whole numbers.
  {
    const size_t from = ui.messages.size();
    EXPECT_FALSE(ReadMap(MapLine("2147483648", "1", "0", "0")));
    EXPECT_TRUE(Contains(MessagesSince(from), "field 1 (line 1): \"2147483648\" is out of the range"))
        << MessagesSince(from);
  }
  // Reals: beyond a double, nan and inf are no numbers; too small reads as
  // 0 and -0 as zero.
  for (const char* x : {"1e400", "-1e400", "nan", "NaN", "inf", "-inf", "Infinity"}) {
    const size_t from = ui.messages.size();
    EXPECT_FALSE(ReadMap(MapLine("1", "1", x, "0")));
    EXPECT_TRUE(Contains(MessagesSince(from), "record 1, field 4 (line 1): \"" + std::string(x) +
                                                  "\" is not a number"))
        << MessagesSince(from);
  }
  ASSERT_TRUE(ReadMap(MapLine("1", "1", "1e-400", "-0") + MapLine("1", "2", "-0.0", "1.7976931348623157e308")));
  EXPECT_EQ(t.PhotoTrees[1].X, 0.0);
  EXPECT_EQ(t.PhotoTrees[1].Y, 0.0);
  EXPECT_EQ(t.PhotoTrees[2].Y, 1.7976931348623157e308);

  // A sighted tree at the edge of the doubles: the case fails, no number
  // of it is written as "inf" or "nan".
  ASSERT_TRUE(ReadMap(GoodMap() + MapLine("1", "7", "1.7976931348623157e308", "-1.7e308")));
  ASSERT_TRUE(ReadSightings(SightingLine(1, 201, "3", {"7,1e300,45", "1,1.25,61.39", "2,2.8,325.2"}) +
                            SightingLine(1, 202, "2", {"1,-1,1e308", "2,-1,-1e308"})));
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  ASSERT_TRUE(o.completed) << MessagesSince(0);
  const std::string results = dir.Read("results.txt");
  for (const char* word : {"nan", "inf", "NaN", "Inf", "INF", "NAN"})
    EXPECT_FALSE(Contains(results, word)) << results;
  const std::vector<std::string> lines = SplitLines(results);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(SplitFields(lines[1]).size(), 15u + 14 * 3 + 1);
  EXPECT_EQ(SplitFields(lines[2]).size(), 15u + 14 * 2 + 1);
  for (const std::string& line : ui.list) EXPECT_FALSE(Contains(line, "nan") || Contains(line, "inf")) << line;

  ExpectGoodRunAsOnAFreshStart();
}

// ------------------------------------------------------- too many records

TEST_F(BadInput, MoreThan5700MapRecordsAreAllRead) {
  std::string map;
  for (int i = 1; i <= 6000; ++i)
    map += MapLine("1", std::to_string(i), std::to_string(i % 100) + ".5", std::to_string(i / 100));
  ASSERT_TRUE(ReadMap(map)) << LastMessage();
  EXPECT_EQ(LastMessage(), "6000 trees / fixed points read");
  EXPECT_EQ(t.PhotoTrees.Size(), 6000);
  // The last of them is found by the sighting reader.
  ASSERT_TRUE(ReadSightings(SightingLine(1, 9000, "1", {"6000,1,1"})));
  EXPECT_EQ(t.TargetTrees[1].Sighted[1].X, 0.5);
  EXPECT_EQ(t.TargetTrees[1].Sighted[1].Y, 60);

  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, The2001stSightingRecordDoesNotFit) {
  ASSERT_TRUE(ReadMap(GoodMap()));
  // The first record positions a tree; the others have no slots and fail
  // quickly in the run.
  std::string sightings = GoodSightings().substr(0, GoodSightings().find('\n') + 1);
  for (int i = 2; i <= 2000; ++i) sightings += SightingLine(1, 1000 + i, "0", {});
  ASSERT_TRUE(ReadSightings(sightings)) << LastMessage();
  EXPECT_EQ(t.TargetTreeCount, 2000);

  sightings += SightingLine(1, 9999, "0", {});
  const size_t from = ui.messages.size();
  EXPECT_FALSE(ReadSightings(sightings));
  ASSERT_EQ(ui.messages.size(), from + 2);
  EXPECT_EQ(ui.messages[from], kSightingErrorMessage);
  EXPECT_TRUE(Contains(ui.messages[from + 1],
                       "sightings.txt\": record 2001 (line 2001) does not fit: the table holds "
                       "2000 field trees"))
      << ui.messages[from + 1];
  EXPECT_TRUE(Contains(ui.messages[from + 1], "2000 complete records were read before it and kept"));
  EXPECT_EQ(t.TargetTreeCount, 2000);
  EXPECT_EQ(t.TargetTrees.Size(), 2000);

  // A run goes through the 2000 records and no further.
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_TRUE(o.completed);
  EXPECT_EQ(o.cases, 2000);
  const std::vector<std::string> lines = SplitLines(dir.Read("results.txt"));
  ASSERT_EQ(lines.size(), 2001u);
  EXPECT_EQ(SplitFields(lines[2000]).front(), "2000");
  EXPECT_EQ(ui.list.back().substr(ui.list.back().size() - 11), "FAILED: NPA");

  ExpectGoodRunAsOnAFreshStart();
}

// --------------------------------------------------------- parameter items

TEST_F(BadInput, EveryParameterItemMissingInTurnIsNamed) {
  const std::vector<ParameterLine> all = ParameterLines(ResultsPath());
  // Cut the file before each line in turn: the item of that line is missing,
  // and the message names it with its field and line.
  int field = 1;
  for (size_t cut = 0; cut < all.size(); ++cut) {
    const std::vector<ParameterLine> head(all.begin(), all.begin() + static_cast<long>(cut));
    WriteParameters(Join(head));
    Tables fresh;
    fresh.WorkFolder = t.WorkFolder;
    HeadlessUi freshUi;
    EXPECT_FALSE(ReadRunParameters(fresh, freshUi)) << "cut before line " << cut + 1;
    std::string m;
    for (const std::string& s : freshUi.messages) m += s + " | ";
    EXPECT_EQ(freshUi.messages.at(0), kParameterErrorMessage);
    EXPECT_TRUE(Contains(m, "\"" + t.WorkFolder + kParameterFileName + "\": item " +
                                std::to_string(all[cut].item) + ", field " + std::to_string(field) +
                                " (line " + std::to_string(cut + 1) +
                                "): the file ends before this item"))
        << "cut before line " << cut + 1 << ": " << m;
    // The fields of this line: one more per comma.
    field += 1 + static_cast<int>(std::count(all[cut].text.begin(), all[cut].text.end(), ','));
  }
  // Leave each line out in turn: the reading shifts by a line and fails at
  // some item, never with parameters that are taken as usable.
  for (size_t gone = 0; gone < all.size(); ++gone) {
    std::vector<ParameterLine> rest = all;
    rest.erase(rest.begin() + static_cast<long>(gone));
    WriteParameters(Join(rest));
    Tables fresh;
    fresh.WorkFolder = t.WorkFolder;
    HeadlessUi freshUi;
    EXPECT_FALSE(ReadRunParameters(fresh, freshUi)) << "without line " << gone + 1;
    std::string m;
    for (const std::string& s : freshUi.messages) m += s + " | ";
    EXPECT_TRUE(Contains(m, kParameterFileName + std::string("\": ")) &&
                (Contains(m, "item ") || Contains(m, "standard error")))
        << "without line " << gone + 1 << ": " << m;
  }
  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, BlockRowCountOutsideZeroToFour) {
  WriteParameters(Join(ParameterLines(ResultsPath(), 4)));
  ASSERT_TRUE(ReadRunParameters(t, ui)) << LastMessage();
  EXPECT_EQ(t.Parameters.BlockRows, 4);
  for (int rows : {5, -1, 1000}) {
    SCOPED_TRACE(rows);
    std::vector<ParameterLine> lines = ParameterLines(ResultsPath(), 0);
    for (ParameterLine& l : lines)
      if (l.item == 12) l.text = std::to_string(rows);
    WriteParameters(Join(lines));
    const size_t from = ui.messages.size();
    EXPECT_FALSE(ReadRunParameters(t, ui));
    const std::string m = MessagesSince(from);
    EXPECT_TRUE(Contains(m, "item 12 (line 12) gives " + std::to_string(rows) +
                                " rows for the block, which holds 0 to 4"))
        << m;
    // The count is not kept; the table keeps the last usable one.
    EXPECT_EQ(t.Parameters.BlockRows, 4);
  }
  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, StandardErrorsThatAreNotPositiveStopTheRun) {
  ASSERT_TRUE(ReadMap(GoodMap()));
  ASSERT_TRUE(ReadSightings(GoodSightings()));
  struct Case {
    std::string map, distance, azimuth, named;
  };
  const std::vector<Case> cases = {
      {"0, 0.3", "0.05", "0.0175", "SigmaMapX (item 10) is 0"},
      {"0.3, -0.3", "0.05", "0.0175", "SigmaMapY (item 10) is -0.3"},
      {"0.3, 0.3", "-0", "0.0175", "SigmaDistance (item 30) is -0"},
      {"0.3, 0.3", "0.05", "-1e-300", "SigmaAzimuth (item 34) is -1e-300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    WriteParameters(Join(ParameterLines(ResultsPath(), 0, c.map, c.distance, c.azimuth)));
    dir.Write("results.txt", "an earlier run's results\r\n");
    ui.list = {"an earlier line"};
    const size_t from = ui.messages.size();
    const RunOutcome o = Simulate(t, ui);
    EXPECT_FALSE(o.parametersRead);
    EXPECT_FALSE(o.completed);
    const std::string m = MessagesSince(from);
    EXPECT_EQ(ui.messages[from], kParameterErrorMessage);
    EXPECT_TRUE(Contains(m, "\"" + t.WorkFolder + kParameterFileName + "\": the standard error " +
                                c.named + "; standard errors must be greater than 0. The run is stopped."))
        << m;
    // Nothing of the earlier run was touched.
    EXPECT_EQ(dir.Read("results.txt"), "an earlier run's results\r\n");
    EXPECT_EQ(ui.list, std::vector<std::string>{"an earlier line"});
  }
  // "nan" is no number at all.
  WriteParameters(Join(ParameterLines(ResultsPath(), 0, "0.3, 0.3", "nan")));
  const size_t from = ui.messages.size();
  EXPECT_FALSE(ReadRunParameters(t, ui));
  EXPECT_TRUE(Contains(MessagesSince(from), "item 30, field 31 (line 29): \"nan\" is not a number"))
      << MessagesSince(from);

  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, AnEmptyResultsFileNameStopsTheRun) {
  ASSERT_TRUE(ReadMap(GoodMap()));
  ASSERT_TRUE(ReadSightings(GoodSightings()));
  WriteParameters(Join(ParameterLines("\"\"")));
  const size_t from = ui.messages.size();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_TRUE(o.parametersRead);
  EXPECT_FALSE(o.completed);
  EXPECT_TRUE(Contains(MessagesSince(from), "The results file \"\" cannot be created")) << MessagesSince(from);
  ExpectGoodRunAsOnAFreshStart();
}

// ------------------------------------------------------------------- NPA

TEST_F(BadInput, NpaOutsideOneToTwentyFailsItsCaseOnly) {
  ASSERT_TRUE(ReadMap(GoodMap()));
  ASSERT_TRUE(ReadSightings(SightingLine(1, 301, "0", {"1,1.25,61.39"}) + GoodSightings() +
                            SightingLine(1, 302, "25", {"1,1.25,61.39", "2,2.8,325.2", "3,2.64,232.7"}) +
                            SightingLine(1, 303, "-3", {"1,1.25,61.39"})));
  ASSERT_EQ(t.TargetTreeCount, 6);
  // Slots past 5 cannot come from the file; the reader fills slots 1 to 5.
  EXPECT_EQ(t.TargetTrees[5].AzimuthCount, 3);
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  ASSERT_TRUE(o.completed);
  EXPECT_EQ(o.failedCases, 3);
  const std::vector<std::string> lines = SplitLines(dir.Read("results.txt"));
  ASSERT_EQ(lines.size(), 7u);
  // The header takes case 1's slots: none.
  EXPECT_EQ(SplitFields(lines[0]).size(), 16u);
  for (int k : {1, 5, 6}) {
    const std::vector<std::string> f = SplitFields(lines[static_cast<size_t>(k)]);
    ASSERT_EQ(f.size(), 16u) << lines[static_cast<size_t>(k)];
    EXPECT_EQ(f[1], "0");  // no iterations
    for (int i = 5; i <= 12; ++i) EXPECT_EQ(f[static_cast<size_t>(i)], "-999") << i;
    EXPECT_EQ(f.back(), "NONE    ");
    EXPECT_EQ(ui.list[static_cast<size_t>(k)].substr(ui.list[static_cast<size_t>(k)].size() - 11),
              "FAILED: NPA");
  }
  EXPECT_EQ(SplitFields(lines[2]).size(), 15u + 14 * 4 + 1);
  EXPECT_EQ(SplitFields(lines[3]).size(), 15u + 14 * 3 + 1);
  // mapdata.txt: the failed cases have no slot pairs.
  const std::vector<std::string> mapData = SplitLines(dir.Read(kMapDataFileName));
  ASSERT_EQ(mapData.size(), 6u);
  EXPECT_EQ(mapData[0], "301,1,-999,-999,0.00000,0.00000,0.00000,0.00000,0.00000,0.00000,");

  // The viewer draws nothing but the clear for a case without slots.
  ui.SelectListLine(1);
  List1_DblClick(t, ui);
  ASSERT_EQ(ui.drawing.size(), 1u);
  EXPECT_EQ(ui.drawing[0].kind, DrawOp::Kind::Clear);

  ExpectGoodRunAsOnAFreshStart();
}

// -------------------------------------------------------- degenerate geometry

// The lines of a run, checked for what every results line must have.
void ExpectWellFormedResults(const std::string& results, const std::vector<int>& npa) {
  for (const char* word : {"nan", "inf", "NaN", "Inf", "INF", "NAN"})
    EXPECT_FALSE(Contains(results, word)) << results;
  const std::vector<std::string> lines = SplitLines(results);
  ASSERT_EQ(lines.size(), npa.size() + 1);
  for (size_t k = 1; k < lines.size(); ++k)
    EXPECT_EQ(SplitFields(lines[k]).size(), 15u + 14 * static_cast<size_t>(npa[k - 1]) + 1) << lines[k];
}

TEST_F(BadInput, ASightedTreeExactlyAtTheSolvedPosition) {
  // The crew stands at map tree 1 and also "sights" it: distance 0, and
  // azimuths only to trees 2 and 3. The polar start falls exactly on
  // tree 1, where its azimuth and distance equations have no direction.
  ASSERT_TRUE(ReadMap(GoodMap()));
  ASSERT_TRUE(ReadSightings(SightingLine(1, 401, "3", {"1,0,0", "2,-1,302.196", "3,-1,235.491"}) +
                            GoodSightings()));
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  ASSERT_TRUE(o.completed);
  ExpectWellFormedResults(dir.Read("results.txt"), {3, 4, 3, 5});
  const std::string& line = ui.list[1];
  EXPECT_TRUE(Contains(line, "FAILED: coincident point")) << line;
  EXPECT_EQ(SplitFields(SplitLines(dir.Read("results.txt"))[1])[7], "-999");
  // The cases after it are adjusted as usual.
  EXPECT_TRUE(Contains(ui.list[2], " OK ")) << ui.list[2];
  // The viewer leaves out the positions of the failed case.
  ui.SelectListLine(1);
  List1_DblClick(t, ui);
  int circles = 0;
  for (const DrawOp& op : ui.drawing) circles += op.kind == DrawOp::Kind::Circle;
  EXPECT_EQ(circles, 3);

  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, AllSightedTreesOnOneLine) {
  // Map trees 11, 12, 13 on the X axis; the field tree on the same line.
  // Azimuths only: the rays are parallel, no pair meets at a usable angle,
  // and the adjustment has nothing to fix the position across the line.
  const std::string map = GoodMap() + MapLine("1", "11", "1", "0") + MapLine("1", "12", "2", "0") +
                          MapLine("1", "13", "3", "0");
  ASSERT_TRUE(ReadMap(map));
  ASSERT_TRUE(ReadSightings(SightingLine(1, 501, "3", {"11,-1,90", "12,-1,90", "13,-1,90"}) +
                            SightingLine(1, 502, "3", {"11,1,90", "12,2,90", "13,3,90"})));
  WriteGoodParameters();
  const size_t from = ui.messages.size();
  const RunOutcome o = Simulate(t, ui);
  ASSERT_TRUE(o.completed);
  EXPECT_TRUE(Contains(MessagesSince(from), kInitialApproximationFailedMessage));
  ExpectWellFormedResults(dir.Read("results.txt"), {3, 3});
  const std::vector<std::string> first = SplitFields(SplitLines(dir.Read("results.txt"))[1]);
  EXPECT_EQ(first.back(), "NONE    ");
  // With distances as well the position is determined: the polar start
  // lies on the line at the origin.
  EXPECT_TRUE(Contains(ui.list[2], ", 0.00, 0.00, ")) << ui.list[2];

  ExpectGoodRunAsOnAFreshStart();
}

TEST_F(BadInput, IdenticalMapCoordinates) {
  // Trees 21 and 22 stand at the same map point; two records of tree 23.
  const std::string map = GoodMap() + MapLine("1", "21", "2", "2") + MapLine("1", "22", "2", "2") +
                          MapLine("1", "23", "5", "5") + MapLine("1", "23", "-2", "2");
  ASSERT_TRUE(ReadMap(map));
  EXPECT_EQ(t.PhotoTrees.Size(), 10);
  ASSERT_TRUE(ReadSightings(SightingLine(1, 601, "2", {"21,-1,45", "22,-1,45"}) +
                            SightingLine(1, 602, "3", {"21,2.83,45", "22,2.83,45", "1,1.26,71.6"}) +
                            SightingLine(1, 603, "1", {"23,2.83,315"})));
  // The last record of a repeated tree counts, once.
  EXPECT_EQ(t.TargetTrees[3].Sighted[1].X, -2);
  EXPECT_EQ(t.TargetTrees[3].AzimuthCount, 1);
  EXPECT_EQ(t.TargetTrees[3].DistanceCount, 1);
  WriteGoodParameters();
  const RunOutcome o = Simulate(t, ui);
  ASSERT_TRUE(o.completed);
  ExpectWellFormedResults(dir.Read("results.txt"), {2, 3, 1});
  // Two rays from one point never meet at a usable angle.
  EXPECT_EQ(SplitFields(SplitLines(dir.Read("results.txt"))[1]).back(), "NONE    ");

  ExpectGoodRunAsOnAFreshStart();
}

}  // namespace
}  // namespace treetri
