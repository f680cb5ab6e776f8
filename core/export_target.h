// The one check of a name that a program writes besides a run's own files:
// a GeoPackage, a re-measure list, a screenshot, an exported view. Used by
// the batch program and by every export of the desktop program.
#pragma once

#include <string>

#include <vector>

#include "core/run.h"
#include "platform/run_guard.h"
#include "positioning/tables.h"

namespace treetri {

// Why `target` may not be written: it is a file of the run described by `t`
// (an input file, the results file, or a file the run writes; the results
// file is taken from the work folder's parameter file when this session has
// not read it yet), or it exists and is not a regular file. The text
// continues "The picture "P" ...": `is the sighting file "S" of the run`, `is
// a FIFO, not a regular file`. Empty when the target may be written.
// `sinks`: those the run attaches, whose declared files count too.
std::string ExportTargetProblem(const Tables& t, const std::string& target,
                                const std::vector<RunHooks*>& sinks = {});

// Holds an export's target while it is written, with the lock a run takes
// on each file it writes: another run that would write the same file (in
// any folder) is refused meanwhile, and an export onto a file that a run
// writes now is refused.
class ExportTargetLock {
 public:
  // Empty when the target is locked for this object; otherwise the text
  // continuing "The file "F" ...": `is being written by another run
  // (treetri-batch, process 1234)`.
  std::string Take(const std::string& target);

 private:
  FileLocks locks_;
};

// The files a program writes after its run (a GeoPackage, a re-measure
// list), declared to the run guard: it refuses the run when one of them is
// another file of the run, and locks them from the run's start until the
// program ends, so that no other run can write them meanwhile.
class FilesAfterRun : public RunHooks {
 public:
  // `what` names the file in messages ("GeoPackage").
  void Add(const char* what, const std::string& path) {
    files_.push_back({what, path, RunFile::Use::Later});
  }
  void DeclareFiles(const Tables& t, std::vector<RunFile>& files) const override {
    (void)t;
    files.insert(files.end(), files_.begin(), files_.end());
  }

 private:
  std::vector<RunFile> files_;
};

}  // namespace treetri
