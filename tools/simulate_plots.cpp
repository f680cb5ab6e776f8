// treetri-simulate: writes a simulated data set (map, sightings, parameter
// file, true positions and the gross errors in it) into a folder.
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "data/field_reader.h"
#include "platform/command_line.h"
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
    "                        [--realistic mature|young] [--stand uniform|clustered|regular]\n"
    "                        [--density N] [--map-error M] [--crew-errors]\n"
    "                        [--compass-bias SHARE] [--compass-bias-size MIN MAX]\n"
    "       treetri-simulate --help | --version\n"
    "  --seed N      seed of the generator (default 1); the same seed gives the same files\n"
    "  --plots N     number of plots, 1..90 (default 3)\n"
    "  --cases N     field trees in all, spread over the plots (default 40 per plot, at most 2000)\n"
    "  --origin X Y  map coordinates of the first plot's centre (default 3400000 6900000,\n"
    "                in the Finnish uniform coordinate system KKJ / Finland Uniform\n"
    "                Coordinate System, EPSG:2393; for ETRS-TM35FIN, EPSG:3067, give an\n"
    "                origin there, e.g. --origin 400000 6900000)\n"
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
    "Realistic stands and crews (all off by default):\n"
    "  --realistic mature|young  a mature stand (600 trees/ha, regular) or a dense young one\n"
    "                           (2500 trees/ha, clustered), the map holding the larger trees;\n"
    "                           map error 0.5 m, 3 % missing values, crews' errors: wrong\n"
    "                           numbers 3 %, azimuth and distance blunders 2 % each, map trees\n"
    "                           displaced 1.5-4 m 3 %, a compass bias of 1-3 degrees on half\n"
    "                           of the plots (the other options change single settings)\n"
    "  --stand PATTERN          draw the whole stand: uniform, clustered or regular\n"
    "  --density N              trees per hectare of such a stand (default 600)\n"
    "  --map-error M            standard error of the map coordinates, metres per axis\n"
    "                           (default 0.3; 0.5 with --realistic), also written to the\n"
    "                           parameter file\n"
    "  --crew-errors            blunders as crews make them: a wrong number names the nearest\n"
    "                           unsighted map tree (80 %) or is a digit slip; azimuth blunders\n"
    "                           180 degrees (30 %) or MIN..MAX; distance blunders a slope\n"
    "                           distance (8-25 degrees) taken as horizontal or swapped digits\n"
    "  --compass-bias SHARE     share of plots (0..1) whose azimuths all carry a compass bias\n"
    "                           of MIN..MAX degrees, either sign (--compass-bias-size, default\n"
    "                           1 3)\n"
    "Writes DIR/map.txt, DIR/sightings.txt, DIR/SimulationInputParameters2.txt, DIR/truth.txt\n"
    "and DIR/errors.txt (every gross error, built-in or planted: plot, field tree, slot,\n"
    "kind, true and named tree, size, whether the named tree is on the map).\n";

// Reads the reals of `values` into `out`; false when one is no number.
bool Reals(const std::vector<std::string>& values, double* out) {
  for (size_t k = 0; k < values.size(); ++k)
    if (!treetri::ParseReal(values[k], out[k])) return false;
  return true;
}

// The planting options: the first value of each and how many it takes.
std::vector<std::tuple<const char*, double*, int>> PlantingOptions(
    treetri::tools::PlantingOptions& p) {
  return {{"--wrong-tree", &p.wrongTree, 1},       {"--azimuth-blunder", &p.azimuth, 1},
          {"--distance-blunder", &p.distance, 1},  {"--map-shift", &p.mapShift, 1},
          {"--wrong-tree-radius", &p.wrongTreeRadius, 1}, {"--azimuth-size", p.azimuthSize, 2},
          {"--distance-size", p.distanceSize, 2},  {"--map-shift-size", p.mapShiftSize, 2},
          {"--compass-bias", &p.compassBias, 1},   {"--compass-bias-size", p.compassBiasSize, 2}};
}

}  // namespace

