// The GeoPackage export read back with GDAL/OGR: hand-made cases feature by
// feature (layers, fields, geometry, left-out sightings, the plots, errors),
// then the example run through treetri-batch: a default QGIS style for every
// layer that parses as XML and carries the plot map's legend, descriptions of
// the layers and their fields, the coded values as field domains, the run
// record as metadata, the plot network's layers, and one pinnable time
// stamp, so two exports of one run are equal to the byte.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include <cpl_minixml.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <ogrsf_frmts.h>

#include "data/parameter_file.h"
#include "gis/gpkg_describe.h"
#include "gis/gpkg_export.h"
#include "gis/run_export.h"
#include "quality/assessment.h"
#include "quality/network_files.h"
#include "quality/quality_files.h"
#include "tests/support.h"

namespace treetri {
namespace {

using gis::ExportCode;
using gis::ExportData;
using gis::ExportGeoPackage;
using gis::ExportStatus;
using quality::ObservationKind;
using quality::ObservationAssessment;
using quality::CaseAssessment;
using testing::RunBatch;
using testing::TempFolder;

using Dataset = std::unique_ptr<GDALDataset>;
const auto Open = testing::OpenGeoPackage;

// The named fields of a feature as texts, "NULL" where not set.
std::string Fields(OGRFeature& f, const std::string& names) {
  std::string out, name;
  for (std::istringstream in(names); in >> name;) {
    const int i = f.GetFieldIndex(name.c_str());
    out += (out.empty() ? "" : "|") +
           std::string(i < 0 ? "?" : f.IsFieldSetAndNotNull(i) ? f.GetFieldAsString(i) : "NULL");
  }
  return out;
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

// Two cases of plot 7: case 1 adjusted, its azimuth to tree 12 the suspect;
// case 2 failed, without a quality row. Three map trees, two of them sighted.
ExportData HandMade() {
  ExportData d;
  d.results = {{1, 3, 7, 101, 2, 3400010.5, 6700020.25, 3400010.0, 6700020.0, 1.25, 0.8, 0.9,
                 "???? Point 12 erroneous?"},
                {2, 0, 7, 102, 0, {}, {}, {}, {}, {}, {}, {}, "FAILED: NPA"}};

  CaseAssessment q;
  q.caseNumber = 1, q.plot = 7, q.tree = 101, q.x = 3400010.0004, q.y = 6700020.0003;
  q.globalTest = quality::GlobalTest::Fail, q.verdict = quality::Verdict::Outlier;
  q.conf95A = 2.0, q.conf95B = 1.0, q.ellipseAzimuth = 90.0;  // major axis east-west
  q.suspectKind = quality::SuspectKind::Azimuth, q.suspectTree = 12, q.suggestedTree = 13;
  d.quality = {q};

  auto obs = [](int slot, int tree, ObservationKind kind, double observed, double residual,
                double w) {
    return ObservationAssessment{1, 7, 101, slot, tree, kind, observed, observed + residual, residual,
                          0, 0, w, {}, {}, quality::Control::Controlled, {}, {}};
  };
  d.observations = {obs(1, 11, ObservationKind::Azimuth, 45.0, 0.1, 1.0),
                    obs(1, 11, ObservationKind::Distance, 7.0, -0.02, -0.5),
                    obs(1, 11, ObservationKind::MapX, 3400015.0, 0.03, 0.2),
                    obs(1, 11, ObservationKind::MapY, 6700025.0, -0.01, 0.1),
                    obs(2, 12, ObservationKind::Azimuth, 200.0, -1.5, -4.5),
                    obs(2, 12, ObservationKind::MapX, 3400008.0, 0.05, 0.3),
                    obs(2, 12, ObservationKind::MapY, 6700014.0, 0.07, 0.4)};
  d.mapTrees = {{7, 11, 1, 3400015.0, 6700025.0, 120.5},
                {7, 12, 2, 3400008.0, 6700014.0, 121.0},
                {7, 13, 1, 3400030.0, 6700030.0, 119.0}};
  return d;
}

// The hand-made cases and a target in a folder of their own.
class GeoPackageExport : public ::testing::Test {
 protected:
  TempFolder dir;
  const std::string path = dir.Path() + "/out.gpkg";
  ExportData data = HandMade();
};

TEST_F(GeoPackageExport, LayersFieldsAndGeometryOfHandMadeCases) {
  Feedback feedback;
  const ExportStatus s = ExportGeoPackage(data, path, "EPSG:3067", &feedback);
  ASSERT_TRUE(s.Ok()) << s.message;
  EXPECT_EQ(s.warning, "");
  // 2 field trees, 3 map trees, 2 sightings, 1 ellipse
  EXPECT_EQ(std::make_pair(feedback.Done(), feedback.Total()), std::make_pair(8LL, 8LL));
  Dataset ds = Open(path);
  ASSERT_TRUE(ds);
  // The layers, their counts and their field names as the README lists them:
  // GIS projects refer to these names, so they never change unnoticed.
  for (auto [name, count, names] : {
           std::tuple<const char*, long long, std::string>{"field_trees", 2,
                 "case_no iter plot tree species x_ini y_ini x_adj y_adj sigma_null sigma_x "
                 "sigma_y status x y sigma0 glob_test sx sy ell_a ell_b ell_az conf95_a "
                 "conf95_b max_w verdict suspect susp_tree susp_w sugg_tree sugg_s0 redundancy converged "
                 "warnings method"},
           {"map_trees", 3, "plot tree species z x_adj y_adj n_sight shift sx sy test displaced"},
           {"sightings", 2,
                 "case_no plot tree slot sighted kinds res_az res_dist res_mx res_my w_az "
                 "w_dist max_w control suspect left_out"},
           {"confidence_ellipses", 1, "case_no plot tree semi_a semi_b azimuth"}}) {
    OGRLayer* layer = ds->GetLayerByName(name);
    ASSERT_TRUE(layer) << name;
    EXPECT_EQ(layer->GetFeatureCount(), count) << name;
    std::string fields;
    for (int i = 0; i < layer->GetLayerDefn()->GetFieldCount(); ++i)
      fields += (i ? " " : "") + std::string(layer->GetLayerDefn()->GetFieldDefn(i)->GetNameRef());
    EXPECT_EQ(fields, names);
    ASSERT_TRUE(layer->GetSpatialRef()) << name;
    EXPECT_STREQ(layer->GetSpatialRef()->GetAuthorityCode(nullptr), "3067");
  }

  // Case 1: the point at the rigorous position, the legacy one as fields.
  OGRLayer* trees = ds->GetLayerByName("field_trees");
  std::unique_ptr<OGRFeature> f(trees->GetNextFeature());
  const OGRPoint* p = f->GetGeometryRef()->toPoint();
  EXPECT_NEAR(p->getX(), 3400010.0004, 1e-6);
  EXPECT_NEAR(p->getY(), 6700020.0003, 1e-6);
  EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("y_ini"), 6700020.25);
  EXPECT_EQ(Fields(*f, "iter status verdict suspect susp_tree sugg_tree"),
            "3|???? Point 12 erroneous?|outlier|azimuth|12|13");
  // Case 2 failed: every number of its results is empty, and so is its point.
  f.reset(trees->GetNextFeature());
  EXPECT_EQ(Fields(*f, "x_adj verdict"), "NULL|NULL");
  EXPECT_EQ(f->GetGeometryRef(), nullptr);

  // Map trees: the sighted ones with their adjusted position and count.
  OGRLayer* map = ds->GetLayerByName("map_trees");
  f.reset(map->GetNextFeature());
  EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("z"), 120.5);
  EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("x_adj"), 3400015.03);
  EXPECT_EQ(f->GetFieldAsInteger("n_sight"), 1);
  f.reset(map->GetFeature(3));
  EXPECT_EQ(Fields(*f, "n_sight x_adj"), "0|NULL");

