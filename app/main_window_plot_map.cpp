// The main window's side of the plot map: opening it on a case of the
// results list (Ctrl+M, Enter or the context menu), with the quality of the
// work folder's last run read back when this session has not run, and the
// data its GeoPackage export writes.
#include <algorithm>

#include <QKeyEvent>
#include <QListWidget>

#include "app/case_edits.h"
#include "app/main_window.h"
#include "app/plot_map_window.h"
#include "core/export_target.h"
#include "core/run_record.h"
#include "gis/run_export.h"
#include "platform/files.h"
#include "platform/qt/qt_ui.h"
#include "quality/quality_files.h"

namespace treetri {

PlotMapWindow* MainWindow::ShowPlotMap(int caseNumber) {
  if (caseNumber == 0) caseNumber = ui_->ListSelectedIndex();
  if (caseNumber < 1) return nullptr;
  // Without a run in this session, the quality files of the last run in the
  // work folder, when they are there.
  const std::string qualityPath = t_.WorkFolder + quality::kQualityFileName;
  if (results_.Cases().empty() && !running_ && FileExists(qualityPath)) {
    std::string error;
    std::vector<std::string> warnings;
    if (!results_.Load(qualityPath, t_.WorkFolder + quality::kObservationsFileName, error,
                       &warnings))
      ui_->MessageBox(error);
    for (const std::string& w : warnings) ui_->MessageBox(w);
    std::string why;
    if (!results_.Cases().empty() && !edits_) EditsOfRecordedRun(why);
  }
  const bool known = results_.Find(caseNumber) != nullptr;
  const bool onList = caseNumber <= t_.TargetTreeCount && caseNumber <= t_.TargetTrees.Size();
  if (!known && !onList) return nullptr;
  if (!plotMap_) {
    plotMap_ = new PlotMapWindow(t_, results_, this);
    plotMap_->onCaseSelected = [this](int n) {
      ui_->FlushList();
      if (n < list_->count()) list_->setCurrentRow(n);
    };
    plotMap_->exportData = [this] { return GeoPackageData(); };
    plotMap_->edits = [this] { return edits_.get(); };
    plotMap_->checkTarget = [this](const std::string& path) { return ExportTargetProblem(t_, path); };
    plotMap_->workFolder = [this] { return QString::fromStdString(t_.WorkFolder); };
    plotMap_->SetRunInProgress(running_);
  } else {
    plotMap_->Reload();
  }
  if (known)
    plotMap_->ShowCase(caseNumber);
  else
    plotMap_->ShowPlot(t_.TargetTrees[caseNumber].Plot);
  plotMap_->show();
  plotMap_->raise();
  plotMap_->activateWindow();
  return plotMap_;
}

gis::ExportData MainWindow::GeoPackageData() const {
  // The run's own data, else the quality read back from the files of an
  // earlier run; the run record of the work folder as its metadata.
  gis::ExportData data = !exportData_.results.empty() || results_.Cases().empty()
                             ? exportData_
                             : gis::ExportDataFromQuality(results_.Cases(), t_.PhotoTrees,
                                                          &t_.TargetTrees);
  // A plot network run: its figures, plots and map trees are in its files.
  const bool network =
      data.quality.empty() ? !data.results.empty()
                           : std::any_of(data.quality.begin(), data.quality.end(),
                                         [](const quality::CaseAssessment& q) {
                                           return q.networkFigures && q.networkFigures->network;
                                         });
  std::string reason;
  if (network && gis::AddNetworkFiles(data, t_.WorkFolder, reason)) {
    data.leftOut.clear();
    gis::AddLeftOutSightings(data, t_.TargetTrees);
  }
  if (!ReadWholeFile(t_.WorkFolder + kRunRecordFileName, data.runRecord, reason))
    data.runRecord.clear();
  return data;
}

PlotMapWindow* MainWindow::PlotMap() const { return plotMap_; }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      ShowPlotMap();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace treetri
