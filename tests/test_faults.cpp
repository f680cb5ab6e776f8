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
#include <csignal>
#include <cstdio>
#include <map>

#include <gtest/gtest.h>

#include "core/export_target.h"
#include "core/run.h"
#include "core/startup.h"
#include "data/plot_tree_index.h"
#include "data/readers.h"
#include "output/results_writer.h"
#include "output/dump_files.h"
#include "platform/feedback.h"
#include "platform/files.h"
#include "platform/headless_ui.h"
#include "platform/run_guard.h"
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

// The text up to its last line end: after a kill the last line may be
// unfinished (the system can stop a write between two pages of it).
std::string WholeLines(const std::string& text) { return text.substr(0, text.rfind('\n') + 1); }

const std::vector<std::string> kBatch = {TREETRI_BIN_DIR "/treetri-batch", "map.txt", "sightings.txt"};

// Starts `command` in a child once `prepare` has set the child up (false:
// it could not), with the signals' default actions (the test's own
// dispositions would pass on through exec).
template <class Prepare>
pid_t Start(const std::vector<std::string>& command, Prepare prepare) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  std::signal(SIGXFSZ, SIG_DFL);
  std::signal(SIGPIPE, SIG_DFL);
  if (!prepare()) ::_exit(126);
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

// Starts `command` (treetri-batch by default) in `dir`, its output into
// stdout.txt and stderr.txt (in `streams`), with a file-size limit when
// `limit` is not 0 and standard output on `out` when it is given.
pid_t StartBatch(const std::string& dir, rlim_t limit = 0, const std::string& streams = ".",
                 const std::vector<std::string>& command = kBatch, int out = -1) {
  return Start(command, [&] {
    const rlimit l{limit, limit};
    return ::chdir(dir.c_str()) == 0 && std::freopen((streams + "/stdout.txt").c_str(), "w", stdout) &&
           std::freopen((streams + "/stderr.txt").c_str(), "w", stderr) &&
           (limit == 0 || ::setrlimit(RLIMIT_FSIZE, &l) == 0) && (out < 0 || ::dup2(out, STDOUT_FILENO) >= 0);
  });
}

pid_t StartBatch(const TempFolder& dir, rlim_t limit = 0) { return StartBatch(dir.Path(), limit); }

int Wait(pid_t pid, int status = 0) { return ::waitpid(pid, &status, 0) == pid ? status : -1; }

void ExpectSaid(const TempFolder& dir, const std::string& part) {
  EXPECT_NE(dir.Read("stderr.txt").find(part), std::string::npos) << dir.Read("stderr.txt");
}

