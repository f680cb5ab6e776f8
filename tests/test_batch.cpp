// The batch program as a user runs it: exit status, standard output and
// standard error, on the bundled example data and on bad input.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "output/output_check.h"
#include "output/results_writer.h"
#include "platform/files.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::SplitFields;
using testing::SplitLines;
using testing::TempFolder;
using testing::RunBatch;
using Result = testing::BatchResult;

std::string Example(const std::string& name) {
  return std::string("'" TREETRI_SOURCE_DIR "/examples/") + name + "'";
}

void CopyExampleParameters(const TempFolder& dir) {
  std::string content, error;
  ASSERT_TRUE(ReadWholeFile(TREETRI_SOURCE_DIR "/examples/SimulationInputParameters2.txt", content, error));
  dir.Write("SimulationInputParameters2.txt", content);
}

TEST(BatchProgram, Usage) {
  TempFolder dir;
  Result none = RunBatch(dir, "");
  EXPECT_EQ(none.status, 2);
  ASSERT_FALSE(none.err.empty());
  EXPECT_EQ(none.err[0], "usage: treetri-batch [--no-quality] MAP SIGHTINGS");
  EXPECT_EQ(RunBatch(dir, "one two three").status, 2);
  Result help = RunBatch(dir, "--help"), version = RunBatch(dir, "--version");
  EXPECT_EQ(help.status + version.status, 0);
  EXPECT_EQ(help.out.at(0), "usage: treetri-batch [--no-quality] MAP SIGHTINGS");
  EXPECT_EQ(RunBatch(dir, "--quality a b").status, 2);
  EXPECT_EQ(version.out.at(0).rfind("treetri-batch ", 0), 0u);
}

TEST(BatchProgram, ExampleRunOutputAndAccuracy) {
  TempFolder dir;
  CopyExampleParameters(dir);
  Result r = RunBatch(dir, Example("map.txt") + " " + Example("sightings.txt"));
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.out.size(), 31u);
  EXPECT_EQ(r.out[0], kListHeader);
  EXPECT_EQ(r.out[1].rfind("1, ", 0), 0u);
  EXPECT_EQ(r.out[30].rfind("30, ", 0), 0u);
  ASSERT_EQ(r.err.size(), 6u);
  EXPECT_EQ(r.err[0], "Assuming that all files are in folder " + dir.Path() + "/");
  EXPECT_EQ(r.err[1], "94 trees / fixed points read");
  EXPECT_EQ(r.err[2], "30 observed trees to be positioned ");
  EXPECT_EQ(r.err[3], "Ready! Results are in file results.txt");
  const std::string prefix = "AzimuthCorrection used: ";
  ASSERT_EQ(r.err[4].rfind(prefix, 0), 0u);
  const double used = std::stod(r.err[4].substr(prefix.size()));
  EXPECT_GE(used, 0);
  EXPECT_LT(used, 0.01);
  EXPECT_EQ(r.err[5].rfind("quality: ", 0), 0u);
  // Standard error is a file here: no progress line.
  for (const std::string& e : r.err) EXPECT_EQ(e.find("case "), std::string::npos);

  // Positions against the simulator's truth.
  std::map<std::pair<int, int>, std::pair<double, double>> truth;
  std::FILE* f = std::fopen(TREETRI_SOURCE_DIR "/examples/truth.txt", "rb");
  ASSERT_NE(f, nullptr);
  int plot, tree;
  double x, y;
  char line[256];
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "%d,%d,%lf,%lf", &plot, &tree, &x, &y) == 4) truth[{plot, tree}] = {x, y};
  std::fclose(f);
  auto results = SplitLines(dir.Read("results.txt"));
  ASSERT_EQ(results.size(), 31u);
  std::vector<double> errors;
  int ok = 0;
  for (size_t i = 1; i < results.size(); ++i) {
    auto fields = SplitFields(results[i]);
    auto it = truth.find({std::stoi(fields[2]), std::stoi(fields[3])});
    ASSERT_NE(it, truth.end()) << results[i];
    const double e = std::hypot(std::stod(fields[7]) - it->second.first,
                                std::stod(fields[8]) - it->second.second);
    errors.push_back(e);
    if (std::stod(fields[10]) <= 0.5 && std::stod(fields[11]) <= 0.5) {
      ++ok;
      EXPECT_LT(e, 1.0) << results[i];  // a case judged OK lies within a metre
    }
  }
  std::sort(errors.begin(), errors.end());
  EXPECT_LT(errors[errors.size() / 2], 0.5);
  EXPECT_GE(ok, 20);
  EXPECT_EQ(SplitLines(dir.Read("mapdata.txt")).size(), 30u);
  EXPECT_TRUE(dir.Exists("A_txt.txt"));
  EXPECT_EQ(SplitLines(dir.Read("quality.csv")).size(), 31u);

  // Without the quality layer: no quality files, and the legacy outputs the
  // same to the byte.
  TempFolder plain;
  CopyExampleParameters(plain);
  Result p = RunBatch(plain, "--no-quality " + Example("map.txt") + " " + Example("sightings.txt"));
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, r.out);
  EXPECT_EQ(p.err.size(), 5u);
  EXPECT_FALSE(plain.Exists("quality.csv") || plain.Exists("observations.csv"));
  for (const char* name : {"results.txt", "mapdata.txt", "A_txt.txt", "l_txt.txt", "weigths.txt",
                           "Matlab.txt"})
    EXPECT_EQ(plain.Read(name), dir.Read(name)) << name;
  // The checker finds both files intact, and a results file cut short not.
  EXPECT_EQ(std::system(("'" TREETRI_BIN_DIR "/treetri-check' '" + dir.Path() + "/results.txt' '" +
                         dir.Path() + "/mapdata.txt' > /dev/null").c_str()), 0);
  const std::string text = dir.Read("results.txt");
  dir.Write("cut.txt", text.substr(0, text.size() - 30));
  EXPECT_EQ(CheckResultsText(dir.Read("cut.txt")).size(), 1u);
  EXPECT_EQ(CheckResultsText(dir.Read("cut.txt"))[0].rfind("the last line is not complete", 0), 0u);
}

