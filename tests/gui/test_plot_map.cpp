// The plot map window on the example data (case 15 of plot 2 is an outlier
// whose distance to map tree 15 is suspect; tree 7 is suggested instead):
// opening it from the results list, the case selection both ways, the
// layers of its scene, zoom and fit, export, the results table, and the map
// following a run case by case.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <QCheckBox>
#include <gdal_priv.h>
#include <QPainter>
#include <QFile>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSortFilterProxyModel>
#include <QSvgRenderer>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "app/gui/crs_dialog.h"
#include "app/desktop.h"
#include "app/plot_map_window.h"
#include "platform/run_guard.h"
#include "tests/gui/gui_support.h"

namespace treetri::gui {
namespace {

class PlotMapTest : public DesktopTest {
 protected:
  // The example data in the test's folder, the results file there too.
  void RunExample() {
    std::string params = ReadFile(TREETRI_SOURCE_DIR "/examples/SimulationInputParameters2.txt");
    params.replace(params.find("results.txt"), 11, File("results.txt"));
    std::ofstream(File(kParameterFileName), std::ios::binary) << params;
    tables.WorkFolder = folder.path().toStdString() + "/";
    answers = {TREETRI_SOURCE_DIR "/examples/map.txt",
               TREETRI_SOURCE_DIR "/examples/sightings.txt"};
    window.OpenMapAction()->trigger();
    window.OpenSightingsAction()->trigger();
    window.SimulateAction()->trigger();
    ASSERT_EQ(window.Results().Cases().size(), 30u);
  }
  PlotMapWindow* Open(int caseNumber) {
    window.List1()->setCurrentRow(caseNumber);
    window.ShowOnPlotMapAction()->trigger();
    return window.PlotMap();
  }
  std::string error;
};

TEST_F(PlotMapTest, OpensFromTheListAndSelectsCasesBothWays) {
  RunExample();
  // The context menu holds the command; Enter on a line does the same.
  EXPECT_TRUE(window.List1()->contextMenuPolicy() == Qt::ActionsContextMenu &&
              window.List1()->actions().contains(window.ShowOnPlotMapAction()));
  PlotMapWindow* map = Open(15);
  ASSERT_TRUE(map && map->isVisible() && !map->isModal());
  EXPECT_EQ(map->SelectedCase(), 15);
  // Closed (and gone: it is deleted on close), the map opens again on Enter
  // and on Ctrl+M. (An open map follows the list's selection by itself, so
  // the keys are tested with the map closed.)
  for (const QKeyCombination key : {QKeyCombination(Qt::Key_Return), Qt::CTRL | Qt::Key_M}) {
    window.PlotMap()->close();
    QCoreApplication::processEvents();
    ASSERT_EQ(window.PlotMap(), nullptr);
    window.List1()->setCurrentRow(3);
    window.activateWindow();  // (a window's shortcut needs it active)
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(window.List1(), key.key(), key.keyboardModifiers());
    map = window.PlotMap();
    ASSERT_TRUE(map && map->isVisible()) << key.toCombined();
    EXPECT_EQ(map->SelectedCase(), 3);
  }

  // A click on field tree 1005 of plot 1 (case 5) selects its line and
  // fills the side panel.
  const quality::CaseAssessment& five = window.Results().Find(5)->row;
  QCoreApplication::processEvents();
  const QPoint at = map->View()->mapFromScene(map->ToScene(*five.x, *five.y));
  QTest::mouseClick(map->View()->viewport(), Qt::LeftButton, {}, at);
  EXPECT_EQ(map->SelectedCase(), 5);
  EXPECT_EQ(window.List1()->currentRow(), 5);
  EXPECT_TRUE(map->CaseLine()->text().contains("<b>Case 5</b>"));
  EXPECT_EQ(map->ObservationsTable()->rowCount(),
            static_cast<int>(window.Results().Find(5)->observations.size()));
  EXPECT_EQ(map->ResultsTable()->currentIndex().data().toString(), "5");

  // Enter on a line of the results table shows that case on the map.
  map->Tabs()->setCurrentIndex(1);
  QTableView* table = map->ResultsTable();
  table->setCurrentIndex(table->model()->index(14, 0));
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_EQ(map->SelectedCase(), 15);
  EXPECT_EQ(window.List1()->currentRow(), 15);
  EXPECT_EQ(map->Tabs()->currentWidget(), map->View());
}

TEST_F(PlotMapTest, LayersOfTheOutlierCaseZoomAndFit) {
  RunExample();
  PlotMapWindow* map = Open(15);
  ASSERT_TRUE(map);
  const views::PlotScene& s = map->Scene();
  // Plot 2 has 22 map trees and 10 field trees in the example files.
  EXPECT_EQ((std::vector<size_t>{size_t(s.plot), s.mapTrees.size(), s.fieldTrees.size(),
                                 s.ellipses.size(), s.lines.size()}),
            (std::vector<size_t>{2, 22, 10, 10, 4}));
  std::vector<int> suspects;
  for (const views::SightingLine& l : s.lines)
    if (l.suspect) suspects.push_back(l.tree);
  EXPECT_EQ(suspects, std::vector<int>{15});
  EXPECT_EQ(s.suggested ? s.suggested->tree : 0, 7);
  // The graphics: ellipses are the only items drawn to scale, sighting lines
  // the only line items (the suspect one twice, with its halo).
  int ellipses = 0, lines = 0;
  for (QGraphicsItem* item : map->GraphicsScene()->items()) {
    ellipses += qgraphicsitem_cast<QGraphicsEllipseItem*>(item) &&
                !(item->flags() & QGraphicsItem::ItemIgnoresTransformations);
    lines += qgraphicsitem_cast<QGraphicsLineItem*>(item) != nullptr;
  }
  EXPECT_EQ(std::make_pair(ellipses, lines), std::make_pair(10, 5));

  // Fit case frames the case and fit plot every tree of the plot, both
  // clear of the legend, also after the window's size changed; the wheel and
  // the keys zoom.
  QCoreApplication::processEvents();
  PlotMapView* view = map->View();
  EXPECT_GT(view->FreeArea().left(), 100);
  const auto inside = [&](const PlaneExtent& b) {
    const QRect free = view->FreeArea();
    return free.contains(view->mapFromScene(map->ToScene(b.minX, b.minY))) &&
           free.contains(view->mapFromScene(map->ToScene(b.maxX, b.maxY)));
  };
  map->FitCase();
  const double caseScale = view->PixelsPerMetre();
  EXPECT_TRUE(inside(s.caseBox));
  map->FitPlot();
  EXPECT_TRUE(inside(s.plotBox));
  EXPECT_LE(view->PixelsPerMetre(), caseScale);
  map->resize(map->width() - 200, map->height() - 250);
  QCoreApplication::processEvents();
  EXPECT_TRUE(inside(s.plotBox));
  const double before = view->PixelsPerMetre();
  QTest::keyClick(view, Qt::Key_Plus);
  EXPECT_NEAR(view->PixelsPerMetre(), before * 1.25, 1e-9 * before);
  QWheelEvent wheel(QPointF(50, 50), view->mapToGlobal(QPointF(50, 50)), {}, QPoint(0, -120),
                    Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(view->viewport(), &wheel);
  EXPECT_LT(view->PixelsPerMetre(), before * 1.25);
}

TEST_F(PlotMapTest, ExportsTheViewWithTheTreesWhereTheScreenShowsThem) {
  RunExample();
  PlotMapWindow* map = Open(15);
  ASSERT_TRUE(map);
  QCoreApplication::processEvents();
  PlotMapView* view = map->View();
  const QSize size = view->viewport()->size();
  // Where the outlier (case 15) and the map tree its suspect distance
  // sights (15) are on the screen, clear of the legend.
  const views::PlotScene& s = map->Scene();
  const auto field = std::find_if(s.fieldTrees.begin(), s.fieldTrees.end(),
                                  [](const views::FieldTreeMark& f) { return f.caseNumber == 15; });
  const auto mapTree = std::find_if(s.mapTrees.begin(), s.mapTrees.end(),
                                    [](const quality::MapTree& m) { return m.tree == 15; });
  ASSERT_TRUE(field != s.fieldTrees.end() && mapTree != s.mapTrees.end());
  const QPoint outlierAt = view->mapFromScene(map->ToScene(field->x, field->y));
  const QPoint mapTreeAt = view->mapFromScene(map->ToScene(mapTree->x, mapTree->y));
  ASSERT_TRUE(view->FreeArea().contains(outlierAt) && view->FreeArea().contains(mapTreeAt));
  const QColor outlier = mapstyle::ToQColor(views::VerdictColour(quality::Verdict::Outlier));

  const QString png = QString::fromStdString(File("view.png"));
  ASSERT_TRUE(map->ExportView(png, error)) << error;
  const QImage image(png);
  ASSERT_EQ(image.size(), size * 2);  // twice the screen's resolution
  EXPECT_TRUE(Carries(image, outlierAt * 2, outlier));
  EXPECT_TRUE(Carries(image, mapTreeAt * 2, mapstyle::kMapTreeFill));
  EXPECT_FALSE(Carries(image, outlierAt * 2, mapstyle::kMapTreeFill));

  // The SVG drawn again by an SVG reader: the same trees at the same places,
  // no line drawn as wide as the view has pixels per metre.
  const QString svg = QString::fromStdString(File("view.svg"));
  ASSERT_TRUE(map->ExportView(svg, error)) << error;
  const QByteArray svgBytes = QByteArray::fromStdString(ReadFile(File("view.svg")));
  EXPECT_FALSE(svgBytes.contains("non-scaling-stroke"));
  QSvgRenderer renderer(svgBytes);
  ASSERT_TRUE(renderer.isValid());
  QImage drawn(size, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  QPainter painter(&drawn);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  painter.end();
  EXPECT_TRUE(Carries(drawn, outlierAt, outlier));
  EXPECT_TRUE(Carries(drawn, mapTreeAt, mapstyle::kMapTreeFill));

  // The PDF page is the view's size at 96 dots per inch.
  const QString pdf = QString::fromStdString(File("view.pdf"));
  ASSERT_TRUE(map->ExportView(pdf, error)) << error;
  const QByteArray pdfBytes = QByteArray::fromStdString(ReadFile(File("view.pdf")));
  const int box = pdfBytes.indexOf("/MediaBox [");
  ASSERT_TRUE(pdfBytes.startsWith("%PDF") && box >= 0);
  const QList<QByteArray> corners =
      pdfBytes.mid(box + 11, pdfBytes.indexOf(']', box) - box - 11).simplified().split(' ');
  ASSERT_EQ(corners.size(), 4);
  EXPECT_NEAR(corners[2].toDouble(), size.width() * 72.0 / 96, 1.0);
  EXPECT_NEAR(corners[3].toDouble(), size.height() * 72.0 / 96, 1.0);
  for (const QString& path : {png, svg, pdf}) EXPECT_FALSE(QFile::exists(path + ".part"));

  // An unknown suffix and a folder that does not exist are refused by name.
  for (const std::string& bad : {File("view.bmp"), File("none/view.png")}) {
    EXPECT_FALSE(map->ExportView(QString::fromStdString(bad), error));
    EXPECT_NE(error.find(bad), std::string::npos) << error;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(bad)));
  }
}

TEST_F(PlotMapTest, ExportsAGeoPackageWithoutBlockingAndRefusesAnUnknownCrs) {
  RunExample();
  PlotMapWindow* map = Open(15);
  ASSERT_TRUE(map);
  std::vector<QString> shown, crsOffered;
  map->showMessage = [&](const QString& text) { shown.push_back(text); };
  const QString path = QString::fromStdString(File("plots.gpkg"));
  map->askSaveFile = [&](const QString&, const QString&, const QString&, QString&) { return path; };
  for (const char* crs : {"EPSG:nonsense", "EPSG:3067", "EPSG:2393", ""}) {
    map->askCrs = [&](QString& text) { crsOffered.push_back(text), text = crs; return true; };
    map->ExportGeoPackageAction()->trigger();
    // The command returns at once; the export's outcome comes through the
    // event loop. A CRS whose area of use is far from the plots is refused.
    EXPECT_EQ(map->ExportRunning(), std::string(crs) == "EPSG:2393" || std::string(crs).empty());
    QTRY_VERIFY(!map->ExportRunning());
    QCoreApplication::processEvents();
  }
  // The unknown CRS is named and nothing is written; the known one is
  // offered again; without a CRS the export warns.
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_TRUE(shown[0].contains("EPSG:nonsense")) << shown[0].toStdString();
  EXPECT_TRUE(shown[1].contains("outside its area of use")) << shown[1].toStdString();
  EXPECT_EQ(crsOffered, (std::vector<QString>{"", "", "", "EPSG:2393"}));
  // The job's folder remembers the system of its last export (none).
  QString remembered = "unchanged";
  EXPECT_TRUE(RememberedCrs(QString::fromStdString(tables.WorkFolder), remembered));
  EXPECT_EQ(remembered, "");
  // The GeoPackage's metadata holds the run record of the job's run.
  GDALAllRegister();
  std::unique_ptr<GDALDataset> ds(GDALDataset::Open(path.toUtf8().constData(),
                                                    GDAL_OF_VECTOR | GDAL_OF_READONLY));
  ASSERT_TRUE(ds);
  const char* item = ds->GetMetadataItem("GPKG_METADATA_ITEM_1");
  const std::string metadata = item ? item : "";
  EXPECT_NE(metadata.find("\"work_folder\": \"" + tables.WorkFolder + "\""), std::string::npos)
      << metadata;
  EXPECT_NE(metadata.find("\"state\": \"completed\""), std::string::npos);
}

TEST_F(PlotMapTest, ResultsTableSortsFiltersAndFollowsARun) {
  // Open during a second run, the window follows it case by case.
  ASSERT_NO_FATAL_FAILURE(RunExample());
  PlotMapWindow* map = Open(1);
  ASSERT_TRUE(map);
  // Each case adds its row; no GeoPackage of a half-done run.
  std::vector<std::pair<size_t, bool>> seen;
  auto* source = qobject_cast<QSortFilterProxyModel*>(map->ResultsFilter())->sourceModel();
  QObject::connect(source, &QAbstractItemModel::rowsInserted, [&] {
    seen.emplace_back(map->Scene().fieldTrees.size(), map->ExportGeoPackageAction()->isEnabled());
  });
  window.SimulateAction()->trigger();
  ASSERT_EQ(seen.size(), 30u);
  EXPECT_EQ(seen[0], std::make_pair(size_t{0}, false));  // the scene of plot 1, emptied
  EXPECT_EQ(seen[5], std::make_pair(size_t{5}, false));
  EXPECT_TRUE(map->ExportGeoPackageAction()->isEnabled());
  EXPECT_EQ(map->Scene().fieldTrees.size(), 10u);

  QTableView* table = map->ResultsTable();
  const auto cell = [&](int row, int column) {
    return table->model()->index(row, column).data().toString();
  };
  // Sorted by sigma0, largest first: the outlier heads the table.
  table->sortByColumn(5, Qt::DescendingOrder);
  EXPECT_EQ(cell(0, 0), "15");
  EXPECT_GE(cell(0, 5).toDouble(), cell(1, 5).toDouble());
  table->sortByColumn(0, Qt::AscendingOrder);
  EXPECT_EQ(cell(29, 0), "30");
  map->OnlyOutliers()->setChecked(true);
  ASSERT_EQ(table->model()->rowCount(), 1);
  EXPECT_EQ(cell(0, 7), "distance to 15, w 48.12");
  map->OnlyOutliers()->setChecked(false);
  map->FilterText()->setText("1005");
  EXPECT_EQ(table->model()->rowCount(), 3);  // tree 1005 of each plot
}

TEST_F(PlotMapTest, ScriptedStartSavesThePlotMapOfACase) {
  RunScripted({"--plot-map", "2", "--screenshot", folder.filePath("map.png")});
  EXPECT_EQ(QImage(folder.filePath("map.png")).size(), PlotMapWindow(tables, window.Results()).size());
  // The case number is checked before anything runs.
  for (auto [args, reason] : {std::pair<std::vector<std::string>, std::string>{
                                  {"--plot-map", "0", "--screenshot", "a.png"}, "not 0"},
                              {{"--plot-map=2x", "--screenshot", "a.png"}, "not 2x"},
                              {{"--plot-map", "2"}, "goes with --screenshot"}}) {
    ScriptOptions options;
    EXPECT_FALSE(ParseScriptOptions(args, options, error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

// The desktop's exports go through the batch program's check: a GeoPackage
// or a view onto an input file, the results file or a FIFO is refused and
// the file stays as it was; the scripted screenshot without --run refuses
// the results file of the folder's finished run.
TEST_F(PlotMapTest, ExportsRefuseTheRunsFilesAndNonRegularFiles) {
  RunExample();
  PlotMapWindow* map = Open(15);
  ASSERT_TRUE(map);
  std::vector<QString> shown;
  map->showMessage = [&](const QString& text) { shown.push_back(text); };
  map->askCrs = [&](QString& text) { text = "EPSG:3067"; return true; };
  const std::string results = File("results.txt"), before = ReadFile(results);
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(::mkfifo(File("fifo.png").c_str(), 0600), 0);
  const struct {
    std::string path, problem;
  } targets[] = {{TREETRI_SOURCE_DIR "/examples/map.txt", "is the photogrammetric map file"},
                 {results, "is the results file"},
                 {File("fifo.png"), "is a FIFO, not a regular file"}};
  for (const auto& t : targets) {
    shown.clear();
    EXPECT_FALSE(map->ExportGeoPackage(QString::fromStdString(t.path), "EPSG:3067")) << t.path;
    ASSERT_EQ(shown.size(), 1u) << t.path;
    EXPECT_TRUE(shown[0].toStdString().find("\"" + t.path + "\" " + t.problem) != std::string::npos)
        << shown[0].toStdString();
    EXPECT_FALSE(map->ExportView(QString::fromStdString(t.path), error)) << t.path;
    EXPECT_NE(error.find(t.problem), std::string::npos) << error;
  }
  EXPECT_EQ(ReadFile(results), before);

  // The scripted start without --run, in the folder of the finished run.
  const auto [code, err] = Scripted({"--map", TREETRI_SOURCE_DIR "/examples/map.txt", "--plot-map",
                                     "1", "--screenshot", "results.txt"});
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("the picture \"results.txt\" is the results file"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(results), before);

  // A target that another run (another process) is writing is refused too.
  const std::string held = File("held.png");
  int ready[2], release[2];
  ASSERT_TRUE(::pipe(ready) == 0 && ::pipe(release) == 0);
  const pid_t other = ::fork();
  if (other == 0) {
    FileLocks locks;
    std::string holder;
    char took = locks.Add(held, holder) == FileLocks::Result::Locked ? 'y' : 'n';
    ::_exit(::write(ready[1], &took, 1) != 1 || ::read(release[0], &took, 1) < 0);
  }
  char took = 0;
  ASSERT_TRUE(::read(ready[0], &took, 1) == 1 && took == 'y');
  const std::string busy = "\"" + held + "\" is being written by another run (";
  shown.clear();
  EXPECT_FALSE(map->ExportGeoPackage(QString::fromStdString(held), "EPSG:3067"));
  ASSERT_EQ(shown.size(), 1u);
  const std::string said = shown[0].toStdString();
  EXPECT_TRUE(said.find(busy) != std::string::npos &&
              said.find("process " + std::to_string(other) + ")") != std::string::npos)
      << said;
  EXPECT_FALSE(map->ExportView(QString::fromStdString(held), error));
  EXPECT_NE(error.find(busy), std::string::npos) << error;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(held)));
  ASSERT_EQ(::write(release[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  // Once that run has ended the export goes ahead.
  EXPECT_TRUE(map->ExportView(QString::fromStdString(held), error)) << error;
}

}  // namespace
}  // namespace treetri::gui
