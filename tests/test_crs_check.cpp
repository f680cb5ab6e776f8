// The coordinate reference system of an export: its text read whole, and
// checked against the map's coordinates, on its own and through the batch
// program on the example data (KKJ / Finland Uniform Coordinate System).
#include <memory>
#include <string>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include "data/parameter_file.h"
#include "gis/crs_check.h"
#include "gis/crs_list.h"
#include "tests/support.h"

namespace treetri {
namespace {

using gis::CheckCrsFitsExtent;
using gis::CrsTextWhole;
using gis::ExportCode;
using treetri::PlaneExtent;
using testing::RunBatch;
using testing::TempFolder;

TEST(CrsText, ReadWholeOrRefused) {
  std::string error;
  for (const char* whole :
       {"EPSG:2393", "epsg:3067", "EPSG:3067+5717", "IGNF:LAMB93", "urn:ogc:def:crs:EPSG::3067",
        "http://www.opengis.net/def/crs/EPSG/0/3067", "+proj=utm +zone=35 +ellps=GRS80 +units=m",
        "WGS84",
        "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
        "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]  "})
    EXPECT_TRUE(CrsTextWhole(whole, error)) << whole;
  for (const char* trailing :
       {"EPSG:3067xyz", "EPSG:3067'; DROP TABLE trees; --", "EPSG:3067 ", "EPSG: 3067", "EPSG:",
        "urn:ogc:def:crs:EPSG::3067x", "+proj=utm +zone=35 junk", "WGS 84 junk",
        "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
        "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]] junk",
        "GEOGCS[\"unclosed\""}) {
    EXPECT_FALSE(CrsTextWhole(trailing, error)) << trailing;
    EXPECT_NE(error.find(std::string("\"") + trailing + "\""), std::string::npos) << error;
  }
  // The export refuses the same texts before writing anything.
  EXPECT_EQ(gis::CheckCrs("EPSG:3067xyz").code, ExportCode::UnknownCrs);
  EXPECT_TRUE(gis::CheckCrs("EPSG:2393").Ok());
}

PlaneExtent Box(double x0, double y0, double x1, double y1) {
  PlaneExtent e;
  e.Add(x0, y0);
  e.Add(x1, y1);
  return e;
}

TEST(CrsFit, AreaOfUseAndDegrees) {
  // Plots around 25.1 E 62.2 N in the uniform system (its nominal zone
  // begins at 25.5 E: within the one-degree margin), the same numbers taken
  // as TM35FIN (72 E, in Kazakhstan) and as degrees.
  const PlaneExtent kkj = Box(3399976.04, 6899977.73, 3400221.99, 6900221.37);
  EXPECT_TRUE(CheckCrsFitsExtent("EPSG:2393", kkj, false).Ok());
  const gis::ExportStatus tm = CheckCrsFitsExtent("EPSG:3067", kkj, false);
  EXPECT_EQ(tm.code, ExportCode::CrsMismatch);
  for (const char* part : {"\"EPSG:3067\" (ETRS89 / TM35FIN(E,N))", "X 3399976.04 to 3400221.99",
                           "72.21° E", "53.2", "outside its area of use", "19.08° E to 31.59° E",
                           "--force-crs"})
    EXPECT_NE(tm.message.find(part), std::string::npos) << part << " in " << tm.message;
  const gis::ExportStatus degrees = CheckCrsFitsExtent("EPSG:4326", kkj, false);
  EXPECT_EQ(degrees.code, ExportCode::CrsMismatch);
  EXPECT_NE(degrees.message.find("not longitudes within ±180°"), std::string::npos);
  // TM35FIN data (false easting 500 km on 27 E) fit TM35FIN and not the
  // uniform system (whose X has 3500 km on 27 E).
  const PlaneExtent tm35 = Box(499900, 6899900, 500100, 6900100);
  EXPECT_TRUE(CheckCrsFitsExtent("EPSG:3067", tm35, false).Ok());
  EXPECT_EQ(CheckCrsFitsExtent("EPSG:2393", tm35, false).code, ExportCode::CrsMismatch);
  // Degrees: at the limits accepted, beyond refused.
  EXPECT_TRUE(CheckCrsFitsExtent("EPSG:4326", Box(-180, -90, 180, 90), false).Ok());
  EXPECT_EQ(CheckCrsFitsExtent("EPSG:4326", Box(25, 62, 25, 90.5), false).code,
            ExportCode::CrsMismatch);
  // Forced: passes, the same text as a warning.
  const gis::ExportStatus forced = CheckCrsFitsExtent("EPSG:3067", kkj, true);
  EXPECT_TRUE(forced.Ok());
  EXPECT_EQ(forced.warning.rfind("Warning: the map's coordinates", 0), 0u) << forced.warning;
  // Nothing to check: no CRS, no coordinates, a system without an area of use.
  EXPECT_TRUE(CheckCrsFitsExtent("", kkj, false).Ok());
  EXPECT_TRUE(CheckCrsFitsExtent("EPSG:3067", PlaneExtent(), false).Ok());
  EXPECT_TRUE(CheckCrsFitsExtent("+proj=utm +zone=35 +ellps=GRS80 +units=m", tm35, false).Ok());
}

// The list the desktop searches: the PROJ database's EPSG systems, the
// example's among them with its area of use; no deprecated one.
TEST(CrsList, TheDatabasesSystemsWithTheirAreas) {
  const std::vector<gis::CrsEntry>& list = gis::KnownCrsList();
  ASSERT_GT(list.size(), 1000u);
  const gis::CrsEntry* kkj = nullptr;
  bool wgs84 = false;
  for (const gis::CrsEntry& e : list) {
    if (e.id == "EPSG:2393") kkj = &e;
    if (e.id == "EPSG:4326") wgs84 = e.geographic;
    EXPECT_NE(e.id, "EPSG:3785") << "deprecated";  // the old Popular Visualisation CRS
  }
  ASSERT_TRUE(kkj);
  EXPECT_EQ(kkj->name, "KKJ / Finland Uniform Coordinate System");
  EXPECT_FALSE(kkj->geographic);
  ASSERT_TRUE(kkj->hasBox);
  // The example lies at 25.08 E 62.19 N.
  EXPECT_TRUE(kkj->west <= 25.08 && 25.08 <= kkj->east && kkj->south <= 62.19 &&
              62.19 <= kkj->north);
  EXPECT_TRUE(wgs84);
  for (auto [text, matches] : {std::pair{"finland KKJ  uniform", true}, {"2393", true}, {"", true},
                               {"2393 sweden", false}})
    EXPECT_EQ(gis::CrsMatches(*kkj, text), matches) << text;
}

TEST(CrsFit, BatchProgramOnTheExample) {
  const std::string inputs = " " + testing::ExampleInputs();
  const std::string parameters = testing::ExampleText("SimulationInputParameters2.txt");
  for (const char* crs : {"EPSG:3067", "EPSG:4326", "EPSG:3067xyz"}) {
    TempFolder dir;
    dir.Write(kParameterFileName, parameters);
    const testing::BatchResult r = RunBatch(dir, std::string("--gpkg out.gpkg --crs ") + crs + inputs);
    EXPECT_EQ(r.status, 2) << crs;
    ASSERT_FALSE(r.err.empty());
    EXPECT_NE(r.err.back().find(std::string("\"") + crs + "\""), std::string::npos) << r.err.back();
    EXPECT_FALSE(dir.Exists("out.gpkg") || dir.Exists("results.txt")) << crs;  // refused before the run
  }
  TempFolder dir;
  dir.Write(kParameterFileName, parameters);
  const testing::BatchResult forced =
      RunBatch(dir, "--crs=EPSG:3067" + inputs + " --force-crs --gpkg out.gpkg");
  EXPECT_EQ(forced.status, 0);
  int warnings = 0;
  for (const std::string& line : forced.err) warnings += line.rfind("Warning: the map's", 0) == 0;
  EXPECT_EQ(warnings, 1);
  std::unique_ptr<GDALDataset> ds = testing::OpenGeoPackage(dir.Path() + "/out.gpkg");
  ASSERT_TRUE(ds);
  EXPECT_STREQ(ds->GetLayerByName("field_trees")->GetSpatialRef()->GetAuthorityCode(nullptr),
               "3067");
  EXPECT_EQ(RunBatch(dir, "--force-crs --gpkg o.gpkg" + inputs).status, 2);  // needs --crs
}

}  // namespace
}  // namespace treetri
