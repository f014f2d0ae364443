#pragma once

#include "adjust/Matrix.h"

namespace pelmar {

// The test of one identical point for a gross error: with its design rows A
// (m × u), the cofactors Qxx of the unknowns and its residuals v (m × 1),
// Qvv = I − A·Qxx·Aᵀ, ∇ = −Qvv⁻¹·v (exchange inversion), T₀ = |∇ᵀ·Qvv·∇|,
// s'² = |Ω − T₀| / redundancy and T = T₀ / s'² (0 when s'² < 1e-16 or the
// redundancy is not positive).
struct GrossErrorResult {
  Matrix nabla;  // m × 1
  double T = 0.0;
};

GrossErrorResult TestForGrossError(const Matrix& design, const Matrix& qxx, const Matrix& v, double omega,
                                   int redundancy);

}  // namespace pelmar
