// The checks a run makes before it empties its results file, and the lock it
// holds on its work folder until its last line is written.
#pragma once

#include "positioning/tables.h"
#include "platform/run_guard.h"

#include <string>
#include <vector>

namespace treetri {

class Feedback;
class RunHooks;

// A file that a run reads or writes besides its results file: what it is
// (for messages), its name and how the run uses it.
struct RunFile {
  enum class Use {
    Read,     // an input: the parameter file, the map file, the sighting file
    Kept,     // the probe file, which a run neither reads nor writes
    Written,  // the quality files and the lock file, opened without following a link
    Own,      // "mapdata.txt" and the dump files: a link there stops the run
  };
  const char* what;
  std::string path;
  Use use;
};

// Every file of a run besides the results file: the input files, the
// parameter file, the probe file and the lock file, the run driver's own
// outputs ("mapdata.txt", the dump files; with corrections applied, the
// corrections file and the corrected sighting file), and every file that
// one of `sinks` declares.
std::vector<RunFile> RunFiles(const Tables& t, const std::vector<RunHooks*>& sinks);

// The file of `files` that `name` denotes, by its name or by identity
// (another spelling, a hard or symbolic link); nullptr when none.
const RunFile* SameAsRunFile(const std::vector<RunFile>& files, const std::string& name);

// Whether the target of an export (a GeoPackage, a picture) is a file of the
// run, its results file included; `clash` is then that file.
// `sinks`: those the run attaches (or attached).
bool ExportTargetClash(const Tables& t, const std::string& target,
                       const std::vector<RunHooks*>& sinks, RunFile& clash);

class RunGuard {
 public:
  // Refuses (false, after one message) a results file that is one of the
  // files the program reads or writes besides it, an own file of the work
  // folder that is a symbolic link, and a folder in which another run is
  // under way; otherwise takes the folder's lock. Touches no output file.
  // The refusal goes to `feedback`.
  bool Begin(const Tables& t, Feedback& feedback, const std::vector<RunHooks*>& sinks);
  // Lets the next run in.
  void End() { lock_.Release(); }

 private:
  FolderLock lock_;
};

}  // namespace treetri
