#include "TransverseMercatorSeries.h"

#include <cmath>
#include <limits>

namespace viv {

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr int kOrder = 6;

// Σ c[j]·sin(2jζ) for complex ζ = ξ + iη, j = 1…6, by Clenshaw's recurrence
// y_j = 2cos(2ζ)·y_{j+1} − y_{j+2} + c_j, sum = y_1·sin(2ζ); returned as the
// real and imaginary parts.
void sineSeries(const double (&c)[7], double xi, double eta, double& re, double& im) {
  const double s = std::sin(2.0 * xi), co = std::cos(2.0 * xi);
  const double sh = std::sinh(2.0 * eta), ch = std::cosh(2.0 * eta);
  const double ar = 2.0 * co * ch, ai = -2.0 * s * sh;  // 2cos(2ζ)
  double y1r = 0.0, y1i = 0.0, y2r = 0.0, y2i = 0.0;
  for (int j = kOrder; j >= 1; --j) {
    const double r = ar * y1r - ai * y1i - y2r + c[j];
    const double i = ai * y1r + ar * y1i - y2i;
    y2r = y1r;
    y2i = y1i;
    y1r = r;
    y1i = i;
  }
  const double sr = s * ch, si = co * sh;  // sin(2ζ)
  re = y1r * sr - y1i * si;
  im = y1r * si + y1i * sr;
}

}  // namespace

TransverseMercatorSeries::TransverseMercatorSeries(double a, double f, double k0)
    : e2_(f * (2.0 - f)), e_(std::sqrt(e2_)), e2m_(1.0 - e2_) {
  const double n = f / (2.0 - f);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
  // Rectifying radius A = a/(1+n)·(1 + n²/4 + n⁴/64 + n⁶/256).
  scale_ = k0 * a / (1.0 + n) * (1.0 + n2 / 4.0 + n4 / 64.0 + n6 / 256.0);
  alpha_[0] = beta_[0] = 0.0;
  alpha_[1] = n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180 - 127 * n5 / 288 + 7891 * n6 / 37800;
  alpha_[2] = 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440 + 281 * n5 / 630 - 1983433 * n6 / 1935360;
  alpha_[3] = 61 * n3 / 240 - 103 * n4 / 140 + 15061 * n5 / 26880 + 167603 * n6 / 181440;
  alpha_[4] = 49561 * n4 / 161280 - 179 * n5 / 168 + 6601661 * n6 / 7257600;
  alpha_[5] = 34729 * n5 / 80640 - 3418889 * n6 / 1995840;
  alpha_[6] = 212378941 * n6 / 319334400;
  beta_[1] = n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360 - 81 * n5 / 512 + 96199 * n6 / 604800;
  beta_[2] = n2 / 48 + n3 / 15 - 437 * n4 / 1440 + 46 * n5 / 105 - 1118711 * n6 / 3870720;
  beta_[3] = 17 * n3 / 480 - 37 * n4 / 840 - 209 * n5 / 4480 + 5569 * n6 / 90720;
  beta_[4] = 4397 * n4 / 161280 - 11 * n5 / 504 - 830251 * n6 / 7257600;
  beta_[5] = 4583 * n5 / 161280 - 108847 * n6 / 3991680;
  beta_[6] = 20648693 * n6 / 638668800;
}

// τ′ = τ·√(1+σ²) − σ·√(1+τ²), σ = sinh(e·atanh(e·sin φ)) (Karney 2011 eq. 7–9).
double TransverseMercatorSeries::conformalTan(double tau) const {
  const double sec = std::sqrt(1.0 + tau * tau);
  const double sigma = std::sinh(e_ * std::atanh(e_ * tau / sec));
  return tau * std::sqrt(1.0 + sigma * sigma) - sigma * sec;
}

// Newton's method on τ′(τ) with dτ′/dτ = (1−e²)·√(1+τ′²)·√(1+τ²)/(1+(1−e²)τ²)
// (eq. 19–21); two or three steps reach machine precision.
double TransverseMercatorSeries::geographicTan(double taup) const {
  constexpr double tolerance = 0.1 * 1.4901161193847656e-08;  // √ε / 10
  double tau = taup / e2m_;
  for (int i = 0; i < 8; ++i) {
    const double t = conformalTan(tau);
    const double step = (taup - t) * (1.0 + e2m_ * tau * tau) /
                        (e2m_ * std::sqrt(1.0 + t * t) * std::sqrt(1.0 + tau * tau));
    tau += step;
    if (!(std::fabs(step) >= tolerance * std::fmax(1.0, std::fabs(tau)))) break;
  }
  return tau;
}

void TransverseMercatorSeries::Forward(double lon0, double lat, double lon, double& x, double& y) const {
  double dlon = lon - lon0;
  if (!(dlon > -180.0 && dlon <= 180.0)) dlon = std::remainder(dlon, 360.0);
  // Computed for the first quadrant, the signs put back after: exact symmetry.
  const double latSign = std::signbit(lat) ? -1.0 : 1.0, lonSign = std::signbit(dlon) ? -1.0 : 1.0;
  const double phi = std::fabs(lat) * kDegree, lam = std::fabs(dlon) * kDegree;
  double xip = 0.0, etap = 0.0;
  if (std::fabs(lat) < 90.0) {
    const double c = std::fmax(0.0, std::cos(lam));
    const double taup = conformalTan(std::tan(phi));
    xip = std::atan2(taup, c);
    etap = std::asinh(std::sin(lam) / std::sqrt(taup * taup + c * c));
  } else {
    xip = 90.0 * kDegree;
  }
  double re = 0.0, im = 0.0;
  sineSeries(alpha_, xip, etap, re, im);
  y = scale_ * (xip + re) * latSign;
  x = scale_ * (etap + im) * lonSign;
}

void TransverseMercatorSeries::Reverse(double lon0, double x, double y, double& lat, double& lon) const {
  const double xiSign = std::signbit(y) ? -1.0 : 1.0, etaSign = std::signbit(x) ? -1.0 : 1.0;
  const double xi = std::fabs(y) / scale_, eta = std::fabs(x) / scale_;
  double re = 0.0, im = 0.0;
  sineSeries(beta_, xi, eta, re, im);
  const double xip = xi - re, etap = eta - im;
  const double s = std::sinh(etap), c = std::fmax(0.0, std::cos(xip));
  const double r = std::sqrt(s * s + c * c);
  double phi = 0.0, lam = 0.0;
  if (r != 0.0) {
    lam = std::atan2(s, c);
    phi = std::atan(geographicTan(std::sin(xip) / r));
  } else {
    phi = 90.0 * kDegree;
  }
  lat = phi / kDegree * xiSign;
  lon = lon0 + lam / kDegree * etaSign;
  if (!(lon > -180.0 && lon <= 180.0)) lon = std::remainder(lon, 360.0);
}

}  // namespace viv
