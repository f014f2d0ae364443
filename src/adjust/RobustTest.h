#pragma once

#include <cstddef>
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
// point (FitPassesThrough) is tested against the L1 fit of the other points instead: with the
// solution x₋ᵢ of the others, its discrepancy d = v + A·(x₋ᵢ − x) and their Ω₋ᵢ
// (TestAgainstOthers). When the others do not determine the unknowns, the
// point is not tested. Every other point gets TestForGrossError's L1 form.
//
// `rowsExcept(i, add)` calls add(a, l, p) for every observation row except
// those of point i, prior pseudo-observations included; `settled` ends the
// refit's loop as it ended the fit's. With `prior`, Ω and r are the points'
// own (PseudoObservations).
template <class RowsExcept, class Settled>
GrossErrorResult TestAfterL1Fit(int u, std::size_t point, RowsExcept&& rowsExcept, Settled&& settled,
                                const Matrix& design, const std::vector<double>& weights, const Matrix& qxx,
                                const Matrix& x, double passThrough, const Matrix& v, double omega,
                                int redundancy, const PseudoObservations* prior = nullptr) {
  GrossErrorResult result = TestForGrossError(design, weights, qxx, v, omega, redundancy, GrossErrorFit::Robust);
  if (!result.tested || !FitPassesThrough(v, weights, passThrough)) return result;
  auto others = [&](auto&& add) { rowsExcept(point, add); };
  const AdjustmentSolution refit = SolveAdjustment(u, true, others, settled, [](int) {});
  if (refit.singular) {
    result.T = result.F = 0.0;
    result.outlier = result.tested = false;
    return result;
  }
  double omegaOthers = 0.0;
  others([&](const double* a, double l, double p) {
    const double r = RowResidual(a, l, refit.x);
    omegaOthers += p * r * r;
  });
  // Ω of the others' points alone (see PseudoObservations).
  if (prior != nullptr) omegaOthers -= prior->omega(refit.x.Subtract(prior->x));
  const Matrix d = v.Add(design.Multiply(refit.x.Subtract(x)));
  return TestAgainstOthers(design, weights, qxx, d, omegaOthers, redundancy);
}

}  // namespace pelmar
