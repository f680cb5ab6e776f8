#include "tools/simulation.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <system_error>

#include "data/parameter_file.h"
#include "platform/files.h"
#include "tools/position_stats.h"
#include "tools/rng.h"
#include "tools/text_format.h"
#include "data/angles.h"

namespace treetri::tools {

namespace {

constexpr double kMapSpacing = 2.0;    // least distance between two map trees
constexpr double kFieldSpacing = 1.0;  // least distance of a field tree to any tree
constexpr int kPlacementTries = 20000;
const char* const kEol = "\r\n";

double Round(double v, int decimals) {
  const double f = std::pow(10.0, decimals);
  return std::round(v * f) / f;
}

// Wraps into [0, 360) after rounding to 0.1 degree (359.96 becomes 0.0).
double WrapRoundAzimuth(double a) {
  a = std::fmod(a, 360.0);
  if (a < 0) a += 360.0;
  a = Round(a, 1);
  if (a >= 360.0) a -= 360.0;
  return a;
}

int DrawSpecies(Rng& rng) {
  const double u = rng.Uniform();
  return u < 0.5 ? 1 : (u < 0.8 ? 2 : 3);  // pine, spruce, birch
}

const char* SpeciesName(int s) {
  switch (s) {
    case 1: return "pine";
    case 2: return "spruce";
    default: return "birch";
  }
}

struct Point {
  double x, y;
};

// A point uniform in the disc, at least `spacing` from every point of
// `others`. After kPlacementTries misses the last draw is taken as it is.
Point PlaceTree(Rng& rng, double cx, double cy, double radius, double spacing,
                const std::vector<Point>& others) {
  Point p{cx, cy};
  for (int attempt = 0; attempt < kPlacementTries; ++attempt) {
    const double r = radius * std::sqrt(rng.Uniform());
    const double a = 2.0 * kFullPi * rng.Uniform();
    p = Point{Round(cx + r * std::cos(a), 3), Round(cy + r * std::sin(a), 3)};
    bool free = true;
    for (const Point& o : others)
      if (std::hypot(o.x - p.x, o.y - p.y) < spacing) {
        free = false;
        break;
      }
    if (free) break;
  }
  return p;
}

// Indices into `map` of the map trees of plot `first..last`, nearest to
// (x, y) first (ties broken by index, so the order is fixed).
std::vector<int> NearestMapTrees(const std::vector<MapTree>& map, int first, int last, double x,
                                 double y) {
  std::vector<int> idx(static_cast<size_t>(last - first));
  std::iota(idx.begin(), idx.end(), first);
  std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) {
    const double da = std::hypot(map[a].trueX - x, map[a].trueY - y);
    const double db = std::hypot(map[b].trueX - x, map[b].trueY - y);
    return da < db;
  });
  return idx;
}

// A measurement from the field tree to map tree `m` with the option's errors.
SimulatedSighting Measure(Rng& rng, const SimulationOptions& o, const FieldTree& f,
                          const std::vector<MapTree>& map, int m) {
  SimulatedSighting s;
  s.tree = map[m].tree;
  s.measuredIndex = m;
  const double d = std::hypot(map[m].trueX - f.trueX, map[m].trueY - f.trueY);
  const double az = AzimuthDegrees(f.trueX, f.trueY, map[m].trueX, map[m].trueY);
  s.distance = Round(std::max(0.01, d + rng.Normal(0.0, o.distanceError)), 2);
  s.azimuth = WrapRoundAzimuth(az + rng.Normal(0.0, o.azimuthErrorDeg));
  return s;
}

double TrueDistance(const MapTree& a, const MapTree& b) {
  return std::hypot(a.trueX - b.trueX, a.trueY - b.trueY);
}