TEST(BatchProgram, BadInputGivesStatusOne) {
  TempFolder dir;
  CopyExampleParameters(dir);
  dir.Write("bad_map.txt", "1,2,3,x\r\n");
  Result badMap = RunBatch(dir, "bad_map.txt " + Example("sightings.txt"));
  EXPECT_EQ(badMap.status, 1);
  ASSERT_EQ(badMap.err.size(), 2u);
  EXPECT_NE(badMap.err[1].find("bad_map.txt"), std::string::npos);
  EXPECT_NE(badMap.err[1].find("record 1, field 4"), std::string::npos) << badMap.err[1];
  EXPECT_TRUE(badMap.out.empty());

  Result missing = RunBatch(dir, "nothing.txt " + Example("sightings.txt"));
  EXPECT_EQ(missing.status, 1);

  dir.Write("bad_sight.txt", "1,2\r\n");
  Result badSight = RunBatch(dir, Example("map.txt") + " bad_sight.txt");
  EXPECT_EQ(badSight.status, 1);
  ASSERT_GE(badSight.err.size(), 3u);
  EXPECT_EQ(badSight.err[2],
            "An error in reading observations, only seprator \",\"  decimal \".\" space \" \" "
            "and numbers 0...9 allowed");

  TempFolder noParameters;
  Result noPar = RunBatch(noParameters, Example("map.txt") + " " + Example("sightings.txt"));
  EXPECT_EQ(noPar.status, 1);
  EXPECT_NE(std::find(noPar.err.begin(), noPar.err.end(), "error in open_input_parameters routine"),
            noPar.err.end());
  EXPECT_TRUE(noPar.out.empty());
}

}  // namespace
}  // namespace treetri
