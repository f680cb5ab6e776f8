// The plot network in the desktop program: chosen in the Job menu and kept
// with the job, its confusable marks on the plot map (pixels at a known
// field tree), its columns in the results table and the side panel, and an
// edit that assesses its whole plot again as a full run with the correction
// would.

// Before any Qt header: Qt's "slots" keyword would take the simulator's
// member of that name.
#include "tools/simulation.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>

#include "app/case_edits.h"
#include "app/gui/plot_map_view.h"
#include "app/gui/results_model.h"
#include "app/plot_map_window.h"
#include "quality/quality_files.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

class PlotNetworkTest : public DesktopTest {
 protected:
  // The cases of quality.csv in `dir` by case number.
  static std::map<int, quality::CaseAssessment> Rows(const std::string& dir) {
    std::vector<quality::CaseAssessment> rows;
    EXPECT_TRUE(quality::ReadQualityFile(dir + "/quality.csv", rows).ok);
    std::map<int, quality::CaseAssessment> byCase;
    for (const quality::CaseAssessment& r : rows) byCase[r.caseNumber] = r;
    return byCase;
  }
};

// A ring of the colour, 7 pixels around `at`: on all four sides (a line
// through the point would give two at most). Each channel within 40: the
// ring's edge is smoothed into the background.
bool Ringed(const QImage& image, QPoint at, const QColor& colour) {
  for (QPoint d : {QPoint(7, 0), QPoint(-7, 0), QPoint(0, 7), QPoint(0, -7)})
    if (!Carries(image, at + d, colour, 40)) return false;
  return true;
}

