#include "core/run_guard.h"

#include <vector>

#include "core/corrections.h"
#include "core/run.h"
#include "data/parameter_file.h"
#include "output/dump_files.h"
#include "output/results_format.h"
#include "platform/feedback.h"
#include "platform/temporary_files.h"

namespace treetri {

std::vector<RunFile> RunFiles(const Tables& t, const std::vector<RunHooks*>& sinks) {
  const std::string& folder = t.WorkFolder;
  using Use = RunFile::Use;
  std::vector<RunFile> files{{"parameter file", folder + kParameterFileName, Use::Read},
          {"photogrammetric map file", t.MapFileName, Use::Read},
          {"sighting file", t.SightingFileName, Use::Read},
          {"probe file", folder + kProbeFileName, Use::Kept},
          {"lock file", folder + kLockFileName, Use::Written}};
  // The run driver's own writers.
  files.push_back({"map data file", folder + kMapDataFileName, Use::Own});
  for (const char* dump : {kDumpAFileName, kDumpLFileName, kDumpWeightsFileName, kDumpMatlabFileName})
    files.push_back({"dump file", folder + dump, Use::Own});
  // A run that applies corrections reads their file and writes the
  // corrected sightings in the work folder.
  if (!t.CorrectionsFileName.empty()) {
    files.push_back({"corrections file", t.CorrectionsFileName, Use::Read});
    files.push_back({"corrected sighting file",
                     CorrectedSightingName(folder, t.SightingFileName), Use::Own});
  }
  for (const RunHooks* sink : sinks) sink->DeclareFiles(t, files);
  return files;
}

const RunFile* SameAsRunFile(const std::vector<RunFile>& files, const std::string& name) {
  for (const RunFile& f : files)
    if (SameFile(name, f.path)) return &f;
  return nullptr;
}

bool ExportTargetClash(const Tables& t, const std::string& target,
                       const std::vector<RunHooks*>& sinks, RunFile& clash) {
  std::vector<RunFile> files = RunFiles(t, sinks);
  files.push_back({"results file", t.Parameters.ResultsFileName, RunFile::Use::Written});
  for (const RunFile& f : files)
    if (f.use != RunFile::Use::Later && SameFile(target, f.path)) {
      clash = f;
      return true;
    }
  return false;
}

bool RunGuard::Begin(const Tables& t, Feedback& feedback, const std::vector<RunHooks*>& sinks) {
  auto say = [&](const std::string& text) { feedback.PushMessage(0, text); };
  const std::string& results = t.Parameters.ResultsFileName;
  const std::vector<RunFile> files = RunFiles(t, sinks);
  auto refuse = [&](const std::string& written, const std::string& name, const RunFile& f) {
    say("The " + written + " \"" + name + "\" is the " + f.what + " \"" + f.path +
                  "\": the run would write over it. The run is stopped.");
    return false;
  };
  auto written = [](const RunFile& f) {
    return f.use == RunFile::Use::Written || f.use == RunFile::Use::Own || f.use == RunFile::Use::Later;
  };
  if (const RunFile* f = SameAsRunFile(files, results)) return refuse("results file", results, *f);
  // Nor may a file of a fixed name be an input: a sighting file called
  // "observations.csv", or a hard link to one as a dump file. A file written
  // after the run may be no other file of the run at all.
  for (const RunFile& w : files)
    for (const RunFile& other : files)
      if (written(w) && &w != &other &&
          (other.use == RunFile::Use::Read || w.use == RunFile::Use::Later) &&
          SameFile(w.path, other.path))
        return refuse(w.what, w.path, other);
  // Only plain files are ever emptied or replaced: a results file, quality
  // file or dump file that is a device, FIFO or socket stops the run before
  // anything is opened (writing to /dev/null or a pipe would lose the run
  // silently, opening a FIFO blocks). A folder there cannot be written over
  // and fails with the writers' own "cannot be created" messages, as before.
  auto notPlain = [&](const std::string& what, const std::string& name) {
    const std::string kind = NonRegularKind(name);
    if (kind.empty() || kind == "a folder") return false;
    say("The " + what + " \"" + name + "\" is " + kind +
        ", not a plain file; the run writes only plain files. The run is stopped.");
    return true;
  };
  if (notPlain("results file", results)) return false;
  for (const RunFile& f : files)
    if (written(f) && notPlain(f.what, f.path))
      return false;
  for (const RunFile& f : files)
    if (f.use == RunFile::Use::Own && IsSymbolicLink(f.path)) {
      say("The " + std::string(f.what) + " \"" + f.path +
                    "\" is a symbolic link; the program writes its own files in the work "
                    "folder only as plain files. The run is stopped.");
      return false;
    }
  std::string detail;
  const std::string& folder = t.WorkFolder;
  switch (lock_.Acquire(folder, detail)) {
    case FolderLock::Result::Locked: return LockFiles(t, feedback, files);
    case FolderLock::Result::Busy:
      say("The folder \"" + folder + "\" is in use by another run (" + detail +
                    "): two runs in one folder would mix their files. The run is stopped.");
      return false;
    case FolderLock::Result::Failed: break;
  }
  say("The lock file " + detail + ". The run is stopped.");
  return false;
}

bool RunGuard::LockFiles(const Tables& t, Feedback& feedback, const std::vector<RunFile>& files) {
  // Another run in another folder may name the same file: its results file
  // (an absolute name in both parameter files), a GeoPackage, a file of this
  // folder. Each file the run writes is locked by itself, so whichever run
  // comes second is refused before it has touched anything.
  FileLocks later;
  auto lock = [&](FileLocks& locks, const char* what, const std::string& name) {
    std::string holder;
    if (locks.Add(name, holder) == FileLocks::Result::Locked) return true;
    feedback.PushMessage(0, "The " + std::string(what) + " \"" + name +
                                "\" is being written by another run (" + holder +
                                "): two runs writing one file would mix it. The run is stopped.");
    return false;
  };
  bool locked = lock(files_, "results file", t.Parameters.ResultsFileName);
  for (const RunFile& f : files) {
    if (!locked) break;
    if (f.use == RunFile::Use::Written || f.use == RunFile::Use::Own)
      locked = lock(files_, f.what, f.path);
    else if (f.use == RunFile::Use::Later)
      locked = lock(later, f.what, f.path);
  }
  if (!locked) {
    End();
    return false;
  }
  // The program writes these after the run is over: they stay locked until
  // it ends.
  later.KeepUntilExit();
  return true;
}

}  // namespace treetri
