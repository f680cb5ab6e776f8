#include "quality/adjustment.h"
#include "data/angles.h"

#include <Eigen/Dense>
#include <array>
#include <cmath>
#include <utility>

namespace treetri::quality {
namespace {

constexpr double kTwoPi = 6.283185307179586476925;

// An angle difference brought into (-pi, pi]. fmod's result is exact: an
// angle within one turn comes back unchanged, and one between minus two
// turns and minus one turn (an azimuth near 360 degrees against an atan2
// near -180) comes back as its sum with one turn, which is representable
// and so what the addition gives. fmod is called (at its cost) only for
// anything else.
double WrapAngle(double a) {
  if (a < -kTwoPi && a > -2 * kTwoPi)
    a += kTwoPi;
  else if (!(std::fabs(a) < kTwoPi))
    a = std::fmod(a, kTwoPi);
  if (a > kFullPi) a -= kTwoPi;
  if (a <= -kFullPi) a += kTwoPi;
  return a;
}

// Sizes: at most kSlotCount sightings, each with two unknowns and at most
// four observations. The vector of unknowns, the observations, their
// residuals and design rows live on the stack, left uninitialised until
// filled: an adjustment allocates nothing until its figures.
constexpr int kMaxUnknowns = 2 + 2 * kSlotCount;
constexpr int kMaxObservations = 4 * kSlotCount;
using Vector = Eigen::Matrix<double, Eigen::Dynamic, 1, Eigen::ColMajor, kMaxUnknowns, 1>;
using Residuals = std::array<double, kMaxObservations>;
using Eigen::Matrix2d;
using Eigen::Vector2d;

// One row of the design matrix of a field observation: its four nonzero
// entries, for the field tree's X, Y and its map tree's X, Y. The row of a
// map coordinate is a single 1 at its map tree's X or Y and is not stored.
struct DesignRow {
  double a[4];
};

// An observation of the network: what it observes, its value and its
// standard error and weight.
struct Observation {
  ObservationKind kind;
  int sighting;
  double observed, sigma, weight;
};

bool IsMapCoordinate(ObservationKind kind) {
  return kind == ObservationKind::MapX || kind == ObservationKind::MapY;
}

// The network in reduced coordinates and its linearisation.
class Network {
 public:
  Network(const std::vector<NetworkSighting>& s, double originX, double originY,
          const Sigmas& sigmas)
      : s_(s), ox_(originX), oy_(originY) {
    const int n = static_cast<int>(s.size());
    // The weight of each kind of observation, 1 / sigma^2, divided once.
    const double pa = Weight(sigmas.azimuth), pd = Weight(sigmas.distance);
    const double px = Weight(sigmas.mapX), py = Weight(sigmas.mapY);
    for (int j = 0; j < n; ++j) {
      first_[static_cast<size_t>(j)] = count_;
      if (s[j].hasAzimuth) Add(ObservationKind::Azimuth, j, s[j].azimuth, sigmas.azimuth, pa);
      if (s[j].hasDistance)
        Add(ObservationKind::Distance, j, s[j].distance, sigmas.distance, pd);
    }
    first_[static_cast<size_t>(n)] = count_;
    for (int j = 0; j < n; ++j) Add(ObservationKind::MapX, j, s[j].mapX - ox_, sigmas.mapX, px);
    for (int j = 0; j < n; ++j) Add(ObservationKind::MapY, j, s[j].mapY - oy_, sigmas.mapY, py);
  }

  int Sightings() const { return static_cast<int>(s_.size()); }
  int Unknowns() const { return 2 + 2 * Sightings(); }
  // The field observations (azimuth, distance) of sighting j are the rows
  // from FirstRow(j) up to FirstRow(j + 1); the map X rows of all sightings
  // and then their map Y rows follow.
  int FirstRow(int j) const { return first_[static_cast<size_t>(j)]; }
  int Observations() const { return count_; }
  double OriginX() const { return ox_; }
  double OriginY() const { return oy_; }
  const Observation& Obs(int i) const { return obs_[static_cast<size_t>(i)]; }
  const DesignRow& Row(int i) const { return rows_[static_cast<size_t>(i)]; }

