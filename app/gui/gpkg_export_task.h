// The GeoPackage export on a worker thread: the window stays usable, the
// progress and the outcome come back to the GUI thread through its event
// loop, and Cancel stops the export (nothing is left on disk then).
#pragma once

#include <memory>
#include <functional>
#include <string>
#include <thread>

#include <QObject>

#include "gis/gpkg_export.h"
#include "platform/feedback.h"

namespace treetri {

class GeoPackageExportTask : public QObject {
 public:
  explicit GeoPackageExportTask(QObject* parent = nullptr) : QObject(parent) {}
  // Cancels a running export and waits for its thread.
  ~GeoPackageExportTask() override;

  // Starts writing `data` (the worker owns it) to `path` in `crs`. False
  // with a reason when an export is under way or no thread can be started.
  bool Start(gis::ExportData data, const std::string& path, const std::string& crs,
             std::string& error);
  // From Start until onFinished has been called.
  bool Running() const { return worker_.joinable(); }
  // The export stops at its next progress report.
  void Cancel() {
    if (feedback_) feedback_->Cancel();
  }

  // Called on the GUI thread: the percentage written, and the outcome once
  // the worker thread has ended.
  std::function<void(int percent)> onProgress;
  std::function<void(const gis::ExportStatus&)> onFinished;

 private:
  void Finished(const gis::ExportStatus& status);
  // The export's progress, passed on to the GUI thread.
  struct ToGuiThread : Feedback::Listener {
    explicit ToGuiThread(GeoPackageExportTask& t) : task(t) {}
    void OnProgress(long long done, long long total) override;
    GeoPackageExportTask& task;
  } progress_{*this};
  std::unique_ptr<Feedback> feedback_;  // one per export, made before its thread
  std::thread worker_;
};

}  // namespace treetri
