// The start position of a case: the mean of the polar points of the slots
// with distance and azimuth, or else the mean of the intersections of pairs
// of azimuth rays.
#include <cmath>
#include <cstring>

#include "positioning/case_steps.h"

namespace treetri {

namespace {

constexpr double kMinRayAngle = 0.34906585039886595;  // 20 degrees
constexpr double kMaxRayAngle = 2.7925268031909276;   // 160 degrees

// The mean of `count` points is the start position, found by `method`.
void SetStart(CaseWork& c, double sumX, double sumY, int count, const char* method) {
  c.X_adj = sumX / count;
  c.Y_adj = sumY / count;
  c.X_ini = c.X_adj;
  c.Y_ini = c.Y_adj;
  c.TypeOfIni.fill(' ');
  std::memcpy(c.TypeOfIni.data(), method, std::strlen(method));
}

}  // namespace

void FindInitialApproximation(const TargetTree& tree, CaseWork& c) {
  const int n = tree.NPA;
  c.InitialApproximationFailed = false;
  const double halfPi = kPi / 2;

  // POLAR: the tree stands at distance d from the map tree, against the ray.
  int count = 0;
  double sumX = 0, sumY = 0;
  for (int i = 1; i <= n; ++i) {
    const CaseObservation& o = c.CaseObservations[i];
    if (!IsTrue(o.Is_Azim) || !IsTrue(o.IsDist)) continue;
    const FixedPoint& p = c.FixedPoints[i];
    sumX += p.X_adj - o.Obs_dist * std::cos(o.Obs_azim);
    sumY += p.Y_adj - o.Obs_dist * std::sin(o.Obs_azim);
    ++count;
  }
  if (count >= 1) return SetStart(c, sumX, sumY, count, "POLAR");

  // INTERSEC: pairs of rays that meet at a usable angle.
  count = 0;
  sumX = 0;
  sumY = 0;
  if (tree.AzimuthCount > 1) {
    for (int i = 1; i <= n; ++i) {
      CaseObservation& o = c.CaseObservations[i];
      if (!IsTrue(o.Is_Azim)) continue;
      double th = o.Obs_azim;
      if (th > halfPi)
        th = th - kPi;
      else if (th < -halfPi)
        th = th + kPi;
      o.Slope = std::tan(th);
    }
    for (int i = 1; i <= n - 1; ++i) {
      const CaseObservation& oi = c.CaseObservations[i];
      if (!IsTrue(oi.Is_Azim)) continue;
      for (int j = i + 1; j <= n; ++j) {
        const CaseObservation& oj = c.CaseObservations[j];
        const double ti = oi.Obs_azim, tj = oj.Obs_azim;
        double D = ti - tj;
        if (ti > halfPi && tj < -halfPi)
          D = ti - tj - 2 * kPi;
        else if (ti < -halfPi && tj > halfPi)
          D = ti - tj + 2 * kPi;
        if (!IsTrue(oj.Is_Azim) || !(kMinRayAngle < std::fabs(D) && std::fabs(D) < kMaxRayAngle))
          continue;
        const double Xi = c.FixedPoints[i].X_adj, Yi = c.FixedPoints[i].Y_adj;
        const double Xj = c.FixedPoints[j].X_adj, Yj = c.FixedPoints[j].Y_adj;
        const double si = oi.Slope, sj = oj.Slope;
        const double X = (Xi * si - Yi - Xj * sj + Yj) / (si - sj);
        const double Y = (X - Xi) * si + Yi;
        sumX += X;
        sumY += Y;
        ++count;
      }
    }
  }
  if (count >= 1) return SetStart(c, sumX, sumY, count, "INTERSEC");

  c.InitialApproximationFailed = true;
}

}  // namespace treetri
