#include "output/dump_files.h"

#include "output/number_text.h"
#include "platform/files.h"

namespace treetri {

namespace {

void AddEntry(std::string& out, int row, int col, double v) {
  out += IntegerText(row);
  out += ' ';
  out += IntegerText(col);
  out += ' ';
  out += FreeText(v);
  out += "\r\n";
}

}  // namespace

DumpTexts DumpFileTexts(const CaseWork& c) {
  const Matrix& A = c.DesignMatrix;
  const int N = c.FixedPoints.Size();
  const int m = A.Rows();
  // The entries in the order in which the system sets them.
  std::string a, l, w;
  int r = 0, entries = 0;
  for (int j = 1; j <= N && j <= c.CaseObservations.Size(); ++j) {
    const CaseObservation& o = c.CaseObservations[j];
    for (int row : {IsTrue(o.Is_Azim) ? o.AzimuthRow : 0, IsTrue(o.IsDist) ? o.DistanceRow : 0}) {
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
  for (int i = 1; i <= c.MisclosureVector.Size(); ++i) l += FreeText(c.MisclosureVector(i)) + "\r\n";
  for (int i = 1; i <= c.WeightVector.Size(); ++i) w += FreeText(c.WeightVector(i)) + "\r\n";
  const std::string matlab = IntegerText(m) + " " + IntegerText(A.Cols()) + " " +
                             IntegerText(entries) + " " + IntegerText(r - 2) + "\r\n";
  return DumpTexts{a, l, w, matlab};
}

bool WriteDumpFiles(const CaseWork& c, const std::string& dir, std::string& error) {
  const DumpTexts texts = DumpFileTexts(c);
  std::string why;
  for (auto [name, text] : {std::pair<const char*, const std::string*>{kDumpAFileName, &texts.a},
                            {kDumpLFileName, &texts.l},
                            {kDumpWeightsFileName, &texts.weights},
                            {kDumpMatlabFileName, &texts.matlab}}) {
    if (!RewriteFile(dir + name, *text, why, Links::Refuse)) {
      error = "\"" + dir + name + "\": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace treetri
