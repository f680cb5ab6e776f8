// The GeoPackage of the example run read back with GDAL: a default QGIS
// style for every layer that parses as XML and carries the plot map's
// legend, descriptions of the layers and their fields, and one pinnable
// time stamp, so two exports of one run are equal to the byte.
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <cpl_minixml.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include "data/parameter_file.h"
#include "gis/gpkg_describe.h"
#include "platform/files.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::RunBatch;
using testing::TempFolder;

struct PinnedTime {
  PinnedTime() { setenv("SOURCE_DATE_EPOCH", "1800000000", 1); }  // 2027-01-15 08:00 UTC
  ~PinnedTime() { unsetenv("SOURCE_DATE_EPOCH"); }
};

std::unique_ptr<GDALDataset> ExportExample(const TempFolder& dir, const std::string& name) {
  std::string parameters, error;
  EXPECT_TRUE(ReadWholeFile(TREETRI_SOURCE_DIR "/examples/SimulationInputParameters2.txt",
                            parameters, error));
  dir.Write(kParameterFileName, parameters);
  const testing::BatchResult r =
      RunBatch(dir, "--gpkg " + name + " --crs EPSG:2393 '" TREETRI_SOURCE_DIR
                    "/examples/map.txt' '" TREETRI_SOURCE_DIR "/examples/sightings.txt'");
  EXPECT_EQ(r.status, 0);
  GDALAllRegister();
  return std::unique_ptr<GDALDataset>(GDALDataset::Open((dir.Path() + "/" + name).c_str(),
                                                        GDAL_OF_VECTOR | GDAL_OF_READONLY));
}

// Rows of an SQL query, each as its columns' texts.
std::vector<std::vector<std::string>> Query(GDALDataset& ds, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  OGRLayer* result = ds.ExecuteSQL(sql.c_str(), nullptr, nullptr);
  if (!result) return rows;
  for (auto& f : *result) {
    std::vector<std::string> row;
    for (int i = 0; i < f->GetFieldCount(); ++i)
      row.push_back(f->IsFieldSetAndNotNull(i) ? f->GetFieldAsString(i) : "NULL");
    rows.push_back(row);
  }
  ds.ReleaseResultSet(result);
  return rows;
}

// The colour options of the symbols of a QML text, by symbol name.
void Colours(const CPLXMLNode* node, std::map<std::string, std::string>& out, std::string symbol) {
  for (; node; node = node->psNext) {
    if (node->eType != CXT_Element) continue;
    std::string inner = symbol;
    if (std::string(node->pszValue) == "symbol") inner = CPLGetXMLValue(node, "name", "");
    if (std::string(node->pszValue) == "Option") {
      const std::string name = CPLGetXMLValue(node, "name", "");
      if (name == "color" || name == "line_color" || name == "outline_color" || name == "style")
        out[symbol + "/" + name] = CPLGetXMLValue(node, "value", "");
    }
    Colours(node->psChild, out, inner);
  }
}

TEST(GeoPackageStyles, EveryLayerHasADefaultStyleWithThePlotMapsLegend) {
  TempFolder dir;
  std::unique_ptr<GDALDataset> ds = ExportExample(dir, "out.gpkg");
  ASSERT_TRUE(ds);
  const auto styles = Query(*ds, "SELECT f_table_name, f_geometry_column, useAsDefault, styleQML "
                                 "FROM layer_styles ORDER BY f_table_name");
  std::set<std::string> styled;
  std::map<std::string, std::string> qml;
  for (const auto& row : styles) {
    styled.insert(row[0]);
    EXPECT_EQ(row[1], "geom");
    EXPECT_EQ(row[2], "1") << row[0];
    qml[row[0]] = row[3];
  }
  for (const char* layer : {"field_trees", "map_trees", "sightings", "confidence_ellipses"})
    EXPECT_TRUE(styled.count(layer)) << layer;
  // Each style is XML with a QGIS renderer.
  for (const auto& [layer, text] : qml) {
    CPLXMLNode* root = CPLParseXMLString(text.c_str());
    ASSERT_TRUE(root) << layer;
    const CPLXMLNode* qgis = CPLGetXMLNode(root, "=qgis");
    ASSERT_TRUE(qgis) << layer;
    EXPECT_TRUE(CPLGetXMLNode(qgis, "renderer-v2")) << layer;
    std::map<std::string, std::string> colours;
    Colours(qgis->psChild, colours, "");
    if (layer == "field_trees") {
      // Categories by verdict in the legend's colours: ok green #1a853c,
      // outlier red #d62728.
      EXPECT_STREQ(CPLGetXMLValue(qgis, "renderer-v2.attr", ""), "verdict");
      std::map<std::string, std::string> symbolOf;
      for (const CPLXMLNode* c = CPLGetXMLNode(qgis, "renderer-v2.categories")->psChild; c;
           c = c->psNext)
        if (c->eType == CXT_Element)
          symbolOf[CPLGetXMLValue(c, "value", "")] = CPLGetXMLValue(c, "symbol", "");
      EXPECT_EQ(colours[symbolOf["ok"] + "/color"], "26,133,60,255");
      EXPECT_EQ(colours[symbolOf["outlier"] + "/color"], "214,39,40,255");
      EXPECT_EQ(symbolOf.size(), 5u);
    }
    if (layer == "confidence_ellipses") EXPECT_EQ(colours["0/style"], "no");  // outlines only
    if (layer == "map_trees") EXPECT_STREQ(CPLGetXMLValue(qgis, "labeling.settings.text-style.fieldName", ""), "tree");
    if (layer == "sightings") {
      EXPECT_STREQ(CPLGetXMLValue(qgis, "renderer-v2.type", ""), "RuleRenderer");
      EXPECT_NE(text.find("&quot;suspect&quot; = 1"), std::string::npos);
      // The |w| from the critical value on in red.
      bool redForLargeW = false;
      for (const CPLXMLNode* r = CPLGetXMLNode(qgis, "renderer-v2.rules")->psChild; r; r = r->psNext)
        if (r->eType == CXT_Element &&
            std::string(CPLGetXMLValue(r, "filter", "")).find(">= 3.29") != std::string::npos)
          redForLargeW |= colours[std::string(CPLGetXMLValue(r, "symbol", "")) + "/line_color"] ==
                          "214,39,40,255";
      EXPECT_TRUE(redForLargeW);
    }
    CPLDestroyXMLNode(root);
  }
}

