// One least-squares step by normal equations: corrections of the field tree
// and of every sighted tree, the stop test, and the precision figures and
// test values from the misclosures the iteration started with.
#include <cmath>

#include "matrix/matrix_ops.h"
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

void AdjustmentStep(Tables& t, UserInterface& ui, int& converged, int& caseNumber) {
  converged = 0;
  CaseWork& c = t.Case;
  // A case that cannot be adjusted ends its iterations here.
  auto fail = [&](CaseFailure f) {
    c.Failure = f;
    converged = 1;
  };
  if (c.Failure != CaseFailure::None) return fail(c.Failure);

  const Matrix& A = c.DesignMatrix;
  const Vector& l = c.MisclosureVector;
  const int m = A.Rows();
  const int u = A.Cols();
  const int n = t.TargetTrees[caseNumber].NPA;
  if (m > InverseWorkspace::kMaxRows) return fail(CaseFailure::TooManyRows);

  bool ok = true;
  MatTranspose(A, c.DesignT);
  DiagonalMatrix(c.WeightVector, c.WeightMatrix);
  ok &= MatMul(ui, c.DesignT, u, m, c.WeightMatrix, m, m, c.DesignTWeight, u, m);
  ok &= MatMul(ui, c.DesignTWeight, u, m, A, m, u, c.NormalMatrix, u, u);
  ok &= MatMul(ui, c.DesignTWeight, u, m, l, m, 1, c.NormalRhs, u, 1);
  if (!ok) return fail(CaseFailure::NotFinite);
  CaseFailure f = FromInverse(MatInverse(t.Inverse, c.NormalMatrix, c.NormalInverse));
  if (f != CaseFailure::None) return fail(f);
  if (!MatMul(ui, c.NormalInverse, u, u, c.NormalRhs, u, 1, c.Solution, u, 1) ||
      !AllFinite(c.Solution))
    return fail(CaseFailure::NotFinite);

  const double dX = c.Solution(1, 1);
  const double dY = c.Solution(2, 1);
  c.BaardaValues.Recreate(m);
  c.X_adj += dX;
  c.Y_adj += dY;
  for (int j = 1; j <= n; ++j) {
    c.FixedPoints[j].X_adj += c.Solution(2 * j + 1, 1);
    c.FixedPoints[j].Y_adj += c.Solution(2 * j + 2, 1);
  }
  converged = 0;
  if ((std::fabs(dX) < 0.01 && std::fabs(dY) < 0.01) ||
      (std::fabs(dX) > 100 && std::fabs(dY) > 100))
    converged = 1;

  ok = VecTMatMul(ui, l, 1, m, c.WeightMatrix, m, m, c.MisclosureTWeight, 1, m);
  ok &= MatMul(ui, c.MisclosureTWeight, 1, m, l, m, 1, c.QuadraticForm, 1, 1);
  if (!ok) return fail(CaseFailure::NotFinite);
  const double omega = c.QuadraticForm(1, 1);
  c.Reserved2 = {};
  c.Reserved2x3 = {};

  // Without redundancy there are no precision figures.
  c.Unchecked = m - u <= 0;
  if (c.Unchecked) {
    c.SigmaNull = c.SigmaX = c.SigmaY = 0;
    return;
  }
  c.SigmaNull = std::sqrt(omega / (m - u));
  MatDiagonal(ui, c.NormalInverse, c.NormalInverseDiagonal);
  c.SigmaX = c.SigmaNull * std::sqrt(c.NormalInverseDiagonal(1));
  c.SigmaY = c.SigmaNull * std::sqrt(c.NormalInverseDiagonal(2));

  f = FromInverse(MatInverse(t.Inverse, c.WeightMatrix, c.CofactorObs));
  if (f != CaseFailure::None) return fail(f);
  ok = MatMul(ui, A, m, u, c.NormalInverse, u, u, c.DesignQxx, m, u);
  ok &= MatMul(ui, c.DesignQxx, m, u, c.DesignT, u, m, c.DesignQxxDesignT, m, m);
  if (!ok) return fail(CaseFailure::NotFinite);
  MatAdd(c.CofactorObs, c.DesignQxxDesignT, c.CofactorResiduals);
  for (int i = 1; i <= m; ++i) {
    // With misclosures that are all zero every test value is 0.
    c.BaardaValues(i) =
        c.SigmaNull == 0 ? 0 : std::fabs(l(i) / (c.SigmaNull * c.CofactorResiduals(i, i)));
    if (!std::isfinite(c.BaardaValues(i))) return fail(CaseFailure::NotFinite);
  }
  if (!std::isfinite(c.SigmaNull) || !std::isfinite(c.SigmaX) || !std::isfinite(c.SigmaY))
    return fail(CaseFailure::NotFinite);
}

}  // namespace treetri
