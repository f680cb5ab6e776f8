// An adjustment of one field tree worked out independently of the program:
// plain normal equations in long double, numerical derivatives, Gauss-Jordan
// elimination, absolute coordinates. The tests compare the program with it.
#pragma once

#include <vector>

namespace treetri::testing {

struct LsqObservation {
  enum Kind { Azimuth, Distance, MapX, MapY } kind;
  int tree;           // index of the sighted tree, 0 up
  long double value;  // azimuth in radians clockwise from north, metres otherwise
  long double sigma;
};

struct LsqSolution {
  long double x = 0, y = 0, sigma0 = 0;
  long double qxx = 0, qxy = 0, qyy = 0;  // cofactors of the position
  int iterations = 0;
  // Per observation, at the last linearisation: computed minus observed, and
  // the cofactor of the adjusted observation (a Q a^T).
  std::vector<long double> v, aqa;
};

// Gauss-Newton from (x0, y0), the map trees starting at their observed
// coordinates, until both position steps are below `tolerance`.
LsqSolution SolveIndependently(long double x0, long double y0, const std::vector<LsqObservation>& obs,
                               long double tolerance, int maxIterations);

}  // namespace treetri::testing
