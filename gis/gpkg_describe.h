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

}  // namespace treetri::gis
