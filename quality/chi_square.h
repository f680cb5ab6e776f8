// Quantiles of the chi-square distribution, for the global test of an
// adjustment and the confidence ellipse.
#pragma once

namespace treetri::quality {

// Regularised lower incomplete gamma function P(a, x), a > 0, x >= 0.
double RegularisedGammaP(double a, double x);

// The p-quantile of the chi-square distribution with f > 0 degrees of
// freedom: the x with P(f/2, x/2) = p, for 0 < p < 1. A Wilson-Hilferty
// start refined by Newton steps on the distribution function.
double ChiSquareQuantile(double p, int f);

}  // namespace treetri::quality