// The trees of a realistic stand: n points in the disc around (cx, cy) that
// holds n trees at the stand's density, at least `spacing` apart (after
// kPlacementTries misses a draw is taken as it is), in random order.
std::vector<Point> DrawStand(Rng& rng, const StandOptions& s, double cx, double cy, int n) {
  const double radius = std::sqrt(n / (s.density / 10000.0) / kFullPi);
  std::vector<Point> out;
  auto free = [&](const Point& p) {
    if (std::hypot(p.x - cx, p.y - cy) > radius) return false;
    for (const Point& o : out)
      if (std::hypot(o.x - p.x, o.y - p.y) < s.spacing) return false;
    return true;
  };
  auto inDisc = [&](double r) {
    const double rr = r * std::sqrt(rng.Uniform());
    const double a = 2.0 * kFullPi * rng.Uniform();
    return Point{rr * std::cos(a), rr * std::sin(a)};
  };
  if (s.pattern == StandPattern::Regular) {
    // A square grid turned by a random angle, a few more points than
    // needed, each moved by up to 15 % of the grid step; n of them at random.
    const double step = std::sqrt(kFullPi * radius * radius / (1.15 * n));
    const double turn = kFullPi / 2 * rng.Uniform();
    std::vector<Point> grid;
    const int k = static_cast<int>(radius / step) + 2;
    for (int i = -k; i <= k; ++i)
      for (int j = -k; j <= k; ++j) {
        const double gx = i * step + step * rng.Uniform(-0.15, 0.15);
        const double gy = j * step + step * rng.Uniform(-0.15, 0.15);
        const Point p{cx + gx * std::cos(turn) - gy * std::sin(turn),
                      cy + gx * std::sin(turn) + gy * std::cos(turn)};
        if (std::hypot(p.x - cx, p.y - cy) <= radius) grid.push_back(p);
      }
    for (size_t i = grid.size(); i > 1; --i)
      std::swap(grid[i - 1], grid[static_cast<size_t>(rng.UniformInt(0, static_cast<int>(i) - 1))]);
    for (const Point& p : grid) {
      if (static_cast<int>(out.size()) == n) break;
      out.push_back(Point{Round(p.x, 3), Round(p.y, 3)});
    }
  }
  // Groups of about six trees within 4 m of a centre, or single trees.
  std::vector<Point> centres;
  if (s.pattern == StandPattern::Clustered)
    for (int c = 0; c < std::max(1, n / 6); ++c) centres.push_back(inDisc(radius));
  while (static_cast<int>(out.size()) < n) {
    Point p{cx, cy};
    for (int attempt = 0; attempt < kPlacementTries; ++attempt) {
      Point q = inDisc(centres.empty() ? radius : 4.0);
      if (!centres.empty()) {
        const Point& c = centres[static_cast<size_t>(rng.UniformInt(0, (int)centres.size() - 1))];
        q.x += c.x;
        q.y += c.y;
      }
      p = Point{Round(cx + q.x, 3), Round(cy + q.y, 3)};
      if (free(p)) break;
    }
    out.push_back(p);
  }
  return out;
}

// The tree number that a digit slip makes of `tree`: one digit changed or
// two neighbouring digits swapped; 0 when none of these is in `numbers`.
int DigitSlip(Rng& rng, int tree, const std::vector<int>& numbers) {
  const std::string digits = std::to_string(tree);
  std::vector<int> slips;
  auto consider = [&](const std::string& t) {
    if (t.empty() || t[0] == '0') return;
    const int v = std::stoi(t);
    if (v != tree && std::find(numbers.begin(), numbers.end(), v) != numbers.end() &&
        std::find(slips.begin(), slips.end(), v) == slips.end())
      slips.push_back(v);
  };
  for (size_t i = 0; i < digits.size(); ++i) {
    for (char c = '0'; c <= '9'; ++c) {
      std::string t = digits;
      t[i] = c;
      consider(t);
    }
    if (i + 1 < digits.size()) {
      std::string t = digits;
      std::swap(t[i], t[i + 1]);
      consider(t);
    }
  }
  return slips.empty() ? 0 : slips[static_cast<size_t>(rng.UniformInt(0, (int)slips.size() - 1))];
}

// A distance in cm with two neighbouring digits swapped (7.26 m: 7.62 or
// 2.76 m; never a leading zero); the distance itself when no swap changes it.
double SwapDigits(Rng& rng, double distance) {
  const std::string cm = std::to_string(static_cast<long long>(std::llround(distance * 100)));
  std::vector<std::string> swapped;
  for (size_t i = 0; i + 1 < cm.size(); ++i)
    if (cm[i] != cm[i + 1] && !(i == 0 && cm[1] == '0')) {
      std::string t = cm;
      std::swap(t[i], t[i + 1]);
      swapped.push_back(t);
    }
  if (swapped.empty()) return distance;
  return std::stod(swapped[static_cast<size_t>(rng.UniformInt(0, (int)swapped.size() - 1))]) / 100;
}

