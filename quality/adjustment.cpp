#include "quality/adjustment.h"

#include <Eigen/Dense>
#include <cmath>

namespace treetri::quality {
namespace {

constexpr double kTwoPi = 6.283185307179586476925;
constexpr double kPi = 3.141592653589793238463;

// An angle difference brought into (-pi, pi].
double WrapAngle(double a) {
  a = std::fmod(a, kTwoPi);
  if (a > kPi) a -= kTwoPi;
  if (a <= -kPi) a += kTwoPi;
  return a;
}

// The network in reduced coordinates and its linearisation.
class Network {
 public:
  Network(const std::vector<NetworkSighting>& s, double originX, double originY,
          const Sigmas& sigmas)
      : s_(s), ox_(originX), oy_(originY) {
    const int n = static_cast<int>(s.size());
    for (int j = 0; j < n; ++j) {
      if (s[j].hasAzimuth) Add(ObservationKind::Azimuth, j, s[j].azimuth, sigmas.azimuth);
      if (s[j].hasDistance) Add(ObservationKind::Distance, j, s[j].distance, sigmas.distance);
    }
    for (int j = 0; j < n; ++j) Add(ObservationKind::MapX, j, s[j].mapX - ox_, sigmas.mapX);
    for (int j = 0; j < n; ++j) Add(ObservationKind::MapY, j, s[j].mapY - oy_, sigmas.mapY);
    weight_.resize(static_cast<Eigen::Index>(obs_.size()));
    for (size_t i = 0; i < obs_.size(); ++i)
      weight_[static_cast<Eigen::Index>(i)] = 1 / (obs_[i].sigma * obs_[i].sigma);
  }

  int Unknowns() const { return 2 + 2 * static_cast<int>(s_.size()); }
  int Observations() const { return static_cast<int>(obs_.size()); }
  double OriginX() const { return ox_; }
  double OriginY() const { return oy_; }
  const std::vector<AdjustedObservation>& Obs() const { return obs_; }
  const Eigen::VectorXd& Weights() const { return weight_; }

  // Unknowns at the start: the field tree as given, the map trees at their
  // map coordinates.
  Eigen::VectorXd Start(double x, double y) const {
    Eigen::VectorXd u(Unknowns());
    u[0] = x - ox_;
    u[1] = y - oy_;
    for (size_t j = 0; j < s_.size(); ++j) {
      u[2 + 2 * static_cast<Eigen::Index>(j)] = s_[j].mapX - ox_;
      u[3 + 2 * static_cast<Eigen::Index>(j)] = s_[j].mapY - oy_;
    }
    return u;
  }

  // Computed minus observed for every observation at u; with a design
  // matrix when A is given. False where a map tree coincides with the field
  // tree (no direction defined).
  bool Evaluate(const Eigen::VectorXd& u, Eigen::VectorXd& v, Eigen::MatrixXd* A) const {
    const Eigen::Index m = Observations();
    v.resize(m);
    if (A) A->setZero(m, Unknowns());
    for (Eigen::Index i = 0; i < m; ++i) {
      const AdjustedObservation& o = obs_[static_cast<size_t>(i)];
      const Eigen::Index cx = 2 + 2 * o.sighting, cy = cx + 1;
      const double dx = u[cx] - u[0], dy = u[cy] - u[1];
      switch (o.kind) {
        case ObservationKind::Azimuth: {
          const double s2 = dx * dx + dy * dy;
          if (!(s2 > 0)) return false;
          v[i] = WrapAngle(std::atan2(dx, dy) - o.observed);
          if (A) {
            (*A)(i, cx) = dy / s2;
            (*A)(i, cy) = -dx / s2;
            (*A)(i, 0) = -dy / s2;
            (*A)(i, 1) = dx / s2;
          }
          break;
        }
        case ObservationKind::Distance: {
          const double s = std::sqrt(dx * dx + dy * dy);
          if (!(s > 0)) return false;
          v[i] = s - o.observed;
          if (A) {
            (*A)(i, cx) = dx / s;
            (*A)(i, cy) = dy / s;
            (*A)(i, 0) = -dx / s;
            (*A)(i, 1) = -dy / s;
          }
          break;
        }
        case ObservationKind::MapX:
          v[i] = u[cx] - o.observed;
          if (A) (*A)(i, cx) = 1;
          break;
        case ObservationKind::MapY:
          v[i] = u[cy] - o.observed;
          if (A) (*A)(i, cy) = 1;
          break;
      }
    }
    return v.allFinite();
  }

  double Vtpv(const Eigen::VectorXd& v) const { return v.dot(weight_.cwiseProduct(v)); }

