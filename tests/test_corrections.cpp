// corrections.csv: its lines, the reader's messages, how corrections match
// and change the sightings read, the undo line and the corrected sighting
// file, on the example data and on small hand-made files.
#include <gtest/gtest.h>

#include "core/corrections.h"
#include "data/readers.h"
#include "platform/files.h"
#include "platform/headless_ui.h"
#include "platform/run_guard.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::SplitLines;
using testing::TempFolder;

const std::string kHeader = "time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind\r\n";

// The example map and sightings, read as the programs read them.
InputData ExampleInput() {
  InputData in;
  HeadlessUi ui;
  EXPECT_TRUE(ReadPhotoMapFile(in, ui, TREETRI_SOURCE_DIR "/examples/map.txt"));
  EXPECT_TRUE(ReadSightingFile(in, ui, TREETRI_SOURCE_DIR "/examples/sightings.txt"));
  return in;
}

Correction Line(int plot, int tree, int slot, CorrectionField field, std::string oldValue,
                std::string newValue) {
  return {"2026-12-07T03:40:12Z", plot, tree, slot, field, std::move(oldValue), std::move(newValue),
          "suggested tree", "outlier", "distance", 2};
}

// (The header: the reader takes kHeader below and refuses any other.)
TEST(CorrectionsFile, LinesReadBackAsWritten) {
  Correction c = Line(2, 1005, 3, CorrectionField::Tree, "15", "7");
  EXPECT_EQ(FormatCorrectionLine(c),
            "2026-12-07T03:40:12Z,2,1005,3,tree,15,7,suggested tree,outlier,distance\r\n");
  // A reason with a comma, a quote and a line break stays one field of one line.
  Correction s = Line(1, 1002, 2, CorrectionField::Sighting, "4.56/346.0", "");
  s.reason = "crew: \"wrong\", see notes\nday 2";
  s.verdict = s.suspectKind = "";
  const std::string line = FormatCorrectionLine(s);
  EXPECT_EQ(line, "2026-12-07T03:40:12Z,1,1002,2,sighting,4.56/346.0,,\"crew: \"\"wrong\"\", see "
                  "notes day 2\",,\r\n");
  std::vector<Correction> back;
  std::string error;
  ASSERT_TRUE(ParseCorrections(kHeader + FormatCorrectionLine(c) + "\r\n" + line, "c.csv", back,
                               error))
      << error;
  ASSERT_EQ(back.size(), 2u);
  // The blank line 3 is passed over.
  EXPECT_EQ(std::make_pair(back[0].line, back[1].line), std::make_pair(2, 4));
  EXPECT_EQ(FormatCorrectionLine(back[0]), FormatCorrectionLine(c));
  EXPECT_EQ(FormatCorrectionLine(back[1]), line);
  // A hand-written file: LF line ends, a byte-order mark, a time with an offset.
  back.clear();
  EXPECT_TRUE(ParseCorrections("\xEF\xBB\xBFtime,plot,tree,slot,field,old,new,reason,verdict,"
                               "suspect_kind\n2026-12-07 05:40+02:00,2,1005,3,distance,7.26,,,,\n",
                               "hand.csv", back, error))
      << error;
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].newValue, "");
}

