// The plot network's least-squares model: the unknowns (every field tree of
// the plot, every map tree it sights and the plot's azimuth bias), the
// observations (distances, azimuths, map coordinates) and the damped
// Gauss-Newton adjustment with its sparse normal equations, the covariances
// that the tests read and the tests' statistics. The search for gross
// errors (quality/network_snooping.h) switches observations off and on;
// quality/plot_network.cpp builds a Network per plot and reads its figures.
#pragma once

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <vector>

#include "data/angles.h"
#include "quality/assessment.h"
#include "quality/case_input.h"
#include "quality/planned_ldlt.h"

namespace treetri::quality::net {

using Eigen::Matrix2d;
using Eigen::MatrixXd;
using Eigen::Vector2d;
using Eigen::VectorXd;

constexpr double kRadToDeg = 180 / kFullPi;
constexpr double kMaxStep = 5.0;       // metres: the largest move of one point in a step
constexpr double kConvergence = 1e-4;  // metres (the bias: radians times 10 m)
// The search for gross errors compares its trials by their tests and vTPv:
// converged to a millimetre (a fiftieth of a distance's error, where a test
// statistic moves by a few hundredths at most) they are told apart as well,
// in an eighth fewer Gauss-Newton solutions. The adjustment it leaves is
// then taken to kConvergence.
constexpr double kSearchConvergence = 1e-3;
constexpr int kNetIterations = 50;
constexpr int kLooseIterations = 3;  // a reweighting step needs no convergence
// A step that does not lower vTPv is halved at most this often; then the
// normal equations are damped harder. (Where a gross error is still in,
// the Gauss-Newton direction can be a poor one: halving it thirty times
// cost up to thirty evaluations of every residual per iteration, and a
// damped direction does better. With 5 instead of 30 the snooping's
// decisions are the same; the network takes a fifth less time in dense
// young stands, about a third less where the map is off by 1 m.)
constexpr int kNetHalvings = 5;
// Creeping steps: each at least kCreep of the one before (along it or back
// against it), that share steady within kCreepSteady, the two directions'
// cosine over kCreepAlong (or under its negative).
constexpr double kCreep = 0.5;
constexpr double kCreepSteady = 0.05;
constexpr double kCreepAlong = 0.99;
// The step tried: the sum of the steps left, at most kCreepFarthest times
// this one (also where each step is longer than the one before: sliding
// off a ridge), halved down to kCreepShortest times it.
constexpr double kCreepFarthest = 64;
constexpr double kCreepShortest = 1.5;
constexpr double kMinDamping = 1e-9;   // Levenberg-Marquardt damping: the smallest used
constexpr double kMaxDamping = 1e3;    // and the largest before giving up
// Two trees nearer than this cannot be sighted one from the other: an
// azimuth's partials are taken as at this distance there (a wrongly numbered
// sighting of the field tree's own map record would otherwise make the
// normal equations explode).
constexpr double kNear = 0.3;            // metres
constexpr double kPivot = 1e-10;         // the smallest pivot over its diagonal element
constexpr double kDetermined = 1e-6;     // a point's block: smallest over largest eigenvalue
constexpr double kZeroR = 1e-8;

// The angle from the direction (sin phi, cos phi) clockwise to the
// direction (dx, dy), in [-pi, pi]: atan2(dx, dy) - phi, wrapped. Small
// angles, an azimuth's residual nearly always, take a series instead of
// atan2 (the terms left out are below 1e-18 of the angle).
inline double AngleBetween(double dx, double dy, double sinPhi, double cosPhi) {
  const double y = dx * cosPhi - dy * sinPhi, x = dy * cosPhi + dx * sinPhi;
  if (x > 0 && std::fabs(y) < 0.1 * x) {
    const double t = y / x, t2 = t * t;
    // atan t = t - t^3/3 + t^5/5 - ... up to t^17.
    double sum = 1.0 / 17;
    for (int k = 15; k >= 1; k -= 2) sum = 1.0 / k - t2 * sum;
    return t * sum;
  }
  return std::atan2(y, x);
}

inline double Median(std::vector<double> a) {
  std::sort(a.begin(), a.end());
  const size_t h = a.size() / 2;
  return a.size() % 2 ? a[h] : (a[h - 1] + a[h]) / 2;
}

struct Obs {
  ObservationKind kind = ObservationKind::Azimuth;
  int field = -1, map = -1, sighting = -1;
  double observed = 0, sigma = 0;
  double sinObserved = 0, cosObserved = 1;  // of an azimuth
  bool active = true;
  double omega = 1;  // robust weight factor
};

struct Sighting {
  int field = 0, map = 0, slot = 0, tree = 0;
  int az = -1, dist = -1;  // observation indices, -1 when not observed
};

struct FieldUnknown {
  int caseIndex = 0;
  std::vector<int> sightings;
};

struct MapUnknown {
  int tree = 0;
  double mapX = 0, mapY = 0;  // reduced
  int obsX = -1, obsY = -1;
  std::vector<int> sightings;
};

// A design row: up to three unknowns of the field tree's (X, Y, the bias)
// and the two of one map tree; the sighting it belongs to (-1: a map
// coordinate's row, or a candidate's).
struct Row {
  int n = 0;
  int col[3] = {};
  double a[3] = {};
  int map = -1;
  double am[2] = {};
  int sighting = -1;
};

class Network {
 public:
  Network(const std::vector<CaseInput>& cases, const std::vector<int>& members,
          bool bias, double ox, double oy)
      : bias_(bias), ox_(ox), oy_(oy), sig_(cases.front().sigmas) {
    std::map<int, int> mapIndex;
    for (int c : members) {
      const CaseInput& in = cases[static_cast<size_t>(c)];
      FieldUnknown f;
      f.caseIndex = c;
      const int fi = static_cast<int>(fields_.size());
      double sx = 0, sy = 0;
      int n = 0;
      for (const InputSighting& s : in.sightings) {
        if (!s.onMap || (!s.hasAzimuth && !s.hasDistance)) continue;
        auto [it, added] = mapIndex.emplace(s.tree, static_cast<int>(maps_.size()));
        if (added) {
          MapUnknown m;
          m.tree = s.tree;
          m.mapX = s.mapX - ox_;
          m.mapY = s.mapY - oy_;
          maps_.push_back(m);
        }
        Sighting g;
        g.field = fi;
        g.map = it->second;
        g.slot = s.slot;
        g.tree = s.tree;
        const int si = static_cast<int>(sightings_.size());
        if (s.hasAzimuth) g.az = Add(ObservationKind::Azimuth, fi, g.map, si, s.azimuth / kRadToDeg, sig_.azimuth);
        if (s.hasDistance) g.dist = Add(ObservationKind::Distance, fi, g.map, si, s.distance, sig_.distance);
        sightings_.push_back(g);
        f.sightings.push_back(si);
        maps_[static_cast<size_t>(g.map)].sightings.push_back(si);
        sx += s.mapX;
        sy += s.mapY;
        ++n;
      }
      fields_.push_back(f);
      // Start: the median of the points that the sightings with both a
      // distance and an azimuth give (one wrong number or blunder among
      // three does not move it), else the case's own start, else the mean
      // of the sighted trees.
      std::vector<double> px, py;
      for (const InputSighting& s : in.sightings)
        if (s.onMap && s.hasAzimuth && s.hasDistance) {
          px.push_back(s.mapX - ox_ - s.distance * std::sin(s.azimuth / kRadToDeg));
          py.push_back(s.mapY - oy_ - s.distance * std::cos(s.azimuth / kRadToDeg));
        }
      if (!px.empty())
        start_.push_back(Vector2d(Median(px), Median(py)));
      else
        start_.push_back(in.hasStart ? Vector2d(in.startX - ox_, in.startY - oy_)
                                     : Vector2d(sx / n - ox_, sy / n - oy_));
    }
    for (size_t j = 0; j < maps_.size(); ++j) {
      maps_[j].obsX = Add(ObservationKind::MapX, -1, static_cast<int>(j), -1, maps_[j].mapX, sig_.mapX);
      maps_[j].obsY = Add(ObservationKind::MapY, -1, static_cast<int>(j), -1, maps_[j].mapY, sig_.mapY);
    }
    R_ = 2 * static_cast<int>(fields_.size()) + (bias_ ? 1 : 0);
    u_ = VectorXd::Zero(R_ + 2 * static_cast<int>(maps_.size()));
    for (size_t i = 0; i < fields_.size(); ++i) u_.segment<2>(2 * static_cast<int>(i)) = start_[i];
    for (size_t j = 0; j < maps_.size(); ++j)
      u_.segment<2>(R_ + 2 * static_cast<int>(j)) = Vector2d(maps_[j].mapX, maps_[j].mapY);
    v_.resize(obs_.size());
    rows_.resize(obs_.size());
    Evaluate(u_, v_, rows_);
  }

