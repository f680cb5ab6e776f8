// The batch program as a user runs it: exit status, standard output and
// standard error, on the bundled example data and on bad input.
#include <sys/wait.h>

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

struct Result {
  int status = -1;
  std::vector<std::string> out, err;
};

// Runs treetri-batch with the arguments in `dir`, standard error redirected
// to a file (so it is not a terminal).
Result RunBatch(const TempFolder& dir, const std::string& args) {
  const std::string cmd = "cd '" + dir.Path() + "' && '" TREETRI_BIN_DIR "/treetri-batch' " +
                          args + " > stdout.txt 2> stderr.txt";
  const int raw = std::system(cmd.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = SplitLines(dir.Read("stdout.txt"));
  r.err = SplitLines(dir.Read("stderr.txt"));
  return r;
}

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
  EXPECT_EQ(none.err[0], "usage: treetri-batch MAP SIGHTINGS");
  EXPECT_EQ(RunBatch(dir, "one two three").status, 2);
  Result help = RunBatch(dir, "--help"), version = RunBatch(dir, "--version");
  EXPECT_EQ(help.status + version.status, 0);
  EXPECT_EQ(help.out.at(0), "usage: treetri-batch MAP SIGHTINGS");
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