// The planted gross errors, from their own generator. `mapStart` holds where
// each plot's map trees start in d.map, and the end of the last plot.
void PlantErrors(std::uint64_t seed, const PlantingOptions& p, const std::vector<int>& mapStart,
                 SimulatedData& d) {
  Rng rng(SplitMix64(seed ^ 0x706c616e746564ULL).Next());
  auto between = [&](double lo, double hi) { return rng.Uniform(lo, hi); };
  auto sign = [&] { return rng.Chance(0.5) ? 1.0 : -1.0; };

  // Displaced map trees; the remeasured tree keeps its place, since the run
  // may take either of its records.
  for (int m = 0; m < mapStart.back(); ++m) {
    MapTree& t = d.map[m];
    if (t.plot == d.summary.duplicatedPlot && t.tree == d.summary.duplicatedTree) continue;
    if (!rng.Chance(p.mapShift)) continue;
    const double size = between(p.mapShiftSize[0], p.mapShiftSize[1]);
    const double direction = 2.0 * kFullPi * rng.Uniform();
    const double x = Round(t.mapX + size * std::sin(direction), 2);
    const double y = Round(t.mapY + size * std::cos(direction), 2);
    t.shift = std::max(0.001, std::hypot(x - t.mapX, y - t.mapY));
    t.mapX = x;
    t.mapY = y;
  }

  for (FieldTree& f : d.fieldTrees) {
    const int first = mapStart[f.plot - 1], last = mapStart[f.plot];
    for (SimulatedSighting& s : f.slots) {
      if (s.kind != SlotKind::Good) continue;
      if (rng.Chance(p.wrongTree)) {
        // A map tree of the plot near the measured one that the field tree
        // does not sight: one within the radius, else the nearest.
        const MapTree& measured = d.map[s.measuredIndex];
        std::vector<int> near;
        int nearest = -1;
        for (int m = first; m < last; ++m) {
          bool sighted = false;
          for (const SimulatedSighting& other : f.slots)
            sighted = sighted || other.tree == d.map[m].tree ||
                      d.map[other.measuredIndex].tree == d.map[m].tree;
          if (sighted) continue;
          const double gap = TrueDistance(d.map[m], measured);
          if (gap <= p.wrongTreeRadius) near.push_back(m);
          if (nearest < 0 || gap < TrueDistance(d.map[nearest], measured)) nearest = m;
        }
        int m = -1;
        if (!p.crewErrors) {
          m = near.empty() ? nearest : near[rng.UniformInt(0, (int)near.size() - 1)];
        } else {
          // The nearest unsighted tree, or a digit slip of the right number
          // (the nearest when no slip is on the map).
          m = nearest;
          if (!rng.Chance(p.nearestShare)) {
            std::vector<int> numbers;
            for (int k = first; k < last; ++k) {
              bool sighted = false;
              for (const SimulatedSighting& other : f.slots)
                sighted = sighted || other.tree == d.map[k].tree;
              if (!sighted) numbers.push_back(d.map[k].tree);
            }
            const int slip = DigitSlip(rng, measured.tree, numbers);
            for (int k = first; k < last && slip > 0; ++k)
              if (d.map[k].tree == slip) {
                m = k;
                s.form = BlunderForm::DigitSlip;
              }
          }
        }
        if (m < 0) continue;  // the field tree sights every tree of the plot
        s.tree = d.map[m].tree;
        s.kind = SlotKind::WrongTree;
        s.shift = TrueDistance(d.map[m], measured);
      } else if (s.azimuth > -1 && rng.Chance(p.azimuth)) {
        if (p.crewErrors && rng.Chance(p.flipShare)) {
          s.shift = 180;
          s.form = BlunderForm::Flip;
        } else {
          s.shift = sign() * between(p.azimuthSize[0], p.azimuthSize[1]);
        }
        s.azimuth = WrapRoundAzimuth(s.azimuth + s.shift);
        s.kind = SlotKind::GrossAzimuth;
      } else if (s.distance > -1 && rng.Chance(p.distance)) {
        // Either sign, but the distance stays positive.
        double shift = 0;
        if (!p.crewErrors) {
          shift = sign() * between(p.distanceSize[0], p.distanceSize[1]);
        } else if (rng.Chance(p.slopeShare)) {
          const double slope = between(p.slopeDeg[0], p.slopeDeg[1]) * kFullPi / 180;
          shift = s.distance / std::cos(slope) - s.distance;
          s.form = BlunderForm::Slope;
        } else {
          shift = SwapDigits(rng, s.distance) - s.distance;
          s.form = BlunderForm::SwappedDigits;
        }
        if (s.distance + shift < 0.1) shift = -shift;
        const double blundered = Round(s.distance + shift, 2);
        s.shift = Round(blundered - s.distance, 2);
        s.distance = blundered;
        s.kind = SlotKind::GrossDistance;
        if (s.shift == 0) {  // a swap of equal digits changes nothing
          s.kind = SlotKind::Good;
          s.form = BlunderForm::Plain;
        }
      }
    }
  }

  // A compass bias on every azimuth of a share of the plots, after all else.
  if (p.compassBias > 0)
    for (SimulatedPlot& plot : d.plots) {
      if (!rng.Chance(p.compassBias)) continue;
      plot.compassBias = Round(sign() * between(p.compassBiasSize[0], p.compassBiasSize[1]), 1);
      for (FieldTree& f : d.fieldTrees)
        if (f.plot == plot.plot)
          for (SimulatedSighting& s : f.slots)
            if (s.azimuth > -1) s.azimuth = WrapRoundAzimuth(s.azimuth + plot.compassBias);
    }
}

}  // namespace