  // --- the adjustment ------------------------------------------------------

  // Adjusts from the current unknowns; true when converged with a regular
  // system, and then the covariances are current (unless asked for none:
  // the robust start's last reweighting step reads none). Loose (the robust
  // start's reweighting steps, where gross errors make Gauss-Newton
  // converge slowly) accepts the point reached after the iterations when
  // its system is regular. A failed adjustment leaves the unknowns as they
  // were.
  bool Adjust(bool loose = false, int iterations = kNetIterations, bool covariances = true) {
    const VectorXd saved = u_;
    if (AdjustFrom(loose, iterations, covariances)) return true;
    // Where it stopped, the sightings whose field tree it left on their map
    // tree.
    sunk_.clear();
    for (size_t s = 0; s < sightings_.size(); ++s)
      for (int i : {sightings_[s].az, sightings_[s].dist})
        if (i >= 0 && obs_[static_cast<size_t>(i)].active && Distance(i) < kNear) {
          sunk_.push_back(static_cast<int>(s));
          break;
        }
    u_ = saved;
    Evaluate(u_, v_, rows_);
    return false;
  }

  // The sightings whose field tree the last adjustment that failed left
  // nearer than kNear to their map tree, where no direction of the one
  // from the other is defined: a point there is a sink that Gauss-Newton
  // does not leave (its steps do not lower vTPv however damped).
  const std::vector<int>& Sunk() const { return sunk_; }

  // The largest step of a converged adjustment (metres; the bias radians
  // times 10 m): kConvergence unless set.
  void SetConvergence(double limit) { convergence_ = limit; }

  // A trial (observations put back or left out, then adjusted) that is
  // undone comes back to the adjustment it left, as it was: Keep() before
  // the trial, Restore() after undoing its changes of the active
  // observations (as often as trials are undone). KeepBest() and
  // RestoreBest() hold one more adjustment, that of the best of several
  // trials, to come back to once they are all done (the active observations
  // set as they were for it). The factorisations of a trial go to a factor
  // that no kept adjustment uses, so the kept ones stay valid.
  void Keep() { Save(kept_); }
  void Restore() { Load(kept_); }
  void KeepBest() { Save(best_); }
  void RestoreBest() {
    Load(best_);
    best_.factor = -1;  // (its factor is the current one now)
  }

  // --- figures of the current adjustment -----------------------------------

  // The distance between the field tree and the map tree of observation i
  // at the current unknowns.
  double Distance(int i) const {
    const Obs& o = obs_[static_cast<size_t>(i)];
    return (MapPoint(o.map) - Field(o.field)).norm();
  }

  // The standard error of observation i's residual at the start, where the
  // field tree and the map tree are each known to about the map error.
  double StartSigma(int i) const {
    const Obs& o = obs_[static_cast<size_t>(i)];
    const double m2 = sig_.mapX * sig_.mapX + sig_.mapY * sig_.mapY;
    if (o.kind == ObservationKind::Distance) return std::sqrt(o.sigma * o.sigma + m2);
    if (o.kind != ObservationKind::Azimuth) return o.sigma;
    const double d = std::max(Distance(i), 1.0);
    return std::sqrt(o.sigma * o.sigma + m2 / (d * d));
  }

  // Whether each point (the field trees, then the map trees) is determined
  // by the active observations at the current linearisation: its own 2 x 2
  // block of the normal equations (the other points held) is well
  // conditioned. Regular() finds it for every point; RegularAfter() again
  // only for the points that observations H touch (the others' blocks are
  // as they were).
  std::vector<char> Regular() const {
    std::vector<char> out(fields_.size() + maps_.size());
    for (size_t b = 0; b < out.size(); ++b) out[b] = BlockRegular(b);
    return out;
  }
  void RegularAfter(const std::vector<int>& H, std::vector<char>& regular) const {
    for (int i : H) {
      const Obs& o = obs_[static_cast<size_t>(i)];
      if (o.field >= 0) regular[static_cast<size_t>(o.field)] = BlockRegular(static_cast<size_t>(o.field));
      const size_t b = fields_.size() + static_cast<size_t>(o.map);
      regular[b] = BlockRegular(b);
    }
  }
  // Block b, from the observations on the point in their order.
  bool BlockRegular(size_t b) const {
    if (pointObs_.empty()) {
      pointObs_.resize(fields_.size() + maps_.size());
      for (size_t i = 0; i < obs_.size(); ++i) {
        pointObs_[fields_.size() + static_cast<size_t>(obs_[i].map)].push_back(static_cast<int>(i));
        if (obs_[i].field >= 0) pointObs_[static_cast<size_t>(obs_[i].field)].push_back(static_cast<int>(i));
      }
    }
    Matrix2d N = Matrix2d::Zero();
    for (int i : pointObs_[b]) {
      const Obs& o = obs_[static_cast<size_t>(i)];
      const double p = o.active ? 1 / (o.sigma * o.sigma) : 0;
      if (p == 0) continue;
      const Row& r = rows_[static_cast<size_t>(i)];
      const Vector2d am(r.am[0], r.am[1]);
      N += p * am * am.transpose();
    }
    const Eigen::Vector2d e = Eigen::SelfAdjointEigenSolver<Matrix2d>(N).eigenvalues();
    return e[1] > 0 && e[0] > kDetermined * e[1];
  }

