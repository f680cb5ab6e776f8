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
  const RunFile* f = SameAsRunFile(files, target);
  if (f) clash = *f;
  return f != nullptr;
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
  if (const RunFile* f = SameAsRunFile(files, results)) return refuse("results file", results, *f);
  // Nor may a file of a fixed name be an input: a sighting file called
  // "observations.csv", or a hard link to one as a dump file.
  for (const RunFile& w : files)
    for (const RunFile& in : files)
      if ((w.use == RunFile::Use::Written || w.use == RunFile::Use::Own) &&
          in.use == RunFile::Use::Read && SameFile(w.path, in.path))
        return refuse(w.what, w.path, in);
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
    if ((f.use == RunFile::Use::Written || f.use == RunFile::Use::Own) && notPlain(f.what, f.path))
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
    case FolderLock::Result::Locked: return true;
    case FolderLock::Result::Busy:
      say("The folder \"" + folder + "\" is in use by another run (" + detail +
                    "): two runs in one folder would mix their files. The run is stopped.");
      return false;
    case FolderLock::Result::Failed: break;
  }
  say("The lock file " + detail + ". The run is stopped.");
  return false;
}

}  // namespace treetri
