#include "adjust/GrossErrorTest.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <utility>

#include "adjust/FisherQuantile.h"

namespace pelmar {

namespace {
constexpr double kProbability = 0.95;
constexpr double kClearProbability = 0.999;
// s′² is held at 1e-16 of the point's own T₀/k at least: when the other
// points fit exactly, a point with any misfit gets T = 1e16, beyond every
// quantile, whatever the units of its observations.
constexpr double kSmallVarianceShare = 1e-16;

// The quantile's finite series has df2/2 terms: with a run's few (k, r − k)
// pairs remembered, testing n points costs O(n), not O(n²).
double quantile(double probability, int k, int df2) {
  thread_local std::map<std::tuple<double, int, int>, double> known;
  const auto [it, inserted] = known.try_emplace({probability, k, df2}, 0.0);
  if (inserted) it->second = FisherQuantile(probability, k, df2);
  return it->second;
}

// The point's cofactors in standardised form, I + sign·B·Qxx·Bᵀ with
// B = P^½·A (sign −1: P^½·Qvv·P^½ of a point in the fit; +1: of its
// discrepancy from a fit without it), and the square roots of its weights.
Matrix standardisedCofactors(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                             std::vector<double>& root, double sign) {
  const int k = design.rows();
  Matrix b = design;
  root.assign(static_cast<std::size_t>(k), 0.0);
  for (int r = 0; r < k; ++r) {
    root[r] = std::sqrt(weights[r]);
    for (int j = 0; j < b.cols(); ++j) b(r, j) *= root[r];
  }
  Matrix s(k, k, 0.0);
  for (int r = 0; r < k; ++r) s(r, r) = 1.0;
  if (design.cols() > 0) {
    const Matrix bqb = b.Multiply(qxx).Multiply(b.Transpose());
    s = sign < 0.0 ? s.Subtract(bqb) : s.Add(bqb);
  }
  return s;
}

// T = T₀/(k·s′²) against F(k, r − k), with s′² = rest/(r − k) but at least
// the rounding level `noise` of one observation; untested when r − k < 1.
void decide(GrossErrorResult& result, int k, int redundancy, double t0, double rest, double noise) {
  const int df2 = redundancy - k;
  if (df2 < 1) return;
  result.tested = true;
  result.F = quantile(kProbability, k, df2);
  // T₀ is a quadratic form in a cofactor matrix: below 0 only by rounding.
  t0 = std::max(t0, 0.0);
  const double s2 = std::max({rest / df2, noise, kSmallVarianceShare * t0 / k});
  result.T = s2 > 0.0 ? t0 / (k * s2) : 0.0;
  result.outlier = result.T > result.F;
  result.clear = result.outlier && result.T > quantile(kClearProbability, k, df2);
}
}  // namespace

double PseudoObservations::omega(const Matrix& shift) const {
  double sum = 0.0;
  for (int r = 0; r < rows.rows(); ++r) {
    double value = 0.0;
    for (int j = 0; j < rows.cols(); ++j) value += rows(r, j) * (x(j, 0) + (shift.rows() > 0 ? shift(j, 0) : 0.0));
    sum += weights[static_cast<std::size_t>(r)] * value * value;
  }
  return sum;
}

int PointsRedundancy(int pointObservations, int unknowns, const PseudoObservations& prior, const Matrix& qxx) {
  double share = pointObservations - unknowns;
  const Matrix aq = prior.rows.Multiply(qxx);
  for (int r = 0; r < prior.rows.rows(); ++r) {
    double q = 0.0;
    for (int j = 0; j < prior.rows.cols(); ++j) q += aq(r, j) * prior.rows(r, j);
    share += prior.weights[static_cast<std::size_t>(r)] * q;
  }
  return static_cast<int>(std::lround(share));
}

GrossErrorResult TestForGrossError(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                   const Matrix& v, double omega, int redundancy, const PseudoObservations* prior,
                                   double noise) {
  const int k = design.rows();
  std::vector<double> root;
  Matrix standardised = standardisedCofactors(design, weights, qxx, root, -1.0);
  standardised.InvertInPlace();
  // w = (P^½·Qvv·P^½)⁻¹·P^½·v; then Qvv⁻¹·v = P^½·w and ∇ = −P^-½·w.
  Matrix scaled(k, 1, 0.0);
  for (int r = 0; r < k; ++r) scaled(r, 0) = root[r] * v(r, 0);
  const Matrix w = standardised.Multiply(scaled);
  GrossErrorResult result;
  result.nabla = Matrix(k, 1, 0.0);
  double t0 = 0.0;
  for (int r = 0; r < k; ++r) {
    t0 += scaled(r, 0) * w(r, 0);
    result.nabla(r, 0) = root[r] > 0.0 ? -w(r, 0) / root[r] : 0.0;
  }
  double rest = omega - t0;
  if (prior != nullptr) {
    // Qvv⁻¹·v = P^½·w; the solution without the point is x + Qxx·Aᵀ·Qvv⁻¹·v.
    Matrix qv(k, 1, 0.0);
    for (int r = 0; r < k; ++r) qv(r, 0) = root[r] * w(r, 0);
    const Matrix shift = qxx.Multiply(design.Transpose()).Multiply(qv);
    rest += prior->omega() - prior->omega(shift);
  }
  decide(result, k, redundancy, t0, rest, noise);
  return result;
}

GrossErrorResult TestAgainstFit(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                const Matrix& d, double omega, int redundancy, double noise) {
  const int k = design.rows();
  std::vector<double> root;
  // P^½·(P⁻¹ + A·Qxx·Aᵀ)·P^½ = I + B·Qxx·Bᵀ.
  Matrix standardised = standardisedCofactors(design, weights, qxx, root, +1.0);
  standardised.InvertInPlace();
  Matrix scaled(k, 1, 0.0);
  for (int r = 0; r < k; ++r) scaled(r, 0) = root[r] * d(r, 0);
  const Matrix w = standardised.Multiply(scaled);
  GrossErrorResult result;
  result.nabla = Matrix(k, 1, 0.0);
  double t0 = 0.0;
  for (int r = 0; r < k; ++r) {
    t0 += scaled(r, 0) * w(r, 0);
    result.nabla(r, 0) = -d(r, 0);
  }
  // The fit without the point has r; with it, r + k.
  decide(result, k, redundancy + k, t0, omega, noise);
  return result;
}

}  // namespace pelmar