// The program started as `pid` exits with status 1 (not by a signal), having
// said `part` on the standard error in `streams`.
void ExpectStopped(pid_t pid, const TempFolder& streams, const std::string& part) {
  const int status = Wait(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
  ExpectSaid(streams, part);
}

// After a fault the same folder runs as a fresh start does; "mapdata.txt"
// gets the run's lines after its old whole lines, and an unfinished last
// line is taken out with a message that shows it.
void ExpectRunsAgainAsFresh(const TempFolder& dir, int cases) {
  TempFolder fresh;
  WriteGrid(fresh, cases);
  ASSERT_EQ(Wait(StartBatch(fresh)), 0) << fresh.Read("stderr.txt");
  const std::string old = dir.Exists(kMapDataFileName) ? dir.Read(kMapDataFileName) : "";
  const std::string kept = WholeLines(old);
  ASSERT_EQ(Wait(StartBatch(dir)), 0) << dir.Read("stderr.txt");
  EXPECT_EQ(dir.Read("results.txt"), fresh.Read("results.txt"));
  EXPECT_EQ(dir.Read(kMapDataFileName), kept + fresh.Read(kMapDataFileName));
  const std::string said = "ended in a line left unfinished by a run that was stopped; it is taken out: \"";
  if (kept != old)
    ExpectSaid(dir, said + old.substr(kept.size()) + "\".");
  else
    EXPECT_EQ(dir.Read("stderr.txt").find(said), std::string::npos);
}

// A results file that cannot be created stops the run before any case; map
// data that cannot be written stops it after the case; a dump file that
// cannot be written is given up with one message and the run goes on.
TEST(Faults, AResultsMapDataOrDumpFileThatCannotBeWritten) {
  TempFolder dir;
  WriteGrid(dir, 6);
  dir.Write("a-file", "not a folder\r\n");
  ::mkdir((dir.Path() + "/a-folder").c_str(), 0777);
  for (const auto& [name, reason] : std::vector<std::pair<std::string, std::string>>{
           {"a-file/results.txt", "Not a directory"}, {"no-such-folder/results.txt", "No such file or directory"},
           {"a-folder", "Is a directory"}}) {
    dir.Write(kParameterFileName, ParameterFile(Parameters{name}));
    ExpectStopped(StartBatch(dir), dir,
                  "The results file \"" + name + "\" cannot be created: " + reason + ". The run is stopped.");
    EXPECT_FALSE(dir.Exists(kMapDataFileName));
  }
  dir.Write(kParameterFileName, ParameterFile(Parameters{}));
  // A folder where "mapdata.txt" belongs: the run stops after its first case.
  const std::string mapData = dir.Path() + "/" + kMapDataFileName;
  ::mkdir(mapData.c_str(), 0777);
  ExpectStopped(StartBatch(dir), dir,
                "The map data file \"" + mapData +
                    "\" cannot be written: Is a directory. "
                    "It holds the lines of the cases before case 1.");
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
  ExpectStopped(StartBatch(dir, 64 * 1024), dir, "cannot be written: File too large.");
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
  // Standard output is a pipe that nobody reads: once it is full the run
  // blocks part-way, so it cannot finish before the kill however fast it is.
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const pid_t pid = StartBatch(dir.Path(), 0, dir.Path(), kBatch, pipeEnds[1]);
  ::close(pipeEnds[1]);
  // Wait (60 s at most) until some cases are written, then kill it unwarned.
  std::string part;
  for (int i = 0; i < 120000 && std::count(part.begin(), part.end(), '\n') <= 20 && ::usleep(500) == 0; ++i)
    part = dir.Read("results.txt");
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  const int status = Wait(pid);
  ::close(pipeEnds[0]);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run ended before the kill";
  const size_t cases = CompleteLines(WholeLines(dir.Read("results.txt")), 1, ResultsFieldCount(5), 1);
  const size_t mapLines =
      CompleteLines(WholeLines(dir.Read(kMapDataFileName)), 0, MapDataFieldCount(5) + 1, 1000);
  EXPECT_TRUE(cases >= 20 && cases < 2000) << cases;
  // A case's map data line is written just before its results line.
  EXPECT_TRUE(mapLines == cases || mapLines == cases + 1) << mapLines << " / " << cases;
  ExpectRunsAgainAsFresh(dir, 2000);
}

// An unfinished last line of "mapdata.txt", which a kill leaves now and
// then, is taken out before the next run's lines; an unended text longer
// than any line is not a run's: it is kept and ended.
TEST(Faults, AnUnfinishedLineOfMapDataIsTakenOutBeforeTheNextRunsLines) {
  TempFolder dir;
  WriteGrid(dir, 6);
  ASSERT_EQ(Wait(StartBatch(dir)), 0);
  const std::string lines = dir.Read(kMapDataFileName);
  dir.Write(kMapDataFileName, lines + lines.substr(0, 17));
  ExpectRunsAgainAsFresh(dir, 6);
  ASSERT_EQ(SplitLines(dir.Read(kMapDataFileName)).size(), 12u);
  const std::string foreign(70000, 'x');
  dir.Write(kMapDataFileName, foreign);
  ASSERT_EQ(Wait(StartBatch(dir)), 0);
  EXPECT_EQ(dir.Read(kMapDataFileName), foreign + "\r\n" + lines);
}

TEST(Guards, AResultsFileThatIsAnotherFileOfTheRunIsRefusedBeforeAnyFileIsTouched) {
  TempFolder dir, outside;
  WriteGrid(dir, 6);
  ASSERT_EQ(Wait(StartBatch(dir)), 0);  // mapdata.txt, the dump files and the lock file exist now
  ASSERT_EQ(::link((dir.Path() + "/sightings.txt").c_str(), (dir.Path() + "/hard").c_str()), 0);
  ASSERT_EQ(::symlink(kParameterFileName, (dir.Path() + "/soft").c_str()), 0);
  const std::string folder = dir.WorkFolder();
  for (const auto& [name, what] : std::vector<std::pair<std::string, std::string>>{
           {"map.txt", "photogrammetric map file \"map.txt\""}, {"./sightings.txt", "sighting file \"sightings.txt\""},
           {"hard", "sighting file \"sightings.txt\""}, {"soft", "parameter file \"" + folder + kParameterFileName},
           {kMapDataFileName, "map data file \"" + folder + kMapDataFileName}, {"./A_txt.txt", "dump file \"" + folder + "A_txt.txt"},
           {"PILKKUTESTI.TXT", "probe file"}, {"treetri.lock", "lock file"}}) {
    SCOPED_TRACE(name);
    dir.Write(kParameterFileName, ParameterFile(Parameters{name}));
    const auto before = dir.Snapshot();
    ExpectStopped(StartBatch(dir.Path(), 0, outside.Path()), outside,
                  "The results file \"" + name + "\" is the " + what);
    EXPECT_TRUE(dir.Snapshot() == before);
  }
  // Nor is an input file that has the name of a file the run writes.
  dir.Write(kParameterFileName, ParameterFile(Parameters{}));
  dir.Write("observations.csv", dir.Read("sightings.txt"));
  const auto inputs = dir.Snapshot();
  ExpectStopped(
      StartBatch(dir.Path(), 0, outside.Path(), {kBatch[0], "map.txt", "observations.csv"}),
      outside,
      "The quality file \"" + folder +
          "observations.csv\" is the sighting file \"observations.csv\"");
  EXPECT_TRUE(dir.Snapshot() == inputs);
  // A link planted for a dump file is not written through.
  outside.Write("target", "theirs");
  ASSERT_EQ(std::remove((folder + kDumpLFileName).c_str()), 0);
  ASSERT_EQ(::symlink((outside.Path() + "/target").c_str(), (folder + kDumpLFileName).c_str()), 0);
  ExpectStopped(StartBatch(dir), dir, "The dump file \"" + folder + kDumpLFileName + "\" is a symbolic link");
  EXPECT_EQ(outside.Read("target"), "theirs");
}

// A second run in the folder is refused naming the first, and still after
// a user tidying a "stale" lock file deletes treetri.lock during the first:
// the lock is on the folder too. Once the first ends the folder is free.
TEST(Guards, ASecondRunInTheFolderIsRefusedAlsoWithoutTheLockFile) {
  TempFolder dir;
  WriteGrid(dir, 6);
  ASSERT_EQ(Wait(StartBatch(dir)), 0);
  FolderLock first;  // a run under way in the folder
  std::string detail;
  ASSERT_EQ(first.Acquire(dir.WorkFolder(), detail), FolderLock::Result::Locked) << detail;
  const auto before = dir.Snapshot();
  ExpectStopped(StartBatch(dir), dir,
                "The folder \"" + dir.WorkFolder() +
                    "\" is in use by another run (treetri_tests, "
                    "process " +
                    std::to_string(::getpid()) +
                    "): two runs in one folder would mix their files.");
  EXPECT_TRUE(dir.Snapshot() == before);
  ASSERT_EQ(std::remove((dir.WorkFolder() + kLockFileName).c_str()), 0);
  const auto withoutLockFile = dir.Snapshot();
  ExpectStopped(StartBatch(dir), dir,
                "The folder \"" + dir.WorkFolder() + "\" is in use by another run (another run)");
  EXPECT_TRUE(dir.Snapshot() == withoutLockFile);
  // Nor does a second lock in this process get in.
  FolderLock second;
  EXPECT_EQ(second.Acquire(dir.WorkFolder(), detail), FolderLock::Result::Busy);
  first.Release();
  EXPECT_EQ(Wait(StartBatch(dir)), 0);
  EXPECT_EQ(second.Acquire(dir.WorkFolder(), detail), FolderLock::Result::Locked) << detail;
}

// A run under way in `folder`, held by this process: its guard checked and
// locked every file the run writes.
struct RunUnderWay {
  Tables t;
  Feedback feedback;
  RunGuard guard;
  bool began;
  RunUnderWay(const TempFolder& folder, const std::string& results, const std::vector<RunHooks*>& sinks = {}) {
    t.WorkFolder = folder.WorkFolder();
    t.MapFileName = folder.WorkFolder() + "map.txt";
    t.SightingFileName = folder.WorkFolder() + "sightings.txt";
    t.Parameters.ResultsFileName = results;
    began = guard.Begin(t, feedback, sinks);
  }
};

// Two work folders with the same inputs, and a third that both may name. b
// has the files a start makes in any folder (the probe file; the lock file,
// which names the last run that took the folder, is left out of Outputs).
struct TwoFolders {
  TempFolder a, b, shared;
  TwoFolders() {
    WriteGrid(a, 6);
    for (const char* name : {"map.txt", "sightings.txt", kParameterFileName}) b.Write(name, a.Read(name));
    b.Write(kProbeFileName, "");
  }
  std::map<std::string, std::string> Outputs() const {
    auto files = b.Snapshot();
    files.erase(kLockFileName);
    return files;
  }
};

// Two work folders whose parameter files name one results file: the lock is
// on each file the run writes, not only on the folder, so the second run is
// refused naming the file and the run that writes it. No lock file is
// involved: deleting the first folder's treetri.lock changes nothing.
TEST(Guards, TwoFoldersThatNameOneResultsFileCannotBothWriteIt) {
  TwoFolders f;
  auto& [a, b, shared] = f;
  const std::string results = shared.Path() + "/results.txt";
  shared.Write("results.txt", "the first run's lines\n");
  b.Write(kParameterFileName, ParameterFile(Parameters{results}));
  ASSERT_EQ(::link(results.c_str(), (shared.Path() + "/hard").c_str()), 0);
  const std::string self = "(treetri_tests, process " + std::to_string(::getpid()) + ")";
  {
    RunUnderWay first(a, results);
    ASSERT_TRUE(first.began);
    ASSERT_EQ(std::remove((a.WorkFolder() + kLockFileName).c_str()), 0);
    const std::string mapData = a.Read(kMapDataFileName);
    // The file, another name of it (a hard link), and a file the first run
    // writes in its own folder.
    for (const std::string& name : {results, shared.Path() + "/hard", a.WorkFolder() + kMapDataFileName}) {
      SCOPED_TRACE(name);
      b.Write(kParameterFileName, ParameterFile(Parameters{name}));
      const auto before = f.Outputs();
      ExpectStopped(StartBatch(b), b,
                    "The results file \"" + name + "\" is being written by another run " + self +
                        ": two runs writing one file would mix it. The run is stopped.");
      EXPECT_TRUE(f.Outputs() == before);
    }
    EXPECT_EQ(shared.Read("results.txt"), "the first run's lines\n");
    EXPECT_EQ(a.Read(kMapDataFileName), mapData);
  }
  // Once the first run has ended the second gets in.
  b.Write(kParameterFileName, ParameterFile(Parameters{results}));
  EXPECT_EQ(Wait(StartBatch(b)), 0) << b.Read("stderr.txt");
  EXPECT_EQ(SplitLines(shared.Read("results.txt")).size(), 6u + 1u);
}

// A GeoPackage that one run will write after it ends is locked from its
// start until its program ends: a batch run in another folder that names it
// is refused before it writes anything.
TEST(Guards, AGeoPackageThatAnotherRunWritesIsRefusedBeforeTheRun) {
  TwoFolders f;
  auto& [a, b, shared] = f;
  const std::string gpkg = shared.Path() + "/plots.gpkg";
  FilesAfterRun exports;
  exports.Add("GeoPackage", gpkg);
  {
    RunUnderWay first(a, a.WorkFolder() + "results.txt", {&exports});
    ASSERT_TRUE(first.began);
  }
  // The first run is over, its program is not: the GeoPackage stays locked.
  const auto before = f.Outputs();
  std::vector<std::string> command = kBatch;
  command.insert(command.begin() + 1, {"--gpkg", gpkg});
  ExpectStopped(StartBatch(b.Path(), 0, ".", command), b,
                "The GeoPackage \"" + gpkg +
                    "\" is being written by "
                    "another run (treetri_tests, process " +
                    std::to_string(::getpid()) + ")");
  EXPECT_TRUE(f.Outputs() == before);
  EXPECT_FALSE(shared.Exists("plots.gpkg"));
  // Nor may a file written after the run be another file of the run.
  command[2] = "quality.csv";
  ExpectStopped(StartBatch(b.Path(), 0, ".", command), b,
                "The GeoPackage \"quality.csv\" is the quality file \"" + b.WorkFolder() +
                    "quality.csv\": the run would write over it. The run is stopped.");
  EXPECT_TRUE(f.Outputs() == before);
}

TEST(Guards, TheProbeFileIsMadeOnlyWhereNoneExistsAndSimultaneousStartsAgree) {
  TempFolder dir;
  dir.Write(kProbeFileName, "the user's own\n");
  auto start = [&] {
    Tables t;
    HeadlessUi ui;
    StartUpIn(t, ui, dir.Path());
    return ui.messages == std::vector<std::string>{"Assuming that all files are in folder " + dir.WorkFolder()};
  };
  EXPECT_TRUE(start());
  EXPECT_EQ(dir.Read(kProbeFileName), "the user's own\n");
  std::remove((dir.WorkFolder() + kProbeFileName).c_str());
  std::vector<pid_t> starts;
  for (int k = 0; k < 12; ++k)
    if ((starts.emplace_back(::fork())) == 0) {
      bool ok = true;
      for (int i = 0; i < 25; ++i) ok = start() && ok;
      ::_exit(ok ? 0 : 1);
    }
  for (pid_t pid : starts) EXPECT_EQ(Wait(pid), 0) << "a start reported a failure";
  EXPECT_FALSE(dir.Exists(kProbeFileName));
}

TEST(Guards, ACurrentFolderThatIsGoneIsRefused) {
  TempFolder dir;
  const std::string gone = dir.Path() + "/gone";
  ExpectStopped(Start(kBatch,
                      [&] {
                        return ::mkdir(gone.c_str(), 0777) == 0 && ::chdir(gone.c_str()) == 0 &&
                               ::rmdir(gone.c_str()) == 0 &&
                               std::freopen((dir.Path() + "/stderr.txt").c_str(), "w", stderr);
                      }),
                dir, kNoCurrentFolderMessage);
  EXPECT_EQ(dir.Read("stderr.txt"), std::string(kNoCurrentFolderMessage) + "\n");
}

TEST(Guards, AClosedStandardOutputAndTheDesktopProgramUnderAFileSizeLimit) {
  TempFolder dir;
  WriteGrid(dir, 400);
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);  // the reader is gone before the first line
  const pid_t pid = StartBatch(dir.Path(), 0, ".", kBatch, ends[1]);
  ::close(ends[1]);
  ExpectStopped(pid, dir, "The results list could not be written whole to standard output");
  EXPECT_EQ(CompleteLines(dir.Read("results.txt"), 1, 15 + 14 * 5 + 1, 1), 400u);

  const std::string desktop = TREETRI_BIN_DIR "/treetri";
  if (::access(desktop.c_str(), X_OK) != 0) GTEST_SKIP() << "the desktop program is not built";
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ExpectStopped(StartBatch(dir.Path(), 64 * 1024, ".",
                           {desktop, "--map", "map.txt", "--sightings", "sightings.txt", "--run"}),
                dir, "cannot be written: File too large.");
  const size_t cases = CompleteLines(dir.Read("results.txt"), 1, 15 + 14 * 5 + 1, 1);
  EXPECT_TRUE(cases > 10 && cases < 400) << cases;
  // Nor does the desktop program save its picture over an input file.
  const std::string sightings = dir.Read("sightings.txt");
  const auto shot = [&](const std::string& picture) {
    return StartBatch(dir.Path(), 0, ".", {desktop, "--sightings", "sightings.txt", "--screenshot", picture});
  };
  ExpectStopped(shot("./sightings.txt"), dir,
                "treetri: the picture \"./sightings.txt\" is the sighting file");
  EXPECT_EQ(dir.Read("sightings.txt"), sightings);
  // Nor a picture that another run is writing (this process holds it).
  FileLocks other;
  std::string holder;
  ASSERT_EQ(other.Add(dir.Path() + "/shot.png", holder), FileLocks::Result::Locked) << holder;
  ExpectStopped(shot("shot.png"), dir,
                "treetri: the picture \"shot.png\" is being written by another run (treetri_tests, "
                "process " +
                    std::to_string(::getpid()) + "); it is not written over");
  EXPECT_FALSE(dir.Exists("shot.png"));
}