  // Unknowns at the start: the field tree as given, the map trees at their
  // map coordinates.
  Vector Start(double x, double y) const {
    Vector u(Unknowns());
    u[0] = x - ox_;
    u[1] = y - oy_;
    for (size_t j = 0; j < s_.size(); ++j) {
      u[2 + 2 * static_cast<Eigen::Index>(j)] = s_[j].mapX - ox_;
      u[3 + 2 * static_cast<Eigen::Index>(j)] = s_[j].mapY - oy_;
    }
    return u;
  }

  // Computed minus observed for every observation at u, and the design
  // matrix rows there. Returns vTPv, or NaN where a map tree coincides with
  // the field tree (no direction defined) or a value is not finite.
  double Evaluate(const Vector& u, Residuals& v) {
    double vtpv = 0;
    const int n = Sightings();
    // The field observations, sighting by sighting (the order of the rows).
    for (int j = 0; j < n; ++j) {
      const int cx = 2 + 2 * j, cy = cx + 1;
      const double dx = u[cx] - u[0], dy = u[cy] - u[1];
      const double s2 = dx * dx + dy * dy;
      if (!(s2 > 0)) {
        if (FirstRow(j) < FirstRow(j + 1)) return NAN;
        continue;
      }
      for (int i = FirstRow(j); i < FirstRow(j + 1); ++i) {
        const Observation& o = obs_[static_cast<size_t>(i)];
        DesignRow& row = rows_[static_cast<size_t>(i)];
        double vi;
        if (o.kind == ObservationKind::Azimuth) {
          vi = WrapAngle(std::atan2(dx, dy) - o.observed);
          // (-a) / b is -(a / b) to the bit: two divisions, not four.
          const double ex = dx / s2, ey = dy / s2;
          row.a[0] = -ey;
          row.a[1] = ex;
          row.a[2] = ey;
          row.a[3] = -ex;
        } else {
          const double s = std::sqrt(s2);
          vi = s - o.observed;
          const double ex = dx / s, ey = dy / s;
          row.a[0] = -ex;
          row.a[1] = -ey;
          row.a[2] = ex;
          row.a[3] = ey;
        }
        v[static_cast<size_t>(i)] = vi;
        vtpv += o.weight * vi * vi;
      }
    }
    // The map coordinates: the row is a single 1 at the coordinate.
    for (int i = FirstRow(n); i < count_; ++i) {
      const Observation& o = obs_[static_cast<size_t>(i)];
      const int c = 2 + 2 * o.sighting + (o.kind == ObservationKind::MapY ? 1 : 0);
      const double vi = u[c] - o.observed;
      v[static_cast<size_t>(i)] = vi;
      vtpv += o.weight * vi * vi;
    }
    return std::isfinite(vtpv) ? vtpv : NAN;
  }

 private:
  static double Weight(double sigma) { return 1 / (sigma * sigma); }
  void Add(ObservationKind kind, int sighting, double value, double sigma, double weight) {
    obs_[static_cast<size_t>(count_++)] = Observation{kind, sighting, value, sigma, weight};
  }

