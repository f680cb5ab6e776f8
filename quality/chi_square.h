// The chi-square distribution: its quantiles, for the global test of an
// adjustment and the confidence ellipse, and the tail of the non-central
// one, for the power of a test.
#pragma once

namespace treetri::quality {

// Regularised lower incomplete gamma function P(a, x), a > 0, x >= 0.
double RegularisedGammaP(double a, double x);

// The p-quantile of the chi-square distribution with f > 0 degrees of
// freedom: the x with P(f/2, x/2) = p, for 0 < p < 1. A Wilson-Hilferty
// start refined by Newton steps on the distribution function.
double ChiSquareQuantile(double p, int f);

// P(chi2'(f, lambda) > x): the non-central chi-square with f > 0 degrees of
// freedom and non-centrality lambda >= 0, as a Poisson mixture of central
// ones (200 terms: enough for lambda up to about 100).
double NonCentralChiSquareTail(int f, double lambda, double x);

}  // namespace treetri::quality
