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
#include "tools/position_stats.h"

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

// The outputs are compared byte for byte by the golden run; here the
// positions against the simulator's truth, and the checker on the files.
TEST(BatchProgram, ExampleRunAccuracyAndCheck) {
  TempFolder dir;
  CopyExampleParameters(dir);
  Result r = RunBatch(dir, Example("map.txt") + " " + Example("sightings.txt"));
  ASSERT_EQ(r.status, 0);
  // Standard error is a file here: no progress line.
  for (const std::string& e : r.err) EXPECT_EQ(e.find("case "), std::string::npos);
  std::string truth, error;
  ASSERT_TRUE(ReadWholeFile(TREETRI_SOURCE_DIR "/examples/truth.txt", truth, error));
  const tools::ResultsFile results = tools::ParseResultsText(dir.Read("results.txt"));
  const tools::ErrorStatistics s = tools::ComputeErrorStatistics(results, tools::ParseTruthText(truth));
  EXPECT_EQ(s.matched, 30);
  EXPECT_LT(s.median, 0.5);
  EXPECT_GE(s.statusOk, 20);
  EXPECT_LT(s.okRmse, 0.5);  // a case judged OK lies well within a metre
  // The quality layer: the summary last on standard error, one line per case;
  // without it no quality files and the legacy outputs the same to the byte.
  ASSERT_FALSE(r.err.empty());
  EXPECT_EQ(r.err.back().rfind("quality: ", 0), 0u);
  EXPECT_EQ(SplitLines(dir.Read("quality.csv")).size(), 31u);
  TempFolder plain;
  CopyExampleParameters(plain);
  Result p = RunBatch(plain, "--no-quality " + Example("map.txt") + " " + Example("sightings.txt"));
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, r.out);
  EXPECT_EQ(p.err.size() + 1, r.err.size());
  EXPECT_FALSE(plain.Exists("quality.csv") || plain.Exists("observations.csv"));
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

// The messages are checked in test_bad_input.cpp; here the exit status.
TEST(BatchProgram, BadInputGivesStatusOne) {
  TempFolder dir, noParameters;
  CopyExampleParameters(dir);
  dir.Write("bad_map.txt", "1,2,3,x\r\n");
  dir.Write("bad_sight.txt", "1,2\r\n");
  const std::string map = Example("map.txt"), sightings = Example("sightings.txt");
  for (const std::string& args : {"bad_map.txt " + sightings, "nothing.txt " + sightings, map + " bad_sight.txt"}) {
    const Result r = RunBatch(dir, args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_TRUE(r.out.empty()) << args;
  }
  EXPECT_EQ(RunBatch(noParameters, map + " " + sightings).status, 1);
}

}  // namespace
}  // namespace treetri
