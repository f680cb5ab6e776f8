// The plot map's view and table: labels that would overlap wait for a
// closer zoom, on the screen and in exports; the legend moves off the
// selected case or hides, the status line follows every zoom, a case without
// a position shows its sightings from the map trees, the table's highlight
// follows the shown case through filtering, exports complete a name without
// extension, and the map follows the case picked in the main list.
#include <algorithm>
#include <cmath>

#include <QFile>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/gui/plot_map_view.h"
#include "app/gui/results_model.h"
#include "app/gui/scene_drawing.h"
#include "app/gui/view_export.h"
#include "app/plot_map_window.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

// Labels wait for a zoom at which they are readable and apart: a label that
// would overlap one placed before it is left out until a closer zoom. Exports
// draw what the screen draws: a label the screen leaves out is left out of
// the export too, and once the screen shows it, the export shows it as well.
TEST(PlotMapExport, LeavesOutTheLabelsTheScreenLeavesOut) {
  QTemporaryDir dir;
  views::PlotScene scene;
  scene.plot = 1;
  scene.mapTrees = {{11111, 0, 0}, {22222, 0.5, 0}};  // wide labels, half a metre apart
  QGraphicsScene graphics;
  PlotMapView view(&graphics);
  view.legendShown = false;
  view.resize(500, 400);
  view.show();
  const QList<QGraphicsItem*> labels = DrawPlotScene(graphics, scene, MapFrame{}, 1);
  ASSERT_EQ(labels.size(), 2);
  ShowLabels(labels, kLabelPixelsPerMetre / 2);
  EXPECT_FALSE(labels[0]->isVisible() || labels[1]->isVisible());
  // Label pixels (the text is dark grey) in a rectangle of the view, in an
  // image `scale` times the view's size.
  const auto dark = [](const QImage& image, const QRect& r, int scale) {
    int n = 0;
    for (int y = r.top() * scale; y <= r.bottom() * scale; ++y)
      for (int x = r.left() * scale; x <= r.right() * scale; ++x) {
        const QColor p(image.pixel(x, y));
        n += p.red() < 0x90 && p.green() < 0x90 && p.blue() < 0x90;
      }
    return n;
  };
  // Where a label lies in the view.
  const auto rectOf = [&](QGraphicsItem* label) {
    return QRectF(QPointF(view.mapFromScene(label->pos())) + QPointF(5, -15) +
                      label->boundingRect().topLeft(),
                  label->boundingRect().size())
        .toRect();
  };
  for (double ppm : {20.0, 200.0}) {  // labels 10 and 100 pixels apart
    view.resetTransform();
    view.scale(ppm, ppm);
    view.centerOn(0.25, 0);
    ShowLabels(labels, view.PixelsPerMetre());
    QCoreApplication::processEvents();
    const QImage screen = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    std::string error;
    const QString png = dir.filePath("view.png");
    ASSERT_TRUE(ExportView(view, "plot 1", png, error)) << error;
    const QImage exported = QImage(png).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(exported.size(), screen.size() * 2);
    // The left label's own part, left of the right one's (and above the
    // map trees' dots): text there only when the left label is shown.
    const QRect left = rectOf(labels[0]), right = rectOf(labels[1]);
    ASSERT_LT(left.left(), right.left());
    const QRect own(left.left() + 1, left.top() + 1,
                    std::min(left.width(), right.left() - left.left()) - 2, left.height() - 4);
    const bool shown = labels[0]->isVisible();
    EXPECT_EQ(shown, ppm > 100) << "at " << ppm << " px/m";
    EXPECT_EQ(dark(screen, own, 1) > 0, shown) << "screen at " << ppm << " px/m";
    EXPECT_EQ(dark(exported, own, 2) > 0, shown) << "export at " << ppm << " px/m";
    // The right label is placed first: always shown, on both.
    EXPECT_GT(dark(screen, right.adjusted(1, 1, -1, -4), 1), 0);
    EXPECT_GT(dark(exported, right.adjusted(1, 1, -1, -4), 2), 0);
  }
}

class PlotMapViewTest : public DesktopTest {
 protected:
  // The data set and a fourth field tree, 104, that only an azimuth of
  // 45 degrees to map tree 1 sights: it gets no position. Its plot map.
  void SetUp() override {
    OpenDataSet(kSightings + std::string("1,104,1,1,1,-1,45,0,-1,-1,0,-1,-1,0,-1,-1,0,-1,-1\r\n"));
    ASSERT_TRUE(window.Simulate().completed);
    map = window.ShowPlotMap(1);
    ASSERT_TRUE(map);
    map->resize(900, 600);
    QCoreApplication::processEvents();
  }
  PlotMapWindow* map = nullptr;
};

TEST_F(PlotMapViewTest, TheLegendLeavesTheSelectedCaseInSightAndCanBeHidden) {
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
  EXPECT_FALSE(moved.isNull() || moved.contains(onScreen));
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
  const std::string csv = ReadFile(File("table.csv"));
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 1) << csv;  // the header and case 3

  // Export view: a name without extension gets the chosen type's.
  QString offered;
  map->askSaveFile = [&](const QString&, const QString&, const QString& name, QString& type) {
    offered = name, type = "SVG drawing (*.svg)";
    return QString::fromStdString(File("view"));
  };
  for (QAction* a : map->findChildren<QAction*>())
    if (a->shortcut() == QKeySequence("Ctrl+E")) a->trigger();
  EXPECT_FALSE(offered.isEmpty());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(File("view.svg"))));
}

// The plot map follows the case picked in the main list, also within the
// plot it already shows.
TEST_F(PlotMapViewTest, ThePlotMapFollowsASelectionInTheSamePlot) {
  PlotMapView* view = map->View();
  const auto visible = [&] { return view->mapToScene(view->viewport()->rect()).boundingRect(); };
  const auto caseRect = [&] {
    const PlaneExtent& b = map->Scene().caseBox;
    return QRectF(map->ToScene(b.minX, b.maxY), map->ToScene(b.maxX, b.minY)).normalized();
  };
  ASSERT_TRUE(visible().contains(caseRect()));
  // Zoomed in on case 1 and moved away from the others.
  view->scale(4, 4);
  view->centerOn(map->ToScene(0.3 + 50, 0.2 + 50));
  QCoreApplication::processEvents();
  const double scale = view->transform().m11();
  for (int row : {3, 2}) {
    window.List1()->setCurrentRow(row);
    QCoreApplication::processEvents();
    EXPECT_EQ(map->Scene().selectedCase, row);
    EXPECT_TRUE(visible().contains(caseRect())) << "case " << row;
    // Within the plot the scale stays.
    EXPECT_DOUBLE_EQ(view->transform().m11(), scale);
  }
}

}  // namespace
}  // namespace treetri::gui
