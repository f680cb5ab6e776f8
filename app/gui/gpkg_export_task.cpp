#include "app/gui/gpkg_export_task.h"

#include <new>
#include <system_error>
#include <utility>

namespace treetri {

void GeoPackageExportTask::ToGuiThread::OnProgress(long long done, long long total) {
  const int percent = total > 0 ? static_cast<int>(100 * done / total) : 0;
  QMetaObject::invokeMethod(
      &task, [this, percent] { if (task.onProgress) task.onProgress(percent); },
      Qt::QueuedConnection);
}

GeoPackageExportTask::~GeoPackageExportTask() {
  Cancel();
  if (worker_.joinable()) worker_.join();
}

bool GeoPackageExportTask::Start(gis::ExportData data, const std::string& path,
                                 const std::string& crs, std::string& error) {
  if (Running()) {
    error = "A GeoPackage export is under way";
    return false;
  }
  feedback_ = std::make_unique<Feedback>(&progress_);
  // The worker reports through queued calls to this object; its destructor
  // joins the worker first, and Qt drops calls queued for a deleted object.
  try {
    worker_ = std::thread([this, data = std::move(data), path, crs] {
      // Nothing leaves the thread as an exception: memory that runs out is
      // the export's failure, reported like any other.
      gis::ExportStatus status;
      try {
        status = gis::ExportGeoPackage(data, path, crs, feedback_.get());
      } catch (const std::bad_alloc&) {
        status.code = gis::ExportCode::CannotWrite;
        status.message = "The GeoPackage \"" + path + "\" cannot be written: the memory ran out.";
      }
      QMetaObject::invokeMethod(this, [this, status] { Finished(status); },
                                Qt::QueuedConnection);
    });
  } catch (const std::system_error& e) {
    error = std::string("The GeoPackage export cannot start a thread: ") + e.what();
    return false;
  }
  return true;
}

void GeoPackageExportTask::Finished(const gis::ExportStatus& status) {
  if (worker_.joinable()) worker_.join();
  if (onFinished) onFinished(status);
}

}  // namespace treetri
