// One least-squares step by normal equations: corrections of the field tree
// and of every sighted tree, the stop test, and the precision figures and
// test values from the misclosures the iteration started with.
#include <cmath>
#include <vector>

#include "matrix/matrix_ops.h"
#include "positioning/case_pipeline.h"
#include "positioning/case_steps.h"

namespace treetri {

namespace {

bool AllFinite(const Matrix& M) {
  for (int i = 1; i <= M.Rows(); ++i)
    for (int j = 1; j <= M.Cols(); ++j)
      if (!std::isfinite(M(i, j))) return false;
  return true;
}

CaseFailure FromInverse(InverseResult r) {
  switch (r) {
    case InverseResult::Ok: return CaseFailure::None;
    case InverseResult::TooLarge: return CaseFailure::TooManyRows;
    case InverseResult::Singular:
    case InverseResult::NotSquare: break;
  }
  return CaseFailure::Singular;
}

}  // namespace

namespace {

// The part both forms share: corrections, update and stop test. Returns
// false when the case failed.
bool SolveAndUpdate(CaseWork& c, int& converged) {
  const int m = c.DesignMatrix.Rows();
  const int u = c.DesignMatrix.Cols();
  const int n = c.FixedPoints.Size();
  bool ok = MatMul(c.Messages, c.DesignTWeight, u, m, c.DesignMatrix, m, u, c.NormalMatrix, u, u);
  ok &= MatMul(c.Messages, c.DesignTWeight, u, m, c.MisclosureVector, m, 1, c.NormalRhs, u, 1);
  if (!ok) {
    c.Failure = CaseFailure::NotFinite;
    return false;
  }
  CaseFailure f = FromInverse(MatInverse(c.Inverse, c.NormalMatrix, c.NormalInverse));
  if (f != CaseFailure::None) {
    c.Failure = f;
    return false;
  }
  if (!MatMul(c.Messages, c.NormalInverse, u, u, c.NormalRhs, u, 1, c.Solution, u, 1) ||
      !AllFinite(c.Solution)) {
    c.Failure = CaseFailure::NotFinite;
    return false;
  }
  const double dX = c.Solution(1, 1);
  const double dY = c.Solution(2, 1);
  c.BaardaValues.Recreate(m);
  c.X_adj += dX;
  c.Y_adj += dY;
  for (int j = 1; j <= n; ++j) {
    c.FixedPoints[j].X_adj += c.Solution(2 * j + 1, 1);
    c.FixedPoints[j].Y_adj += c.Solution(2 * j + 2, 1);
  }
  converged = CorrectionsStop(dX, dY) ? 1 : 0;
  return true;
}

// SigmaNull, SigmaX and SigmaY from the quadratic form; false without
// redundancy (the case is then unchecked).
bool Precision(CaseWork& c, double omega) {
  const int m = c.DesignMatrix.Rows();
  const int u = c.DesignMatrix.Cols();
  c.Reserved2 = {};
  c.Reserved2x3 = {};
  c.Unchecked = m - u <= 0;
  if (c.Unchecked) {
    c.SigmaNull = c.SigmaX = c.SigmaY = 0;
    return false;
  }
  c.SigmaNull = std::sqrt(omega / (m - u));
  MatDiagonal(c.Messages, c.NormalInverse, c.NormalInverseDiagonal);
  c.SigmaX = c.SigmaNull * std::sqrt(c.NormalInverseDiagonal(1));
  c.SigmaY = c.SigmaNull * std::sqrt(c.NormalInverseDiagonal(2));
  return true;
}

// The test value of a row from its misclosure and the diagonal element of
// the cofactor matrix; false when it is not a number.
bool TestValue(CaseWork& c, int i, double cii) {
  // With misclosures that are all zero every test value is 0.
  c.BaardaValues(i) =
      c.SigmaNull == 0 ? 0 : std::fabs(c.MisclosureVector(i) / (c.SigmaNull * cii));
  return std::isfinite(c.BaardaValues(i));
}

// A case that cannot be adjusted ends its iterations here.
void Fail(CaseWork& c, int& converged, CaseFailure f) {
  c.Failure = f;
  converged = 1;
}

// The checks before a step; false when the case has already failed or its
// system is too large for the inverse.
bool StartStep(CaseWork& c, int& converged) {
  converged = 0;
  if (c.Failure == CaseFailure::None && c.DesignMatrix.Rows() > InverseWorkspace::kMaxRows)
    c.Failure = CaseFailure::TooManyRows;
  if (c.Failure == CaseFailure::None) return true;
  Fail(c, converged, c.Failure);
  return false;
}

bool PrecisionFinite(const CaseWork& c) {
  return std::isfinite(c.SigmaNull) && std::isfinite(c.SigmaX) && std::isfinite(c.SigmaY);
}

}  // namespace

// The weight matrix is diagonal, and of the cofactor matrix of the
// residuals only the diagonal is used: this form computes just those
// elements, each with the same operations in the same order as the full
// matrix products would (their other terms are exact zeros), so its results
// are the same to the bit as AdjustmentStepByRoutines'.
void AdjustmentStep(CaseWork& c, int& converged) {
  auto fail = [&](CaseFailure f) { Fail(c, converged, f); };
  if (!StartStep(c, converged)) return;
  const Matrix& A = c.DesignMatrix;
  const Vector& l = c.MisclosureVector;
  const Vector& p = c.WeightVector;
  const int m = A.Rows();
  const int u = A.Cols();
  for (int i = 1; i <= m; ++i)
    if (p(i) == 0) return fail(CaseFailure::Singular);  // no pivot for the weight matrix

  // A^T P: column i of A^T scaled by p(i).
  c.DesignTWeight.Recreate(u, m);
  for (int i = 1; i <= m; ++i)
    for (int a = 1; a <= u; ++a) c.DesignTWeight(a, i) = A(i, a) * p(i);
  if (!SolveAndUpdate(c, converged)) return fail(c.Failure);

  // l^T P l, summed over the rows in order.
  double omega = 0;
  for (int i = 1; i <= m; ++i) {
    const double lp = l(i) * p(i);
    if (lp != 0) omega = omega + lp * l(i);
  }
  if (!std::isfinite(omega)) return fail(CaseFailure::NotFinite);
  if (!Precision(c, omega)) return;

  // Diagonal of Qll + A Qxx A^T, with Qll(i, i) = 1 / p(i).
  const Matrix& Q = c.NormalInverse;
  std::vector<double> aq(static_cast<size_t>(u) + 1);
  for (int i = 1; i <= m; ++i) {
    for (int k = 1; k <= u; ++k) aq[static_cast<size_t>(k)] = 0;
    for (int j = 1; j <= u; ++j) {
      const double aij = A(i, j);
      if (aij == 0) continue;
      for (int k = 1; k <= u; ++k) aq[static_cast<size_t>(k)] += aij * Q(j, k);
    }
    double s = 0;
    for (int k = 1; k <= u; ++k) {
      const double v = aq[static_cast<size_t>(k)];
      if (v != 0) s += v * A(i, k);
    }
    if (!std::isfinite(s) || !TestValue(c, i, 1 / p(i) + s)) return fail(CaseFailure::NotFinite);
  }
  if (!PrecisionFinite(c)) return fail(CaseFailure::NotFinite);
}

void AdjustmentStepByRoutines(CaseWork& c, int& converged) {
  auto fail = [&](CaseFailure f) { Fail(c, converged, f); };
  if (!StartStep(c, converged)) return;
  const Matrix& A = c.DesignMatrix;
  const Vector& l = c.MisclosureVector;
  const int m = A.Rows();
  const int u = A.Cols();

  MatTranspose(A, c.DesignT);
  DiagonalMatrix(c.WeightVector, c.WeightMatrix);
  if (!MatMul(c.Messages, c.DesignT, u, m, c.WeightMatrix, m, m, c.DesignTWeight, u, m))
    return fail(CaseFailure::NotFinite);
  if (!SolveAndUpdate(c, converged)) return fail(c.Failure);

  bool ok = VecTMatMul(c.Messages, l, 1, m, c.WeightMatrix, m, m, c.MisclosureTWeight, 1, m);
  ok &= MatMul(c.Messages, c.MisclosureTWeight, 1, m, l, m, 1, c.QuadraticForm, 1, 1);
  if (!ok) return fail(CaseFailure::NotFinite);
  if (!Precision(c, c.QuadraticForm(1, 1))) return;

  CaseFailure f = FromInverse(MatInverse(c.Inverse, c.WeightMatrix, c.CofactorObs));
  if (f != CaseFailure::None) return fail(f);
  ok = MatMul(c.Messages, A, m, u, c.NormalInverse, u, u, c.DesignQxx, m, u);
  ok &= MatMul(c.Messages, c.DesignQxx, m, u, c.DesignT, u, m, c.DesignQxxDesignT, m, m);
  if (!ok) return fail(CaseFailure::NotFinite);
  MatAdd(c.CofactorObs, c.DesignQxxDesignT, c.CofactorResiduals);
  for (int i = 1; i <= m; ++i)
    if (!TestValue(c, i, c.CofactorResiduals(i, i))) return fail(CaseFailure::NotFinite);
  if (!PrecisionFinite(c)) return fail(CaseFailure::NotFinite);
}

}  // namespace treetri
