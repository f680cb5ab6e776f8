// What the plot map draws, without pixels: the quality results of a run
// case by case, and the scene of one plot built from them and the map (map
// trees, field trees coloured by verdict, 95 % confidence ellipses, the
// sighting lines of the selected case). The desktop window turns the scene
// into graphics items; tests query it directly. Map coordinates throughout:
// X east, Y north, metres; azimuths in degrees clockwise from north.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/plane_extent.h"
#include "quality/case_input.h"
#include "quality/case_quality.h"
#include "quality/legend.h"
#include "quality/map_index.h"

namespace treetri::views {

// The quality of every case of a run, kept in case order. Filled case by
// case during a run, or read back from the run's quality files.
class CaseResults {
 public:
  void Clear() {
    cases_.clear();
    legacy_.clear();
  }
  // Adds a case, or replaces the case with the same number.
  void Add(quality::CaseQuality c);
  const quality::CaseQuality* Find(int caseNumber) const;
  const std::vector<quality::CaseQuality>& Cases() const { return cases_; }
  // The position the legacy adjustment gave a case: shown for a case that
  // the quality adjustment could not position.
  void SetLegacyPosition(int caseNumber, double x, double y) { legacy_[caseNumber] = {x, y}; }
  const std::array<double, 2>* LegacyPosition(int caseNumber) const;
  // Case numbers of the cases of a plot, in case order.
  std::vector<int> CasesOfPlot(int plot) const;

  // Reads "quality.csv" and "observations.csv" as one unit
  // (quality::ReadQualityRun). False, with a message naming the file and the
  // line, when a file cannot be read, is empty, has another header or a line
  // that does not parse, gives a case twice or names a case that quality.csv
  // lacks; the results are then left empty. A last case cut short by a
  // stopped run is left out, with a warning in `warnings`.
  bool Load(const std::string& qualityPath, const std::string& observationsPath,
            std::string& error, std::vector<std::string>* warnings = nullptr);

 private:
  quality::CaseQuality* At(int caseNumber);
  std::vector<quality::CaseQuality> cases_;
  std::unordered_map<int, std::array<double, 2>> legacy_;
};

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};

// Colours of the verdicts, and of |w| on a scale from green (0) over amber
// to red (the critical value and above); grey where w does not exist. The
// legend's colours are defined in quality/legend.h, which the GeoPackage's
// styles share.
Colour VerdictColour(quality::Verdict v);
Colour WColour(std::optional<double> absW);
// The plot network's confusable marks.
Colour ConfusableColour();
// |w| from which a sighting line is drawn in the warning colour.
inline constexpr double kWarningW = quality::kWarningW;

// The observations of a sighting as the line style shows them.
enum class SightingStyle { AzimuthOnly, DistanceOnly, Both };
const char* SightingStyleLabel(SightingStyle s);

struct FieldTreeMark {
  int caseNumber = 0;
  int tree = 0;
  double x = 0, y = 0;  // the rigorous position, or the legacy one (below)
  quality::Verdict verdict = quality::Verdict::Ok;
  bool atLegacyPosition = false;
  int confusable = 0;  // its sightings marked confusable (plot network)
};

// A 95 % confidence ellipse: semi-axes in metres, azimuth of the major axis,
// and the verdict of its case (its colour).
struct EllipseMark {
  int caseNumber = 0;
  double x = 0, y = 0;
  double a = 0, b = 0, azimuth = 0;
  quality::Verdict verdict = quality::Verdict::Ok;
};

struct SightingLine {
  int slot = 0;
  int tree = 0;  // the sighted map tree
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // field tree to map tree
  SightingStyle style = SightingStyle::Both;
  std::optional<double> absW;  // the largest |w| of its field observations
  bool suspect = false;
  bool leftOut = false;  // not in the adjustment (the suspect sighting of a case
                         // adjusted without it)
  // Plot network: a map tree a confusion with could not be seen, and the
  // sighting's smallest detectable displacement (metres).
  std::optional<int> confusableTree;
  std::optional<double> confusableDistance;
};

struct PlotScene {
  int plot = 0;
  int selectedCase = 0;  // 0: none
  std::vector<quality::MapTree> mapTrees;
  std::vector<FieldTreeMark> fieldTrees;  // the positioned cases of the plot
  std::vector<EllipseMark> ellipses;
  std::vector<SightingLine> lines;        // of the selected case
  std::optional<quality::MapTree> suggested;   // the replacement tree suggested for it
  std::vector<quality::MapTree> confusable;    // the trees its sightings may be confused with
  bool network = false;  // a case of the plot was assessed by the plot network
  PlaneExtent plotBox;  // every mark of the plot but the far-off map trees
  PlaneExtent caseBox;  // the selected field tree, its ellipse and its sighted trees
  // Map trees farther than kFarOffFactor times the plot's spread from its
  // middle (a typing error such as X = 340000000.0): drawn, but left out of
  // plotBox so that "Fit plot" frames the rest.
  std::vector<quality::MapTree> farOff;
};

// A map tree beyond this many times the median distance of the plot's map
// trees from their median position is far off (the spread is taken as at
// least 1 m).
inline constexpr double kFarOffFactor = 10.0;

// The note for the status line about the far-off map trees of a scene, or
// "" when there are none: "Map tree 7 (X 340000000.00, Y 6900000.00) lies
// far from the rest of plot 1 and is left out of Fit plot."
std::string FarOffNote(const PlotScene& scene);

// A text field as a panel or table shows it: at most maxBytes bytes (cut at
// a character boundary, never inside a UTF-8 sequence) followed by
// " ... (N characters in all)" when cut, so a field of any length costs the
// same to lay out.
inline constexpr size_t kShownTextBytes = 400;
std::string ShownText(const std::string& text, size_t maxBytes = kShownTextBytes);

// The scene of the plot of case selectedCase (of the plot given when that
// case is not among the results).
PlotScene BuildPlotScene(const quality::PlotMaps& maps, const CaseResults& results,
                         int selectedCase, int plot = 0);

// The case of a plot whose field tree lies nearest to (x, y) within radius
// metres, or 0.
int CaseNear(const PlotScene& scene, double x, double y, double radius);

// A length for a scale bar of at most maxLength metres: 1, 2 or 5 times a
// power of ten.
double ScaleBarLength(double maxLength);

}  // namespace treetri::views