bool ParseStandPattern(const std::string& word, StandPattern& pattern) {
  if (word == "uniform") pattern = StandPattern::Uniform;
  else if (word == "clustered") pattern = StandPattern::Clustered;
  else if (word == "regular") pattern = StandPattern::Regular;
  else return false;
  return true;
}

void SimulationOptions::MakeRealistic(bool young) {
  stand.realistic = true;
  stand.pattern = young ? StandPattern::Clustered : StandPattern::Regular;
  stand.density = young ? 2500 : 600;
  stand.spacing = young ? 0.7 : 1.5;
  mapError = 0.5;
  missingShare = 0.03;
  grossAzimuthShare = 0;
  wrongTreeShare = 0;
  planting.crewErrors = true;
  planting.wrongTree = 0.03;
  planting.azimuth = 0.02;
  planting.distance = 0.02;
  planting.mapShift = 0.03;
  planting.azimuthSize[0] = 10;
  planting.azimuthSize[1] = 40;
  planting.mapShiftSize[0] = 1.5;
  planting.mapShiftSize[1] = 4;
  planting.compassBias = 0.5;
  anomalies = false;
}

void SimulationOptions::MakeClean() {
  mapError = 0;
  distanceError = 0;
  azimuthErrorDeg = 0;
  missingShare = 0;
  grossAzimuthShare = 0;
  wrongTreeShare = 0;
  anomalies = false;
}

std::string CheckOptions(const SimulationOptions& o) {
  if (o.plots < 1 || o.plots > kMaxSimulatedPlots)
    return "the number of plots must lie in 1.." + std::to_string(kMaxSimulatedPlots);
  const int cases = o.TotalCases();
  if (cases < 1 || cases > kMaxSimulatedCases)
    return "the number of field trees must lie in 1.." + std::to_string(kMaxSimulatedCases);
  if ((cases + o.plots - 1) / o.plots > kMaxCasesPerPlot)
    return "at most " + std::to_string(kMaxCasesPerPlot) +
           " field trees fit in one plot; use more plots";
  if (o.minMapTrees < kMaxSightings + 1 || o.maxMapTrees < o.minMapTrees || o.maxMapTrees > 60)
    return "the map trees per plot must lie in 6..60";
  if (!(o.plotRadius >= 10 && o.plotRadius <= 100)) return "the plot radius must lie in 10..100 m";
  if (!(o.plotSpacing >= 2 * o.plotRadius)) return "the plots must not overlap";
  for (double v : {o.originX, o.originY})
    if (!std::isfinite(v) || std::fabs(v) > 1e8) return "the origin must be finite map coordinates";
  for (double v : {o.mapError, o.distanceError, o.azimuthErrorDeg})
    if (!(v >= 0 && v <= 10)) return "the standard errors must lie in 0..10";
  for (double v : {o.missingShare, o.grossAzimuthShare, o.wrongTreeShare})
    if (!(v >= 0 && v <= 0.5)) return "the shares of missing and gross errors must lie in 0..0.5";
  const PlantingOptions& p = o.planting;
  for (double v : {p.wrongTree, p.azimuth, p.distance, p.mapShift})
    if (!(v >= 0 && v <= 0.5)) return "the rates of planted errors must lie in 0..0.5";
  for (double v : {p.nearestShare, p.flipShare, p.slopeShare, p.compassBias})
    if (!(v >= 0 && v <= 1)) return "the shares of the crews' forms must lie in 0..1";
  if (!(p.slopeDeg[0] >= 0 && p.slopeDeg[0] <= p.slopeDeg[1] && p.slopeDeg[1] <= 60))
    return "the slope must run from its least to its largest value within 0..60 degrees";
  if (!(p.compassBiasSize[0] >= 0 && p.compassBiasSize[0] <= p.compassBiasSize[1] &&
        p.compassBiasSize[1] <= 30))
    return "the compass bias must run from its least to its largest value within 0..30 degrees";
  if (o.stand.realistic) {
    if (!(o.stand.density >= 50 && o.stand.density <= 20000))
      return "the stand density must lie in 50..20000 trees per hectare";
    if (!(o.stand.spacing >= 0.1 && o.stand.spacing <= 5))
      return "the least tree spacing must lie in 0.1..5 m";
    // The largest stand disc must leave the plots apart.
    const double trees = o.maxMapTrees + (cases + o.plots - 1) / o.plots;
    if (!(std::sqrt(trees / (o.stand.density / 10000.0) / kFullPi) <= o.plotSpacing / 2))
      return "the stands would overlap: raise the density or lower the number of trees";
  }
  if (!(p.wrongTreeRadius >= 0 && p.wrongTreeRadius <= 100))
    return "the wrong-tree radius must lie in 0..100 m";
  const double sizes[][3] = {{p.azimuthSize[0], p.azimuthSize[1], 180},
                             {p.distanceSize[0], p.distanceSize[1], 100},
                             {p.mapShiftSize[0], p.mapShiftSize[1], 100}};
  for (const auto& size : sizes)
    if (!(size[0] >= 0 && size[0] <= size[1] && size[1] <= size[2]))
      return "a blunder size range must run from its least to its largest value, within "
             "0..180 degrees or 0..100 m";
  if (o.resultsFileName.empty() || o.resultsFileName.find_first_of(",\"\r\n") != std::string::npos)
    return "the results file name must be non-empty and hold no comma, quote or line end";
  return {};
}

