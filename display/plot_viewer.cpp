#include "display/plot_viewer.h"

#include <cmath>

#include "data/field_reader.h"
#include "output/number_text.h"
#include "output/results_format.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace treetri {

namespace {

struct CasePositions {
  double X_ini = 0, Y_ini = 0, X_adj = 0, Y_adj = 0;
};

// The first nine fields of a results line, read in order below.
static_assert(kFieldCase == 0 && kFieldSpecies == 4 && kFieldX_ini == 5 && kFieldY_adj == 8,
              "the layout of output/results_format.h");

// Reads the fields Case ... Y_adj of case k (the results file's line k + 1).
// False when the file is missing or short, when the line belongs to another
// case or field tree (a file of another run), or when a position is not a
// number (a case that could not be adjusted).
bool ReadCasePositions(const Tables& t, int k, CasePositions& out) {
  std::string content, error;
  if (!ReadWholeFile(t.Parameters.ResultsFileName, content, error)) return false;
  // Line k + 1, after the header and the lines of the cases before k.
  std::string line;
  bool found = false;
  ForEachLine(content, [&](std::string_view text, int number) {
    if (number <= k) return true;
    line = text;
    found = true;
    return false;
  });
  if (!found) return false;
  FieldReader in(line);
  FieldError err;
  std::int32_t caseNumber = 0, iterations = 0, plot = 0, tree = 0, species = 0;
  if (!(in.ReadInt32(caseNumber, err) && in.ReadInt32(iterations, err) &&
        in.ReadInt32(plot, err) && in.ReadInt32(tree, err) && in.ReadInt32(species, err) &&
        in.ReadReal(out.X_ini, err) && in.ReadReal(out.Y_ini, err) &&
        in.ReadReal(out.X_adj, err) && in.ReadReal(out.Y_adj, err)))
    return false;
  const TargetTree& target = t.TargetTrees[k];
  if (caseNumber != k || plot != target.Plot || tree != target.Tree) return false;
  // "-999" marks a position that the run could not compute.
  return out.X_adj != -999 && out.Y_adj != -999;
}

// The direction angle of the reversed, corrected azimuth of a ray.
double RayDirection(double azimuth, double correction) {
  // Whole turns of the correction change no direction; taking them off
  // first keeps the sum finite for every finite azimuth and correction.
  if (correction > 360 || correction < -360) correction = std::fmod(correction, 360.0);
  const double b = azimuth < 180 ? azimuth + 180 : azimuth - 180;
  double a = b + correction;
  if (b >= 360 - correction) a = b + correction - 360;
  // Keep a within 0..360 for corrections that take it outside.
  if (a < 0 || a > 360) {
    a = std::fmod(a, 360.0);
    if (a < 0) a += 360;
  }
  if (a <= 270) return (90 - a) * 0.0174532925199433;
  return 15.70796326794895 / 2 - a * (6.28318530717958 / 360);
}

}  // namespace

void List1_DblClick(const Tables& t, UserInterface& ui) {
  const int k = ui.ListSelectedIndex();
  if (k < 1) return;
  ui.SurfaceClear();
  // A line of a list that no longer matches the field trees, or a case
  // without sighted trees, has nothing to draw.
  if (k > t.TargetTreeCount || k > t.TargetTrees.Size()) return;
  const TargetTree& target = t.TargetTrees[k];
  if (target.NPA < 1 || target.NPA > kSlotCount) return;
  const int n = target.NPA;

  double minX = 1e20, minY = 1e20, maxX = -1e20, maxY = -1e20;
  for (int j = 1; j <= n; ++j) {
    minX = MinOf(target.Sighted[j].X, minX);
    minY = MinOf(target.Sighted[j].Y, minY);
    maxX = MaxOf(target.Sighted[j].X, maxX);
    maxY = MaxOf(target.Sighted[j].Y, maxY);
  }
  const double rangeX = maxX - minX + 3;
  const double rangeY = maxY - minY + 3;
  const double extent = 1.2 * MaxOf(rangeX, rangeY);
  // Map trees farther apart than a double can measure give no scale.
  if (!std::isfinite(extent)) return;
  const double SH = ui.ScaleHeight();
  const double SW = ui.ScaleWidth();
  const double scale = SW / extent;
  auto mapX = [&](double X) { return (X - minX + 3) * scale; };
  auto mapY = [&](double Y) { return (maxY - Y + 3) * scale; };

  ui.SetForeColor(kBlack);
  const double yb = SH - (extent - 1) * scale;
  ui.Line(3 * scale, yb, 6 * scale, yb);
  ui.SetFont("Arial", 12, true);
  ui.SetCurrentPosition(ui.CurrentX(), ui.CurrentY() - 10);
  ui.Print("3 m");

  for (int j = 1; j <= n; ++j) {
    const double px = mapX(target.Sighted[j].X);
    const double py = mapY(target.Sighted[j].Y);
    ui.Circle(px, py, 5);
    ui.SetForeColor(kRed);
    ui.Print(PrintedNumberText(target.SightedTree[j]));
    ui.SetForeColor(kBlack);
    const double theta = RayDirection(target.Azimuth[j], t.Parameters.AzimuthCorrection);
    ui.SetDrawWidth(1);
    ui.Line(px, py, px + std::cos(theta) * extent * scale, py - std::sin(theta) * extent * scale);
  }

  CasePositions pos;
  if (!ReadCasePositions(t, k, pos)) return;
  // Positions too far from the map trees to be mapped onto the surface.
  for (double v : {mapX(pos.X_adj), mapY(pos.Y_adj), mapX(pos.X_ini), mapY(pos.Y_ini)})
    if (!std::isfinite(v)) return;
  ui.SetFillColor(kRed);
  ui.SetFillStyle(FillStyle::Solid);
  ui.Circle(mapX(pos.X_adj), mapY(pos.Y_adj), 3, kRed);
  ui.SetFillStyle(FillStyle::Transparent);
  ui.SetForeColor(kBlue);
  ui.Circle(mapX(pos.X_ini), mapY(pos.Y_ini), 5);
}

}  // namespace treetri
