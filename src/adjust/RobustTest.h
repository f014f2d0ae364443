#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "adjust/GrossErrorTest.h"
#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"

namespace pelmar {

// The gross-error test of one point after an L1 fit.
//
// The fit passes through u of the observations exactly. A point among them
// shows nothing of its error in its residuals: a wrong source coordinate far
// from the others (a lever on the rotation and scale) draws the L1 fit onto
// itself, its residuals vanish and every other point takes the misfit. Such a
// point (FitPassesThrough) is tested against the L1 fit of the other points
// instead: with its discrepancy d from that fit and their Ω₋ᵢ
// (TestAgainstOthers). When the others do not determine the unknowns, the
// point is not tested. Every other point gets TestForGrossError's L1 form.
//
// `refit()` gives the point's discrepancy d under the L1 fit of the other
// points and their Ω₋ᵢ, or nothing when they do not determine the unknowns;
// RefitLinear does it for a model linear in its unknowns.
struct Refitted {
  Matrix d;                  // k × 1, computed minus given
  double omegaOthers = 0.0;  // the other points' Σ p·v² (without prior information)
};

template <class Refit>
GrossErrorResult TestAfterL1Fit(const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                double passThrough, const Matrix& v, double omega, int redundancy, Refit&& refit) {
  GrossErrorResult result = TestForGrossError(design, weights, qxx, v, omega, redundancy, GrossErrorFit::Robust);
  if (!result.tested || !FitPassesThrough(v, weights, passThrough)) return result;
  const std::optional<Refitted> others = refit();
  if (!others) {
    result.T = result.F = 0.0;
    result.outlier = result.tested = false;
    return result;
  }
  return TestAgainstOthers(design, weights, qxx, others->d, others->omegaOthers, redundancy);
}

// The refit of a linear model: `rowsExcept(i, add)` calls add(a, l, p) for
// every observation row except those of point i, prior pseudo-observations
// included; `settled` ends the refit's loop as it ended the fit's. With the
// solution x₋ᵢ, d = v + A·(x₋ᵢ − x). With `prior`, Ω₋ᵢ is the points' own
// (PseudoObservations).
template <class RowsExcept, class Settled>
std::optional<Refitted> RefitLinear(int u, std::size_t point, RowsExcept&& rowsExcept, Settled&& settled,
                                    const Matrix& design, const Matrix& x, const Matrix& v,
                                    const PseudoObservations* prior = nullptr) {
  auto others = [&](auto&& add) { rowsExcept(point, add); };
  const AdjustmentSolution refit = SolveAdjustment(u, true, others, settled, [](int) {});
  if (refit.singular) return std::nullopt;
  Refitted out;
  others([&](const double* a, double l, double p) {
    const double r = RowResidual(a, l, refit.x);
    out.omegaOthers += p * r * r;
  });
  if (prior != nullptr) out.omegaOthers -= prior->omega(refit.x.Subtract(prior->x));
  out.d = v.Add(design.Multiply(refit.x.Subtract(x)));
  return out;
}

}  // namespace pelmar
