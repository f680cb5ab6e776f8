#include "core/quality_observer.h"

#include "core/quality_input.h"
#include "platform/feedback.h"
#include "quality/network_files.h"
#include "quality/quality_files.h"

namespace treetri {

bool QualityObserver::OnRunStart(const RunSettings& settings, std::string& message) {
  (void)settings;
  (void)message;
  std::string error;
  maps_.reset();
  began_ = write_ && (network_ ? networkRun_.Begin(session_.WorkFolder, networkOptions_, error)
                               : run_.Begin(session_.WorkFolder, error));
  if (write_ ? !began_ : !quality::RemoveQualityFiles(session_.WorkFolder, error))
    feedback_.PushMessage(0, error);
  return true;
}

void QualityObserver::OnCaseDone(const CaseReport& r) {
  if (!began_) return;
  if (!maps_) maps_ = std::make_unique<quality::PlotMaps>(r.input.PhotoTrees);
  quality::CaseInput in = QualityCaseInput(r.result, r.settings, *maps_, r.status);
  if (network_) {
    networkRun_.AddCase(std::move(in));
    return;
  }
  std::string error;
  if (!run_.AddCase(in, error)) feedback_.PushMessage(r.caseNumber, error);
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