  const std::vector<NetworkSighting>& s_;
  double ox_, oy_;
  int count_ = 0;
  std::array<int, kSlotCount + 1> first_;
  std::array<Observation, kMaxObservations> obs_;
  std::array<DesignRow, kMaxObservations> rows_;
};

// The normal equations N dx = A^T P l (l = -v) of the network, solved by
// eliminating the map trees. Every map tree's unknowns meet only the field
// tree's, so N is an arrow of 2 x 2 blocks: N00 (field tree), Bj (field tree
// with map tree j) and Dj (map tree j, positive definite through its map
// coordinates). The field tree's system is the 2 x 2 Schur complement
// S = N00 - sum Bj Dj^-1 Bj^T; its inverse is the field tree's cofactor
// matrix, and the cofactors of the map trees follow from it block by block.
class ReducedNormals {
 public:
  // Forms the blocks from the design rows and residuals. False when S is
  // singular: a pivot lost against its diagonal element.
  bool Build(const Network& net, const Residuals& v) {
    n_ = net.Sightings();
    N00_.setZero();
    b0_.setZero();
    for (int j = 0; j < n_; ++j) {
      B_[j].setZero();
      D_[j].setZero();
      b_[j].setZero();
    }
    const int m = net.Observations();
    for (int i = 0; i < m; ++i) {
      const DesignRow& r = net.Row(i);
      const Observation& o = net.Obs(i);
      const double p = o.weight;
      const double vi = v[static_cast<size_t>(i)];
      const int j = o.sighting;
      if (IsMapCoordinate(o.kind)) {
        const int k = o.kind == ObservationKind::MapX ? 0 : 1;
        D_[j](k, k) += p;
        b_[j][k] -= p * vi;
        continue;
      }
      const Vector2d a0(r.a[0], r.a[1]), aj(r.a[2], r.a[3]);
      N00_ += p * a0 * a0.transpose();
      B_[j] += p * a0 * aj.transpose();
      D_[j] += p * aj * aj.transpose();
      b0_ -= p * vi * a0;
      b_[j] -= p * vi * aj;
    }
    Matrix2d S = N00_;
    for (int j = 0; j < n_; ++j) {
      Dinv_[j] = D_[j].inverse();
      E_[j] = B_[j] * Dinv_[j];
      S -= E_[j] * B_[j].transpose();
    }
    const double det = S.determinant();
    if (!(S(0, 0) > 0 && S(1, 1) > 0 && det > 1e-10 * S(0, 0) * S(1, 1)) || !std::isfinite(det))
      return false;
    Q00_ = S.inverse();
    return true;
  }

  // The corrections of all unknowns.
  Vector Solve() const {
    Vector2d c = b0_;
    for (int j = 0; j < n_; ++j) c -= E_[j] * b_[j];
    const Vector2d d0 = Q00_ * c;
    Vector dx(2 + 2 * n_);
    dx.head<2>() = d0;
    for (int j = 0; j < n_; ++j)
      dx.segment<2>(2 + 2 * j) = Dinv_[j] * (b_[j] - B_[j].transpose() * d0);
    return dx;
  }

  const Matrix2d& FieldCofactors() const { return Q00_; }

  // The cofactor blocks of every map tree (Qjj) and of the field tree with
  // it (Q0j), once after the last Build, for RowCofactor.
  void MapTreeCofactors() {
    for (int j = 0; j < n_; ++j) {
      Qjj_[j] = Dinv_[j] + E_[j].transpose() * Q00_ * E_[j];
      Q0j_[j] = -Q00_ * E_[j];
    }
  }

  // a Qxx a^T for the design row r of observation o of map tree j (after
  // MapTreeCofactors).
  double RowCofactor(const Observation& o, const DesignRow& r, int j) const {
    const Matrix2d& Qjj = Qjj_[j];
    if (IsMapCoordinate(o.kind)) {
      const int k = o.kind == ObservationKind::MapX ? 0 : 1;
      return Qjj(k, k);
    }
    const Vector2d a0(r.a[0], r.a[1]), aj(r.a[2], r.a[3]);
    const Matrix2d& Q0j = Q0j_[j];
    return a0.dot(Q00_ * a0) + 2 * a0.dot(Q0j * aj) + aj.dot(Qjj * aj);
  }

