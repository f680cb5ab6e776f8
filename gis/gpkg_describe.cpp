#include "gis/gpkg_describe.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdio>
#include <optional>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "quality/case_quality.h"
#include "quality/legend.h"
#include "quality/quality_files.h"

namespace treetri::gis {
namespace {

using quality::LegendColour;

struct Described {
  const char* layer;
  const char* field;  // nullptr: the layer itself
  const char* text;
};

// Units: metres for coordinates and lengths, degrees clockwise from north
// for azimuths.
const Described kDescriptions[] = {
    {"field_trees", nullptr,
     "One feature per case (field tree): the legacy results and the rigorous adjustment with "
     "its tests; point at the rigorous position, else the legacy one; none for a failed case."},
    {"field_trees", "case_no", "Case number: the field tree's place in the sighting file"},
    {"field_trees", "iter", "Iterations of the legacy adjustment"},
    {"field_trees", "plot", "Plot number"},
    {"field_trees", "tree", "Field tree number"},
    {"field_trees", "species", "Tree species code"},
    {"field_trees", "x_ini", "Legacy initial approximation, X (m)"},
    {"field_trees", "y_ini", "Legacy initial approximation, Y (m)"},
    {"field_trees", "x_adj", "Legacy adjusted position, X (m)"},
    {"field_trees", "y_adj", "Legacy adjusted position, Y (m)"},
    {"field_trees", "sigma_null", "Legacy standard error of unit weight"},
    {"field_trees", "sigma_x", "Legacy standard error of X (m)"},
    {"field_trees", "sigma_y", "Legacy standard error of Y (m)"},
    {"field_trees", "status", "Legacy status of the list, without padding"},
    {"field_trees", "x", "Rigorous adjusted position, X (m)"},
    {"field_trees", "y", "Rigorous adjusted position, Y (m)"},
    {"field_trees", "sigma0", "A posteriori standard error of unit weight"},
    {"field_trees", "glob_test", "Global chi-square test of vTPv at 95 %: pass or fail"},
    {"field_trees", "sx", "Standard deviation of X (m)"},
    {"field_trees", "sy", "Standard deviation of Y (m)"},
    {"field_trees", "ell_a", "Standard error ellipse, semi-major axis (m)"},
    {"field_trees", "ell_b", "Standard error ellipse, semi-minor axis (m)"},
    {"field_trees", "ell_az", "Azimuth of the ellipse's major axis (degrees from north)"},
    {"field_trees", "conf95_a", "95 % confidence ellipse, semi-major axis (m)"},
    {"field_trees", "conf95_b", "95 % confidence ellipse, semi-minor axis (m)"},
    {"field_trees", "max_w", "Largest |w| (Baarda's w-test) of the case's observations"},
    {"field_trees", "verdict", "Verdict: ok, outlier, no redundancy, failed, not computed"},
    {"field_trees", "suspect", "Kind of the suspect observation; NULL when there is none"},
    {"field_trees", "susp_tree", "Map tree of the suspect observation"},
    {"field_trees", "susp_w", "w of the suspect observation"},
    {"field_trees", "sugg_tree", "Map tree suggested in place of a wrong tree number"},
    {"field_trees", "sugg_s0", "sigma0 with the suggested tree in place"},
    {"field_trees", "redundancy", "Redundancy of the rigorous adjustment (observations less unknowns)"},
    {"field_trees", "converged", "Whether the rigorous adjustment converged"},
    {"field_trees", "warnings", "Warnings of the rigorous adjustment; NULL when there are none"},
    {"field_trees", "method", "How the case was assessed: case (alone) or network (with its plot)"},
    {"map_trees", nullptr,
     "The map trees of the plots that have cases, at their map coordinates, with their "
     "adjusted coordinates."},
    {"map_trees", "plot", "Plot number"},
    {"map_trees", "tree", "Map tree number"},
    {"map_trees", "species", "Tree species code"},
    {"map_trees", "z", "Height on the map (m)"},
    {"map_trees", "x_adj",
     "Adjusted X: the plot network's, else the mean over the cases that sighted this record (m)"},
    {"map_trees", "y_adj",
     "Adjusted Y: the plot network's, else the mean over the cases that sighted this record (m)"},
    {"map_trees", "n_sight", "Number of sightings of this record used"},
    {"map_trees", "shift", "Plot network: distance from the map position to the adjusted one (m)"},
    {"map_trees", "sx", "Plot network: standard deviation of the adjusted X (m)"},
    {"map_trees", "sy", "Plot network: standard deviation of the adjusted Y (m)"},
    {"map_trees", "test", "Plot network: test value of the map tree's displacement (2 degrees)"},
    {"map_trees", "displaced", "Plot network: whether it was found displaced on the map"},
    {"sightings", nullptr,
     "One line per sighting used, from the field tree's rigorous position to the sighted map "
     "tree, with the residuals and w-tests of its observations."},
    {"sightings", "case_no", "Case number"},
    {"sightings", "plot", "Plot number"},
    {"sightings", "tree", "Field tree number"},
    {"sightings", "slot", "Slot of the sighting in the sighting file (1-20)"},
    {"sightings", "sighted", "Sighted map tree number"},
    {"sightings", "kinds", "Observations of the sighting: azimuth, distance, azimuth+distance"},
    {"sightings", "res_az", "Residual of the azimuth (degrees)"},
    {"sightings", "res_dist", "Residual of the distance (m)"},
    {"sightings", "res_mx", "Residual of the map tree's X (m)"},
    {"sightings", "res_my", "Residual of the map tree's Y (m)"},
    {"sightings", "w_az", "w-test value of the azimuth"},
    {"sightings", "w_dist", "w-test value of the distance"},
    {"sightings", "max_w", "Largest |w| of the sighting's observations"},
    {"sightings", "control", "Weakest control of its observations: weak, uncontrolled or NULL"},
    {"sightings", "suspect", "Whether the sighting holds the case's suspect observation"},
    {"sightings", "left_out",
     "Whether the adjustment left the sighting's distance and azimuth out (no residuals)"},
    {"confidence_ellipses", nullptr,
     "The 95 % confidence ellipse of every case with precision figures."},
    {"confidence_ellipses", "case_no", "Case number"},
    {"confidence_ellipses", "plot", "Plot number"},
    {"confidence_ellipses", "tree", "Field tree number"},
    {"confidence_ellipses", "semi_a", "Semi-major axis (m)"},
    {"confidence_ellipses", "semi_b", "Semi-minor axis (m)"},
    {"confidence_ellipses", "azimuth", "Azimuth of the major axis (degrees from north)"},
    {"plots", nullptr,
     "The plot network: one feature per plot, the convex hull of its field trees and sighted "
     "map trees, with its adjustment's figures."},
    {"plots", "plot", "Plot number"},
    {"plots", "field_trees", "Field trees in the plot's network adjustment"},
    {"plots", "map_trees", "Map trees they sight"},
    {"plots", "observations", "Observations of the plot's adjustment"},
    {"plots", "redundancy", "Redundancy of the plot's adjustment"},
    {"plots", "sigma0", "A posteriori standard error of unit weight of the plot"},
    {"plots", "glob_test", "Global chi-square test of the plot at 95 %: pass or fail"},
    {"plots", "az_bias", "Azimuth bias of the plot (degrees); NULL without the bias unknown"},
    {"plots", "az_bias_sd", "Standard deviation of the azimuth bias (degrees)"},
    {"plots", "az_bias_w", "w-test value of the azimuth bias"},
    {"plots", "az_bias_test", "The bias's test: significant or not significant"},
    {"plots", "displaced", "Map trees found displaced"},
    {"plots", "removed", "Observations removed as gross errors"},
    {"plots", "iter", "Gauss-Newton solutions of the plot's adjustments, its search for gross errors included"},
    {"plots", "converged", "Whether the plot's adjustment converged"},
    {"remeasure", nullptr, "The re-measure list: what to measure again in the field."},
    {"remeasure", "plot", "Plot number"},
    {"remeasure", "tree", "Field tree number"},
    {"remeasure", "case_no", "Case number"},
    {"remeasure", "slot", "Slot of the sighting to check"},
    {"remeasure", "sighted", "Sighted map tree number"},
    {"remeasure", "check", "What to measure again"},
    {"remeasure", "reason", "Why"},
    {"remeasure", "sugg_tree", "Map tree suggested in place of the named one"},
};

std::string Rgba(const LegendColour& c, int alpha = 255) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
         std::to_string(alpha);
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Opt(const std::string& name, const std::string& value) {
  return "<Option type=\"QString\" name=\"" + name + "\" value=\"" + Escape(value) + "\"/>";
}

std::string Marker(const std::string& name, const std::string& fill, const std::string& outline,
                   double size) {
  return "<symbol type=\"marker\" name=\"" + name +
         "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\"><layer class=\"SimpleMarker\" "
         "enabled=\"1\" locked=\"0\" pass=\"0\"><Option type=\"Map\">" +
         Opt("name", "circle") + Opt("color", fill) + Opt("outline_color", outline) +
         Opt("outline_width", "0.3") + Opt("size", std::to_string(size)) + Opt("size_unit", "MM") +
         "</Option></layer></symbol>";
}

std::string Line(const std::string& name, const std::string& colour, const std::string& style,
                 double width) {
  return "<symbol type=\"line\" name=\"" + name +
         "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\"><layer class=\"SimpleLine\" "
         "enabled=\"1\" locked=\"0\" pass=\"0\"><Option type=\"Map\">" +
         Opt("line_color", colour) + Opt("line_style", style) +
         Opt("line_width", std::to_string(width)) + Opt("line_width_unit", "MM") +
         Opt("capstyle", "round") + "</Option></layer></symbol>";
}

std::string Outline(const std::string& name, const std::string& colour) {
  return "<symbol type=\"fill\" name=\"" + name +
         "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\"><layer class=\"SimpleFill\" "
         "enabled=\"1\" locked=\"0\" pass=\"0\"><Option type=\"Map\">" + Opt("style", "no") +
         Opt("color", "0,0,0,0") + Opt("outline_color", colour) + Opt("outline_style", "solid") +
         Opt("outline_width", "0.4") + "</Option></layer></symbol>";
}

const char* const kHead =
    "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n"
    "<qgis version=\"3.22.0\" styleCategories=\"Symbology|Labeling\">\n";

std::string FieldTreesQml() {
  std::string categories, symbols;
  int i = 0;
  for (quality::Verdict v : {quality::Verdict::Ok, quality::Verdict::Outlier,
                             quality::Verdict::NoRedundancy, quality::Verdict::Failed,
                             quality::Verdict::NotComputed}) {
    const std::string word = quality::VerdictWord(v);
    categories += "<category symbol=\"" + std::to_string(i) + "\" value=\"" + Escape(word) +
                  "\" label=\"" + Escape(word) + "\" render=\"true\"/>";
    symbols += Marker(std::to_string(i), Rgba(quality::VerdictLegendColour(v)), "35,35,35,255", 2.6);
    ++i;
  }
  return std::string(kHead) +
         "<renderer-v2 type=\"categorizedSymbol\" attr=\"verdict\" symbollevels=\"0\" "
         "enableorderby=\"0\" forceraster=\"0\"><categories>" + categories +
         "</categories><symbols>" + symbols + "</symbols></renderer-v2>\n</qgis>\n";
}

std::string MapTreesQml() {
  return std::string(kHead) +
         "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
         "forceraster=\"0\"><symbols>" +
         Marker("0", "200,200,200,255", "110,110,110,255", 1.6) +
         "</symbols></renderer-v2>\n"
         "<labeling type=\"simple\"><settings calloutType=\"simple\"><text-style "
         "fieldName=\"tree\" isExpression=\"0\" fontSize=\"7\" fontSizeUnit=\"Point\" "
         "textColor=\"90,90,90,255\"/><placement placement=\"0\" dist=\"0.8\" "
         "distUnits=\"MM\"/><rendering scaleVisibility=\"1\" scaleMin=\"0\" "
         "scaleMax=\"2000\"/></settings></labeling>\n</qgis>\n";
}

// One rule per kind (line style as the plot map: solid for azimuth and
// distance, dashed for an azimuth only, dotted for a distance only) and
// band of |w| (the legend's colours at the band's top), and the suspect
// drawn under them with a wide red halo.
std::string SightingsQml() {
  struct Band {
    const char* filter;
    const char* label;
    std::optional<double> w;  // where the legend's colour is taken
  };
  const Band bands[] = {{"\"max_w\" IS NULL", "no w", std::nullopt},
                        {"abs(\"max_w\") <= 1", "|w| up to 1", 1.0},
                        {"abs(\"max_w\") > 1 AND abs(\"max_w\") < 3.29", "|w| 1 to 3.29",
                         quality::kWarningW},
                        {"abs(\"max_w\") >= 3.29", "|w| from 3.29", quality::kCriticalW}};
  const std::pair<const char*, const char*> kinds[] = {
      {"azimuth+distance", "solid"}, {"azimuth", "dash"}, {"distance", "dot"}};
  std::string rules, symbols;
  int n = 0;
  rules += "<rule key=\"suspect\" symbol=\"0\" label=\"suspect\" filter=\"" +
           Escape("\"suspect\" = 1") + "\"/>";
  symbols += Line(std::to_string(n++),
                  Rgba(quality::VerdictLegendColour(quality::Verdict::Outlier), 110), "solid", 1.8);
  for (const auto& [kind, style] : kinds)
    for (const Band& b : bands) {
      const std::string filter = "\"kinds\" = '" + std::string(kind) + "' AND " + b.filter;
      const std::string label = std::string(kind) + ", " + b.label;
      rules += "<rule key=\"r" + std::to_string(n) + "\" symbol=\"" + std::to_string(n) +
               "\" label=\"" + Escape(label) + "\" filter=\"" + Escape(filter) + "\"/>";
      symbols += Line(std::to_string(n++), Rgba(quality::WLegendColour(b.w)), style, 0.5);
    }
  return std::string(kHead) +
         "<renderer-v2 type=\"RuleRenderer\" symbollevels=\"0\" enableorderby=\"0\" "
         "forceraster=\"0\"><rules key=\"root\">" + rules + "</rules><symbols>" + symbols +
         "</symbols></renderer-v2>\n</qgis>\n";
}

std::string EllipsesQml() {
  return std::string(kHead) +
         "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
         "forceraster=\"0\"><symbols>" + Outline("0", "40,70,160,255") +
         "</symbols></renderer-v2>\n</qgis>\n";
}

std::string PlotsQml() {
  return std::string(kHead) +
         "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
         "forceraster=\"0\"><symbols>" + Outline("0", "90,90,90,255") +
         "</symbols></renderer-v2>\n</qgis>\n";
}

std::string RemeasureQml() {
  return std::string(kHead) +
         "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" "
         "forceraster=\"0\"><symbols>" +
         Marker("0", "0,0,0,0", Rgba(quality::VerdictLegendColour(quality::Verdict::Outlier)), 4.0) +
         "</symbols></renderer-v2>\n</qgis>\n";
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

// Registers an extension for a table once: GDAL may have done so (a NULL
// column name makes the table's unique constraint no help).
std::string Register(const std::string& table, const std::string& extension,
                     const std::string& definition) {
  return "INSERT INTO gpkg_extensions (table_name, column_name, extension_name, definition, "
         "scope) SELECT " + Quote(table) + ", NULL, " + Quote(extension) + ", " +
         Quote(definition) + ", 'read-write' WHERE NOT EXISTS (SELECT 1 FROM gpkg_extensions "
         "WHERE table_name = " + Quote(table) + " AND column_name IS NULL AND extension_name = " +
         Quote(extension) + ")";
}

bool Sql(GDALDataset& ds, const std::string& statement, std::string& error) {
  CPLErrorReset();
  OGRLayer* result = ds.ExecuteSQL(statement.c_str(), nullptr, nullptr);
  if (result) ds.ReleaseResultSet(result);
  if (CPLGetLastErrorType() == CE_Failure) {
    error = CPLGetLastErrorMsg();
    return false;
  }
  return true;
}

}  // namespace

std::string LayerStyleQml(const std::string& layer) {
  if (layer == "field_trees") return FieldTreesQml();
  if (layer == "map_trees") return MapTreesQml();
  if (layer == "sightings") return SightingsQml();
  if (layer == "confidence_ellipses") return EllipsesQml();
  if (layer == "remeasure") return RemeasureQml();
  if (layer == "plots") return PlotsQml();
  return std::string();
}

std::string LayerDescription(const std::string& layer) {
  for (const Described& d : kDescriptions)
    if (!d.field && layer == d.layer) return d.text;
  return std::string();
}

std::string FieldDescription(const std::string& layer, const std::string& field) {
  for (const Described& d : kDescriptions)
    if (d.field && layer == d.layer && field == d.field) return d.text;
  return std::string();
}

std::string ExportTimestamp() {
  std::time_t t = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    long long v = 0;
    const char* end = epoch + std::char_traits<char>::length(epoch);
    const auto r = std::from_chars(epoch, end, v);
    if (r.ec == std::errc() && r.ptr == end && v >= 0) t = static_cast<std::time_t>(v);
  }
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S.000Z", &tm);
  return buf;
}

bool DescribeAndStyle(GDALDataset& ds, const std::string& timestamp, std::string& error) {
  // The styles' table as QGIS creates and reads it.
  OGRLayer* styles = ds.CreateLayer("layer_styles", nullptr, wkbNone, nullptr);
  if (!styles) {
    error = CPLGetLastErrorMsg();
    return false;
  }
  const std::pair<const char*, OGRFieldType> columns[] = {
      {"f_table_catalog", OFTString}, {"f_table_schema", OFTString},
      {"f_table_name", OFTString},    {"f_geometry_column", OFTString},
      {"styleName", OFTString},       {"styleQML", OFTString},
      {"styleSLD", OFTString},        {"useAsDefault", OFTInteger},
      {"description", OFTString},     {"owner", OFTString},
      {"ui", OFTString},              {"update_time", OFTDateTime}};
  for (const auto& [name, type] : columns) {
    OGRFieldDefn field(name, type);
    if (std::string(name) == "useAsDefault") field.SetSubType(OFSTBoolean);
    if (styles->CreateField(&field) != OGRERR_NONE) {
      error = CPLGetLastErrorMsg();
      return false;
    }
  }
  const std::string gpkgTime = timestamp;
  std::vector<std::string> layers;
  for (int i = 0; i < ds.GetLayerCount(); ++i) layers.push_back(ds.GetLayer(i)->GetName());
  for (const std::string& name : layers) {
    OGRLayer* layer = ds.GetLayerByName(name.c_str());
    const std::string qml = LayerStyleQml(name);
    if (!qml.empty()) {
      OGRFeature f(styles->GetLayerDefn());
      f.SetField("f_table_catalog", "");
      f.SetField("f_table_schema", "");
      f.SetField("f_table_name", name.c_str());
      f.SetField("f_geometry_column", layer->GetGeometryColumn());
      f.SetField("styleName", name.c_str());
      f.SetField("styleQML", qml.c_str());
      f.SetField("styleSLD", "");
      f.SetField("useAsDefault", 1);
      f.SetField("description", ("treetri: " + name + " as the plot map draws it").c_str());
      f.SetField("owner", "");
      f.SetField("ui", "");
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
      std::sscanf(timestamp.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s);
      f.SetField("update_time", y, mo, d, h, mi, static_cast<float>(s), 100);
      if (styles->CreateFeature(&f) != OGRERR_NONE) {
        error = CPLGetLastErrorMsg();
        return false;
      }
    }
  }
  // Descriptions: of the layers in gpkg_contents, of the fields in
  // gpkg_data_columns (the schema extension, registered).
  if (!Sql(ds,
           "CREATE TABLE IF NOT EXISTS gpkg_data_columns (table_name TEXT NOT NULL, column_name "
           "TEXT NOT NULL, name TEXT, title TEXT, description TEXT, mime_type TEXT, "
           "constraint_name TEXT, CONSTRAINT pk_gdc PRIMARY KEY (table_name, column_name), "
           "CONSTRAINT gdc_tn UNIQUE (table_name, name))",
           error) ||
      !Sql(ds,
           "CREATE TABLE IF NOT EXISTS gpkg_extensions (table_name TEXT, column_name TEXT, "
           "extension_name TEXT NOT NULL, definition TEXT NOT NULL, scope TEXT NOT NULL, "
           "CONSTRAINT ge_tce UNIQUE (table_name, column_name, extension_name))",
           error) ||
      !Sql(ds,
           Register("gpkg_data_columns", "gpkg_schema",
                    "http://www.geopackage.org/spec121/#extension_schema"),
           error))
    return false;
  for (const std::string& name : layers) {
    const std::string description = LayerDescription(name);
    if (!description.empty() &&
        !Sql(ds, "UPDATE gpkg_contents SET description = " + Quote(description) +
                     " WHERE table_name = " + Quote(name), error))
      return false;
    OGRFeatureDefn* defn = ds.GetLayerByName(name.c_str())->GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      const std::string field = defn->GetFieldDefn(i)->GetNameRef();
      const std::string text = FieldDescription(name, field);
      if (text.empty()) continue;
      // GDAL has entered the fields that have a domain (constraint_name):
      // those rows are kept and completed.
      if (!Sql(ds, "INSERT INTO gpkg_data_columns (table_name, column_name, name, title, "
                   "description) VALUES (" + Quote(name) + ", " + Quote(field) + ", " +
                   Quote(name + "." + field) + ", " + Quote(field) + ", " + Quote(text) +
                   ") ON CONFLICT (table_name, column_name) DO UPDATE SET name = excluded.name, "
                   "title = excluded.title, description = excluded.description",
               error))
        return false;
    }
  }
  return true;
}

