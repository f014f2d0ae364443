#include "adjust/GrossErrorTest.h"

#include <cmath>

namespace pelmar {

GrossErrorResult TestForGrossError(const Matrix& design, const Matrix& qxx, const Matrix& v, double omega,
                                   int redundancy) {
  const int m = design.rows();
  Matrix qvv(m, m, 0.0);
  for (int r = 0; r < m; ++r) qvv(r, r) = 1.0;
  if (design.cols() > 0) qvv = qvv.Subtract(design.Multiply(qxx).Multiply(design.Transpose()));
  Matrix inverse = qvv;
  inverse.InvertInPlace();
  GrossErrorResult result;
  result.nabla = inverse.Multiply(v).Scale(-1.0);
  const double t0 = std::fabs(result.nabla.Transpose().Multiply(qvv).Multiply(result.nabla)(0, 0));
  if (redundancy > 0) {
    const double s2 = std::fabs(omega - t0) / redundancy;
    result.T = s2 >= 1e-16 ? t0 / s2 : 0.0;
  }
  return result;
}

}  // namespace pelmar
