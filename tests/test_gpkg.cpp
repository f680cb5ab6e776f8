// The GeoPackage export read back with GDAL/OGR, on hand-made cases (the
// example run through treetri-batch is in the batch program's tests).
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "gis/gpkg_export.h"
#include "gis/run_export.h"
#include "quality/assessment.h"
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

TEST(GeoPackageExport, LayersFieldsAndGeometryOfHandMadeCases) {
  TempFolder dir;
  const std::string path = dir.Path() + "/out.gpkg";
  const ExportData data = HandMade();
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
// record gives it, and its slot 3, also without lines. Tree 11 is on the map twice: the sighting used the first
// record. The plot network assessed case 1 and adjusted tree 11.
TEST(GeoPackageExport, LeftOutSightingTwiceMappedTreeMethodsAndPlots) {
  TempFolder dir;
  const std::string path = dir.Path() + "/out.gpkg";
  ExportData data = HandMade();
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
  // Every outlier with a suspect has its suspect sighting marked.
  sightings->SetAttributeFilter("suspect");
  EXPECT_EQ(sightings->GetFeatureCount(), 2);
  sightings->SetAttributeFilter("NOT left_out");
  EXPECT_EQ(sightings->GetFeatureCount(), 3);
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
  OGRLayer* trees = ds->GetLayerByName("field_trees");
  std::vector<std::string> methods;
  for (auto& t : *trees)
    methods.push_back(t->IsFieldNull(t->GetFieldIndex("method")) ? "NULL"
                                                                  : t->GetFieldAsString("method"));
  EXPECT_EQ(methods, (std::vector<std::string>{"network", "NULL", "case"}));
}

// The plots layer: one polygon per plot, the hull of its trees.
TEST(GeoPackageExport, PlotsLayerIsTheHullOfThePlotsTrees) {
  TempFolder dir;
  const std::string path = dir.Path() + "/out.gpkg";
  ExportData data = HandMade();
  gis::PlotFeature plot;
  plot.plot = 7;
  plot.globalTest = "fail";
  plot.azimuthBiasTest = "";
  data.plots = std::vector<gis::PlotFeature>{plot};
  // Case 1 at (3400010, 6700020) and two adjusted map trees; the one inside
  // the triangle is no corner.
  data.networkMapTrees[{7, 11}] = {3400015.0, 6700025.0, 3400030.0, 6700020.0, 0, 0, 0, 1, {},
                                   false};
  data.networkMapTrees[{7, 12}] = {3400008.0, 6700014.0, 3400020.0, 6700040.0, 0, 0, 0, 1, {},
                                   true};
  data.networkMapTrees[{7, 13}] = {3400030.0, 6700030.0, 3400020.0, 6700025.0, 0, 0, 0, 1, {},
                                   false};
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
  ds->GetLayerByName("map_trees")->SetAttributeFilter("displaced");
  EXPECT_EQ(ds->GetLayerByName("map_trees")->GetFeatureCount(), 1);
}

// Errors, the CRS left out and a second export over the first.
TEST(GeoPackageExport, NoCrsBadCrsUnwritablePathReplaceAndCancel) {
  TempFolder dir;
  const std::string path = dir.Path() + "/out.gpkg";
  ExportData data = HandMade();

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
  OGRLayer* wrong = first->ExecuteSQL(
      "SELECT (SELECT COUNT(*) FROM gpkg_geometry_columns WHERE srs_id <> -1) + "
      "(SELECT COUNT(*) FROM field_trees WHERE ST_SRID(geom) <> -1) + "
      "(SELECT COUNT(*) FROM map_trees WHERE ST_SRID(geom) <> -1) + "
      "(SELECT COUNT(*) FROM sightings WHERE ST_SRID(geom) <> -1) + "
      "(SELECT COUNT(*) FROM confidence_ellipses WHERE ST_SRID(geom) <> -1)",
      nullptr, nullptr);
  ASSERT_TRUE(wrong);
  EXPECT_EQ(std::unique_ptr<OGRFeature>(wrong->GetNextFeature())->GetFieldAsInteger(0), 0);
  first->ReleaseResultSet(wrong);
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

}  // namespace
}  // namespace treetri