double AzimuthDegrees(double x1, double y1, double x2, double y2) {
  double a = std::atan2(x2 - x1, y2 - y1) * 180.0 / kFullPi;
  if (a < 0) a += 360.0;
  if (a >= 360.0) a -= 360.0;
  return a;
}

SimulatedData SimulatePlots(const SimulationOptions& o) {
  SimulatedData d;
  d.options = o;
  Rng rng(o.seed);
  const int cases = o.TotalCases();
  const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(o.plots))));

  // Where each plot's map trees start in d.map (plus one end marker).
  std::vector<int> mapStart;
  for (int p = 1; p <= o.plots; ++p) {
    SimulatedPlot plot;
    plot.plot = p;
    plot.centreX = o.originX + o.plotSpacing * ((p - 1) % columns);
    plot.centreY = o.originY + o.plotSpacing * ((p - 1) / columns);
    plot.mapTrees = rng.UniformInt(o.minMapTrees, o.maxMapTrees);
    // Plots 1 and 2 differ in size, so that a tree number of the larger one
    // is missing from the smaller one.
    if (p == 2 && plot.mapTrees == d.plots[0].mapTrees)
      plot.mapTrees += plot.mapTrees < o.maxMapTrees ? 1 : -1;
    if (o.minMapTrees == o.maxMapTrees) plot.mapTrees = o.minMapTrees;
    d.plots.push_back(plot);

    const double terrain = 80.0 + 40.0 * rng.Uniform();
    std::vector<Point> placed;
    mapStart.push_back(static_cast<int>(d.map.size()));
    const int fieldTrees = cases / o.plots + (p <= cases % o.plots ? 1 : 0);
    // A realistic stand is drawn whole: the map trees first, then the
    // field trees.
    std::vector<Point> stand;
    if (o.stand.realistic)
      stand = DrawStand(rng, o.stand, plot.centreX, plot.centreY, plot.mapTrees + fieldTrees);
    for (int t = 1; t <= plot.mapTrees; ++t) {
      const Point at = o.stand.realistic ? stand[static_cast<size_t>(t - 1)]
                                         : PlaceTree(rng, plot.centreX, plot.centreY,
                                                     o.plotRadius, kMapSpacing, placed);
      placed.push_back(at);
      MapTree m;
      m.plot = p;
      m.tree = t;
      m.species = DrawSpecies(rng);
      m.trueX = at.x;
      m.trueY = at.y;
      m.mapX = Round(at.x + rng.Normal(0.0, o.mapError), 2);
      m.mapY = Round(at.y + rng.Normal(0.0, o.mapError), 2);
      m.height = Round(rng.Uniform(12.0, 28.0), 1);
      m.crownDiameter = Round(0.25 * m.height + rng.Uniform(-0.5, 0.5), 1);
      m.dbh = Round(1.1 * m.height + rng.Normal(0.0, 2.0), 0);
      m.z = Round(terrain + m.height, 2);
      d.map.push_back(m);
    }
    const int first = mapStart.back();
    const int last = static_cast<int>(d.map.size());

    for (int k = 0; k < fieldTrees; ++k) {
      FieldTree f;
      f.plot = p;
      f.tree = kFirstFieldTreeNumber + k;
      f.species = DrawSpecies(rng);
      const Point at = o.stand.realistic
                           ? stand[static_cast<size_t>(plot.mapTrees + k)]
                           : PlaceTree(rng, plot.centreX, plot.centreY, o.plotRadius,
                                       kFieldSpacing, placed);
      placed.push_back(at);
      f.trueX = at.x;
      f.trueY = at.y;

      const int npa = rng.UniformInt(2, kMaxSightings);
      const std::vector<int> nearest = NearestMapTrees(d.map, first, last, f.trueX, f.trueY);
      for (int j = 0; j < npa; ++j) f.slots.push_back(Measure(rng, o, f, d.map, nearest[j]));

      // Missing quantities, never both of a slot; one slot keeps both.
      std::vector<SimulatedSighting> full = f.slots;
      bool anyFull = false;
      for (auto& s : f.slots) {
        if (rng.Chance(o.missingShare))
          s.distance = -1;
        else if (rng.Chance(o.missingShare))
          s.azimuth = -1;
        anyFull = anyFull || (s.distance > -1 && s.azimuth > -1);
      }
      if (!anyFull) f.slots[0] = full[0];

      // At most one gross error per field tree.
      const double u = rng.Uniform();
      if (u < o.grossAzimuthShare) {
        std::vector<int> withAzimuth;
        for (int j = 0; j < npa; ++j)
          if (f.slots[j].azimuth > -1) withAzimuth.push_back(j);
        SimulatedSighting& s = f.slots[withAzimuth[rng.UniformInt(0, (int)withAzimuth.size() - 1)]];
        const double off = rng.Uniform(20.0, 90.0) * (rng.Chance(0.5) ? 1.0 : -1.0);
        s.azimuth = WrapRoundAzimuth(s.azimuth + off);
        s.kind = SlotKind::GrossAzimuth;
        s.shift = off;
      } else if (u < o.grossAzimuthShare + o.wrongTreeShare) {
        SimulatedSighting& s = f.slots[rng.UniformInt(0, npa - 1)];
        // Another tree of the plot that this field tree does not sight.
        for (;;) {
          const int m = rng.UniformInt(first, last - 1);
          bool sighted = false;
          for (const auto& other : f.slots) sighted = sighted || other.tree == d.map[m].tree;
          if (!sighted) {
            s.tree = d.map[m].tree;
            s.shift = TrueDistance(d.map[m], d.map[s.measuredIndex]);
            break;
          }
        }
        s.kind = SlotKind::WrongTree;
      }
      d.fieldTrees.push_back(f);
    }
  }
  mapStart.push_back(static_cast<int>(d.map.size()));

  if (o.anomalies) {
    // A remeasured map tree at the end of the map: the one that the first
    // field tree of plot 1 sights first, else tree 1 of plot 1.
    int m = 0;
    for (const FieldTree& f : d.fieldTrees)
      if (f.plot == 1) {
        m = f.slots[0].measuredIndex;
        break;
      }
    MapTree again = d.map[m];
    again.mapX = Round(again.trueX + rng.Normal(0.0, o.mapError), 2);
    again.mapY = Round(again.trueY + rng.Normal(0.0, o.mapError), 2);
    again.code = 2;
    d.map.push_back(again);
    d.summary.duplicatedPlot = again.plot;
    d.summary.duplicatedTree = again.tree;

    // A sighting numbered with a tree that only a larger plot has.
    for (FieldTree& f : d.fieldTrees) {
      const SimulatedPlot& own = d.plots[f.plot - 1];
      int foreignNumber = 0;
      for (const SimulatedPlot& other : d.plots)
        if (other.mapTrees > own.mapTrees) foreignNumber = std::max(foreignNumber, other.mapTrees);
      if (foreignNumber == 0) continue;
      const std::vector<int> nearest = NearestMapTrees(
          d.map, mapStart[f.plot - 1], mapStart[f.plot], f.trueX, f.trueY);
      const int slot = std::min(static_cast<int>(f.slots.size()), kMaxSightings - 1);
      SimulatedSighting s = Measure(rng, o, f, d.map, nearest[slot]);
      s.tree = foreignNumber;
      s.kind = SlotKind::ForeignTree;
      if (slot < static_cast<int>(f.slots.size()))
        f.slots[slot] = s;
      else
        f.slots.push_back(s);
      break;
    }
  }

  if (o.planting.Any()) PlantErrors(o.seed, o.planting, mapStart, d);

  SimulationSummary& sum = d.summary;
  sum.mapRecords = static_cast<int>(d.map.size());
  sum.fieldTrees = static_cast<int>(d.fieldTrees.size());
  for (const FieldTree& f : d.fieldTrees)
    for (const SimulatedSighting& s : f.slots) {
      ++sum.slots;
      sum.missingDistances += s.distance <= -1;
      sum.missingAzimuths += s.azimuth <= -1;
      sum.grossAzimuths += s.kind == SlotKind::GrossAzimuth;
      sum.grossDistances += s.kind == SlotKind::GrossDistance;
      sum.wrongTrees += s.kind == SlotKind::WrongTree;
      sum.foreignTrees += s.kind == SlotKind::ForeignTree;
    }
  for (const MapTree& m : d.map) sum.shiftedMapTrees += m.shift > 0;
  return d;
}

