// The plot map's exports: the view saved as an image (PNG, SVG or PDF) and
// the results written as a GeoPackage on a worker thread with progress in
// the status line, each target checked against the run's files and locked
// while it is written.
#include <memory>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

#include "app/gui/crs_dialog.h"
#include "app/gui/gpkg_export_task.h"
#include "app/gui/view_export.h"
#include "app/plot_map_window.h"
#include "core/export_target.h"
#include "gis/crs_check.h"

namespace treetri {

bool PlotMapWindow::ExportView(const QString& path, std::string& error) {
  ExportTargetLock lock;
  if (!TargetAllowed(path, error, &lock)) return false;
  return treetri::ExportView(*view_, windowTitle(), path, error);
}

bool PlotMapWindow::TargetAllowed(const QString& path, std::string& error,
                                  ExportTargetLock* lock) const {
  const std::string target = QFile::encodeName(path).toStdString();
  std::string problem = checkTarget ? checkTarget(target) : std::string();
  if (problem.empty() && lock) problem = lock->Take(target);
  if (problem.empty()) return true;
  error = "The file \"" + target + "\" " + problem + "; it is not written over.";
  return false;
}

void PlotMapWindow::ExportViewAsked() {
  QString type;
  const QString offered = scene_.plot ? QString("plot-%1.png").arg(scene_.plot) : QString("plot-map.png");
  QString path = askSaveFile("Export view", "PNG image (*.png);;SVG drawing (*.svg);;PDF (*.pdf)",
                             offered, type);
  if (path.isEmpty()) return;
  // A name without an extension gets the chosen type's.
  if (QFileInfo(path).suffix().isEmpty())
    path += type.contains("*.svg") ? ".svg" : type.contains("*.pdf") ? ".pdf" : ".png";
  std::string error;
  if (!ExportView(path, error)) showMessage(QString::fromStdString(error));
  else statusBar()->showMessage("Saved " + path, 5000);
}

void PlotMapWindow::ExportGeoPackageAsked() {
  if (ExportRunning() || runInProgress_) return;
  QString type;
  const QString path = askSaveFile("Export GeoPackage", "GeoPackage (*.gpkg)", "results.gpkg", type);
  if (path.isEmpty()) return;
  QString crs = sessionCrs_;
  const QString folder = workFolder ? workFolder() : QString();
  RememberedCrs(folder, crs);  // the job's own system comes first
  if (!askCrs(crs)) return;
  ExportGeoPackage(path.endsWith(".gpkg", Qt::CaseInsensitive) ? path : path + ".gpkg", crs);
}

bool PlotMapWindow::ExportGeoPackage(const QString& path, const QString& crs) {
  if (ExportRunning() || runInProgress_ || !exportData) return false;
  // The target stays locked against other runs until the export ends.
  auto lock = std::make_shared<ExportTargetLock>();
  if (std::string error; !TargetAllowed(path, error, lock.get())) {
    showMessage(QString::fromStdString(error));
    return false;
  }
  const gis::ExportStatus check = gis::CheckCrs(crs.trimmed().toStdString());
  if (!check.Ok()) {
    showMessage(QString::fromStdString(check.message));
    return false;
  }
  // The system must fit the coordinates of the plots' map trees.
  const gis::ExportData data = exportData();
  PlaneExtent extent;
  for (const gis::MapTreeRecord& m : data.mapTrees) extent.Add(m.x, m.y);
  const gis::ExportStatus fits =
      gis::CheckCrsFitsExtent(crs.trimmed().toStdString(), extent, false);
  if (!fits.Ok()) {
    showMessage(QString::fromStdString(fits.message));
    return false;
  }
  sessionCrs_ = crs.trimmed();
  if (workFolder) RememberCrs(workFolder(), sessionCrs_);
  export_->onFinished = [this, path](const gis::ExportStatus& status) {
    ExportFinished(status, path);
  };
  std::string error;
  if (!export_->Start(data, path.toStdString(), sessionCrs_.toStdString(), error)) {
    showMessage(QString::fromStdString(error));
    return false;
  }
  exportLock_ = std::move(lock);
  progress_->setValue(0);
  progress_->show();
  cancel_->show();
  exportGpkg_->setEnabled(false);
  return true;
}

void PlotMapWindow::ExportFinished(const gis::ExportStatus& status, const QString& path) {
  exportLock_.reset();
  progress_->hide();
  cancel_->hide();
  exportGpkg_->setEnabled(!runInProgress_);
  if (!status.Ok()) {
    if (status.code != gis::ExportCode::Cancelled)
      showMessage(QString::fromStdString(status.message));
    statusBar()->showMessage("GeoPackage export stopped", 5000);
    return;
  }
  if (!status.warning.empty()) showMessage(QString::fromStdString(status.warning));
  statusBar()->showMessage("Saved " + path, 5000);
}

}  // namespace treetri
