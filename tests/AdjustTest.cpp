#include <gtest/gtest.h>

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <boost/math/distributions/non_central_chi_squared.hpp>
#include <algorithm>
#include <array>
#include <functional>
#include <cmath>
#include <random>

#include "adjust/FisherQuantile.h"
#include "adjust/GrossErrorTest.h"
#include "adjust/NormalEquations.h"
#include "estimation/EstimationRun.h"
#include "adjust/Matrix.h"

namespace pelmar {
namespace {

Matrix fromRows(std::initializer_list<std::initializer_list<double>> rows) {
  Matrix m(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()), 0.0);
  int i = 0;
  for (const auto& row : rows) {
    int j = 0;
    for (double value : row) m(i, j++) = value;
    ++i;
  }
  return m;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected, double tolerance) {
  ASSERT_EQ(actual.rows(), expected.rows());
  ASSERT_EQ(actual.cols(), expected.cols());
  for (int i = 0; i < actual.rows(); ++i) {
    for (int j = 0; j < actual.cols(); ++j) EXPECT_NEAR(actual(i, j), expected(i, j), tolerance) << i << "," << j;
  }
}

TEST(Matrix, arithmetic_gives_new_matrices_of_the_right_shape) {
  const Matrix a = fromRows({{1, 2}, {3, 4}, {5, 6}});
  const Matrix b = fromRows({{1, 0, 2, -1}, {0, 1, 1, 3}});
  expectMatrixNear(a.Multiply(b), fromRows({{1, 2, 4, 5}, {3, 4, 10, 9}, {5, 6, 16, 13}}), 0);
  expectMatrixNear(a.Transpose(), fromRows({{1, 3, 5}, {2, 4, 6}}), 0);
  expectMatrixNear(a.Add(a).Subtract(a.Scale(0.5)), a.Scale(1.5), 0);
  expectMatrixNear(Matrix(3, 3, 0.0), fromRows({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}), 0);
  EXPECT_EQ(a(2, 1), 6.0) << "operands stay unchanged";
}

TEST(Matrix, invert_with_full_pivoting) {
  const struct {
    const char* what;
    Matrix m, inverse;
  } cases[] = {
      {"exchange needed", fromRows({{0, 1}, {1, 0}}), fromRows({{0, 1}, {1, 0}})},
      {"negative pivots", fromRows({{-4, 1}, {1, -3}}), fromRows({{-3.0 / 11, -1.0 / 11}, {-1.0 / 11, -4.0 / 11}})},
      {"1e-9", fromRows({{1e-9}}), fromRows({{1e9}})},
      {"permuted 3x3", fromRows({{0, 2, 0}, {0, 0, 3}, {4, 0, 0}}),
       fromRows({{0, 0, 0.25}, {0.5, 0, 0}, {0, 1.0 / 3, 0}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Matrix m = c.m;
    ASSERT_EQ(m.Invert(), 1);
    expectMatrixNear(m, c.inverse, 1e-12 * std::fabs(c.inverse(0, 0)) + 1e-15);
  }
  // A general matrix: the product with the original is the identity.
  const Matrix g = fromRows({{2, -1, 0, 3}, {1, 5, 2, 0}, {0, 3, -4, 1}, {7, 0, 1, 1}});
  Matrix gi = g;
  ASSERT_EQ(gi.Invert(), 1);
  expectMatrixNear(g.Multiply(gi), fromRows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}), 1e-14);
}

TEST(Matrix, invert_refuses_singular_matrices) {
  for (Matrix m : {fromRows({{1, 2}, {0, 0}}), fromRows({{1e-11}}), fromRows({{1, 2}, {2, 4}}),
                   fromRows({{NAN, NAN}, {NAN, NAN}})}) {
    EXPECT_EQ(m.Invert(), -1);
  }
}

TEST(Matrix, both_inversions_agree_on_a_symmetric_positive_definite_matrix) {
  const Matrix a = fromRows({{4, 1, 0.5}, {1, 3, 0.25}, {0.5, 0.25, 2}});
  Matrix pivoted = a, exchanged = a;
  ASSERT_EQ(pivoted.Invert(), 1);
  EXPECT_EQ(exchanged.InvertInPlace(), 1);
  expectMatrixNear(exchanged, pivoted, 1e-15);
}

// A cofactor block without redundancy is zero: the exchange inversion must
// give a defined, finite result instead of dividing by zero.
TEST(Matrix, exchange_inversion_of_a_zero_pivot_stays_finite) {
  Matrix zero(2, 2, 0.0);
  EXPECT_EQ(zero.InvertInPlace(), 1);
  expectMatrixNear(zero, Matrix(2, 2, 0.0), 0);
  Matrix partly = fromRows({{0, 0}, {0, 4}});
  partly.InvertInPlace();
  expectMatrixNear(partly, fromRows({{0, 0}, {0, 0.25}}), 1e-15);
}

// Boost.Math's F quantile; where its own root finder gives up (it does for a
// few large df2 at p = 0.5), bisection on Boost's distribution function.
double referenceQuantile(double p, int df1, int df2) {
  const boost::math::fisher_f_distribution<double> f(df1, df2);
  try {
    return boost::math::quantile(f, p);
  } catch (const std::exception&) {
    double low = 0.0, high = 1.0;
    while (boost::math::cdf(f, high) < p) high *= 2.0;
    for (int i = 0; i < 200; ++i) {
      const double mid = 0.5 * (low + high);
      (boost::math::cdf(f, mid) < p ? low : high) = mid;
    }
    return 0.5 * (low + high);
  }
}

// Reference: Boost.Math's F-distribution quantile, over the degrees of
// freedom and probabilities the estimations can meet.
TEST(FisherQuantile, matches_boost_within_1e_4_relative) {
  int checked = 0;
  for (int df1 = 1; df1 <= 10; ++df1) {
    for (int df2 : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 20, 25, 30, 37, 50, 60, 99, 100, 120, 200, 333, 500, 999,
                    1000}) {
      for (double p : {0.5, 0.9, 0.95, 0.99, 0.999}) {
        const double expected = referenceQuantile(p, df1, df2);
        const double actual = FisherQuantile(p, df1, df2);
        EXPECT_NEAR(actual / expected, 1.0, 1e-4) << "df1 " << df1 << " df2 " << df2 << " p " << p;
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 10 * 26 * 5);
}

TEST(FisherQuantile, distribution_function_matches_boost) {
  for (int df1 : {1, 2, 3, 4, 7}) {
    for (int df2 : {2, 3, 5, 8, 41, 1000}) {
      const boost::math::fisher_f_distribution<double> f(df1, df2);
      for (double x : {0.01, 0.3, 1.0, 2.5, 7.0, 40.0}) {
        EXPECT_NEAR(FisherDistribution(x, df1, df2), boost::math::cdf(f, x), 1e-12)
            << df1 << " " << df2 << " " << x;
        EXPECT_NEAR(FisherDensity(x, df1, df2) / boost::math::pdf(f, x), 1.0, 1e-10);
      }
    }
  }
}


// The test of a group of k observations against its definition: freeing the
// group (refitting without it) lowers Ω by exactly T₀, the group's residuals
// under that refit are −∇, and T = T₀/(k·s′²) with s′² = Ω_without/(r − k).
// Random design, weights spread over four orders of magnitude (mixed units).
// The form that tests the point against the others' fit (used after L1
// fits) gives the same T and ∇ when that fit is the least-squares one.
TEST(GrossErrorTest, equals_refitting_without_the_point) {
  std::mt19937 random(42);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  const int n = 14, u = 3, k = 2;
  std::vector<std::array<double, u>> a(n);
  std::vector<double> l(n), p(n);
  for (int i = 0; i < n; ++i) {
    for (double& value : a[i]) value = uniform(random);
    l[i] = uniform(random);
    p[i] = std::pow(10.0, 2.0 * uniform(random));
  }
  auto fit = [&](int skipFirst, Matrix& qxx, Matrix& x) {
    NormalEquations normal(u);
    for (int i = 0; i < n; ++i) {
      if (i != skipFirst && i != skipFirst + 1) normal.add(a[i].data(), l[i], p[i]);
    }
    ASSERT_EQ(normal.solve(qxx, x), 1);
  };
  auto omegaOf = [&](const Matrix& x, int skipFirst) {
    double omega = 0.0;
    for (int i = 0; i < n; ++i) {
      if (i != skipFirst && i != skipFirst + 1) omega += p[i] * std::pow(RowResidual(a[i].data(), l[i], x), 2);
    }
    return omega;
  };
  Matrix qxx, x;
  fit(-2, qxx, x);
  const double omega = omegaOf(x, -2);
  const int r = n - u;
  for (int first = 0; first < n; first += k) {
    SCOPED_TRACE(first);
    Matrix design(k, u, 0.0), v(k, 1, 0.0);
    for (int row = 0; row < k; ++row) {
      for (int j = 0; j < u; ++j) design(row, j) = a[first + row][j];
      v(row, 0) = RowResidual(a[first + row].data(), l[first + row], x);
    }
    const GrossErrorResult result = TestForGrossError(design, {p[first], p[first + 1]}, qxx, v, omega, r);
    Matrix qxxWithout, xWithout;
    fit(first, qxxWithout, xWithout);
    const double omegaWithout = omegaOf(xWithout, first);
    for (int row = 0; row < k; ++row) {
      EXPECT_NEAR(result.nabla(row, 0), -RowResidual(a[first + row].data(), l[first + row], xWithout), 1e-9);
    }
    const double t0 = omega - omegaWithout;
    EXPECT_NEAR(result.T, t0 / (k * omegaWithout / (r - k)), 1e-9 * result.T);
    EXPECT_NEAR(result.F, 4.25649, 1e-5) << "F(0.95; 2, 9), Boost.Math";
    EXPECT_EQ(result.outlier, result.T > result.F);
    Matrix d(k, 1, 0.0);
    for (int row = 0; row < k; ++row) d(row, 0) = RowResidual(a[first + row].data(), l[first + row], xWithout);
    const GrossErrorResult against =
        TestAgainstFit(design, {p[first], p[first + 1]}, qxxWithout, d, omegaWithout, r - k);
    EXPECT_NEAR(against.T, result.T, 1e-9 * result.T);
    for (int row = 0; row < k; ++row) EXPECT_NEAR(against.nabla(row, 0), result.nabla(row, 0), 1e-9);
  }
}

// Without redundancy beyond the point itself there is nothing to test.
TEST(GrossErrorTest, no_spare_observations_give_zero) {
  const Matrix design = fromRows({{1.0}, {1.0}});
  const Matrix v = fromRows({{0.1}, {-0.1}});
  const GrossErrorResult result = TestForGrossError(design, {1.0, 1.0}, fromRows({{0.5}}), v, 0.02, 2);
  EXPECT_EQ(result.T, 0.0);
  EXPECT_EQ(result.F, 0.0);
  EXPECT_FALSE(result.outlier);
  EXPECT_FALSE(result.tested);
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// An L1 loop whose norm keeps falling by more than 1e-9 of itself and whose
// last pass still moves the observations by more than the reports print
// stops after pass 1000 and says so: the counter the reports print is 1001
// and the solution is not settled.
TEST(SolveAdjustment, a_loop_that_keeps_moving_stops_unsettled_at_1001) {
  int pass = 0;
  auto rows = [&](auto&& add) {
    // One unknown observed once, the observation shrinking by 1 % a pass:
    // the solution moves and the L1 norm at the solution before it falls
    // by 1 % every time.
    const double a[1] = {1.0};
    add(a, 1e6 * std::pow(0.99, pass), 1.0);
  };
  const AdjustmentSolution solution =
      SolveAdjustment(1, true, rows, [](const Matrix&, const Matrix&) { return false; }, [&](int k) { pass = k; });
  EXPECT_FALSE(solution.settled);
  EXPECT_EQ(solution.counter, 1001);
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// The noncentrality behind the minimal detectable bias: a χ² test with k
// degrees of freedom at 5 % finds it with 80 % probability (Boost.Math
// non_central_chi_squared).
TEST(Reliability, detectable_noncentrality_gives_80_percent_power) {
  for (int k = 1; k <= 3; ++k) {
    const double limit = boost::math::quantile(boost::math::chi_squared(k), 0.95);
    const double power =
        boost::math::cdf(boost::math::complement(boost::math::non_central_chi_squared(k, stages::DetectableNoncentrality(k)), limit));
    EXPECT_NEAR(power, 0.80, 1e-4) << k;
  }
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// Weights 1e12 apart square a design's condition past the normal equations'
// pivot limit; the orthogonal factorisation solves the same rows, and on a
// well-conditioned system both agree.
TEST(OrthogonalRows, solves_what_the_normal_equations_cannot_and_agrees_elsewhere) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  constexpr int u = 4, n = 12;
  std::vector<std::array<double, u>> a(n);
  std::vector<double> l(n);
  const double truth[u] = {1.5, -2.0, 0.25, 3.0};
  for (int i = 0; i < n; ++i) {
    for (double& value : a[i]) value = uniform(random);
    a[i][3] = a[i][2] + 1e-7 * a[i][3];  // two columns nearly alike
    l[i] = 0.0;
    for (int j = 0; j < u; ++j) l[i] += a[i][j] * truth[j];
  }
  for (double spread : {1.0, 1e12}) {
    SCOPED_TRACE(spread);
    auto rows = [&](auto& sink) {
      for (int i = 0; i < n; ++i) sink.add(a[i].data(), l[i], i % 3 == 0 ? spread : 1.0);
    };
    Matrix qxx, x;
    NormalEquations normal(u);
    rows(normal);
    const bool normalSolves = normal.solve(qxx, x) == 1;
    OrthogonalRows orthogonal(u);
    rows(orthogonal);
    ASSERT_EQ(orthogonal.solve(qxx, x), 1);
    for (int j = 0; j < u; ++j) EXPECT_NEAR(x(j, 0), truth[j], 1e-4 * std::fabs(truth[j])) << j;
    if (spread > 1.0) {
      EXPECT_FALSE(normalSolves) << "the normal equations lose every digit here";
    }
    ASSERT_EQ(SolveLeastSquares(u, rows, qxx, x), 1);
  }
  // Rank deficient: a column of zeros.
  OrthogonalRows deficient(2);
  const double row1[2] = {1.0, 0.0}, row2[2] = {2.0, 0.0};
  deficient.add(row1, 1.0, 1.0);
  deficient.add(row2, 2.0, 1.0);
  Matrix qxx, x;
  EXPECT_EQ(deficient.solve(qxx, x), -1);
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// The ranks found on every core from bit patterns are the values
// std::nth_element puts there, whatever the spread, ties, zeros, infinities
// or an empty part; L1ResidualsOf gives the same bits either way.
TEST(MagnitudeRanks, equal_nth_element_and_give_the_same_l1_scan) {
  std::mt19937_64 random(7);
  std::normal_distribution<double> normal(0.0, 0.005);
  std::uniform_real_distribution<double> exponent(-30.0, 30.0);
  const std::vector<std::function<double(std::size_t)>> kinds = {
      [&](std::size_t) { return normal(random); },                              // residuals of a fit
      [&](std::size_t i) { return i % 3 == 0 ? 0.0 : normal(random); },         // a third passed through
      [&](std::size_t i) { return i % 2 == 0 ? -0.0 : 1e-3 * (i % 5); },       // ties and signed zeros
      [&](std::size_t) { return std::pow(10.0, exponent(random)); },            // sixty decades
      [&](std::size_t i) { return i == 7 ? INFINITY : normal(random); },        // one infinity
      [&](std::size_t) { return 0.25; },                                        // one value throughout
  };
  for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
    for (std::size_t n : {1, 2, 1000, 200001}) {
      std::vector<std::vector<double>> parts(5);
      for (std::size_t i = 0; i < n; ++i) parts[i % 4 == 3 ? 4 : i % 3].push_back(kinds[kind](i));  // part 3 empty
      std::vector<double> all;
      for (const auto& part : parts) {
        for (double v : part) all.push_back(std::fabs(v));
      }
      const MagnitudeRanks ranks({parts.begin(), parts.end()});
      for (std::size_t rank : {std::size_t{0}, n / 3, n / 2, n - 1}) {
        std::vector<double> sorted = all;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank), sorted.end());
        EXPECT_EQ(ranks.at(rank), sorted[rank]) << "kind " << kind << ", n " << n << ", rank " << rank;
        EXPECT_EQ(ranks.countAtMost(sorted[rank]),
                  static_cast<std::size_t>(std::count_if(all.begin(), all.end(), [&](double m) { return m <= sorted[rank]; })));
      }
      double norm = 0.0;
      for (double m : all) norm += m;
      const L1Residuals wide = L1ResidualsOf(ranks, norm), one = L1ResidualsOf(all);
      EXPECT_EQ(wide.floor, one.floor) << "kind " << kind << ", n " << n;
      EXPECT_EQ(wide.passThrough, one.passThrough) << "kind " << kind << ", n " << n;
    }
  }
}

}  // namespace
}  // namespace pelmar
