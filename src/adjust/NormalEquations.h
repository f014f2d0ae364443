#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

#include "adjust/MagnitudeRanks.h"
#include "adjust/Matrix.h"
#include "app/EveryCore.h"

namespace pelmar {

// The normal equations N·x = n of a weighted least-squares adjustment,
// accumulated one observation row at a time (design row a of u columns,
// observation l, weight w): N += w·aᵀ·a, n += w·aᵀ·l. Memory is fixed
// (at most kMaxUnknowns unknowns) whatever the number of observations, and
// lives where the object does: a loop's rows on the stack next to a matrix
// on the heap ran 5 to 15 % slower by the chance of their addresses (the
// loads of a row waited behind the stores into the matrix).
class NormalEquations {
 public:
  static constexpr int kMaxUnknowns = 8;

  explicit NormalEquations(int unknowns) : u_(unknowns) {
    if (unknowns < 0 || unknowns > kMaxUnknowns) throw std::length_error("NormalEquations: too many unknowns");
  }

  int unknowns() const noexcept { return u_; }

  void add(const double* a, double l, double w) {
    switch (u_) {
      case 1: return addOf<1>(a, l, w);
      case 2: return addOf<2>(a, l, w);
      case 3: return addOf<3>(a, l, w);
      case 4: return addOf<4>(a, l, w);
      case 5: return addOf<5>(a, l, w);
      case 6: return addOf<6>(a, l, w);
      case 7: return addOf<7>(a, l, w);
      case 8: return addOf<8>(a, l, w);
      default: return;
    }
  }

  // Adds the sums of other rows (of as many unknowns).
  void merge(const NormalEquations& other) {
    for (int j = 0; j < u_; ++j) {
      rhs_[j] += other.rhs_[j];
      for (int k = 0; k < u_; ++k) normal_[j][k] += other.normal_[j][k];
    }
  }

  // Inverts N into `qxx` and solves x = qxx·n. N is first scaled to a unit
  // diagonal (D·N·D with D = diag(1/√Nii)), so that the inversion's pivot
  // limit (1e-10) is relative: the solution does not change when every
  // weight is multiplied by one factor, and a matrix whose columns are
  // dependent to 1e-10 counts as singular whatever the units. Returns 1, or
  // −1 when N is singular (a diagonal element that is not positive, a
  // vanishing pivot, or a solution that is not finite); qxx and x are then
  // what the inversion left and must not be used.
  int solve(Matrix& qxx, Matrix& x) const {
    double d[kMaxUnknowns] = {};
    bool positive = true;
    for (int j = 0; j < u_; ++j) {
      const double diagonal = normal_[j][j];
      positive = positive && diagonal > 0.0 && std::isfinite(diagonal);
      d[j] = positive ? 1.0 / std::sqrt(diagonal) : 1.0;
    }
    qxx = Matrix(u_, u_, 0.0);
    for (int j = 0; j < u_; ++j) {
      for (int k = 0; k < u_; ++k) qxx(j, k) = normal_[j][k] * (d[j] * d[k]);
    }
    int status = qxx.Invert();
    for (int j = 0; j < u_; ++j) {
      for (int k = 0; k < u_; ++k) qxx(j, k) *= d[j] * d[k];
    }
    Matrix rhs(u_, 1, 0.0);
    for (int j = 0; j < u_; ++j) rhs(j, 0) = rhs_[j];
    x = qxx.Multiply(rhs);
    for (int j = 0; j < u_; ++j) {
      if (!std::isfinite(x(j, 0))) status = -1;
    }
    return positive ? status : -1;
  }