TEST_F(PlotNetworkTest, TheJobRunsTheNetworkShowsItsMarksAndAnEditAssessesThePlotAgain) {
  // Two realistic plots (wrong numbers naming near neighbours, so that some
  // sightings are confusable), read as the job's map and sightings.
  tools::SimulationOptions o;
  o.seed = 4;
  o.plots = 2;
  o.cases = 70;
  o.MakeRealistic(false);
  o.resultsFileName = File("results.txt");
  std::string error;
  ASSERT_TRUE(
      tools::WriteSimulationFiles(tools::SimulatePlots(o), folder.path().toStdString(), error))
      << error;
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  answers = {File("map.txt"), File("sightings.txt")};
  window.OpenMapAction()->trigger();
  window.OpenSightingsAction()->trigger();
  window.NetworkMethodAction()->trigger();
  ASSERT_TRUE(window.NetworkMethod());
  ASSERT_TRUE(window.Simulate().completed);
  // Every case carries the network's columns, as quality.csv has them.
  const std::map<int, quality::CaseAssessment> file = Rows(folder.path().toStdString());
  ASSERT_EQ(window.Results().Cases().size(), 70u);
  const quality::CaseAssessment* marked = nullptr;  // a network case with confusable sightings
  const quality::CaseAssessment* clean = nullptr;   // a positioned network case without
  for (const quality::CaseQuality& c : window.Results().Cases()) {
    ASSERT_TRUE(c.row.networkFigures) << "case " << c.row.caseNumber;
    EXPECT_EQ(c.row.networkFigures->confusable, file.at(c.row.caseNumber).networkFigures->confusable);
    if (!c.row.networkFigures->network || !c.row.x) continue;
    if (c.row.networkFigures->confusable.value_or(0) > 0 && !marked) marked = &c.row;
    if (c.row.networkFigures->confusable == 0 && !clean && marked && c.row.plot == marked->plot)
      clean = &c.row;
  }
  ASSERT_TRUE(marked && clean) << "the simulated plots should have both kinds of case";
  EXPECT_NE(ReadFile(File("run.json")).find("\"quality_method\": \"network\""), std::string::npos);
  // The GeoPackage export takes the network's quality read back, with its
  // plots, its map trees and the run record.
  const gis::ExportData exported = window.GeoPackageData();
  EXPECT_EQ(exported.quality.size(), 70u);
  EXPECT_TRUE(exported.plots && !exported.plots->empty());
  EXPECT_FALSE(exported.networkMapTrees.empty());
  EXPECT_NE(exported.runRecord.find("\"quality_method\": \"network\""), std::string::npos);
  const int markedCase = marked->caseNumber, count = *marked->networkFigures->confusable, plot = marked->plot;
  const double mx = *marked->x, my = *marked->y, cx = *clean->x, cy = *clean->y;

  // The plot map: a ring of the confusable colour 7 pixels around the
  // marked field tree, none around the clean one; the legend names it.
  PlotMapWindow* map = window.ShowPlotMap(markedCase);
  ASSERT_TRUE(map);
  map->resize(1200, 800);
  QCoreApplication::processEvents();
  map->FitPlot();
  QCoreApplication::processEvents();
  PlotMapView* view = map->View();
  EXPECT_TRUE(view->networkShown);
  const QColor teal = mapstyle::ToQColor(views::ConfusableColour());
  const QImage screen = view->viewport()->grab().toImage();
  for (const auto& [x, y, ringed] : {std::tuple{mx, my, true}, {cx, cy, false}}) {
    const QPoint at = view->mapFromScene(map->ToScene(x, y));
    ASSERT_TRUE(view->FreeArea().contains(at));
    EXPECT_EQ(Ringed(screen, at, teal), ringed);
  }
  // The panel and the table say what the network found.
  EXPECT_TRUE(map->CaseLine()->text().contains("method: plot network"));
  std::set<QString> confusableSlots;
  const QTableWidget* observations = map->ObservationsTable();
  for (int r = 0; r < observations->rowCount(); ++r)
    if (observations->item(r, 10) && observations->item(r, 10)->text().startsWith("tree "))
      confusableSlots.insert(observations->item(r, 0)->text());
  EXPECT_EQ(static_cast<int>(confusableSlots.size()), count);
  const auto* model = static_cast<const QStandardItemModel*>(map->ResultsFilter()->sourceModel());
  int row = 0;
  while (row < model->rowCount() && model->item(row, 0)->text().toInt() != markedCase) ++row;
  ASSERT_LT(row, model->rowCount());
  EXPECT_EQ(model->item(row, ResultsModel::MethodColumn)->text(), "network");
  EXPECT_EQ(model->item(row, ResultsModel::ConfusableColumn)->text(), QString::number(count));

  // An edit of the marked case assesses its whole plot again: what a full
  // network run with the correction and the same azimuth correction gives.
  ASSERT_TRUE(window.Edits() && window.Edits()->Network());
  const int slot = map->Panel()->SelectedSlot();
  ASSERT_GT(slot, 0);
  map->ResultsTable()->sortByColumn(ResultsModel::Sigma0Column, Qt::AscendingOrder);
  ASSERT_TRUE(map->EditSighting(SightingEdit::DropSighting, slot));
  // The plot's σ0 changed on all its rows: the sorted table follows.
  const QSortFilterProxyModel* sorted = map->ResultsFilter();
  for (int r = 1; r < sorted->rowCount(); ++r)
    ASSERT_LE(sorted->index(r - 1, ResultsModel::Sigma0Column).data(ResultsModel::kSortRole).toDouble(),
              sorted->index(r, ResultsModel::Sigma0Column).data(ResultsModel::kSortRole).toDouble())
        << "row " << r;
  std::set<int> plotCases;
  for (const auto& [n, r] : file)
    if (r.plot == plot) plotCases.insert(n);
  const std::vector<int>& changed = window.Edits()->LastChanged();
  EXPECT_EQ(std::set<int>(changed.begin(), changed.end()), plotCases);

  QTemporaryDir other;
  for (const char* name : {"map.txt", "sightings.txt", "corrections.csv"})
    ASSERT_TRUE(QFile::copy(folder.filePath(name), other.filePath(name)));
  std::string params = ReadFile(File(treetri::kParameterFileName));
  params.replace(params.find(File("results.txt")), File("results.txt").size(),
                 other.filePath("results.txt").toStdString());
  std::ofstream(other.filePath(treetri::kParameterFileName).toStdString(), std::ios::binary) << params;
  QProcess batch;
  batch.setWorkingDirectory(other.path());
  batch.start(TREETRI_BATCH, {"--quality", "network", "--corrections", "corrections.csv",
                              "--azimuth-correction-used", folder.filePath("run.json"), "map.txt",
                              "sightings.txt"});
  ASSERT_TRUE(batch.waitForFinished(60000));
  ASSERT_EQ(batch.exitCode(), 0) << batch.readAllStandardError().toStdString();
  const std::map<int, quality::CaseAssessment> rerun = Rows(other.path().toStdString());
  for (int n : plotCases) {
    SCOPED_TRACE("case " + std::to_string(n));
    const quality::CaseAssessment &edited = window.Results().Find(n)->row, &full = rerun.at(n);
    EXPECT_EQ(std::tie(edited.verdict, edited.networkFigures->confusable),
              std::tie(full.verdict, full.networkFigures->confusable));
    ASSERT_EQ(edited.x.has_value(), full.x.has_value());
    if (edited.x) {
      EXPECT_NEAR(*edited.x, *full.x, 1e-4);
      EXPECT_NEAR(*edited.y, *full.y, 1e-4);
    }
  }

  // The run opened again from its files: its network columns, and edits
  // that assess a plot again.
  ASSERT_TRUE(window.OpenResults());
  ASSERT_TRUE(window.Results().Find(markedCase) && window.Results().Find(markedCase)->row.networkFigures);
  EXPECT_TRUE(window.Edits() && window.Edits()->Network());

  // The job keeps its method: opened again, the network is chosen.
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  EXPECT_TRUE(window.NetworkMethod());
  window.SetNetworkMethod(false);
  ASSERT_TRUE(window.OpenJob(folder.path().toStdString()));
  EXPECT_FALSE(window.NetworkMethod());
}

}  // namespace
}  // namespace treetri::gui