  int Unknowns() const { return R_ + 2 * static_cast<int>(maps_.size()); }
  int ActiveObservations() const {
    int n = 0;
    for (const Obs& o : obs_) n += o.active;
    return n;
  }
  int Redundancy() const { return ActiveObservations() - Unknowns(); }
  double Vtpv() const { return vtpv_; }
  // Gauss-Newton solutions computed by every adjustment of this network so
  // far, trials undone included (what the plot cost).
  int Solutions() const { return solutions_; }
  bool HasBias() const { return bias_; }
  double Bias() const { return bias_ ? u_[R_ - 1] : 0; }
  double BiasSigma() const { return bias_ ? std::sqrt(Qrr(R_ - 1, R_ - 1)) : 0; }

  double Weight(int i) const {
    if (weights_) return weights_[i];
    const Obs& o = obs_[static_cast<size_t>(i)];
    return o.active ? o.omega / (o.sigma * o.sigma) : 0;
  }
  // a Q b^T for two design rows.
  double RowCov(const Row& a, const Row& b) const {
    double s = 0;
    // Their field trees' parts (X, Y, the bias).
    if (a.n > 0 && b.n > 0) {
      if (a.col[0] == b.col[0]) {
        const Eigen::Matrix3d& q = qf_[static_cast<size_t>(a.col[0] / 2)];
        for (int k = 0; k < a.n; ++k)
          for (int l = 0; l < b.n; ++l) s += a.a[k] * b.a[l] * q(k, l);
      } else {
        for (int k = 0; k < a.n; ++k)
          for (int l = 0; l < b.n; ++l) s += a.a[k] * b.a[l] * Qrr(a.col[k], b.col[l]);
      }
    }
    // Their map trees' parts.
    if (a.map >= 0 && b.map >= 0) {
      if (a.map == b.map) {
        const Vector2d am(a.am[0], a.am[1]), bm(b.am[0], b.am[1]);
        s += am.dot(Qmm_[static_cast<size_t>(a.map)] * bm);
      } else {
        for (int k = 0; k < 2; ++k)
          for (int l = 0; l < 2; ++l)
            s += a.am[k] * b.am[l] * QrrAny(R_ + 2 * a.map + k, R_ + 2 * b.map + l);
      }
    }
    // Each one's field tree with the other's map tree.
    return s + CrossCov(a, b) + CrossCov(b, a);
  }
  // The field tree's part of row a with the map tree's part of row b.
  double CrossCov(const Row& a, const Row& b) const {
    if (a.n == 0 || b.map < 0) return 0;
    double s = 0;
    if (a.sighting >= 0 && sightings_[static_cast<size_t>(a.sighting)].map == b.map) {
      const Eigen::Matrix<double, 3, 2>& q = qc_[static_cast<size_t>(a.sighting)];
      for (int k = 0; k < a.n; ++k)
        for (int l = 0; l < 2; ++l) s += a.a[k] * b.am[l] * q(k, l);
    } else {
      for (int k = 0; k < a.n; ++k)
        for (int l = 0; l < 2; ++l) s += a.a[k] * b.am[l] * QrrAny(a.col[k], R_ + 2 * b.map + l);
    }
    return s;
  }
  double Redundancy(int i) const {
    const Obs& o = obs_[static_cast<size_t>(i)];
    if (!o.active) return 0;
    const Row& r = rows_[static_cast<size_t>(i)];
    return 1 - Weight(i) * RowCov(r, r);
  }
  double W(int i) const {
    const double r = Redundancy(i);
    const Obs& o = obs_[static_cast<size_t>(i)];
    return r > kZeroR ? v_[static_cast<size_t>(i)] / (o.sigma * std::sqrt(r / o.omega)) : NAN;
  }

  // The statistic v^T Qvv^-1 v of active observations H (NaN when Qvv is
  // singular there), or of left-out ones with the prediction's covariance
  // Qll + A Q A^T.
  double Statistic(int i, bool predicted) const {
    const int H[1] = {i};
    Eigen::Matrix<double, 1, 1> C;
    Eigen::Matrix<double, 1, 1> d;
    return Statistic(H, 1, predicted, C, d);
  }
  double Statistic(const std::vector<int>& H, bool predicted) const {
    // (A hypothesis has at most two observations: its matrices stay on the
    // stack; more would take the heap.)
    if (H.size() <= 2) {
      Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 2, 2> C(H.size(), H.size());
      Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 2, 1> d(H.size());
      return Statistic(H.data(), static_cast<int>(H.size()), predicted, C, d);
    }
    MatrixXd C(H.size(), H.size());
    VectorXd d(H.size());
    return Statistic(H.data(), static_cast<int>(H.size()), predicted, C, d);
  }
  template <class Matrix, class Vector>
  double Statistic(const int* H, int q, bool predicted, Matrix& C, Vector& d) const {
    // (Only the lower triangle: the LDLT reads no other.)
    for (int a = 0; a < q; ++a) {
      const size_t ia = static_cast<size_t>(H[static_cast<size_t>(a)]);
      d[a] = v_[ia];
      for (int b = a + 1; b < q; ++b) C(a, b) = 0;
      for (int b = 0; b <= a; ++b) {
        const size_t ib = static_cast<size_t>(H[static_cast<size_t>(b)]);
        const double aqa = RowCov(rows_[ia], rows_[ib]);
        const double ll = a == b ? obs_[ia].sigma * obs_[ia].sigma : 0;
        C(a, b) = predicted ? ll + aqa : ll - aqa;
      }
    }
    for (int a = 0; a < q; ++a) {
      const size_t ia = static_cast<size_t>(H[static_cast<size_t>(a)]);
      if (!(C(a, a) > kZeroR * obs_[ia].sigma * obs_[ia].sigma)) return NAN;
    }
    if (q == 1) {
      // What the LDLT below gives for one observation (its pivot is c
      // itself; its solve divides by a pivot above the smallest normal
      // number), without the decomposition.
      const double c = C(0, 0);
      if (!(c > 1e-10 * c)) return NAN;
      const double x = std::fabs(c) > std::numeric_limits<double>::min() ? d[0] / c : 0;
      return d[0] * x;
    }
    Eigen::LDLT<Matrix> ldlt(C);
    if (ldlt.info() != Eigen::Success || !(ldlt.vectorD().minCoeff() > 1e-10 * C.diagonal().maxCoeff()))
      return NAN;
    return d.dot(ldlt.solve(d));
  }

