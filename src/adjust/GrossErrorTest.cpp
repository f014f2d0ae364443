#include "adjust/GrossErrorTest.h"

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
}  // namespace

GrossErrorResult TestForGrossError(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                   const Matrix& v, double omega, int redundancy) {
  const int k = design.rows();
  // B = P^½·A, so that P^½·Qvv·P^½ = I − B·Qxx·Bᵀ.
  Matrix b = design;
  std::vector<double> root(static_cast<std::size_t>(k));
  for (int r = 0; r < k; ++r) {
    root[r] = std::sqrt(weights[r]);
    for (int j = 0; j < b.cols(); ++j) b(r, j) *= root[r];
  }
  Matrix standardised(k, k, 0.0);
  for (int r = 0; r < k; ++r) standardised(r, r) = 1.0;
  if (design.cols() > 0) standardised = standardised.Subtract(b.Multiply(qxx).Multiply(b.Transpose()));
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
  const int df2 = redundancy - k;
  if (df2 < 1) return result;
  result.F = quantile(k, df2);
  const double s2 = (omega - t0) / df2;
  if (s2 >= kSmallVariance) result.T = t0 / (k * s2);
  result.outlier = result.T > result.F;
  return result;
}

}  // namespace pelmar
