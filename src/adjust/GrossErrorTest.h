#pragma once

#include <vector>

#include "adjust/Matrix.h"

namespace pelmar {

// The test of one identical point for a gross error in its k observations
// (Baarda's data snooping with the variance factor estimated without the
// point, Pope's form for a group of observations):
//
//   Qvv = P⁻¹ − A·Qxx·Aᵀ            cofactors of the point's residuals
//   T₀  = vᵀ·Qvv⁻¹·v                 the drop of Ω = vᵀ·P·v when the point's
//                                    observations are freed
//   ∇   = −(Qvv·P)⁻¹·v               the estimated error of its observations
//   s′² = (Ω − T₀)/(r − k)           variance factor without the point
//   T   = T₀/(k·s′²)  ~  F(k, r − k) under the null hypothesis
//
// with the point's design rows A (k × u), the diagonal of its weights P, the
// cofactors Qxx of the unknowns under the same weights, its residuals v
// (computed minus given), Ω of the whole adjustment and the redundancy r
// (observations minus unknowns). With P = I, ∇ and T₀ are the classic
// ∇ = −Qvv⁻¹·v and T₀ = ∇ᵀ·Qvv·∇.
//
// Qvv is inverted in the form P^½·Qvv·P^½ = I − P^½·A·Qxx·Aᵀ·P^½, whose
// diagonal holds the redundancy numbers (0 … 1) whatever the units; a
// component without redundancy (below 1e-12) drops out instead of turning
// into infinities. T and F are 0 when r − k < 1 or s′² < 1e-16.
struct GrossErrorResult {
  Matrix nabla;  // k × 1, in the units of the observations
  double T = 0.0;
  double F = 0.0;  // FisherQuantile(0.95, k, r − k)
  bool outlier = false;
};

GrossErrorResult TestForGrossError(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                   const Matrix& v, double omega, int redundancy);

}  // namespace pelmar
