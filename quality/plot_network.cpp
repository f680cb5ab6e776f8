#include "quality/plot_network.h"

#include <Eigen/Dense>
#include <Eigen/Sparse>
#include <Eigen/SparseCholesky>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <string>

#include "data/angles.h"
#include "quality/chi_square.h"
#include "quality/quality_files.h"

namespace treetri::quality {

double CriticalValue(int degrees) { return ChiSquareQuantile(1 - kAlpha0, degrees); }

double NonCentrality(int degrees) {
  // Bisection on lambda: the power rises with it.
  const double k = CriticalValue(degrees);
  double lo = 0, hi = 100;
  for (int i = 0; i < 100; ++i) {
    const double mid = (lo + hi) / 2;
    if (mid == lo || mid == hi) break;  // adjacent: no halving changes them
    (NonCentralChiSquareTail(degrees, mid, k) < kPower ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

namespace {

using Eigen::Matrix2d;
using Eigen::MatrixXd;
using Eigen::Vector2d;
using Eigen::VectorXd;

constexpr double kRadToDeg = 180 / kFullPi;
constexpr double kMaxStep = 5.0;       // metres: the largest move of one point in a step
constexpr double kConvergence = 1e-4;  // metres (the bias: radians times 10 m)
constexpr int kNetIterations = 50;
constexpr int kLooseIterations = 3;  // a reweighting step needs no convergence
// A trial that does not converge by then is rejected. (Short sightings in
// dense stands converge only linearly, a quarter less each step: 15 turned
// away trials that were converging, some of them put-backs of groups that
// pass their tests.)
constexpr int kTrialIterations = 25;
// A step that does not lower vTPv is halved at most this often; then the
// normal equations are damped harder. (Where a gross error is still in,
// the Gauss-Newton direction can be a poor one: halving it thirty times
// cost up to thirty evaluations of every residual per iteration, and a
// damped direction does better. With 5 instead of 30 the snooping's
// decisions are the same; the network takes a fifth less time in dense
// young stands, about a third less where the map is off by 1 m.)
constexpr int kNetHalvings = 5;
constexpr double kMinDamping = 1e-9;   // Levenberg-Marquardt damping: the smallest used
constexpr double kMaxDamping = 1e3;    // and the largest before giving up
constexpr double kDanishC = 2.5;         // Danish weights: 1 up to this standardised residual
constexpr int kRobustIterations = 4;
// Two trees nearer than this cannot be sighted one from the other: an
// azimuth's partials are taken as at this distance there (a wrongly numbered
// sighting of the field tree's own map record would otherwise make the
// normal equations explode).
constexpr double kNear = 0.3;            // metres
constexpr double kPivot = 1e-10;         // the smallest pivot over its diagonal element
constexpr double kDetermined = 1e-6;     // a point's block: smallest over largest eigenvalue
constexpr double kMinOmega = 1e-4;       // the smallest weight factor: the system stays regular
constexpr double kLeaveOut = 0.5;        // a group weighted below this is left out
constexpr int kFewSightings = 1;         // sightings left to a field tree whose removal may give way
constexpr double kSightingTie = 0.97;    // a sighting within this share of its observation wins
constexpr double kUnseenShare = 1e-6;    // an information share below which a displacement goes unseen
constexpr double kSuggestRadius = 3.0;   // metres around the point the sighting gives
constexpr size_t kSuggestLimit = 50;     // more trees than this that near: no search
constexpr double kZeroR = 1e-8;

// The angle from the direction (sin phi, cos phi) clockwise to the
// direction (dx, dy), in [-pi, pi]: atan2(dx, dy) - phi, wrapped. Small
// angles, an azimuth's residual nearly always, take a series instead of
// atan2 (the terms left out are below 1e-18 of the angle).
double AngleBetween(double dx, double dy, double sinPhi, double cosPhi) {
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

double Median(std::vector<double> a) {
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

// A design row: up to three reduced unknowns (field tree X, Y, bias) and
// the two of one map tree.
struct Row {
  int n = 0;
  int col[3] = {};
  double a[3] = {};
  int map = -1;
  double am[2] = {};
};

enum class HypKind { Observation, Sighting, MapTree };

struct Removal {
  HypKind kind = HypKind::Observation;
  int index = 0;  // observation, sighting or map unknown
  double statistic = 0, ratio = 0;
  int degrees = 1;
  bool robust = false;     // left out by the robust start
  bool onceSighted = false;  // its map tree has no other sighting
};

// Eigen's sparse LDLT (S as given, its upper triangle) whose numeric
// factorisation reads the row patterns of the elimination tree and the
// entries each row scatters, found once from the pattern of S, instead of
// walking the tree again each time: the same operations in the same order
// as Eigen's own (up-looking) factorisation, on the same storage, so that
// its solves and its factor serve as they are.
class PlannedLdlt
    : public Eigen::SimplicialLDLT<Eigen::SparseMatrix<double>, Eigen::Upper, Eigen::NaturalOrdering<int>> {
 public:
  // After analyzePattern(ap); ap keeps its pattern from call to call.
  void Factorize(const Eigen::SparseMatrix<double>& ap) {
    const int size = static_cast<int>(ap.rows());
    if (!planned_) Plan(ap);
    const int* Lp = m_matrix.outerIndexPtr();
    int* Li = m_matrix.innerIndexPtr();
    double* Lx = m_matrix.valuePtr();
    const double* ax = ap.valuePtr();
    m_diag.resize(size);
    y_.assign(static_cast<size_t>(size), 0.0);
    double* y = y_.data();
    bool ok = true;
    for (int k = 0; k < size; ++k) {
      m_nonZerosPerCol[k] = 0;
      for (int e = scatterStart_[static_cast<size_t>(k)]; e < scatterStart_[static_cast<size_t>(k) + 1]; ++e)
        y[scatterRow_[static_cast<size_t>(e)]] += ax[scatterAt_[static_cast<size_t>(e)]];
      double d = y[k] * m_shiftScale + m_shiftOffset;
      y[k] = 0;
      for (int t = patternStart_[static_cast<size_t>(k)]; t < patternStart_[static_cast<size_t>(k) + 1]; ++t) {
        const int i = pattern_[static_cast<size_t>(t)];
        const double yi = y[i];
        y[i] = 0;
        const double lki = yi / m_diag[i];
        const int p2 = Lp[i] + m_nonZerosPerCol[i];
        int p;
        for (p = Lp[i]; p < p2; ++p) y[Li[p]] -= Lx[p] * yi;
        d -= lki * yi;
        Li[p] = k;
        Lx[p] = lki;
        ++m_nonZerosPerCol[i];
      }
      m_diag[k] = d;
      if (d == 0) {
        ok = false;
        break;
      }
    }
    m_info = ok ? Eigen::Success : Eigen::NumericalIssue;
    m_factorizationIsOk = true;
  }

 private:
  // Per row k: the entries of column k of ap on or above the diagonal (in
  // storage order) and the nonzero pattern of row k of L in the order the
  // tree walk gives it.
  void Plan(const Eigen::SparseMatrix<double>& ap) {
    const int size = static_cast<int>(ap.rows());
    std::vector<int> tags(static_cast<size_t>(size), -1), pattern(static_cast<size_t>(size));
    scatterStart_.assign(1, 0);
    patternStart_.assign(1, 0);
    scatterRow_.clear();
    scatterAt_.clear();
    pattern_.clear();
    for (int k = 0; k < size; ++k) {
      int top = size;
      tags[static_cast<size_t>(k)] = k;
      for (Eigen::SparseMatrix<double>::InnerIterator it(ap, k); it; ++it) {
        int i = static_cast<int>(it.index());
        if (i > k) continue;
        scatterRow_.push_back(i);
        scatterAt_.push_back(static_cast<int>(&it.value() - ap.valuePtr()));
        int len = 0;
        for (; tags[static_cast<size_t>(i)] != k; i = m_parent[i]) {
          pattern[static_cast<size_t>(len++)] = i;
          tags[static_cast<size_t>(i)] = k;
        }
        while (len > 0) pattern[static_cast<size_t>(--top)] = pattern[static_cast<size_t>(--len)];
      }
      scatterStart_.push_back(static_cast<int>(scatterRow_.size()));
      pattern_.insert(pattern_.end(), pattern.begin() + top, pattern.end());
      patternStart_.push_back(static_cast<int>(pattern_.size()));
    }
    planned_ = true;
  }

  bool planned_ = false;
  std::vector<int> scatterStart_, scatterRow_, scatterAt_, patternStart_, pattern_;
  std::vector<double> y_;
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
    u_ = saved;
    Evaluate(u_, v_, rows_);
    return false;
  }

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
  int Iterations() const { return iterations_; }
  bool HasBias() const { return bias_; }
  double Bias() const { return bias_ ? u_[R_ - 1] : 0; }
  double BiasSigma() const { return bias_ ? std::sqrt(Qrr(R_ - 1, R_ - 1)) : 0; }

  double Weight(int i) const {
    if (weights_) return weights_[i];
    const Obs& o = obs_[static_cast<size_t>(i)];
    return o.active ? o.omega / (o.sigma * o.sigma) : 0;
  }
  // a Q b^T for two rows on the same map tree (or without one).
  double RowCov(const Row& a, const Row& b) const {
    double s = 0;
    if (a.n >= 2 && b.n >= 2 && a.col[0] == b.col[0] && a.col[0] / 2 < static_cast<int>(qf_.size())) {
      // Rows of one field tree (X, Y, the bias): its own block, which holds
      // the entries Qrr gives them.
      const Eigen::Matrix3d& q = qf_[static_cast<size_t>(a.col[0] / 2)];
      for (int k = 0; k < a.n; ++k)
        for (int l = 0; l < b.n; ++l) s += a.a[k] * b.a[l] * q(k, l);
    } else {
      for (int k = 0; k < a.n; ++k)
        for (int l = 0; l < b.n; ++l) s += a.a[k] * b.a[l] * Qrr(a.col[k], b.col[l]);
    }
    if (a.map >= 0 && a.map == b.map) {
      const size_t j = static_cast<size_t>(a.map);
      const Vector2d am(a.am[0], a.am[1]), bm(b.am[0], b.am[1]);
      s += am.dot(Qmm_[j] * bm);
      // Q(r, m) = -G: the reduced unknowns with the map tree.
      for (int k = 0; k < a.n; ++k) s -= a.a[k] * GRow(j, a.col[k]).dot(bm);
      for (int l = 0; l < b.n; ++l) s -= b.a[l] * GRow(j, b.col[l]).dot(am);
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
      const bool last = coordinates < kConvergence && damping == 0;
      double step = 1;
      bool accepted = false;
      std::vector<double>& vTrial = vTrial_;
      std::vector<Row>& rTrial = rTrial_;
      for (int h = 0; h <= kNetHalvings; ++h, step /= 2) {
        const VectorXd trial = u_ + step * dx;
        const double t = Evaluate(trial, vTrial, rTrial);
        if (last || t <= vtpv) {
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

  // The reduced normal equations S dr = c: every map tree's 2 x 2 block
  // eliminated; damping > 0 adds that share of each diagonal element to it.
  // False when S is singular.
  //
  // Every observation takes part, those left out with weight zero, so that
  // the pattern of S stays the same: its ordering, each term's place and
  // the structure of the map trees' blocks are found once (Plan). S is held
  // as the upper triangle of P S P^T, P the fill-reducing ordering, and
  // factorised as it stands; each term goes straight to its place, in the
  // order that a triplet assembly would sum them.
  bool Factor(double damping) {
    if (!planned_) Plan();
    const size_t M = maps_.size();
    for (auto& n : Nrj_)
      for (auto& e : n) e.second.setZero();
    Dinv_.resize(M);
    D_.assign(M, Matrix2d::Zero());
    cm_.assign(M, Vector2d::Zero());
    cr_.setZero(R_);
    double* x = S_.valuePtr();
    std::fill(x, x + S_.nonZeros(), 0.0);
    const std::ptrdiff_t* slot = slot_.data();
    if (damping > 0) diag_.assign(static_cast<size_t>(R_), 0);
    for (size_t i = 0; i < obs_.size(); ++i) {
      const double p = Weight(static_cast<int>(i));
      const double pv = p * v_[i];
      const Row& r = rows_[i];
      const Vector2d am(r.am[0], r.am[1]);
      const size_t j = static_cast<size_t>(r.map);
      const int* at = &nrjAt_[3 * i];
      // (A row's columns ascend: field X, field Y, the bias; so the lower
      // triangle's terms of column k are those of l <= k.)
      for (int k = 0; k < r.n; ++k) {
        const double pa = p * r.a[k];
        cr_[r.col[k]] -= pv * r.a[k];
        for (int l = 0; l <= k; ++l) x[*slot++] += pa * r.a[l];
        if (damping > 0) diag_[static_cast<size_t>(r.col[k])] += pa * r.a[k];
        Nrj_[j][static_cast<size_t>(at[k])].second += pa * am;
      }
      D_[j] += p * am * am.transpose();
      cm_[j] -= pv * am;
    }
    if (damping > 0) {
      for (size_t j = 0; j < M; ++j) D_[j].diagonal() *= 1 + damping;
      for (int k = 0; k < R_; ++k) x[slot[k]] += damping * diag_[static_cast<size_t>(k)];
    }
    slot += R_;
    rhs_ = cr_;
    for (size_t j = 0; j < M; ++j) {
      const Matrix2d& D = D_[j];
      const double det = D.determinant();
      if (!(det > 1e-12 * D(0, 0) * D(1, 1)) || !(D(0, 0) > 0)) return false;
      Dinv_[j] = D.inverse();
      const auto& touching = Nrj_[j];
      const int* pair = pairs_[j].data();
      for (const auto& [k, nk] : touching) {
        const Eigen::RowVector2d e = nk.transpose() * Dinv_[j];
        rhs_[k] -= e.dot(cm_[j]);
        // The unknowns l <= k among those touching the map tree.
        for (int b = *pair++; b >= 0; b = *pair++)
          x[*slot++] += -e.dot(touching[static_cast<size_t>(b)].second);
      }
    }
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
    // tree give some elements far larger than the others).
    for (int m = 0; m < R_; ++m) {
      const std::ptrdiff_t d = diagSlot_[static_cast<size_t>(m)];
      const double own = d >= 0 ? x[d] : 0;
      if (!(own > 0) || !(Dd[m] > kPivot * own)) return false;
    }
    return true;
  }

  // The structure of the reduced normal equations, from the design rows'
  // columns (which follow from the observations alone): the unknowns that
  // touch each map tree, in the order the rows meet them, and each row's
  // place among them; the lower triangle's pattern and its fill-reducing
  // ordering (approximate minimum degree, as the sparse LDLT would find it);
  // the place of every term in the permuted upper triangle, in the order
  // Factor sums them.
  void Plan() {
    const size_t M = maps_.size();
    Nrj_.assign(M, {});
    nrjAt_.assign(3 * obs_.size(), -1);
    std::vector<Eigen::Triplet<double>> terms;
    for (size_t i = 0; i < obs_.size(); ++i) {
      const Row& r = rows_[i];
      auto& touching = Nrj_[static_cast<size_t>(r.map)];
      for (int k = 0; k < r.n; ++k) {
        for (int l = 0; l <= k; ++l) terms.emplace_back(r.col[k], r.col[l], 1.0);
        size_t a = 0;
        while (a < touching.size() && touching[a].first != r.col[k]) ++a;
        if (a == touching.size()) touching.emplace_back(r.col[k], Vector2d::Zero());
        nrjAt_[3 * i + static_cast<size_t>(k)] = static_cast<int>(a);
      }
    }
    for (int k = 0; k < R_; ++k) terms.emplace_back(k, k, 1.0);
    // Per map tree, for each unknown k touching it, the places b of those
    // l <= k (in the order met), each list ended by -1; and where each
    // unknown stands in the list (nrjPos_, -1: it does not touch the tree).
    pairs_.assign(M, {});
    nrjPos_.assign(M * static_cast<size_t>(R_), -1);
    for (size_t j = 0; j < M; ++j) {
      const auto& touching = Nrj_[j];
      for (size_t a = 0; a < touching.size(); ++a) {
        const int k = touching[a].first;
        nrjPos_[j * static_cast<size_t>(R_) + static_cast<size_t>(k)] = static_cast<int>(a);
        for (size_t b = 0; b < touching.size(); ++b)
          if (k >= touching[b].first) {
            terms.emplace_back(k, touching[b].first, 1.0);
            pairs_[j].push_back(static_cast<int>(b));
          }
        pairs_[j].push_back(-1);
      }
    }
    Eigen::SparseMatrix<double> lower(R_, R_);
    lower.setFromTriplets(terms.begin(), terms.end());
    Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> inverse;
    {
      Eigen::SparseMatrix<double> full;
      full = lower.selfadjointView<Eigen::Lower>();
      Eigen::AMDOrdering<int>()(full, inverse);
    }
    const Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int> P = inverse.inverse();
    perm_ = P.indices();
    S_.resize(R_, R_);
    S_.selfadjointView<Eigen::Upper>() = lower.selfadjointView<Eigen::Lower>().twistedBy(P);
    // The place of the entry (row, col) of S in S_ (whose columns keep the
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
    diagSlot_.assign(static_cast<size_t>(R_), -1);
    for (int k = 0; k < R_; ++k) diagSlot_[static_cast<size_t>(perm_[k])] = place(k, k);
    planned_ = true;
  }

  // S^-1 b: b taken to the factor's order and the solution back.
  VectorXd SolveS(const VectorXd& b) const {
    VectorXd pb(R_);
    for (int k = 0; k < R_; ++k) pb[perm_[k]] = b[k];
    const VectorXd y = ldlt_[cur_].solve(pb);
    VectorXd x(R_);
    for (int k = 0; k < R_; ++k) x[k] = y[perm_[k]];
    return x;
  }

  VectorXd Solve() const {
    VectorXd dx(Unknowns());
    const VectorXd dr = SolveS(rhs_);
    dx.head(R_) = dr;
    for (size_t j = 0; j < maps_.size(); ++j) {
      Vector2d b = cm_[j];
      for (const auto& [k, nk] : Nrj_[j]) b -= nk * dr[k];
      dx.segment<2>(R_ + 2 * static_cast<int>(j)) = Dinv_[j] * b;
    }
    return dx;
  }

  // Qrr = S^-1 only where it is needed: on the pattern of the factor, which
  // holds every pair of reduced unknowns that share a map tree or an
  // observation (Takahashi's recurrence, from the last column of the factor
  // back: Z = D^-1 L^-1 + (I - L^T) Z needs no entry outside that pattern).
  // Per map tree, the rows of G = Qrr E (E = Nrj Dinv) of the unknowns that
  // touch it, and Qmm = Dinv + E^T G.
  void Covariances() {
    const Eigen::SparseMatrix<double>& L = ldlt_[cur_].matrixL().nestedExpression();
    const VectorXd& d = ldlt_[cur_].vectorD();
    // The factor's pattern is that of its first factorisation (the ordering
    // and the pattern of S do not change), and so is every place the
    // recurrence reads.
    if (!inversePlanned_) PlanInverse(L);
    std::vector<double>& lx = lx_;
    lx.resize(zi_.size());
    for (int j = 0; j < R_; ++j) {
      size_t a = static_cast<size_t>(zp_[static_cast<size_t>(j)]);
      for (Eigen::SparseMatrix<double>::InnerIterator it(L, j); it; ++it)
        if (it.row() > j) lx[a++] = it.value();
    }
    zx_.assign(zi_.size(), 0);
    zd_.assign(static_cast<size_t>(R_), 0);
    // Z(r_a, j) = -sum_c Z(r_a, r_c) L(r_c, j) over the rows r of column j;
    // every r_a > r_c lies in column r_c's pattern (zpos_: its place there,
    // in the order the recurrence reads them).
    const std::ptrdiff_t* pos = zpos_.data();
    for (int j = R_ - 1; j >= 0; --j) {
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
    // Each field tree's own block with the bias, for the tests.
    const size_t F = fields_.size();
    qf_.assign(F, Eigen::Matrix3d::Zero());
    for (size_t i = 0; i < F; ++i) {
      const int c[3] = {2 * static_cast<int>(i), 2 * static_cast<int>(i) + 1, R_ - 1};
      for (int a = 0; a < (bias_ ? 3 : 2); ++a)
        for (int b2 = 0; b2 <= a; ++b2) qf_[i](a, b2) = qf_[i](b2, a) = QrrAny(c[a], c[b2]);
    }
    const size_t M = maps_.size();
    E_.resize(M);
    G_.resize(M);
    for (auto& e : E_) e.clear();
    for (auto& g : G_) g.clear();
    Qmm_.assign(M, Matrix2d::Zero());
    MatrixXd Qj;
    const std::ptrdiff_t* mpos = mapPos_.data();
    for (size_t j = 0; j < M; ++j) {
      for (const auto& [k, nk] : Nrj_[j]) E_[j].push_back(nk.transpose() * Dinv_[j]);
      // Qrr among the unknowns that touch the map tree, in the factor's
      // order (mapOrder_), read at the places found once (mapPos_).
      const size_t n = Nrj_[j].size();
      const std::vector<std::pair<int, size_t>>& order = mapOrder_[j];
      Qj.resize(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
      for (size_t s = 0; s < n; ++s) {
        const auto [pa, a] = order[s];
        const Eigen::Index ia = static_cast<Eigen::Index>(a);
        Qj(ia, ia) = zd_[static_cast<size_t>(pa)];
        for (size_t t = s + 1; t < n; ++t) {
          const size_t b = order[t].second;
          const std::ptrdiff_t q = *mpos++;
          const double z = q >= 0 ? zx_[static_cast<size_t>(q)] : QrrAny(Nrj_[j][a].first, Nrj_[j][b].first);
          Qj(ia, static_cast<Eigen::Index>(b)) = Qj(static_cast<Eigen::Index>(b), ia) = z;
        }
      }
      Qmm_[j] = Dinv_[j];
      for (size_t a = 0; a < n; ++a) {
        const int k = Nrj_[j][a].first;
        Eigen::RowVector2d g = Eigen::RowVector2d::Zero();
        for (size_t b = 0; b < n; ++b)
          g += Qj(static_cast<Eigen::Index>(a), static_cast<Eigen::Index>(b)) * E_[j][b];
        G_[j].emplace_back(k, g);
        Qmm_[j] += E_[j][a].transpose() * g;
      }
    }
  }

  // The factor's strictly lower pattern (zp_, zi_); for the recurrence, the
  // place in column r_c of every r_a it reads (-1: not in the pattern); per
  // map tree, the unknowns that touch it in the factor's order and the place
  // of each pair among them.
  void PlanInverse(const Eigen::SparseMatrix<double>& L) {
    zp_.assign(static_cast<size_t>(R_) + 1, 0);
    zi_.clear();
    for (int j = 0; j < R_; ++j) {
      for (Eigen::SparseMatrix<double>::InnerIterator it(L, j); it; ++it)
        if (it.row() > j) zi_.push_back(static_cast<int>(it.row()));
      zp_[static_cast<size_t>(j) + 1] = static_cast<int>(zi_.size());
    }
    // Column r_c's place of row r: one walk down the column for all the
    // rows after r_c in column j (both ascend).
    zpos_.clear();
    for (int j = R_ - 1; j >= 0; --j) {
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
    const size_t M = maps_.size();
    mapOrder_.assign(M, {});
    mapPos_.clear();
    for (size_t j = 0; j < M; ++j) {
      std::vector<std::pair<int, size_t>>& order = mapOrder_[j];
      const size_t n = Nrj_[j].size();
      for (size_t a = 0; a < n; ++a) order.emplace_back(perm_[Nrj_[j][a].first], a);
      std::sort(order.begin(), order.end());
      for (size_t s = 0; s < n; ++s) {
        const int pa = order[s].first;
        size_t p = static_cast<size_t>(zp_[static_cast<size_t>(pa)]);
        const size_t pe = static_cast<size_t>(zp_[static_cast<size_t>(pa) + 1]);
        for (size_t t = s + 1; t < n; ++t) {
          const int pb = order[t].first;
          while (p < pe && zi_[p] < pb) ++p;
          mapPos_.push_back(p < pe && zi_[p] == pb ? static_cast<std::ptrdiff_t>(p) : -1);
        }
      }
    }
    inversePlanned_ = true;
  }

  // An entry of the inverse in the factor's order, on the factor's pattern.
  double Z(int a, int b) const {
    if (a == b) return zd_[static_cast<size_t>(a)];
    if (a < b) std::swap(a, b);
    const auto first = zi_.begin() + zp_[static_cast<size_t>(b)];
    const auto last = zi_.begin() + zp_[static_cast<size_t>(b) + 1];
    const auto it = std::lower_bound(first, last, a);
    return it != last && *it == a ? zx_[static_cast<size_t>(it - zi_.begin())] : NAN;
  }

  // Qrr(a, b); an entry outside the factor's pattern (asked for a point and
  // a map tree it does not sight) by solving for its column.
  double Qrr(int a, int b) const {
    const int fa = a / 2, fb = b / 2, F = static_cast<int>(fields_.size());
    if (fa < F && fb < F && fa == fb) return qf_[static_cast<size_t>(fa)](a % 2, b % 2);
    if (bias_ && a == R_ - 1 && fb < F) return qf_[static_cast<size_t>(fb)](2, b % 2);
    if (bias_ && b == R_ - 1 && fa < F) return qf_[static_cast<size_t>(fa)](a % 2, 2);
    return QrrAny(a, b);
  }
  double QrrAny(int a, int b) const {
    const double z = Z(perm_[a], perm_[b]);
    return std::isnan(z) ? QrrColumn(b)[a] : z;
  }
  VectorXd QrrColumn(int b) const { return SolveS(VectorXd::Unit(R_, b)); }

  // Row k of G for map tree j.
  Eigen::RowVector2d GRow(int j, int k) const {
    const size_t J = static_cast<size_t>(j);
    // G_[j] holds the unknowns touching the tree in the order of Nrj_[j].
    const int a = nrjPos_[J * static_cast<size_t>(R_) + static_cast<size_t>(k)];
    if (a >= 0 && static_cast<size_t>(a) < G_[J].size()) return G_[J][static_cast<size_t>(a)].second;
    const VectorXd q = QrrColumn(k);
    Eigen::RowVector2d g = Eigen::RowVector2d::Zero();
    for (size_t b = 0; b < Nrj_[J].size(); ++b) g += q[Nrj_[J][b].first] * E_[J][b];
    return g;
  }

  bool bias_;
  double ox_, oy_;
  Sigmas sig_;
  std::vector<FieldUnknown> fields_;
  std::vector<MapUnknown> maps_;
  std::vector<Sighting> sightings_;
  std::vector<Obs> obs_;
  std::vector<Vector2d> start_;
  int R_ = 0;
  VectorXd u_;
  std::vector<double> v_;
  std::vector<Row> rows_;
  std::vector<double> w_;  // the weights during an adjustment
  const double* weights_ = nullptr;  // w_ while an adjustment runs
  std::vector<double> vTrial_;  // a step's residuals and rows, before it is taken
  std::vector<Row> rTrial_;
  bool converged_ = false;
  int iterations_ = 0;
  double vtpv_ = 0;
  // Normal equations.
  std::vector<std::vector<std::pair<int, Vector2d>>> Nrj_;
  std::vector<Matrix2d> Dinv_;
  std::vector<Vector2d> cm_;
  VectorXd cr_, rhs_;
  mutable std::vector<std::vector<int>> pointObs_;  // per point (fields, then maps): its observations
  std::vector<Matrix2d> D_;     // the map trees' blocks
  std::vector<double> diag_;    // S's diagonal before damping
  using Ldlt = PlannedLdlt;
  Ldlt ldlt_[3];  // the factor in use (cur_) and those of the kept adjustments
  int cur_ = 0;
  bool switchFactor_ = false;  // the next factorisation goes to a factor no kept adjustment uses
  bool planned_ = false;   // the structure of S is found (Plan)
  bool analysed_[3] = {false, false, false};  // each factor's pattern is found
  Eigen::SparseMatrix<double> S_;  // the upper triangle of P S P^T
  std::vector<int> nrjAt_;  // per row (3 a row): each column's place in its map tree's Nrj_
  std::vector<int> nrjPos_;  // per map tree and unknown: its place in Nrj_, -1 if none
  std::vector<std::vector<int>> pairs_;  // per map tree: the pairs of its block's terms
  std::vector<std::ptrdiff_t> slot_;  // each term's place in S_, in the order Factor sums them
  std::vector<std::ptrdiff_t> diagSlot_;  // the diagonal's places, in the factor's order
  // The inverse of S on the factor's pattern (column-major, strictly lower,
  // rows ascending), its diagonal, and the ordering (perm_[k]: the place of
  // unknown k in the factor).
  std::vector<int> zp_, zi_;
  std::vector<double> zx_, zd_, lx_;
  bool inversePlanned_ = false;  // zp_, zi_, zpos_, mapOrder_, mapPos_ found
  std::vector<std::ptrdiff_t> zpos_, mapPos_;
  std::vector<std::vector<std::pair<int, size_t>>> mapOrder_;
  std::vector<Eigen::Matrix3d> qf_;  // per field tree: X, Y and the bias
  Eigen::VectorXi perm_;
  std::vector<std::vector<Eigen::RowVector2d>> E_;
  std::vector<std::vector<std::pair<int, Eigen::RowVector2d>>> G_;
  std::vector<Matrix2d> Qmm_;
  struct Kept {
    VectorXd u;
    std::vector<double> v;
    std::vector<Row> rows;
    double vtpv = 0;
    int iterations = 0;
    bool converged = false;
    std::vector<std::vector<std::pair<int, Vector2d>>> Nrj;
    std::vector<Matrix2d> Dinv;
    std::vector<double> zx, zd;
    std::vector<Eigen::Matrix3d> qf;
    std::vector<std::vector<Eigen::RowVector2d>> E;
    std::vector<std::vector<std::pair<int, Eigen::RowVector2d>>> G;
    std::vector<Matrix2d> Qmm;
    int factor = -1;  // the factor it was computed with (-1: none kept)
  } kept_, best_;  // the adjustments a trial may come back to
  void Save(Kept& k) {
    k.u = u_;
    k.v = v_;
    k.rows = rows_;
    k.vtpv = vtpv_;
    k.iterations = iterations_;
    k.converged = converged_;
    k.Nrj = Nrj_;
    k.Dinv = Dinv_;
    k.zx = zx_;
    k.zd = zd_;
    k.qf = qf_;
    k.E = E_;
    k.G = G_;
    k.Qmm = Qmm_;
    k.factor = cur_;
    switchFactor_ = true;
  }
  void Load(const Kept& k) {
    u_ = k.u;
    v_ = k.v;
    rows_ = k.rows;
    vtpv_ = k.vtpv;
    iterations_ = k.iterations;
    converged_ = k.converged;
    Nrj_ = k.Nrj;
    Dinv_ = k.Dinv;
    zx_ = k.zx;
    zd_ = k.zd;
    qf_ = k.qf;
    E_ = k.E;
    G_ = k.G;
    Qmm_ = k.Qmm;
    cur_ = k.factor;
    switchFactor_ = true;
  }
};


// The observations of a hypothesis.
std::vector<int> HypothesisObservations(const Network& n, HypKind kind, int index) {
  std::vector<int> H;
  if (kind == HypKind::Observation) {
    H.push_back(index);
  } else if (kind == HypKind::Sighting) {
    const Sighting& g = n.Sightings()[static_cast<size_t>(index)];
    for (int i : {g.az, g.dist})
      if (i >= 0) H.push_back(i);
  } else {
    const MapUnknown& m = n.Maps()[static_cast<size_t>(index)];
    H = {m.obsX, m.obsY};
  }
  return H;
}

bool AllActive(const Network& n, const std::vector<int>& H, bool active) {
  for (int i : H)
    if (n.Observations()[static_cast<size_t>(i)].active != active) return false;
  return !H.empty();
}

void SetActive(Network& n, const std::vector<int>& H, bool active) {
  for (int i : H) n.Observations()[static_cast<size_t>(i)].active = active;
}

// Active sightings of a map tree (with at least one active observation).
int ActiveSightings(const Network& n, int map) {
  int k = 0;
  for (int si : n.Maps()[static_cast<size_t>(map)].sightings) {
    const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
    bool any = false;
    for (int i : {g.az, g.dist}) any = any || (i >= 0 && n.Observations()[static_cast<size_t>(i)].active);
    k += any;
  }
  return k;
}

struct Candidate {
  HypKind kind = HypKind::Observation;
  int index = 0, degrees = 1;
  double statistic = 0, ratio = 0;
};

// Every testable hypothesis of the active network, each with its statistic.
std::vector<Candidate> Hypotheses(const Network& n, double crit1, double crit2) {
  std::vector<Candidate> out;
  const std::vector<Obs>& obs = n.Observations();
  for (size_t i = 0; i < obs.size(); ++i) {
    if (!obs[i].active || obs[i].field < 0) continue;
    const double T = n.Statistic({static_cast<int>(i)}, false);
    if (std::isfinite(T)) out.push_back({HypKind::Observation, static_cast<int>(i), 1, T, T / crit1});
  }
  for (size_t s = 0; s < n.Sightings().size(); ++s) {
    const Sighting& g = n.Sightings()[s];
    if (g.az < 0 || g.dist < 0) continue;
    const std::vector<int> H = {g.az, g.dist};
    if (!AllActive(n, H, true)) continue;
    const double T = n.Statistic(H, false);
    if (std::isfinite(T)) out.push_back({HypKind::Sighting, static_cast<int>(s), 2, T, T / crit2});
  }
  for (size_t j = 0; j < n.Maps().size(); ++j) {
    const MapUnknown& m = n.Maps()[j];
    // Sighted once, the map tree's test is its sighting's.
    if (!AllActive(n, {m.obsX, m.obsY}, true) || ActiveSightings(n, static_cast<int>(j)) < 2)
      continue;
    const double T = n.Statistic({m.obsX, m.obsY}, false);
    if (std::isfinite(T)) out.push_back({HypKind::MapTree, static_cast<int>(j), 2, T, T / crit2});
  }
  return out;
}

// The most significant hypothesis; a sighting whose ratio comes within
// kSightingTie of one of its own observations wins over it.
const Candidate* Strongest(const Network& n, const std::vector<Candidate>& c) {
  const Candidate* best = nullptr;
  for (const Candidate& h : c)
    if (!best || h.ratio > best->ratio) best = &h;
  if (best && best->kind == HypKind::Observation) {
    const int s = n.Observations()[static_cast<size_t>(best->index)].sighting;
    for (const Candidate& h : c)
      if (h.kind == HypKind::Sighting && h.index == s && h.ratio >= kSightingTie * best->ratio)
        return &h;
  }
  return best;
}

// Whether the active observations H of one sighting pass their tests: each
// its own 1-degree test, and the two together their 2-degree test.
bool Passes(const Network& n, const std::vector<int>& H, double crit1, double crit2) {
  for (int i : H)
    if (n.Statistic({i}, false) > crit1) return false;
  return H.size() != 2 || !(n.Statistic(H, false) > crit2);
}

bool OnceSighted(const Network& n, HypKind kind, int index) {
  if (kind == HypKind::MapTree) return false;
  const int s = kind == HypKind::Sighting ? index
                                          : n.Observations()[static_cast<size_t>(index)].sighting;
  const int map = n.Sightings()[static_cast<size_t>(s)].map;
  return n.Maps()[static_cast<size_t>(map)].sightings.size() == 1;
}

// Robust start: Danish reweighting by groups (a sighting, a map tree's
// coordinates), groups below kLeaveOut left out, then put back one at a
// time (or one observation of a sighting) while each passes its predicted
// test. Returns the groups that stay out. False when the network cannot be
// adjusted.
bool RobustStart(Network& n, double crit1, double crit2, std::vector<Removal>& out) {
  std::vector<Obs>& obs = n.Observations();
  const size_t S = n.Sightings().size(), M = n.Maps().size();
  // The first weights come from the residuals at the start (a plain
  // adjustment with 180-degree blunders in it may not converge at all),
  // standardised by the a-priori errors alone.
  bool first = true;
  for (int it = 0; it <= kRobustIterations; ++it, first = false) {
    std::vector<double> omega(obs.size(), 1);
    for (size_t i = 0; i < obs.size(); ++i) {
      const double r = first ? 1 : std::max(n.Redundancy(static_cast<int>(i)), 0.05);
      const double u = std::fabs(n.Residuals()[i]) /
                       (first ? n.StartSigma(static_cast<int>(i)) : obs[i].sigma * std::sqrt(r));
      omega[i] = u <= kDanishC ? 1 : std::max(std::exp(-(u - kDanishC) * (u - kDanishC) / 8), kMinOmega);
    }
    auto group = [&](const std::vector<int>& H) {
      double w = 1;
      for (int i : H) w = std::min(w, omega[static_cast<size_t>(i)]);
      for (int i : H) omega[static_cast<size_t>(i)] = w;
    };
    for (size_t s = 0; s < S; ++s) group(HypothesisObservations(n, HypKind::Sighting, static_cast<int>(s)));
    for (size_t j = 0; j < M; ++j) group(HypothesisObservations(n, HypKind::MapTree, static_cast<int>(j)));
    double change = 0;
    for (size_t i = 0; i < obs.size(); ++i) {
      change = std::max(change, std::fabs(obs[i].omega - omega[i]));
      obs[i].omega = omega[i];
    }
    // The last step's covariances are not read: what follows reads the
    // weights and the design rows only.
    const bool last = it == kRobustIterations || (!first && change < 0.01);
    if (!n.Adjust(true, kNetIterations, !last)) {
      for (Obs& o : obs) o.omega = 1;
      if (!n.Adjust(true, kNetIterations, false)) return false;
      break;
    }
    if (last) break;
  }
  // Leave out the groups weighted below kLeaveOut, the lowest first, each
  // only when every point stays determined without it (a group that would
  // leave a point free stays in; snooping tests it).
  std::vector<std::pair<double, std::pair<HypKind, int>>> low;
  for (size_t s = 0; s < S; ++s) {
    const std::vector<int> H = HypothesisObservations(n, HypKind::Sighting, static_cast<int>(s));
    if (!H.empty() && obs[static_cast<size_t>(H[0])].omega < kLeaveOut)
      low.push_back({obs[static_cast<size_t>(H[0])].omega, {HypKind::Sighting, static_cast<int>(s)}});
  }
  // A map tree sighted once cannot be told from its sighting; its sighting
  // is the group left out (the map coordinates, with the larger a-priori
  // error, take up a wrong number's misfit and would be blamed instead).
  for (size_t j = 0; j < M; ++j) {
    const MapUnknown& m = n.Maps()[j];
    const double w = obs[static_cast<size_t>(m.obsX)].omega;
    if (w >= kLeaveOut) continue;
    if (m.sightings.size() >= 2) {
      low.push_back({w, {HypKind::MapTree, static_cast<int>(j)}});
      continue;
    }
    const int s = m.sightings.front();
    auto it = std::find_if(low.begin(), low.end(), [&](const auto& g) {
      return g.second == std::pair{HypKind::Sighting, s};
    });
    if (it == low.end()) low.push_back({w, {HypKind::Sighting, s}});
    else it->first = std::min(it->first, w);
  }
  std::stable_sort(low.begin(), low.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (Obs& o : obs) o.omega = 1;
  std::vector<std::pair<HypKind, int>> out_;
  std::vector<char> regular = n.Regular(), without;
  for (const auto& [w, g] : low) {
    const std::vector<int> H = HypothesisObservations(n, g.first, g.second);
    SetActive(n, H, false);
    without = regular;
    n.RegularAfter(H, without);
    if (std::all_of(without.begin(), without.end(), [](char r) { return r != 0; })) {
      out_.push_back(g);
      regular.swap(without);
    } else {
      SetActive(n, H, true);
    }
  }
  // A network that the leaving out made singular all the same gets its
  // groups back, the map trees first.
  while (!n.Adjust()) {
    if (out_.empty()) return false;
    std::stable_sort(out_.begin(), out_.end(), [](const auto& a, const auto& b) {
      return a.first == HypKind::MapTree && b.first != HypKind::MapTree;
    });
    SetActive(n, HypothesisObservations(n, out_.front().first, out_.front().second), true);
    out_.erase(out_.begin());
  }
  // Put back while groups pass their predicted test: in each round every
  // passing group whose field tree and map tree no other passing group of
  // the round touches (the best first), so that one adjustment serves
  // several; should that adjustment fail, only the best goes back, and
  // should that fail too, the best stays out and the others are tried on.
  std::set<int> refused;
  for (;;) {
    struct Back {
      double ratio;
      std::vector<int> H;
      int field, map;
    };
    std::vector<Back> passing;
    for (const auto& [k, i] : out_) {
      std::vector<int> H = HypothesisObservations(n, k, i);
      std::vector<std::vector<int>> tries;
      for (int o : H)
        if (!obs[static_cast<size_t>(o)].active) tries.push_back({o});
      if (tries.size() == 2) tries.push_back(H);
      if (k == HypKind::MapTree) tries = {H};
      Back best{HUGE_VAL, {}, -1, -1};
      for (const std::vector<int>& t : tries) {
        if (!AllActive(n, t, false) || refused.count(t.front())) continue;
        const double T = n.Statistic(t, true);
        const double ratio = T / (t.size() == 1 ? crit1 : crit2);
        if (std::isfinite(ratio) && ratio < best.ratio) best = {ratio, t, -1, -1};
      }
      if (best.H.empty() || best.ratio > 1) continue;
      const Obs& o = obs[static_cast<size_t>(best.H[0])];
      best.field = o.field;
      best.map = o.map;
      passing.push_back(best);
    }
    if (passing.empty()) break;
    std::sort(passing.begin(), passing.end(),
              [](const Back& a, const Back& b) { return a.ratio < b.ratio; });
    std::vector<int> round;
    std::set<int> fieldsTaken, mapsTaken;
    for (const Back& g : passing) {
      if ((g.field >= 0 && fieldsTaken.count(g.field)) || mapsTaken.count(g.map)) continue;
      if (g.field >= 0) fieldsTaken.insert(g.field);
      mapsTaken.insert(g.map);
      round.insert(round.end(), g.H.begin(), g.H.end());
    }
    n.Keep();
    SetActive(n, round, true);
    if (n.Adjust(false, kTrialIterations)) continue;
    SetActive(n, round, false);
    n.Restore();
    if (round.size() > passing.front().H.size()) {
      SetActive(n, passing.front().H, true);
      if (n.Adjust(false, kTrialIterations)) continue;
      SetActive(n, passing.front().H, false);
      n.Restore();
    }
    refused.insert(passing.front().H.front());
  }
  // What stays out, with its predicted statistic.
  for (const auto& [k, i] : out_) {
    const std::vector<int> H = HypothesisObservations(n, k, i);
    std::vector<int> off;
    for (int o : H)
      if (!obs[static_cast<size_t>(o)].active) off.push_back(o);
    if (off.empty()) continue;
    Removal r;
    r.kind = off.size() == 1 && k == HypKind::Sighting ? HypKind::Observation : k;
    r.index = r.kind == HypKind::Observation ? off[0] : i;
    r.degrees = static_cast<int>(off.size());
    r.statistic = n.Statistic(off, true);
    r.ratio = r.statistic / (r.degrees == 1 ? crit1 : crit2);
    r.robust = true;
    r.onceSighted = OnceSighted(n, r.kind, r.index);
    out.push_back(r);
  }
  return true;
}

// Iterative data snooping on the active network.
void Snoop(Network& n, double crit1, double crit2, std::vector<Removal>& out) {
  std::vector<std::pair<HypKind, int>> untestable;
  for (;;) {
    std::vector<Candidate> c = Hypotheses(n, crit1, crit2);
    c.erase(std::remove_if(c.begin(), c.end(), [&](const Candidate& h) {
              return std::find(untestable.begin(), untestable.end(),
                               std::pair{h.kind, h.index}) != untestable.end();
            }), c.end());
    const Candidate* best = Strongest(n, c);
    if (!best || best->ratio <= 1 || n.Redundancy() - best->degrees < 1) return;
    const Candidate h = *best;
    const std::vector<int> H = HypothesisObservations(n, h.kind, h.index);
    Removal r;
    r.kind = h.kind;
    r.index = h.index;
    r.degrees = h.degrees;
    r.statistic = h.statistic;
    r.ratio = h.ratio;
    r.onceSighted = OnceSighted(n, h.kind, h.index);
    // A once-sighted map tree's sighting: its whole sighting goes.
    std::vector<int> off = H;
    if (r.onceSighted && h.kind == HypKind::Observation) {
      const int s = n.Observations()[static_cast<size_t>(h.index)].sighting;
      off = HypothesisObservations(n, HypKind::Sighting, s);
      std::vector<int> still;
      for (int i : off)
        if (n.Observations()[static_cast<size_t>(i)].active) still.push_back(i);
      off = still;
    }
    n.Keep();
    SetActive(n, off, false);
    if (!n.Adjust()) {
      SetActive(n, off, true);
      untestable.push_back({h.kind, h.index});
      n.Restore();
      continue;
    }
    out.push_back(r);
  }
}

// What the robust start left out was tested against a network that still
// held the errors found later: each such group (or its observations) that
// passes its predicted test in the network as snooping leaves it goes back,
// the best first, one at a time. Once everything else is settled, every
// removal is tried the same way: snooping's first ones were tested against
// a network that still held the errors it removed later. True when any
// went back.
enum class Tried { RobustStart, Every };

bool PutBackCleared(Network& n, double crit1, double crit2, Tried tried,
                    std::vector<Removal>& removed) {
  bool any = false;
  for (;;) {
    double bestRatio = 1;
    size_t best = removed.size();
    std::vector<int> bestH;
    for (size_t k = 0; k < removed.size(); ++k) {
      const Removal& r = removed[k];
      if (!r.robust && tried == Tried::RobustStart) continue;
      std::vector<int> H = HypothesisObservations(n, r.kind, r.index);
      H.erase(std::remove_if(H.begin(), H.end(),
                             [&](int i) { return n.Observations()[static_cast<size_t>(i)].active; }),
              H.end());
      if (H.empty()) continue;
      const double ratio = n.Statistic(H, true) / (H.size() == 1 ? crit1 : crit2);
      if (std::isfinite(ratio) && ratio <= bestRatio) {
        bestRatio = ratio;
        best = k;
        bestH = H;
      }
    }
    if (best == removed.size()) return any;
    n.Keep();
    SetActive(n, bestH, true);
    if (!n.Adjust(false, kTrialIterations)) {
      SetActive(n, bestH, false);
      n.Restore();
      return any;
    }
    removed.erase(removed.begin() + static_cast<std::ptrdiff_t>(best));
    any = true;
  }
}

// Union of field trees that share a map tree.
int Find(std::vector<int>& parent, int a) {
  while (parent[static_cast<size_t>(a)] != a) a = parent[static_cast<size_t>(a)] = parent[static_cast<size_t>(parent[static_cast<size_t>(a)])];
  return a;
}

bool Usable(const InputSighting& s) { return s.onMap && (s.hasAzimuth || s.hasDistance); }

SuspectKind KindOf(const Network& n, const Removal& r) {
  if (r.kind == HypKind::MapTree) return SuspectKind::MapTree;
  if (r.onceSighted) return SuspectKind::SightingOrMapTree;
  if (r.kind == HypKind::Sighting) return SuspectKind::Sighting;
  return SuspectKindOf(n.Observations()[static_cast<size_t>(r.index)].kind);
}

int SightingOf(const Network& n, const Removal& r) {
  return r.kind == HypKind::Sighting ? r.index
                                     : n.Observations()[static_cast<size_t>(r.index)].sighting;
}

struct Suggestion {
  int tree = 0;
  double statistic = 0;
  std::optional<int> runnerUp;
  std::optional<double> evidence;
};

// The map trees of the plot near the point that sighting g's observations
// give from its adjusted field tree, tried in its place by their predicted
// test; the best when it passes, with the runner-up.
std::optional<Suggestion> Suggest(const Network& n, const Sighting& g, const PlotIndex* plotTrees,
                                  double crit2) {
  if (g.az < 0 || g.dist < 0 || plotTrees == nullptr) return std::nullopt;
  const std::vector<Obs>& obs = n.Observations();
  const double az = obs[static_cast<size_t>(g.az)].observed - n.Bias();
  const double dist = obs[static_cast<size_t>(g.dist)].observed;
  const Vector2d f = n.Field(g.field);
  const double px = f.x() + dist * std::sin(az) + n.OriginX();
  const double py = f.y() + dist * std::cos(az) + n.OriginY();
  std::map<int, int> inNetwork;
  for (size_t j = 0; j < n.Maps().size(); ++j) inNetwork[n.Maps()[j].tree] = static_cast<int>(j);
  std::vector<std::pair<double, int>> ranked;
  std::vector<const MapTree*> near;
  plotTrees->Within(px, py, kSuggestRadius, kSuggestLimit, near);
  for (const MapTree* mp : near) {
    const MapTree& m = *mp;
    if (m.tree == g.tree) continue;
    auto it = inNetwork.find(m.tree);
    const int j = it == inNetwork.end() ? -1 : it->second;
    const double T = n.CandidateStatistic(g.field, j, m.x - n.OriginX(), m.y - n.OriginY(), true,
                                          obs[static_cast<size_t>(g.az)].observed, true, dist);
    if (std::isfinite(T)) ranked.push_back({T, m.tree});
  }
  if (ranked.empty()) return std::nullopt;
  std::sort(ranked.begin(), ranked.end());
  if (ranked[0].first > crit2) return std::nullopt;
  Suggestion s;
  s.tree = ranked[0].second;
  s.statistic = ranked[0].first;
  if (ranked.size() > 1) {
    s.runnerUp = ranked[1].second;
    s.evidence = ranked[1].first - ranked[0].first;
  }
  return s;
}

// Comparing a whole sighting's test with one observation's by their ratios
// to the critical values favours the sighting where the field tree has few
// sightings: leaving out two observations takes up more misfit. So a removed
// whole sighting is put back while each observation of the field tree's
// other sighting in turn is left out in its place; of the exchanges under
// which every test of the field tree passes (one observation explains the
// data as well), the one with the least vTPv stands. Not where a
// replacement tree fits the sighting.
bool PreferOneObservation(Network& n, double crit1, double crit2, const PlotIndex* plotTrees,
                          std::vector<Removal>& removed) {
  bool any = false;
  const std::vector<Obs>& obs = n.Observations();
  for (Removal& r : removed) {
    if (r.kind != HypKind::Sighting || r.onceSighted) continue;
    const std::vector<int> back = HypothesisObservations(n, r.kind, r.index);
    if (!AllActive(n, back, false)) continue;
    const int field = n.Sightings()[static_cast<size_t>(r.index)].field;
    // Only a field tree left with one other sighting is open to it (with
    // more, the tests of a whole sighting and of one observation part well,
    // and each trial costs two adjustments).
    int others = 0;
    for (int si : n.Fields()[static_cast<size_t>(field)].sightings)
      if (si != r.index) {
        const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
        bool active = false;
        for (int i : {g.az, g.dist}) active = active || (i >= 0 && obs[static_cast<size_t>(i)].active);
        others += active;
      }
    // A map tree that fits in the sighting's place says the number was
    // wrong: the whole sighting is the explanation.
    if (others > kFewSightings || Suggest(n, n.Sightings()[static_cast<size_t>(r.index)], plotTrees, crit2))
      continue;
    // Each single observation of the other sightings in turn takes the
    // sighting's place (the sighting back, that observation out); the one
    // under which every test of the field tree passes with the least vTPv
    // stands. (Adjusting with the sighting back and both errors in first
    // may not converge at all where the other error is a 180-degree one.)
    // Every trial starts from the adjustment the exchange left.
    n.Keep();
    std::vector<int> candidates;
    for (int si : n.Fields()[static_cast<size_t>(field)].sightings) {
      if (si == r.index) continue;
      const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
      for (int i : {g.az, g.dist})
        if (i >= 0 && obs[static_cast<size_t>(i)].active) candidates.push_back(i);
    }
    int best = -1;
    double bestVtpv = HUGE_VAL;
    SetActive(n, back, true);
    for (int c : candidates) {
      SetActive(n, {c}, false);
      bool keep = n.Redundancy() >= 1 && n.Adjust(false, kTrialIterations);
      for (int si : n.Fields()[static_cast<size_t>(field)].sightings) {
        if (!keep) break;
        const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
        std::vector<int> H;
        for (int i : {g.az, g.dist})
          if (i >= 0 && obs[static_cast<size_t>(i)].active) H.push_back(i);
        keep = Passes(n, H, crit1, crit2);
      }
      if (keep && n.Vtpv() < bestVtpv) {
        bestVtpv = n.Vtpv();
        best = c;
        n.KeepBest();
      }
      SetActive(n, {c}, true);
      n.Restore();
    }
    if (best < 0) {
      SetActive(n, back, false);
      n.Restore();
      continue;
    }
    // The best trial's adjustment (converged within the trial's iterations,
    // an adjustment from the same start would repeat it step by step).
    SetActive(n, {best}, false);
    n.RestoreBest();
    r.kind = HypKind::Observation;
    r.index = best;
    r.degrees = 1;
    r.statistic = n.Statistic({best}, true);
    r.ratio = r.statistic / crit1;
    r.robust = false;
    r.onceSighted = OnceSighted(n, r.kind, r.index);
    any = true;
  }
  return any;
}

// vTPv plus the critical value of each hypothesis left out: each removal
// is worth its place when it takes up more misfit than its test's critical
// value.
double PenalisedVtpv(const Network& n, const std::vector<Removal>& removed, double crit1,
                     double crit2) {
  double s = n.Vtpv();
  for (const Removal& r : removed) s += r.degrees == 1 ? crit1 : crit2;
  return s;
}

// Snooping removes one hypothesis at a time and never looks back, so one
// error can have others blamed in its place: a wrong number that names map
// tree M pulls M towards the tree meant, the sightings of M by the field
// trees that sight it rightly fail and go, and M's own map coordinates then
// look displaced, while the wrong sighting, now in agreement with M, stays.
// So each map tree with two or more removals (its sightings, its
// coordinates) gets them all back and snooping runs again; the outcome
// stands when it leaves less penalised vTPv. (This also finds a map tree
// displaced on the map whose sightings the robust start left out: back
// together, its coordinates are what fails.) Then the same for each field
// tree with two or more removals: one wrong sighting can pull its field
// tree so that the field tree's clean sightings fail and go, and the wrong
// one then fits.
enum class Group { MapTree, FieldTree };

void Rejoin(Network& n, double crit1, double crit2, Group by, std::vector<Removal>& removed) {
  std::vector<Obs>& obs = n.Observations();
  std::vector<char> active(obs.size());
  const size_t groups = by == Group::MapTree ? n.Maps().size() : n.Fields().size();
  for (size_t j = 0; j < groups; ++j) {
    std::vector<Removal> rest, on;
    for (const Removal& r : removed) {
      int group = -1;  // (a map tree's coordinates belong to no field tree)
      if (by == Group::MapTree)
        group = r.kind == HypKind::MapTree
                    ? r.index
                    : n.Sightings()[static_cast<size_t>(SightingOf(n, r))].map;
      else if (r.kind != HypKind::MapTree)
        group = n.Sightings()[static_cast<size_t>(SightingOf(n, r))].field;
      (group == static_cast<int>(j) ? on : rest).push_back(r);
    }
    if (on.size() < 2) continue;
    const double before = PenalisedVtpv(n, removed, crit1, crit2);
    for (size_t i = 0; i < obs.size(); ++i) active[i] = obs[i].active;
    // (Snooping keeps and restores its own trials: this one is held as the
    // best.)
    n.KeepBest();
    for (const Removal& r : on) SetActive(n, HypothesisObservations(n, r.kind, r.index), true);
    if (n.Adjust(false, kTrialIterations)) {
      Snoop(n, crit1, crit2, rest);
      if (PenalisedVtpv(n, rest, crit1, crit2) < before - 1e-6) {
        removed.swap(rest);
        continue;
      }
    }
    for (size_t i = 0; i < obs.size(); ++i) obs[i].active = active[i];
    n.RestoreBest();
  }
}

// A wrong number whose azimuth alone is removed leaves its distance in,
// and the distance holds the named map tree away from its place; the field
// trees that sight that tree rightly then fail and go. So where a removed
// observation's sighting keeps its other observation and the same map tree
// has other removals (its other sightings, its coordinates), the whole
// sighting is tried out instead, and every removal that then passes its
// predicted test goes back. The outcome stands when something went back
// and it leaves less penalised vTPv (a sighting out whole costs the
// 2-degree critical value instead of the 1-degree one).
void CompleteSightings(Network& n, double crit1, double crit2, std::vector<Removal>& removed) {
  std::vector<Obs>& obs = n.Observations();
  std::vector<char> active(obs.size());
  for (size_t k = 0; k < removed.size(); ++k) {
    const Removal r = removed[k];
    if (r.kind != HypKind::Observation) continue;
    const int s = SightingOf(n, r);
    const Sighting& g = n.Sightings()[static_cast<size_t>(s)];
    const int other = g.az == r.index ? g.dist : g.az;
    if (other < 0 || !obs[static_cast<size_t>(other)].active) continue;
    const bool shared = std::any_of(removed.begin(), removed.end(), [&](const Removal& q) {
      if (q.kind == HypKind::MapTree) return q.index == g.map;
      const int qs = SightingOf(n, q);
      return qs != s && n.Sightings()[static_cast<size_t>(qs)].map == g.map;
    });
    if (!shared) continue;
    const double before = PenalisedVtpv(n, removed, crit1, crit2);
    for (size_t i = 0; i < obs.size(); ++i) active[i] = obs[i].active;
    n.KeepBest();
    std::vector<Removal> trial = removed;
    obs[static_cast<size_t>(other)].active = false;
    if (n.Adjust(false, kTrialIterations)) {
      Removal& t = trial[k];
      t.kind = HypKind::Sighting;
      t.index = s;
      t.degrees = 2;
      t.robust = false;
      const std::vector<int> H = HypothesisObservations(n, HypKind::Sighting, s);
      t.statistic = n.Statistic(H, true);
      t.ratio = t.statistic / crit2;
      if (std::isfinite(t.statistic)) {
        const bool back = PutBackCleared(n, crit1, crit2, Tried::Every, trial);
        if (back) Snoop(n, crit1, crit2, trial);
        if (back && PenalisedVtpv(n, trial, crit1, crit2) < before - 1e-6) {
          removed.swap(trial);
          k = static_cast<size_t>(-1);  // from the start: the removals changed
          continue;
        }
      }
    }
    for (size_t i = 0; i < obs.size(); ++i) obs[i].active = active[i];
    n.RestoreBest();
  }
}

}  // namespace

PlotResult AssessPlot(const std::vector<CaseInput>& cases, const NetworkOptions& options) {
  PlotResult out;
  out.cases.resize(cases.size());
  if (cases.empty()) return out;
  out.summary.plot = cases.front().plot;
  const PlotIndex* plotTrees = cases.front().plotTrees.get();

  // Field trees that share a map tree with another one go into the network.
  std::vector<int> parent(cases.size());
  std::iota(parent.begin(), parent.end(), 0);
  std::map<int, int> firstSighter;
  std::vector<int> observations(cases.size(), 0);
  for (size_t c = 0; c < cases.size(); ++c) {
    if (!cases[c].computed) continue;
    for (const InputSighting& s : cases[c].sightings) {
      if (!Usable(s)) continue;
      observations[c] += s.hasAzimuth + s.hasDistance;
      auto [it, added] = firstSighter.emplace(s.tree, static_cast<int>(c));
      if (!added) parent[static_cast<size_t>(Find(parent, static_cast<int>(c)))] = Find(parent, it->second);
    }
  }
  std::map<int, int> componentSize;
  for (size_t c = 0; c < cases.size(); ++c)
    if (cases[c].computed && observations[c] >= 2) ++componentSize[Find(parent, static_cast<int>(c))];
  std::vector<int> members;
  double sx = 0, sy = 0;
  int sn = 0;
  for (size_t c = 0; c < cases.size(); ++c)
    if (cases[c].computed && observations[c] >= 2 &&
        componentSize[Find(parent, static_cast<int>(c))] >= 2) {
      members.push_back(static_cast<int>(c));
      for (const InputSighting& s : cases[c].sightings)
        if (Usable(s)) {
          sx += s.mapX;
          sy += s.mapY;
          ++sn;
        }
    }

  bool adjusted = false;
  std::optional<Network> net;
  std::vector<Removal> removed;
  static const double crit1 = CriticalValue(1), crit2 = CriticalValue(2);
  static const double lambda2 = NonCentrality(2);
  if (!members.empty()) {
    const double ox = std::round(sx / sn), oy = std::round(sy / sn);
    for (bool bias : {options.azimuthBias, false}) {
      net.emplace(cases, members, bias, ox, oy);
      removed.clear();
      if (RobustStart(*net, crit1, crit2, removed)) {
        Snoop(*net, crit1, crit2, removed);
        if (PutBackCleared(*net, crit1, crit2, Tried::RobustStart, removed))
          Snoop(*net, crit1, crit2, removed);
        if (PreferOneObservation(*net, crit1, crit2, plotTrees, removed)) Snoop(*net, crit1, crit2, removed);
        Rejoin(*net, crit1, crit2, Group::MapTree, removed);
        Rejoin(*net, crit1, crit2, Group::FieldTree, removed);
        CompleteSightings(*net, crit1, crit2, removed);
        if (PutBackCleared(*net, crit1, crit2, Tried::Every, removed))
          Snoop(*net, crit1, crit2, removed);
        adjusted = net->Adjust();
      }
      if (adjusted || !bias) break;
    }
  }
  // The rest, and everything when the network could not be adjusted: alone.
  std::vector<bool> inNetwork(cases.size(), false);
  if (adjusted)
    for (int c : members) inNetwork[static_cast<size_t>(c)] = true;
  for (size_t c = 0; c < cases.size(); ++c)
    if (!inNetwork[c]) {
      out.cases[c].quality = AssessCase(cases[c]);
      out.cases[c].extras.resize(out.cases[c].quality.observations.size());
    }
  if (!adjusted) return out;

  Network& n = *net;
  const std::vector<Obs>& obs = n.Observations();
  PlotSummary& sum = out.summary;
  sum.fieldTrees = static_cast<int>(n.Fields().size());
  sum.mapTrees = static_cast<int>(n.Maps().size());
  sum.observations = n.ActiveObservations();
  sum.redundancy = n.Redundancy();
  sum.iterations = n.Iterations();
  sum.converged = true;
  sum.removed = static_cast<int>(removed.size());
  if (sum.redundancy >= 1) {
    sum.sigma0 = std::sqrt(n.Vtpv() / sum.redundancy);
    sum.globalTest = n.Vtpv() <= ChiSquareQuantile(kGlobalTestLevel, sum.redundancy) ? GlobalTest::Pass
                                                                                       : GlobalTest::Fail;
  }
  sum.hasBias = n.HasBias();
  if (n.HasBias()) {
    sum.bias = n.Bias() * kRadToDeg;
    // As the field trees' ellipses: scaled by the plot's sigma0 where that
    // says the a-priori errors are too small.
    sum.biasSigma =
        n.BiasSigma() * kRadToDeg * (sum.sigma0 && *sum.sigma0 > 1 ? *sum.sigma0 : 1.0);
    if (sum.biasSigma > 0) sum.biasW = sum.bias / sum.biasSigma;
  }
  std::vector<bool> displaced(n.Maps().size(), false);
  for (const Removal& r : removed)
    if (r.kind == HypKind::MapTree) displaced[static_cast<size_t>(r.index)] = true;
  for (size_t j = 0; j < n.Maps().size(); ++j) {
    const MapUnknown& m = n.Maps()[j];
    MapTreeResult t;
    t.tree = m.tree;
    t.mapX = m.mapX + n.OriginX();
    t.mapY = m.mapY + n.OriginY();
    t.x = n.MapPoint(static_cast<int>(j)).x() + n.OriginX();
    t.y = n.MapPoint(static_cast<int>(j)).y() + n.OriginY();
    t.sx = std::sqrt(n.MapCov(static_cast<int>(j))(0, 0));
    t.sy = std::sqrt(n.MapCov(static_cast<int>(j))(1, 1));
    t.sightings = ActiveSightings(n, static_cast<int>(j));
    t.displaced = displaced[j];
    const std::vector<int> H = {m.obsX, m.obsY};
    const double T = n.Statistic(H, !AllActive(n, H, true));
    if (std::isfinite(T)) t.test = T;
    sum.displacedMapTrees += t.displaced;
    out.mapTrees.push_back(t);
  }

  // Per field tree: its own removals, its figures, its lines.
  for (size_t fi = 0; fi < n.Fields().size(); ++fi) {
    const int field = static_cast<int>(fi);
    const FieldUnknown& f = n.Fields()[fi];
    const CaseInput& in = cases[static_cast<size_t>(f.caseIndex)];
    NetworkCaseResult& res = out.cases[static_cast<size_t>(f.caseIndex)];
    res.network = true;
    CaseAssessment& row = res.quality.row;
    row.caseNumber = in.caseNumber;
    row.plot = in.plot;
    row.tree = in.tree;
    row.species = in.species;
    row.legacyStatus = in.legacyStatus;
    row.legacy = in.legacy;
    for (const InputSighting& s : in.sightings)
      if (!s.onMap) {
        if (!row.warnings.empty()) row.warnings += "; ";
        row.warnings += "slot " + std::to_string(s.slot) + ": tree " + std::to_string(s.tree) +
                        " not on the map";
      }
    int used = 0;
    double ownR = 0, ownVtpv = 0, maxW = -1;
    for (int si : f.sightings) {
      const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
      bool any = false;
      for (int i : {g.az, g.dist})
        if (i >= 0 && obs[static_cast<size_t>(i)].active) {
          any = true;
          ownR += n.Redundancy(i);
          const double v = n.Residuals()[static_cast<size_t>(i)] / obs[static_cast<size_t>(i)].sigma;
          ownVtpv += v * v;
          const double w = n.W(i);
          if (std::isfinite(w)) maxW = std::max(maxW, std::fabs(w));
        }
      used += any;
    }
    row.usedSightings = used;
    row.redundancy = static_cast<int>(std::lround(ownR));
    row.iterations = sum.iterations;
    row.converged = true;
    const Vector2d p = n.Field(field);
    row.x = p.x() + n.OriginX();
    row.y = p.y() + n.OriginY();
    row.sigma0 = sum.sigma0;
    row.globalTest = sum.globalTest;
    // Where the plot's sigma0 says the a-priori errors are too small, the
    // ellipse takes the a-posteriori variance factor. So it does where the
    // field tree's own distances and azimuths misfit more than their a-priori
    // errors say (their vTPv over the sum of their redundancy numbers, once
    // that sum reaches 1): errors left undetected elsewhere in the plot reach
    // a field tree through the map trees it shares, and show there.
    double scale = sum.sigma0 && *sum.sigma0 > 1 ? *sum.sigma0 * *sum.sigma0 : 1.0;
    if (ownR >= 1) scale = std::max(scale, ownVtpv / ownR);
    const Matrix2d Q = n.FieldCov(field) * scale;
    SetPointEllipse(Q(0, 0), Q(0, 1), Q(1, 1), row);
    if (maxW >= 0) row.maxW = maxW;
    row.verdict = ownR > kUncontrolledR ? Verdict::Ok : Verdict::NoRedundancy;

    // The suspect: the strongest of its own removals, else a displaced map
    // tree it sights. A displaced map tree is the map's fault, not the
    // crew's: the field tree's verdict follows its own observations.
    std::vector<const Removal*> owns;
    for (const Removal& r : removed)
      if (r.kind != HypKind::MapTree &&
          n.Sightings()[static_cast<size_t>(SightingOf(n, r))].field == field)
        owns.push_back(&r);
    std::stable_sort(owns.begin(), owns.end(),
                     [](const Removal* a, const Removal* b) { return a->ratio > b->ratio; });
    for (const Removal* r : owns) {
      const Sighting& g = n.Sightings()[static_cast<size_t>(SightingOf(n, *r))];
      res.removed.push_back({g.slot, g.tree, KindOf(n, *r), r->statistic});
    }
    if (!owns.empty()) {
      const Removal* own = owns.front();
      const Sighting& g = n.Sightings()[static_cast<size_t>(SightingOf(n, *own))];
      row.verdict = Verdict::Outlier;
      row.suspectKind = KindOf(n, *own);
      row.suspectTree = g.tree;
      if (own->degrees == 1) {
        const size_t i = static_cast<size_t>(own->index);
        const double unit = obs[i].kind == ObservationKind::Azimuth ? kRadToDeg : 1.0;
        row.suspectW = std::sqrt(own->statistic) * (n.Residuals()[i] < 0 ? -1 : 1);
        row.suspectGrossError = -n.Residuals()[i] * unit;
      } else {
        row.suspectW = std::sqrt(own->statistic);
      }
      if (auto s = Suggest(n, g, plotTrees, crit2)) {
        row.suggestedTree = s->tree;
        if (sum.redundancy >= 1)
          row.suggestedSigma0 = std::sqrt((n.Vtpv() + s->statistic) / (sum.redundancy + 2));
        res.runnerUp = s->runnerUp;
        res.evidence = s->evidence;
        // A replacement tree that fits: the number was wrong.
        if (row.suspectKind == SuspectKind::Azimuth || row.suspectKind == SuspectKind::Distance)
          row.suspectKind = SuspectKind::Sighting;
      }
      res.removed.front().kind = row.suspectKind;
      for (size_t k = 1; k < res.removed.size(); ++k) {
        if (!row.warnings.empty()) row.warnings += "; ";
        row.warnings += RemovedSightingWarning(res.removed[k]);
      }
    } else {
      for (int si : f.sightings) {
        const int j = n.Sightings()[static_cast<size_t>(si)].map;
        if (!displaced[static_cast<size_t>(j)]) continue;
        row.suspectKind = SuspectKind::MapTree;
        row.suspectTree = n.Maps()[static_cast<size_t>(j)].tree;
        const MapTreeResult& t = out.mapTrees[static_cast<size_t>(j)];
        if (t.test) row.suspectW = std::sqrt(*t.test);
        row.suspectGrossError = std::hypot(t.x - t.mapX, t.y - t.mapY);
        break;
      }
    }

    // Observation lines: azimuth and distance of every sighting, then map
    // X, then map Y, as the per-case layer writes them.
    auto line = [&](int i, const Sighting& g) {
      const Obs& o = obs[static_cast<size_t>(i)];
      ObservationAssessment r;
      r.caseNumber = in.caseNumber;
      r.plot = in.plot;
      r.tree = in.tree;
      r.slot = g.slot;
      r.sightedTree = g.tree;
      r.kind = o.kind;
      const double unit = o.kind == ObservationKind::Azimuth ? kRadToDeg : 1.0;
      double origin = o.kind == ObservationKind::MapX ? n.OriginX()
                      : o.kind == ObservationKind::MapY ? n.OriginY() : 0;
      const double v = n.Residuals()[static_cast<size_t>(i)];
      r.observed = o.observed * unit + origin;
      r.adjusted = (o.observed + v) * unit + origin;
      if (o.kind == ObservationKind::Azimuth) {
        r.adjusted = std::fmod(r.adjusted, 360.0);
        if (r.adjusted < 0) r.adjusted += 360;
      }
      r.residual = v * unit;
      r.sigma = o.sigma * unit;
      const double red = n.Redundancy(i);
      r.redundancyNumber = red;
      const double w = n.W(i);
      if (std::isfinite(w)) {
        r.w = w;
        r.grossError = -v / red * unit;
        r.mdb = kMdbFactor * o.sigma / std::sqrt(red) * unit;
      }
      r.control = red < kUncontrolledR ? Control::Uncontrolled
                  : red < kWeakR       ? Control::Weak
                                       : Control::Controlled;
      res.quality.observations.push_back(r);
    };
    for (int si : f.sightings) {
      const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
      // The sighting's smallest detectable displacement and a map tree
      // nearer than that: a confusion with it could not be seen.
      ObservationExtra extra;
      bool any = false;
      for (int i : {g.az, g.dist}) any = any || (i >= 0 && obs[static_cast<size_t>(i)].active);
      if (any) {
        double scale = 0;
        const Matrix2d Mi = n.DisplacementInformation(g, scale);
        // An eigenvalue below kUnseenShare of the observations' own
        // information is zero within the computation's precision: a
        // displacement that way is not seen at all (no distance is written,
        // the nearest other tree is confusable).
        const double smallest = Eigen::SelfAdjointEigenSolver<Matrix2d>(Mi).eigenvalues()[0];
        const double mdb = smallest > kUnseenShare * scale ? std::sqrt(lambda2 / smallest) : HUGE_VAL;
        if (std::isfinite(mdb)) extra.confusableDistance = mdb;
        const MapUnknown& m = n.Maps()[static_cast<size_t>(g.map)];
        const double mx = m.mapX + n.OriginX(), my = m.mapY + n.OriginY();
        if (plotTrees)
          for (const MapTree* t : plotTrees->Best(InsideDisc(NearPoint(mx, my), mx, my, mdb), 2))
            if (t->tree != g.tree && std::hypot(t->x - mx, t->y - my) < mdb) {
              extra.confusableTree = t->tree;
              break;
            }
        res.confusable += extra.confusableTree.has_value();
      }
      for (int i : {g.az, g.dist})
        if (i >= 0 && obs[static_cast<size_t>(i)].active) {
          line(i, g);
          res.extras.push_back(extra);
        }
    }
    for (bool y : {false, true})
      for (int si : f.sightings) {
        const Sighting& g = n.Sightings()[static_cast<size_t>(si)];
        const MapUnknown& m = n.Maps()[static_cast<size_t>(g.map)];
        const int i = y ? m.obsY : m.obsX;
        if (!obs[static_cast<size_t>(i)].active) continue;
        line(i, g);
        res.extras.push_back({});
      }
  }
  return out;
}

}  // namespace treetri::quality