 private:
  // The sums for a number of unknowns known to the compiler, two columns
  // an instruction (the scalar loop over a run-time count was a quarter of
  // a large L1 fit). An odd count also sums the padding column after the
  // last (products with 0, never read). Every element gets the same
  // product and sum as in a plain loop: results do not depend on this.
  template <int U>
  void addOf(const double* a, double l, double w) {
    typedef double Pair __attribute__((vector_size(16), may_alias));
    constexpr int kPairs = (U + 1) / 2;
    static_assert(2 * kPairs <= kMaxUnknowns);
    Pair columns[kPairs];
#pragma GCC unroll 4
    for (int k = 0; k < kPairs; ++k) columns[k] = Pair{a[2 * k], 2 * k + 1 < U ? a[2 * k + 1] : 0.0};
#pragma GCC unroll 8
    for (int j = 0; j < U; ++j) {
      const double wa = w * a[j];
      rhs_[j] += wa * l;
      Pair* row = reinterpret_cast<Pair*>(normal_[j]);
#pragma GCC unroll 4
      for (int k = 0; k < kPairs; ++k) row[k] += wa * columns[k];
    }
  }

  int u_;
  alignas(16) double normal_[kMaxUnknowns][kMaxUnknowns] = {};
  double rhs_[kMaxUnknowns] = {};
};

// The same least-squares problem by an orthogonal factorisation: every row
// √w·[a | l] is rotated into an upper triangle R (Givens rotations, memory
// u × (u + 1) whatever the number of rows), so that the condition of the
// weighted design is not squared as in the normal equations: a network with
// a few points of 1e-6 m among points of 1e-2 m (weights 1e8 apart) solves
// here where the normal equations lose every digit. The system is rank
// deficient when a diagonal element of R falls below 1e-12 of its
// column's norm.
class OrthogonalRows {
 public:
  explicit OrthogonalRows(int unknowns) : u_(unknowns) {
    if (unknowns < 0 || unknowns > NormalEquations::kMaxUnknowns) {
      throw std::length_error("OrthogonalRows: too many unknowns");
    }
  }

  void add(const double* a, double l, double w) {
    const double s = std::sqrt(w);
    double row[NormalEquations::kMaxUnknowns + 1];
    for (int j = 0; j < u_; ++j) {
      row[j] = s * a[j];
      norms_[j] += row[j] * row[j];
    }
    row[u_] = s * l;
    for (int j = 0; j < u_; ++j) {
      if (row[j] == 0.0) continue;
      const double h = std::hypot(r_[j][j], row[j]);
      const double c = r_[j][j] / h, sn = row[j] / h;
      r_[j][j] = h;
      for (int k = j + 1; k <= u_; ++k) {
        const double t = r_[j][k];
        r_[j][k] = c * t + sn * row[k];
        row[k] = c * row[k] - sn * t;
      }
    }
  }

  // x from R·x = Qᵀ·l and qxx = R⁻¹·R⁻ᵀ; 1, or −1 when rank deficient.
  int solve(Matrix& qxx, Matrix& x) const {
    constexpr double kRank = 1e-12;
    for (int j = 0; j < u_; ++j) {
      if (!(std::fabs(r_[j][j]) > kRank * std::sqrt(norms_[j])) || !std::isfinite(r_[j][j])) return -1;
    }
    Matrix inverse(u_, u_, 0.0);  // R⁻¹, upper triangular
    for (int j = u_ - 1; j >= 0; --j) {
      inverse(j, j) = 1.0 / r_[j][j];
      for (int k = j + 1; k < u_; ++k) {
        double sum = 0.0;
        for (int m = j + 1; m <= k; ++m) sum += r_[j][m] * inverse(m, k);
        inverse(j, k) = -sum / r_[j][j];
      }
    }
    x = Matrix(u_, 1, 0.0);
    for (int j = 0; j < u_; ++j) {
      for (int k = j; k < u_; ++k) x(j, 0) += inverse(j, k) * r_[k][u_];
    }
    qxx = inverse.Multiply(inverse.Transpose());
    for (int j = 0; j < u_; ++j) {
      if (!std::isfinite(x(j, 0))) return -1;
    }
    return 1;
  }

