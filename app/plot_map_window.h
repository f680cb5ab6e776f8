// The plot map window: every tree of one plot on a zoomable vector map, the
// field trees coloured by their quality verdict with their 95 % confidence
// ellipses, the sightings of the selected case, a side panel with the case's
// quality line and observations, and the results of every case as a table.
// It lives beside the main window and never changes the run's state.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>

#include <QMainWindow>

#include "app/plot_map_view.h"
#include "data/tables.h"
#include "gis/gpkg_export.h"
#include "views/plot_scene.h"

class QAction;
class QGraphicsScene;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QCheckBox;
class QSortFilterProxyModel;
class QStandardItem;
class QStandardItemModel;
class QTabWidget;
class QTableView;
class QTableWidget;

namespace treetri {

class PlotMapWindow : public QMainWindow {
 public:
  // The window shows the map trees of `input` and the cases of `results`;
  // both stay owned by the caller and outlive the window.
  PlotMapWindow(const InputData& input, const views::CaseResults& results,
                QWidget* parent = nullptr);
  ~PlotMapWindow() override;

  // Shows the plot of a case with the case selected and framed.
  void ShowCase(int caseNumber);
  // Shows a plot without a case selected (its map trees before a run).
  void ShowPlot(int plot);
  // Selects a case of the plot shown (or another plot) without reframing.
  void SelectCase(int caseNumber);
  int SelectedCase() const { return scene_.selectedCase; }
  // The run added or replaced a case: the table and, when the case belongs
  // to the plot shown, the map follow.
  void CaseAdded(int caseNumber);
  // The results or the map changed as a whole (a new run, a new map).
  void Reload();

  void FitPlot();
  void FitCase();
  void SetExaggerated(bool on);

  // Saves the view as it is shown, the overlays included: PNG (at twice
  // the screen resolution), SVG or PDF, by the file's suffix. False with a
  // reason naming the file.
  bool ExportView(const QString& path, std::string& error);

  // Writes the results as a GeoPackage in a worker thread, with progress in
  // the status line; the window stays usable. False, after a message naming
  // the CRS text, when the CRS is unknown, or when an export is under way.
  bool ExportGeoPackage(const QString& path, const QString& crs);
  // From the start of an export until its outcome has been shown.
  bool ExportRunning() const { return worker_.joinable(); }
  // While a run is under way the results are incomplete: no GeoPackage.
  void SetRunInProgress(bool running);
  // What the GeoPackage export writes; set by the owner of the results.
  std::function<gis::ExportData()> exportData;
  // Asks for the coordinate reference system (tests answer here); false
  // cancels.
  std::function<bool(QString& crs)> askCrs;

  // Called with the case a click on the map or in the table selected.
  std::function<void(int)> onCaseSelected;
  // Asks for a file name to save to (tests answer here); empty cancels.
  std::function<QString(const QString& caption, const QString& filter)> askSaveFile;
  // Shows a message (tests record it).
  std::function<void(const QString&)> showMessage;

  const views::PlotScene& Scene() const { return scene_; }
  PlotMapView* View() const { return view_; }
  QGraphicsScene* GraphicsScene() const { return graphics_; }
  QTableView* ResultsTable() const { return table_; }
  QSortFilterProxyModel* ResultsFilter() const { return proxy_; }
  QLineEdit* FilterText() const { return filterText_; }
  QCheckBox* OnlyOutliers() const { return onlyOutliers_; }
  QTableWidget* ObservationsTable() const { return observations_; }
  QLabel* CaseLine() const { return caseLine_; }
  QTabWidget* Tabs() const { return tabs_; }
  QAction* ExportGeoPackageAction() const { return exportGpkg_; }

  // Map coordinates of a scene point and back (the scene is centred near the
  // plot to keep screen arithmetic away from millions of metres).
  QPointF ToMap(QPointF scenePoint) const;
  QPointF ToScene(double x, double y) const;

 private:
  void BuildToolBar();
  void BuildResultsTab();
  void BuildSidePanel();
  void Rebuild(bool keepView);
  void DrawScene();
  void FillSidePanel();
  // The cells of a case's line of the results table.
  QList<QStandardItem*> TableRow(const quality::QualityRow& q) const;
  void FitBox(const views::Box& box);
  void UpdateLabels();
  void ActivateTableRow(const QModelIndex& index);
  // Selects the selected case's line of the results table.
  void SelectTableRow();
  void ExportViewAsked();
  void ExportGeoPackageAsked();
  void ExportFinished(const gis::ExportStatus& status, const QString& path);
  void JoinWorker();

  const InputData& input_;
  const views::CaseResults& results_;
  std::unique_ptr<quality::PlotMaps> maps_;
  views::PlotScene scene_;
  QPointF origin_;
  bool exaggerated_ = false;

  QGraphicsScene* graphics_;
  PlotMapView* view_;
  QTabWidget* tabs_;
  QStandardItemModel* model_;
  std::unordered_map<int, int> rowOfCase_;  // case number: row of model_
  QSortFilterProxyModel* proxy_;
  QTableView* table_;
  QLineEdit* filterText_;
  QCheckBox* onlyOutliers_;
  QLabel* caseLine_;
  QTableWidget* observations_;
  QLabel* pointer_;
  QLabel* summary_;
  QAction* exaggerate_;
  QAction* exportView_;
  QAction* exportGpkg_;
  QProgressBar* progress_;
  QPushButton* cancel_;
  std::thread worker_;
  std::atomic<bool> cancelExport_{false};
  // The CRS last given, offered again for the rest of the session.
  static QString sessionCrs_;
  bool runInProgress_ = false;
  QList<QGraphicsItem*> labels_;
};

}  // namespace treetri