  // Vectors of the parts.
  std::vector<Obs>& Observations() { return obs_; }
  const std::vector<Obs>& Observations() const { return obs_; }
  const std::vector<Sighting>& Sightings() const { return sightings_; }
  const std::vector<FieldUnknown>& Fields() const { return fields_; }
  const std::vector<MapUnknown>& Maps() const { return maps_; }
  const std::vector<double>& Residuals() const { return v_; }
  Vector2d Field(int i) const { return u_.segment<2>(2 * i); }
  Vector2d MapPoint(int j) const { return u_.segment<2>(R_ + 2 * j); }
  Matrix2d FieldCov(int i) const {
    Matrix2d Q;
    Q(0, 0) = Qrr(2 * i, 2 * i);
    Q(0, 1) = Q(1, 0) = Qrr(2 * i, 2 * i + 1);
    Q(1, 1) = Qrr(2 * i + 1, 2 * i + 1);
    return Q;
  }
  const Matrix2d& MapCov(int j) const { return Qmm_[static_cast<size_t>(j)]; }
  double OriginX() const { return ox_; }
  double OriginY() const { return oy_; }
  const Sigmas& Sig() const { return sig_; }

  // The predicted test of a sighting of field tree i to a point with
  // observed azimuth (radians) and distance, the point being map unknown j
  // (>= 0) or a map tree outside the network at (px, py) reduced, known to
  // its map errors. NaN when the prediction's covariance is singular.
  double CandidateStatistic(int i, int j, double px, double py, bool hasAz, double az,
                            bool hasDist, double dist) const {
    const Vector2d f = Field(i);
    const Vector2d p = j >= 0 ? MapPoint(j) : Vector2d(px, py);
    const double dx = p.x() - f.x(), dy = p.y() - f.y();
    const double s2 = dx * dx + dy * dy, s = std::sqrt(s2);
    const double s2a = std::max(s2, kNear * kNear);  // the azimuth's partials
    if (!(s > 0)) return NAN;
    std::vector<Row> rows;
    std::vector<double> d, ll;
    if (hasAz) {
      Row r;
      r.n = 2;
      r.col[0] = 2 * i; r.a[0] = -dy / s2a;
      r.col[1] = 2 * i + 1; r.a[1] = dx / s2a;
      if (bias_) { r.col[2] = R_ - 1; r.a[2] = 1; r.n = 3; }
      r.map = j; r.am[0] = dy / s2a; r.am[1] = -dx / s2a;
      rows.push_back(r);
      d.push_back(AngleBetween(dx, dy, std::sin(az - Bias()), std::cos(az - Bias())));
      ll.push_back(sig_.azimuth * sig_.azimuth);
    }
    if (hasDist) {
      Row r;
      r.n = 2;
      r.col[0] = 2 * i; r.a[0] = -dx / s;
      r.col[1] = 2 * i + 1; r.a[1] = -dy / s;
      r.map = j; r.am[0] = dx / s; r.am[1] = dy / s;
      rows.push_back(r);
      d.push_back(s - dist);
      ll.push_back(sig_.distance * sig_.distance);
    }
    const int q = static_cast<int>(rows.size());
    MatrixXd C(q, q);
    VectorXd dv(q);
    for (int a = 0; a < q; ++a) {
      dv[a] = d[static_cast<size_t>(a)];
      for (int b = a + 1; b < q; ++b) C(a, b) = 0;  // (the LDLT reads the lower triangle only)
      for (int b = 0; b <= a; ++b) {
        Row ra = rows[static_cast<size_t>(a)], rb = rows[static_cast<size_t>(b)];
        double c = (a == b ? ll[static_cast<size_t>(a)] : 0);
        if (j >= 0) {
          c += RowCov(ra, rb);
        } else {
          ra.map = rb.map = -1;
          c += RowCov(ra, rb) + sig_.mapX * sig_.mapX * ra.am[0] * rb.am[0] +
               sig_.mapY * sig_.mapY * ra.am[1] * rb.am[1];
        }
        C(a, b) = c;
      }
    }
    Eigen::LDLT<MatrixXd> ldlt(C);
    if (ldlt.info() != Eigen::Success) return NAN;
    return dv.dot(ldlt.solve(dv));
  }

  // The 2 x 2 matrix M = C^T P Qvv P C of a sighting's active observations,
  // C their partials by the map tree's coordinates: a displacement delta of
  // the sighted point gives the non-centrality delta^T M delta.
  // scale: the trace of C' P C, the information of the sighting's
  // observations before the adjustment takes its share.
  Matrix2d DisplacementInformation(const Sighting& g, double& scale) const {
    scale = 0;
    std::vector<int> H;
    for (int i : {g.az, g.dist})
      if (i >= 0 && obs_[static_cast<size_t>(i)].active) H.push_back(i);
    const int q = static_cast<int>(H.size());
    MatrixXd Qvv(q, q), C(q, 2);
    for (int a = 0; a < q; ++a) {
      const size_t ia = static_cast<size_t>(H[static_cast<size_t>(a)]);
      C(a, 0) = rows_[ia].am[0];
      C(a, 1) = rows_[ia].am[1];
      for (int b = 0; b < q; ++b) {
        const size_t ib = static_cast<size_t>(H[static_cast<size_t>(b)]);
        Qvv(a, b) = (a == b ? obs_[ia].sigma * obs_[ia].sigma : 0) - RowCov(rows_[ia], rows_[ib]);
      }
    }
    MatrixXd P = MatrixXd::Zero(q, q);
    for (int a = 0; a < q; ++a) {
      const double s = obs_[static_cast<size_t>(H[static_cast<size_t>(a)])].sigma;
      P(a, a) = 1 / (s * s);
    }
    if (q == 0) return Matrix2d::Zero();
    scale = (C.transpose() * P * C).trace();
    return C.transpose() * P * Qvv * P * C;
  }

