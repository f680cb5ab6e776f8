// The plot map follows the case picked in the main list, also within the
// plot it already shows.
#include <QCoreApplication>
#include <QListWidget>
#include <QScrollBar>

#include "app/gui/plot_map_view.h"
#include "app/plot_map_window.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

TEST_F(DesktopTest, ThePlotMapFollowsASelectionInTheSamePlot) {
  OpenDataSet();
  ASSERT_TRUE(window.Simulate().completed);
  PlotMapWindow* map = window.ShowPlotMap(1);
  ASSERT_TRUE(map);
  map->resize(700, 500);
  QCoreApplication::processEvents();
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
