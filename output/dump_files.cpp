#include "output/dump_files.h"

#include <charconv>

#include "output/number_text.h"
#include "platform/files.h"

namespace treetri {

namespace {

// One line "row col value", built whole and appended at once.
void AddEntry(std::string& out, int row, int col, double v) {
  char line[24 + 24 + kMaxFreeChars + 2];
  char* p = std::to_chars(line, line + 24, row).ptr;
  *p++ = ' ';
  p = std::to_chars(p, p + 24, col).ptr;
  *p++ = ' ';
  p = WriteFree(p, v);
  *p++ = '\r';
  *p++ = '\n';
  out.append(line, static_cast<size_t>(p - line));
}

// One line with a value.
void AddValue(std::string& out, double v) {
  char line[kMaxFreeChars + 2];
  char* p = WriteFree(line, v);
  *p++ = '\r';
  *p++ = '\n';
  out.append(line, static_cast<size_t>(p - line));
}

constexpr const char* kDumpFileNames[4] = {kDumpAFileName, kDumpLFileName, kDumpWeightsFileName,
                                           kDumpMatlabFileName};

}  // namespace

void FillDumpTexts(const LegacyCaseResult& result, const CaseSystem& c, DumpTexts& texts) {
  const Matrix& A = c.DesignMatrix;
  const int N = static_cast<int>(result.sightings.size());
  const int m = A.Rows();
  std::string& a = texts.a;
  a.clear();
  // The entries in the order in which the system sets them.
  int r = 0, entries = 0;
  for (int j = 1; j <= N; ++j) {
    const SlotResult& o = result.sightings[static_cast<size_t>(j - 1)];
    for (int row : {o.Is_Azim ? o.AzimuthRow : 0, o.IsDist ? o.DistanceRow : 0}) {
      if (row < 1 || row > m) continue;
      for (int col : {1, 2, 2 * j + 1, 2 * j + 2})
        if (A.Contains(row, col)) AddEntry(a, row, col, A(row, col));
      entries += 4;
      ++r;
    }
  }
  for (int j = 1, q = r + 1; j <= N && q + 1 <= m; ++j, q += 2) {
    if (A.Contains(q, 2 * j + 1)) AddEntry(a, q, 2 * j + 1, A(q, 2 * j + 1));
    if (A.Contains(q + 1, 2 * j + 2)) AddEntry(a, q + 1, 2 * j + 2, A(q + 1, 2 * j + 2));
    entries += 2;
  }
  texts.l.clear();
  for (int i = 1; i <= c.MisclosureVector.Size(); ++i) AddValue(texts.l, c.MisclosureVector(i));
  texts.weights.clear();
  for (int i = 1; i <= c.WeightVector.Size(); ++i) AddValue(texts.weights, c.WeightVector(i));
  std::string& matlab = texts.matlab;
  matlab.clear();
  for (int v : {m, A.Cols(), entries}) {
    AppendInteger(matlab, v);
    matlab += ' ';
  }
  AppendInteger(matlab, r - 2);
  matlab += "\r\n";
}

DumpFiles::DumpFiles(const std::string& folder) : folder_(folder) {
  std::string unused;
  for (int k = 0; k < 4; ++k) files_[k].Open(folder + kDumpFileNames[k], Links::Refuse, false, unused);
}

bool DumpFiles::Write(const LegacyCaseResult& r, const CaseSystem& system, std::string& error) {
  FillDumpTexts(r, system, texts_);
  const std::string* texts[4] = {&texts_.a, &texts_.l, &texts_.weights, &texts_.matlab};
  std::string why;
  for (int k = 0; k < 4; ++k)
    if (!files_[k].Rewrite(*texts[k], why)) {
      error = "\"" + folder_ + kDumpFileNames[k] + "\": " + why;
      return false;
    }
  return true;
}

}  // namespace treetri
