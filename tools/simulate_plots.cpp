// treetri-simulate: writes a simulated data set (map, sightings, parameter
// file, true positions and the gross errors in it) into a folder.
#include <cstdio>
#include <string>

#include "data/field_reader.h"
#include "tools/simulation.h"
#include "tools/text_format.h"
#include "platform/run_guard.h"

namespace {

const char* const kUsage =
    "usage: treetri-simulate --out DIR [--seed N] [--plots N] [--cases N]\n"
    "                        [--origin X Y] [--clean] [--no-builtin-errors]\n"
    "                        [--wrong-tree RATE] [--wrong-tree-radius M]\n"
    "                        [--azimuth-blunder RATE] [--azimuth-size MIN MAX]\n"
    "                        [--distance-blunder RATE] [--distance-size MIN MAX]\n"
    "                        [--map-shift RATE] [--map-shift-size MIN MAX]\n"
    "  --seed N      seed of the generator (default 1); the same seed gives the same files\n"
    "  --plots N     number of plots, 1..90 (default 3)\n"
    "  --cases N     field trees in all, spread over the plots (default 40 per plot, at most 2000)\n"
    "  --origin X Y  map coordinates of the first plot's centre (default 3400000 6900000)\n"
    "  --clean       no errors at all: exact map, exact measurements, nothing missing\n"
    "                (planted errors are still planted)\n"
    "  --no-builtin-errors  none of the built-in gross errors (2 % of the field trees with\n"
    "                an azimuth off by 20-90 degrees, 1 % with any other tree's number)\n"
    "Planted gross errors (rates 0..0.5, default 0; at most one per sighting):\n"
    "  --wrong-tree RATE        share of sightings given the number of another map tree of\n"
    "                           the plot within M m of the measured one (--wrong-tree-radius,\n"
    "                           default 5; the nearest such tree when none is that near)\n"
    "  --azimuth-blunder RATE   share of azimuths off by MIN..MAX degrees, either sign\n"
    "                           (--azimuth-size, default 10 45)\n"
    "  --distance-blunder RATE  share of distances off by MIN..MAX m, either sign\n"
    "                           (--distance-size, default 1 5)\n"
    "  --map-shift RATE         share of map trees displaced by MIN..MAX m in any direction\n"
    "                           (--map-shift-size, default 1 5)\n"
    "Writes DIR/map.txt, DIR/sightings.txt, DIR/SimulationInputParameters2.txt, DIR/truth.txt\n"
    "and DIR/errors.txt (every gross error, built-in or planted: plot, field tree, slot,\n"
    "kind, true and named tree, size, whether the named tree is on the map).\n";

// Reads `count` reals after option i into `out`; false when one is no number.
bool Reals(char** argv, int i, int count, double* out) {
  for (int k = 0; k < count; ++k)
    if (!treetri::ParseReal(argv[i + 1 + k], out[k])) return false;
  return true;
}

// The planting option `name`'s first value and, in `count`, how many it
// takes; null when `name` is no planting option.
double* PlantingValue(treetri::tools::PlantingOptions& p, const std::string& name, int& count) {
  const std::pair<const char*, double*> rates[] = {{"--wrong-tree", &p.wrongTree},
                                                   {"--azimuth-blunder", &p.azimuth},
                                                   {"--distance-blunder", &p.distance},
                                                   {"--map-shift", &p.mapShift},
                                                   {"--wrong-tree-radius", &p.wrongTreeRadius}};
  const std::pair<const char*, double*> ranges[] = {{"--azimuth-size", p.azimuthSize},
                                                    {"--distance-size", p.distanceSize},
                                                    {"--map-shift-size", p.mapShiftSize}};
  for (const auto& [option, value] : rates)
    if (name == option) {
      count = 1;
      return value;
    }
  for (const auto& [option, value] : ranges)
    if (name == option) {
      count = 2;
      return value;
    }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  treetri::tools::SimulationOptions o;
  std::string out;
  bool clean = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](int count) {
      if (i + count >= argc) {
        std::fprintf(stderr, "treetri-simulate: %s needs %d value(s)\n%s", a.c_str(), count, kUsage);
        return false;
      }
      return true;
    };
    long long n = 0;
    int count = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--seed") {
      if (!value(1)) return 2;
      const std::string s = argv[++i];
      // The whole 64-bit range, in decimal.
      if (s.empty() || s.size() > 20 || s.find_first_not_of("0123456789") != std::string::npos) {
        std::fprintf(stderr, "treetri-simulate: bad seed \"%s\"\n", s.c_str());
        return 2;
      }
      unsigned long long v = 0;
      bool overflow = false;
      for (char c : s) {
        const unsigned d = static_cast<unsigned>(c - '0');
        if (v > (UINT64_MAX - d) / 10) overflow = true;
        v = v * 10 + d;
      }
      if (overflow) {
        std::fprintf(stderr, "treetri-simulate: seed \"%s\" is beyond 64 bits\n", s.c_str());
        return 2;
      }
      o.seed = v;
    } else if (a == "--plots") {
      if (!value(1)) return 2;
      if (!treetri::tools::ParseWholeArgument(argv[++i], 1, 1000000, n)) {
        std::fprintf(stderr, "treetri-simulate: bad number of plots \"%s\"\n", argv[i]);
        return 2;
      }
      o.plots = static_cast<int>(n);
    } else if (a == "--cases") {
      if (!value(1)) return 2;
      if (!treetri::tools::ParseWholeArgument(argv[++i], 1, 1000000, n)) {
        std::fprintf(stderr, "treetri-simulate: bad number of cases \"%s\"\n", argv[i]);
        return 2;
      }
      o.cases = static_cast<int>(n);
    } else if (a == "--origin") {
      if (!value(2)) return 2;
      if (!treetri::ParseReal(argv[i + 1], o.originX) || !treetri::ParseReal(argv[i + 2], o.originY)) {
        std::fprintf(stderr, "treetri-simulate: bad origin \"%s %s\"\n", argv[i + 1], argv[i + 2]);
        return 2;
      }
      i += 2;
    } else if (a == "--out") {
      if (!value(1)) return 2;
      out = argv[++i];
    } else if (a == "--clean") {
      clean = true;
    } else if (a == "--no-builtin-errors") {
      o.grossAzimuthShare = 0;
      o.wrongTreeShare = 0;
    } else if (double* target = PlantingValue(o.planting, a, count)) {
      if (!value(count)) return 2;
      if (!Reals(argv, i, count, target)) {
        std::fprintf(stderr, "treetri-simulate: bad value of %s \"%s\"\n", a.c_str(), argv[i + 1]);
        return 2;
      }
      i += count;
    } else {
      std::fprintf(stderr, "treetri-simulate: unknown option \"%s\"\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "treetri-simulate: --out DIR is needed\n%s", kUsage);
    return 2;
  }
  if (clean) o.MakeClean();
  const std::string problem = treetri::tools::CheckOptions(o);
  if (!problem.empty()) {
    std::fprintf(stderr, "treetri-simulate: %s\n", problem.c_str());
    return 2;
  }
  const treetri::tools::SimulatedData d = treetri::tools::SimulatePlots(o);
  std::string error;
  if (!treetri::tools::WriteSimulationFiles(d, out, error)) {
    std::fprintf(stderr, "treetri-simulate: %s\n", error.c_str());
    return 1;
  }
  const auto& s = d.summary;
  std::printf("%d plots, %d map records, %d field trees, %d sightings\n", o.plots, s.mapRecords,
              s.fieldTrees, s.slots);
  std::printf("missing: %d distances, %d azimuths; gross errors: %d azimuths, %d tree numbers\n",
              s.missingDistances, s.missingAzimuths, s.grossAzimuths, s.wrongTrees);
  if (s.duplicatedTree > 0)
    std::printf("plot %d tree %d is on the map twice\n", s.duplicatedPlot, s.duplicatedTree);
  if (o.planting.Any())
    std::printf("planted and built-in: %d distance blunders, %d displaced map trees\n",
                s.grossDistances, s.shiftedMapTrees);
  if (s.foreignTrees > 0)
    std::printf("%d sighting(s) name a tree number that only another plot has\n", s.foreignTrees);
  std::printf("written to %s\n", out.c_str());
  return 0;
}
