// The batch program as a user runs it: exit status, standard output and
// standard error, on the bundled example data and on bad input.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include "data/parameter_file.h"
#include "output/output_check.h"
#include "output/results_writer.h"
#include "platform/files.h"
#include "quality/quality_files.h"
#include "tests/support.h"
#include "tools/position_stats.h"

namespace treetri {
namespace {

using testing::SplitFields;
using testing::SplitLines;
using testing::TempFolder;
using testing::RunBatch;
using Result = testing::BatchResult;

using testing::ExampleArg;

void CopyExampleParameters(const TempFolder& dir) {
  dir.Write(kParameterFileName, testing::ExampleText("SimulationInputParameters2.txt"));
}

// The outputs, standard error and the quality layer's summary on it are
// compared byte for byte by the golden run; here the positions against the
// simulator's truth, the run without the quality layer, and the checker.
TEST(BatchProgram, ExampleRunAccuracyAndCheck) {
  TempFolder dir;
  CopyExampleParameters(dir);
  Result r = RunBatch(dir, testing::ExampleInputs());
  ASSERT_EQ(r.status, 0);
  const tools::ResultsFile results = tools::ParseResultsText(dir.Read("results.txt"));
  const tools::ErrorStatistics s = tools::ComputeErrorStatistics(
      results, tools::ParseTruthText(testing::ExampleText("truth.txt")));
  EXPECT_EQ(s.matched, 30);
  EXPECT_LT(s.median, 0.5);
  EXPECT_GE(s.statusOk, 20);
  EXPECT_LT(s.okRmse, 0.5);  // a case judged OK lies well within a metre
  // Without the quality layer: no summary, no quality files (those of an
  // earlier run are removed) and the legacy outputs the same to the byte.
  TempFolder plain;
  CopyExampleParameters(plain);
  plain.Write(quality::kQualityFileName, dir.Read(quality::kQualityFileName));
  plain.Write(quality::kObservationsFileName, dir.Read(quality::kObservationsFileName));
  Result p = RunBatch(plain, "--no-quality " + testing::ExampleInputs());
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, r.out);
  EXPECT_EQ(p.err.size() + 1, r.err.size());
  EXPECT_FALSE(plain.Exists(quality::kQualityFileName) || plain.Exists(quality::kObservationsFileName));
  for (const char* name : {"results.txt", "mapdata.txt", "A_txt.txt", "l_txt.txt", "weigths.txt",
                           "Matlab.txt"})
    EXPECT_EQ(plain.Read(name), dir.Read(name)) << name;
  // The checker finds both files intact, and a results file cut short not.
  EXPECT_EQ(std::system(("'" TREETRI_BIN_DIR "/treetri-check' '" + dir.Path() + "/results.txt' '" +
                         dir.Path() + "/mapdata.txt' > /dev/null").c_str()), 0);
  const std::string text = dir.Read("results.txt");
  const auto cut = CheckResultsText(text.substr(0, text.size() - 30));
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].rfind("the last line is not complete", 0), 0u);
}

