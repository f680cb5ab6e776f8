// The GeoPackage export as an observer of a run: it keeps, case by case,
// what the export takes (the legacy results, the quality rows and
// observations, and at the end the map trees of the plots of the run), so
// that the file can be written after the run.
#pragma once

#include <string>

#include "core/quality_observer.h"
#include "core/run.h"
#include "gis/gpkg_export.h"

namespace treetri {

class ExportObserver : public RunHooks {
 public:
  // photoTrees: the map the run reads, for the map trees of its plots at the
  // end. quality: the run's quality observer, which must come before this
  // one among the observers; nullptr for a run without the quality layer.
  // targetTrees: the field trees' records, for the sightings the cases
  // left out whole (none are found without them).
  ExportObserver(const Table<PhotoTree>& photoTrees, const QualityObserver* quality,
                 const Table<TargetTree>* targetTrees = nullptr)
      : photoTrees_(photoTrees), quality_(quality), targetTrees_(targetTrees) {}
  bool OnRunStart(const RunSettings& settings, std::string& message) override;
  void OnCaseDone(const CaseReport& report) override;
  void OnRunEnd(bool completed) override;
  // What the export takes, as far as the run has come.
  const gis::ExportData& Data() const { return data_; }

 private:
  const Table<PhotoTree>& photoTrees_;
  const QualityObserver* quality_;
  const Table<TargetTree>* targetTrees_;
  gis::ExportData data_;
};

}  // namespace treetri
