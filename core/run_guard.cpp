#include "core/run_guard.h"

#include <vector>

#include "data/parameter_file.h"
#include "output/dump_files.h"
#include "output/results_format.h"
#include "platform/ui.h"
#include "quality/quality_files.h"

namespace treetri {

std::vector<RunFile> RunFiles(const Tables& t) {
  const std::string& folder = t.WorkFolder;
  return {{"parameter file", folder + kParameterFileName, false},
          {"photogrammetric map file", t.MapFileName, false},
          {"sighting file", t.SightingFileName, false},
          {"probe file", folder + kProbeFileName, false},
          {"lock file", folder + kLockFileName, false},
          {"quality file", folder + quality::kQualityFileName, false},
          {"quality file", folder + quality::kObservationsFileName, false},
          {"map data file", folder + kMapDataFileName, true},
          {"dump file", folder + kDumpAFileName, true},
          {"dump file", folder + kDumpLFileName, true},
          {"dump file", folder + kDumpWeightsFileName, true},
          {"dump file", folder + kDumpMatlabFileName, true}};
}

const RunFile* SameAsRunFile(const std::vector<RunFile>& files, const std::string& name) {
  for (const RunFile& f : files)
    if (SameFile(name, f.path)) return &f;
  return nullptr;
}

bool RunGuard::Begin(const Tables& t, UserInterface& ui) {
  const std::string& results = t.Parameters.ResultsFileName;
  const std::vector<RunFile> files = RunFiles(t);
  if (const RunFile* f = SameAsRunFile(files, results)) {
    ui.MessageBox("The results file \"" + results + "\" is the " + f->what + " \"" + f->path +
                  "\": the run would write over it. The run is stopped.");
    return false;
  }
  for (const RunFile& f : files)
    if (f.written && IsSymbolicLink(f.path)) {
      ui.MessageBox("The " + std::string(f.what) + " \"" + f.path +
                    "\" is a symbolic link; the program writes its own files in the work "
                    "folder only as plain files. The run is stopped.");
      return false;
    }
  std::string detail;
  const std::string& folder = t.WorkFolder;
  switch (lock_.Acquire(folder, detail)) {
    case FolderLock::Result::Locked: return true;
    case FolderLock::Result::Busy:
      ui.MessageBox("The folder \"" + folder + "\" is in use by another run (" + detail +
                    "): two runs in one folder would mix their files. The run is stopped.");
      return false;
    case FolderLock::Result::Failed: break;
  }
  ui.MessageBox("The lock file " + detail + ". The run is stopped.");
  return false;
}

}  // namespace treetri