// The GeoPackage of the example run read back: one feature per case at the
// position of quality.csv, one sighting per used slot of observations.csv,
// the CRS given; and what is refused before the run.
TEST(BatchProgram, GeoPackageOfTheExampleRun) {
  TempFolder dir;
  CopyExampleParameters(dir);
  const std::string inputs = " " + testing::ExampleInputs();
  Result r = RunBatch(dir, "--gpkg out.gpkg --crs EPSG:2393" + inputs);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.err.size(), 6u);  // no warning
  std::unique_ptr<GDALDataset> ds = testing::OpenGeoPackage(dir.Path() + "/out.gpkg");
  ASSERT_TRUE(ds);
  std::vector<std::string> lines = SplitLines(dir.Read(quality::kQualityFileName));
  OGRLayer* trees = ds->GetLayerByName("field_trees");
  ASSERT_EQ(trees->GetFeatureCount(), 30);
  EXPECT_STREQ(trees->GetSpatialRef()->GetAuthorityCode(nullptr), "2393");
  const std::vector<std::string> results = SplitLines(dir.Read("results.txt"));
  int ellipses = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    quality::CaseAssessment q;
    ASSERT_TRUE(quality::ParseQualityLine(lines[i], q).ok);
    std::unique_ptr<OGRFeature> f(trees->GetNextFeature());
    ASSERT_EQ(f->GetFieldAsInteger("case_no"), q.caseNumber);
    // The legacy figures as the results file has them (2 decimals).
    const std::vector<std::string> legacy = SplitFields(results.at(i));
    EXPECT_EQ(f->GetFieldAsInteger("iter"), std::stoi(legacy[1]));
    EXPECT_NEAR(f->GetFieldAsDouble("x_adj"), std::stod(legacy[7]), 0.005);
    EXPECT_NEAR(f->GetFieldAsDouble("sigma_y"), std::stod(legacy[11]), 0.005);
    ASSERT_TRUE(q.x && f->GetGeometryRef()) << q.caseNumber;
    const OGRPoint* p = f->GetGeometryRef()->toPoint();
    EXPECT_NEAR(p->getX(), *q.x, 0.001);
    EXPECT_NEAR(p->getY(), *q.y, 0.001);
    EXPECT_STREQ(f->GetFieldAsString("verdict"), quality::VerdictWord(q.verdict));
    if (q.conf95A) ++ellipses;
  }
  std::set<std::pair<int, int>> slots;
  lines = SplitLines(dir.Read(quality::kObservationsFileName));
  for (size_t i = 1; i < lines.size(); ++i) {
    quality::ObservationAssessment o;
    ASSERT_TRUE(quality::ParseObservationLine(lines[i], o).ok);
    slots.insert({o.caseNumber, o.slot});
  }
  EXPECT_EQ(ds->GetLayerByName("sightings")->GetFeatureCount(), static_cast<long long>(slots.size()));
  EXPECT_EQ(ds->GetLayerByName("confidence_ellipses")->GetFeatureCount(), ellipses);
  EXPECT_EQ(ds->GetLayerByName("map_trees")->GetFeatureCount(), 94);
  ds.reset();

  // Without --crs: a warning; an input file as the target: refused before
  // the run. (A CRS refused: test_crs_check.cpp; a file of the run as the
  // target: Guards.AGeoPackageThatAnotherRunWritesIsRefusedBeforeTheRun.)
  Result plain = RunBatch(dir, "--gpkg plain.gpkg" + inputs);
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err.back(), "No coordinate reference system given: the layers of "
                              "\"plain.gpkg\" carry none.");
  TempFolder refused;
  CopyExampleParameters(refused);
  refused.Write("map.txt", "");
  Result input = RunBatch(refused, "--gpkg map.txt map.txt " + ExampleArg("sightings.txt"));
  EXPECT_EQ(input.status, 2);
  EXPECT_EQ(refused.Names(), (std::vector<std::string>{kParameterFileName, "map.txt",
                                                         "stderr.txt", "stdout.txt"}));
}

// Bad or missing input, and nothing to compute (an empty map or sighting
// file): status 1, the file or the reason on standard error, nothing on
// standard output, and the files of the earlier run in the folder (results,
// map data, dump and quality files, and the GeoPackage) stay as they were.
// (The readers' messages in full: test_bad_input.cpp.)
TEST(BatchProgram, BadInputOrNothingToComputeIsStatusOneAndTouchesNoFile) {
  TempFolder dir, noParameters;
  CopyExampleParameters(dir);
  const std::string map = ExampleArg("map.txt"), sightings = ExampleArg("sightings.txt");
  ASSERT_EQ(RunBatch(dir, "--gpkg out.gpkg " + map + " " + sightings).status, 0);
  dir.Write("bad_map.txt", "1,2,3,x\r\n");
  dir.Write("bad_sight.txt", "1,2\r\n");
  dir.Write("empty.txt", "");
  const auto before = dir.Snapshot();
  for (const auto& [args, said] : std::vector<std::pair<std::string, std::string>>{
           {"bad_map.txt " + sightings, "bad_map.txt\", record 1"},
           {"nothing.txt " + sightings, "nothing.txt\" cannot be opened"},
           {map + " bad_sight.txt", "bad_sight.txt\": record 1"},
           {"empty.txt " + sightings,
            "Nothing to compute: no photogrammetric map has been read. The run is not "
            "started; no file was changed."},
           {map + " empty.txt",
            "Nothing to compute: no field trees have been read (no sighting file, or an "
            "empty one). The run is not started; no file was changed."}}) {
    const Result r = RunBatch(dir, "--gpkg out.gpkg " + args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.errText.find(said), std::string::npos) << r.errText;
    EXPECT_TRUE(r.out.empty()) << args;
    EXPECT_TRUE(dir.Snapshot() == before) << args;
  }
  EXPECT_EQ(RunBatch(noParameters, map + " " + sightings).status, 1);
}

}  // namespace
}  // namespace treetri
