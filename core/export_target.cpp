#include "core/export_target.h"

#include "core/run_guard.h"
#include "data/parameter_file.h"
#include "platform/files.h"
#include "platform/temporary_files.h"

namespace treetri {

std::string ExportTargetProblem(const Tables& t, const std::string& target,
                                const std::vector<RunHooks*>& sinks) {
  if (const std::string kind = NonRegularKind(target); !kind.empty())
    return "is " + kind + ", not a regular file";
  RunFile clash;
  if (ExportTargetClash(t, target, sinks, clash))
    return "is the " + std::string(clash.what) + " \"" + clash.path + "\" of the run";
  // Without a run in this session the results file is the one the work
  // folder's parameter file names (a finished run's results.txt).
  if (t.Parameters.ResultsFileName.empty()) {
    std::string content, error;
    RunParameters p;
    if (ReadWholeFile(t.WorkFolder + kParameterFileName, content, error)) {
      ReadParameterText(std::move(content), p);
      std::string results = p.ResultsFileName;
      if (!results.empty() && results[0] != '/') results = t.WorkFolder + results;
      if (!results.empty() && SameFile(results, target))
        return "is the results file \"" + p.ResultsFileName + "\" of the run";
    }
  }
  return "";
}

std::string ExportTargetLock::Take(const std::string& target) {
  std::string holder;
  if (locks_.Add(target, holder) == FileLocks::Result::Locked) return "";
  return "is being written by another run (" + holder + ")";
}

}  // namespace treetri
