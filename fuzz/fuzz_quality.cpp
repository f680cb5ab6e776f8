// The quality files of a run as the report, the plot map and the desktop's
// GeoPackage export read them: any bytes as quality.csv and
// observations.csv, over a map read from the default file (or the third part
// of the input). The reader either refuses with a message naming a file and
// a line, or gives each case once with the observation lines of its cases
// only; the plot map's reader agrees with it; every plot scene holds finite
// coordinates and shows long texts cut; the GeoPackage of what was read is
// written.
//
// Input: quality.csv, then after a form feed observations.csv, then the map.
#include <cmath>
#include <cstdint>
#include <set>
#include <string>

#include "data/readers.h"
#include "fuzz/fuzz_support.h"
#include "gis/gpkg_export.h"
#include "gis/run_export.h"
#include "quality/quality_files.h"
#include "views/plot_scene.h"

using namespace treetri;
using namespace treetri::fuzz;

namespace {

void CheckBox(const PlaneExtent& b, const char* which) {
  if (b.empty) return;
  FUZZ_CHECK(std::isfinite(b.minX) && std::isfinite(b.maxX) && std::isfinite(b.minY) &&
                 std::isfinite(b.maxY) && b.minX <= b.maxX && b.minY <= b.maxY,
             std::string(which) + " is not a finite box");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CleanWorkFolder();
  const std::vector<std::string> parts = SplitParts(data, size, 3);
  const std::string qualityPath = WriteWorkFile(quality::kQualityFileName, parts[0]);
  const std::string observationsPath =
      WriteWorkFile(quality::kObservationsFileName, parts.size() > 1 ? parts[1] : "");
  Tables t;
  HeadlessUi reading;
  ReadPhotoMapFile(t, reading, WriteWorkFile("map.txt", parts.size() > 2 ? parts[2] : DefaultMap()));

  quality::QualityRunFiles run;
  const quality::FileReadStatus s =
      quality::ReadQualityRun(qualityPath, observationsPath, false, run);
  views::CaseResults results;
  std::string error;
  std::vector<std::string> warnings;
  const bool loaded = results.Load(qualityPath, observationsPath, error, &warnings);
  FUZZ_CHECK(loaded == s.ok, "the plot map's reader and the report's reader disagree");
  if (!s.ok) {
    FUZZ_CHECK(!s.path.empty() && !s.message.empty(), "a refusal without file or reason");
    FUZZ_CHECK(error.find(s.path) != std::string::npos, "the plot map's message names no file");
    FUZZ_CHECK(results.Cases().empty(), "a refused file left cases behind");
    return 0;
  }
  FUZZ_CHECK(warnings == run.warnings, "the two readers warn differently");
  std::set<int> cases;
  for (const quality::CaseAssessment& r : run.cases) {
    FUZZ_CHECK(cases.insert(r.caseNumber).second, "case " + std::to_string(r.caseNumber) + " twice");
    // A removal listed in the warnings reads back as it is written.
    for (const quality::RemovedSighting& m : quality::RemovedSightingsIn(r.warnings))
      FUZZ_CHECK(quality::RemovedSightingsIn(quality::RemovedSightingWarning(m)).size() == 1,
                 "a removal in the warnings does not read back");
  }
  for (const quality::ObservationAssessment& o : run.observations)
    FUZZ_CHECK(cases.count(o.caseNumber), "an observation line of a case that is not there");
  FUZZ_CHECK(results.Cases().size() == run.cases.size(), "the plot map has another case count");
  size_t observations = 0;
  for (const quality::CaseQuality& c : results.Cases()) observations += c.observations.size();
  FUZZ_CHECK(observations == run.observations.size(), "the plot map has other observation lines");

  // The plot scene of every case (at most 50).
  const quality::PlotMaps maps(t.PhotoTrees);
  size_t shown = 0;
  for (const quality::CaseQuality& c : results.Cases()) {
    if (++shown > 50) break;
    const views::PlotScene scene = views::BuildPlotScene(maps, results, c.row.caseNumber);
    CheckBox(scene.plotBox, "the plot box");
    CheckBox(scene.caseBox, "the case box");
    for (const views::FieldTreeMark& f : scene.fieldTrees)
      FUZZ_CHECK(std::isfinite(f.x) && std::isfinite(f.y), "a field tree off the plane");
    for (const views::EllipseMark& e : scene.ellipses)
      FUZZ_CHECK(std::isfinite(e.x) && std::isfinite(e.y), "an ellipse off the plane");
    for (const views::SightingLine& l : scene.lines)
      FUZZ_CHECK(std::isfinite(l.x0) && std::isfinite(l.y0) && std::isfinite(l.x1) &&
                     std::isfinite(l.y1),
                 "a sighting line off the plane");
    FUZZ_CHECK(views::ShownText(c.row.warnings).size() <= views::kShownTextBytes + 64,
               "a long text is shown whole");
    views::FarOffNote(scene);
  }

  // The GeoPackage of what was read.
  const gis::ExportData exportData = gis::ExportDataFromQuality(results.Cases(), t.PhotoTrees);
  const gis::ExportStatus status =
      gis::ExportGeoPackage(exportData, WorkFolder() + "out.gpkg", "");
  FUZZ_CHECK(status.Ok(), "the GeoPackage of files that were read cannot be written: " +
                              status.message);
  return 0;
}
