// The checks a run makes before it empties its results file, and the lock it
// holds on its work folder until its last line is written.
#pragma once

#include "positioning/tables.h"
#include "platform/run_guard.h"

#include <string>
#include <vector>

namespace treetri {

class UserInterface;

// A file that a run reads or writes besides its results file: what it is
// (for messages) and its name; `written` for the program's own files of the
// work folder, which it never writes through a symbolic link.
struct RunFile {
  const char* what;
  std::string path;
  bool written;
};

// Every file of a run besides the results file: the input files, the
// parameter file, "mapdata.txt", the dump files, the quality files, the
// probe file and the lock file.
std::vector<RunFile> RunFiles(const Tables& t);

// The file of `files` that `name` denotes, by its name or by identity
// (another spelling, a hard or symbolic link); nullptr when none.
const RunFile* SameAsRunFile(const std::vector<RunFile>& files, const std::string& name);

class RunGuard {
 public:
  // Refuses (false, after one message) a results file that is one of the
  // files the program reads or writes besides it, an own file of the work
  // folder that is a symbolic link, and a folder in which another run is
  // under way; otherwise takes the folder's lock. Touches no output file.
  bool Begin(const Tables& t, UserInterface& ui);
  // Lets the next run in.
  void End() { lock_.Release(); }

 private:
  FolderLock lock_;
};

}  // namespace treetri
