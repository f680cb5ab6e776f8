#include "core/export_observer.h"

#include "gis/run_export.h"

namespace treetri {

bool ExportObserver::OnRunStart(const RunSettings& settings, std::string& message) {
  (void)settings;
  (void)message;
  data_ = gis::ExportData{};
  return true;
}

void ExportObserver::OnCaseDone(const CaseReport& r) {
  data_.results.push_back(gis::CaseResultOf(r.result, r.status));
  const quality::CaseQuality* q = quality_ ? quality_->Assessed(r.caseNumber) : nullptr;
  if (!q) return;
  data_.quality.push_back(q->row);
  data_.observations.insert(data_.observations.end(), q->observations.begin(),
                            q->observations.end());
}

void ExportObserver::OnRunEnd(bool completed) {
  (void)completed;
  data_.mapTrees = gis::MapTreesOfPlots(photoTrees_, data_.results);
  if (targetTrees_) gis::AddLeftOutSightings(data_, *targetTrees_);
}

}  // namespace treetri
