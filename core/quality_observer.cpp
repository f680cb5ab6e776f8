#include "core/quality_observer.h"

#include "quality/network_files.h"

#include "output/results_writer.h"
#include "platform/feedback.h"
#include "quality/quality_files.h"

namespace treetri {

bool QualityObserver::OnRunStart(const RunSettings& settings, std::string& message) {
  (void)settings;
  (void)message;
  std::string error;
  began_ = write_ && (network_ ? networkRun_.Begin(session_.WorkFolder, networkOptions_, error)
                               : run_.Begin(session_.WorkFolder, error));
  if (write_ ? !began_ : !quality::RemoveQualityFiles(session_.WorkFolder, error))
    feedback_.PushMessage(0, error);
  return true;
}

void QualityObserver::OnCaseDone(const CaseReport& r) {
  std::string error;
  const LegacyFigures legacy = LegacyFiguresOf(r.input.TargetTrees[r.caseNumber],
                                               r.settings.TauCriticalValues, r.work,
                                               r.outcome.iterations);
  if (network_) {
    networkRun_.AddCase(r.input, r.settings.Parameters, r.work, r.caseNumber, r.status, legacy);
    return;
  }
  if (!run_.AddCase(r.input, r.settings.Parameters, r.work, r.caseNumber, r.status, legacy,
                    error))
    feedback_.PushMessage(r.caseNumber, error);
}

void QualityObserver::DeclareFiles(const Tables& t, std::vector<RunFile>& files) const {
  for (const char* name : {quality::kQualityFileName, quality::kObservationsFileName})
    files.push_back({"quality file", t.WorkFolder + name, RunFile::Use::Written});
  if (network_)
    for (const char* name : {quality::kPlotsFileName, quality::kMapTreesFileName})
      files.push_back({"quality file", t.WorkFolder + name, RunFile::Use::Written});
}

void QualityObserver::OnRunEnd(bool completed) {
  (void)completed;
  std::string error;
  if (network_ && !networkRun_.End(error)) feedback_.PushMessage(0, error);
  run_.End();
}

}  // namespace treetri
