#include "quality/network_files.h"

#include <functional>
#include <new>

#include "platform/files.h"

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

std::string FormatNetworkObservationLine(const ObservationRow& o, const ObservationExtra& e) {
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

// Reads a file of a header line and lines: each line not blank goes to
// `line` (false: the status names the column).
template <size_t N>
FileReadStatus ReadLines(const std::string& path, const std::string& header,
                         const std::array<const char*, N>* columns,
                         const std::function<ParseStatus(std::string_view)>& line) {
  FileReadStatus st;
  st.path = path;
  std::string text;
  if (!ReadWholeFile(path, text, st.message)) {
    st.ok = false;
    return st;
  }
  int number = 0;
  ForEachLine(text, [&](std::string_view l, int n) {
    number = n;
    if (n == 1) {
      if (l == Bare(header)) return true;
      st.ok = false;
      st.line = 1;
      st.message = "the header is not \"" + Bare(header) + "\"";
      return false;
    }
    if (l.find_first_not_of(" \t") == std::string_view::npos) return true;
    const ParseStatus p = line(l);
    if (p.ok) return true;
    st.ok = false;
    st.line = n;
    st.message = p.message;
    if (columns && p.column >= 1 && p.column <= static_cast<int>(N)) {
      st.column = p.column;
      st.columnName = (*columns)[static_cast<size_t>(p.column - 1)];
    }
    return false;
  });
  if (!st.ok) return st;
  if (number == 0) {
    st.ok = false;
    st.line = 1;
    st.message = "the file is empty";
  }
  return st;
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
    FileReadStatus st = ReadLines(plots, PlotsHeaderLine(), &kPlotsColumns, [&](std::string_view l) {
      PlotLine p;
      const ParseStatus s = ParsePlotLine(l, p);
      if (s.ok) out.plots.push_back(p);
      return s;
    });
    if (!st.ok) return st;
    reading = &mapTrees;
    return ReadLines(mapTrees, MapTreesHeaderLine(), &kMapTreesColumns, [&](std::string_view l) {
      MapTreeLine m;
      const ParseStatus s = ParseMapTreeLine(l, m);
      if (s.ok) out.mapTrees.push_back(m);
      return s;
    });
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
  QualityRow::NetworkColumns n;
  n.network = c.network;
  n.runnerUp = c.runnerUp;
  n.evidence = c.evidence;
  if (c.network) n.confusable = c.confusable;
  q.row.networkColumns = n;
  for (size_t k = 0; k < q.observations.size() && k < c.extras.size(); ++k) {
    q.observations[k].confusableTree = c.extras[k].confusableTree;
    q.observations[k].confusableDistance = c.extras[k].confusableDistance;
  }
  return q;
}

}  // namespace treetri::quality