 private:
  int n_ = 0;
  Matrix2d N00_, Q00_;
  Vector2d b0_;
  std::array<Matrix2d, kSlotCount> B_, D_, Dinv_, E_, Qjj_, Q0j_;
  std::array<Vector2d, kSlotCount> b_;
};

}  // namespace

Adjustment AdjustNetwork(const std::vector<NetworkSighting>& sightings, double startX,
                         double startY, const Sigmas& sigmas, double figuresBelow) {
  Adjustment out;
  out.status = AdjustStatus::Singular;
  if (sightings.size() > static_cast<size_t>(kSlotCount)) return out;
  // The local origin: the start position to the metre, so that map-grid
  // coordinates in the millions keep their digits.
  Network net(sightings, std::round(startX), std::round(startY), sigmas);
  out.redundancy = net.Observations() - net.Unknowns();
  Vector u = net.Start(startX, startY);
  // The residuals at u and at a trial step, swapped when the step is taken.
  Residuals buffers[2];
  Residuals* v = &buffers[0];
  Residuals* vTrial = &buffers[1];
  ReducedNormals normals;
  double vtpv = net.Evaluate(u, *v);
  // Linearises at u (whose residuals v are current) and factorises.
  auto linearise = [&]() { return !std::isnan(vtpv) && normals.Build(net, *v); };

  out.status = AdjustStatus::NotConverged;
  while (out.iterations < kMaxIterations) {
    if (!linearise()) {
      out.status = AdjustStatus::Singular;
      return out;
    }
    ++out.iterations;
    const Vector dx = normals.Solve();
    // The largest correction, in one pass with the check that all are
    // finite.
    double largest = 0;
    for (Eigen::Index k = 0; k < dx.size(); ++k) {
      const double a = std::fabs(dx[k]);
      if (!std::isfinite(a)) {
        out.status = AdjustStatus::Singular;
        return out;
      }
      if (a > largest) largest = a;
    }
    const bool last = largest < kConvergenceLimit;
    // Halve the step while vTPv does not decrease; the last, small step is
    // taken as it is.
    double step = 1;
    bool accepted = false;
    for (int h = 0; h <= kMaxHalvings; ++h, step /= 2) {
      const Vector trial = u + step * dx;
      const double trialVtpv = net.Evaluate(trial, *vTrial);
      if (last || trialVtpv <= vtpv) {
        u = trial;
        std::swap(v, vTrial);
        vtpv = trialVtpv;
        accepted = true;
        break;
      }
    }
    if (!accepted) return out;
    if (last) {
      out.status = AdjustStatus::Converged;
      break;
    }
  }
  if (out.status != AdjustStatus::Converged) return out;
  if (std::isnan(vtpv)) {
    out.status = AdjustStatus::Singular;
    return out;
  }
  if (!(vtpv < figuresBelow)) {
    out.status = AdjustStatus::NotBelow;
    out.vtpv = vtpv;
    return out;
  }

  // Figures at the final position.
  if (!linearise()) {
    out.status = AdjustStatus::Singular;
    return out;
  }
  normals.MapTreeCofactors();
  const Matrix2d& Q = normals.FieldCofactors();
  out.x = u[0] + net.OriginX();
  out.y = u[1] + net.OriginY();
  out.qxx = Q(0, 0);
  out.qxy = Q(0, 1);
  out.qyy = Q(1, 1);
  out.vtpv = vtpv;
  const int m = net.Observations();
  out.observations.resize(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) {
    const Observation& ob = net.Obs(i);
    const double vi = (*v)[static_cast<size_t>(i)];
    AdjustedObservation& o = out.observations[static_cast<size_t>(i)];
    o.kind = ob.kind;
    o.sighting = ob.sighting;
    o.observed = ob.observed;
    o.sigma = ob.sigma;
    // r = 1 - p a Qxx a^T: the diagonal of Qvv P.
    o.r = 1 - ob.weight * normals.RowCofactor(ob, net.Row(i), o.sighting);
    o.residual = vi;
    o.w = o.r > kZeroR ? o.residual / (o.sigma * std::sqrt(o.r)) : NAN;
    o.adjusted = o.observed + vi;
    if (o.kind == ObservationKind::MapX) {
      o.observed += net.OriginX();
      o.adjusted += net.OriginX();
    } else if (o.kind == ObservationKind::MapY) {
      o.observed += net.OriginY();
      o.adjusted += net.OriginY();
    }
  }
  return out;
}

}  // namespace treetri::quality