std::string MapFileText(const SimulatedData& d) {
  std::string out;
  for (const MapTree& m : d.map) {
    std::string note = std::string(SpeciesName(m.species)) + ", " + Fixed(m.height, 1) + " m";
    if (m.code == 2) note += ", remeasured";
    out += std::to_string(m.plot) + "," + std::to_string(m.tree) + "," +
           std::to_string(m.species) + "," + Fixed(m.mapX, 2) + "," + Fixed(m.mapY, 2) + "," +
           Fixed(m.z, 2) + "," + Fixed(m.height, 1) + "," + Fixed(m.crownDiameter, 1) + "," +
           Fixed(m.dbh, 0) + ",0," + std::to_string(400 + m.plot) + ",0,0,AER,0,\"" + note +
           "\"," + std::to_string(m.code) + kEol;
  }
  return out;
}

std::string SightingFileText(const SimulatedData& d) {
  auto quantity = [](double v, int decimals) { return v <= -1 ? std::string("-1") : Fixed(v, decimals); };
  std::string out;
  for (const FieldTree& f : d.fieldTrees) {
    out += std::to_string(f.plot) + "," + std::to_string(f.tree) + "," +
           std::to_string(f.species) + "," + std::to_string(f.slots.size());
    for (int j = 0; j < kMaxSightings; ++j) {
      if (j < static_cast<int>(f.slots.size())) {
        const SimulatedSighting& s = f.slots[j];
        out += "," + std::to_string(s.tree) + "," + quantity(s.distance, 2) + "," +
               quantity(s.azimuth, 1);
      } else {
        out += ",0,-1,-1";
      }
    }
    out += kEol;
  }
  return out;
}