  // Sightings: from the field tree to the map tree, the suspect marked.
  OGRLayer* sightings = ds->GetLayerByName("sightings");
  f.reset(sightings->GetNextFeature());
  EXPECT_STREQ(f->GetFieldAsString("kinds"), "azimuth+distance");
  EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("res_dist"), -0.02);
  f.reset(sightings->GetNextFeature());
  EXPECT_EQ(Fields(*f, "kinds suspect"), "azimuth|1");
  EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("max_w"), 4.5);
  const OGRLineString* line = f->GetGeometryRef()->toLineString();
  EXPECT_NEAR(line->getX(0), 3400010.0004, 1e-6);
  EXPECT_NEAR(line->getY(1), 6700014.0, 1e-6);

  // The ellipse: 2 m east-west, 1 m north-south around the point.
  f.reset(ds->GetLayerByName("confidence_ellipses")->GetNextFeature());
  const OGRLinearRing* ring = f->GetGeometryRef()->toPolygon()->getExteriorRing();
  EXPECT_GE(ring->getNumPoints(), 73);
  OGREnvelope box;
  ring->getEnvelope(&box);
  for (auto [got, want] : {std::pair{box.MinX, 3400008.0004}, {box.MaxX, 3400012.0004},
                           {box.MinY, 6700019.0003}, {box.MaxY, 6700021.0003}})
    EXPECT_NEAR(got, want, 1e-6);
  EXPECT_TRUE(ring->isClockwise() == 0);
}

