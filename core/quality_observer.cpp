#include "core/quality_observer.h"

#include "platform/ui.h"

namespace treetri {

bool QualityObserver::OnRunStart(const RunSettings& settings, std::string& message) {
  (void)settings;
  (void)message;
  std::string error;
  began_ = write_ && run_.Begin(session_.WorkFolder, error);
  if (write_ ? !began_ : !quality::RemoveQualityFiles(session_.WorkFolder, error))
    ui_.MessageBox(error);
  return true;
}

void QualityObserver::OnCaseDone(const CaseReport& r) {
  std::string error;
  if (!run_.AddCase(r.input, r.settings.Parameters, r.work, r.caseNumber, r.status, error))
    ui_.MessageBox(error);
}

void QualityObserver::OnRunEnd(bool completed) {
  (void)completed;
  run_.End();
}

}  // namespace treetri
