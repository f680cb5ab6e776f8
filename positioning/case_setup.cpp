// The four set-up steps of a case: fresh observation and fixed-point tables
// from the field tree's slots, and the azimuths turned into direction angles.
#include "positioning/case_steps.h"

namespace treetri {

bool CaseNpaValid(const TargetTree& tree) { return tree.NPA >= 1 && tree.NPA <= kSlotCount; }

void PrepareCaseTables(const TargetTree& tree, CaseWork& c) {
  const int n = tree.NPA;
  c.CaseObservations.Recreate(n);
  c.FixedPoints.Recreate(n);
  for (int k = 1; k <= n; ++k) {
    if (IsTrue(tree.HasDistance[k])) c.CaseObservations[k].Distance = tree.Distance[k];
    if (IsTrue(tree.HasAzimuth[k])) c.CaseObservations[k].Azimuth = tree.Azimuth[k];
  }
  for (int k = 1; k <= n; ++k) {
    c.FixedPoints[k].Obs_X = tree.Sighted[k].X;
    c.FixedPoints[k].Obs_Y = tree.Sighted[k].Y;
  }
}

void CopyObservationFlags(const TargetTree& tree, CaseWork& c) {
  for (int k = 1; k <= tree.NPA; ++k) {
    c.CaseObservations[k].IsDist = tree.HasDistance[k];
    c.CaseObservations[k].Is_Azim = tree.HasAzimuth[k];
  }
}

void InitFixedPoints(const TargetTree& tree, CaseWork& c) {
  for (int k = 1; k <= tree.NPA; ++k) {
    FixedPoint& p = c.FixedPoints[k];
    p.X_adj = p.Obs_X;
    p.Y_adj = p.Obs_Y;
    p.StartX = p.X_adj;
    p.StartY = p.Y_adj;
  }
}

double CorrectAzimuth(double a, double c) {
  if (360 - c > a)
    a = a + c;
  else
    a = a - 360 + c;
  // Below 0 the direction rule has no case: bring it into 0..360.
  if (a < 0) a = a + 360;
  return a;
}

double AzimuthToDirection(double a) {
  if (0 <= a && a <= 90) return (90 - a) * kDegToRad;
  if (90 <= a && a <= 270) return -(a - 90) * kDegToRad;
  if (270 < a && a <= 360) return 15.70796326794895 / 2 - (6.28318530717958 / 360) * a;
  return 0;  // outside 0..360: no direction, the fresh table's 0 stays
}

void ConvertAzimuths(const TargetTree& tree, double correction, CaseWork& c) {
  for (int k = 1; k <= tree.NPA; ++k) {
    CaseObservation& o = c.CaseObservations[k];
    o.Obs_dist = o.Distance;
    o.Azimuth = CorrectAzimuth(o.Azimuth, correction);
    o.Obs_azim = AzimuthToDirection(o.Azimuth);
    o.Azimuth = o.Obs_azim;
  }
}

}  // namespace treetri
