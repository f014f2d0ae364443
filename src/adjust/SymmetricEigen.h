#pragma once

#include <array>
#include <cmath>

namespace pelmar {

// Eigenvalues and eigenvectors of a small symmetric matrix by cyclic Jacobi
// rotations (Golub and Van Loan, Matrix Computations, § 8.5). A few sweeps
// reach the working precision; every eigenvalue is accurate to about 1e-16
// of the largest, which is what the spread of a point set and the start of
// a rotation ask of it. Nothing is sorted.
template <int N>
struct SymmetricEigen {
  std::array<double, N> values{};
  std::array<std::array<double, N>, N> vectors{};  // vectors[i][k]: component i of eigenvector k
};

template <int N>
SymmetricEigen<N> DecomposeSymmetric(std::array<std::array<double, N>, N> a) {
  SymmetricEigen<N> out;
  for (int i = 0; i < N; ++i) out.vectors[i][i] = 1.0;
  for (int sweep = 0; sweep < 60; ++sweep) {
    double off = 0.0, diagonal = 0.0;
    for (int p = 0; p < N; ++p) {
      diagonal += a[p][p] * a[p][p];
      for (int q = p + 1; q < N; ++q) off += a[p][q] * a[p][q];
    }
    if (off == 0.0 || off <= 1e-34 * diagonal) break;
    for (int p = 0; p < N - 1; ++p) {
      for (int q = p + 1; q < N; ++q) {
        if (a[p][q] == 0.0) continue;
        const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
        const double t = std::copysign(1.0, theta) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
        for (int k = 0; k < N; ++k) {  // A := A·J
          const double akp = a[k][p], akq = a[k][q];
          a[k][p] = c * akp - s * akq;
          a[k][q] = s * akp + c * akq;
        }
        for (int k = 0; k < N; ++k) {  // A := Jᵀ·A
          const double apk = a[p][k], aqk = a[q][k];
          a[p][k] = c * apk - s * aqk;
          a[q][k] = s * apk + c * aqk;
        }
        for (int k = 0; k < N; ++k) {  // V := V·J
          const double vkp = out.vectors[k][p], vkq = out.vectors[k][q];
          out.vectors[k][p] = c * vkp - s * vkq;
          out.vectors[k][q] = s * vkp + c * vkq;
        }
      }
    }
  }
  for (int i = 0; i < N; ++i) out.values[i] = a[i][i];
  return out;
}

}  // namespace pelmar