 private:
  bool AdjustFrom(bool loose, int most, bool covariances) {
    // The weights do not change during an adjustment: found once.
    w_.resize(obs_.size());
    for (size_t i = 0; i < obs_.size(); ++i) w_[i] = Weight(static_cast<int>(i));
    struct Weights {
      const double*& to;
      ~Weights() { to = nullptr; }
    } weights{weights_ = w_.data()};
    converged_ = false;
    iterations_ = 0;
    // The last full undamped step (empty: none to compare with) and its
    // share of the one before, to see where the steps creep.
    VectorXd prevDx;
    double prevQ = 0;
    // The residuals and design rows are those of the current unknowns
    // already (every change of the unknowns evaluates them); only the
    // weights may have changed.
    double vtpv = CurrentVtpv();
    double damping = 0;
    bool harder = false;
    while (iterations_ < (loose ? std::min(most, kLooseIterations) : most)) {
      if (std::isnan(vtpv)) return false;
      // A system singular on the way (a weakly tied point wandering through
      // a degenerate spot) is damped, Levenberg-Marquardt fashion, until it
      // can be solved; damping that is not needed any more is let go.
      if (!harder) damping = damping / 100 < kMinDamping ? 0 : damping / 100;
      harder = false;
      while (!Factor(damping)) {
        damping = damping == 0 ? kMinDamping : damping * 100;
        if (damping > kMaxDamping) return false;
      }
      ++iterations_;
      ++solutions_;
      VectorXd dx = Solve();
      if (!dx.allFinite()) return false;
      // Bound the step: no point moves more than kMaxStep, the bias not
      // more than kMaxStep over 10 m.
      double largest = 0;
      const int pointsEnd = 2 * static_cast<int>(fields_.size());
      for (int k = 0; k < dx.size(); k += 2) {
        if (k == pointsEnd && bias_) ++k;
        if (k + 1 >= dx.size()) break;
        // (A point well inside the bound needs no exact length: only a
        // length over the bound scales the step.)
        const double q = dx[k] * dx[k] + dx[k + 1] * dx[k + 1];
        largest = std::max(largest, q > 0.9 * kMaxStep * kMaxStep ? std::hypot(dx[k], dx[k + 1])
                                                                 : std::sqrt(q));
      }
      if (bias_) largest = std::max(largest, 10 * std::fabs(dx[R_ - 1]));
      if (largest > kMaxStep) dx *= kMaxStep / largest;
      double coordinates = 0;
      for (int k = 0; k < dx.size(); ++k)
        coordinates = std::max(coordinates, std::fabs(dx[k]) * (bias_ && k == R_ - 1 ? 10.0 : 1.0));
      const bool last = coordinates < convergence_ && damping == 0;
      double step = 1;
      bool accepted = false;
      std::vector<double>& vTrial = vTrial_;
      std::vector<Row>& rTrial = rTrial_;
      for (int h = 0; h <= kNetHalvings; ++h, step /= 2) {
        const VectorXd trial = u_ + step * dx;
        const double t = Evaluate(trial, vTrial, rTrial);
        if (last || t <= vtpv) {
          // Creeping: each full step a steady share q of the one before,
          // along it (q > 0) or back against it (q < 0), as where a point's
          // place along one direction is barely determined (a map tree
          // sighted once by distance alone, its map place near the field
          // tree): Gauss-Newton leaves out the curvature that holds it
          // there. The error left then shrinks by q a step, and the step
          // that takes it all is this one over 1 - q: that is tried
          // (halved while it does not lower vTPv below the full step's),
          // and taken where it does.
          double q = 0;
          if (h == 0 && !last && damping == 0 && prevDx.size() == dx.size()) {
            const double along = dx.dot(prevDx), norms = dx.norm() * prevDx.norm();
            if (std::fabs(along) > kCreepAlong * norms) q = along / prevDx.squaredNorm();
          }
          if (std::fabs(q) > kCreep && std::fabs(q - prevQ) < kCreepSteady) {
            bool further = false;
            const double sum = q < 1 - 1 / kCreepFarthest ? 1 / (1 - q) : kCreepFarthest;
            double ahead = std::min(sum, kMaxStep / std::max(std::min(largest, kMaxStep), 1e-12));
            do {
              const double tf = Evaluate(u_ + ahead * dx, vFar_, rFar_);
              if (tf < t) {
                u_ += ahead * dx;
                v_.swap(vFar_);
                rows_.swap(rFar_);
                vtpv = tf;
                further = true;
              }
              ahead /= 2;
            } while (!further && ahead > kCreepShortest);
            if (further) {
              accepted = true;
              prevQ = q;
              prevDx.resize(0);
              break;
            }
          }
          prevQ = q;
          prevDx = h == 0 && damping == 0 ? dx : VectorXd();
          u_ = trial;
          v_.swap(vTrial);
          rows_.swap(rTrial);
          vtpv = t;
          accepted = true;
          break;
        }
      }
      if (!accepted) {
        // No decrease along this direction: damp harder and try again.
        damping = damping == 0 ? kMinDamping : damping * 100;
        if (damping > kMaxDamping) break;
        harder = true;
        continue;
      }
      if (last) {
        converged_ = true;
        break;
      }
    }
    if (!converged_ && !loose) return false;
    vtpv_ = vtpv;
    // Converged, the last factorisation (undamped, within the convergence
    // limit of the point reached) gives the covariances.
    if (!converged_ && !Factor(0)) return false;
    if (covariances) Covariances();
    return true;
  }

  // vTPv of the active observations from the current residuals, as
  // Evaluate sums it (NaN where Evaluate found a point on a map tree).
  double CurrentVtpv() const {
    double vtpv = 0;
    for (size_t i = 0; i < obs_.size(); ++i) vtpv += Weight(static_cast<int>(i)) * v_[i] * v_[i];
    return std::isfinite(vtpv) ? vtpv : NAN;
  }

  int Add(ObservationKind kind, int field, int map, int sighting, double value, double sigma) {
    Obs o;
    o.kind = kind;
    o.field = field;
    o.map = map;
    o.sighting = sighting;
    o.observed = value;
    o.sigma = sigma;
    if (kind == ObservationKind::Azimuth) {
      o.sinObserved = std::sin(value);
      o.cosObserved = std::cos(value);
    }
    obs_.push_back(o);
    return static_cast<int>(obs_.size()) - 1;
  }

  // Residuals (computed minus observed) and design rows of every
  // observation, active or not, at u; vTPv of the active ones.
  double Evaluate(const VectorXd& u, std::vector<double>& v, std::vector<Row>& rows) const {
    v.assign(obs_.size(), 0);
    rows.resize(obs_.size());
    double vtpv = 0;
    const double bias = bias_ ? u[R_ - 1] : 0, sinBias = std::sin(bias), cosBias = std::cos(bias);
    for (size_t i = 0; i < obs_.size(); ++i) {
      const Obs& o = obs_[i];
      Row& r = rows[i];
      r = Row();
      r.map = o.map;
      r.sighting = o.sighting;
      const int mc = R_ + 2 * o.map;
      if (o.kind == ObservationKind::MapX || o.kind == ObservationKind::MapY) {
        const int k = o.kind == ObservationKind::MapX ? 0 : 1;
        v[i] = u[mc + k] - o.observed;
        r.am[k] = 1;
      } else {
        const int fc = 2 * o.field;
        const double dx = u[mc] - u[fc], dy = u[mc + 1] - u[fc + 1];
        const double s2 = dx * dx + dy * dy, s = std::sqrt(s2);
        const double s2a = std::max(s2, kNear * kNear);  // the azimuth's partials
        if (!(s > 0)) {
          v[i] = NAN;  // (so that a vTPv summed from v is NaN too)
          return NAN;
        }
        r.n = 2;
        r.col[0] = fc;
        r.col[1] = fc + 1;
        if (o.kind == ObservationKind::Azimuth) {
          v[i] = AngleBetween(dx, dy, o.sinObserved * cosBias - o.cosObserved * sinBias,
                              o.cosObserved * cosBias + o.sinObserved * sinBias);
          // (A quotient's sign flips exactly with its numerator's.)
          r.am[0] = dy / s2a;
          r.am[1] = -dx / s2a;
          r.a[0] = -r.am[0];
          r.a[1] = -r.am[1];
          if (bias_) {
            r.col[2] = R_ - 1;
            r.a[2] = 1;
            r.n = 3;
          }
        } else {
          v[i] = s - o.observed;
          r.am[0] = dx / s;
          r.am[1] = dy / s;
          r.a[0] = -r.am[0];
          r.a[1] = -r.am[1];
        }
      }
      vtpv += Weight(static_cast<int>(i)) * v[i] * v[i];
    }
    return std::isfinite(vtpv) ? vtpv : NAN;
  }