 private:
  void Add(ObservationKind kind, int sighting, double value, double sigma) {
    AdjustedObservation o;
    o.kind = kind;
    o.sighting = sighting;
    o.observed = value;
    o.sigma = sigma;
    obs_.push_back(o);
  }

  const std::vector<NetworkSighting>& s_;
  double ox_, oy_;
  std::vector<AdjustedObservation> obs_;
  Eigen::VectorXd weight_;
};

// The normal matrix scaled to a unit diagonal and factorised; singular when
// a pivot is lost against that unit scale.
struct NormalSolver {
  Eigen::VectorXd scale;
  Eigen::LDLT<Eigen::MatrixXd> ldlt;

  bool Factor(const Eigen::MatrixXd& N) {
    const Eigen::VectorXd d = N.diagonal();
    if (!(d.minCoeff() > 0)) return false;
    scale = d.cwiseSqrt().cwiseInverse();
    ldlt.compute(scale.asDiagonal() * N * scale.asDiagonal());
    if (ldlt.info() != Eigen::Success) return false;
    const Eigen::VectorXd pivots = ldlt.vectorD();
    return pivots.allFinite() && pivots.minCoeff() > 1e-10;
  }
  Eigen::VectorXd Solve(const Eigen::VectorXd& b) const {
    return scale.asDiagonal() * ldlt.solve(scale.asDiagonal() * b);
  }
  Eigen::MatrixXd Inverse() const {
    const Eigen::Index n = scale.size();
    Eigen::MatrixXd inner = ldlt.solve(Eigen::MatrixXd::Identity(n, n));
    return scale.asDiagonal() * inner * scale.asDiagonal();
  }
};

}  // namespace

Adjustment AdjustNetwork(const std::vector<NetworkSighting>& sightings, double startX,
                         double startY, const Sigmas& sigmas) {
  // The local origin: the start position to the metre, so that map-grid
  // coordinates in the millions keep their digits.
  const Network net(sightings, std::round(startX), std::round(startY), sigmas);
  Adjustment out;
  out.redundancy = net.Observations() - net.Unknowns();
  Eigen::VectorXd u = net.Start(startX, startY);
  Eigen::VectorXd v, vTrial;
  Eigen::MatrixXd A;
  NormalSolver solver;
  const Eigen::VectorXd& p = net.Weights();

  auto linearise = [&]() {
    if (!net.Evaluate(u, v, &A)) return false;
    const Eigen::MatrixXd AtP = A.transpose() * p.asDiagonal();
    return solver.Factor(AtP * A);
  };

  out.status = AdjustStatus::NotConverged;
  while (out.iterations < kMaxIterations) {
    if (!linearise()) {
      out.status = AdjustStatus::Singular;
      return out;
    }
    ++out.iterations;
    // Corrections for the misclosures l = -v.
    const Eigen::VectorXd dx = solver.Solve(-(A.transpose() * p.cwiseProduct(v)));
    if (!dx.allFinite()) {
      out.status = AdjustStatus::Singular;
      return out;
    }
    if (dx.cwiseAbs().maxCoeff() < kConvergenceLimit) {
      u += dx;
      out.status = AdjustStatus::Converged;
      break;
    }
    // Halve the step while vTPv does not decrease.
    const double before = net.Vtpv(v);
    double step = 1;
    bool accepted = false;
    for (int h = 0; h <= kMaxHalvings; ++h, step /= 2) {
      const Eigen::VectorXd trial = u + step * dx;
      if (net.Evaluate(trial, vTrial, nullptr) && net.Vtpv(vTrial) <= before) {
        u = trial;
        accepted = true;
        break;
      }
    }
    if (!accepted) return out;
  }
  if (out.status != AdjustStatus::Converged) return out;

  // Figures at the final position.
  if (!linearise()) {
    out.status = AdjustStatus::Singular;
    return out;
  }
  const Eigen::MatrixXd Qxx = solver.Inverse();
  out.x = u[0] + net.OriginX();
  out.y = u[1] + net.OriginY();
  out.qxx = Qxx(0, 0);
  out.qxy = Qxx(0, 1);
  out.qyy = Qxx(1, 1);
  out.vtpv = net.Vtpv(v);
  out.observations = net.Obs();
  for (Eigen::Index i = 0; i < v.size(); ++i) {
    AdjustedObservation& o = out.observations[static_cast<size_t>(i)];
    const auto a = A.row(i);
    // r = 1 - p a Qxx a^T: the diagonal of Qvv P.
    o.r = 1 - p[i] * a.dot(Qxx * a.transpose());
    o.residual = v[i];
    o.adjusted = o.observed + v[i];
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
