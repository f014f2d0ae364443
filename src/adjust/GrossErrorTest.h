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
// ∇ = −Qvv⁻¹·v and T₀ = ∇ᵀ·Qvv·∇. ∇ is given minus computed: an error +e
// put into a given coordinate shows as ∇ ≈ +e.
//
// Qvv is inverted in the form P^½·Qvv·P^½ = I − P^½·A·Qxx·Aᵀ·P^½, whose
// diagonal holds the redundancy numbers (0 … 1) whatever the units; a
// component without redundancy (below 1e-12) drops out instead of turning
// into infinities. A point is tested when r − k ≥ 1; T and F are 0 otherwise.
// s′² is held at 1e-16 of T₀/k at least: when the other points fit exactly,
// a point with any misfit gets a T beyond every quantile, not 0. It is held
// at `noise` too, the variance of one observation that rounding alone
// leaves (σ² of about 1e-13 of the coordinates' size): exact data whose
// residuals are rounding flagged points with T = 1e16.
//
// After an L1 fit the points are tested against least-squares fits of the
// points the L1 residuals do not set aside (the estimation's test stage):
// a point inside such a fit with this test, a point outside it with
// TestAgainstFit.
struct GrossErrorResult {
  Matrix nabla;  // k × 1, in the units of the observations
  double T = 0.0;
  double F = 0.0;  // FisherQuantile(0.95, k, r − k)
  bool outlier = false;
  bool tested = false;  // r − k ≥ 1: T and F mean something
  bool clear = false;   // T beyond the 99.9 % quantile too: no doubt left
};

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
                                   const PseudoObservations* prior = nullptr, double noise = 0.0);

// The test of a point that took no part in a least-squares fit of other
// points: d is its discrepancy under that fit (computed minus given), Qxx
// the fit's cofactors, Ω and r its weighted squared residuals and its
// redundancy (the points' own, with prior information).
//   T₀  = dᵀ·(P⁻¹ + A·Qxx·Aᵀ)⁻¹·d
//   ∇   = −d
//   s′² = Ω/r,  T = T₀/(k·s′²)  ~  F(k, r)
// This is TestForGrossError's test of the point in the fit that includes
// it; tested when r ≥ 1.
GrossErrorResult TestAgainstFit(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                const Matrix& d, double omega, int redundancy, double noise = 0.0);

}  // namespace pelmar
