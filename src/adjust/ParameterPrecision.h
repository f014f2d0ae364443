#pragma once

#include <cmath>
#include <functional>
#include <vector>

#include "adjust/Matrix.h"

namespace pelmar {

// Standard deviations of the quantities f(p) that a report prints, from the
// cofactors Q of the unknowns p and the standard deviation of unit weight
// σ0 (law of error propagation, σ_f² = σ0²·J·Q·Jᵀ with J = ∂f/∂p).
//
// J is taken by central differences with the step h_j = 1e-4·√Q_jj, a ten-
// thousandth of the unknown's own cofactor scale: the printed quantities
// (scale from a and b, angles, translations turned back into the files'
// frame) hardly bend over such a step, and it is large enough against the
// unknown's value that rounding costs no more than about 1e-8 of σ. An
// unknown whose cofactor is not positive contributes nothing.
inline std::vector<double> PropagateSigma(const Matrix& q, double sigma0, const std::vector<double>& p,
                                          const std::function<std::vector<double>(const std::vector<double>&)>& f) {
  const int u = static_cast<int>(p.size());
  const std::vector<double> centre = f(p);
  const std::size_t count = centre.size();
  std::vector<std::vector<double>> jacobian(count, std::vector<double>(static_cast<std::size_t>(u), 0.0));
  for (int j = 0; j < u; ++j) {
    const double h = 1e-4 * std::sqrt(std::fmax(q(j, j), 0.0));
    if (!(h > 0.0)) continue;
    std::vector<double> up = p, down = p;
    up[j] += h;
    down[j] -= h;
    const std::vector<double> fUp = f(up), fDown = f(down);
    for (std::size_t i = 0; i < count; ++i) jacobian[i][j] = (fUp[i] - fDown[i]) / (2.0 * h);
  }
  std::vector<double> sigma(count, 0.0);
  for (std::size_t i = 0; i < count; ++i) {
    double variance = 0.0;
    for (int j = 0; j < u; ++j) {
      for (int k = 0; k < u; ++k) variance += jacobian[i][j] * q(j, k) * jacobian[i][k];
    }
    sigma[i] = sigma0 * std::sqrt(std::fmax(variance, 0.0));
  }
  return sigma;
}

}  // namespace pelmar
