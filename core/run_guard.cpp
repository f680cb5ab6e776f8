#include "core/run_guard.h"

#include <vector>

#include "data/parameter_file.h"
#include "output/dump_files.h"
#include "output/results_format.h"
#include "platform/ui.h"
#include "quality/quality_files.h"

namespace treetri {

namespace {

struct NamedFile {
  const char* what;
  std::string path;
};

}  // namespace

bool RunGuard::Begin(const Tables& t, UserInterface& ui) {
  const std::string& folder = t.WorkFolder;
  const std::string& results = t.Parameters.ResultsFileName;
  // The files the run writes besides the results file, by their fixed names.
  const std::vector<NamedFile> written = {
      {"map data file", folder + kMapDataFileName},    {"dump file", folder + kDumpAFileName},
      {"dump file", folder + kDumpLFileName},          {"dump file", folder + kDumpWeightsFileName},
      {"dump file", folder + kDumpMatlabFileName}};
  std::vector<NamedFile> kept = {{"parameter file", folder + kParameterFileName},
                                 {"photogrammetric map file", t.MapFileName},
                                 {"sighting file", t.SightingFileName},
                                 {"probe file", folder + kProbeFileName},
                                 {"lock file", folder + kLockFileName},
                                 {"quality file", folder + quality::kQualityFileName},
                                 {"quality file", folder + quality::kObservationsFileName}};
  kept.insert(kept.end(), written.begin(), written.end());
  for (const NamedFile& f : kept)
    if (SameFile(results, f.path)) {
      ui.MessageBox("The results file \"" + results + "\" is the " + f.what + " \"" + f.path +
                    "\": the run would write over it. The run is stopped.");
      return false;
    }
  for (const NamedFile& f : written)
    if (IsSymbolicLink(f.path)) {
      ui.MessageBox("The " + std::string(f.what) + " \"" + f.path +
                    "\" is a symbolic link; the program writes its own files in the work "
                    "folder only as plain files. The run is stopped.");
      return false;
    }
  std::string detail;
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
