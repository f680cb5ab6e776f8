// Golden runs: the batch program on the example data and on a hand-made
// data set full of awkward cases (map-grid coordinates, NPA 0, 7 and 21, a
// repeated field tree, a map tree repeated and one only in another plot, a
// failed initial approximation, a coincident point, no redundancy, a case
// that stops at 20 iterations). Every output is compared byte for byte with
// the files under tests/golden/, which were made once and are never
// regenerated: a change in any byte is a change of the program's output.
// The quality layer is on, as by default; its two files are compared byte for
// byte too (they change layout only on purpose, in a commit that says why).
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support.h"

namespace treetri {
namespace {

struct Golden {
  const char* name;
  const char* input;     // folder with map.txt, sightings.txt and the parameter file
  const char* expected;  // folder with the expected outputs
  const char* results;   // the results file's name
};

void PrintTo(const Golden& g, std::ostream* os) { *os << g.name; }

class GoldenRun : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenRun, OutputsAreByteForByteTheSame) {
  const Golden& g = GetParam();
  const std::string in = std::string(TREETRI_SOURCE_DIR "/") + g.input + "/";
  testing::TempFolder dir;
  dir.Write("SimulationInputParameters2.txt",
            testing::SourceText(std::string(g.input) + "/SimulationInputParameters2.txt"));
  const std::string cmd = "cd '" + dir.Path() + "' && '" TREETRI_BIN_DIR "/treetri-batch' '" +
                          in + "map.txt' '" + in + "sightings.txt' > list.txt 2> messages.txt";
  ASSERT_EQ(std::system(cmd.c_str()), 0);

  // The one line that names the work folder gets a fixed name for it.
  std::string messages = dir.Read("messages.txt");
  const std::string folder = dir.Path() + "/";
  for (size_t at; (at = messages.find(folder)) != std::string::npos;)
    messages.replace(at, folder.size(), "<work folder>/");
  // The quality layer runs, as by default; its summary is the last line of
  // standard error and no legacy output. Every other byte stays.
  const size_t summary = messages.rfind("\nquality: ");
  ASSERT_NE(summary, std::string::npos);
  messages.erase(summary + 1);
  dir.Write("messages.txt", messages);

  for (const char* file : {g.results, "mapdata.txt", "list.txt", "messages.txt", "A_txt.txt",
                           "l_txt.txt", "weigths.txt", "Matlab.txt", "quality.csv",
                           "observations.csv"}) {
    const std::string want = testing::SourceText(std::string(g.expected) + "/" + file);
    ASSERT_FALSE(want.empty()) << file;
    EXPECT_EQ(dir.Read(file), want) << g.name << ": " << file;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, GoldenRun,
    ::testing::Values(Golden{"example", "examples", "tests/golden/example", "results.txt"},
                      Golden{"nasty", "tests/golden/nasty/input", "tests/golden/nasty/expected",
                             "results-nasty.txt"}),
    [](const ::testing::TestParamInfo<Golden>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace treetri