std::string RunMetadataText(const std::string& runRecord, const std::string& crs,
                            const std::string& crsName, const std::string& timestamp) {
  using Json = nlohmann::ordered_json;
  Json j;
  j["metadata_layout"] = 1;
  j["exported"] = timestamp;
  j["exported_with"] = std::string("treetri ") + TREETRI_VERSION;
  j["crs"] = crs.empty() ? Json(nullptr) : Json(crs);
  j["crs_name"] = crsName.empty() ? Json(nullptr) : Json(crsName);
  Json run = Json::parse(runRecord, nullptr, false);
  j["run"] = run.is_discarded() || !run.is_object() ? Json(nullptr) : run;
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool WriteRunMetadata(GDALDataset& ds, const std::string& metadata, const std::string& timestamp,
                      std::string& error) {
  // The tables as the metadata extension defines them, registered.
  return Sql(ds,
             "CREATE TABLE IF NOT EXISTS gpkg_metadata (id INTEGER CONSTRAINT m_pk PRIMARY KEY "
             "ASC NOT NULL, md_scope TEXT NOT NULL DEFAULT 'dataset', md_standard_uri TEXT NOT "
             "NULL, mime_type TEXT NOT NULL DEFAULT 'text/xml', metadata TEXT NOT NULL DEFAULT '')",
             error) &&
         Sql(ds,
             "CREATE TABLE IF NOT EXISTS gpkg_metadata_reference (reference_scope TEXT NOT NULL, "
             "table_name TEXT, column_name TEXT, row_id_value INTEGER, timestamp DATETIME NOT NULL "
             "DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')), md_file_id INTEGER NOT NULL, "
             "md_parent_id INTEGER, CONSTRAINT crmr_mfi_fk FOREIGN KEY (md_file_id) REFERENCES "
             "gpkg_metadata(id), CONSTRAINT crmr_mpi_fk FOREIGN KEY (md_parent_id) REFERENCES "
             "gpkg_metadata(id))",
             error) &&
         Sql(ds,
             Register("gpkg_metadata", "gpkg_metadata",
                      "http://www.geopackage.org/spec120/#extension_metadata"),
             error) &&
         Sql(ds,
             Register("gpkg_metadata_reference", "gpkg_metadata",
                      "http://www.geopackage.org/spec120/#extension_metadata"),
             error) &&
         Sql(ds,
             "INSERT INTO gpkg_metadata (id, md_scope, md_standard_uri, mime_type, metadata) "
             "VALUES (1, 'dataset', " + Quote(kRunMetadataUri) + ", 'application/json', " +
                 Quote(metadata) + ")",
             error) &&
         Sql(ds,
             "INSERT INTO gpkg_metadata_reference (reference_scope, timestamp, md_file_id) "
             "VALUES ('geopackage', " + Quote(timestamp) + ", 1)",
             error);
}

}  // namespace treetri::gis
