// The CRS dialog of the GeoPackage export: searching the PROJ database's
// systems, choosing one, typing one; the system remembered per work folder.
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/gui/crs_dialog.h"

namespace treetri::gui {
namespace {

TEST(CrsDialog, SearchChooseAndType) {
  CrsDialog dialog("EPSG:2393");
  EXPECT_EQ(dialog.Crs(), "EPSG:2393");
  dialog.Search("finland uniform");
  const QStringList finland = dialog.Shown();
  EXPECT_TRUE(finland.contains("EPSG:2393"));
  EXPECT_FALSE(finland.contains("EPSG:3067"));  // ETRS89 / TM35FIN(E,N)
  dialog.Search("tm35fin");
  ASSERT_FALSE(dialog.Shown().isEmpty());
  EXPECT_TRUE(dialog.Shown().contains("EPSG:3067"));
  dialog.Choose(dialog.Shown().indexOf("EPSG:3067"));
  EXPECT_EQ(dialog.Crs(), "EPSG:3067");
  dialog.Search("no such system anywhere");
  EXPECT_TRUE(dialog.Shown().isEmpty());
  dialog.Search("");
  EXPECT_GT(dialog.Shown().size(), 1000);
}

TEST(CrsDialog, RememberedPerWorkFolder) {
  QTemporaryDir dir;
  const QString settings = dir.filePath("settings.ini");
  QString crs = "unchanged";
  EXPECT_FALSE(RememberedCrs("/data/plots-2026/", crs, settings));
  EXPECT_EQ(crs, "unchanged");
  // The second system of 2026 replaces the first; "" is an export without one.
  const std::pair<QString, QString> remembered[] = {{"/data/plots-2026/", "EPSG:2393"},
                                                     {"/data/plots-2027/", "EPSG:3067"},
                                                     {"/data/none/", ""},
                                                     {"/data/plots-2026/", "EPSG:3857"}};
  for (const auto& [work, system] : remembered) RememberCrs(work, system, settings);
  for (const auto& [work, system] : {remembered[1], remembered[2], remembered[3]}) {
    ASSERT_TRUE(RememberedCrs(work, crs, settings)) << work.toStdString();
    EXPECT_EQ(crs, system) << work.toStdString();
  }
}

}  // namespace
}  // namespace treetri::gui
