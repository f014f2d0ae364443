#include "adjust/GrossErrorTest.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "adjust/FisherQuantile.h"

namespace pelmar {

namespace {
constexpr double kProbability = 0.95;
constexpr double kSmallVariance = 1e-16;

// The quantile's finite series has df2/2 terms: with a run's few (k, r − k)
// pairs remembered, testing n points costs O(n), not O(n²).
double quantile(int k, int df2) {
  thread_local std::map<std::pair<int, int>, double> known;
  const auto [it, inserted] = known.try_emplace({k, df2}, 0.0);
  if (inserted) it->second = FisherQuantile(kProbability, k, df2);
  return it->second;
}

// The point's cofactors in standardised form, P^½·Qvv·P^½ = I − B·Qxx·Bᵀ with
// B = P^½·A, and the square roots of its weights.
Matrix standardisedCofactors(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                             std::vector<double>& root) {
  const int k = design.rows();
  Matrix b = design;
  root.assign(static_cast<std::size_t>(k), 0.0);
  for (int r = 0; r < k; ++r) {
    root[r] = std::sqrt(weights[r]);
    for (int j = 0; j < b.cols(); ++j) b(r, j) *= root[r];
  }
  Matrix s(k, k, 0.0);
  for (int r = 0; r < k; ++r) s(r, r) = 1.0;
  if (design.cols() > 0) s = s.Subtract(b.Multiply(qxx).Multiply(b.Transpose()));
  return s;
}

// T = T₀/(k·s′²) against F(k, r − k), with s′² = rest/(r − k) held at 1e-16
// at least; untested when r − k < 1.
void decide(GrossErrorResult& result, int k, int redundancy, double t0, double rest) {
  const int df2 = redundancy - k;
  if (df2 < 1) return;
  result.tested = true;
  result.F = quantile(k, df2);
  // T₀ is a quadratic form in a cofactor matrix: below 0 only by rounding.
  result.T = std::max(t0, 0.0) / (k * std::max(rest / df2, kSmallVariance));
  result.outlier = result.T > result.F;
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
                                   const Matrix& v, double omega, int redundancy, GrossErrorFit fit,
                                   const PseudoObservations* prior) {
  const int k = design.rows();
  std::vector<double> root;
  Matrix standardised = standardisedCofactors(design, weights, qxx, root);
  standardised.InvertInPlace();
  // w = (P^½·Qvv·P^½)⁻¹·P^½·v; then Qvv⁻¹·v = P^½·w and ∇ = −P^-½·w.
  Matrix scaled(k, 1, 0.0);
  for (int r = 0; r < k; ++r) scaled(r, 0) = root[r] * v(r, 0);
  const Matrix w = standardised.Multiply(scaled);
  GrossErrorResult result;
  result.nabla = Matrix(k, 1, 0.0);
  double t0 = 0.0, own = 0.0;
  for (int r = 0; r < k; ++r) {
    t0 += scaled(r, 0) * w(r, 0);
    own += scaled(r, 0) * scaled(r, 0);
    if (fit == GrossErrorFit::Robust) result.nabla(r, 0) = -v(r, 0);
    else result.nabla(r, 0) = root[r] > 0.0 ? -w(r, 0) / root[r] : 0.0;
  }
  double rest = fit == GrossErrorFit::Robust ? omega - own : omega - t0;
  if (prior != nullptr && fit == GrossErrorFit::LeastSquares) {
    // Qvv⁻¹·v = P^½·w; the solution without the point is x + Qxx·Aᵀ·Qvv⁻¹·v.
    Matrix qv(k, 1, 0.0);
    for (int r = 0; r < k; ++r) qv(r, 0) = root[r] * w(r, 0);
    const Matrix shift = qxx.Multiply(design.Transpose()).Multiply(qv);
    rest += prior->omega() - prior->omega(shift);
  }
  decide(result, k, redundancy, t0, rest);
  return result;
}

bool FitPassesThrough(const Matrix& v, const std::vector<double>& weights, double limit) {
  if (limit < 0.0) return false;
  for (int r = 0; r < v.rows(); ++r) {
    if (std::sqrt(weights[r]) * std::fabs(v(r, 0)) <= limit) return true;
  }
  return false;
}

GrossErrorResult TestAgainstOthers(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                   const Matrix& d, double omegaOthers, int redundancy) {
  const int k = design.rows();
  std::vector<double> root;
  const Matrix standardised = standardisedCofactors(design, weights, qxx, root);
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
  decide(result, k, redundancy, t0, omegaOthers);
  return result;
}

}  // namespace pelmar
