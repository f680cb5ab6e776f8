// The command line of every treetri program, read one way: options in any
// order among the operands, `--name value` or `--name=value`, `--` ends the
// options, `--help` (or `-h`) prints the usage on standard output and
// `--version` the program's name and version, both with status 0. An unknown
// option, a missing or empty value, a value given to a flag or an option
// given twice is named on standard error, followed by the usage, status 2.
//
//   treetri::CommandLine cl("treetri-batch", kUsage);
//   cl.Flag("--no-quality");
//   cl.Value("--gpkg");
//   if (!cl.Parse(argc, argv)) return cl.ExitStatus();
//   if (cl.Operands().size() != 2) return cl.UsageError("needs MAP and SIGHTINGS");
//   const std::string gpkg = cl.Get("--gpkg");
#pragma once

#include <map>
#include <string>
#include <vector>

namespace treetri {

class CommandLine {
 public:
  // `usage` is the whole help text, beginning with the line "usage: ...".
  CommandLine(std::string program, std::string usage);

  // An option without a value.
  void Flag(const std::string& name);
  // An option with `count` values: `--name V1 [V2 ...]`, or `--name=V1 [V2 ...]`
  // (the first after the equals sign, the rest as the next arguments).
  void Value(const std::string& name, int count = 1);

  // Reads the arguments after argv[0]. False when the program is to end at
  // once: after --help or --version (printed, ExitStatus 0) or a usage
  // error (printed, ExitStatus 2).
  bool Parse(int argc, const char* const* argv);
  bool Parse(const std::vector<std::string>& args);
  int ExitStatus() const { return exitStatus_; }

  // The same reading without printing anything: what the program is to do,
  // and for kWrongUsage the reason, naming the option, in `error`.
  enum class Outcome { kRun, kHelp, kVersion, kWrongUsage };
  Outcome Read(const std::vector<std::string>& args, std::string& error);
  // The line of --version: "PROGRAM VERSION".
  std::string VersionLine() const;

  bool Has(const std::string& name) const;
  // The option's (first) value; empty when the option was not given.
  std::string Get(const std::string& name) const;
  // All values of an option of several values, in order.
  const std::vector<std::string>& Values(const std::string& name) const;
  // The arguments that are no options, in order.
  const std::vector<std::string>& Operands() const { return operands_; }

  // Writes "PROGRAM: message" and the usage to standard error; returns 2,
  // the status of a wrong usage.
  int UsageError(const std::string& message) const;
  // The "PROGRAM: message" line alone, for errors of a run (status 1).
  void Error(const std::string& message) const;

  const std::string& Program() const { return program_; }
  const std::string& Usage() const { return usage_; }

 private:
  std::string program_, usage_;
  std::map<std::string, int> known_;  // option name -> number of values
  std::map<std::string, std::vector<std::string>> given_;
  std::vector<std::string> operands_;
  int exitStatus_ = 0;
};

// Whether a file can be written at `path` by the programs' way of writing
// (a new or replaced file in its folder): the folder exists and is
// writable, and the name is not a folder. False, with a reason naming
// `path`, otherwise. Checked before a run, so a run is not done for
// nothing.
bool CheckWritableTarget(const std::string& path, std::string& error);

// The same for a folder that a program fills: an existing folder must be
// writable, a missing one creatable in its parent.
bool CheckWritableFolder(const std::string& path, std::string& error);

}  // namespace treetri
