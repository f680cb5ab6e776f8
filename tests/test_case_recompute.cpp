// An edited case computed again in memory: every case of the example, each
// computed alone in whatever order, gives the lines of a full run with the
// same azimuth correction; an edit gives the lines of a full run on the
// corrected sightings.
#include <gtest/gtest.h>

#include "core/case_recompute.h"
#include "core/run.h"
#include "data/parameter_file.h"
#include "data/readers.h"
#include "platform/headless_ui.h"
#include "quality/quality_files.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::ExampleText;
using testing::RunBatch;
using testing::SplitLines;
using testing::TempFolder;

constexpr double kCorrectionUsed = 0.00731;

// A batch run of the example in `dir` with the fixed azimuth correction,
// optionally with a corrections file.
void RunExample(const TempFolder& dir, const std::string& corrections) {
  dir.Write(kParameterFileName, ExampleText("SimulationInputParameters2.txt"));
  dir.Write("map.txt", ExampleText("map.txt"));
  dir.Write("sightings.txt", ExampleText("sightings.txt"));
  std::string args = "--azimuth-correction-used " + std::to_string(kCorrectionUsed) + " ";
  if (!corrections.empty()) {
    dir.Write("c.csv", corrections);
    args += "--corrections c.csv ";
  }
  ASSERT_EQ(RunBatch(dir, args + "map.txt sightings.txt").status, 0);
}

struct Example {
  InputData input;
  RunSettings settings;
};

Example ReadExample(const TempFolder& dir) {
  Example e;
  HeadlessUi ui;
  EXPECT_TRUE(ReadPhotoMapFile(e.input, ui, dir.WorkFolder() + "map.txt"));
  EXPECT_TRUE(ReadSightingFile(e.input, ui, dir.WorkFolder() + "sightings.txt"));
  EXPECT_TRUE(ReadParameterText(ExampleText("SimulationInputParameters2.txt"), e.settings.Parameters).ok);
  e.settings.Parameters.AzimuthCorrection = kCorrectionUsed;
  FillTauCriticalValues(e.settings);
  return e;
}

// Every case alone, then case 15 (an outlier) with the correction of its
// wrong tree, then with the undo line.
TEST(CaseRecompute, EachCaseAloneAndAnEditGiveTheLinesOfAFullRun) {
  const std::string corrections =
      "time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind\r\n"
      "2026-12-07T03:40:12Z,2,1005,3,tree,15,7,suggested tree,outlier,distance\r\n";
  TempFolder before, after;
  RunExample(before, "");
  RunExample(after, corrections);
  const Example e = ReadExample(before);
  const std::vector<std::string> quality = SplitLines(before.Read(quality::kQualityFileName));
  const std::vector<std::string> list = SplitLines(before.Read("stdout.txt"));
  ASSERT_EQ(quality.size(), 31u);
  CaseRecomputer recomputer(e.input, e.settings);
  // Backwards, so that no case follows the case it follows in a run.
  for (int n = 30; n >= 1; --n) {
    const RecomputedCase r = recomputer.Recompute(n);
    EXPECT_EQ(quality::FormatQualityLine(r.quality.row), quality[n] + "\r\n") << n;
    EXPECT_EQ(r.listLine, list[n]) << n;
  }
  std::vector<Correction> lines;
  std::string error;
  ASSERT_TRUE(ParseCorrections(corrections, "c.csv", lines, error)) << error;
  int changed = 0;
  ASSERT_TRUE(recomputer.Apply(lines[0], changed, error)) << error;
  EXPECT_EQ(changed, 15);
  const RecomputedCase r = recomputer.Recompute(15);
  EXPECT_EQ(quality::FormatQualityLine(r.quality.row),
            SplitLines(after.Read(quality::kQualityFileName))[15] + "\r\n");
  EXPECT_EQ(r.listLine, SplitLines(after.Read("stdout.txt"))[15]);
  // The undo line brings the outlier back; a mismatching edit changes nothing.
  ASSERT_TRUE(recomputer.Apply(InverseCorrection(lines[0], IsoTimeNow()), changed, error));
  EXPECT_EQ(quality::FormatQualityLine(recomputer.Recompute(15).quality.row), quality[15] + "\r\n");
  EXPECT_FALSE(recomputer.Apply(InverseCorrection(lines[0], IsoTimeNow()), changed, error));
  EXPECT_EQ(recomputer.Input().TargetTrees[15].SightedTree[3], 15);
}

}  // namespace
}  // namespace treetri