 private:
  int u_;
  double r_[NormalEquations::kMaxUnknowns][NormalEquations::kMaxUnknowns + 1] = {};
  double norms_[NormalEquations::kMaxUnknowns] = {};
};

// The weighted least-squares solution of the rows `accumulate(sink)` hands
// to sink.add(a, l, w): by the normal equations, and where they are
// singular to their pivot limit, by the orthogonal factorisation. Returns 1,
// or −1 when the rows do not determine the unknowns.
template <class Accumulate>
int SolveLeastSquares(int u, Accumulate&& accumulate, Matrix& qxx, Matrix& x, bool orthogonalToo = true) {
  NormalEquations normal(u);
  accumulate(normal);
  if (normal.solve(qxx, x) == 1) return 1;
  if (!orthogonalToo) return -1;
  OrthogonalRows orthogonal(u);
  accumulate(orthogonal);
  return orthogonal.solve(qxx, x);
}

// The residual a·x − l of one observation row (computed minus given).
inline double RowResidual(const double* a, double l, const double* x, int u) {
  double v = -l;
  for (int j = 0; j < u; ++j) v += a[j] * x[j];
  return v;
}
inline double RowResidual(const double* a, double l, const Matrix& x) {  // x a column
  return RowResidual(a, l, x.data(), x.rows());
}

// How far the increment x moves the observations: the largest |a·x| over
// the rows that `rows(add)` gives; NaN when a move is not a number.
template <class Rows>
double LargestMove(Rows&& rows, const Matrix& x) {
  double largest = 0.0;
  rows([&](const double* a, double, double) {
    double move = 0.0;
    for (int j = 0; j < x.rows(); ++j) move += a[j] * x(j, 0);
    move = std::fabs(move);
    if (std::isnan(move) || move > largest) largest = move;
  });
  return largest;
}

// Iteratively reweighted least squares for the L1 norm: a row whose residual
// was v in the previous pass gets the weight 1/|v|, so that Σ w·v² follows
// Σ|v|. Below a floor ε the weight is held at 1/ε instead of growing without
// bound: ε is 1e-4 of the median |v|, so that the weights of one pass span
// some 1e5 and not 1e15. The floor is relative only: √p·v carries the units
// of the a-priori s0, and an absolute floor turned the L1 fit into least
// squares when s0 was given as 1e-9. Rows that the fit passes through, at
// weights of 1e9, made the normal equations of a small ellipsoidal network
// (a degree across) singular on clean data in half of the runs. Below ε the
// fit is least squares, which moves the L1 solution by some 1e-4 of the
// residuals' size.
inline constexpr double kL1FloorShareOfMedian = 1e-4;
inline double L1Weight(double residual, double floor) {
  return 1.0 / std::max(std::fabs(residual), floor);
}

// The residuals √p·v under x as the L1 loop sees them: the floor ε of
// L1Weight (1e-4 of their median magnitude; of their mean when more than
// half are 0; 1 when all are, where any common weight gives the same fit),
// the L1 norm
// Σ√p·|v|, and the limit below which the fit passes through a row: 1e-3 of
// the median magnitude of the rows above ε (the rows it passes through are
// often more than half of them, and a loop that stops when the points move
// by less than 1 µm leaves them at some 1e-6, not at ε); ε at least. When no
// row lies above ε the fit is exact and passes through none: a gross error
// would have left residuals elsewhere.
struct L1Residuals {
  double floor = 1.0;
  double norm = 0.0;
  double passThrough = -1.0;
};

// From the order statistics of the magnitudes |√p·v| of every row
// (ranks.size(), ranks.at(rank): the value std::nth_element would put at
// that position, ranks.countAtMost(m)) and their sum in row order.
template <class Ranks>
L1Residuals L1ResidualsOf(const Ranks& ranks, double norm) {
  L1Residuals out;
  out.norm = norm;
  const std::size_t n = ranks.size();
  if (n == 0) return out;
  double scale = ranks.at(n / 2);
  if (!(scale > 0.0)) scale = out.norm / static_cast<double>(n);
  out.floor = scale > 0.0 ? kL1FloorShareOfMedian * scale : 1.0;
  const std::size_t below = ranks.countAtMost(out.floor);
  if (below < n) {
    constexpr double kPassThroughShare = 1e-3;
    out.passThrough = std::max(out.floor, kPassThroughShare * ranks.at(below + (n - below) / 2));
  }
  return out;
}

// The order statistics of values held in one vector (magnitudes, for
// L1ResidualsOf), selected in place.
class VectorRanks {
 public:
  explicit VectorRanks(std::vector<double> magnitudes) : m_(std::move(magnitudes)) {}
  std::size_t size() const noexcept { return m_.size(); }
  double at(std::size_t rank) const {
    std::nth_element(m_.begin(), m_.begin() + static_cast<std::ptrdiff_t>(rank), m_.end());
    return m_[rank];
  }
  std::size_t countAtMost(double magnitude) const {
    return static_cast<std::size_t>(std::count_if(m_.begin(), m_.end(), [&](double m) { return m <= magnitude; }));
  }

