// The cleaning loop in the batch program: --corrections against a run on a
// sighting file corrected by hand, a refused correction, the replay of a
// run's azimuth correction, the run record and the re-measure list of the
// example data.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include "core/corrections.h"
#include "core/run_record.h"
#include "data/parameter_file.h"
#include "data/readers.h"
#include "platform/file_facts.h"
#include "platform/files.h"
#include "platform/headless_ui.h"
#include "platform/run_guard.h"
#include "core/run.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::ExampleText;
using testing::RunBatch;
using testing::SplitLines;
using testing::TempFolder;
using Result = testing::BatchResult;

// A folder with the example's parameter file and map, and the sightings
// (the example's unless given) as sightings.txt.
void Prepare(const TempFolder& dir, const std::string& sightings = ExampleText("sightings.txt")) {
  dir.Write(kParameterFileName, ExampleText("SimulationInputParameters2.txt"));
  dir.Write("map.txt", ExampleText("map.txt"));
  dir.Write("sightings.txt", sightings);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

const std::string kHeader = "time,plot,tree,slot,field,old,new,reason,verdict,suspect_kind\r\n";
// Case 15: tree 15 written for tree 7 in slot 3; case 3: the azimuth to
// tree 36 dropped; case 20: the distance of slot 2 changed.
const std::string kCorrections =
    kHeader +
    "2026-12-07T03:40:12Z,2,1005,3,tree,15,7,suggested tree,outlier,distance\r\n"
    "2026-12-07T03:41:00Z,1,1003,2,azimuth,100.50,,,,\r\n";
const char* const kOutputs[] = {"results.txt", "mapdata.txt", "quality.csv", "observations.csv",
                                "A_txt.txt",   "l_txt.txt",   "weigths.txt", "Matlab.txt"};

std::string HandCorrectedSightings() {
  std::string text = ExampleText("sightings.txt");
  text = Replace(text, "2,1005,1,4,20,3.31,166.0,9,5.51,57.1,15,7.26,",
                 "2,1005,1,4,20,3.31,166.0,9,5.51,57.1,7,7.26,");
  text = Replace(text, "1,1003,2,3,12,2.24,103.0,36,9.17,100.5,",
                 "1,1003,2,3,12,2.24,103.0,36,9.17,-1,");
  return text;
}

TEST(CleaningBatch, CorrectionsGiveTheRunOfAHandCorrectedFile) {
  TempFolder edited, hand;
  Prepare(edited);
  Prepare(hand, HandCorrectedSightings());
  edited.Write("corrections.csv", kCorrections);
  const Result a = RunBatch(edited, "--corrections corrections.csv --azimuth-correction-used "
                                    "0.00125 map.txt sightings.txt");
  const Result b = RunBatch(hand, "--azimuth-correction-used 0.00125 map.txt sightings.txt");
  ASSERT_EQ(a.status, 0) << a.err.back();
  ASSERT_EQ(b.status, 0) << b.err.back();
  EXPECT_EQ(a.out, b.out);
  for (const char* name : kOutputs) EXPECT_EQ(edited.Read(name), hand.Read(name)) << name;
  EXPECT_NE(std::find(a.err.begin(), a.err.end(), "AzimuthCorrection used: 0.00125"), a.err.end());
  // The outlier of case 15 is gone.
  EXPECT_EQ(a.err.back(), "quality: 30 ok, 0 outlier, 0 no redundancy, 0 failed, 0 not "
                          "computed; 0 suggested replacements");
  // The input is untouched; the corrected sightings lie in the work folder
  // and give the same run again.
  EXPECT_EQ(edited.Read("sightings.txt"), ExampleText("sightings.txt"));
  EXPECT_FALSE(hand.Exists("sightings.corrected.txt"));
  const std::string corrected = edited.Read("sightings.corrected.txt");
  EXPECT_EQ(SplitLines(corrected).at(2), "1,1003,2,3,12,2.24,103,36,9.17,-1,4,9.4,55,0,-1,-1,0,-1,-1");
  TempFolder again;
  Prepare(again, corrected);
  ASSERT_EQ(RunBatch(again, "--azimuth-correction-used 0.00125 map.txt sightings.txt").status, 0);
  for (const char* name : kOutputs) EXPECT_EQ(again.Read(name), hand.Read(name)) << name;
}

TEST(CleaningBatch, MismatchingOrBusyCorrectionsAreRefusedBeforeAnythingIsWritten) {
  TempFolder dir;
  Prepare(dir);
  dir.Write("corrections.csv",
            Replace(kCorrections, "1,1003,2,azimuth,100.50", "1,1003,2,azimuth,100.55"));
  const Result r = RunBatch(dir, "--corrections corrections.csv map.txt sightings.txt");
  EXPECT_EQ(r.status, 1);
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.back().rfind("The corrections file \"corrections.csv\", line 3: the old azimuth "
                               "\"100.55\" of plot 1, field tree 1003, slot 2 does not match",
                               0),
            0u)
      << r.err.back();
  EXPECT_NE(r.err.back().find("\"100.5\" in record 3"), std::string::npos);
  const std::vector<std::string> inputsOnly = {kParameterFileName, "corrections.csv", "map.txt",
                                               "sightings.txt", "stderr.txt", "stdout.txt"};
  EXPECT_EQ(dir.Names(), inputsOnly);
  // A folder whose lock another program (the desktop) holds: refused too.
  dir.Write("corrections.csv", kCorrections);
  FolderLock desktop;
  std::string detail;
  ASSERT_EQ(desktop.Acquire(dir.WorkFolder(), detail), FolderLock::Result::Locked);
  const Result busy = RunBatch(dir, "--corrections corrections.csv map.txt sightings.txt");
  EXPECT_EQ(busy.status, 1);
  ASSERT_GE(busy.err.size(), 2u);
  EXPECT_NE(busy.err[busy.err.size() - 2].find("is in use by another run"), std::string::npos)
      << busy.err[busy.err.size() - 2];
  EXPECT_FALSE(dir.Exists("sightings.corrected.txt") || dir.Exists("results.txt") ||
               dir.Exists(kRunRecordFileName));
  // Wrong use of the options (an empty value: CommandLineParser.WrongUsageNamesTheOption).
  for (const char* args : {"--no-quality --remeasure r.csv map.txt sightings.txt",
                           "--azimuth-correction-used abc map.txt sightings.txt",
                           "--remeasure sightings.txt map.txt sightings.txt"})
    EXPECT_EQ(RunBatch(dir, args).status, 2) << args;
}