std::string ParameterFileText(const SimulatedData& d) {
  const SimulationOptions& o = d.options;
  const double degree = 0.0174532925199433;
  // Standard errors of the adjustment: those of the simulation, with a floor
  // so that error-free data still gives a usable weighting.
  const double sigmaMap = std::max(o.mapError, 0.01);
  const double sigmaDistance = std::max(o.distanceError, 0.01);
  const double sigmaAzimuth = std::max(o.azimuthErrorDeg, 0.05) * degree;
  const int rows = std::min(static_cast<int>(d.plots.size()), 4);
  ParameterFileTexts t = DefaultParameterTexts();
  const std::string values[] = {
      o.resultsFileName, std::to_string(o.plots), "0",
      Fixed(o.originX, 2) + ", " + Fixed(o.originY, 2),
      Fixed(sigmaMap, 3) + ", " + Fixed(sigmaMap, 3), std::to_string(rows), "",
      "treetri-simulate", Fixed(o.plotRadius, 1), std::to_string(o.minMapTrees),
      std::to_string(o.maxMapTrees), Fixed(o.mapError, 3), std::to_string(o.seed),
      Fixed(o.missingShare, 3), Fixed(sigmaDistance, 3), Fixed(o.azimuthErrorDeg, 3),
      Fixed(sigmaAzimuth, 10), o.grossAzimuthShare > 0 || o.wrongTreeShare > 0 ? "1" : "0"};
  for (size_t k = 0; k < t.values.size(); ++k) t.values[k] = values[k];
  for (int i = 0; i < rows; ++i)
    t.blockRows.push_back(Fixed(d.plots[i].centreX, 2) + ", " + Fixed(d.plots[i].centreY, 2));
  return ParameterFileText(t);
}

std::string TruthFileText(const SimulatedData& d) {
  std::string out = std::string(kTruthHeader) + kEol;
  for (const FieldTree& f : d.fieldTrees)
    out += std::to_string(f.plot) + "," + std::to_string(f.tree) + "," + Fixed(f.trueX, 3) + "," +
           Fixed(f.trueY, 3) + kEol;
  return out;
}