TEST(CorrectionsFile, BadLinesNameFileLineAndField) {
  const std::string ok = "2026-12-07T03:40:12Z,2,1005,3,";
  for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
           {"", "line 1: the file is empty"},
           {"time,plot,tree\r\n", "line 1: the header is not"},
           {kHeader + ok + "tree,15,7,,\r\n", "line 2: 9 fields instead of 10"},
           {kHeader + "\r\n" + ok + "tree,15,7,,,\"x\r\n", "line 3: a quote is not closed"},
           {kHeader + "yesterday,2,1005,3,tree,15,7,,,\r\n", "line 2, field \"time\": \"yesterday\""},
           {kHeader + "2026-13-07T03:40Z,2,1005,3,tree,15,7,,,\r\n", "field \"time\""},
           {kHeader + "2026-12-07T03:40:12Z,two,1005,3,tree,15,7,,,\r\n", "field \"plot\""},
           {kHeader + "2026-12-07T03:40:12Z,2,1005,6,tree,15,7,,,\r\n",
            "field \"slot\": \"6\" is not a slot from 1 to 5"},
           {kHeader + ok + "species,15,7,,,\r\n", "field \"field\": \"species\""},
           {kHeader + ok + "tree,15,,,,\r\n", "field \"new\": \"\" is not a tree number"},
           {kHeader + ok + "distance,7,26,x,,,\r\n", "10"},
           {kHeader + ok + "distance,7;26,,,,\r\n", "field \"old\": \"7;26\" is not a number"},
           {kHeader + ok + "sighting,7.26,,,,\r\n", "field \"old\": \"7.26\" is not DISTANCE/AZIMUTH"},
           {kHeader + ok + "tree,15,7,,good,\r\n", "field \"verdict\": \"good\""},
           {kHeader + ok + "tree,15,7,,,wrong_tree\r\n", "field \"suspect_kind\""},
       }) {
    std::vector<Correction> out;
    std::string error;
    EXPECT_FALSE(ParseCorrections(text, "/w/corrections.csv", out, error)) << text;
    EXPECT_NE(error.find("The corrections file \"/w/corrections.csv\", line"), std::string::npos)
        << error;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

// The corrected sighting file holds the records as changed, each number as
// the sighting file writes it, all others as read.
TEST(Corrections, ApplyChangesTheMatchedRecordAndItsMapLookUp) {
  InputData in = ExampleInput();
  const TargetTree before = in.TargetTrees[15];
  ASSERT_EQ(before.Tree, 1005);
  std::vector<Correction> lines = {Line(2, 1005, 3, CorrectionField::Tree, "15", "7"),
                                   Line(2, 1005, 2, CorrectionField::Azimuth, "57.10", ""),
                                   Line(2, 1005, 4, CorrectionField::Sighting, "8.23/207.3", ""),
                                   Line(2, 1005, 1, CorrectionField::Distance, "3.31", "3.4")};
  std::string error;
  ASSERT_TRUE(ApplyCorrections(in, lines, "c.csv", error)) << error;
  EXPECT_EQ(in.CorrectionsApplied, 4);
  EXPECT_EQ(in.CorrectionsFileName, "c.csv");
  const TargetTree& r = in.TargetTrees[15];
  EXPECT_NE(r.Sighted[3].X, before.Sighted[3].X);
  EXPECT_FALSE(IsTrue(r.HasAzimuth[2]));
  EXPECT_TRUE(IsTrue(r.HasDistance[2]));
  EXPECT_EQ(r.AzimuthCount, before.AzimuthCount - 2);
  EXPECT_EQ(r.DistanceCount, before.DistanceCount - 1);
  // The other records as read; a dropped sighting keeps its tree (the map
  // tree stays an observation); numbers as the sighting file writes them.
  const std::string text = CorrectedSightingText(in);
  std::vector<std::string> expected = SplitLines(CorrectedSightingText(ExampleInput()));
  ASSERT_EQ(expected.size(), 30u);
  EXPECT_EQ(expected[0], "1,1001,2,4,15,3.46,-1,31,5.52,238.4,25,5.76,127.9,35,7.24,222,0,-1,-1");
  expected[14] = "2,1005,1,4,20,3.4,166,9,5.51,-1,7,7.26,187.4,22,-1,-1,0,-1,-1";
  EXPECT_EQ(SplitLines(text), expected);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  // (Read back it gives the same run: CleaningBatch.CorrectionsGiveTheRunOfAHandCorrectedFile.)
}

TEST(Corrections, MismatchAndAmbiguityAreRefusedNamingLineAndRecords) {
  InputData in = ExampleInput();
  std::string error;
  int record = 0;
  // Whether the correction is refused with a message that holds `named`.
  const auto refused = [&](const Correction& c, const std::string& named) {
    return !ApplyCorrection(in, c, "/w/c.csv", record, error) &&
           error.find(named) != std::string::npos;
  };
  Correction wrongOld = Line(2, 1005, 3, CorrectionField::Distance, "7.25", "");
  wrongOld.line = 7;
  EXPECT_TRUE(refused(wrongOld, "\"/w/c.csv\", line 7")) << error;
  EXPECT_NE(error.find("\"7.26\" in record 15"), std::string::npos) << error;
  EXPECT_EQ(in.TargetTrees[15].Distance[3], 7.26);
  EXPECT_TRUE(refused(Line(9, 1005, 3, CorrectionField::Tree, "15", "7"),
                      "plot 9, field tree 1005, slot 3 is not in the sighting file"))
      << error;
  // The same field tree twice: told apart by the old value, or refused.
  in.TargetTrees[in.TargetTreeCount + 1] = in.TargetTrees[15];
  const int twin = ++in.TargetTreeCount;
  EXPECT_TRUE(refused(Line(2, 1005, 3, CorrectionField::Tree, "15", "7"),
                      "records 15 and " + std::to_string(twin)))
      << error;
  in.TargetTrees[twin].Distance[3] = 7.5;
  const Correction told = Line(2, 1005, 3, CorrectionField::Distance, "7.500", "7.3");
  ASSERT_TRUE(ApplyCorrection(in, told, "c", record, error)) << error;
  EXPECT_EQ(record, twin);
  EXPECT_EQ(in.TargetTrees[twin].Distance[3], 7.3);
  EXPECT_EQ(in.TargetTrees[15].Distance[3], 7.26);
  // A slot beyond NPA would change nothing a run uses.
  EXPECT_TRUE(refused(Line(1, 1001, 5, CorrectionField::Tree, "0", "3"),
                      "beyond the 4 sighted trees"))
      << error;
}

TEST(Corrections, UndoLinesRestoreTheRecordsExactly) {
  const InputData original = ExampleInput();
  InputData in = ExampleInput();
  std::vector<Correction> lines = {Line(2, 1005, 3, CorrectionField::Tree, "15", "7"),
                                   Line(2, 1005, 2, CorrectionField::Azimuth, "57.1", ""),
                                   Line(1, 1002, 2, CorrectionField::Sighting, "4.56/346", "")};
  const std::vector<Correction> edits = lines;
  for (auto it = edits.rbegin(); it != edits.rend(); ++it)
    lines.push_back(InverseCorrection(*it, "2026-12-07T04:00:00Z"));
  EXPECT_EQ(FormatCorrectionLine(lines[3]),
            "2026-12-07T04:00:00Z,1,1002,2,sighting,,4.56/346,undo,outlier,distance\r\n");
  // Through a real file, as the desktop appends them one by one.
  TempFolder dir;
  std::string error;
  for (const Correction& c : lines) ASSERT_TRUE(RecordCorrection(dir.WorkFolder(), c, error)) << error;
  std::vector<Correction> back;
  ASSERT_TRUE(ReadCorrectionsFile(dir.WorkFolder() + kCorrectionsFileName, back, error)) << error;
  ASSERT_EQ(back.size(), 6u);
  ASSERT_TRUE(ApplyCorrections(in, back, "c.csv", error)) << error;
  EXPECT_EQ(CorrectedSightingText(in), CorrectedSightingText(original));
  for (int i = 1; i <= in.TargetTreeCount; ++i) {
    EXPECT_EQ(in.TargetTrees[i].AzimuthCount, original.TargetTrees[i].AzimuthCount);
    EXPECT_EQ(in.TargetTrees[i].Sighted[3].X, original.TargetTrees[i].Sighted[3].X);
  }
}

TEST(Corrections, AppendKeepsWholeLinesAndRespectsTheFolderLock) {
  TempFolder dir;
  std::string error;
  // A hand-edited file whose last line has no line end gets one first.
  dir.Write(kCorrectionsFileName, kHeader + "2026-12-07T03:00:00Z,2,1005,3,tree,15,7,,,");
  const Correction c = Line(2, 1005, 3, CorrectionField::Tree, "7", "15");
  ASSERT_TRUE(RecordCorrection(dir.WorkFolder(), c, error)) << error;
  EXPECT_EQ(dir.Read(kCorrectionsFileName),
            kHeader + "2026-12-07T03:00:00Z,2,1005,3,tree,15,7,,,\r\n" + FormatCorrectionLine(c));
  FolderLock run;
  std::string detail;
  ASSERT_EQ(run.Acquire(dir.WorkFolder(), detail), FolderLock::Result::Locked);
  EXPECT_FALSE(RecordCorrection(dir.WorkFolder(), c, error));
  EXPECT_NE(error.find("is in use"), std::string::npos) << error;
  // The holder of the lock appends under it.
  EXPECT_TRUE(AppendCorrectionLine(dir.WorkFolder() + kCorrectionsFileName, c, error)) << error;
  EXPECT_EQ(SplitLines(dir.Read(kCorrectionsFileName)).size(), 4u);
}

TEST(Corrections, CorrectedFileName) {
  EXPECT_EQ(CorrectedSightingName("/w/", "/data/crew/sightings.txt"),
            "/w/sightings.corrected.txt");
  EXPECT_EQ(CorrectedSightingName("/w/", "obs.2026.csv"), "/w/obs.2026.corrected.txt");
  EXPECT_EQ(CorrectedSightingName("/w/", "plain"), "/w/plain.corrected.txt");
}

}  // namespace
}  // namespace treetri