// Case 3 of plot 7 did not converge with its sighting of tree 13 (slot 2):
// the suspect is that whole sighting, which has no observation lines; its
// record gives it, and its slot 3, also without lines. Tree 11 is on the map
// twice: the sighting used the first record. The plot network assessed case
// 1 and adjusted tree 11.
TEST_F(GeoPackageExport, LeftOutSightingTwiceMappedTreeMethodsAndPlots) {
  data.results.push_back({3, 4, 7, 103, 1, {}, {}, 3400020.0, 6700010.0, {}, {}, {}, ""});
  CaseAssessment q3;
  q3.caseNumber = 3, q3.plot = 7, q3.tree = 103, q3.x = 3400020.0, q3.y = 6700010.0;
  q3.verdict = quality::Verdict::Outlier, q3.suspectKind = quality::SuspectKind::Sighting;
  q3.suspectTree = 13;
  data.quality.push_back(q3);
  data.observations.push_back(ObservationAssessment{3, 7, 103, 1, 11, ObservationKind::Azimuth, 10.0,
                                                    10.0, 0, 0, 0, {}, {}, {},
                                                    quality::Control::Uncontrolled, {}, {}});
  data.mapTrees.push_back({7, 11, 1, 3400090.0, 6700090.0, 118.0});  // tree 11 again
  Table<TargetTree> records;
  records.Recreate(3);
  TargetTree& r3 = records[3];
  r3.Plot = 7, r3.Tree = 103, r3.SightedTree[1] = 11, r3.SightedTree[2] = 13;
  r3.HasAzimuth[2] = kTrue, r3.Sighted[2] = SightedXYZ{3400030.0, 6700030.0, 0};
  // Slot 3 to tree 12, measured and found on the map but without lines: left
  // out too, not the suspect.
  r3.SightedTree[3] = 12, r3.HasDistance[3] = kTrue;
  r3.Sighted[3] = SightedXYZ{3400008.0, 6700014.0, 0};
  // Case 1's suspect is one observation: nothing left out.
  records[1].Plot = 7, records[1].Tree = 101;
  gis::AddLeftOutSightings(data, records);
  ASSERT_EQ(data.leftOut.size(), 2u);
  data.quality[0].networkFigures = CaseAssessment::NetworkFigures{true, {}, {}, 0};
  data.plots = std::vector<gis::PlotFeature>{{7, 3, 2, 20, 9, 1.1, "pass", 0.2, 0.1, 2.0,
                                              "not significant", 0, 1, 5, true}};
  data.networkMapTrees[{7, 11}] = {3400015.0, 6700025.0, 3400015.3, 6700025.4, 0.5,
                                   0.05, 0.06, 3, 1.5, false};
  ASSERT_TRUE(ExportGeoPackage(data, path, "EPSG:2393").Ok());
  Dataset ds = Open(path);
  ASSERT_TRUE(ds);

  // The left-out sighting: marked, the suspect, no residuals, drawn to the
  // map tree the record names.
  OGRLayer* sightings = ds->GetLayerByName("sightings");
  sightings->SetAttributeFilter("left_out AND suspect");
  ASSERT_EQ(sightings->GetFeatureCount(), 1);
  std::unique_ptr<OGRFeature> f(sightings->GetNextFeature());
  EXPECT_EQ(Fields(*f, "case_no slot sighted kinds suspect res_az"), "3|2|13|azimuth|1|NULL");
  const OGRLineString* line = f->GetGeometryRef()->toLineString();
  EXPECT_DOUBLE_EQ(line->getX(0), 3400020.0);
  EXPECT_DOUBLE_EQ(line->getY(1), 6700030.0);
  // Every outlier with a suspect has its suspect sighting marked; three
  // sightings were adjusted.
  EXPECT_EQ(Text(*ds, "SELECT sum(suspect), sum(NOT left_out) FROM sightings"), "2|3");
  sightings->SetAttributeFilter("left_out AND NOT suspect");
  ASSERT_EQ(sightings->GetFeatureCount(), 1);
  f.reset(sightings->GetNextFeature());
  EXPECT_EQ(Fields(*f, "slot kinds"), "3|distance");

  // Tree 11 twice: the network's figures and the sightings on the record at
  // (3400015, 6700025) only.
  OGRLayer* map = ds->GetLayerByName("map_trees");
  map->SetAttributeFilter("tree = 11");
  ASSERT_EQ(map->GetFeatureCount(), 2);
  for (auto& m : *map) {
    const bool used = m->GetGeometryRef()->toPoint()->getX() == 3400015.0;
    EXPECT_EQ(Fields(*m, "n_sight displaced"), used ? "3|0" : "0|0");
    EXPECT_EQ(m->IsFieldNull(m->GetFieldIndex("x_adj")), !used);
    if (used) {
      EXPECT_DOUBLE_EQ(m->GetFieldAsDouble("shift"), 0.5);
    }
  }
  // Without the network, the sightings' own mean, again on one record: case
  // 1's adjusted X and case 3 (no map coordinates observed) not counted.
  data.networkMapTrees.clear();
  data.plots.reset();
  ASSERT_TRUE(ExportGeoPackage(data, path, "EPSG:2393").Ok());
  ds = Open(path);
  map = ds->GetLayerByName("map_trees");
  map->SetAttributeFilter("tree = 11 AND n_sight = 1");
  ASSERT_EQ(map->GetFeatureCount(), 1);
  f.reset(map->GetNextFeature());
  EXPECT_DOUBLE_EQ(f->GetFieldAsDouble("x_adj"), 3400015.03);
  EXPECT_DOUBLE_EQ(f->GetGeometryRef()->toPoint()->getX(), 3400015.0);
  EXPECT_TRUE(f->IsFieldNull(f->GetFieldIndex("displaced")));
  EXPECT_EQ(ds->GetLayerByName("plots"), nullptr);

  // The method of each case: NULL without a quality row.
  EXPECT_EQ(Text(*ds, "SELECT method FROM field_trees ORDER BY fid"), "network;NULL;case");
}

