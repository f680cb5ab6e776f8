// Faults of the surroundings while a run writes its files: a results folder
// or work folder that cannot be written, a disk that fills up part-way, a
// file-size limit, and the batch program killed part-way. Each gives its
// message, leaves only complete lines in the results file and "mapdata.txt",
// and leaves the program able to run again as on a fresh start.
//
// The tests run as root, where permission bits stop nothing; the faults are
// made with paths that cannot be files (a path under a file, a folder in
// place of a file), with RLIMIT_FSIZE in a child process, and with a small
// or read-only tmpfs where mounting is allowed.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "data/readers.h"
#include "output/results_writer.h"
#include "platform/headless_ui.h"
#include "positioning/case_steps.h"
#include "positioning/run.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::SplitFields;
using testing::SplitLines;
using testing::TempFolder;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ------------------------------------------------------------------ data

// A 12 x 12 grid of map trees of plot 1, 4 m apart with a little jitter,
// and `cases` field trees inside it, each sighting its five nearest map
// trees with exact distances and azimuths.
struct Data {
  std::string map, sightings;
};

Data GridData(int cases) {
  Data d;
  std::vector<std::pair<double, double>> trees;
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 8) & 0xFFFF) / 65536.0;
  };
  char buf[160];
  for (int r = 0; r < 12; ++r)
    for (int c = 0; c < 12; ++c) {
      const double x = 4.0 * c + next() - 0.5, y = 4.0 * r + next() - 0.5;
      trees.emplace_back(x, y);
      std::snprintf(buf, sizeof buf, "1,%d,1,%.2f,%.2f,0,0,0,0,0,0,0,0,AER,0,t,0\r\n",
                    static_cast<int>(trees.size()), x, y);
      d.map += buf;
    }
  for (int i = 0; i < cases; ++i) {
    const double fx = 6 + 32 * next(), fy = 6 + 32 * next();
    std::vector<std::pair<double, int>> near;
    for (size_t k = 0; k < trees.size(); ++k)
      near.emplace_back(std::hypot(trees[k].first - fx, trees[k].second - fy), static_cast<int>(k));
    std::partial_sort(near.begin(), near.begin() + 5, near.end());
    std::snprintf(buf, sizeof buf, "1,%d,2,5", 1000 + i);
    std::string line = buf;
    for (int s = 0; s < 5; ++s) {
      const auto& [x, y] = trees[static_cast<size_t>(near[static_cast<size_t>(s)].second)];
      double az = std::atan2(x - fx, y - fy) * 180 / 3.14159265358979;
      if (az < 0) az += 360;
      std::snprintf(buf, sizeof buf, ",%d,%.3f,%.3f", near[static_cast<size_t>(s)].second + 1,
                    near[static_cast<size_t>(s)].first, az);
      line += buf;
    }
    d.sightings += line + "\r\n";
  }
  return d;
}

std::string Parameters(const std::string& resultsFile) {
  return "Results file name\r\n" + resultsFile +
         "\r\nPlots\r\n1\r\nAzimuth correction\r\n0\r\nOrigin\r\n0, 0\r\n"
         "Standard errors of the map coordinates\r\n0.3, 0.3\r\nRows\r\n0\r\nBlock\r\n"
         "Made by\r\nhand\r\nA\r\n0\r\nB\r\n0\r\nC\r\n0\r\nD\r\n0\r\nE\r\nx\r\nF\r\n0\r\n"
         "Standard error of a distance\r\n0.05\r\nG\r\n0\r\n"
         "Standard error of an azimuth\r\n0.0175\r\nH\r\n0\r\n";
}