  // The columns of design row r among all the unknowns (its field tree's X
  // and Y, the bias, its map tree's X and Y: ascending) and their partials;
  // the number of them.
  int RowColumns(const Row& r, int* col, double* a) const {
    int n = 0;
    for (int k = 0; k < r.n; ++k, ++n) {
      col[n] = r.col[k];
      a[n] = r.a[k];
    }
    for (int k = 0; k < 2; ++k, ++n) {
      col[n] = R_ + 2 * r.map + k;
      a[n] = r.am[k];
    }
    return n;
  }

  // The normal equations N dx = c of every unknown; damping > 0 adds that
  // share of each diagonal element to it. False when N is singular.
  //
  // No unknowns are eliminated beforehand: the fill-reducing ordering takes
  // the field trees' and the map trees' unknowns as they come. (Eliminating
  // the map trees first, as a resection would, ties together every field
  // tree that sights one map tree: a plot of 100 field trees on 20 to 60
  // map trees then gets a factor 3 to 30 times as costly.)
  //
  // Every observation takes part, those left out with weight zero, so that
  // the pattern of N stays the same: its ordering and each term's place are
  // found once (Plan). N is held as the upper triangle of P N P^T, P the
  // fill-reducing ordering, and factorised as it stands; each term goes
  // straight to its place, in the order that a triplet assembly would sum
  // them.
  bool Factor(double damping) {
    columns_.clear();
    if (!planned_) Plan();
    const int N = Unknowns();
    double* x = S_.valuePtr();
    std::fill(x, x + S_.nonZeros(), 0.0);
    rhs_.setZero(N);
    const std::ptrdiff_t* slot = slot_.data();
    if (damping > 0) diag_.assign(static_cast<size_t>(N), 0);
    int col[5];
    double a[5];
    for (size_t i = 0; i < obs_.size(); ++i) {
      const double p = Weight(static_cast<int>(i));
      const double pv = p * v_[i];
      const int n = RowColumns(rows_[i], col, a);
      for (int k = 0; k < n; ++k) {
        const double pa = p * a[k];
        rhs_[col[k]] -= pv * a[k];
        for (int l = 0; l <= k; ++l) x[*slot++] += pa * a[l];
        if (damping > 0) diag_[static_cast<size_t>(col[k])] += pa * a[k];
      }
    }
    if (damping > 0)
      for (int k = 0; k < N; ++k) x[slot[k]] += damping * diag_[static_cast<size_t>(k)];
    // A trial under way factorises into the other factor: the one kept
    // stays the one its state was computed with.
    if (switchFactor_) {
      cur_ = 0;
      while (cur_ == kept_.factor || cur_ == best_.factor) ++cur_;
      switchFactor_ = false;
    }
    Ldlt& ldlt = ldlt_[cur_];
    if (!analysed_[cur_]) {
      ldlt.analyzePattern(S_);
      analysed_[cur_] = true;
    }
    ldlt.Factorize(S_);
    if (ldlt.info() != Eigen::Success) return false;
    const VectorXd& Dd = ldlt.vectorD();
    // Each pivot against its own diagonal element (points very near a map
    // tree give some elements far larger than the others; a map tree whose
    // coordinates are left out and that one distance alone places has a
    // pivot of rounding errors).
    for (int m = 0; m < N; ++m) {
      const std::ptrdiff_t d = diagSlot_[static_cast<size_t>(m)];
      const double own = d >= 0 ? x[d] : 0;
      if (!(own > 0) || !(Dd[m] > kPivot * own)) return false;
    }
    return true;
  }

  // The structure of the normal equations, from the design rows' columns
  // (which follow from the observations alone): the lower triangle's
  // pattern and its fill-reducing ordering (approximate minimum degree, as
  // the sparse LDLT would find it); the place of every term in the permuted
  // upper triangle, in the order Factor sums them.
  void Plan() {
    const int N = Unknowns();
    std::vector<Eigen::Triplet<double>> terms;
    int col[5];
    double a[5];
    for (size_t i = 0; i < obs_.size(); ++i) {
      const int n = RowColumns(rows_[i], col, a);
      for (int k = 0; k < n; ++k)
        for (int l = 0; l <= k; ++l) terms.emplace_back(col[k], col[l], 1.0);
    }
    for (int k = 0; k < N; ++k) terms.emplace_back(k, k, 1.0);
    Eigen::SparseMatrix<double> lower(N, N);
    lower.setFromTriplets(terms.begin(), terms.end());
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> inverse;
    {
      Eigen::SparseMatrix<double> full;
      full = lower.selfadjointView<Eigen::Lower>();
      Eigen::AMDOrdering<int>()(full, inverse);
    }
    const Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> P = inverse.inverse();
    perm_ = P.indices();
    S_.resize(N, N);
    S_.selfadjointView<Eigen::Upper>() = lower.selfadjointView<Eigen::Lower>().twistedBy(P);
    // The place of the entry (row, col) of N in S_ (whose columns keep the
    // order the permuted copy wrote them in, the order the factorisation
    // then visits them: not sorted).
    auto place = [this](int row, int col) -> std::ptrdiff_t {
      const int pr = perm_[row], pc = perm_[col];
      const int r = std::min(pr, pc), c = std::max(pr, pc);
      const int* first = S_.innerIndexPtr() + S_.outerIndexPtr()[c];
      const int* last = S_.innerIndexPtr() + S_.outerIndexPtr()[c + 1];
      const int* it = std::find(first, last, r);
      return it != last ? it - S_.innerIndexPtr() : -1;
    };
    slot_.clear();
    for (const auto& e : terms) slot_.push_back(place(e.row(), e.col()));
    // The diagonal in the factor's order.
    diagSlot_.assign(static_cast<size_t>(N), -1);
    for (int k = 0; k < N; ++k) diagSlot_[static_cast<size_t>(perm_[k])] = place(k, k);
    planned_ = true;
  }

  // N^-1 b: b taken to the factor's order and the solution back.
  VectorXd SolveS(const VectorXd& b) const {
    const int N = Unknowns();
    VectorXd pb(N);
    for (int k = 0; k < N; ++k) pb[perm_[k]] = b[k];
    const VectorXd y = ldlt_[cur_].solve(pb);
    VectorXd x(N);
    for (int k = 0; k < N; ++k) x[k] = y[perm_[k]];
    return x;
  }