// The plots layer: one polygon per plot, the hull of its trees.
TEST_F(GeoPackageExport, PlotsLayerIsTheHullOfThePlotsTrees) {
  gis::PlotFeature plot;
  plot.plot = 7, plot.globalTest = "fail", plot.azimuthBiasTest = "";
  data.plots = std::vector<gis::PlotFeature>{plot};
  // Case 1 at (3400010, 6700020) and two adjusted map trees; the one inside
  // the triangle is no corner.
  data.networkMapTrees[{7, 11}] = {3400015.0, 6700025.0, 3400030.0, 6700020.0, 0, 0, 0, 1, {}, false};
  data.networkMapTrees[{7, 12}] = {3400008.0, 6700014.0, 3400020.0, 6700040.0, 0, 0, 0, 1, {}, true};
  data.networkMapTrees[{7, 13}] = {3400030.0, 6700030.0, 3400020.0, 6700025.0, 0, 0, 0, 1, {}, false};
  ASSERT_TRUE(ExportGeoPackage(data, path, "EPSG:2393").Ok());
  Dataset ds = Open(path);
  OGRLayer* plots = ds->GetLayerByName("plots");
  ASSERT_TRUE(plots);
  ASSERT_EQ(plots->GetFeatureCount(), 1);
  std::unique_ptr<OGRFeature> f(plots->GetNextFeature());
  EXPECT_EQ(Fields(*f, "glob_test az_bias_test"), "fail|NULL");
  const OGRLinearRing* ring = f->GetGeometryRef()->toPolygon()->getExteriorRing();
  EXPECT_EQ(ring->getNumPoints(), 4);  // a closed triangle
  EXPECT_NEAR(f->GetGeometryRef()->toPolygon()->get_Area(), 0.5 * 20 * 20, 0.01);
  EXPECT_FALSE(ring->isClockwise());
  EXPECT_EQ(Text(*ds, "SELECT count(*) FROM map_trees WHERE displaced"), "1");
}

