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
    Later,    // written by the program after the run (a GeoPackage, a re-measure
              // list): locked from the run's start until the program ends
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
// run, its results file included; `clash` is then that file. The files
// declared as written after the run are not counted: they are the exports.
// `sinks`: those the run attaches (or attached).
bool ExportTargetClash(const Tables& t, const std::string& target,
                       const std::vector<RunHooks*>& sinks, RunFile& clash);

class RunGuard {
 public:
  // Refuses (false, after one message) a results file that is one of the
  // files the program reads or writes besides it, a file written after the
  // run that is another file of the run, an own file of the work folder that
  // is a symbolic link, a folder in which another run is under way and a
  // file that another run (in any folder) is writing; otherwise takes the
  // folder's lock and a lock on every file the run writes (FileLocks). Touches
  // no output file. The refusal goes to `feedback`.
  bool Begin(const Tables& t, Feedback& feedback, const std::vector<RunHooks*>& sinks);
  // Lets the next run in.
  void End() {
    files_.Release();
    lock_.Release();
  }

 private:
  bool LockFiles(const Tables& t, Feedback& feedback, const std::vector<RunFile>& files);
  FolderLock lock_;
  FileLocks files_;
};

}  // namespace treetri
