#include "tests/independent_lsq.h"

#include <algorithm>
#include <cmath>

namespace treetri::testing {

LsqSolution SolveIndependently(long double x0, long double y0, const std::vector<LsqObservation>& obs,
                               long double tolerance, int maxIterations) {
  int trees = 0;
  for (const LsqObservation& o : obs) trees = std::max(trees, o.tree + 1);
  const int u = 2 + 2 * trees, m = static_cast<int>(obs.size());
  std::vector<long double> p(u);
  p[0] = x0, p[1] = y0;
  for (const LsqObservation& o : obs)
    if (o.kind == LsqObservation::MapX || o.kind == LsqObservation::MapY)
      p[2 + 2 * o.tree + (o.kind == LsqObservation::MapY)] = o.value;
  auto misfit = [&](const LsqObservation& o, const std::vector<long double>& q) {
    const long double dx = q[2 + 2 * o.tree] - q[0], dy = q[3 + 2 * o.tree] - q[1];
    switch (o.kind) {
      case LsqObservation::Azimuth: return remainderl(atan2l(dx, dy) - o.value, 2 * 3.14159265358979323846264L);
      case LsqObservation::Distance: return hypotl(dx, dy) - o.value;
      default: return q[2 + 2 * o.tree + (o.kind == LsqObservation::MapY)] - o.value;
    }
  };
  std::vector<std::vector<long double>> A(m, std::vector<long double>(u)), M;
  LsqSolution out;
  out.v.resize(m);
  for (out.iterations = 1; out.iterations <= maxIterations; ++out.iterations) {
    for (int i = 0; i < m; ++i) {
      out.v[i] = misfit(obs[i], p);
      for (int k = 0; k < u; ++k) {
        std::vector<long double> hi = p, lo = p;
        const long double h = 1e-5L;
        hi[k] += h;
        lo[k] -= h;
        A[i][k] = (misfit(obs[i], hi) - misfit(obs[i], lo)) / (2 * h);
      }
    }
    // [N | I | -A^T P v], reduced to [I | N^-1 | dx].
    M.assign(u, std::vector<long double>(2 * u + 1));
    for (int r = 0; r < u; ++r) {
      for (int i = 0; i < m; ++i) {
        const long double w = 1 / (obs[i].sigma * obs[i].sigma);
        for (int c = 0; c < u; ++c) M[r][c] += A[i][r] * w * A[i][c];
        M[r][2 * u] -= A[i][r] * w * out.v[i];
      }
      M[r][u + r] = 1;
    }
    for (int c = 0; c < u; ++c) {
      int best = c;
      for (int r = c + 1; r < u; ++r)
        if (fabsl(M[r][c]) > fabsl(M[best][c])) best = r;
      std::swap(M[c], M[best]);
      const long double d = M[c][c];
      for (long double& e : M[c]) e /= d;
      for (int r = 0; r < u; ++r)
        if (r != c) {
          const long double f = M[r][c];
          for (int k = 0; k <= 2 * u; ++k) M[r][k] -= f * M[c][k];
        }
    }
    for (int k = 0; k < u; ++k) p[k] += M[k][2 * u];
    if (fabsl(M[0][2 * u]) < tolerance && fabsl(M[1][2 * u]) < tolerance) break;
  }
  out.iterations = std::min(out.iterations, maxIterations);
  long double vtpv = 0;
  out.aqa.assign(m, 0);
  for (int i = 0; i < m; ++i) {
    vtpv += out.v[i] * out.v[i] / (obs[i].sigma * obs[i].sigma);
    for (int r = 0; r < u; ++r)
      for (int c = 0; c < u; ++c) out.aqa[i] += A[i][r] * M[r][u + c] * A[i][c];
  }
  out.x = p[0], out.y = p[1];
  out.sigma0 = sqrtl(vtpv / (m - u));
  out.qxx = M[0][u], out.qxy = M[0][u + 1], out.qyy = M[1][u + 1];
  return out;
}

}  // namespace treetri::testing