std::vector<PlantedError> PlantedErrors(const SimulatedData& d) {
  // The map record of each (plot, tree) that the run finds first.
  auto onMap = [&](int plot, int tree) -> const MapTree* {
    for (const MapTree& m : d.map)
      if (m.plot == plot && m.tree == tree) return &m;
    return nullptr;
  };
  std::vector<PlantedError> out;
  for (const SimulatedPlot& plot : d.plots)
    if (plot.compassBias != 0) {
      PlantedError e;
      e.plot = plot.plot;
      e.kind = PlantedKind::CompassBias;
      e.shift = plot.compassBias;
      out.push_back(e);
    }
  for (const FieldTree& f : d.fieldTrees)
    for (size_t j = 0; j < f.slots.size(); ++j) {
      const SimulatedSighting& s = f.slots[j];
      PlantedError e;
      e.plot = f.plot;
      e.tree = f.tree;
      e.slot = static_cast<int>(j) + 1;
      e.trueTree = d.map[s.measuredIndex].tree;
      e.plantedTree = s.tree;
      e.shift = s.shift;
      const MapTree* named = onMap(f.plot, s.tree);
      e.onMap = named != nullptr;
      switch (s.kind) {
        case SlotKind::Good: break;
        case SlotKind::GrossAzimuth:
          e.kind = s.form == BlunderForm::Flip ? PlantedKind::AzimuthFlip : PlantedKind::Azimuth;
          break;
        case SlotKind::GrossDistance:
          e.kind = s.form == BlunderForm::Slope           ? PlantedKind::SlopeDistance
                   : s.form == BlunderForm::SwappedDigits ? PlantedKind::SwappedDigits
                                                          : PlantedKind::Distance;
          break;
        case SlotKind::WrongTree:
          e.kind = s.form == BlunderForm::DigitSlip ? PlantedKind::DigitSlip
                                                    : PlantedKind::WrongTree;
          break;
        case SlotKind::ForeignTree: e.kind = PlantedKind::Missing; break;
      }
      if (s.kind != SlotKind::Good) out.push_back(e);
      if (named != nullptr && named->shift > 0) {
        e.kind = PlantedKind::MapShift;
        e.trueTree = s.tree;
        e.shift = named->shift;
        out.push_back(e);
      }
    }
  return out;
}

std::vector<quality::CaseInput> QualityInputs(const SimulatedData& d) {
  const SimulationOptions& o = d.options;
  std::map<int, std::vector<quality::MapTree>> maps;
  std::map<std::pair<int, int>, size_t> where;
  for (const MapTree& m : d.map) {
    auto [it, added] = where.emplace(std::pair{m.plot, m.tree}, maps[m.plot].size());
    if (added) maps[m.plot].push_back({m.tree, m.mapX, m.mapY});
    else maps[m.plot][it->second] = {m.tree, m.mapX, m.mapY};
  }
  std::map<int, std::shared_ptr<const quality::PlotIndex>> indices;
  for (const auto& [plot, trees] : maps)
    indices[plot] = std::make_shared<const quality::PlotIndex>(trees);
  // The parameter file's standard errors (ParameterFileText).
  const quality::Sigmas sig{std::max(o.azimuthErrorDeg, 0.05) * kFullPi / 180,
                            std::max(o.distanceError, 0.01), std::max(o.mapError, 0.01),
                            std::max(o.mapError, 0.01)};
  std::vector<quality::CaseInput> inputs;
  for (size_t c = 0; c < d.fieldTrees.size(); ++c) {
    const FieldTree& t = d.fieldTrees[c];
    quality::CaseInput in;
    in.caseNumber = static_cast<int>(c) + 1;
    in.plot = t.plot;
    in.tree = t.tree;
    in.species = t.species;
    in.plotTrees = indices[t.plot];
    in.sigmas = sig;
    for (size_t j = 0; j < t.slots.size(); ++j) {
      const SimulatedSighting& s = t.slots[j];
      quality::InputSighting q;
      q.slot = static_cast<int>(j) + 1;
      q.tree = s.tree;
      auto it = where.find({t.plot, s.tree});
      q.onMap = it != where.end();
      if (q.onMap) {
        q.mapX = maps[t.plot][it->second].x;
        q.mapY = maps[t.plot][it->second].y;
      }
      q.hasAzimuth = s.azimuth > -1;
      q.azimuth = s.azimuth;
      q.hasDistance = s.distance > -1;
      q.distance = s.distance;
      in.sightings.push_back(q);
    }
    inputs.push_back(std::move(in));
  }
  return inputs;
}

std::string PathInFolder(const std::string& folder, const char* name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool WriteSimulationFiles(const SimulatedData& d, const std::string& folder, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    error = "cannot create the folder " + folder + ": " + ec.message();
    return false;
  }
  const std::pair<const char*, std::string> files[] = {
      {kSimMapFile, MapFileText(d)},
      {kSimSightingFile, SightingFileText(d)},
      {kSimParameterFile, ParameterFileText(d)},
      {kSimTruthFile, TruthFileText(d)},
      {kSimErrorsFile, PlantedErrorsText(PlantedErrors(d))}};
  for (const auto& [name, text] : files) {
    const std::string path = PathInFolder(folder, name);
    std::string why;
    if (!WriteWholeFile(path, text, why)) {
      error = "cannot write " + path + ": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace treetri::tools
