#include "quality/quality_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>

#include "platform/files.h"
#include "platform/text.h"
#include "quality/csv_fields.h"

namespace treetri::quality {
namespace {

constexpr std::array<const char*, 5> kVerdictWords = {"ok", "outlier", "no redundancy", "failed",
                                                      "not computed"};
constexpr std::array<const char*, 4> kKindWords = {"azimuth", "distance", "map_x", "map_y"};
constexpr std::array<const char*, 8> kSuspectWords = {
    "", "azimuth", "distance", "map_x", "map_y", "sighting", "map_tree", "sighting_or_map_tree"};
constexpr std::array<const char*, 3> kControlWords = {"", "weak", "uncontrolled"};
constexpr std::array<const char*, 3> kGlobalWords = {"", "pass", "fail"};

template <class E, size_t N>
bool FindWord(const std::array<const char*, N>& words, std::string_view word, E& out) {
  for (size_t i = 0; i < N; ++i) {
    if (word == words[i]) {
      out = static_cast<E>(i);
      return true;
    }
  }
  return false;
}

// Fixed-point text without locale; "-0.000" becomes "0.000"; not finite: "".
void AppendFixed(std::string& s, double v, int decimals) { AppendFixedDecimals(s, v, decimals); }

void AppendInt(std::string& s, long long v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

void AppendText(std::string& s, std::string_view t) {
  if (t.find_first_of(",\"\r\n") == std::string_view::npos) {
    s += t;
    return;
  }
  s += '"';
  for (char c : t) {
    if (c == '"') s += '"';
    s += c;
  }
  s += '"';
}

// Builds one line field by field.
class LineBuilder {
 public:
  LineBuilder& Int(long long v) {
    return Next([&] { AppendInt(s_, v); });
  }
  LineBuilder& Int(const std::optional<int>& v) {
    return Next([&] {
      if (v) AppendInt(s_, *v);
    });
  }
  LineBuilder& Fixed(double v, int d) {
    return Next([&] { AppendFixed(s_, v, d); });
  }
  LineBuilder& Fixed(const std::optional<double>& v, int d) {
    return Next([&] {
      if (v) AppendFixed(s_, *v, d);
    });
  }
  LineBuilder& Text(std::string_view t) {
    return Next([&] { AppendText(s_, t); });
  }
  std::string Done() { return std::move(s_) + "\r\n"; }

 private:
  template <class F>
  LineBuilder& Next(F f) {
    if (!first_) s_ += ',';
    first_ = false;
    f();
    return *this;
  }
  std::string s_;
  bool first_ = true;
};

template <size_t N>
std::string HeaderLine(const std::array<const char*, N>& columns) {
  LineBuilder b;
  for (const char* c : columns) b.Text(c);
  return b.Done();
}

int AzimuthDecimals(ObservationKind k) { return k == ObservationKind::Azimuth ? 5 : 4; }

// The layout of the file of `columns`, whose wider header (a plot network
// run's) has `networkFigures` after them.
template <size_t N, size_t M>
CsvFileLayout Layout(const std::array<const char*, N>& columns,
                     const std::array<const char*, M>& networkFigures) {
  CsvFileLayout layout;
  layout.header = HeaderLine(columns);
  layout.header.resize(layout.header.size() - 2);  // without CR LF
  layout.widerHeader = layout.header;
  for (const char* c : networkFigures) (layout.widerHeader += ",") += c;
  layout.columns.assign(columns.begin(), columns.end());
  layout.columns.insert(layout.columns.end(), networkFigures.begin(), networkFigures.end());
  return layout;
}

CsvFileLayout QualityLayout() { return Layout(kQualityColumns, kQualityNetworkColumns); }
CsvFileLayout ObservationsLayout() { return Layout(kObservationColumns, kObservationNetworkColumns); }

// Reads a quality file: one row per line that is not blank, with its line
// number when asked.
template <class Row>
FileReadStatus ReadRows(const std::string& path, const CsvFileLayout& layout,
                        ParseStatus (*parse)(std::string_view, Row&), std::vector<Row>& rows,
                        std::vector<int>* lineNumbers = nullptr, int* cutLine = nullptr) {
  return ReadCsvFile(
      path, layout,
      [&](std::string_view line, int number) {
        Row row;
        const ParseStatus s = parse(line, row);
        if (s.ok) {
          rows.push_back(std::move(row));
          if (lineNumbers) lineNumbers->push_back(number);
        }
        return s;
      },
      cutLine);
}

}  // namespace

const char* VerdictWord(Verdict v) { return kVerdictWords[static_cast<size_t>(v)]; }
const char* KindWord(ObservationKind k) { return kKindWords[static_cast<size_t>(k)]; }
const char* SuspectKindWord(SuspectKind k) { return kSuspectWords[static_cast<size_t>(k)]; }
const char* ControlWord(Control c) { return kControlWords[static_cast<size_t>(c)]; }
const char* GlobalTestWord(GlobalTest g) { return kGlobalWords[static_cast<size_t>(g)]; }
bool ParseVerdict(std::string_view w, Verdict& out) { return FindWord(kVerdictWords, w, out); }
bool ParseKind(std::string_view w, ObservationKind& out) { return FindWord(kKindWords, w, out); }
bool ParseSuspectKind(std::string_view w, SuspectKind& out) {
  return FindWord(kSuspectWords, w, out);
}
bool ParseControl(std::string_view w, Control& out) { return FindWord(kControlWords, w, out); }
bool ParseGlobalTest(std::string_view w, GlobalTest& out) { return FindWord(kGlobalWords, w, out); }


namespace {
constexpr std::string_view kAlsoRemoved = "also removed: slot ";
}  // namespace

std::string RemovedSightingWarning(const RemovedSighting& r) {
  std::string s(kAlsoRemoved);
  s += std::to_string(r.slot) + " tree " + std::to_string(r.tree) + " " + SuspectKindWord(r.kind) +
       " (test ";
  AppendFixed(s, r.statistic, 2);
  return s + ")";
}

std::vector<RemovedSighting> RemovedSightingsIn(std::string_view warnings) {
  auto number = [](std::string_view t, auto& out) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
  };
  std::vector<RemovedSighting> out;
  for (size_t at = warnings.find(kAlsoRemoved); at != std::string_view::npos;
       at = warnings.find(kAlsoRemoved, at + 1)) {
    // "N tree T KIND (test X)" up to the next warning.
    std::string_view part = warnings.substr(at + kAlsoRemoved.size());
    part = part.substr(0, part.find(';'));
    std::vector<std::string_view> w;
    for (size_t p = 0; p < part.size();) {
      const size_t e = std::min(part.find(' ', p), part.size());
      if (e > p) w.push_back(part.substr(p, e - p));
      p = e + 1;
    }
    RemovedSighting r;
    if (w.size() == 6 && w[1] == "tree" && w[4] == "(test" && w[5].back() == ')' &&
        number(w[0], r.slot) && number(w[2], r.tree) && ParseSuspectKind(w[3], r.kind) &&
        number(w[5].substr(0, w[5].size() - 1), r.statistic) && std::isfinite(r.statistic))
      out.push_back(r);
  }
  return out;
}


std::string QualityHeaderLine() { return HeaderLine(kQualityColumns); }
std::string ObservationHeaderLine() { return HeaderLine(kObservationColumns); }

std::string FormatQualityLine(const CaseAssessment& r) {
  const int grossDecimals = r.suspectKind == SuspectKind::Azimuth ? 5 : 4;
  LineBuilder b;
  const LegacyFigures& g = r.legacy;
  b.Int(r.caseNumber).Int(r.plot).Int(r.tree).Int(r.species).Text(r.legacyStatus);
  b.Int(g.iterations).Fixed(g.xIni, 4).Fixed(g.yIni, 4).Fixed(g.x, 4).Fixed(g.y, 4);
  b.Fixed(g.sigma0, 4).Fixed(g.sx, 4).Fixed(g.sy, 4).Fixed(g.tau, 4).Int(g.sightings);
  b.Int(g.observations).Text(g.initial);
  b.Int(r.usedSightings).Int(r.redundancy).Int(r.iterations);
  b.Text(r.converged ? BoolWord(*r.converged) : "");
  b.Fixed(r.x, 4).Fixed(r.y, 4).Fixed(r.sigma0, 4).Text(GlobalTestWord(r.globalTest));
  b.Fixed(r.sx, 4).Fixed(r.sy, 4).Fixed(r.ellipseA, 4).Fixed(r.ellipseB, 4);
  b.Fixed(r.ellipseAzimuth, 5).Fixed(r.conf95A, 4).Fixed(r.conf95B, 4).Fixed(r.maxW, 3);
  b.Text(SuspectKindWord(r.suspectKind)).Int(r.suspectTree).Fixed(r.suspectW, 3);
  b.Fixed(r.suspectGrossError, grossDecimals).Int(r.suggestedTree).Fixed(r.suggestedSigma0, 4);
  b.Text(VerdictWord(r.verdict)).Text(r.warnings);
  return b.Done();
}

std::string FormatObservationLine(const ObservationAssessment& r) {
  const int d = AzimuthDecimals(r.kind);
  LineBuilder b;
  b.Int(r.caseNumber).Int(r.plot).Int(r.tree).Int(r.slot).Int(r.sightedTree);
  b.Text(KindWord(r.kind)).Fixed(r.observed, d).Fixed(r.adjusted, d).Fixed(r.residual, d);
  b.Fixed(r.sigma, d).Fixed(r.redundancyNumber, 4).Fixed(r.w, 3).Fixed(r.grossError, d);
  b.Fixed(r.mdb, d).Text(ControlWord(r.control));
  return b.Done();
}


ParseStatus ParseQualityLine(std::string_view line, CaseAssessment& r) {
  std::vector<std::string> f;
  ParseStatus st = SplitChecked(line, kQualityColumns.size(), f, kQualityNetworkColumns.size());
  if (!st.ok) return st;
  CsvLineFields in(f);
  in.Int(r.caseNumber);
  in.Int(r.plot);
  in.Int(r.tree);
  in.Int(r.species);
  in.Text(r.legacyStatus);
  LegacyFigures& g = r.legacy;
  in.Int(g.iterations);
  for (std::optional<double>* v : {&g.xIni, &g.yIni, &g.x, &g.y, &g.sigma0, &g.sx, &g.sy, &g.tau})
    in.Real(*v);
  in.Int(g.sightings);
  in.Int(g.observations);
  in.Text(g.initial);
  in.Int(r.usedSightings);
  in.Int(r.redundancy);
  in.Int(r.iterations);
  in.Bool(r.converged);
  in.Real(r.x);
  in.Real(r.y);
  in.Real(r.sigma0);
  in.Word(ParseGlobalTest, r.globalTest);
  for (std::optional<double>* v :
       {&r.sx, &r.sy, &r.ellipseA, &r.ellipseB, &r.ellipseAzimuth, &r.conf95A, &r.conf95B, &r.maxW})
    in.Real(*v);
  in.Word(ParseSuspectKind, r.suspectKind);
  in.Int(r.suspectTree);
  in.Real(r.suspectW);
  in.Real(r.suspectGrossError);
  in.Int(r.suggestedTree);
  in.Real(r.suggestedSigma0);
  in.Word(ParseVerdict, r.verdict);
  in.Text(r.warnings);
  r.networkFigures.reset();
  if (f.size() > kQualityColumns.size()) {
    CaseAssessment::NetworkFigures n;
    std::string method;
    in.Word(method, {"network", "case"});
    n.network = method == "network";
    in.Int(n.runnerUp);
    in.Real(n.evidence);
    in.Int(n.confusable);
    r.networkFigures = n;
  }
  return in.Status();
}

ParseStatus ParseObservationLine(std::string_view line, ObservationAssessment& r) {
  std::vector<std::string> f;
  ParseStatus st = SplitChecked(line, kObservationColumns.size(), f, kObservationNetworkColumns.size());
  if (!st.ok) return st;
  CsvLineFields in(f);
  in.Int(r.caseNumber);
  in.Int(r.plot);
  in.Int(r.tree);
  in.Int(r.slot);
  in.Int(r.sightedTree);
  in.Word(ParseKind, r.kind);
  for (double* v : {&r.observed, &r.adjusted, &r.residual, &r.sigma, &r.redundancyNumber})
    in.Real(*v);
  in.Real(r.w);
  in.Real(r.grossError);
  in.Real(r.mdb);
  in.Word(ParseControl, r.control);
  r.confusableTree.reset();
  r.confusableDistance.reset();
  if (f.size() > kObservationColumns.size()) {
    in.Int(r.confusableTree);
    in.Real(r.confusableDistance);
  }
  return in.Status();
}

namespace {

// A file whose rows do not fit in memory is a file that cannot be read, as
// with ReadWholeFile: no exception leaves a reader.
FileReadStatus OutOfMemory(const std::string& path) {
  FileReadStatus st;
  st.ok = false;
  st.path = path;
  st.message = "out of memory";
  return st;
}

template <class Read>
FileReadStatus WithinMemory(const std::string& path, Read read) {
  try {
    return read();
  } catch (const std::bad_alloc&) {
    return OutOfMemory(path);
  }
}

FileReadStatus ReadRunWhole(const std::string& qualityPath, const std::string& observationsPath,
                            bool observationsOptional, QualityRunFiles& run);

}  // namespace

FileReadStatus ReadQualityFile(const std::string& path, std::vector<CaseAssessment>& rows) {
  return WithinMemory(path, [&] { return ReadRows(path, QualityLayout(), ParseQualityLine, rows); });
}

FileReadStatus ReadObservationsFile(const std::string& path, std::vector<ObservationAssessment>& rows) {
  return WithinMemory(path,
                      [&] { return ReadRows(path, ObservationsLayout(), ParseObservationLine, rows); });
}

FileReadStatus ReadQualityRun(const std::string& qualityPath, const std::string& observationsPath,
                              bool observationsOptional, QualityRunFiles& run) {
  try {
    return ReadRunWhole(qualityPath, observationsPath, observationsOptional, run);
  } catch (const std::bad_alloc&) {
    run = QualityRunFiles{};
    return OutOfMemory(qualityPath);
  }
}

namespace {

FileReadStatus ReadRunWhole(const std::string& qualityPath, const std::string& observationsPath,
                            bool observationsOptional, QualityRunFiles& run) {
  run = QualityRunFiles{};
  std::vector<int> caseLines, observationLines;
  int cutCase = 0, cutObservation = 0;
  FileReadStatus st =
      ReadRows(qualityPath, QualityLayout(), ParseQualityLine, run.cases, &caseLines, &cutCase);
  if (!st.ok) return st;
  auto partial = [&](const std::string& path, int line) {
    run.warnings.push_back("The file \"" + path + "\" ends inside line " + std::to_string(line) +
                           " (the run was stopped while writing it); the line is left out.");
  };
  if (cutCase) partial(qualityPath, cutCase);
  // Each case once.
  std::unordered_map<int, int> lineOfCase;
  for (size_t i = 0; i < run.cases.size(); ++i) {
    auto [it, added] = lineOfCase.emplace(run.cases[i].caseNumber, caseLines[i]);
    if (!added) {
      st.ok = false;
      st.line = caseLines[i];
      st.message = "case " + std::to_string(run.cases[i].caseNumber) + " is given twice, on line " +
                   std::to_string(it->second) + " and on this line";
      run.cases.resize(i);
      return st;
    }
  }
  run.observationsRead = !observationsOptional || FileExists(observationsPath);
  if (!run.observationsRead) return st;
  st = ReadRows(observationsPath, ObservationsLayout(), ParseObservationLine, run.observations,
                &observationLines, &cutObservation);
  if (!st.ok) return st;
  if (cutObservation) partial(observationsPath, cutObservation);
  // A case's lines stand together, and belong to a case of quality.csv. The
  // lines of the last case may lack their case line: the run was stopped
  // between the two files; that case is left out.
  std::unordered_map<int, int> firstLine;
  const size_t n = run.observations.size();
  const int lastCase = n ? run.observations[n - 1].caseNumber : 0;
  size_t keep = n;
  for (size_t i = 0; i < n; ++i) {
    const int c = run.observations[i].caseNumber;
    const bool newBlock = i == 0 || run.observations[i - 1].caseNumber != c;
    auto fail = [&](std::string message) {
      st.ok = false;
      st.line = observationLines[i];
      st.message = std::move(message);
      run.observations.resize(i);
      return st;
    };
    if (newBlock && !firstLine.emplace(c, observationLines[i]).second)
      return fail("the lines of case " + std::to_string(c) + " are given again (first on line " +
                  std::to_string(firstLine[c]) + ")");
    if (lineOfCase.count(c)) continue;
    if (c != lastCase)
      return fail("case " + std::to_string(c) + " is not in " + qualityPath);
    keep = std::min(keep, i);
  }
  if (keep < n) {
    run.warnings.push_back("The file \"" + observationsPath + "\" holds case " +
                           std::to_string(lastCase) + " from line " +
                           std::to_string(observationLines[keep]) + " on, which \"" + qualityPath +
                           "\" lacks (the run was stopped between the two files); the case is "
                           "left out.");
    run.observations.resize(keep);
  }
  return st;
}

}  // namespace

}  // namespace treetri::quality