// Started with standard output (or input and error) closed, a program
// opens /dev/null in its place before any file: the lock file, opened first,
// would otherwise get descriptor 1 and the list would be written into it.
TEST(Guards, ClosedStandardDescriptorsAreNotGivenToTheRunsFiles) {
  TempFolder dir;
  WriteGrid(dir, 30);
  for (const std::vector<int>& closed : {std::vector<int>{1}, std::vector<int>{0, 1, 2}}) {
    EXPECT_EQ(Wait(Start(kBatch, [&] {
                for (int fd : closed) ::close(fd);
                return ::chdir(dir.Path().c_str()) == 0;
              })), 0) << closed.size() << " closed";
    const std::string lock = dir.Read(kLockFileName);
    EXPECT_EQ(lock.find("\n", lock.find('\n') + 1), std::string::npos) << "the lock file holds: " << lock;
    EXPECT_EQ(CompleteLines(dir.Read("results.txt"), 1, ResultsFieldCount(5), 1), 30u);
  }
}

TEST(Guards, TheTreeIndexStaysNLogNWhateverTheKeys) {
  // Keys that a hash without mixing puts into one bucket: multiples of a
  // large power of two, in one plot, with the map's last repeat kept.
  Tables t;
  const int n = 200000;
  for (int i = 1; i <= n; ++i) {
    PhotoTree p;
    p.Plot = 3;
    p.Tree = (i % (n / 2)) << 12;
    t.PhotoTrees.Append(p);
  }
  const PlotTreeIndex index(t.PhotoTrees);
  for (int k = 0; k < n / 2; k += 7) ASSERT_EQ(index.Find(3, k << 12), k == 0 ? n : k + n / 2) << k;
  EXPECT_EQ(index.Find(3, 1), 0);
  EXPECT_EQ(index.Find(4, 0), 0);
  // A sort, one pass and binary searches: about (n + look-ups) log2 n
  // comparisons, where one bucket for all keys would take n * n / 2.
  EXPECT_LT(index.Comparisons(), 3LL * n * 18) << index.Comparisons();
}

}  // namespace
}  // namespace treetri
