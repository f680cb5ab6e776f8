// The files an export writes: only a regular file is ever replaced (a
// device, FIFO, socket or folder as the target is refused before the run,
// and the replace checks again right before its rename), and temporary
// files are short names beside the target that a killed export leaves for
// the next export there to remove.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "data/parameter_file.h"
#include "platform/files.h"
#include "platform/temporary_files.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::RunBatch;
using testing::TempFolder;

const std::string kInputs = " " + testing::ExampleInputs();

mode_t TypeOf(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

TEST(ExportFiles, ATargetThatIsNotARegularFileIsRefusedBeforeTheRun) {
  TempFolder dir;
  dir.Write(kParameterFileName, testing::ExampleText("SimulationInputParameters2.txt"));
  const std::string fifo = dir.Path() + "/n.gpkg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((dir.Path() + "/folder.gpkg").c_str(), 0700), 0);
  ASSERT_TRUE(testing::MakeSocket(dir.Path() + "/s.gpkg"));
  std::vector<std::pair<std::string, std::string>> targets = {
      {"n.gpkg", "a FIFO"}, {"folder.gpkg", "a folder"}, {"s.gpkg", "a socket"}};
  // A device (the null device's numbers) where a device can be made.
  if (::mknod((dir.Path() + "/d.gpkg").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0)
    targets.push_back({"d.gpkg", "a device"});
  else
    std::fprintf(stderr, "no device made (not allowed here): FIFO, folder and socket only\n");
  for (const auto& [name, kind] : targets) {
    const mode_t type = TypeOf(dir.Path() + "/" + name);
    const testing::BatchResult r = RunBatch(dir, "--gpkg " + name + kInputs);
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.err, std::vector<std::string>{"The GeoPackage \"" + name + "\" is " + kind +
                                              ", not a regular file; it is not replaced."});
    EXPECT_EQ(TypeOf(dir.Path() + "/" + name), type) << name;
    EXPECT_FALSE(dir.Exists("results.txt")) << "refused before the run";
  }

  // The replace itself checks again right before its rename.
  const std::string from = dir.Write("complete", "data");
  std::string error;
  EXPECT_FALSE(ReplaceFile(from, fifo, error));
  EXPECT_EQ(error, "\"" + fifo + "\" is a FIFO, not a regular file; it is not replaced");
  EXPECT_EQ(TypeOf(fifo), S_IFIFO);
  EXPECT_EQ(dir.Read("complete"), "data");
  EXPECT_TRUE(ReplaceFile(from, dir.Path() + "/plain", error)) << error;
  EXPECT_EQ(dir.Read("plain"), "data");
}

// A process number that no process has: a child that has ended.
pid_t DeadProcess() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return pid;
}

TEST(ExportFiles, TemporaryFilesOfAKilledExportAreRemovedByTheNextExport) {
  TempFolder dir;
  dir.Write(kParameterFileName, testing::ExampleText("SimulationInputParameters2.txt"));
  // An export killed part-way: started, then SIGKILL as soon as its
  // temporary file is in the folder.
  const std::string cmd = "cd '" + dir.Path() + "' && exec '" TREETRI_BIN_DIR
                          "/treetri-batch' --gpkg out.gpkg" + kInputs + " > /dev/null 2>&1";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
    ::_exit(127);
  }
  bool seen = false;
  for (int i = 0; i < 60000 && !seen; ++i) {
    for (const std::string& name : dir.Names()) seen |= name.rfind(".treetri-", 0) == 0;
    if (!seen) ::usleep(100);
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  // Also left-overs with the old companion names of a process that is gone.
  const std::string dead = std::to_string(DeadProcess());
  dir.Write(".treetri-" + dead + "-1.gpkg", std::string(4096, 'x'));
  dir.Write(".treetri-" + dead + "-1.gpkg-journal", "j");
  dir.Write(".treetri-notours", "kept");
  dir.Write(".treetri-" + std::to_string(::getpid()) + "-9.gpkg", "a live process's");
  if (!seen) std::fprintf(stderr, "the export ended before the kill: left-overs made by hand only\n");

  // The next export into the folder removes them, and a target name of 245
  // characters gets a temporary name the file system takes.
  const std::string longName = std::string(240, 'g') + ".gpkg";
  const testing::BatchResult r = RunBatch(dir, "--gpkg " + longName + kInputs);
  EXPECT_EQ(r.status, 0) << (r.err.empty() ? "" : r.err.back());
  EXPECT_EQ(TypeOf(dir.Path() + "/" + longName), S_IFREG);
  std::vector<std::string> left;
  for (const std::string& name : dir.Names())
    if (name.rfind(".treetri-", 0) == 0) left.push_back(name);
  EXPECT_EQ(left, (std::vector<std::string>{".treetri-" + std::to_string(::getpid()) + "-9.gpkg",
                                            ".treetri-notours"}));
}

TEST(ExportFiles, TemporaryNamesAreShortAndBesideTheTarget) {
  const std::string target = "/some/folder/" + std::string(250, 'n') + ".gpkg";
  const std::string a = TemporaryNameBeside(target, ".gpkg");
  const std::string b = TemporaryNameBeside(target, ".gpkg");
  EXPECT_EQ(a.rfind("/some/folder/.treetri-" + std::to_string(::getpid()) + "-", 0), 0u) << a;
  EXPECT_NE(a, b);
  EXPECT_LT(a.size() - std::string("/some/folder/").size(), 40u);
  EXPECT_EQ(TemporaryNameBeside("plain.png", ".png").rfind(".treetri-", 0), 0u);
}

}  // namespace
}  // namespace treetri
