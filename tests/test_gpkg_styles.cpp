// The GeoPackage of the example run read back with GDAL: a default QGIS
// style for every layer that parses as XML and carries the plot map's
// legend, descriptions of the layers and their fields, the coded values as
// field domains, the run record as metadata, the plot network's layers, and
// one pinnable time stamp, so two exports of one run are equal to the byte.
#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <cpl_minixml.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <ogrsf_frmts.h>

#include "data/parameter_file.h"
#include "gis/gpkg_describe.h"
#include "gis/run_export.h"
#include "quality/network_files.h"
#include "quality/quality_files.h"
#include "tests/support.h"

namespace treetri {
namespace {

using testing::RunBatch;
using testing::TempFolder;

struct PinnedTime {
  PinnedTime() { setenv("SOURCE_DATE_EPOCH", "1800000000", 1); }  // 2027-01-15 08:00 UTC
  ~PinnedTime() { unsetenv("SOURCE_DATE_EPOCH"); }
};

std::unique_ptr<GDALDataset> ExportExample(const TempFolder& dir, const std::string& name,
                                           const std::string& options = "") {
  dir.Write(kParameterFileName, testing::ExampleText("SimulationInputParameters2.txt"));
  const testing::BatchResult r = RunBatch(
      dir, options + " --gpkg " + name + " --crs EPSG:2393 " + testing::ExampleInputs());
  EXPECT_EQ(r.status, 0);
  return testing::OpenGeoPackage(dir.Path() + "/" + name);
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

// The same as one text: columns joined by '|', rows by ';'.
std::string Text(GDALDataset& ds, const std::string& sql) {
  std::string text;
  for (const auto& row : Query(ds, sql)) {
    if (!text.empty()) text += ';';
    for (size_t i = 0; i < row.size(); ++i) text += (i ? "|" : "") + row[i];
  }
  return text;
}

// The example run exported into a folder of its own, with the export's time
// pinned.
class GeoPackageStyles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ds = ExportExample(dir, "out.gpkg")); }
  PinnedTime pinned;
  TempFolder dir;
  std::unique_ptr<GDALDataset> ds;
};

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