TEST(GeoPackageStyles, LayersAndFieldsAreDescribed) {
  TempFolder dir;
  std::unique_ptr<GDALDataset> ds = ExportExample(dir, "out.gpkg");
  ASSERT_TRUE(ds);
  for (const char* layer : {"field_trees", "map_trees", "sightings", "confidence_ellipses"}) {
    const auto description =
        Query(*ds, std::string("SELECT description FROM gpkg_contents WHERE table_name = '") +
                       layer + "'");
    ASSERT_EQ(description.size(), 1u);
    EXPECT_GT(description[0][0].size(), 30u) << layer;
    // Every field of the layer has a description in gpkg_data_columns.
    OGRFeatureDefn* defn = ds->GetLayerByName(layer)->GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      const std::string field = defn->GetFieldDefn(i)->GetNameRef();
      const auto row = Query(*ds, std::string("SELECT description FROM gpkg_data_columns WHERE "
                                              "table_name = '") + layer + "' AND column_name = '" +
                                      field + "'");
      ASSERT_EQ(row.size(), 1u) << layer << "." << field;
      EXPECT_EQ(row[0][0], gis::FieldDescription(layer, field));
    }
  }
  EXPECT_EQ(Query(*ds, "SELECT extension_name FROM gpkg_extensions WHERE table_name = "
                       "'gpkg_data_columns'"),
            (std::vector<std::vector<std::string>>{{"gpkg_schema"}}));
}

// Text fields without a value are NULL, never '' (a Shapefile copy would
// differ); the suspect flag of a sighting is a GeoPackage BOOLEAN.
TEST(GeoPackageStyles, NoValueIsNullAndFlagsAreBooleans) {
  TempFolder dir;
  std::unique_ptr<GDALDataset> ds = ExportExample(dir, "out.gpkg");
  ASSERT_TRUE(ds);
  for (const auto& [layer, field] : {std::pair<std::string, std::string>{"field_trees", "suspect"},
                                     {"field_trees", "glob_test"}, {"sightings", "control"},
                                     {"sightings", "kinds"}, {"field_trees", "status"}})
    EXPECT_EQ(Query(*ds, "SELECT count(*) FROM " + layer + " WHERE " + field + " = ''")[0][0], "0")
        << layer << "." << field;
  // The example has 29 cases without a suspect and sightings with full control.
  EXPECT_EQ(Query(*ds, "SELECT count(*) FROM field_trees WHERE suspect IS NULL")[0][0], "29");
  EXPECT_NE(Query(*ds, "SELECT count(*) FROM sightings WHERE control IS NULL")[0][0], "0");
  EXPECT_EQ(Query(*ds, "SELECT type FROM pragma_table_info('sightings') WHERE name = 'suspect'"),
            (std::vector<std::vector<std::string>>{{"BOOLEAN"}}));
  OGRFeatureDefn* sightings = ds->GetLayerByName("sightings")->GetLayerDefn();
  EXPECT_EQ(sightings->GetFieldDefn(sightings->GetFieldIndex("suspect"))->GetSubType(), OFSTBoolean);
  EXPECT_EQ(Query(*ds, "SELECT count(*) FROM sightings WHERE suspect")[0][0], "1");
  // The case's redundancy and convergence as quality.csv has them: every
  // example case converged with redundancy.
  EXPECT_EQ(Query(*ds, "SELECT type FROM pragma_table_info('field_trees') WHERE name = 'converged'"),
            (std::vector<std::vector<std::string>>{{"BOOLEAN"}}));
  EXPECT_EQ(Query(*ds, "SELECT count(*) FROM field_trees WHERE converged AND redundancy > 0")[0][0],
            "30");
}

TEST(GeoPackageStyles, TwoExportsOfARunAreEqualWithThePinnedTime) {
  PinnedTime pinned;
  TempFolder one, two;
  ASSERT_TRUE(ExportExample(one, "a.gpkg"));
  ASSERT_TRUE(ExportExample(two, "a.gpkg"));
  EXPECT_EQ(gis::ExportTimestamp(), "2027-01-15T08:00:00.000Z");
  EXPECT_TRUE(one.Read("a.gpkg") == two.Read("a.gpkg"));
  GDALAllRegister();
  std::unique_ptr<GDALDataset> ds(GDALDataset::Open((one.Path() + "/a.gpkg").c_str(),
                                                    GDAL_OF_VECTOR | GDAL_OF_READONLY));
  ASSERT_TRUE(ds);
  for (const auto& row : Query(*ds, "SELECT last_change FROM gpkg_contents"))
    EXPECT_EQ(row[0], "2027/01/15 08:00:00+00");  // as GDAL reads the time back
  setenv("SOURCE_DATE_EPOCH", "not a time", 1);  // ignored: the present time
  EXPECT_NE(gis::ExportTimestamp(), "2027-01-15T08:00:00.000Z");
}

}  // namespace
}  // namespace treetri
