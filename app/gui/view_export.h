// Saves a plot map view as it is shown, the legend, scale bar and north
// arrow included: PNG (at twice the screen resolution), SVG or PDF, by the
// file's suffix.
#pragma once

#include <string>

#include <QString>

namespace treetri {

class PlotMapView;

// Writes under a temporary name and puts the complete file in place, so
// nothing half-written is left under the name asked for. False with a
// reason naming the file. `title` goes into the SVG and PDF metadata.
bool ExportView(PlotMapView& view, const QString& title, const QString& path,
                std::string& error);

}  // namespace treetri
