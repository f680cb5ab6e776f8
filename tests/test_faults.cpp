// Faults of the surroundings while treetri-batch writes its files: a results
// file that cannot be created, a disk that fills up part-way (a file-size
// limit in the child) and the program killed part-way. The results file and
// "mapdata.txt" then hold complete lines only, one per finished case, and a
// run in the same folder afterwards gives what a fresh start gives.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

#include "output/results_writer.h"
#include "output/dump_files.h"
#include "core/run.h"
#include "tests/case_builder.h"
#include "tests/support.h"

namespace treetri {
namespace {

using namespace testing;

// A 12 x 12 grid of map trees 4 m apart with a little jitter, and `cases`
// field trees inside it, each sighting its five nearest map trees exactly.
void WriteGrid(const TempFolder& dir, int cases) {
  std::vector<MapPoint> trees;
  std::uint32_t seed = 12345;
  auto next = [&seed] { return ((seed = seed * 1103515245u + 12345u) >> 8 & 0xFFFF) / 65536.0; };
  std::string map, sightings;
  for (int k = 0; k < 144; ++k) {
    trees.push_back({k + 1, 4.0 * (k % 12) + next() - 0.5, 4.0 * (k / 12) + next() - 0.5});
    map += MapRecord(1, k + 1, 1, trees.back().x, trees.back().y);
  }
  for (int i = 0; i < cases; ++i) {
    const double fx = 6 + 32 * next(), fy = 6 + 32 * next();
    std::partial_sort(trees.begin(), trees.begin() + 5, trees.end(), [&](const MapPoint& a, const MapPoint& b) {
      return std::hypot(a.x - fx, a.y - fy) < std::hypot(b.x - fx, b.y - fy); });
    std::vector<Sighting> slots;
    for (int s = 0; s < 5; ++s) slots.push_back(Sight(trees[s].tree, fx, fy, trees[s].x, trees[s].y));
    sightings += SightingRecord(1, 1000 + i, 2, 5, slots);
  }
  dir.Write("map.txt", map);
  dir.Write("sightings.txt", sightings);
  dir.Write(kParameterFileName, ParameterFile(Parameters{}));
}

// The number of lines after `skip` header lines; each must be complete, with
// `fields` fields and the number of its case (from `first`) in field 1.
size_t CompleteLines(const std::string& text, size_t skip, size_t fields, int first) {
  if (text.empty()) return 0;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "a half-written last line";
  const std::vector<std::string> lines = SplitLines(text);
  for (size_t k = skip; k < lines.size(); ++k) {
    EXPECT_EQ(SplitFields(lines[k]).size(), fields) << "line " << k + 1 << ": " << lines[k];
    EXPECT_EQ(SplitFields(lines[k])[0], std::to_string(first + static_cast<int>(k - skip)));
  }
  return lines.size() - skip;
}

// Starts treetri-batch in `dir`, its output into stdout.txt and stderr.txt
// (in `streams`), with a file-size limit when `limit` is not 0.
pid_t StartBatch(const std::string& dir, rlim_t limit = 0, const std::string& streams = ".") {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const rlimit l{limit, limit};
  if (::chdir(dir.c_str()) != 0 || !std::freopen((streams + "/stdout.txt").c_str(), "w", stdout) ||
      !std::freopen((streams + "/stderr.txt").c_str(), "w", stderr) || (limit != 0 && ::setrlimit(RLIMIT_FSIZE, &l) != 0))
    ::_exit(126);
  ::execl(TREETRI_BIN_DIR "/treetri-batch", "treetri-batch", "map.txt", "sightings.txt", nullptr);
  ::_exit(127);
}

pid_t StartBatch(const TempFolder& dir, rlim_t limit = 0) { return StartBatch(dir.Path(), limit); }

int Wait(pid_t pid, int status = 0) { return ::waitpid(pid, &status, 0) == pid ? status : -1; }

void ExpectSaid(const TempFolder& dir, const std::string& part) {
  EXPECT_NE(dir.Read("stderr.txt").find(part), std::string::npos) << dir.Read("stderr.txt");
}

// After a fault the same folder runs as a fresh start does; "mapdata.txt"
// gets the run's lines after the old ones.
void ExpectRunsAgainAsFresh(const TempFolder& dir, int cases) {
  TempFolder fresh;
  WriteGrid(fresh, cases);
  ASSERT_EQ(Wait(StartBatch(fresh)), 0) << fresh.Read("stderr.txt");
  const size_t before = dir.Exists(kMapDataFileName) ? SplitLines(dir.Read(kMapDataFileName)).size() : 0;
  ASSERT_EQ(Wait(StartBatch(dir)), 0) << dir.Read("stderr.txt");
  EXPECT_EQ(dir.Read("results.txt"), fresh.Read("results.txt"));
  EXPECT_EQ(SplitLines(dir.Read(kMapDataFileName)).size(), before + static_cast<size_t>(cases));
}

TEST(Faults, AResultsFileThatCannotBeCreatedStopsTheRunBeforeAnyCase) {
  TempFolder dir;
  WriteGrid(dir, 6);
  dir.Write("a-file", "not a folder\r\n");
  ::mkdir((dir.Path() + "/a-folder").c_str(), 0777);
  for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
           {"a-file/results.txt", "Not a directory"}, {"no-such-folder/results.txt", "No such file or directory"},
           {"a-folder", "Is a directory"}}) {
    dir.Write(kParameterFileName, ParameterFile(Parameters{name}));
    EXPECT_EQ(WEXITSTATUS(Wait(StartBatch(dir))), 1);
    ExpectSaid(dir, "The results file \"" + name + "\" cannot be created: " + reason + ". The run is stopped.");
    EXPECT_FALSE(dir.Exists(kMapDataFileName));
  }
  dir.Write(kParameterFileName, ParameterFile(Parameters{}));
  ExpectRunsAgainAsFresh(dir, 6);
}

