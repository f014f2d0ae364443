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
// into infinities. A point is tested when r − k ≥ 1; T and F are 0 otherwise.
// s′² is held at 1e-16 at least: when the other points fit exactly, a point
// with any misfit gets a T beyond every quantile, not 0.
//
// An L1 fit (GrossErrorFit::Robust) leaves a gross error in the point's
// residual at its full size instead of spreading it, so the formulas above,
// made for least-squares residuals, would put T₀ above Ω (s′² < 0) exactly
// for the largest errors. For it
//   ∇   = −v                         the residual is the error's estimate
//   s′² = (Ω − vᵀ·P·v)/(r − k)       the other points' share of Ω
// with T₀ and the cofactors Qxx still those of the least-squares fit. A
// point the L1 fit passes through is tested by TestAgainstOthers instead
// (adjust/RobustTest.h). Together, on clean normal noise, they flag 5.6 to
// 6.7 % of the points at 95 % (similarity and affine, 6 to 30 points, 200
// runs each; least squares 5 %).
struct GrossErrorResult {
  Matrix nabla;  // k × 1, in the units of the observations
  double T = 0.0;
  double F = 0.0;  // FisherQuantile(0.95, k, r − k)
  bool outlier = false;
  bool tested = false;  // r − k ≥ 1: T and F mean something
};

// How the residuals were fitted: least squares, or the L1 norm.
enum class GrossErrorFit { LeastSquares, Robust };

// Prior information as pseudo-observations a·x = 0 with weights w (the
// ellipsoidal estimation's remaining translations near zero). They steady
// the fit and stand in Qxx, but the variance factor of the test comes from
// the points alone: a loose prior adds next to nothing to Ω, and counting
// its rows as degrees of freedom flagged up to 31 % of clean points. With
// it, Ω and r of a test are the points' own: Ω without the prior's share,
// r the points' share of the redundancy (PointsRedundancy), and the
// variance factor without the point
//   s′² = (Ω + Ωprior − T₀ − Ωprior₋ᵢ)/(r − k)
// with the prior's share Ωprior₋ᵢ under the solution without the point,
// x₋ᵢ = x + Qxx·Aᵀ·Qvv⁻¹·v.
struct PseudoObservations {
  Matrix rows;                  // m × u
  std::vector<double> weights;  // m
  Matrix x;                     // the solution, u × 1

  // Σ w·(a·x)² under x + shift (shift u × 1, or empty for none).
  double omega(const Matrix& shift = Matrix()) const;
};

// The points' share of the redundancy: the observations' redundancy numbers
// summed, n − u + Σ w·a·Qxx·aᵀ over the pseudo-observations, to the nearest
// whole number.
int PointsRedundancy(int pointObservations, int unknowns, const PseudoObservations& prior, const Matrix& qxx);

GrossErrorResult TestForGrossError(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                   const Matrix& v, double omega, int redundancy,
                                   GrossErrorFit fit = GrossErrorFit::LeastSquares,
                                   const PseudoObservations* prior = nullptr);

// Whether an L1 fit passes through one of the point's observations: a
// component of √p·v at or below `limit` (AdjustmentSolution::passThrough;
// none when it is below 0).
bool FitPassesThrough(const Matrix& v, const std::vector<double>& weights, double limit);

// The test of a point against a fit of the other points alone (x₋ᵢ), for an
// L1 fit that passed through the point: d is the point's discrepancy under
// x₋ᵢ (computed minus given), Ω₋ᵢ the others' weighted squared residuals, r
// the redundancy of the whole fit and Qxx its least-squares cofactors.
//   T₀  = dᵀ·(P⁻¹ + A·Q₋ᵢ·Aᵀ)⁻¹·d = dᵀ·P·Qvv·P·d    (Qvv of the whole fit)
//   ∇   = −d
//   s′² = Ω₋ᵢ/(r − k),  T = T₀/(k·s′²)
// With least-squares fits in place of the L1 ones this is exactly
// TestForGrossError's least-squares form.
GrossErrorResult TestAgainstOthers(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                   const Matrix& d, double omegaOthers, int redundancy);

}  // namespace pelmar