// The sighting file is never written: not even when the corrected file's
// name in the work folder is a link to it.
TEST(CleaningBatch, TheSightingFileIsNeverWritten) {
  TempFolder dir, crew;
  Prepare(dir);
  const std::string sightings = crew.Write("plot.txt", ExampleText("sightings.txt"));
  dir.Write("corrections.csv", kCorrections);
  for (const bool hard : {true, false}) {
    const std::string link = dir.WorkFolder() + "plot.corrected.txt";
    RemoveFile(link);
    ASSERT_EQ(hard ? ::link(sightings.c_str(), link.c_str()) : ::symlink(sightings.c_str(), link.c_str()), 0);
    const Result r = RunBatch(dir, "--corrections corrections.csv map.txt '" + sightings + "'");
    EXPECT_EQ(r.status, 1) << hard;
    ASSERT_GE(r.err.size(), 2u);
    EXPECT_EQ(r.err[r.err.size() - 2], "The corrected sighting file \"" + link +
                                           "\" is the sighting file \"" + sightings +
                                           "\": the run would write over it. The run is stopped.");
    EXPECT_EQ(crew.Read("plot.txt"), ExampleText("sightings.txt")) << hard;
    EXPECT_FALSE(dir.Exists("results.txt")) << hard;
  }
}

std::string Sha256Sum(const std::string& path) {
  const std::string cmd = "sha256sum '" + path + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  char buf[65] = {};
  const size_t n = p ? std::fread(buf, 1, 64, p) : 0;
  if (p) ::pclose(p);
  return std::string(buf, n);
}

