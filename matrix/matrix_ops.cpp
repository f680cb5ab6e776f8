#include "matrix/matrix_ops.h"

#include <cmath>
#include <vector>


namespace treetri {

namespace {

// One accumulation step s := s + a*b. A step whose result is not finite (an
// overflow) is skipped and leaves s as it was; `overflow` records it.
inline void Accumulate(double& s, double a, double b, bool& overflow) {
  double next = s + a * b;
  if (std::isfinite(next)) {
    s = next;
  } else {
    overflow = true;
  }
}

// The product loops shared by MatMul and VecTMatMul. `termA(i, k, a)` yields
// the left factor of term k of row i (false when it has no source), `termB(k,
// j, b)` the right factor. The loops run i, k, j so that a zero left factor
// skips its whole row of terms; every C(i, j) still sums k in ascending order,
// and skipping a term whose left factor is zero leaves the sum bit-for-bit
// unchanged (the running sum starts at +0 and adding a zero product never
// changes it).
template <class TermA, class TermB>
bool ProductLoops(int rowsA, int colsA, int colsB, Matrix& C, TermA termA, TermB termB) {
  bool overflow = false;
  std::vector<double> acc(colsB > 0 ? static_cast<size_t>(colsB) : 0);
  for (int i = 1; i <= rowsA; ++i) {
    std::fill(acc.begin(), acc.end(), 0.0);
    for (int k = 1; k <= colsA; ++k) {
      double a;
      if (!termA(i, k, a) || a == 0.0) continue;
      for (int j = 1; j <= colsB; ++j) {
        double b;
        if (!termB(k, j, b)) continue;
        if (b == 0.0) continue;  // exact for the same reason as a zero left factor
        Accumulate(acc[static_cast<size_t>(j - 1)], a, b, overflow);
      }
    }
    for (int j = 1; j <= colsB; ++j)
      if (C.Contains(i, j)) C(i, j) = acc[static_cast<size_t>(j - 1)];
  }
  return !overflow;
}

}  // namespace

bool MatMul(MatrixReport& report, const Matrix& A, int rowsA, int colsA, const Matrix& B, int rowsB,
            int colsB, Matrix& C, int rowsC, int colsC) {
  if (colsA != rowsB) report.push_back(kDimensionMessage);
  C.Recreate(rowsC, colsC);
  return ProductLoops(
      rowsA, colsA, colsB, C,
      [&](int i, int k, double& a) {
        if (!A.Contains(i, k)) return false;
        a = A(i, k);
        return true;
      },
      [&](int k, int j, double& b) {
        if (!B.Contains(k, j)) return false;
        b = B(k, j);
        return true;
      });
}

bool MatMul(MatrixReport& report, const Matrix& A, int rowsA, int colsA, const Vector& B, int rowsB,
            int colsB, Matrix& C, int rowsC, int colsC) {
  if (colsA != rowsB) report.push_back(kDimensionMessage);
  C.Recreate(rowsC, colsC);
  // A vector has no second dimension: its elements serve as B(k) only when the
  // result is a single column; otherwise every term lacks its source.
  const bool column = colsC == 1;
  return ProductLoops(
      rowsA, colsA, colsB, C,
      [&](int i, int k, double& a) {
        if (!A.Contains(i, k)) return false;
        a = A(i, k);
        return true;
      },
      [&](int k, int, double& b) {
        if (!column || !B.Contains(k)) return false;
        b = B(k);
        return true;
      });
}

bool VecTMatMul(MatrixReport& report, const Vector& a, int rowsA, int colsA, const Matrix& B,
                int rowsB, int colsB, Matrix& C, int rowsC, int colsC) {
  if (colsA != rowsB) report.push_back(kDimensionMessage);
  C.Recreate(rowsC, colsC);
  return ProductLoops(
      rowsA, colsA, colsB, C,
      [&](int, int k, double& v) {
        if (!a.Contains(k)) return false;
        v = a(k);
        return true;
      },
      [&](int k, int j, double& b) {
        if (!B.Contains(k, j)) return false;
        b = B(k, j);
        return true;
      });
}

void MatAdd(const Matrix& A, const Matrix& B, Matrix& C) {
  C.Recreate(A.Rows(), A.Cols());
  for (int i = 1; i <= A.Rows(); ++i)
    for (int j = 1; j <= A.Cols(); ++j)
      C(i, j) = A(i, j) + (B.Contains(i, j) ? B(i, j) : 0.0);
}

void MatTranspose(const Matrix& M, Matrix& T) {
  T.Recreate(M.Cols(), M.Rows());
  for (int i = 1; i <= M.Rows(); ++i)
    for (int j = 1; j <= M.Cols(); ++j) T(j, i) = M(i, j);
}

InverseResult MatInverse(InverseWorkspace& ws, const Matrix& M, Matrix& R) {
  R.Recreate(M.Rows(), M.Cols());
  if (M.Rows() > InverseWorkspace::kMaxRows || M.Cols() > InverseWorkspace::kMaxRows)
    return InverseResult::TooLarge;
  if (M.Rows() != M.Cols()) return InverseResult::NotSquare;

  Matrix& W1 = ws.W1;
  Matrix& W2 = ws.W2;
  Matrix& W3 = ws.W3;
  for (int i = 1; i <= M.Rows(); ++i)
    for (int j = 1; j <= M.Cols(); ++j) W1(i, j) = M(i, j);
  ws.n = static_cast<short>(M.Rows());
  const int n = ws.n;

  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) W2(i, j) = W1(i, j);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) W2(j, n + i) = (i == j) ? 1.0 : 0.0;

  for (int k = 1; k <= n; ++k) {
    if (W2(k, k) == 0.0) {
      int r = k;
      while (r <= n && W2(r, k) == 0.0) ++r;
      if (r > n) return InverseResult::Singular;
      for (int c = k; c <= 2 * n; ++c) std::swap(W2(k, c), W2(r, c));
    }
    const double pivot = W2(k, k);
    for (int c = k; c <= 2 * n; ++c) W2(k, c) = W2(k, c) / pivot;
    for (int r = 1; r <= n; ++r) {
      if (r == k || W2(r, k) == 0.0) continue;
      const double f = W2(r, k) / W2(k, k);
      for (int c = k; c <= 2 * n; ++c) W2(r, c) = W2(r, c) - f * W2(k, c);
    }
  }

  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) W3(i, j) = W2(i, n + j);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) R(i, j) = W3(i, j);
  return InverseResult::Ok;
}

void MatDiagonal(MatrixReport& report, const Matrix& M, Vector& d) {
  if (M.Rows() != M.Cols()) report.push_back(kNotSquareMessage);
  d.Recreate(M.Rows());
  for (int i = 1; i <= M.Rows(); ++i) d(i) = i <= M.Cols() ? M(i, i) : 0.0;
}

void DiagonalMatrix(const Vector& v, Matrix& M) {
  M.Recreate(v.Size(), v.Size());
  for (int i = 1; i <= v.Size(); ++i) M(i, i) = v(i);
}

}  // namespace treetri