 private:
  mutable std::vector<double> m_;
};

// From the magnitudes |√p·v| of every row, in row order.
inline L1Residuals L1ResidualsOf(std::vector<double> magnitudes) {
  double norm = 0.0;
  for (double m : magnitudes) norm += m;
  return L1ResidualsOf(VectorRanks(std::move(magnitudes)), norm);
}

template <class Rows>
L1Residuals ScanL1Residuals(Rows&& rows, const Matrix& x) {
  std::vector<double> magnitudes;
  rows([&](const double* a, double l, double p) { magnitudes.push_back(std::fabs(std::sqrt(p) * RowResidual(a, l, x))); });
  return L1ResidualsOf(std::move(magnitudes));
}

// The largest pass index of an L1 loop: at most 1001 passes.
inline constexpr int kMaxPassIndex = 1000;

// What an adjustment loop ends with.
struct AdjustmentSolution {
  Matrix x;         // the last solution
  Matrix qxx;       // inverse normal matrix under the a-priori weights p: the cofactors of
                    // the least-squares fit, for precision and the gross-error test (the
                    // L1 passes' reweighting, capped at 1e9, says nothing about either)
  int passes = 0;   // passes made (1 for least squares)
  int counter = 0;  // the pass counter k as the reports print it: the index of the
                    // settling pass, or 1001 when the cap ended the loop
  bool settled = true;    // false when the loop ended at the cap or at a singular reweighted pass
  bool singular = false;  // a pass met singular normal equations: x means nothing
  double passThrough = -1.0;  // L1: a residual √p·|v| at or below it is one the fit passes
                              // through (L1Residuals); below 0 none
};

// Rows that can be taken a range of points at a time: rows.points(),
// rows.range(from, to, add) (the rows of points [from, to)) and
// rows.prior(add) (the rows that come after every point's).
template <class Rows>
concept PointRanges = requires(const Rows& rows) { rows.points(); };

// Points per chunk of a pass over PointRanges.
inline constexpr std::size_t kChunkPoints = 16384;

// One pass of SolveAdjustment over PointRanges: the scan of the residuals
// under `previous` and the weighted normal equations, summed a chunk of
// kChunkPoints points at a time on every core and the chunks' sums added in
// chunk order, so that the solution does not depend on the number of cores,
// and a network of one chunk is summed row by row as before. Returns what
// SolveLeastSquares returns; `pointRows`, when given, gets the count of the
// points' rows.
// √p·v of every row under the previous solution, per chunk (the prior's
// last), kept from pass to pass: a network of a million points allocated
// and cleared 70 MB on every pass.
using ChunkResiduals = std::vector<std::vector<double>>;

template <class Rows>
int ChunkedPass(int u, int k, const Rows& rows, const Matrix& previous, double& floor, bool& normStill,
                double& normBefore, double normStillShare, AdjustmentSolution& out, bool orthogonalToo,
                ChunkResiduals& scaled, std::size_t* pointRows = nullptr) {
  const std::size_t points = rows.points();
  const std::size_t chunks = std::max<std::size_t>(1, (points + kChunkPoints - 1) / kChunkPoints);
  auto from = [&](std::size_t c) { return std::min(points, c * kChunkPoints); };
  auto to = [&](std::size_t c) { return std::min(points, (c + 1) * kChunkPoints); };
  scaled.resize(chunks + 1);
  if (k > 0) {
    // Each chunk's share of the L1 norm, summed with its residuals and
    // added in chunk order: one sum over every residual on one core was a
    // chain of three million dependent additions per pass.
    struct alignas(64) Share {
      double norm = 0.0;
    };
    std::vector<Share> shares(chunks);
    OnEveryCore(chunks, [&](std::size_t c) {
      std::vector<double>& chunk = scaled[c];  // filled apart: neighbouring vectors share a cache line
      chunk.clear();
      // The solution in registers: read through the matrix, it was read
      // again after every residual stored (a double may alias it).
      double x[NormalEquations::kMaxUnknowns] = {};
      for (int j = 0; j < u; ++j) x[j] = previous(j, 0);
      double norm = 0.0;
      rows.range(from(c), to(c), [&](const double* a, double l, double p) {
        const double v = std::sqrt(p) * RowResidual(a, l, x, u);
        chunk.push_back(v);
        norm += std::fabs(v);
      });
      shares[c].norm = norm;
    });
    scaled[chunks].clear();
    rows.prior([&](const double* a, double l, double p) {
      scaled[chunks].push_back(std::sqrt(p) * RowResidual(a, l, previous));
    });
    // One chunk's magnitudes are selected on this thread: a thread started
    // for each of its passes cost more than the selection (an L1 fit can
    // take tens of thousands of passes).
    L1Residuals scan;
    if (chunks > 1) {
      double norm = 0.0;
      for (const Share& share : shares) norm += share.norm;
      for (double v : scaled[chunks]) norm += std::fabs(v);
      scan = L1ResidualsOf(MagnitudeRanks({scaled.begin(), scaled.end()}), norm);
    } else {
      std::vector<double> magnitudes;
      magnitudes.reserve(scaled[0].size() + scaled[1].size());
      for (const auto& chunk : scaled) {
        for (double v : chunk) magnitudes.push_back(std::fabs(v));
      }
      scan = L1ResidualsOf(std::move(magnitudes));
    }
    floor = scan.floor;
    normStill = k > 1 && normBefore - scan.norm <= normStillShare * scan.norm;
    normBefore = scan.norm;
  }
  // Row j of chunk c: its weight for this pass.
  auto weight = [&](std::size_t c, std::size_t j, double p) {
    return k == 0 ? p : p * L1Weight(scaled[c][j], floor);
  };
  // A cache line each: the chunks' sums side by side made the cores take
  // each other's lines on every row.
  struct alignas(64) Part {
    NormalEquations sums;
  };
  std::vector<Part> parts(chunks, Part{NormalEquations(u)});
  std::vector<std::size_t> counts(chunks);
  OnEveryCore(chunks, [&](std::size_t c) {
    std::size_t j = 0;
    rows.range(from(c), to(c), [&](const double* a, double l, double p) { parts[c].sums.add(a, l, weight(c, j++, p)); });
    counts[c] = j;
  });
  NormalEquations normal(u);
  for (const Part& part : parts) normal.merge(part.sums);
  if (pointRows != nullptr) {
    *pointRows = 0;
    for (std::size_t count : counts) *pointRows += count;
  }
  std::size_t j = 0;
  rows.prior([&](const double* a, double l, double p) { normal.add(a, l, weight(chunks, j++, p)); });
  if (normal.solve(out.qxx, out.x) == 1) return 1;
  if (!orthogonalToo) return -1;
  OrthogonalRows orthogonal(u);
  for (std::size_t c = 0; c < chunks; ++c) {
    std::size_t row = 0;
    rows.range(from(c), to(c), [&](const double* a, double l, double p) { orthogonal.add(a, l, weight(c, row++, p)); });
  }
  j = 0;
  rows.prior([&](const double* a, double l, double p) { orthogonal.add(a, l, weight(chunks, j++, p)); });
  return orthogonal.solve(out.qxx, out.x);
}

// Least squares (one pass) or the weighted L1 norm Σ√p·|v| by iteratively
// reweighted least squares. `rows(add)` calls add(a, l, p) for every
// observation row (design row a of u values, observation l, a-priori weight
// p); it is called once per pass. Pass 0 weights every row by p; later L1
// passes by p·L1Weight(√p·v, ε) with the residual v under the previous
// solution, that is √p/|v|. The loop ends when settled(x, previous) holds
// (from the second pass on), when the L1 norm has stopped falling (below
// 1e-9 of itself from one pass to the next: the fit is at the L1 minimum to
// that precision, and where the minimum is not unique the unknowns wander
// along it at an unchanged norm and would never settle; a limit of 1e-12
// left 2 to 6 % of clean spatial runs "not settled" at 1001 passes within
// 1.3e-6 of the optimum), after pass 1000, or at a singular pass: the first is `singular`,
// a later one ends the loop unsettled with the solution before it.
// `onPass(k)` is called before pass k. With `orthogonalToo` off, normal
// equations singular to their pivot limit end the loop as singular (a
// Gauss–Newton step far from its start that meets them has lost its way).
template <class Rows, class Settled, class OnPass>
AdjustmentSolution SolveAdjustment(int u, bool l1, Rows&& rows, Settled&& settled, OnPass&& onPass,
                                   bool orthogonalToo = true) {
  constexpr double kNormStill = 1e-9;
  AdjustmentSolution out;
  Matrix previous(u, 1, 0.0);
  ChunkResiduals scaled;
  double normBefore = 0.0;  // the L1 norm under the solution before `previous`
  bool normStill = false;
  for (int k = 0;; ++k) {
    onPass(k);
    double floor = 0.0;
    int status = 0;
    if constexpr (PointRanges<std::remove_cvref_t<Rows>>) {
      status = ChunkedPass(u, k, rows, previous, floor, normStill, normBefore, kNormStill, out, orthogonalToo, scaled);
    } else {
      if (k > 0) {
        const L1Residuals scan = ScanL1Residuals(rows, previous);
        floor = scan.floor;
        normStill = k > 1 && normBefore - scan.norm <= kNormStill * scan.norm;
        normBefore = scan.norm;
      }
      auto weighted = [&](auto& sink) {
        rows([&](const double* a, double l, double p) {
          const double w = k == 0 ? p : p * L1Weight(std::sqrt(p) * RowResidual(a, l, previous), floor);
          sink.add(a, l, w);
        });
      };
      status = SolveLeastSquares(u, weighted, out.qxx, out.x, orthogonalToo);
    }
    if (status != 1) {
      out.passes = k + 1;
      if (k == 0) {
        out.singular = true;
        break;
      }
      // Pass 0 showed that the points determine the unknowns; a reweighted
      // pass fails only on the spread of its weights (1e9 on the rows the
      // fit passes through, 1/|v| on a gross error of 100 km: 1e-5). The
      // loop ends with the last solution, which has not settled.
      out.x = previous;
      out.settled = false;
      break;
    }
    out.passes = k + 1;
    out.counter = k;
    if (!l1) break;
    if (k > 0 && (settled(out.x, previous) || normStill)) break;
    if (k >= kMaxPassIndex) {
      // At the limit the loop has settled when its last pass moved no
      // observation by what the reports print (1e-5 in the rows' units:
      // 0.01 mm, 1e-5″); IRLS can creep on below that for ever.
      constexpr double kPrinted = 1e-5;
      out.counter = k + 1;
      out.settled = LargestMove(rows, out.x.Subtract(previous)) <= kPrinted;
      break;
    }
    previous = out.x;
  }
  if (l1 && !out.singular) {
    out.passThrough = ScanL1Residuals(rows, out.x).passThrough;
    auto apriori = [&](auto& sink) { rows([&](const double* a, double l, double p) { sink.add(a, l, p); }); };
    Matrix ignored;
    if (SolveLeastSquares(u, apriori, out.qxx, ignored, orthogonalToo) != 1) out.singular = true;
  }
  return out;
}

}  // namespace pelmar