// Errors, the CRS left out and a second export over the first.
TEST_F(GeoPackageExport, NoCrsBadCrsUnwritablePathReplaceAndCancel) {
  ExportStatus s = ExportGeoPackage(data, path, "");
  ASSERT_TRUE(s.Ok()) << s.message;
  EXPECT_EQ(s.warning,
            "No coordinate reference system given: the layers of \"" + path + "\" carry none.");
  // No CRS: the format's "undefined Cartesian" system, no authority code.
  Dataset first = Open(path);
  const OGRSpatialReference* none = first->GetLayerByName("field_trees")->GetSpatialRef();
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->IsLocal());
  EXPECT_EQ(none->GetAuthorityCode(nullptr), nullptr);
  // The same system (-1) in the layers' entries and in every geometry, as the
  // format requires.
  EXPECT_EQ(Text(*first, "SELECT (SELECT COUNT(*) FROM gpkg_geometry_columns WHERE srs_id <> -1) + "
                         "(SELECT COUNT(*) FROM field_trees WHERE ST_SRID(geom) <> -1) + "
                         "(SELECT COUNT(*) FROM map_trees WHERE ST_SRID(geom) <> -1) + "
                         "(SELECT COUNT(*) FROM sightings WHERE ST_SRID(geom) <> -1) + "
                         "(SELECT COUNT(*) FROM confidence_ellipses WHERE ST_SRID(geom) <> -1)"),
            "0");
  first.reset();

  // A second export replaces the first; no temporary file stays behind.
  data.results.pop_back();
  ASSERT_TRUE(ExportGeoPackage(data, path, "EPSG:4326").Ok());
  EXPECT_EQ(Open(path)->GetLayerByName("field_trees")->GetFeatureCount(), 1);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.gpkg"});

  // An unknown CRS and a folder that does not exist: refused, named, no file.
  s = ExportGeoPackage(data, dir.Path() + "/bad.gpkg", "EPSG:999999");
  EXPECT_EQ(s.code, ExportCode::UnknownCrs);
  EXPECT_EQ(s.message.rfind("The coordinate reference system \"EPSG:999999\" is not known", 0), 0u);
  const std::string missing = dir.Path() + "/no/such/folder/x.gpkg";
  s = ExportGeoPackage(data, missing, "");
  EXPECT_EQ(s.code, ExportCode::CannotWrite);
  EXPECT_EQ(s.message.rfind("The GeoPackage \"" + missing + "\" cannot be written", 0), 0u);
  // A cancelled export leaves the earlier file as it was.
  Feedback cancelled;
  cancelled.Cancel();
  s = ExportGeoPackage(HandMade(), path, "", &cancelled);
  EXPECT_EQ(s.code, ExportCode::Cancelled);
  EXPECT_EQ(Open(path)->GetLayerByName("field_trees")->GetFeatureCount(), 1);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"out.gpkg"});
}

struct PinnedTime {
  PinnedTime() { setenv("SOURCE_DATE_EPOCH", "1800000000", 1); }  // 2027-01-15 08:00 UTC
  ~PinnedTime() { unsetenv("SOURCE_DATE_EPOCH"); }
};

Dataset ExportExample(const TempFolder& dir, const std::string& name, const std::string& options = "") {
  dir.Write(kParameterFileName, testing::ExampleText("SimulationInputParameters2.txt"));
  const testing::BatchResult r = RunBatch(
      dir, options + " --gpkg " + name + " --crs EPSG:2393 " + testing::ExampleInputs());
  EXPECT_EQ(r.status, 0);
  return Open(dir.Path() + "/" + name);
}

// The example run exported into a folder of its own, with the export's time
// pinned.
class GeoPackageStyles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ds = ExportExample(dir, "out.gpkg")); }
  PinnedTime pinned;
  TempFolder dir;
  Dataset ds;
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
  // GDAL's entry of a field's domain stands beside its description (which
  // LayersAndFieldsAreDescribed checks).
  EXPECT_EQ(Text(*ds, "SELECT constraint_name FROM gpkg_data_columns WHERE "
                      "table_name = 'field_trees' AND column_name = 'verdict'"), "verdict");
}

// The plot network's run exports too: its plots, its map trees' figures and
// each case's method, as its files hold them.
TEST(GeoPackageNetwork, ExportsPlotsAndItsMapTrees) {
  TempFolder dir;
  Dataset ds = ExportExample(dir, "net.gpkg", "--quality network");
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
  Dataset b = Open(dir.Path() + "/b.gpkg");
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
