// The checks a run makes before it empties its results file, and the lock it
// holds on its work folder until its last line is written.
#pragma once

#include "positioning/tables.h"
#include "platform/run_guard.h"

namespace treetri {

class UserInterface;

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