TEST_F(GeoPackageStyles, EveryLayerHasADefaultStyleWithThePlotMapsLegend) {
  std::set<std::string> styled;
  for (const auto& row : Query(*ds, "SELECT f_table_name, f_geometry_column, useAsDefault, "
                                    "styleQML FROM layer_styles ORDER BY f_table_name")) {
    const std::string& layer = row[0];
    styled.insert(layer);
    EXPECT_EQ(row[1] + " " + row[2], "geom 1") << layer;
    // Each style is XML with a QGIS renderer.
    CPLXMLNode* root = CPLParseXMLString(row[3].c_str());
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
    if (layer == "confidence_ellipses") {
      EXPECT_EQ(colours["0/style"], "no");  // outlines only
    }
    if (layer == "map_trees") {
      EXPECT_STREQ(CPLGetXMLValue(qgis, "labeling.settings.text-style.fieldName", ""), "tree");
    }
    if (layer == "sightings") {
      EXPECT_STREQ(CPLGetXMLValue(qgis, "renderer-v2.type", ""), "RuleRenderer");
      EXPECT_NE(row[3].find("&quot;suspect&quot; = 1"), std::string::npos);
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
  for (const char* layer : {"field_trees", "map_trees", "sightings", "confidence_ellipses"})
    EXPECT_TRUE(styled.count(layer)) << layer;
}

TEST_F(GeoPackageStyles, LayersAndFieldsAreDescribed) {
  for (const std::string layer : {"field_trees", "map_trees", "sightings", "confidence_ellipses"}) {
    EXPECT_GT(Text(*ds, "SELECT description FROM gpkg_contents WHERE table_name = '" + layer + "'")
                  .size(), 30u) << layer;
    // Every field of the layer has a description in gpkg_data_columns.
    OGRFeatureDefn* defn = ds->GetLayerByName(layer.c_str())->GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      const std::string field = defn->GetFieldDefn(i)->GetNameRef();
      EXPECT_EQ(Text(*ds, "SELECT description FROM gpkg_data_columns WHERE table_name = '" + layer +
                              "' AND column_name = '" + field + "'"),
                gis::FieldDescription(layer, field)) << layer << "." << field;
    }
  }
  EXPECT_EQ(Text(*ds, "SELECT extension_name FROM gpkg_extensions WHERE table_name = "
                      "'gpkg_data_columns'"), "gpkg_schema");
}

// Text fields without a value are NULL, never '' (a Shapefile copy would
// differ); the suspect flag of a sighting is a GeoPackage BOOLEAN.
TEST_F(GeoPackageStyles, NoValueIsNullAndFlagsAreBooleans) {
  for (const auto& [layer, field] : {std::pair<std::string, std::string>{"field_trees", "suspect"},
                                     {"field_trees", "glob_test"}, {"sightings", "control"},
                                     {"sightings", "kinds"}, {"field_trees", "status"}})
    EXPECT_EQ(Text(*ds, "SELECT count(*) FROM " + layer + " WHERE " + field + " = ''"), "0")
        << layer << "." << field;
  // The example has 29 cases without a suspect and sightings with full control.
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM field_trees WHERE suspect IS NULL"), "29");
  EXPECT_NE(Text(*ds, "SELECT count(*) FROM sightings WHERE control IS NULL"), "0");
  EXPECT_EQ(Text(*ds, "SELECT type FROM pragma_table_info('sightings') WHERE name = 'suspect'"),
            "BOOLEAN");
  OGRFeatureDefn* sightings = ds->GetLayerByName("sightings")->GetLayerDefn();
  EXPECT_EQ(sightings->GetFieldDefn(sightings->GetFieldIndex("suspect"))->GetSubType(), OFSTBoolean);
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM sightings WHERE suspect"), "1");
  // The case's redundancy and convergence as quality.csv has them: every
  // example case converged with redundancy.
  EXPECT_EQ(Text(*ds, "SELECT type FROM pragma_table_info('field_trees') WHERE name = 'converged'"),
            "BOOLEAN");
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM field_trees WHERE converged AND redundancy > 0"), "30");
}

// The metadata: the run record as the run wrote it (its content:
// CleaningBatch.RunRecordNamesTheInputsAndReplaysTheDraw), the export's
// time, the CRS.
TEST_F(GeoPackageStyles, MetadataHoldsTheRunRecordAndTheCrs) {
  EXPECT_EQ(Text(*ds, "SELECT md_scope, md_standard_uri, mime_type FROM gpkg_metadata"),
            "dataset|" + std::string(gis::kRunMetadataUri) + "|application/json");
  EXPECT_EQ(Text(*ds, "SELECT reference_scope, timestamp, md_file_id FROM gpkg_metadata_reference"),
            "geopackage|2027/01/15 08:00:00+00|1");
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM gpkg_extensions WHERE "
                      "extension_name = 'gpkg_metadata'"), "2");
  // GDAL hands the file's metadata to its users as an item.
  const char* item = ds->GetMetadataItem("GPKG_METADATA_ITEM_1");
  ASSERT_TRUE(item);
  const nlohmann::json metadata = nlohmann::json::parse(item);
  EXPECT_EQ(metadata["exported"], "2027-01-15T08:00:00.000Z");
  EXPECT_EQ(metadata["crs"], "EPSG:2393");
  EXPECT_EQ(metadata["crs_name"], "KKJ / Finland Uniform Coordinate System");
  EXPECT_EQ(metadata["exported_with"], std::string("treetri ") + TREETRI_VERSION);
  EXPECT_EQ(metadata["run"], nlohmann::json::parse(dir.Read("run.json")));
  EXPECT_EQ(metadata["run"]["state"], "completed");
}

