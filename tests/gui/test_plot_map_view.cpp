// The plot map's view and table: labels that would overlap wait for a
// closer zoom, the legend moves off the selected case or hides, the status
// line follows every zoom, a case without a position shows its sightings
// from the map trees, the table's highlight follows the shown case through
// filtering, and exports complete a name without extension.
#include <cmath>
#include <fstream>

#include <QFile>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include "app/gui/plot_map_view.h"
#include "app/gui/results_model.h"
#include "app/gui/scene_drawing.h"
#include "app/plot_map_window.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST(PlotMapLabels, ALabelThatWouldOverlapAnotherWaitsForACloserZoom) {
  views::PlotScene scene;
  scene.plot = 1;
  // Trees 1 and 2 five centimetres apart, tree 3 far from both.
  scene.mapTrees = {{1, 0, 0}, {2, 0.05, 0}, {3, 5, 5}};
  QGraphicsScene graphics;
  const QList<QGraphicsItem*> labels = DrawPlotScene(graphics, scene, MapFrame{}, 1);
  ASSERT_EQ(labels.size(), 3);
  const auto shown = [&] {
    int n = 0;
    for (QGraphicsItem* l : labels) n += l->isVisible();
    return n;
  };
  ShowLabels(labels, kLabelPixelsPerMetre / 2);
  EXPECT_EQ(shown(), 0);
  ShowLabels(labels, 20);  // 1 pixel apart: one of the two
  EXPECT_EQ(shown(), 2);
  EXPECT_TRUE(labels[2]->isVisible());
  EXPECT_NE(labels[0]->isVisible(), labels[1]->isVisible());
  ShowLabels(labels, 2000);  // 100 pixels apart
  EXPECT_EQ(shown(), 3);
}

class PlotMapViewTest : public DesktopTest {
 protected:
  // The data set and a fourth field tree, 104, that only an azimuth of
  // 45 degrees to map tree 1 sights: it gets no position.
  PlotMapWindow* Run() {
    OpenDataSet();
    std::ofstream(File("sightings.txt"), std::ios::binary | std::ios::app)
        << "1,104,1,1,1,-1,45,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r\n";
    answers = {File("sightings.txt")};
    window.OpenSightingsAction()->trigger();
    if (!window.Simulate().completed) return nullptr;
    PlotMapWindow* map = window.ShowPlotMap(1);
    if (map) map->resize(900, 600);
    QCoreApplication::processEvents();
    return map;
  }
};

TEST_F(PlotMapViewTest, TheLegendLeavesTheSelectedCaseInSightAndCanBeHidden) {
  PlotMapWindow* map = Run();
  ASSERT_TRUE(map);
  map->SelectCase(1);
  PlotMapView* view = map->View();
  const QRectF area = view->viewport()->rect();
  const QPointF tree = map->ToScene(0.3, 0.2);
  // The case moved under the legend's usual place: the legend goes elsewhere.
  view->ZoomBy(20);  // room to move the map under the legend
  const QRectF usual = view->LegendRect(area);
  view->centerOn(tree + (area.center() - usual.center()) / view->PixelsPerMetre());
  const QPointF onScreen = view->mapFromScene(tree);
  ASSERT_TRUE(usual.contains(onScreen));
  const QRectF moved = view->LegendRect(area);
  EXPECT_FALSE(moved.isNull());
  EXPECT_FALSE(moved.contains(onScreen));
  view->legendShown = false;
  EXPECT_TRUE(view->LegendRect(area).isNull());
  EXPECT_EQ(view->FreeArea(), view->viewport()->rect());

  // Every zoom shows its scale in the status line.
  QTest::keyClick(view, Qt::Key_Plus);
  EXPECT_TRUE(map->ScaleLabel()->text().contains(QString::number(view->PixelsPerMetre(), 'g', 3)));
  map->FitPlot();
  EXPECT_TRUE(map->ScaleLabel()->text().contains(QString::number(view->PixelsPerMetre(), 'g', 3)));
}

TEST_F(PlotMapViewTest, ACaseWithoutAPositionShowsItsSightingFromTheMapTree) {
  PlotMapWindow* map = Run();
  ASSERT_TRUE(map);
  const quality::CaseQuality* c = window.Results().Find(4);
  ASSERT_TRUE(c);
  ASSERT_FALSE(c->row.x.has_value());
  map->SelectCase(4);
  // From map tree 1 at (1, 0) back against the azimuth of 45 degrees
  // (corrected by the run's small draw): towards the south-west.
  int rays = 0;
  for (QGraphicsItem* item : map->GraphicsScene()->items()) {
    auto* line = qgraphicsitem_cast<QGraphicsLineItem*>(item);
    if (!line || line->line().p1() != map->ToScene(1, 0)) continue;
    const QPointF end = map->ToMap(line->line().p2());
    EXPECT_NEAR(end.x(), 1 - kRayLength * std::sqrt(0.5), 0.2);
    EXPECT_NEAR(end.y(), -kRayLength * std::sqrt(0.5), 0.2);
    ++rays;
  }
  EXPECT_EQ(rays, 1);
  EXPECT_GE(map->Scene().caseBox.Width(), kRayLength);
}

TEST_F(PlotMapViewTest, TheTableHighlightFollowsTheShownCaseThroughFilteringAndExports) {
  PlotMapWindow* map = Run();
  ASSERT_TRUE(map);
  map->SelectCase(2);
  const auto highlighted = [&] {
    const QModelIndexList rows = map->ResultsTable()->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().data(ResultsModel::kCaseRole).toInt() : 0;
  };
  EXPECT_EQ(highlighted(), 2);
  map->FilterText()->setText("103");  // hides case 2
  EXPECT_EQ(highlighted(), 0);
  map->FilterText()->setText("");
  EXPECT_EQ(highlighted(), 2);

  // The table as filtered, as CSV.
  map->FilterText()->setText("103");
  std::string error;
  ASSERT_TRUE(map->ExportTable(QString::fromStdString(File("table.csv")), error)) << error;
  std::ifstream in(File("table.csv"));
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  EXPECT_EQ(lines, 1 + 1);

  // Export view: a name without extension gets the chosen type's.
  QString offered;
  map->askSaveFile = [&](const QString&, const QString&, const QString& name, QString& type) {
    offered = name;
    type = "SVG drawing (*.svg)";
    return QString::fromStdString(File("view"));
  };
  for (QAction* a : map->findChildren<QAction*>())
    if (a->shortcut() == QKeySequence("Ctrl+E")) a->trigger();
  EXPECT_FALSE(offered.isEmpty());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(File("view.svg"))));
}

}  // namespace
}  // namespace treetri::gui