  VectorXd Solve() const { return SolveS(rhs_); }

  // Q = N^-1 only where it is needed: on the pattern of the factor, which
  // holds every pair of unknowns that share an observation (Takahashi's
  // recurrence, from the last column of the factor back: Z = D^-1 L^-1 +
  // (I - L^T) Z needs no entry outside that pattern). From it, the blocks
  // that the tests read: each field tree's X, Y and the bias; each map
  // tree's X and Y; each sighting's field tree (X, Y, the bias) with its map
  // tree.
  void Covariances() {
    const int N = Unknowns();
    const Eigen::SparseMatrix<double>& L = ldlt_[cur_].matrixL().nestedExpression();
    const VectorXd& d = ldlt_[cur_].vectorD();
    // The factor's pattern is that of its first factorisation (the ordering
    // and the pattern of N do not change), and so is every place the
    // recurrence reads.
    if (!inversePlanned_) PlanInverse(L);
    std::vector<double>& lx = lx_;
    lx.resize(zi_.size());
    for (int j = 0; j < N; ++j) {
      size_t a = static_cast<size_t>(zp_[static_cast<size_t>(j)]);
      for (Eigen::SparseMatrix<double>::InnerIterator it(L, j); it; ++it)
        if (it.row() > j) lx[a++] = it.value();
    }
    zx_.assign(zi_.size(), 0);
    zd_.assign(static_cast<size_t>(N), 0);
    // Z(r_a, j) = -sum_c Z(r_a, r_c) L(r_c, j) over the rows r of column j;
    // every r_a > r_c lies in column r_c's pattern (zpos_: its place there,
    // in the order the recurrence reads them).
    const std::ptrdiff_t* pos = zpos_.data();
    for (int j = N - 1; j >= 0; --j) {
      const size_t b = static_cast<size_t>(zp_[static_cast<size_t>(j)]);
      const size_t e = static_cast<size_t>(zp_[static_cast<size_t>(j) + 1]);
      for (size_t a = b; a < e; ++a) zx_[a] = 0;
      for (size_t c = b; c < e; ++c) {
        const int k = zi_[c];
        zx_[c] -= zd_[static_cast<size_t>(k)] * lx[c];
        for (size_t a = c + 1; a < e; ++a) {
          const std::ptrdiff_t q = *pos++;
          const double z = q >= 0 ? zx_[static_cast<size_t>(q)] : NAN;
          zx_[a] -= z * lx[c];
          zx_[c] -= z * lx[a];
        }
      }
      double s = 1 / d[j];
      for (size_t c = b; c < e; ++c) s -= lx[c] * zx_[c];
      zd_[static_cast<size_t>(j)] = s;
    }
    // The blocks, read at the places found once (blockPos_; an entry
    // outside the pattern solved for). Each field tree's own block with the
    // bias.
    const std::ptrdiff_t* cp = blockPos_.data();
    auto at = [&](int a, int b) {
      const std::ptrdiff_t q = *cp++;
      return a == b ? zd_[static_cast<size_t>(perm_[a])] : q >= 0 ? zx_[static_cast<size_t>(q)] : QrrAny(a, b);
    };
    const size_t F = fields_.size();
    qf_.assign(F, Eigen::Matrix3d::Zero());
    for (size_t i = 0; i < F; ++i) {
      const int c[3] = {2 * static_cast<int>(i), 2 * static_cast<int>(i) + 1, R_ - 1};
      for (int a = 0; a < (bias_ ? 3 : 2); ++a)
        for (int b2 = 0; b2 <= a; ++b2) qf_[i](a, b2) = qf_[i](b2, a) = at(c[a], c[b2]);
    }
    // Each map tree's.
    const size_t M = maps_.size();
    Qmm_.resize(M);
    for (size_t j = 0; j < M; ++j) {
      const int c = R_ + 2 * static_cast<int>(j);
      for (int a = 0; a < 2; ++a)
        for (int b2 = 0; b2 <= a; ++b2) Qmm_[j](a, b2) = Qmm_[j](b2, a) = at(c + a, c + b2);
    }
    // Each sighting's field tree with its map tree (the bias only where the
    // sighting has an azimuth: no other row of it reads it).
    qc_.resize(sightings_.size());
    for (size_t g = 0; g < sightings_.size(); ++g) {
      const Sighting& s = sightings_[g];
      const int c[3] = {2 * s.field, 2 * s.field + 1, R_ - 1}, m = R_ + 2 * s.map;
      for (int a = 0; a < 3; ++a)
        for (int b2 = 0; b2 < 2; ++b2) {
          if (a < 2 || (bias_ && s.az >= 0))
            qc_[g](a, b2) = at(c[a], m + b2);
          else {
            qc_[g](a, b2) = NAN;
            ++cp;
          }
        }
    }
  }

  // The factor's strictly lower pattern (zp_, zi_); for the recurrence, the
  // place in column r_c of every r_a it reads (-1: not in the pattern); the
  // place of each entry of the blocks that Covariances reads.
  void PlanInverse(const Eigen::SparseMatrix<double>& L) {
    const int N = Unknowns();
    zp_.assign(static_cast<size_t>(N) + 1, 0);
    zi_.clear();
    for (int j = 0; j < N; ++j) {
      for (Eigen::SparseMatrix<double>::InnerIterator it(L, j); it; ++it)
        if (it.row() > j) zi_.push_back(static_cast<int>(it.row()));
      zp_[static_cast<size_t>(j) + 1] = static_cast<int>(zi_.size());
    }
    // Column r_c's place of row r: one walk down the column for all the
    // rows after r_c in column j (both ascend).
    zpos_.clear();
    for (int j = N - 1; j >= 0; --j) {
      const size_t b = static_cast<size_t>(zp_[static_cast<size_t>(j)]);
      const size_t e = static_cast<size_t>(zp_[static_cast<size_t>(j) + 1]);
      for (size_t c = b; c < e; ++c) {
        const int k = zi_[c];
        size_t p = static_cast<size_t>(zp_[static_cast<size_t>(k)]);
        const size_t pe = static_cast<size_t>(zp_[static_cast<size_t>(k) + 1]);
        for (size_t a = c + 1; a < e; ++a) {
          while (p < pe && zi_[p] < zi_[a]) ++p;
          zpos_.push_back(p < pe && zi_[p] == zi_[a] ? static_cast<std::ptrdiff_t>(p) : -1);
        }
      }
    }
    // The blocks' entries in the order Covariances reads them.
    blockPos_.clear();
    auto add = [this](int a, int b) { blockPos_.push_back(a == b ? -1 : ZPlace(a, b)); };
    for (size_t i = 0; i < fields_.size(); ++i) {
      const int c[3] = {2 * static_cast<int>(i), 2 * static_cast<int>(i) + 1, R_ - 1};
      for (int a = 0; a < (bias_ ? 3 : 2); ++a)
        for (int b = 0; b <= a; ++b) add(c[a], c[b]);
    }
    for (size_t j = 0; j < maps_.size(); ++j) {
      const int c = R_ + 2 * static_cast<int>(j);
      for (int a = 0; a < 2; ++a)
        for (int b = 0; b <= a; ++b) add(c + a, c + b);
    }
    for (const Sighting& s : sightings_) {
      const int c[3] = {2 * s.field, 2 * s.field + 1, R_ - 1}, m = R_ + 2 * s.map;
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 2; ++b) add(a < 2 || bias_ ? c[a] : 0, a < 2 || bias_ ? m + b : 0);
    }
    inversePlanned_ = true;
  }

