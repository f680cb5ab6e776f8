// The plot map window: every tree of one plot on a zoomable vector map, the
// field trees coloured by their quality verdict with their 95 % confidence
// ellipses, the sightings of the selected case, a side panel with the case's
// quality line and observations, and the results of every case as a table.
// It lives beside the main window and never changes the run's state.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>

#include "app/gui/case_panel.h"
#include "app/gui/plot_map_view.h"
#include "app/gui/scene_drawing.h"
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
class QTabWidget;
class QTableView;
class QTableWidget;

namespace treetri {

class CaseEdits;
class ExportTargetLock;
class GeoPackageExportTask;
class ResultsFilterModel;
class ResultsModel;

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
  // False, with the message, when checkTarget refuses the path.
  // With `lock`, also takes the target's lock against other runs.
  bool TargetAllowed(const QString& path, std::string& error, ExportTargetLock* lock = nullptr) const;

  // Writes the results as a GeoPackage in a worker thread, with progress in
  // the status line; the window stays usable. False, after a message naming
  // the CRS text, when the CRS is unknown, or when an export is under way.
  bool ExportGeoPackage(const QString& path, const QString& crs);
  // From the start of an export until its outcome has been shown.
  bool ExportRunning() const;
  // While a run is under way the results are incomplete: no GeoPackage.
  void SetRunInProgress(bool running);
  // What the GeoPackage export writes; set by the owner of the results.
  std::function<gis::ExportData()> exportData;
  // Asks for the coordinate reference system (tests answer here); false
  // cancels.
  std::function<bool(QString& crs)> askCrs;
  // The job's work folder, whose CRS is remembered (app/gui/crs_dialog.h)
  // and offered first; unset or empty: the session's last CRS only.
  std::function<QString()> workFolder;

  // Called with the case a click on the map or in the table selected.
  std::function<void(int)> onCaseSelected;
  // Asks for a file name to save to, offering `offered` (tests answer
  // here); `chosenFilter` gets the file type picked. Empty cancels.
  std::function<QString(const QString& caption, const QString& filter, const QString& offered,
                        QString& chosenFilter)>
      askSaveFile;
  // Writes the rows the results table shows (filtered, in its order) as CSV.
  bool ExportTable(const QString& path, std::string& error);
  // Shows a message (tests record it).
  std::function<void(const QString&)> showMessage;
  // Why a file may not be written by an export (a file of the run, a
  // non-regular file: the batch program's check), or "" (none set: no check).
  std::function<std::string(const std::string& path)> checkTarget;

  // Sighting edits in the side panel: the owner's edit session after a run
  // (null: no edits, the panel says why).
  std::function<CaseEdits*()> edits;
  // Asks for a tree among `trees` (those near the sighting's end first);
  // `chosen` gets the entry picked. False cancels. Tests answer here.
  std::function<bool(const QString& caption, const QStringList& trees, QString& chosen)> askTree;
  // Asks for a sighting's distance and azimuth, given filled with the
  // current texts ("" drops one). False cancels. Tests answer here.
  std::function<bool(QString& distance, QString& azimuth)> askValues;
  // After an edit or its undo computed a case again.
  std::function<void(int caseNumber)> onCaseEdited;
  // Edits slot `slot` of the selected case (asking where the edit needs a
  // value), records it, computes the case again and shows it. False when
  // nothing changed (cancelled, refused: the reason is shown).
  bool EditSighting(SightingEdit kind, int slot);
  // Undoes the last edit (Ctrl+Z). False when there is none or it failed.
  bool UndoEdit();
  QAction* UndoAction() const { return undo_; }
  CasePanel* Panel() const { return panel_; }

  const views::PlotScene& Scene() const { return scene_; }
  PlotMapView* View() const { return view_; }
  QGraphicsScene* GraphicsScene() const { return graphics_; }
  QTableView* ResultsTable() const { return table_; }
  // The status line's position and scale.
  QLabel* ScaleLabel() const { return pointer_; }
  QSortFilterProxyModel* ResultsFilter() const;
  QLineEdit* FilterText() const { return filterText_; }
  QCheckBox* OnlyOutliers() const { return onlyOutliers_; }
  QTableWidget* ObservationsTable() const;
  QLabel* CaseLine() const;
  QTabWidget* Tabs() const { return tabs_; }
  QAction* ExportGeoPackageAction() const { return exportGpkg_; }

  // Map coordinates of a scene point and back (the scene is centred near the
  // plot to keep screen arithmetic away from millions of metres).
  QPointF ToMap(QPointF scenePoint) const { return frame_.ToMap(scenePoint); }
  QPointF ToScene(double x, double y) const { return frame_.ToScene(x, y); }

 private:
  void BuildToolBar();
  void BuildResultsTab();
  void BuildSidePanel();
  void Rebuild(bool keepView);
  void DrawScene();
  void ShowSummary();
  void FitBox(const PlaneExtent& box);
  void ActivateTableRow(const QModelIndex& index);
  void SizeTableColumns();
  // The status line's pointer position (when known) and scale.
  void ShowPointer();
  // Selects the selected case's line of the results table.
  void SelectTableRow();
  void ExportViewAsked();
  void ExportTableAsked();
  void ExportGeoPackageAsked();
  void ExportFinished(const gis::ExportStatus& status, const QString& path);
  // The side panel's sightings of the selected case and whether they can be
  // edited now.
  void ShowSightings();
  void AfterEdit(int caseNumber);
  void SetUpEdits();
  // The edited cases' table rows with what they were before.
  void PutEditedRows();

  const InputData& input_;
  const views::CaseResults& results_;
  std::unique_ptr<quality::PlotMaps> maps_;
  views::PlotScene scene_;
  MapFrame frame_;
  bool exaggerated_ = false;

  QGraphicsScene* graphics_;
  PlotMapView* view_;
  QTabWidget* tabs_;
  ResultsModel* model_;
  ResultsFilterModel* proxy_;
  QTableView* table_;
  QLineEdit* filterText_;
  QCheckBox* onlyOutliers_;
  CasePanel* panel_;
  QLabel* pointer_;
  QLabel* summary_;
  QAction* exaggerate_;
  QAction* exportView_;
  QAction* exportGpkg_;
  QAction* undo_;
  QProgressBar* progress_;
  QPushButton* cancel_;
  GeoPackageExportTask* export_;
  std::shared_ptr<ExportTargetLock> exportLock_;  // the GeoPackage's target while it is written
  // The CRS last given, offered again for the rest of the session.
  static QString sessionCrs_;
  bool runInProgress_ = false;
  QList<QGraphicsItem*> labels_;
  std::optional<QPointF> pointerAt_;
  // The sightings of a selected case without a position, from its map trees.
  std::vector<SightingRay> rays_;
  std::vector<SightingRay> RaysOfUnpositionedCase() const;  // scene point last under the pointer
};

}  // namespace treetri