TEST(CleaningBatch, RunRecordNamesTheInputsAndReplaysTheDraw) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  TempFolder first, replay;
  Prepare(first);
  Prepare(replay);
  const Result a = RunBatch(first, "map.txt sightings.txt");
  ASSERT_EQ(a.status, 0);
  RunRecordSummary record;
  std::string error;
  ASSERT_TRUE(ReadRunRecord(first.WorkFolder() + kRunRecordFileName, record, error)) << error;
  EXPECT_EQ(std::tie(record.program, record.state, record.casesDone, record.qualityMethod,
                     record.correctionsFile),
            std::make_tuple("treetri-batch", "completed", 30, "case", ""));
  ASSERT_EQ(record.inputs.size(), 3u);
  for (const auto& in : record.inputs) {
    EXPECT_EQ(in.sha256, Sha256Sum(in.path)) << in.role;
    EXPECT_EQ(in.path.front(), '/');
  }
  EXPECT_EQ(record.inputs[1].role, "map");
  EXPECT_EQ(record.inputs[1].size, static_cast<long long>(ExampleText("map.txt").size()));
  // The value in the record is the one the run printed, to the last bit.
  ASSERT_TRUE(record.azimuthCorrectionUsed);
  const auto printed = std::find_if(a.err.begin(), a.err.end(), [](const std::string& line) {
    return line.rfind("AzimuthCorrection used: ", 0) == 0;
  });
  ASSERT_NE(printed, a.err.end());
  EXPECT_EQ(*record.azimuthCorrectionUsed, std::stod(printed->substr(24)));
  const Result b =
      RunBatch(replay, "--azimuth-correction-used '" + first.WorkFolder() + "run.json' map.txt sightings.txt");
  ASSERT_EQ(b.status, 0);
  EXPECT_EQ(a.out, b.out);
  for (const char* name : kOutputs) EXPECT_EQ(first.Read(name), replay.Read(name)) << name;
  const std::string text = replay.Read(kRunRecordFileName);
  EXPECT_NE(text.find("\"layout\": \"quality-2\""), std::string::npos);
  EXPECT_NE(text.find("\"sigma_distance_m\""), std::string::npos);
}

// A program that attaches no record gets one from the run itself; a run
// stopped part-way says where; a replay draws nothing.
TEST(CleaningBatch, EveryRunLeavesItsRecord) {
  TempFolder dir;
  testing::Parameters par;
  par.resultsFile = dir.Path() + "/results.txt";
  par.azimuthCorrection = 1.25;
  dir.Write(kParameterFileName, testing::ParameterFile(par));
  Tables t;
  HeadlessUi ui;
  t.WorkFolder = dir.WorkFolder();
  ASSERT_TRUE(ReadPhotoMapFile(t, ui, TREETRI_SOURCE_DIR "/examples/map.txt"));
  ASSERT_TRUE(ReadSightingFile(t, ui, TREETRI_SOURCE_DIR "/examples/sightings.txt"));
  struct StopAfterTwo : RunHooks {
    void OnCaseDone(const CaseReport& r) override {
      if (r.caseNumber == 2) r.feedback.Cancel();
    }
  } stop;
  const std::uint64_t generator = t.RandomState;
  t.ReplayAzimuthCorrection = 1.2534;
  EXPECT_FALSE(Simulate(t, ui, {&stop}).completed);
  EXPECT_EQ(t.Parameters.AzimuthCorrection, 1.2534);
  EXPECT_EQ(t.RandomState, generator);
  RunRecordSummary record;
  std::string error;
  ASSERT_TRUE(ReadRunRecord(dir.WorkFolder() + kRunRecordFileName, record, error)) << error;
  EXPECT_EQ(std::tie(record.program, record.state, record.casesDone, record.caseCount),
            std::make_tuple("treetri_tests", "cancelled", 2, 30));
  EXPECT_EQ(record.azimuthCorrectionUsed, 1.2534);
  EXPECT_NE(dir.Read(kRunRecordFileName).find("\"azimuth_correction_replayed\": true"),
            std::string::npos);
  // Without a replay the run draws, and the record holds the value drawn.
  t.ReplayAzimuthCorrection.reset();
  ASSERT_TRUE(Simulate(t, ui).completed);
  ASSERT_TRUE(ReadRunRecord(dir.WorkFolder() + kRunRecordFileName, record, error)) << error;
  EXPECT_EQ(record.state, "completed");
  EXPECT_EQ(record.azimuthCorrectionUsed, t.Parameters.AzimuthCorrection);
  EXPECT_GT(t.Parameters.AzimuthCorrection, 1.25);
  EXPECT_NE(dir.Read(kRunRecordFileName).find("\"azimuth_correction_in_file_deg\": 1.25,"),
            std::string::npos);
}

