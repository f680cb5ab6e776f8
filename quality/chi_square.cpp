#include "quality/chi_square.h"

#include <math.h>  // lgamma_r

#include <cmath>

namespace treetri::quality {
namespace {

// ln Gamma(a), without the sign that std::lgamma leaves in a global: the
// plot network's threads call these functions at once.
double LogGamma(double a) {
  int sign = 0;
  return ::lgamma_r(a, &sign);
}

// The standard normal quantile by Acklam's rational approximation (relative
// error below 1.2e-9): a start value, refined on the chi-square function.
double NormalQuantile(double p) {
  static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                             1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
  static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                             6.680131188771972e+01, -1.328068155288572e+01};
  static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                             -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
  static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                             3.754408661907416e+00};
  double x;
  if (p < 0.02425) {
    const double q = std::sqrt(-2 * std::log(p));
    x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
        ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  } else if (p > 1 - 0.02425) {
    const double q = std::sqrt(-2 * std::log(1 - p));
    x = -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
        ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  } else {
    const double q = p - 0.5, r = q * q;
    x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
        (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
  }
  return x;
}

}  // namespace

double RegularisedGammaP(double a, double x) {
  if (x <= 0) return 0;
  const double logPrefix = a * std::log(x) - x - LogGamma(a);
  if (x < a + 1) {
    // Series: P = x^a e^-x / Gamma(a+1) * sum x^n / ((a+1)...(a+n)).
    double term = 1 / a, sum = term;
    for (int n = 1; n < 1000; ++n) {
      term *= x / (a + n);
      sum += term;
      if (std::fabs(term) < std::fabs(sum) * 1e-17) break;
    }
    return sum * std::exp(logPrefix);
  }
  // Continued fraction for Q = 1 - P (modified Lentz).
  const double tiny = 1e-300;
  double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
  for (int i = 1; i < 1000; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) < 1e-17) break;
  }
  return 1 - std::exp(logPrefix) * h;
}

double ChiSquareQuantile(double p, int f) {
  const double k = f;
  const double z = NormalQuantile(p);
  const double h = 2 / (9 * k);
  double x = k * std::pow(std::fmax(1 - h + z * std::sqrt(h), 0.01), 3);
  const double a = k / 2;
  for (int i = 0; i < 50; ++i) {
    // Density of chi-square(f) at x.
    const double density =
        std::exp((a - 1) * std::log(x) - x / 2 - a * std::log(2.0) - LogGamma(a));
    const double step = (RegularisedGammaP(a, x / 2) - p) / density;
    double next = x - step;
    if (next <= 0) next = x / 2;
    const bool done = std::fabs(next - x) <= 1e-14 * x;
    x = next;
    if (done) break;
  }
  return x;
}

double NonCentralChiSquareTail(int f, double lambda, double x) {
  double sum = 0, weight = std::exp(-lambda / 2);
  for (int j = 0; j < 200; ++j) {
    sum += weight * (1 - RegularisedGammaP(f / 2.0 + j, x / 2));
    weight *= lambda / 2 / (j + 1);
  }
  return sum;
}

}  // namespace treetri::quality
