#include "adjust/FisherQuantile.h"

#include <cmath>

namespace pelmar {

namespace {

const double kPi = 4.0 * std::atan2(1.0, 1.0);

// Upper-tail normal deviate for the tail probability q (Abramowitz and
// Stegun 26.2.23, |error| < 4.5e-4): a start value only.
double normalDeviate(double q) {
  const double t = std::sqrt(2.0 * std::log(1.0 / q));
  return t - (2.515517 + 0.802853 * t + 0.010328 * t * t) / (1.0 + 1.432788 * t + 0.189269 * t * t + 0.001308 * t * t * t);
}

// Student's t quantile by the Cornish–Fisher expansion in 1/n (Abramowitz
// and Stegun 26.7.5) from the normal deviate z.
double studentStart(double z, double n) {
  const double z2 = z * z;
  const double g1 = (z2 + 1.0) * z / 4.0;
  const double g2 = ((5.0 * z2 + 16.0) * z2 + 3.0) * z / 96.0;
  const double g3 = (((3.0 * z2 + 19.0) * z2 + 17.0) * z2 - 15.0) * z / 384.0;
  const double g4 = ((((79.0 * z2 + 776.0) * z2 + 1482.0) * z2 - 1920.0) * z2 - 945.0) * z / 92160.0;
  return z + g1 / n + g2 / (n * n) + g3 / (n * n * n) + g4 / (n * n * n * n);
}

}  // namespace

// P(F <= x) = I_u(m/2, n/2) with u = m x / (m x + n), summed exactly
// (Abramowitz and Stegun 26.6.4 to 26.6.8): a finite series in u for even m,
// in 1 − u for even n, and with the arctangent term when both are odd.
double FisherDistribution(double x, int m, int n) {
  if (!(x > 0.0)) return 0.0;
  if (std::isinf(x)) return 1.0;
  const double u = m * x / (m * x + n);
  const double v = n / (m * x + n);  // 1 − u without cancellation
  if (m % 2 == 0) {
    // Q = v^(n/2) Σ_{k<m/2} (n/2)_k / k! u^k
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < m / 2; ++k) {
      term *= (n / 2.0 + k - 1.0) / k * u;
      sum += term;
    }
    return 1.0 - std::pow(v, n / 2.0) * sum;
  }
  if (n % 2 == 0) {
    // P = u^(m/2) Σ_{k<n/2} (m/2)_k / k! v^k
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < n / 2; ++k) {
      term *= (m / 2.0 + k - 1.0) / k * v;
      sum += term;
    }
    return std::pow(u, m / 2.0) * sum;
  }
  // Both odd: θ = atan(√(m x / n)).
  const double theta = std::atan(std::sqrt(m * x / n));
  const double s = std::sin(theta), c = std::cos(theta);
  // A(t | n): Student's distribution part.
  double a = theta;
  if (n > 1) {
    double term = c, sum = c;
    for (int k = 3; k <= n - 2; k += 2) {
      term *= (k - 1.0) / k * c * c;
      sum += term;
    }
    a += s * sum;
  }
  a *= 2.0 / kPi;
  // β(m, n): the correction for m > 1.
  double beta = 0.0;
  if (m > 1) {
    double term = 1.0, sum = 1.0;
    for (int k = 3; k <= m - 2; k += 2) {
      term *= (n + k - 2.0) / k * s * s;
      sum += term;
    }
    const double lead = 2.0 / std::sqrt(kPi) * std::exp(std::lgamma((n + 1) / 2.0) - std::lgamma(n / 2.0));
    beta = lead * s * std::pow(c, n) * sum;
  }
  return a - beta;
}

double FisherDensity(double x, int m, int n) {
  if (!(x > 0.0)) return 0.0;
  const double logDensity = std::lgamma((m + n) / 2.0) - std::lgamma(m / 2.0) - std::lgamma(n / 2.0) +
                            (m / 2.0) * std::log(static_cast<double>(m) / n) + (m / 2.0 - 1.0) * std::log(x) -
                            ((m + n) / 2.0) * std::log1p(m * x / n);
  return std::exp(logDensity);
}

double FisherQuantile(double p, int df1, int df2) {
  if (p <= 0.0) return 0.0;
  const double alpha = df1 < 2 ? 1.0 - p : 2.0 * (1.0 - p);
  const double z = normalDeviate(alpha / 2.0);
  double f = 0.0;
  if (df1 == 1) {
    const double t = studentStart(z, df2);
    f = t * t;
  } else if (df1 == 2) {
    f = -std::log(1.0 - p);
  } else {
    const double h = 2.0 / (1.0 / (df1 - 1.0) + 1.0 / (df2 - 0.7));
    const double lambda = (z * z - 3.0) / 6.0;
    const double w = z * std::sqrt(h + lambda) / h -
                     (1.0 / (df1 - 1.0) - 1.0 / (df2 - 0.7)) * (lambda + 5.0 / 6.0 - 2.0 / (3.0 * h));
    f = std::exp(2.0 * w);
  }
  for (int iteration = 0; iteration < 100; ++iteration) {
    const double step = (p - FisherDistribution(f, df1, df2)) / FisherDensity(f, df1, df2);
    f += step;
    if (!(f > 0.0)) return static_cast<double>(df1) / df2;
    if (std::fabs(step) <= 1e-4) break;
  }
  return f;
}

}  // namespace pelmar