  // The place in zx_ of the entry of unknowns a != b (-1: outside the
  // factor's pattern).
  std::ptrdiff_t ZPlace(int a, int b) const {
    int pa = perm_[a], pb = perm_[b];
    if (pa < pb) std::swap(pa, pb);
    const auto first = zi_.begin() + zp_[static_cast<size_t>(pb)];
    const auto last = zi_.begin() + zp_[static_cast<size_t>(pb) + 1];
    const auto it = std::lower_bound(first, last, pa);
    return it != last && *it == pa ? it - zi_.begin() : -1;
  }

  // Q(a, b); an entry outside the factor's pattern (asked for a point and
  // a map tree it does not sight) by solving for its column.
  double Qrr(int a, int b) const {
    const int fa = a / 2, fb = b / 2, F = static_cast<int>(fields_.size());
    if (fa < F && fb < F && fa == fb) return qf_[static_cast<size_t>(fa)](a % 2, b % 2);
    if (bias_ && a == R_ - 1 && fb < F) return qf_[static_cast<size_t>(fb)](2, b % 2);
    if (bias_ && b == R_ - 1 && fa < F) return qf_[static_cast<size_t>(fa)](a % 2, 2);
    return QrrAny(a, b);
  }
  double QrrAny(int a, int b) const {
    if (a == b) return zd_[static_cast<size_t>(perm_[a])];
    const std::ptrdiff_t q = ZPlace(a, b);
    return q >= 0 ? zx_[static_cast<size_t>(q)] : QrrColumn(b)[a];
  }
  // A column of Q, solved for once per factor: a candidate tree's test
  // asks for the same field tree's columns once per row pair, and every
  // candidate of a sighting for the same ones. (The reference holds until
  // the next call.)
  const VectorXd& QrrColumn(int b) const {
    for (const auto& [k, q] : columns_)
      if (k == b) return q;
    columns_.emplace_back(b, SolveS(VectorXd::Unit(Unknowns(), b)));
    return columns_.back().second;
  }

  bool bias_;
  double ox_, oy_;
  Sigmas sig_;
  std::vector<FieldUnknown> fields_;
  std::vector<MapUnknown> maps_;
  std::vector<Sighting> sightings_;
  std::vector<Obs> obs_;
  mutable std::vector<std::pair<int, VectorXd>> columns_;  // Qrr's columns solved for (QrrColumn)
  std::vector<Vector2d> start_;
  int R_ = 0;
  VectorXd u_;
  std::vector<double> v_;
  std::vector<Row> rows_;
  std::vector<double> w_;  // the weights during an adjustment
  const double* weights_ = nullptr;  // w_ while an adjustment runs
  std::vector<double> vTrial_;  // a step's residuals and rows, before it is taken
  std::vector<Row> rTrial_;
  std::vector<double> vFar_;  // and those of a creeping step's longer one
  std::vector<Row> rFar_;
  bool converged_ = false;
  double convergence_ = kConvergence;
  int iterations_ = 0;
  std::vector<int> sunk_;  // (Sunk)
  int solutions_ = 0;  // (not part of a kept adjustment: it only grows)
  double vtpv_ = 0;
  // Normal equations.
  VectorXd rhs_;
  mutable std::vector<std::vector<int>> pointObs_;  // per point (fields, then maps): its observations
  std::vector<double> diag_;    // N's diagonal before damping
  using Ldlt = PlannedLdlt;
  Ldlt ldlt_[3];  // the factor in use (cur_) and those of the kept adjustments
  int cur_ = 0;
  bool switchFactor_ = false;  // the next factorisation goes to a factor no kept adjustment uses
  bool planned_ = false;   // the structure of N is found (Plan)
  bool analysed_[3] = {false, false, false};  // each factor's pattern is found
  Eigen::SparseMatrix<double> S_;  // the upper triangle of P N P^T
  std::vector<std::ptrdiff_t> slot_;  // each term's place in S_, in the order Factor sums them
  std::vector<std::ptrdiff_t> diagSlot_;  // the diagonal's places, in the factor's order
  // The inverse of N on the factor's pattern (column-major, strictly lower,
  // rows ascending), its diagonal, and the ordering (perm_[k]: the place of
  // unknown k in the factor).
  std::vector<int> zp_, zi_;
  std::vector<double> zx_, zd_, lx_;
  bool inversePlanned_ = false;  // zp_, zi_, zpos_, blockPos_ found
  std::vector<std::ptrdiff_t> zpos_, blockPos_;
  Eigen::VectorXi perm_;
  std::vector<Eigen::Matrix3d> qf_;  // per field tree: X, Y and the bias
  std::vector<Matrix2d> Qmm_;  // per map tree
  std::vector<Eigen::Matrix<double, 3, 2>> qc_;  // per sighting: its field tree (X, Y, bias) with its map tree
  struct Kept {
    VectorXd u;
    std::vector<double> v;
    std::vector<Row> rows;
    double vtpv = 0;
    int iterations = 0;
    bool converged = false;
    std::vector<double> zx, zd;
    std::vector<Eigen::Matrix3d> qf;
    std::vector<Matrix2d> Qmm;
    std::vector<Eigen::Matrix<double, 3, 2>> qc;
    int factor = -1;  // the factor it was computed with (-1: none kept)
  } kept_, best_;  // the adjustments a trial may come back to
  void Save(Kept& k) {
    k.u = u_;
    k.v = v_;
    k.rows = rows_;
    k.vtpv = vtpv_;
    k.iterations = iterations_;
    k.converged = converged_;
    k.zx = zx_;
    k.zd = zd_;
    k.qf = qf_;
    k.Qmm = Qmm_;
    k.qc = qc_;
    k.factor = cur_;
    switchFactor_ = true;
  }
  void Load(const Kept& k) {
    columns_.clear();
    u_ = k.u;
    v_ = k.v;
    rows_ = k.rows;
    vtpv_ = k.vtpv;
    iterations_ = k.iterations;
    converged_ = k.converged;
    zx_ = k.zx;
    zd_ = k.zd;
    qf_ = k.qf;
    Qmm_ = k.Qmm;
    qc_ = k.qc;
    cur_ = k.factor;
    switchFactor_ = true;
  }
};

}  // namespace treetri::quality::net