int main(int argc, char** argv) {
  treetri::OpenStandardDescriptors();
  treetri::tools::SimulationOptions o;
  treetri::CommandLine cl("treetri-simulate", kUsage);
  for (const char* name : {"--seed", "--plots", "--cases", "--out", "--realistic", "--stand",
                           "--density", "--map-error"})
    cl.Value(name);
  cl.Flag("--crew-errors");
  cl.Value("--origin", 2);
  for (const char* name : {"--clean", "--no-builtin-errors"}) cl.Flag(name);
  const auto planting = PlantingOptions(o.planting);
  for (const auto& [name, value, count] : planting) cl.Value(name, count);
  if (!cl.Parse(argc, argv)) return cl.ExitStatus();
  if (!cl.Operands().empty()) return cl.UsageError("takes no file names: " + cl.Operands()[0]);
  if (cl.Has("--seed")) {
    const std::string s = cl.Get("--seed");
    // The whole 64-bit range, in decimal.
    if (s.size() > 20 || s.find_first_not_of("0123456789") != std::string::npos)
      return cl.UsageError("bad seed \"" + s + "\"");
    unsigned long long v = 0;
    for (char c : s) {
      const unsigned d = static_cast<unsigned>(c - '0');
      if (v > (UINT64_MAX - d) / 10) return cl.UsageError("seed \"" + s + "\" is beyond 64 bits");
      v = v * 10 + d;
    }
    o.seed = v;
  }
  // The realistic settings first: the other options change single ones.
  if (cl.Has("--realistic")) {
    const std::string kind = cl.Get("--realistic");
    if (kind != "mature" && kind != "young")
      return cl.UsageError("--realistic takes mature or young, not \"" + kind + "\"");
    o.MakeRealistic(kind == "young");
  }
  if (cl.Has("--stand")) {
    o.stand.realistic = true;
    if (!treetri::tools::ParseStandPattern(cl.Get("--stand"), o.stand.pattern))
      return cl.UsageError("bad stand pattern \"" + cl.Get("--stand") + "\"");
  }
  if (cl.Has("--density")) {
    if (!treetri::ParseReal(cl.Get("--density"), o.stand.density))
      return cl.UsageError("bad density \"" + cl.Get("--density") + "\"");
    o.stand.realistic = true;
  }
  if (cl.Has("--map-error") && !treetri::ParseReal(cl.Get("--map-error"), o.mapError))
    return cl.UsageError("bad map error \"" + cl.Get("--map-error") + "\"");
  if (cl.Has("--crew-errors")) o.planting.crewErrors = true;
  long long n = 0;
  if (cl.Has("--plots")) {
    if (!treetri::tools::ParseWholeArgument(cl.Get("--plots").c_str(), 1, 1000000, n))
      return cl.UsageError("bad number of plots \"" + cl.Get("--plots") + "\"");
    o.plots = static_cast<int>(n);
  }
  if (cl.Has("--cases")) {
    if (!treetri::tools::ParseWholeArgument(cl.Get("--cases").c_str(), 1, 1000000, n))
      return cl.UsageError("bad number of cases \"" + cl.Get("--cases") + "\"");
    o.cases = static_cast<int>(n);
  }
  if (cl.Has("--origin")) {
    const auto& v = cl.Values("--origin");
    if (!treetri::ParseReal(v[0], o.originX) || !treetri::ParseReal(v[1], o.originY))
      return cl.UsageError("bad origin \"" + v[0] + " " + v[1] + "\"");
  }
  const bool clean = cl.Has("--clean");
  if (cl.Has("--no-builtin-errors")) {
    o.grossAzimuthShare = 0;
    o.wrongTreeShare = 0;
  }
  for (const auto& [name, value, count] : planting)
    if (cl.Has(name) && !Reals(cl.Values(name), value))
      return cl.UsageError(std::string("bad value of ") + name + " \"" + cl.Get(name) + "\"");
  const std::string out = cl.Get("--out");
  if (out.empty()) return cl.UsageError("--out DIR is needed");
  // The folder is checked before anything is simulated: an existing one
  // must be writable, a new one must be creatable.
  std::string targetError;
  if (!treetri::CheckWritableFolder(out, targetError)) {
    cl.Error(targetError);
    return 1;
  }
  if (clean) o.MakeClean();
  const std::string problem = treetri::tools::CheckOptions(o);
  if (!problem.empty()) return cl.UsageError(problem);
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
