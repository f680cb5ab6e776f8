// What makes an exported GeoPackage open styled and described in a GIS: a
// QGIS style (QML) for every layer in the table "layer_styles", set as the
// default, drawn like the plot map's legend (field trees by verdict,
// ellipses as outlines, sightings by kind and |w| with the suspect
// highlighted, map trees grey with their numbers); a description of every
// layer (gpkg_contents) and of its fields (gpkg_data_columns, the
// GeoPackage schema extension).
//
// The export's one time stamp (gpkg_contents' last_change and the styles'
// update_time) is pinned: SOURCE_DATE_EPOCH, when set, gives it, so two
// exports of one run are the same to the byte.
#pragma once

#include <string>

class GDALDataset;

namespace treetri::gis {

// The layers that get a style; "" for one without.
std::string LayerStyleQml(const std::string& layer);

// The description of a layer, and of a field of it ("" when it has none).
std::string LayerDescription(const std::string& layer);
std::string FieldDescription(const std::string& layer, const std::string& field);

// The export's time stamp, ISO 8601 in UTC with milliseconds
// ("2026-12-07T04:00:00.000Z"): from SOURCE_DATE_EPOCH (seconds since
// 1970) when that is set and valid, else the present time.
std::string ExportTimestamp();

// Writes the styles and the descriptions into the open GeoPackage `ds`,
// whose layers are written. False, with GDAL's reason, when a table cannot
// be written.
bool DescribeAndStyle(GDALDataset& ds, const std::string& timestamp, std::string& error);

// The export's metadata, a JSON object: the layout of this object, the
// export's time stamp, the program and version that exported, the CRS as
// given and its name (null without one), and the run record of the run
// ("run": run.json as the run wrote it, null when none is known or it is
// not JSON).
std::string RunMetadataText(const std::string& runRecord, const std::string& crs,
                            const std::string& crsName, const std::string& timestamp);

// Writes `metadata` as the GeoPackage's metadata (the metadata extension:
// gpkg_metadata, scope "dataset", type application/json, and its reference
// for the whole file in gpkg_metadata_reference with the time stamp).
bool WriteRunMetadata(GDALDataset& ds, const std::string& metadata, const std::string& timestamp,
                      std::string& error);

// The URI that names the metadata's layout in gpkg_metadata.md_standard_uri.
inline constexpr const char* kRunMetadataUri = "urn:treetri:gpkg-metadata:1";

}  // namespace treetri::gis