// The coded values as field domains (GDAL's coded domains): the verdicts,
// the suspect's kinds in the files' vocabulary, the control, and every
// value written is a code of its field's domain.
TEST_F(GeoPackageStyles, CodedValuesAreFieldDomains) {
  using Codes = std::multiset<std::string>;  // sorted: GDAL reads them back in its order
  auto codes = [&](const std::string& name) {
    Codes out;
    const OGRFieldDomain* d = ds->GetFieldDomain(name);
    if (!d || d->GetDomainType() != OFDT_CODED) return out;
    for (const OGRCodedValue* v = static_cast<const OGRCodedFieldDomain*>(d)->GetEnumeration();
         v->pszCode; ++v)
      out.insert(v->pszCode);
    return out;
  };
  EXPECT_EQ(codes("verdict"), (Codes{"ok", "outlier", "no redundancy", "failed", "not computed"}));
  EXPECT_EQ(codes("suspect_kind"), (Codes{"azimuth", "distance", "map_x", "map_y", "sighting",
                                          "map_tree", "sighting_or_map_tree"}));
  EXPECT_EQ(codes("control"), (Codes{"weak", "uncontrolled"}));
  for (const auto& [layer, field, domain] :
       {std::tuple<std::string, std::string, std::string>{"field_trees", "verdict", "verdict"},
        {"field_trees", "suspect", "suspect_kind"},
        {"field_trees", "glob_test", "global_test"},
        {"field_trees", "method", "method"},
        {"sightings", "control", "control"},
        {"sightings", "kinds", "sighting_kinds"}}) {
    OGRFeatureDefn* defn = ds->GetLayerByName(layer.c_str())->GetLayerDefn();
    EXPECT_EQ(defn->GetFieldDefn(defn->GetFieldIndex(field.c_str()))->GetDomainName(), domain)
        << layer << "." << field;
    const Codes allowed = codes(domain);
    ASSERT_FALSE(allowed.empty()) << domain;
    for (const auto& row : Query(*ds, "SELECT DISTINCT " + field + " FROM " + layer + " WHERE " +
                                          field + " IS NOT NULL"))
      EXPECT_TRUE(allowed.count(row[0])) << layer << "." << field << " = " << row[0];
  }
  // The descriptions of the fields with a domain are kept beside GDAL's entry.
  EXPECT_EQ(Text(*ds, "SELECT constraint_name, description FROM gpkg_data_columns WHERE "
                      "table_name = 'field_trees' AND column_name = 'verdict'"),
            "verdict|" + gis::FieldDescription("field_trees", "verdict"));
}

// The plot network's run exports too: its plots, its map trees' figures and
// each case's method, as its files hold them.
TEST(GeoPackageNetwork, ExportsPlotsAndItsMapTrees) {
  TempFolder dir;
  std::unique_ptr<GDALDataset> ds = ExportExample(dir, "net.gpkg", "--quality network");
  ASSERT_TRUE(ds);
  quality::NetworkFiles files;
  ASSERT_TRUE(quality::ReadNetworkFiles(dir.Path() + "/", files).ok);
  ASSERT_FALSE(files.plots.empty());
  OGRLayer* plots = ds->GetLayerByName("plots");
  ASSERT_TRUE(plots);
  EXPECT_EQ(plots->GetFeatureCount(), static_cast<long long>(files.plots.size()));
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM plots WHERE redundancy IS NULL"), "0");
  // The plot's figures as plots.csv has them, its polygon round its trees.
  std::unique_ptr<OGRFeature> first(plots->GetNextFeature());
  EXPECT_EQ(first->GetFieldAsInteger("plot"), files.plots[0].plot);
  EXPECT_EQ(first->GetFieldAsInteger("redundancy"), files.plots[0].redundancy);
  ASSERT_TRUE(first->GetGeometryRef());
  std::unique_ptr<OGRFeature> tree(ds->GetLayerByName("field_trees")->GetNextFeature());
  ASSERT_TRUE(tree && tree->GetGeometryRef());
  OGREnvelope box;
  first->GetGeometryRef()->getEnvelope(&box);
  const OGRPoint* at = tree->GetGeometryRef()->toPoint();
  EXPECT_TRUE(box.MinX <= at->getX() && at->getX() <= box.MaxX && box.MinY <= at->getY() &&
              at->getY() <= box.MaxY);
  // Every map tree of map_trees.csv on its record with the network's figures.
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM map_trees WHERE shift IS NOT NULL"),
            std::to_string(files.mapTrees.size()));
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM map_trees WHERE displaced"),
            std::to_string(std::count_if(files.mapTrees.begin(), files.mapTrees.end(),
                                         [](const quality::MapTreeLine& m) { return m.displaced; })));
  // Each case's method as quality.csv gives it.
  std::vector<quality::CaseAssessment> rows;
  ASSERT_TRUE(quality::ReadQualityFile(dir.Path() + "/quality.csv", rows).ok);
  long long network = 0;
  for (const quality::CaseAssessment& row : rows)
    network += row.networkFigures && row.networkFigures->network;
  EXPECT_GT(network, 0);
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM field_trees WHERE method = 'network'"),
            std::to_string(network));
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM field_trees WHERE method IS NULL"), "0");
  // Every case with a suspect has its suspect sighting marked, also where the
  // network removed the suspect observation or the whole sighting.
  EXPECT_NE(Text(*ds, "SELECT count(*) FROM field_trees WHERE suspect IS NOT NULL"), "0");
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM field_trees f WHERE suspect IS NOT NULL AND NOT EXISTS "
                      "(SELECT 1 FROM sightings s WHERE s.case_no = f.case_no AND s.suspect)"),
            "0");
  const nlohmann::json metadata = nlohmann::json::parse(ds->GetMetadataItem("GPKG_METADATA_ITEM_1"));
  EXPECT_EQ(metadata["run"]["quality_method"], "network");

  // The readers take what the writers write, and name a damaged place.
  quality::PlotSummary summary;
  summary.plot = 7, summary.sigma0 = 1.25, summary.globalTest = quality::GlobalTest::Fail;
  summary.hasBias = true, summary.bias = -0.5, summary.biasSigma = 0.125, summary.biasW = -4.0;
  summary.converged = true;
  quality::PlotLine read;
  ASSERT_TRUE(quality::ParsePlotLine(quality::FormatPlotLine(summary), read).ok);
  EXPECT_EQ(std::tie(read.plot, read.sigma0, read.globalTest, read.azimuthBias,
                     read.azimuthBiasTest, read.converged),
            std::make_tuple(7, 1.25, quality::GlobalTest::Fail, -0.5, "significant", true));
  dir.Write("plots.csv", quality::PlotsHeaderLine() + quality::FormatPlotLine(summary) +
                             "8,3,2,20,9,1.x,pass,,,,,0,1,5,TRUE\r\n");
  const quality::FileReadStatus bad = quality::ReadNetworkFiles(dir.Path() + "/", files);
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(std::tie(bad.path, bad.line), std::make_tuple(dir.Path() + "/plots.csv", 3));
  EXPECT_STREQ(bad.columnName, "sigma0");
  dir.Write("plots.csv", "");
  EXPECT_EQ(quality::ReadNetworkFiles(dir.Path() + "/", files).message, "the file is empty");
}

