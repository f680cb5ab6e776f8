// The linearised system of one iteration: a row per field azimuth and
// distance, then the map X and Y pseudo-observations of every sighted tree.
// Columns 1 and 2 are the field tree's X and Y, 2j+1 and 2j+2 those of
// sighted tree j.
#include <cmath>

#include "positioning/case_steps.h"

namespace treetri {

double DirectionAngle(double dy, double dx) {
  if (std::fabs(dx) < 1E-07) {
    if (std::fabs(dy) < 1E-07) return 0;
    return dy > 0 ? 1.5707963267949 : -1.5707963267949;
  }
  const double a = std::atan(dy / dx);
  if (dx >= 0) return a;
  return dy < 0 ? a - kPi : a + kPi;
}

void BuildObservationEquations(const RunParameters& par, CaseWork& c) {
  const int N = c.FixedPoints.Size();
  int r = 0;
  for (int j = 1; j <= N; ++j) {
    if (IsTrue(c.CaseObservations[j].IsDist)) ++r;
    if (IsTrue(c.CaseObservations[j].Is_Azim)) ++r;
  }
  const int m = 2 * N + r;
  const int n = 2 * N + 2;
  Matrix& A = c.DesignMatrix;
  Vector& l = c.MisclosureVector;
  Vector& p = c.WeightVector;
  A.Recreate(m, n);
  l.Recreate(m);
  p.Recreate(m);
  c.NumOfObs = m;

  const double X0 = c.X_adj, Y0 = c.Y_adj;
  const double halfPi = kPi / 2;
  int q = 0;
  for (int j = 1; j <= N; ++j) {
    CaseObservation& o = c.CaseObservations[j];
    const double Xj = c.FixedPoints[j].X_adj, Yj = c.FixedPoints[j].Y_adj;
    const double dX = Xj - X0, dY = Yj - Y0;
    if (IsTrue(o.Is_Azim)) {
      ++q;
      // The squared distance in expanded form, from the coordinates.
      const double D2 = X0 * X0 - 2 * X0 * Xj + Xj * Xj + Y0 * Y0 - 2 * Y0 * Yj + Yj * Yj;
      if (D2 == 0 && c.Failure == CaseFailure::None) c.Failure = CaseFailure::CoincidentPoint;
      A(q, 1) = (Yj - Y0) / D2;
      A(q, 2) = (X0 - Xj) / D2;
      A(q, 2 * j + 1) = -(Yj - Y0) / D2;
      A(q, 2 * j + 2) = -(X0 - Xj) / D2;
      p(q) = 1 / (par.SigmaAzimuth * par.SigmaAzimuth);
      const double th = o.Obs_azim;
      const double tc = DirectionAngle(dY, dX);
      // Brought across the cut at +-pi.
      if (th > halfPi && tc < -halfPi)
        l(q) = th - tc - 2 * kPi;
      else if (th < -halfPi && tc > halfPi)
        l(q) = th - tc + 2 * kPi;
      else
        l(q) = th - tc;
      o.Res_Azim = l(q);
      o.AzimuthRow = q;
    }
    if (IsTrue(o.IsDist)) {
      ++q;
      const double S = std::sqrt(dY * dY + dX * dX);
      if (S == 0 && c.Failure == CaseFailure::None) c.Failure = CaseFailure::CoincidentPoint;
      A(q, 1) = (X0 - Xj) / S;
      A(q, 2) = (Y0 - Yj) / S;
      A(q, 2 * j + 1) = -(X0 - Xj) / S;
      A(q, 2 * j + 2) = -(Y0 - Yj) / S;
      p(q) = 1 / (par.SigmaDistance * par.SigmaDistance);
      l(q) = o.Obs_dist - S;
      o.Res_Dist = l(q);
      o.DistanceRow = q;
    }
  }
  // The map rows follow the field rows (the two counts of the field tree
  // equal the flags, so this is DistanceCount + AzimuthCount + 1).
  q = r + 1;
  for (int j = 1; j <= N; ++j) {
    const FixedPoint& fp = c.FixedPoints[j];
    A(q, 2 * j + 1) = 1;
    A(q + 1, 2 * j + 2) = 1;
    p(q) = 1 / (par.SigmaMapX * par.SigmaMapX);
    p(q + 1) = 1 / (par.SigmaMapY * par.SigmaMapY);
    l(q) = fp.StartX - fp.X_adj;
    l(q + 1) = fp.StartY - fp.Y_adj;
    q += 2;
  }
  if (c.Failure == CaseFailure::None) {
    for (int i = 1; i <= m; ++i) {
      bool finite = std::isfinite(l(i)) && std::isfinite(p(i));
      for (int k = 1; finite && k <= n; ++k) finite = std::isfinite(A(i, k));
      if (!finite) {
        c.Failure = CaseFailure::NotFinite;
        break;
      }
    }
  }
}

}  // namespace treetri
