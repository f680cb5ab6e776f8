// The command line shared by every program: the parser on its own, then each
// installed program as a user calls it (--help, --version, option order,
// the "--name=value" form, wrong usage and its exit status).
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::RunProgram;
using Result = testing::BatchResult;
using testing::SplitLines;
using testing::TempFolder;

CommandLine BatchLike() {
  CommandLine cl("prog", "usage: prog [--flag] [--file F] [--pair A B] X Y\n"
                         "       prog --help | --version\n\nMore text.\n");
  cl.Flag("--flag");
  cl.Value("--file");
  cl.Value("--pair", 2);
  return cl;
}

TEST(CommandLineParser, OptionsInAnyOrderAndBothValueForms) {
  CommandLine cl = BatchLike();
  std::string error;
  ASSERT_EQ(cl.Read({"a", "--file=f.gpkg", "b", "--pair", "-5", "7", "--flag"}, error),
            CommandLine::Outcome::kRun);
  EXPECT_EQ(cl.Operands(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(cl.Get("--file"), "f.gpkg");
  EXPECT_TRUE(cl.Has("--flag"));
  EXPECT_EQ(cl.Values("--pair"), (std::vector<std::string>{"-5", "7"}));  // negative numbers
  // "--pair=A B", a value with an equals sign, "-" as a name, "--" ending the options.
  ASSERT_EQ(cl.Read({"--pair=1", "2", "--file", "a=b", "-", "--", "--flag"}, error),
            CommandLine::Outcome::kRun);
  EXPECT_EQ(cl.Values("--pair"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(cl.Get("--file"), "a=b");
  EXPECT_FALSE(cl.Has("--flag"));
  EXPECT_EQ(cl.Operands(), (std::vector<std::string>{"-", "--flag"}));
  EXPECT_EQ(cl.Get("--absent"), "");
  EXPECT_TRUE(cl.Values("--absent").empty());
}

TEST(CommandLineParser, WrongUsageNamesTheOption) {
  CommandLine cl = BatchLike();
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--bogus", "a"}, "unknown option --bogus"},
      {{"a", "-x"}, "unknown option -x"},
      {{"a", "--file"}, "option --file needs a value"},
      {{"--pair", "1"}, "option --pair needs 2 values"},
      {{"--file="}, "option --file needs a value, not an empty text"},
      {{"--file", ""}, "option --file needs a value, not an empty text"},
      {{"--flag=yes"}, "option --flag takes no value"},
      {{"--help=1"}, "option --help takes no value"},
      {{"--file", "a", "--file=b"}, "option --file is given twice"}};
  for (const auto& [args, reason] : cases) {
    std::string error;
    EXPECT_EQ(cl.Read(args, error), CommandLine::Outcome::kWrongUsage) << reason;
    EXPECT_EQ(error, reason);
  }
  std::string error;
  EXPECT_EQ(cl.Read({"a", "-h", "--bogus"}, error), CommandLine::Outcome::kWrongUsage);
  EXPECT_EQ(cl.Read({"a", "b", "-h"}, error), CommandLine::Outcome::kHelp);
  // (The version line: CommandLinePrograms.HelpVersionAndWrongUsage.)
  EXPECT_EQ(cl.Read({"--version", "a"}, error), CommandLine::Outcome::kVersion);
}

TEST(CommandLineParser, WritableTargets) {
  TempFolder dir;
  std::string error;
  EXPECT_TRUE(CheckWritableTarget(dir.Path() + "/new.gpkg", error));
  EXPECT_FALSE(CheckWritableTarget(dir.Path(), error));
  EXPECT_NE(error.find("is a folder"), std::string::npos);
  // (Its message: CommandLinePrograms.OptionsAfterTheFilesAndTargetsCheckedFirst.)
  EXPECT_FALSE(CheckWritableTarget(dir.Path() + "/missing/new.gpkg", error));
  EXPECT_TRUE(CheckWritableFolder(dir.Path() + "/sub", error));
  EXPECT_TRUE(CheckWritableFolder(dir.Path(), error));
  dir.Write("file", "x");
  EXPECT_FALSE(CheckWritableFolder(dir.Path() + "/file", error));
  EXPECT_FALSE(CheckWritableFolder(dir.Path() + "/missing/sub", error));
  if (geteuid() != 0) {  // permissions do not stop root
    ASSERT_EQ(::mkdir((dir.Path() + "/ro").c_str(), 0555), 0);
    EXPECT_FALSE(CheckWritableTarget(dir.Path() + "/ro/new.gpkg", error));
    EXPECT_NE(error.find("is not writable"), std::string::npos) << error;
  }
}

std::vector<std::string> Programs() {
  std::vector<std::string> p = {"treetri-batch", "treetri-simulate", "treetri-errors",
                                "treetri-check", "treetri-quality-report"};
#ifdef TREETRI_DESKTOP_PROGRAM
  p.push_back("treetri");
#endif
  return p;
}

TEST(CommandLinePrograms, HelpVersionAndWrongUsage) {
  TempFolder dir;
  for (const std::string& program : Programs()) {
    SCOPED_TRACE(program);
    // (-h, "--name=value" and the other forms: the parser's tests above.)
    const Result help = RunProgram(dir, program, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.outText.rfind("usage: " + program + " ", 0), 0u) << help.outText;
    EXPECT_NE(help.outText.find(program + " --help | --version\n"), std::string::npos);
    EXPECT_EQ(help.errText, "");
    const Result version = RunProgram(dir, program, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.outText, program + " " + TREETRI_VERSION + "\n");
    // An unknown option after the file names: named on standard error with
    // the synopsis, status 2, nothing written.
    const Result r = RunProgram(dir, program, "a b --bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.outText, "");
    const std::vector<std::string> lines = SplitLines(r.errText);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], program + ": unknown option --bogus");
    EXPECT_EQ(lines[1].rfind("usage: " + program + " ", 0), 0u);
    EXPECT_EQ(lines.back(), "(\"" + program + " --help\" tells more)");
  }
}

TEST(CommandLinePrograms, ValuesMissingOrOutOfPlace) {
  TempFolder dir;
  // (What the parser says of any option, CommandLineParser.WrongUsageNamesTheOption checks;
  // here the rules of each program.)
  const std::pair<std::string, std::string> cases[] = {
      {"treetri-batch --crs EPSG:2393 a b", "treetri-batch: option --crs goes with --gpkg"},
      {"treetri-batch a", "treetri-batch: needs the files MAP and SIGHTINGS"},
      {"treetri-batch", "treetri-batch: needs the files MAP and SIGHTINGS"},
      {"treetri-batch --quality a b", "treetri-batch: needs the files MAP and SIGHTINGS"},
      {"treetri-batch one two three", "treetri-batch: takes two files, MAP and SIGHTINGS, not 3"},
      {"treetri-batch --no-quality --gpkg=x.gpkg a b",
       "treetri-batch: option --gpkg needs the quality figures; leave out --no-quality"},
      {"treetri-simulate --origin 1", "treetri-simulate: option --origin needs 2 values"},
      {"treetri-simulate --out x extra", "treetri-simulate: takes no file names: extra"},
      {"treetri-simulate --seed=x --out o", "treetri-simulate: bad seed \"x\""},
      {"treetri-simulate --map-error 0,5 --out o", "treetri-simulate: bad map error \"0,5\""},
      {"treetri-errors a", "treetri-errors: needs the files RESULTS and TRUTH"},
      {"treetri-check", "treetri-check: needs a results file"},
      {"treetri-check a b c", "treetri-check: takes at most two files"},
      {"treetri-quality-report", "treetri-quality-report: needs the run's folder RESULTS_DIR"}};
  for (const auto& [args, first] : cases) {
    const size_t space = args.find(' ');
    const Result r = RunProgram(dir, args.substr(0, space),
                             space == std::string::npos ? "" : args.substr(space + 1));
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(SplitLines(r.errText).at(0), first);
  }
}

TEST(CommandLinePrograms, OptionsAfterTheFilesAndTargetsCheckedFirst) {
  TempFolder dir;
  // The simulator with its options in any order and form, then the checker
  // on a file name that begins like an option after "--".
  Result sim = RunProgram(dir, "treetri-simulate", "--plots=1 --cases 5 --out=sim --seed 3");
  ASSERT_EQ(sim.status, 0) << sim.errText;
  Result again = RunProgram(dir, "treetri-simulate", "--seed=3 --out sim2 --cases=5 --plots 1");
  ASSERT_EQ(again.status, 0);
  EXPECT_EQ(dir.Read("sim/sightings.txt"), dir.Read("sim2/sightings.txt"));
  dir.Write("-h", "no results");
  const Result check = RunProgram(dir, "treetri-check", "-- -h");
  EXPECT_EQ(check.status, 1);  // read as a file, with problems
  EXPECT_EQ(check.outText.rfind("-h: ", 0), 0u) << check.outText;
  // A target that cannot be written is refused before the run, by its name.
  dir.Write("file", "x");
  Result sub = RunProgram(dir, "treetri-simulate", "--out file/sub");
  EXPECT_EQ(sub.status, 1);
  EXPECT_EQ(sub.errText, "treetri-simulate: \"file/sub\" cannot be written: its folder \"file\" does "
                     "not exist\n");
  Result batch = RunProgram(dir, "treetri-batch", "sim/map.txt sim/sightings.txt --gpkg no/x.gpkg");
  EXPECT_EQ(batch.status, 1);
  EXPECT_EQ(batch.errText, "The GeoPackage \"no/x.gpkg\" cannot be written: its folder \"no\" does "
                       "not exist. Nothing was run.\n");
  EXPECT_FALSE(dir.Exists("results.txt"));
}

#ifdef TREETRI_DESKTOP_PROGRAM
TEST(CommandLinePrograms, DesktopWithoutDisplay) {
  TempFolder dir;
  // An interactive start says it needs a display; the scripted start works
  // offscreen.
  const auto noDisplay = [&](const std::string& args) {
    return std::system(
        ("cd '" + dir.Path() +
         "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" TREETRI_BIN_DIR "/treetri'" +
         args + " > stdout.txt 2> stderr.txt")
            .c_str());
  };
  const int raw = noDisplay("");
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
  EXPECT_EQ(dir.Read("stderr.txt").rfind("treetri: the desktop program needs a display", 0), 0u);
  EXPECT_EQ(noDisplay(" --screenshot=shot.png"), 0) << dir.Read("stderr.txt");
  EXPECT_TRUE(dir.Exists("shot.png"));
  const Result missing = RunProgram(dir, "treetri", "--screenshot no/shot.png");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.errText, "treetri: the picture \"no/shot.png\" cannot be written: its folder "
                         "\"no\" does not exist\n");
}
#endif

}  // namespace
}  // namespace treetri
