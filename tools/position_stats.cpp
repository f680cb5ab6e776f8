#include "tools/position_stats.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "output/results_format.h"
#include "tools/text_format.h"

namespace treetri::tools {

namespace {

constexpr size_t kMaxProblems = 10;

void Note(std::vector<std::string>& problems, int line, const std::string& what) {
  if (problems.size() < kMaxProblems) problems.push_back("line " + std::to_string(line) + ": " + what);
}

bool Whole(std::string_view s, int& out) {
  long long v = 0;
  if (!ParseWhole(s, v) || v < -2147483647LL - 1 || v > 2147483647LL) return false;
  out = static_cast<int>(v);
  return true;
}

// A real or the missing marker "-999" (which reads as kMissingValue).
bool RealOrMissing(std::string_view s, double& out) { return ParseDouble(s, out); }

}  // namespace

ResultsFile ParseResultsText(const std::string& text) {
  ResultsFile r;
  ForEachLine(text, [&](std::string_view line, int number) {
    if (Trim(line).empty()) return;
    if (number == 1 && Trim(line).substr(0, 4) == "Case") {
      r.headerSeen = true;
      return;
    }
    const std::vector<std::string> f = SplitAt(line, ",");
    auto skip = [&](const std::string& why) {
      ++r.skippedLines;
      Note(r.problems, number, why);
    };
    if (static_cast<int>(f.size()) < kResultsCaseFields) {
      skip(std::to_string(f.size()) + " fields, fewer than " + std::to_string(kResultsCaseFields));
      return;
    }
    ResultCase c;
    if (!Whole(f[kFieldCase], c.caseNumber)) c.caseNumber = 0;
    if (!Whole(f[kFieldPlot], c.plot) || !Whole(f[kFieldTree], c.tree)) {
      skip("Plot-id or Tree-id is no whole number");
      return;
    }
    if (!RealOrMissing(f[kFieldX_adj], c.xAdj) || !RealOrMissing(f[kFieldY_adj], c.yAdj) ||
        !RealOrMissing(f[kFieldSigmaX], c.sigmaX) || !RealOrMissing(f[kFieldSigmaY], c.sigmaY)) {
      skip("X_adj, Y_adj, SigmaX or SigmaY is no number");
      return;
    }
    // The slot blocks must all be there when NPA is known; TypeOfIni may be
    // missing.
    int npa = 0;
    if (Whole(f[kFieldNPA], npa) && npa >= 0 && npa <= kSlotCount &&
        static_cast<int>(f.size()) < kResultsCaseFields + kResultsSlotFields * npa) {
      skip("NPA is " + std::to_string(npa) + " but the line has only " +
           std::to_string(f.size()) + " fields");
      return;
    }
    r.cases.push_back(c);
  });
  return r;
}

TruthFile ParseTruthText(const std::string& text) {
  TruthFile t;
  ForEachLine(text, [&](std::string_view line, int number) {
    if (Trim(line).empty()) return;
    const std::vector<std::string> f = SplitAt(line, ",");
    int plot = 0, tree = 0;
    double x = 0, y = 0;
    if (f.size() < 4 || !Whole(f[0], plot) || !Whole(f[1], tree) || !ParseDouble(f[2], x) ||
        !ParseDouble(f[3], y)) {
      if (number == 1) return;  // header
      ++t.skippedLines;
      Note(t.problems, number, std::string("not ") + kTruthHeader);
      return;
    }
    if (!t.positions.emplace(std::make_pair(plot, tree), std::make_pair(x, y)).second)
      ++t.duplicates;
  });
  return t;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  const size_t n = v.size(), mid = n / 2;
  std::nth_element(v.begin(), v.begin() + mid, v.end());
  const double upper = v[mid];
  if (n % 2 == 1) return upper;
  const double lower = *std::max_element(v.begin(), v.begin() + mid);
  return 0.5 * (lower + upper);
}

ErrorStatistics ComputeErrorStatistics(const ResultsFile& results, const TruthFile& truth) {
  ErrorStatistics s;
  std::vector<double> errors;
  double sum = 0, sumSq = 0, okSumSq = 0;
  for (const ResultCase& c : results.cases) {
    ++s.cases;
    if (c.StatusOk()) ++s.statusOk;
    if (!c.HasPosition()) continue;
    ++s.withPosition;
    auto it = truth.positions.find({c.plot, c.tree});
    if (it == truth.positions.end()) {
      ++s.notInTruth;
      continue;
    }
    const double e = std::hypot(c.xAdj - it->second.first, c.yAdj - it->second.second);
    errors.push_back(e);
    sum += e;
    sumSq += e * e;
    s.max = std::max(s.max, e);
    if (c.StatusOk()) {
      ++s.okMatched;
      okSumSq += e * e;
    }
  }
  s.matched = static_cast<int>(errors.size());
  if (s.matched > 0) {
    s.mean = sum / s.matched;
    s.rmse = std::sqrt(sumSq / s.matched);
    s.median = Median(std::move(errors));
  }
  if (s.okMatched > 0) s.okRmse = std::sqrt(okSumSq / s.okMatched);
  return s;
}

std::string FormatReport(const ResultsFile& results, const TruthFile& truth,
                         const ErrorStatistics& s) {
  std::string out;
  auto line = [&](const std::string& label, const std::string& value) {
    out += label;
    out.append(label.size() < 28 ? 28 - label.size() : 1, ' ');
    out += value + "\n";
  };
  line("cases", std::to_string(s.cases));
  line("results lines skipped", std::to_string(results.skippedLines));
  line("truth lines skipped", std::to_string(truth.skippedLines));
  if (truth.duplicates > 0) line("truth duplicates", std::to_string(truth.duplicates));
  line("cases without position", std::to_string(s.cases - s.withPosition));
  line("matched", std::to_string(s.matched));
  line("not in truth", std::to_string(s.notInTruth));
  if (s.matched > 0) {
    line("median error (m)", Fixed(s.median, 3));
    line("RMSE (m)", Fixed(s.rmse, 3));
    line("mean error (m)", Fixed(s.mean, 3));
    line("largest error (m)", Fixed(s.max, 3));
  }
  line("status OK", std::to_string(s.statusOk) + " of " + std::to_string(s.cases) + " (" +
                        Fixed(100.0 * s.OkShare(), 1) + " %)");
  if (s.okMatched > 0) line("RMSE of OK cases (m)", Fixed(s.okRmse, 3));
  for (const std::string& p : results.problems) out += "results " + p + "\n";
  for (const std::string& p : truth.problems) out += "truth " + p + "\n";
  return out;
}

}  // namespace treetri::tools
