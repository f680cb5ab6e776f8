// Every CSV file the programs write, read by pandas' read_csv and R's
// read.csv without options: each column must come back with the type that
// tests/csv_types.txt lists (booleans as booleans, whole numbers as whole
// numbers, missing values as NA). The files come from real runs of
// treetri-batch (per case with the re-measure list, and the plot network)
// and from the corrections writer.
#include <cstdlib>

#include <gtest/gtest.h>

#include "core/corrections.h"
#include "data/parameter_file.h"
#include "tests/support.h"

namespace treetri {
namespace {

// Debian's interpreters: python3-pandas belongs to /usr/bin/python3.
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kRscript = "/usr/bin/Rscript";

bool Runs(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(CsvTypes, PandasAndRReadEveryFileWithTheListedTypes) {
  const bool pandas = Runs(std::string(kPython) + " -c 'import pandas'");
  const bool r = Runs(std::string(kRscript) + " --version");
  if (!pandas || !r) {
    // CI installs both (scripts/common.sh): there a missing one is a failure.
    const std::string missing = std::string(pandas ? "" : "python3-pandas ") + (r ? "" : "r-base-core");
    if (std::getenv("TREETRI_CI")) FAIL() << "not installed: " << missing;
    GTEST_SKIP() << "skipped: the Debian packages " << missing << " are not installed";
  }
  testing::TempFolder perCase, network;
  for (const std::string file : {"map.txt", "sightings.txt", kParameterFileName}) {
    perCase.Write(file, testing::SourceText("tests/quality-example/plots-2027/" + file));
    network.Write(file, testing::ExampleText(file));
  }
  ASSERT_EQ(testing::RunBatch(perCase, "map.txt sightings.txt --remeasure remeasure.csv").status, 0);
  ASSERT_EQ(testing::RunBatch(network, "--quality network map.txt sightings.txt").status, 0);
  std::string error;
  const std::string corrections = perCase.WorkFolder() + kCorrectionsFileName;
  const std::string t = "2026-12-07T03:40:12Z";
  for (const Correction& c :
       {Correction{t, 1, 4, 2, CorrectionField::Tree, "15", "7", "suggested tree", "outlier", "distance"},
        Correction{t, 1, 4, 2, CorrectionField::Sighting, "7.26/187.4", "", "gone, \"felled\"", "", ""},
        Correction{t, 1, 4, 2, CorrectionField::Distance, "", "5.52", "measured again", "failed", "distance"}})
    ASSERT_TRUE(AppendCorrectionLine(corrections, c, error)) << error;

  const std::string p = perCase.WorkFolder(), n = network.WorkFolder();
  const std::string files = " quality=" + p + "quality.csv observations=" + p +
                            "observations.csv remeasure=" + p + "remeasure.csv corrections=" +
                            corrections + " quality+quality_network=" + n +
                            "quality.csv observations+observations_network=" + n +
                            "observations.csv plots=" + n + "plots.csv map_trees=" + n +
                            "map_trees.csv";
  const std::string types = TREETRI_SOURCE_DIR "/tests/csv_types.txt";
  for (const auto& [program, script] : {std::pair{kPython, "csv_types.py"}, {kRscript, "csv_types.R"}}) {
    const std::string out = perCase.WorkFolder() + script + ".out";
    const std::string command = std::string(program) + " " TREETRI_SOURCE_DIR "/tests/" + script +
                                " " + types + files + " >" + out + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << script << ":\n" << perCase.Read(std::string(script) + ".out");
  }
}

}  // namespace
}  // namespace treetri
