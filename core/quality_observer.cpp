#include "core/quality_observer.h"

#include "platform/feedback.h"

namespace treetri {

bool QualityObserver::OnRunStart(const RunSettings& settings, std::string& message) {
  (void)settings;
  (void)message;
  std::string error;
  began_ = write_ && run_.Begin(session_.WorkFolder, error);
  if (write_ ? !began_ : !quality::RemoveQualityFiles(session_.WorkFolder, error))
    feedback_.PushMessage(0, error);
  return true;
}

void QualityObserver::OnCaseDone(const CaseReport& r) {
  std::string error;
  if (!run_.AddCase(r.input, r.settings.Parameters, r.work, r.caseNumber, r.status, error))
    feedback_.PushMessage(r.caseNumber, error);
}

void QualityObserver::OnRunEnd(bool completed) {
  (void)completed;
  run_.End();
}

}  // namespace treetri