// Every line of a file written by the program is complete (ends with CR
// LF) and has the field count of its kind.
void ExpectCompleteResults(const std::string& text, size_t& caseLines) {
  caseLines = 0;
  if (text.empty()) return;
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n") << "the results file ends in a half line";
  const std::vector<std::string> lines = SplitLines(text);
  ASSERT_GE(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Case,NumofIte,", 0), 0u);
  for (size_t k = 1; k < lines.size(); ++k) {
    const std::vector<std::string> f = SplitFields(lines[k]);
    ASSERT_EQ(f.size(), 15u + 14 * 5 + 1) << "results line " << k + 1 << ": " << lines[k];
    EXPECT_EQ(f[0], std::to_string(k)) << "results line " << k + 1;
  }
  caseLines = lines.size() - 1;
}

void ExpectCompleteMapData(const std::string& text, size_t& lines) {
  lines = 0;
  if (text.empty()) return;
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n") << "mapdata.txt ends in a half line";
  const std::vector<std::string> all = SplitLines(text);
  for (size_t k = 0; k < all.size(); ++k) {
    const std::vector<std::string> f = SplitFields(all[k]);
    ASSERT_EQ(f.size(), 10u + 2 * 5 + 1) << "mapdata line " << k + 1 << ": " << all[k];
    EXPECT_EQ(f[0], std::to_string(1000 + k)) << "mapdata line " << k + 1;
  }
  lines = all.size();
}

// ------------------------------------------------------- the batch program

const char* const kBatch = TREETRI_BIN_DIR "/treetri-batch";

// Starts treetri-batch in `folder` on the two files, standard output and
// error into `streams`, with a file-size limit when `fileSizeLimit` is not 0.
pid_t StartBatch(const std::string& folder, const std::string& streams, const std::string& map,
                 const std::string& sightings, rlim_t fileSizeLimit = 0) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (::chdir(folder.c_str()) != 0) ::_exit(126);
  const int out = ::open((streams + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const int err = ::open((streams + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
  if (fileSizeLimit != 0) {
    const rlimit limit{fileSizeLimit, fileSizeLimit};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  ::execl(kBatch, kBatch, map.c_str(), sightings.c_str(), static_cast<char*>(nullptr));
  ::_exit(127);
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

std::string ReadFile(const std::string& path) {
  std::string content;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) content.append(buf, n);
    std::fclose(f);
  }
  return content;
}

// The results of a batch run on a fresh start in a folder of its own.
std::string FreshBatchResults(const Data& d) {
  TempFolder fresh;
  fresh.Write(kParameterFileName, Parameters("results.txt"));
  const std::string map = fresh.Write("map.txt", d.map);
  const std::string sightings = fresh.Write("sightings.txt", d.sightings);
  const int status = WaitFor(StartBatch(fresh.Path(), fresh.Path(), map, sightings));
  EXPECT_EQ(ExitStatus(status), 0) << fresh.Read("stderr.txt");
  return fresh.Read("results.txt");
}

// After a fault, the batch program in the same folder gives what it gives
// on a fresh start; "mapdata.txt" gets the run's lines after the old ones.
void ExpectBatchRunsAgainAsFresh(const std::string& folder, const std::string& streams,
                                 const std::string& map, const std::string& sightings,
                                 const Data& d, size_t cases) {
  const size_t mapDataBefore = SplitLines(ReadFile(folder + "/" + kMapDataFileName)).size();
  const int status = WaitFor(StartBatch(folder, streams, map, sightings));
  ASSERT_EQ(ExitStatus(status), 0) << ReadFile(streams + "/stderr.txt");
  EXPECT_EQ(ReadFile(folder + "/results.txt"), FreshBatchResults(d));
  EXPECT_EQ(SplitLines(ReadFile(folder + "/" + kMapDataFileName)).size(), mapDataBefore + cases);
}

// ------------------------------------------------------------- tmpfs mounts

// A tmpfs of the given size mounted on a fresh folder; unmounted again at
// the end. Mounting needs privileges a test may not have: Mounted() tells.
class SmallDisk {
 public:
  SmallDisk(const std::string& path, const std::string& options) : path_(path) {
    ::mkdir(path.c_str(), 0777);
    mounted_ = ::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    ::rmdir(path_.c_str());
  }
  bool Mounted() const { return mounted_; }
  bool Remount(const std::string& options) {
    return ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT, options.c_str()) == 0;
  }
  bool MakeReadOnly() {
    return ::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

// ------------------------------------------------- folders that cannot be written

class UnwritableOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    t.WorkFolder = dir.WorkFolder();
    data = GridData(6);
    ASSERT_TRUE(ReadPhotoMapFile(t, ui, dir.Write("map.txt", data.map)));
    ASSERT_TRUE(ReadSightingFile(t, ui, dir.Write("sightings.txt", data.sightings)));
  }
  std::string Messages(size_t from) const {
    std::string s;
    for (size_t i = from; i < ui.messages.size(); ++i) s += ui.messages[i] + " | ";
    return s;
  }
  // A run into writable places afterwards gives what a fresh start gives.
  void ExpectRunAsOnAFreshStart() {
    dir.Write(kParameterFileName, Parameters(dir.Path() + "/results.txt"));
    const std::uint64_t state = t.RandomState;
    ASSERT_TRUE(Simulate(t, ui).completed) << Messages(0);

    TempFolder freshDir;
    Tables fresh;
    HeadlessUi freshUi;
    fresh.WorkFolder = freshDir.WorkFolder();
    fresh.RandomState = state;
    ASSERT_TRUE(ReadPhotoMapFile(fresh, freshUi, freshDir.Write("map.txt", data.map)));
    ASSERT_TRUE(ReadSightingFile(fresh, freshUi, freshDir.Write("sightings.txt", data.sightings)));
    freshDir.Write(kParameterFileName, Parameters(freshDir.Path() + "/results.txt"));
    ASSERT_TRUE(Simulate(fresh, freshUi).completed);
    EXPECT_EQ(dir.Read("results.txt"), freshDir.Read("results.txt"));
    EXPECT_EQ(ui.list, freshUi.list);
  }

  TempFolder dir;
  Tables t;
  HeadlessUi ui;
  Data data;
};

TEST_F(UnwritableOutput, ResultsFileThatCannotBeCreatedStopsTheRunBeforeAnyCase) {
  dir.Write("a-file", "not a folder\r\n");
  ::mkdir((dir.Path() + "/a-folder").c_str(), 0777);
  struct Case {
    std::string name, reason;
  };
  const std::vector<Case> cases = {
      {dir.Path() + "/a-file/results.txt", "Not a directory"},
      {dir.Path() + "/no-such-folder/results.txt", "No such file or directory"},
      {dir.Path() + "/a-folder", "Is a directory"},
  };
  ui.list = {"a line of the run before"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.Write(kParameterFileName, Parameters(c.name));
    const size_t from = ui.messages.size();
    const RunOutcome o = Simulate(t, ui);
    EXPECT_TRUE(o.parametersRead);
    EXPECT_FALSE(o.completed);
    EXPECT_EQ(o.cases, 0);
    ASSERT_EQ(ui.messages.size(), from + 1) << Messages(from);
    EXPECT_EQ(ui.messages[from],
              "The results file \"" + c.name + "\" cannot be created: " + c.reason + ". The run is stopped.");
    // Nothing was written, the list is as it was.
    EXPECT_FALSE(dir.Exists(kMapDataFileName));
    EXPECT_EQ(ui.list, std::vector<std::string>{"a line of the run before"});
    EXPECT_FALSE(t.RunInProgress);
  }
  ExpectRunAsOnAFreshStart();
}

TEST_F(UnwritableOutput, MapDataThatCannotBeWrittenStopsTheRunAfterTheFirstCase) {
  ::mkdir((dir.Path() + "/" + kMapDataFileName).c_str(), 0777);
  dir.Write(kParameterFileName, Parameters(dir.Path() + "/results.txt"));
  const size_t from = ui.messages.size();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_FALSE(o.completed);
  EXPECT_EQ(o.cases, 1);
  const std::string m = Messages(from);
  EXPECT_TRUE(Contains(m, "The map data file \"" + t.WorkFolder + kMapDataFileName +
                              "\" cannot be written: Is a directory. It holds the lines of the "
                              "cases before case 1."))
      << m;
  EXPECT_TRUE(Contains(m, "The run is stopped after case 1.")) << m;
  EXPECT_FALSE(Contains(m, "Ready!")) << m;
  // The case that was computed is in the results file and the list.
  size_t lines = 0;
  ExpectCompleteResults(dir.Read("results.txt"), lines);
  EXPECT_EQ(lines, 1u);
  EXPECT_EQ(ui.list.size(), 2u);

  ::rmdir((dir.Path() + "/" + kMapDataFileName).c_str());
  ExpectRunAsOnAFreshStart();
}

TEST_F(UnwritableOutput, DumpFilesThatCannotBeWrittenGiveOneMessageAndTheRunGoesOn) {
  ::mkdir((dir.Path() + "/" + kDumpLFileName).c_str(), 0777);
  dir.Write(kParameterFileName, Parameters(dir.Path() + "/results.txt"));
  const size_t from = ui.messages.size();
  const RunOutcome o = Simulate(t, ui);
  EXPECT_TRUE(o.completed);
  EXPECT_EQ(o.cases, 6);
  int dumpMessages = 0;
  for (size_t i = from; i < ui.messages.size(); ++i)
    if (Contains(ui.messages[i], "The dump file \"" + t.WorkFolder + kDumpLFileName +
                                     "\": Is a directory. The run goes on without the dump files."))
      ++dumpMessages;
  EXPECT_EQ(dumpMessages, 1) << Messages(from);
  size_t lines = 0;
  ExpectCompleteResults(dir.Read("results.txt"), lines);
  EXPECT_EQ(lines, 6u);
  ::rmdir((dir.Path() + "/" + kDumpLFileName).c_str());
  ExpectRunAsOnAFreshStart();
}

TEST_F(UnwritableOutput, ReadOnlyFolders) {
  SmallDisk disk(dir.Path() + "/ro", "size=256k");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const std::string ro = disk.Path();
  // The read-only folder's parameter file names a results file outside it.
  {
    FILE* f = std::fopen((ro + "/" + kParameterFileName).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string text = Parameters(dir.Path() + "/results.txt");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  ASSERT_TRUE(disk.MakeReadOnly());

  // The results file in the read-only folder: the run stops before any case.
  dir.Write(kParameterFileName, Parameters(ro + "/results.txt"));
  size_t from = ui.messages.size();
  RunOutcome o = Simulate(t, ui);
  EXPECT_FALSE(o.completed);
  EXPECT_EQ(o.cases, 0);
  EXPECT_EQ(Messages(from), "The results file \"" + ro +
                                "/results.txt\" cannot be created: Read-only file system. The "
                                "run is stopped. | ");

  // The work folder read-only, the results elsewhere: the dump files are
  // given up with one message, then "mapdata.txt" stops the run after the
  // first case, whose results line is written.
  t.WorkFolder = ro + "/";
  from = ui.messages.size();
  o = Simulate(t, ui);
  EXPECT_FALSE(o.completed);
  EXPECT_EQ(o.cases, 1);
  const std::string m = Messages(from);
  EXPECT_TRUE(Contains(m, "The dump file \"" + ro + "/" + kDumpAFileName +
                              "\": Read-only file system. The run goes on without the dump files."))
      << m;
  EXPECT_TRUE(Contains(m, "The map data file \"" + ro + "/" + kMapDataFileName +
                              "\" cannot be written: Read-only file system."))
      << m;
  EXPECT_TRUE(Contains(m, "The run is stopped after case 1.")) << m;
  size_t lines = 0;
  ExpectCompleteResults(dir.Read("results.txt"), lines);
  EXPECT_EQ(lines, 1u);

  t.WorkFolder = dir.WorkFolder();
  ExpectRunAsOnAFreshStart();
}

// --------------------------------------------- full disk and size limits

TEST(DiskFull, AFileSizeLimitPartWayStopsTheRunWithCompleteLines) {
  TempFolder dir;
  const Data d = GridData(400);
  dir.Write(kParameterFileName, Parameters("results.txt"));
  const std::string map = dir.Write("map.txt", d.map);
  const std::string sightings = dir.Write("sightings.txt", d.sightings);
  const rlim_t limit = 64 * 1024;
  const int status = WaitFor(StartBatch(dir.Path(), dir.Path(), map, sightings, limit));
  const std::string err = dir.Read("stderr.txt");
  ASSERT_EQ(ExitStatus(status), 1) << err;
  EXPECT_TRUE(Contains(err, "The results file \"results.txt\" cannot be written: File too large. "
                            "It holds the lines of the cases before case "))
      << err;
  EXPECT_TRUE(Contains(err, "The run is stopped after case ")) << err;
  EXPECT_FALSE(Contains(err, "Ready!")) << err;

  const std::string results = dir.Read("results.txt");
  EXPECT_LE(results.size(), limit);
  size_t caseLines = 0, mapLines = 0;
  ExpectCompleteResults(results, caseLines);
  ExpectCompleteMapData(dir.Read(kMapDataFileName), mapLines);
  EXPECT_GT(caseLines, 10u);
  EXPECT_LT(caseLines, 400u);
  // The case at which the results file failed has its map data line.
  EXPECT_EQ(mapLines, caseLines + 1);
  EXPECT_TRUE(Contains(err, "before case " + std::to_string(caseLines + 1) + ".")) << err;

  ExpectBatchRunsAgainAsFresh(dir.Path(), dir.Path(), map, sightings, d, 400);
}

TEST(DiskFull, AFullDiskPartWayStopsTheRunWithCompleteLines) {
  TempFolder dir;
  SmallDisk disk(dir.Path() + "/disk", "size=48k");
  if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
  const Data d = GridData(400);
  const std::string map = dir.Write("map.txt", d.map);
  const std::string sightings = dir.Write("sightings.txt", d.sightings);
  {
    FILE* f = std::fopen((disk.Path() + "/" + kParameterFileName).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string text = Parameters("results.txt");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const int status = WaitFor(StartBatch(disk.Path(), dir.Path(), map, sightings));
  const std::string err = dir.Read("stderr.txt");
  ASSERT_EQ(ExitStatus(status), 1) << err;
  EXPECT_TRUE(Contains(err, "cannot be written: No space left on device")) << err;
  EXPECT_TRUE(Contains(err, "The run is stopped after case ")) << err;

  size_t caseLines = 0, mapLines = 0;
  ExpectCompleteResults(ReadFile(disk.Path() + "/results.txt"), caseLines);
  ExpectCompleteMapData(ReadFile(disk.Path() + "/" + kMapDataFileName), mapLines);
  EXPECT_GT(caseLines, 0u);
  EXPECT_LT(caseLines, 400u);
  // Each file holds the lines of the cases it could take, whichever of the
  // two filled the disk.
  EXPECT_LE(caseLines > mapLines ? caseLines - mapLines : mapLines - caseLines, 1u);

  // Room again: the same folder runs as on a fresh start.
  ASSERT_TRUE(disk.Remount("size=4m"));
  ExpectBatchRunsAgainAsFresh(disk.Path(), dir.Path(), map, sightings, d, 400);
}

// ------------------------------------------------------ killed part-way

TEST(Killed, KilledPartWayLeavesOnlyCompleteLines) {
  TempFolder dir;
  const Data d = GridData(2000);
  dir.Write(kParameterFileName, Parameters("results.txt"));
  const std::string map = dir.Write("map.txt", d.map);
  const std::string sightings = dir.Write("sightings.txt", d.sightings);
  const pid_t pid = StartBatch(dir.Path(), dir.Path(), map, sightings);
  // Wait until some cases are written, then kill it without warning.
  bool finished = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      finished = true;
      break;
    }
    const std::string partial = dir.Read("results.txt");
    if (std::count(partial.begin(), partial.end(), '\n') > 20) break;
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  ASSERT_FALSE(finished) << "the run ended before it could be killed";
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  const int status = WaitFor(pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  size_t caseLines = 0, mapLines = 0;
  ExpectCompleteResults(dir.Read("results.txt"), caseLines);
  ExpectCompleteMapData(dir.Read(kMapDataFileName), mapLines);
  EXPECT_GE(caseLines, 20u);
  EXPECT_LT(caseLines, 2000u);
  // A case's map data line is written just before its results line.
  EXPECT_TRUE(mapLines == caseLines || mapLines == caseLines + 1)
      << mapLines << " map data lines, " << caseLines << " results lines";

  ExpectBatchRunsAgainAsFresh(dir.Path(), dir.Path(), map, sightings, d, 2000);
}

}  // namespace
}  // namespace treetri