// Two exports of one run, with the time pinned, are equal to the byte; the
// batch program's export of it carries the same metadata.
TEST_F(GeoPackageStyles, TwoExportsOfARunAreEqualWithThePinnedTime) {
  // As GDAL reads the time back.
  EXPECT_EQ(Text(*ds, "SELECT DISTINCT last_change FROM gpkg_contents"), "2027/01/15 08:00:00+00");
  // The run's files read back, as the desktop program exports an earlier run.
  quality::QualityRunFiles files;
  ASSERT_TRUE(quality::ReadQualityRun(dir.Path() + "/quality.csv",
                                      dir.Path() + "/observations.csv", false, files).ok);
  std::vector<quality::CaseQuality> cases;
  for (const quality::CaseAssessment& row : files.cases) {
    cases.push_back({row, {}});
    for (const quality::ObservationAssessment& o : files.observations)
      if (o.caseNumber == row.caseNumber) cases.back().observations.push_back(o);
  }
  gis::ExportData data = gis::ExportDataFromQuality(cases, Table<PhotoTree>{});
  data.runRecord = dir.Read("run.json");
  ASSERT_TRUE(gis::ExportGeoPackage(data, dir.Path() + "/b.gpkg", "EPSG:2393").Ok());
  ASSERT_TRUE(gis::ExportGeoPackage(data, dir.Path() + "/c.gpkg", "EPSG:2393").Ok());
  EXPECT_TRUE(dir.Read("b.gpkg") == dir.Read("c.gpkg"));
  std::unique_ptr<GDALDataset> b = testing::OpenGeoPackage(dir.Path() + "/b.gpkg");
  ASSERT_TRUE(b);
  EXPECT_EQ(Query(*b, "SELECT metadata FROM gpkg_metadata"),
            Query(*ds, "SELECT metadata FROM gpkg_metadata"));
  setenv("SOURCE_DATE_EPOCH", "not a time", 1);  // ignored: the present time
  EXPECT_NE(gis::ExportTimestamp(), "2027-01-15T08:00:00.000Z");
}

// QGIS itself, headless (PyQGIS), where Debian's python3-qgis is installed:
// every layer loads with its features, its CRS and its default style.
TEST_F(GeoPackageStyles, QgisLoadsEveryLayerWithItsDefaultStyle) {
  if (std::system("/usr/bin/python3 -c 'import qgis.core' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "skipped: python3-qgis (PyQGIS) is not installed";
  const std::string out = dir.Path() + "/qgis.out";
  const std::string command = "/usr/bin/python3 " TREETRI_SOURCE_DIR "/tests/qgis_load.py '" +
                              dir.Path() + "/out.gpkg' EPSG:2393 field_trees map_trees sightings "
                              "confidence_ellipses >'" + out + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << dir.Read("qgis.out");
}

}  // namespace
}  // namespace treetri
