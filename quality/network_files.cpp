#include "quality/network_files.h"

#include <new>

#include "platform/text.h"
#include "quality/chi_square.h"
#include "quality/csv_fields.h"

namespace treetri::quality {
namespace {

template <size_t N>
std::string Names(const std::array<const char*, N>& columns) {
  std::string s;
  for (const char* c : columns) (s += ",") += c;
  return s;
}

// Fixed-point text without locale; "-0.000" becomes "0.000"; not finite: "".
std::string Fixed(double v, int decimals) {
  std::string s;
  AppendFixedDecimals(s, v, decimals);
  return s;
}

std::string Opt(const std::optional<double>& v, int decimals) { return v ? Fixed(*v, decimals) : ""; }
std::string Opt(const std::optional<int>& v) { return v ? std::to_string(*v) : ""; }

// A line of the quality files without its CR LF.
std::string Bare(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

}  // namespace

std::string NetworkQualityHeaderLine() {
  return Bare(QualityHeaderLine()) + Names(kQualityNetworkColumns) + "\r\n";
}
std::string NetworkObservationHeaderLine() {
  return Bare(ObservationHeaderLine()) + Names(kObservationNetworkColumns) + "\r\n";
}
std::string PlotsHeaderLine() { return Names(kPlotsColumns).substr(1) + "\r\n"; }
std::string MapTreesHeaderLine() { return Names(kMapTreesColumns).substr(1) + "\r\n"; }

std::string FormatNetworkQualityLine(const NetworkCaseResult& c) {
  return Bare(FormatQualityLine(c.quality.row)) + "," + (c.network ? "network" : "case") + "," +
         Opt(c.runnerUp) + "," + Opt(c.evidence, 3) + "," +
         (c.network ? std::to_string(c.confusable) : std::string()) + "\r\n";
}

std::string FormatNetworkObservationLine(const ObservationAssessment& o, const ObservationExtra& e) {
  return Bare(FormatObservationLine(o)) + "," + Opt(e.confusableTree) + "," +
         Opt(e.confusableDistance, 4) + "\r\n";
}

std::string FormatPlotLine(const PlotSummary& p) {
  std::string s = std::to_string(p.plot) + "," + std::to_string(p.fieldTrees) + "," +
                  std::to_string(p.mapTrees) + "," + std::to_string(p.observations) + "," +
                  std::to_string(p.redundancy) + "," + Opt(p.sigma0, 4) + "," +
                  GlobalTestWord(p.globalTest) + ",";
  if (p.hasBias) {
    // The bias's w-test: |bias / its standard deviation| against 3.29.
    const bool significant = p.biasW && std::fabs(*p.biasW) > kCriticalW;
    s += Fixed(p.bias, 5) + "," + Fixed(p.biasSigma, 5) + "," + Opt(p.biasW, 3) + "," +
         (significant ? "significant" : "not significant");
  } else {
    s += ",,,";
  }
  return s + "," + std::to_string(p.displacedMapTrees) + "," + std::to_string(p.removed) + "," +
         std::to_string(p.iterations) + "," + BoolWord(p.converged) + "\r\n";
}

std::string FormatMapTreeLine(int plot, const MapTreeResult& m) {
  return std::to_string(plot) + "," + std::to_string(m.tree) + "," + Fixed(m.mapX, 4) + "," +
         Fixed(m.mapY, 4) + "," + Fixed(m.x, 4) + "," + Fixed(m.y, 4) + "," +
         Fixed(std::hypot(m.x - m.mapX, m.y - m.mapY), 4) + "," + Fixed(m.sx, 4) + "," +
         Fixed(m.sy, 4) + "," + std::to_string(m.sightings) + "," + Opt(m.test, 3) + "," +
         BoolWord(m.displaced) + "\r\n";
}

namespace {

template <size_t N>
CsvFileLayout Layout(const std::string& header, const std::array<const char*, N>& columns) {
  return {Bare(header), "", std::vector<const char*>(columns.begin(), columns.end())};
}

}  // namespace

ParseStatus ParsePlotLine(std::string_view line, PlotLine& p) {
  std::vector<std::string> f;
  const ParseStatus st = SplitChecked(line, kPlotsColumns.size(), f);
  if (!st.ok) return st;
  CsvLineFields in(f);
  in.Int(p.plot);
  in.Int(p.fieldTrees);
  in.Int(p.mapTrees);
  in.Int(p.observations);
  in.Int(p.redundancy);
  in.Real(p.sigma0);
  in.Word(ParseGlobalTest, p.globalTest);
  in.Real(p.azimuthBias);
  in.Real(p.azimuthBiasSd);
  in.Real(p.azimuthBiasW);
  in.Word(p.azimuthBiasTest, {"", "significant", "not significant"});
  in.Int(p.displacedMapTrees);
  in.Int(p.removed);
  in.Int(p.iterations);
  in.Bool(p.converged);
  return in.Status();
}

ParseStatus ParseMapTreeLine(std::string_view line, MapTreeLine& m) {
  std::vector<std::string> f;
  const ParseStatus st = SplitChecked(line, kMapTreesColumns.size(), f);
  if (!st.ok) return st;
  CsvLineFields in(f);
  in.Int(m.plot);
  in.Int(m.tree);
  for (double* v : {&m.mapX, &m.mapY, &m.x, &m.y, &m.shift, &m.sx, &m.sy}) in.Real(*v);
  in.Int(m.sightings);
  in.Real(m.test);
  in.Bool(m.displaced);
  return in.Status();
}

FileReadStatus ReadNetworkFiles(const std::string& workFolder, NetworkFiles& out) {
  out = NetworkFiles{};
  const std::string plots = workFolder + kPlotsFileName;
  const std::string mapTrees = workFolder + kMapTreesFileName;
  const std::string* reading = &plots;
  // Memory running out while the files are read is the reading's failure.
  try {
    const auto plot = [&](std::string_view l, int) {
      PlotLine p;
      const ParseStatus s = ParsePlotLine(l, p);
      if (s.ok) out.plots.push_back(p);
      return s;
    };
    FileReadStatus st = ReadCsvFile(plots, Layout(PlotsHeaderLine(), kPlotsColumns), plot);
    if (!st.ok) return st;
    reading = &mapTrees;
    const auto mapTree = [&](std::string_view l, int) {
      MapTreeLine m;
      const ParseStatus s = ParseMapTreeLine(l, m);
      if (s.ok) out.mapTrees.push_back(m);
      return s;
    };
    return ReadCsvFile(mapTrees, Layout(MapTreesHeaderLine(), kMapTreesColumns), mapTree);
  } catch (const std::bad_alloc&) {
    out = NetworkFiles{};
    FileReadStatus st;
    st.ok = false;
    st.path = *reading;
    st.message = "out of memory";
    return st;
  }
}

CaseQuality NetworkCaseQuality(const NetworkCaseResult& c) {
  CaseQuality q = c.quality;
  CaseAssessment::NetworkFigures n;
  n.network = c.network;
  n.runnerUp = c.runnerUp;
  n.evidence = c.evidence;
  if (c.network) n.confusable = c.confusable;
  q.row.networkFigures = n;
  for (size_t k = 0; k < q.observations.size() && k < c.extras.size(); ++k) {
    q.observations[k].confusableTree = c.extras[k].confusableTree;
    q.observations[k].confusableDistance = c.extras[k].confusableDistance;
  }
  return q;
}

}  // namespace treetri::quality