TEST(Faults, MapDataOrADumpFileThatCannotBeWritten) {
  TempFolder dir;
  WriteGrid(dir, 6);
  // A folder where "mapdata.txt" belongs: the run stops after its first case.
  const std::string mapData = dir.Path() + "/" + kMapDataFileName;
  ::mkdir(mapData.c_str(), 0777);
  EXPECT_EQ(WEXITSTATUS(Wait(StartBatch(dir))), 1);
  ExpectSaid(dir, "The map data file \"" + mapData + "\" cannot be written: Is a directory. It holds "
                  "the lines of the cases before case 1.");
  ExpectSaid(dir, "The run is stopped after case 1.");
  EXPECT_EQ(CompleteLines(dir.Read("results.txt"), 1, ResultsFieldCount(5), 1), 1u);
  ::rmdir(mapData.c_str());
  // A dump file that cannot be written is given up with one message.
  const std::string dump = dir.Path() + "/" + kDumpLFileName;
  std::remove(dump.c_str());
  ASSERT_EQ(::mkdir(dump.c_str(), 0777), 0);
  EXPECT_EQ(WEXITSTATUS(Wait(StartBatch(dir))), 0);
  const std::string err = dir.Read("stderr.txt"), said = "The dump file \"" + dump +
      "\": Is a directory. The run goes on without the dump files.";
  EXPECT_NE(err.find(said), std::string::npos) << err;
  EXPECT_EQ(err.find(said), err.rfind(said)) << err;
  EXPECT_EQ(CompleteLines(dir.Read("results.txt"), 1, ResultsFieldCount(5), 1), 6u);
  ::rmdir(dump.c_str());
  ExpectRunsAgainAsFresh(dir, 6);
}

TEST(Faults, AFullDiskPartWayLeavesCompleteLinesOfTheFinishedCases) {
  TempFolder dir;
  WriteGrid(dir, 400);
  EXPECT_EQ(WEXITSTATUS(Wait(StartBatch(dir, 64 * 1024))), 1);
  const size_t cases = CompleteLines(dir.Read("results.txt"), 1, ResultsFieldCount(5), 1);
  EXPECT_TRUE(cases > 10 && cases < 400) << cases;
  // The case whose results line did not fit has its map data line.
  EXPECT_EQ(CompleteLines(dir.Read(kMapDataFileName), 0, MapDataFieldCount(5) + 1, 1000), cases + 1);
  ExpectSaid(dir, "The results file \"results.txt\" cannot be written: File too large. It holds the lines "
                  "of the cases before case " + std::to_string(cases + 1) + ".");
  ExpectSaid(dir, "The run is stopped after case " + std::to_string(cases + 1) + ".");
  ExpectRunsAgainAsFresh(dir, 400);
}

TEST(Faults, KilledPartWayLeavesCompleteLinesOfTheFinishedCases) {
  TempFolder dir;
  WriteGrid(dir, 2000);
  const pid_t pid = StartBatch(dir);
  // Wait (60 s at most) until some cases are written, then kill it unwarned.
  std::string part;
  for (int i = 0; i < 120000 && std::count(part.begin(), part.end(), '\n') <= 20 && ::usleep(500) == 0; ++i)
    part = dir.Read("results.txt");
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  const int status = Wait(pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run ended before the kill";
  const size_t cases = CompleteLines(dir.Read("results.txt"), 1, ResultsFieldCount(5), 1);
  const size_t mapLines = CompleteLines(dir.Read(kMapDataFileName), 0, MapDataFieldCount(5) + 1, 1000);
  EXPECT_TRUE(cases >= 20 && cases < 2000) << cases;
  // A case's map data line is written just before its results line.
  EXPECT_TRUE(mapLines == cases || mapLines == cases + 1) << mapLines << " / " << cases;
  ExpectRunsAgainAsFresh(dir, 2000);
}

}  // namespace
}  // namespace treetri