TEST(CleaningBatch, ChangedInputsAreNamed) {
  TempFolder dir;
  const std::string map = dir.Write("map.txt", ExampleText("map.txt"));
  const std::string sightings = dir.Write("s.txt", ExampleText("sightings.txt"));
  InputData in;
  HeadlessUi ui;
  ASSERT_TRUE(ReadPhotoMapFile(in, ui, map));
  ASSERT_TRUE(ReadSightingFile(in, ui, sightings));
  EXPECT_TRUE(ChangedInputs(in).empty());
  // Same size, one digit different: the checksum tells.
  dir.Write("s.txt", Replace(ExampleText("sightings.txt"), "3.46", "3.47"));
  const std::vector<ChangedInput> changed = ChangedInputs(in);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_NE(changed[0].change.find("content (SHA-256)"), std::string::npos);
  EXPECT_EQ(changed[0].change.find("size"), std::string::npos);
  EXPECT_EQ(ChangedInputMessage(changed[0]).rfind("The sighting file \"" + sightings +
                                                  "\" changed since it was read (", 0),
            0u);
}

TEST(CleaningBatch, RemeasureListOfTheExample) {
  TempFolder dir;
  // A field tree without sightings is added to plot 1, after the others.
  Prepare(dir,
          ExampleText("sightings.txt") + "1,1999,2,0,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r\n");
  ASSERT_EQ(RunBatch(dir, "--remeasure crew.csv map.txt sightings.txt").status, 0);
  const std::vector<std::string> expected = {
      "plot,tree,case,slot,sighted_tree,check,reason,suggested_tree,x,y",
      "1,1999,31,,,sighting,case not computed,,,",
      "2,1005,15,3,15,tree number,outlier: distance w 48.12; tree 7 fits,7,3400187.0700,6900012.0479"};
  EXPECT_EQ(SplitLines(dir.Read("crew.csv")), expected);
  // The same list as a layer of the GeoPackage, at the field tree's position.
  ASSERT_EQ(RunBatch(dir, "--gpkg out.gpkg map.txt sightings.txt").status, 0);
  std::unique_ptr<GDALDataset> ds = testing::OpenGeoPackage(dir.Path() + "/out.gpkg");
  ASSERT_TRUE(ds);
  OGRLayer* layer = ds->GetLayerByName("remeasure");
  ASSERT_TRUE(layer);
  ASSERT_EQ(layer->GetFeatureCount(), 2);
  std::unique_ptr<OGRFeature> failed(layer->GetNextFeature()), outlier(layer->GetNextFeature());
  EXPECT_EQ(failed->GetFieldAsInteger("tree"), 1999);
  EXPECT_FALSE(failed->IsFieldSetAndNotNull(failed->GetFieldIndex("slot")));
  EXPECT_EQ(failed->GetGeometryRef(), nullptr);
  for (const auto& [field, value] : {std::pair<const char*, int>{"case_no", 15}, {"slot", 3},
                                      {"sighted", 15}, {"sugg_tree", 7}})
    EXPECT_EQ(outlier->GetFieldAsInteger(field), value) << field;
  EXPECT_STREQ(outlier->GetFieldAsString("check"), "tree number");
  ASSERT_TRUE(outlier->GetGeometryRef());
  EXPECT_NEAR(outlier->GetGeometryRef()->toPoint()->getX(), 3400187.0700, 1e-4);
  EXPECT_NEAR(outlier->GetGeometryRef()->toPoint()->getY(), 6900012.0479, 1e-4);
  ds.reset();
  // Corrected, case 15 needs no visit; undone, it does again.
  dir.Write("corrections.csv", kCorrections);
  ASSERT_EQ(RunBatch(dir, "--corrections corrections.csv --remeasure crew.csv map.txt "
                          "sightings.txt").status, 0);
  EXPECT_EQ(SplitLines(dir.Read("crew.csv")).size(), 2u);
  dir.Write("corrections.csv",
            kCorrections + "2026-12-07T04:00:00Z,2,1005,3,tree,7,15,undo,outlier,distance\r\n");
  ASSERT_EQ(RunBatch(dir, "--corrections corrections.csv --remeasure crew.csv map.txt "
                          "sightings.txt").status, 0);
  EXPECT_EQ(SplitLines(dir.Read("crew.csv")), expected);
}

}  // namespace
}  // namespace treetri
