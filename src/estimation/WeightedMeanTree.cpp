#include "estimation/WeightedMeanTree.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PELMAR_AVX2_KERNEL 1
#endif

#include "estimation/ResidualDistribution.h"

namespace pelmar {

namespace {
constexpr int kPlaneDegree = 8, kSpaceDegree = 7, kMaxDegree = std::max(kPlaneDegree, kSpaceDegree);
constexpr std::size_t kLeafSize = 32, kQueryLeafSize = 32;
constexpr int kMaxChannels = 8;
constexpr std::size_t kMaxTerms = 512;  // 286 for degree 10 in space
constexpr double kMaxTheta = 0.8;  // farther out the series converges too slowly to pay
// The share of the tolerance a node may claim, relative to its own weight.
constexpr double kNodeShare = 0.9;
// The share of that a far pair's lowered degree may spend. The node's share
// stands in for the mean's own magnitude by the typical residual; near
// blunders the mean is many times that, and the final check, which weighs
// the weight sum's error by the mean, failed where every pair had spent its
// whole share (3-D, 1/s, 2 % blunders of 10 m among 10 mm: 87 % of the
// points went to the exact sum, 15 times as long). A tenth keeps the
// points the full degree kept.
constexpr double kLoweredShare = 0.1;
// Below this the distribution's weight function floors the distance.
constexpr double kNearest = 1e-4;
constexpr double kFloor = 1e-10;
// The exact sums' weights from the single-precision estimate of the
// reciprocal square root (relative error e ≤ 1.5·2⁻¹², Intel SDM, RSQRTPS,
// and 2⁻²⁴ from rounding the squared distance) and two Newton steps in
// double precision (each leaves 1.5·e²: 2.2e-7, then 7e-14, and a few
// roundings of 2⁻⁵³); squared for 1/s², twice that. Each weight is taken
// as off by up to this share.
constexpr double kFastWeightError = 1e-12;
// Where single precision holds the estimate's every squared distance, and
// the floor's below it: coordinates within 1e12 m, scales within 1e±6.
constexpr double kFastReach = 1e12, kFastScale = 1e6;

// DistributionWeight's power laws of a squared distance, inline: the floor
// below 1e-4 m.
template <bool Reciprocal>
inline double ExactWeight(double d2, double scale) {
  double distance = std::sqrt(d2) * scale;
  distance = distance < kNearest ? kFloor : distance;
  return Reciprocal ? 1.0 / distance : 1.0 / (distance * distance);
}

#if defined(__SSE2__)
// One Newton step towards 1/√d2 from r, in double precision.
inline __m128d Refined(__m128d d2, __m128d r) {
  const __m128d half = _mm_set1_pd(0.5), threeHalves = _mm_set1_pd(1.5);
  return _mm_mul_pd(r, _mm_sub_pd(threeHalves, _mm_mul_pd(_mm_mul_pd(half, d2), _mm_mul_pd(r, r))));
}

// The weights of the squared distances w[0 … n) (n a multiple of 4), in
// place, at `scale`: the square root and the division, a station at a time
// in double precision, held the exact sums up.
template <bool Reciprocal>
inline void FastWeights(double* w, std::size_t n, double scale) {
  const double nearest = kNearest / scale;
  const __m128d below = _mm_set1_pd(nearest * nearest);
  // Within this share of the floor the test on the square may tell it
  // otherwise than ExactWeight's on the scaled root (a station at 1e-4 m
  // took the floor's weight, 1e12 times its own at 1/s²): those stations
  // take ExactWeight.
  constexpr double kDoubt = 1e-9;
  const __m128d doubtLow = _mm_set1_pd(nearest * nearest * (1.0 - kDoubt));
  const __m128d doubtHigh = _mm_set1_pd(nearest * nearest * (1.0 + kDoubt));
  const __m128d floored = _mm_set1_pd(Reciprocal ? 1.0 / kFloor : 1.0 / (kFloor * kFloor));
  const __m128d factor = _mm_set1_pd(Reciprocal ? 1.0 / scale : 1.0 / (scale * scale));
  for (std::size_t j = 0; j < n; j += 4) {
    const __m128d lo = _mm_load_pd(w + j), hi = _mm_load_pd(w + j + 2);
    const __m128 estimate = _mm_rsqrt_ps(_mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi)));
    __m128d rlo = Refined(lo, Refined(lo, _mm_cvtps_pd(estimate)));
    __m128d rhi = Refined(hi, Refined(hi, _mm_cvtps_pd(_mm_movehl_ps(estimate, estimate))));
    if (!Reciprocal) rlo = _mm_mul_pd(rlo, rlo), rhi = _mm_mul_pd(rhi, rhi);
    // Below the floor (a zero among them gives NaN here) the floor's weight.
    const __m128d wlo = _mm_mul_pd(rlo, factor), whi = _mm_mul_pd(rhi, factor);
    const __m128d flo = _mm_cmplt_pd(lo, below), fhi = _mm_cmplt_pd(hi, below);
    const int doubtful = _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(lo, doubtLow), _mm_cmple_pd(lo, doubtHigh))) |
                         _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(hi, doubtLow), _mm_cmple_pd(hi, doubtHigh))) << 2;
    alignas(16) std::array<double, 4> d2{};
    if (doubtful != 0) _mm_store_pd(&d2[0], lo), _mm_store_pd(&d2[2], hi);
    _mm_store_pd(w + j, _mm_or_pd(_mm_and_pd(flo, floored), _mm_andnot_pd(flo, wlo)));
    _mm_store_pd(w + j + 2, _mm_or_pd(_mm_and_pd(fhi, floored), _mm_andnot_pd(fhi, whi)));
    for (int k = 0; doubtful != 0 && k < 4; ++k) {
      if (doubtful & (1 << k)) w[j + static_cast<std::size_t>(k)] = ExactWeight<Reciprocal>(d2[static_cast<std::size_t>(k)], scale);
    }
  }
}
#endif

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The translation of an expansion, for every m: out[m] += Σ c·v over the
// pairs of m, c the coefficient of the pair's k (ByK) or of its m + k, v
// the channels of the other. Four partial sums: one chain of additions
// waited on each product's (a far pair's translation was 1700 such steps).
template <std::size_t NC, bool ByK>
void Translate(const WeightedMeanTreePair* pair, const WeightedMeanTreePair* end, const double* coefficients,
               const double* vectors, std::size_t nc, double* out) {
  const std::size_t n = NC ? NC : nc;
  std::array<std::array<double, kMaxChannels>, 4> sum{};
  auto take = [&](const WeightedMeanTreePair& p, std::array<double, kMaxChannels>& into) {
    const double f = coefficients[static_cast<std::size_t>(ByK ? p.k : p.sum)];
    const double* v = &vectors[static_cast<std::size_t>(ByK ? p.sum : p.k) * n];
    for (std::size_t c = 0; c < n; ++c) into[c] += f * v[c];
  };
  for (; end - pair >= 4; pair += 4) {
    take(pair[0], sum[0]), take(pair[1], sum[1]), take(pair[2], sum[2]), take(pair[3], sum[3]);
  }
  for (std::size_t j = 0; pair != end; ++pair, ++j) take(*pair, sum[j]);
  for (std::size_t c = 0; c < n; ++c) out[c] += (sum[0][c] + sum[1][c]) + (sum[2][c] + sum[3][c]);
}

#if PELMAR_AVX2_KERNEL
// The same for four channels in one register, where the processor has
// AVX2 and FMA (the build's baseline has neither).
template <bool ByK>
__attribute__((target("avx2,fma"))) inline __m256d TakeFour(const WeightedMeanTreePair& p, const double* coefficients,
                                                             const double* vectors, __m256d into) {
  const __m256d f = _mm256_broadcast_sd(&coefficients[static_cast<std::size_t>(ByK ? p.k : p.sum)]);
  return _mm256_fmadd_pd(f, _mm256_loadu_pd(&vectors[static_cast<std::size_t>(ByK ? p.sum : p.k) * 4]), into);
}

template <bool ByK>
__attribute__((target("avx2,fma"))) void TranslateFour(const WeightedMeanTreePair* pair,
                                                        const WeightedMeanTreePair* end, const double* coefficients,
                                                        const double* vectors, double* out) {
  __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
  for (; end - pair >= 4; pair += 4) {
    s0 = TakeFour<ByK>(pair[0], coefficients, vectors, s0);
    s1 = TakeFour<ByK>(pair[1], coefficients, vectors, s1);
    s2 = TakeFour<ByK>(pair[2], coefficients, vectors, s2);
    s3 = TakeFour<ByK>(pair[3], coefficients, vectors, s3);
  }
  for (; pair != end; ++pair) s0 = TakeFour<ByK>(*pair, coefficients, vectors, s0);
  _mm256_storeu_pd(out, _mm256_add_pd(_mm256_loadu_pd(out), _mm256_add_pd(_mm256_add_pd(s0, s1), _mm256_add_pd(s2, s3))));
}

bool HasAvx2Fma() {
  static const bool has = [] {
    __builtin_cpu_init();  // may run before libgcc's own constructor has
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return has;
}
#endif

template <std::size_t NC, bool ByK>
inline void TranslateRow(const WeightedMeanTreePair* pair, const WeightedMeanTreePair* end,
                         const double* coefficients, const double* vectors, std::size_t nc, double* out) {
#if PELMAR_AVX2_KERNEL
  if (NC == 4 && HasAvx2Fma()) return TranslateFour<ByK>(pair, end, coefficients, vectors, out);
#endif
  Translate<NC, ByK>(pair, end, coefficients, vectors, nc, out);
}
}  // namespace

WeightedMeanTree::WeightedMeanTree(int dims, int weighting, double distanceConstant, std::vector<Group> groups,
                                   int channels, const std::vector<double>& positions,
                                   const std::vector<double>& values)
    : dims_(dims),
      degree_(dims == 2 ? kPlaneDegree : kSpaceDegree),
      weighting_(weighting),
      d0_(distanceConstant),
      alpha_(weighting == 1 ? 1.0 : 0.5),
      groups_(std::move(groups)),
      channels_(channels) {
  if (dims < 2 || dims > 3 || channels < 1 || channels > kMaxChannels) {
    throw std::invalid_argument("WeightedMeanTree: 2 or 3 dimensions and 1 to 8 channels");
  }
  count_ = positions.size() / static_cast<std::size_t>(dims);
  const std::size_t nc = static_cast<std::size_t>(channels);

  // The values about their median over the group's stations, and the
  // median distance from it.
  std::vector<double> centred = values;
  median_.assign(nc, 0.0);
  spread_.assign(nc, 0.0);
  for (const Group& g : groups_) {
    const std::size_t wc = static_cast<std::size_t>(g.weightChannel);
    for (int c : g.valueChannels) {
      const std::size_t vc = static_cast<std::size_t>(c);
      std::vector<double> member;
      for (std::size_t i = 0; i < count_; ++i) {
        if (values[i * nc + wc] != 0.0 && std::isfinite(values[i * nc + vc])) member.push_back(values[i * nc + vc]);
      }
      median_[vc] = Median(member);
      for (double& v : member) v = std::fabs(v - median_[vc]);
      spread_[vc] = Median(std::move(member));
      for (std::size_t i = 0; i < count_; ++i) centred[i * nc + vc] -= median_[vc] * values[i * nc + wc];
    }
  }

  for (double spread : spread_) typical_ = std::max(typical_, spread);
  // A station without a finite place weighs nothing in the exact sum (its
  // weight is not finite, or 0): the tree leaves it out, and its ordering
  // never meets a NaN.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < count_; ++i) {
    bool finite = true;
    for (std::size_t a = 0; a < static_cast<std::size_t>(dims); ++a) {
      finite = finite && std::isfinite(positions[i * static_cast<std::size_t>(dims) + a]);
    }
    if (finite) order.push_back(i);
  }
  count_ = order.size();
  for (std::size_t i : order) {
    for (std::size_t a = 0; a < static_cast<std::size_t>(dims); ++a) {
      fastWeights_ = fastWeights_ && std::fabs(positions[i * static_cast<std::size_t>(dims) + a]) <= kFastReach;
    }
  }
  nodes_.reserve(2 * (count_ / kLeafSize + 1));
  if (count_ > 0) {
    const std::vector<Placed> placed = BuildOver(dims_, positions.data(), order, nodes_, kLeafSize);
    for (std::size_t i = 0; i < count_; ++i) order[i] = placed[i].index;
  }
  at_.resize(count_ * static_cast<std::size_t>(dims_));
  values_.resize(count_ * nc);
  for (std::size_t i = 0; i < count_; ++i) {
    for (std::size_t a = 0; a < static_cast<std::size_t>(dims_); ++a) {
      at_[a * count_ + i] = positions[order[i] * static_cast<std::size_t>(dims_) + a];
    }
    std::copy_n(&centred[order[i] * nc], nc, &values_[i * nc]);
  }

  largest_.assign(nc, 0.0);
  weightOf_.resize(nc);
  for (std::size_t c = 0; c < nc; ++c) weightOf_[c] = c;
  for (const Group& g : groups_) {
    for (int c : g.valueChannels) weightOf_[static_cast<std::size_t>(c)] = static_cast<std::size_t>(g.weightChannel);
  }
  for (std::size_t i = 0; i < count_ * nc; ++i) {
    if (std::isfinite(values_[i])) largest_[i % nc] = std::max(largest_[i % nc], std::fabs(values_[i]));
  }

  // Multi-indices by degree, each with its neighbours one and two lower.
  for (int degree = 0; degree <= degree_; ++degree) {
    for (int i = degree; i >= 0; --i) {
      for (int j = degree - i; j >= 0; --j) {
        const int k = degree - i - j;
        if (dims_ == 2 && k != 0) continue;
        Term t;
        t.power = {i, j, k};
        t.degree = degree;
        terms_.push_back(t);
      }
    }
  }
  auto indexOf = [&](const std::array<int, 3>& p) {
    for (std::size_t t = 0; t < terms_.size(); ++t) {
      if (terms_[t].power == p) return static_cast<int>(t);
    }
    return -1;
  };
  for (Term& t : terms_) {
    for (int axis = 0; axis < 3; ++axis) {
      std::array<int, 3> p = t.power;
      if (p[static_cast<std::size_t>(axis)] >= 1) {
        --p[static_cast<std::size_t>(axis)];
        t.less1[static_cast<std::size_t>(axis)] = indexOf(p);
      }
      if (p[static_cast<std::size_t>(axis)] >= 1) {
        --p[static_cast<std::size_t>(axis)];
        t.less2[static_cast<std::size_t>(axis)] = indexOf(p);
      }
    }
  }
  for (Term& t : terms_) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      for (int i = 2; i <= t.power[axis]; ++i) t.factorial *= i;
    }
    std::size_t axis = 0;
    while (axis < 3 && t.less1[axis] < 0) ++axis;
    if (axis < 3) t.step = static_cast<int>(axis), t.inverse = 1.0 / t.power[axis];
  }
  termsUpTo_.assign(static_cast<std::size_t>(degree_) + 1, 0);
  for (const Term& t : terms_) {
    for (int q = t.degree; q <= degree_; ++q) ++termsUpTo_[static_cast<std::size_t>(q)];
  }
  pairs_.resize(terms_.size());
  for (std::size_t m = 0; m < terms_.size(); ++m) {
    for (std::size_t k = 0; k < terms_.size(); ++k) {
      const std::array<int, 3>& pm = terms_[m].power;
      const std::array<int, 3>& pk = terms_[k].power;
      const std::array<int, 3> sum{pm[0] + pk[0], pm[1] + pk[1], pm[2] + pk[2]};
      if (terms_[m].degree + terms_[k].degree <= degree_) {
        pairs_[m].push_back({static_cast<int>(k), indexOf(sum)});
      }
    }
  }
  moments_.assign(nodes_.size() * terms_.size() * nc, 0.0);
  // Leaves from their stations (on every core), the others from their
  // children's moments shifted to their own centre, children first (they
  // follow their parent in the tree's order).
  OnEveryCore(nodes_.size(), [this](std::size_t n) {
    if (nodes_[n].left < 0) fillMoments(static_cast<int>(n));
  });
  for (std::size_t n = nodes_.size(); n-- > 0;) {
    if (nodes_[n].left >= 0) shiftMoments(static_cast<int>(n));
  }
  radial_.assign(nodes_.size() * (static_cast<std::size_t>(degree_) + 2) * radialStride(), 0.0);
  OnEveryCore(nodes_.size(), [this](std::size_t n) { fillRadial(static_cast<int>(n)); });
}

std::vector<WeightedMeanTree::Placed> WeightedMeanTree::BuildOver(int dims, const double* positions,
                                                                  const std::vector<std::size_t>& indices,
                                                                  std::vector<Node>& nodes, std::size_t leafSize) {
  const std::size_t d = static_cast<std::size_t>(dims);
  std::vector<Placed> points(indices.size());
  for (std::size_t i = 0; i < indices.size(); ++i) {
    points[i].index = indices[i];
    std::copy_n(&positions[indices[i] * d], d, points[i].at.begin());
  }
  if (!points.empty()) Build(dims, 0, points.size(), points, nodes, leafSize, true);
  return points;
}

int WeightedMeanTree::Build(int dims, std::size_t begin, std::size_t end, std::vector<Placed>& points,
                            std::vector<Node>& nodes, std::size_t leafSize, bool halves) {
  const std::size_t d = static_cast<std::size_t>(dims);
  const Placed* first = points.data() + begin;
  const std::size_t n = end - begin;
  std::array<double, 3> low{}, high{};
  low.fill(std::numeric_limits<double>::infinity());
  high.fill(-std::numeric_limits<double>::infinity());
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t a = 0; a < d; ++a) {
      low[a] = std::min(low[a], first[i].at[a]);
      high[a] = std::max(high[a], first[i].at[a]);
    }
  }
  Node node;
  node.begin = begin;
  node.end = end;
  std::size_t widest = 0;
  // The centre is the points' mean: on a surface that runs across the box
  // (a patch of the earth in earth-centred coordinates) the box's middle
  // lies off it, and the radius about it would be needlessly large.
  for (std::size_t a = 0; a < d; ++a) {
    if (high[a] - low[a] > high[widest] - low[widest]) widest = a;
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) sum += first[i].at[a] - low[a];
    node.centre[a] = low[a] + sum / static_cast<double>(n);
  }
  double farthest = 0.0;  // squared
  for (std::size_t i = 0; i < n; ++i) {
    double s2 = 0.0;
    for (std::size_t a = 0; a < d; ++a) {
      const double delta = first[i].at[a] - node.centre[a];
      s2 += delta * delta;
    }
    farthest = std::max(farthest, s2);
  }
  node.radius = std::sqrt(farthest);
  const int index = static_cast<int>(nodes.size());
  nodes.push_back(node);
  if (n > leafSize && high[widest] > low[widest]) {
    const std::size_t middle = begin + n / 2;
    std::nth_element(points.begin() + static_cast<std::ptrdiff_t>(begin),
                     points.begin() + static_cast<std::ptrdiff_t>(middle),
                     points.begin() + static_cast<std::ptrdiff_t>(end),
                     [widest](const Placed& p, const Placed& q) { return p.at[widest] < q.at[widest]; });
    if (halves) {
      // Each half into a list of its own (they share nothing but `points`,
      // in ranges apart), then both after this node with their child
      // indices moved along.
      std::array<std::vector<Node>, 2> half;
      const std::array<std::size_t, 3> bounds{begin, middle, end};
      OnEveryCore(2, [&](std::size_t h) { Build(dims, bounds[h], bounds[h + 1], points, half[h], leafSize); });
      std::array<int, 2> offsets{};
      for (std::size_t h = 0; h < 2; ++h) {
        const int offset = static_cast<int>(nodes.size());
        offsets[h] = offset;
        for (Node c : half[h]) {
          if (c.left >= 0) c.left += offset, c.right += offset;
          nodes.push_back(c);
        }
      }
      nodes[static_cast<std::size_t>(index)].left = offsets[0];
      nodes[static_cast<std::size_t>(index)].right = offsets[1];
      return index;
    }
    const int left = Build(dims, begin, middle, points, nodes, leafSize);
    const int right = Build(dims, middle, end, points, nodes, leafSize);
    nodes[static_cast<std::size_t>(index)].left = left;
    nodes[static_cast<std::size_t>(index)].right = right;
  }
  return index;
}

void WeightedMeanTree::fillMoments(int index) {
  const Node& node = nodes_[static_cast<std::size_t>(index)];
  const std::size_t nc = static_cast<std::size_t>(channels_);
  const std::size_t d = static_cast<std::size_t>(dims_);
  double* moments = &moments_[static_cast<std::size_t>(index) * terms_.size() * nc];
  std::vector<double> monomial(terms_.size());
  for (std::size_t i = node.begin; i < node.end; ++i) {
    std::array<double, 3> u{};
    for (std::size_t a = 0; a < d; ++a) u[a] = node.centre[a] - at_[a * count_ + i];
    monomials(u, monomial.data());
    const double* v = &values_[i * nc];
    for (std::size_t t = 0; t < terms_.size(); ++t) {
      for (std::size_t c = 0; c < nc; ++c) moments[t * nc + c] += monomial[t] * v[c];
    }
  }
}

void WeightedMeanTree::fillRadial(int index) {
  const Node& node = nodes_[static_cast<std::size_t>(index)];
  const std::size_t nc = static_cast<std::size_t>(channels_);
  const std::size_t d = static_cast<std::size_t>(dims_);
  const std::size_t stride = radialStride(), powers = static_cast<std::size_t>(degree_) + 2;
  double* radial = &radial_[static_cast<std::size_t>(index) * powers * stride];
  for (std::size_t i = node.begin; i < node.end; ++i) {
    double s2 = 0.0;
    for (std::size_t a = 0; a < d; ++a) {
      const double delta = at_[a * count_ + i] - node.centre[a];
      s2 += delta * delta;
    }
    // At most 1: the radius is the largest of these distances.
    const double ratio = node.radius > 0.0 ? std::min(1.0, std::sqrt(s2) / node.radius) : 0.0;
    const double* v = &values_[i * nc];
    double power = 1.0;
    for (std::size_t k = 0; k < powers; ++k, power *= ratio) {
      for (std::size_t c = 0; c < nc; ++c) radial[k * stride + c] += std::fabs(v[c]) * power;
      radial[k * stride + nc] += power;
    }
  }
}

// |g − h| ≤ ρ + |h| for a query offset g (|g| ≤ ρ) and a station offset h,
// so each station's remainder is its |value| times the series' tail at
// t = (ρ + |h|)/|R| ≤ θ; the tail Σ_{n>q} Cₙ(1)·tⁿ is at most
// t^(q+1)/θ^(q+1) times the tail at θ (its terms are positive), and
// (ρ + |h|)^(q+1) expands binomially into the radial sums.
void WeightedMeanTree::spreads(int index, double queryRadius, int q, double* out) const {
  const Node& node = nodes_[static_cast<std::size_t>(index)];
  const std::size_t stride = radialStride();
  const double* radial = radialOf(index);
  const double reach = queryRadius + node.radius;
  std::fill(out, out + stride, 0.0);
  if (!(reach > 0.0)) return;  // both ends single points: the expansion is exact
  const double a = queryRadius / reach, b = node.radius / reach;
  const int n = q + 1;
  std::array<double, kMaxDegree + 2> aPower{}, bPower{};
  aPower[0] = bPower[0] = 1.0;
  for (int k = 1; k <= n; ++k) {
    aPower[static_cast<std::size_t>(k)] = aPower[static_cast<std::size_t>(k - 1)] * a;
    bPower[static_cast<std::size_t>(k)] = bPower[static_cast<std::size_t>(k - 1)] * b;
  }
  double binomial = 1.0;  // C(n, k)
  for (int k = 0; k <= n; ++k) {
    const double factor = binomial * aPower[static_cast<std::size_t>(n - k)] * bPower[static_cast<std::size_t>(k)];
    const double* row = &radial[static_cast<std::size_t>(k) * stride];
    for (std::size_t c = 0; c < stride; ++c) out[c] += factor * row[c];
    binomial = binomial * (n - k) / (k + 1);
  }
}

void WeightedMeanTree::monomials(const std::array<double, 3>& u, double* out) const {
  out[0] = 1.0;
  for (std::size_t t = 1; t < terms_.size(); ++t) {
    const Term& term = terms_[t];
    const std::size_t axis = static_cast<std::size_t>(term.step);
    out[t] = out[static_cast<std::size_t>(term.less1[axis])] * (u[axis] * term.inverse);
  }
}

// The recurrence follows from |R + h|²·∂g/∂h·h + 2α·(R + h)·h·g = 0 for
// g(h) = |R + h|^(−2α), taken term by term:
// ‖k‖·|R|²·aₖ + (2‖k‖ − 2 + 2α)·Σᵢ Rᵢ·a_{k−eᵢ} + (‖k‖ − 2 + 2α)·Σᵢ a_{k−2eᵢ} = 0.
void WeightedMeanTree::coefficients(const std::array<double, 3>& R, double D2, double* a, std::size_t terms) const {
  a[0] = power(std::sqrt(D2));
  const std::size_t d = static_cast<std::size_t>(dims_);
  for (std::size_t t = 1; t < terms; ++t) {
    const Term& term = terms_[t];
    double first = 0.0, second = 0.0;
    for (std::size_t k = 0; k < d; ++k) {
      if (term.less1[k] >= 0) first += R[k] * a[static_cast<std::size_t>(term.less1[k])];
      if (term.less2[k] >= 0) second += a[static_cast<std::size_t>(term.less2[k])];
    }
    const double n = term.degree;
    a[t] = -((2.0 * n - 2.0 + 2.0 * alpha_) * first + (n - 2.0 + 2.0 * alpha_) * second) / (n * D2);
  }
  for (std::size_t t = 1; t < terms; ++t) a[t] *= terms_[t].factorial;
}

// A node's error bound weighs its values' magnitudes Σ|v| and, through the
// mean it multiplies, its weight sum's: the weight channels themselves are
// counts, not metres.
double WeightedMeanTree::largestValues(const double* absolute) const {
  double largest = 0.0;
  for (const Group& g : groups_) {
    for (int c : g.valueChannels) largest = std::max(largest, absolute[c]);
  }
  return largest;
}

double WeightedMeanTree::weight(double s) const { return DistributionWeight(weighting_, s, d0_); }


// Mₖ(c) = Σ v·(c − y)ᵏ with c − y = δ + (c′ − y), δ = c − c′ the step from a
// child's centre c′: Mₖ(c) = Σ_{j≤k} C(k, j)·δ^(k−j)·Mⱼ(c′), held scaled:
// M̃ₖ(c) = Σ_{j≤k} δ^(k−j)/(k−j)!·M̃ⱼ(c′).
void WeightedMeanTree::shiftMoments(int index) {
  const std::size_t nc = static_cast<std::size_t>(channels_);
  const std::size_t d = static_cast<std::size_t>(dims_);
  const std::size_t terms = terms_.size();
  const Node& node = nodes_[static_cast<std::size_t>(index)];
  double* moments = &moments_[static_cast<std::size_t>(index) * terms * nc];
  std::vector<double> step(terms);
  for (const int child : {node.left, node.right}) {
    const Node& c = nodes_[static_cast<std::size_t>(child)];
    std::array<double, 3> delta{};
    for (std::size_t a = 0; a < d; ++a) delta[a] = node.centre[a] - c.centre[a];
    monomials(delta, step.data());
    const double* from = &moments_[static_cast<std::size_t>(child) * terms * nc];
    for (std::size_t m = 0; m < terms; ++m) {
      for (const Pair& pair : pairs_[m]) {
        const double f = step[static_cast<std::size_t>(pair.k)];
        for (std::size_t ch = 0; ch < nc; ++ch) moments[static_cast<std::size_t>(pair.sum) * nc + ch] += f * from[m * nc + ch];
      }
    }
  }
}

double WeightedMeanTree::expansionRemainder(double theta, int degree) const {
  double tail = theta;
  for (int n = 0; n < degree; ++n) tail *= theta;
  if (alpha_ == 0.5) return tail / (1.0 - theta);
  return tail * ((degree + 2) - (degree + 1) * theta) / ((1.0 - theta) * (1.0 - theta));
}

bool WeightedMeanTree::Mean(const double* x, double scale, double* means) const {
  const std::size_t nc = static_cast<std::size_t>(channels_);
  const std::size_t d = static_cast<std::size_t>(dims_);
  for (std::size_t a = 0; a < d; ++a) {
    if (!std::isfinite(x[a])) return false;
  }
  if (!(scale > 0.0) || !std::isfinite(scale) || nodes_.empty()) return false;
  std::array<double, kMaxChannels> sum{}, error{};
  const double typical = typical_;
  const bool powerLaw = weighting_ == 0 || weighting_ == 1;
  const double tolerance = kNodeShare * kTolerance;
  std::vector<double> a(terms_.size());

  std::array<int, 128> stack{};
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[static_cast<std::size_t>(stack[--top])];
    const std::size_t index = static_cast<std::size_t>(&node - nodes_.data());
    if (node.left >= 0) {
      std::array<double, 3> R{};
      double D2 = 0.0;
      for (std::size_t k = 0; k < d; ++k) {
        R[k] = x[k] - node.centre[k];
        D2 += R[k] * R[k];
      }
      const double D = std::sqrt(D2);
      const double nearest = (D - node.radius) * scale;
      const double stations = static_cast<double>(node.end - node.begin);
      if (powerLaw && nearest > kNearest && node.radius < kMaxTheta * D) {
        const double theta = node.radius / D;
        const double bound = power(D * scale) * expansionRemainder(theta, degree_);
        const double least = power((D + node.radius) * scale);
        std::array<double, kMaxChannels + 1> spread{};
        spreads(static_cast<int>(index), 0.0, degree_, spread.data());
        if (bound * (largestValues(spread.data()) + typical * spread[nc]) <= tolerance * stations * least) {
          coefficients(R, D2, a.data(), terms_.size());
          const double factor = power(scale);
          const double* moments = &moments_[index * terms_.size() * nc];
          std::array<double, kMaxChannels> field{};
          for (std::size_t t = 0; t < terms_.size(); ++t) {
            for (std::size_t c = 0; c < nc; ++c) field[c] += a[t] * moments[t * nc + c];
          }
          for (std::size_t c = 0; c < nc; ++c) {
            sum[c] += factor * field[c];
            error[c] += bound * spread[c];
          }
          continue;
        }
      } else if (!powerLaw && nearest > kNearest) {
        // Left out: every station's weight is at most the nearest one's.
        const double most = weight(nearest);
        const double* absolute = radialOf(static_cast<int>(index));
        double collected = std::numeric_limits<double>::infinity();
        for (const Group& g : groups_) {
          const std::size_t wc = static_cast<std::size_t>(g.weightChannel);
          if (radialOf(0)[wc] > 0.0) collected = std::min(collected, sum[wc]);  // a group with stations
        }
        if (most * (largestValues(absolute) + typical * stations) <= 0.1 * tolerance * collected) {
          for (std::size_t c = 0; c < nc; ++c) error[c] += most * absolute[c];
          continue;
        }
      }
      // Down, the nearer child last so that it is taken first.
      const Node& left = nodes_[static_cast<std::size_t>(node.left)];
      const Node& right = nodes_[static_cast<std::size_t>(node.right)];
      double toLeft = 0.0, toRight = 0.0;
      for (std::size_t k = 0; k < d; ++k) {
        toLeft += (x[k] - left.centre[k]) * (x[k] - left.centre[k]);
        toRight += (x[k] - right.centre[k]) * (x[k] - right.centre[k]);
      }
      if (top + 2 > static_cast<int>(stack.size())) return false;
      stack[top++] = toLeft < toRight ? node.right : node.left;
      stack[top++] = toLeft < toRight ? node.left : node.right;
      continue;
    }
    for (std::size_t i = node.begin; i < node.end; ++i) {
      double s2 = 0.0;
      for (std::size_t k = 0; k < d; ++k) {
        const double delta = at_[k * count_ + i] - x[k];
        s2 += delta * delta;
      }
      const double w = weight(std::sqrt(s2) * scale);
      const double* v = &values_[i * nc];
      for (std::size_t c = 0; c < nc; ++c) sum[c] += w * v[c];
    }
  }

  return finish(sum.data(), error.data(), means);
}

bool WeightedMeanTree::finish(const double* sum, const double* error, double* means) const {
  bool ok = true;
  for (const Group& g : groups_) {
    const std::size_t wc = static_cast<std::size_t>(g.weightChannel);
    const double W = sum[wc], EW = error[wc];
    means[wc] = W;
    if (W == 0.0 && EW == 0.0) {
      for (int c : g.valueChannels) means[c] = std::numeric_limits<double>::quiet_NaN();
      continue;
    }
    if (!(W - EW > 0.0)) {
      for (int c : g.valueChannels) means[c] = std::numeric_limits<double>::quiet_NaN();
      ok = false;
      continue;
    }
    for (int c : g.valueChannels) {
      const std::size_t vc = static_cast<std::size_t>(c);
      const double mean = sum[vc] / W;
      ok = ok && (error[vc] + std::fabs(mean) * EW) / (W - EW) <= kTolerance;
      means[vc] = median_[vc] + mean;  // on failure the retry's stand-in for its size
    }
  }
  return ok;
}

// One task's subtree of the queries (nodes first … first + count − 1 in
// the tree's preorder): its expansions and their error bounds.
struct WeightedMeanTree::Work {
  std::size_t first = 0;
  std::vector<double> local;  // per node: terms × channels
  std::vector<double> error;  // per node: channels
  // Per node: the highest degree its expansion holds a term of (its far
  // pairs' and its ancestors'), −1 while it holds none; the shifts to the
  // children and the evaluation at the queries stop there.
  std::vector<int> degree;
};

struct WeightedMeanTree::Batch {
  std::vector<double> at;          // dims per query, in tree order
  std::vector<double> scale;       // per query, in tree order
  std::vector<std::size_t> order;  // tree order → caller's order
  std::vector<Node> nodes;
  std::vector<double> direct;  // per query (tree order): channels, summed exactly
  bool fastWeights = false;    // the exact sums' weights by FastWeights
  double nearest = 0.0;        // a far pair's least distance before scaling
  std::vector<double> meanSize;  // per query node on a retry: the largest |mean − median| of its queries
  double* means = nullptr;
  char* failed = nullptr;
};

// Dims and NC fix the dimensions and channels at compile time (0: as the tree
// has them), so that the inner loops unroll.
// The exact sums of a station leaf at the points of a query leaf. The
// weights are found a block of stations at a time in a loop without
// branches, which the compiler vectorises.
template <std::size_t Dims, std::size_t NC, bool Reciprocal>
void WeightedMeanTree::direct(Batch& batch, const Node& q, const Node& s) const {
  const std::size_t nc = NC ? NC : static_cast<std::size_t>(channels_);
  const std::size_t d = Dims ? Dims : static_cast<std::size_t>(dims_);
  constexpr std::size_t kBlock = 32;
  for (std::size_t i = q.begin; i < q.end; ++i) {
    const double* x = &batch.at[i * d];
    const double scale = batch.scale[i];
    std::array<double, kMaxChannels> sum{}, odd{};  // in registers, not through batch.direct
    for (std::size_t first = s.begin; first < s.end; first += kBlock) {
      const std::size_t n = std::min(kBlock, s.end - first);
      alignas(16) double w[kBlock] = {};
      for (std::size_t k = 0; k < d; ++k) {
        const double* axis = &at_[k * count_ + first];
        for (std::size_t j = 0; j < n; ++j) {
          const double delta = axis[j] - x[k];
          w[j] += delta * delta;
        }
      }
#if defined(__SSE2__)
      if (batch.fastWeights) {
        FastWeights<Reciprocal>(w, (n + 3) / 4 * 4, scale);
      } else
#endif
      {
        for (std::size_t j = 0; j < n; ++j) w[j] = ExactWeight<Reciprocal>(w[j], scale);
      }

      // Two partial sums, even and odd stations: one chain of additions
      // waited on each station's product.
      const double* v = &values_[first * nc];
      std::size_t j = 0;
      for (; j + 1 < n; j += 2) {
        for (std::size_t c = 0; c < nc; ++c) {
          sum[c] += w[j] * v[j * nc + c];
          odd[c] += w[j + 1] * v[(j + 1) * nc + c];
        }
      }
      if (j < n) {
        for (std::size_t c = 0; c < nc; ++c) sum[c] += w[j] * v[j * nc + c];
      }
    }
    for (std::size_t c = 0; c < nc; ++c) batch.direct[i * nc + c] += sum[c] + odd[c];
  }
}

template <std::size_t Dims, std::size_t NC>
void WeightedMeanTree::interact(Batch& batch, Work& work, int queryNode, int stationNode) const {
  const std::size_t nc = NC ? NC : static_cast<std::size_t>(channels_);
  const std::size_t d = Dims ? Dims : static_cast<std::size_t>(dims_);
  const Node& q = batch.nodes[static_cast<std::size_t>(queryNode)];
  const Node& s = nodes_[static_cast<std::size_t>(stationNode)];
  std::array<double, 3> R{};
  double D2 = 0.0;
  for (std::size_t k = 0; k < d; ++k) {
    R[k] = q.centre[k] - s.centre[k];
    D2 += R[k] * R[k];
  }
  const double reach = q.radius + s.radius;
  const std::size_t station = static_cast<std::size_t>(stationNode);
  // Most pairs met are near: those plainly so are told without the root.
  const bool plainlyNear = reach * reach >= 1.01 * kMaxTheta * kMaxTheta * D2;
  const double D = plainlyNear ? 0.0 : std::sqrt(D2);
  if (!plainlyNear && D - reach > batch.nearest && reach < kMaxTheta * D) {
    const double typical =
        batch.meanSize.empty() ? typical_ : std::max(typical_, batch.meanSize[static_cast<std::size_t>(queryNode)]);
    const double stations = static_cast<double>(s.end - s.begin);
    const double theta = reach / D, limit = kNodeShare * kTolerance * stations * power(D + reach);
    std::array<double, kMaxChannels + 1> spread{};
    // The pair's bound at degree q, the values' and (through the mean) the
    // weights' remainders; `spread` is left holding degree q's sums.
    auto claimed = [&](int degree) {
      spreads(stationNode, q.radius, degree, spread.data());
      return power(D) * expansionRemainder(theta, degree) * (largestValues(spread.data()) + typical * spread[nc]);
    };
    if (claimed(degree_) <= limit) {
      // The lowest degree whose bound meets a tenth of the share: a pair
      // well apart needs far fewer terms than one at the edge (the
      // expansion truncated at total degree q is the Taylor polynomial of
      // degree q, bounded alike).
      int lowest = degree_;
      while (lowest > 0 && claimed(lowest - 1) <= kLoweredShare * limit) --lowest;
      claimed(lowest);
      const double bound = power(D) * expansionRemainder(theta, lowest);
      const std::size_t terms = termsUpTo_[static_cast<std::size_t>(lowest)];
      std::array<double, kMaxTerms> a;  // coefficients() fills the first `terms`
      coefficients(R, D2, a.data(), terms);
      const double* moments = &moments_[station * terms_.size() * nc];
      const std::size_t slot = static_cast<std::size_t>(queryNode) - work.first;
      double* local = &work.local[slot * terms_.size() * nc];
      for (std::size_t m = 0; m < terms; ++m) {
        const Pair* pair = pairs_[m].data();
        const Pair* end = pair + termsUpTo_[static_cast<std::size_t>(lowest - terms_[m].degree)];
        TranslateRow<NC, false>(pair, end, a.data(), moments, nc, &local[m * nc]);
      }
      double* error = &work.error[slot * nc];
      for (std::size_t c = 0; c < nc; ++c) error[c] += bound * spread[c];
      work.degree[slot] = std::max(work.degree[slot], lowest);
      return;
    }
  }
  const bool queryLeaf = q.left < 0, stationLeaf = s.left < 0;
  if (queryLeaf && stationLeaf) {
    if (alpha_ == 0.5) {
      direct<Dims, NC, true>(batch, q, s);
    } else {
      direct<Dims, NC, false>(batch, q, s);
    }
    return;
  }
  if (stationLeaf || (!queryLeaf && q.radius > s.radius)) {
    interact<Dims, NC>(batch, work, q.left, stationNode);
    interact<Dims, NC>(batch, work, q.right, stationNode);
  } else {
    interact<Dims, NC>(batch, work, queryNode, s.left);
    interact<Dims, NC>(batch, work, queryNode, s.right);
  }
}

template <std::size_t Dims, std::size_t NC>
void WeightedMeanTree::descend(Batch& batch, Work& work, int queryNode) const {
  const std::size_t nc = NC ? NC : static_cast<std::size_t>(channels_);
  const std::size_t d = Dims ? Dims : static_cast<std::size_t>(dims_);
  const std::size_t stride = terms_.size();
  const Node& q = batch.nodes[static_cast<std::size_t>(queryNode)];
  const std::size_t slot = static_cast<std::size_t>(queryNode) - work.first;
  const double* local = &work.local[slot * stride * nc];
  const double* error = &work.error[slot * nc];
  const int degree = work.degree[slot];
  // The terms up to the expansion's degree (none below degree 0).
  const std::size_t terms = degree < 0 ? 0 : termsUpTo_[static_cast<std::size_t>(degree)];
  std::array<double, kMaxTerms> u{};
  if (q.left >= 0) {
    for (const int child : {q.left, q.right}) {
      const Node& c = batch.nodes[static_cast<std::size_t>(child)];
      const std::size_t childSlot = static_cast<std::size_t>(child) - work.first;
      if (terms > 0) {
        std::array<double, 3> delta{};
        for (std::size_t k = 0; k < d; ++k) delta[k] = c.centre[k] - q.centre[k];
        monomials(delta, u.data());
        double* into = &work.local[childSlot * stride * nc];
        for (std::size_t m = 0; m < terms; ++m) {
          const Pair* pair = pairs_[m].data();
          const Pair* end = pair + termsUpTo_[static_cast<std::size_t>(degree - terms_[m].degree)];
          TranslateRow<NC, true>(pair, end, u.data(), local, nc, &into[m * nc]);
        }
        work.degree[childSlot] = std::max(work.degree[childSlot], degree);
      }
      double* errorInto = &work.error[childSlot * nc];
      for (std::size_t ch = 0; ch < nc; ++ch) errorInto[ch] += error[ch];
      descend<Dims, NC>(batch, work, child);
    }
    return;
  }
  for (std::size_t i = q.begin; i < q.end; ++i) {
    const std::size_t caller = batch.order[i];
    const double* x = &batch.at[i * d];
    const double factor = power(batch.scale[i]);
    std::array<double, kMaxChannels> sum{}, bound{};
    if (terms > 0) {
      std::array<double, 3> offset{};
      for (std::size_t k = 0; k < d; ++k) offset[k] = x[k] - q.centre[k];
      monomials(offset, u.data());
      for (std::size_t m = 0; m < terms; ++m) {
        for (std::size_t ch = 0; ch < nc; ++ch) sum[ch] += local[m * nc + ch] * u[m];
      }
    }
    for (std::size_t ch = 0; ch < nc; ++ch) {
      sum[ch] = factor * sum[ch] + batch.direct[i * nc + ch];
      bound[ch] = factor * error[ch];
      // |Σ δw·v| ≤ ε·Σ w·|v| ≤ ε·(the group's Σ w)·max |v|.
      if (batch.fastWeights) bound[ch] += kFastWeightError * batch.direct[i * nc + weightOf_[ch]] * largest_[ch];
    }
    batch.failed[caller] = finish(sum.data(), bound.data(), &batch.means[caller * nc]) ? 0 : 1;
  }
}

bool WeightedMeanTree::Means(std::size_t count, const double* queries, const double* scales, double* means,
                             char* failed, const std::function<bool()>& cancelled) const {
  if (!MeansOf(count, queries, scales, means, failed, cancelled, false)) return false;
  const bool powerLaw = weighting_ == 0 || weighting_ == 1;
  if (!powerLaw || nodes_.empty()) return true;
  // A point that failed its bound once, with its own approximate mean as the
  // stand-in for the mean's size: near blunders the mean is far from the
  // typical residual the pairs were chosen by (1 % blunders of 100 m among
  // 10 mm failed every point), and the exact sum is O(stations) a point.
  // A point without a finite place or scale fails again at once.
  const std::size_t nc = static_cast<std::size_t>(channels_);
  const std::size_t d = static_cast<std::size_t>(dims_);
  std::vector<std::size_t> again;
  for (std::size_t i = 0; i < count; ++i) {
    if (failed[i]) again.push_back(i);
  }
  if (again.empty()) return true;
  std::vector<double> at(again.size() * d), scale(again.size()), retried(again.size() * nc);
  for (std::size_t j = 0; j < again.size(); ++j) {
    std::copy_n(&queries[again[j] * d], d, &at[j * d]);
    scale[j] = scales[again[j]];
    std::copy_n(&means[again[j] * nc], nc, &retried[j * nc]);
  }
  std::vector<char> still(again.size(), 1);
  if (!MeansOf(again.size(), at.data(), scale.data(), retried.data(), still.data(), cancelled, true)) return false;
  for (std::size_t j = 0; j < again.size(); ++j) {
    if (still[j]) continue;
    failed[again[j]] = 0;
    std::copy_n(&retried[j * nc], nc, &means[again[j] * nc]);
  }
  return true;
}

bool WeightedMeanTree::MeansOf(std::size_t count, const double* queries, const double* scales, double* means,
                               char* failed, const std::function<bool()>& cancelled, bool retry) const {
  const std::size_t nc = static_cast<std::size_t>(channels_);
  const std::size_t d = static_cast<std::size_t>(dims_);
  const bool powerLaw = weighting_ == 0 || weighting_ == 1;
  if (!powerLaw || nodes_.empty()) {
    return OnEveryCore(
        (count + 255) / 256,
        [&](std::size_t block) {
          for (std::size_t i = block * 256; i < std::min(count, block * 256 + 256); ++i) {
            failed[i] = Mean(&queries[i * d], scales[i], &means[i * nc]) ? 0 : 1;
          }
        },
        cancelled);
  }
  Batch batch;
  batch.means = means;
  batch.failed = failed;
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < count; ++i) {
    bool finite = std::isfinite(scales[i]) && scales[i] > 0.0;
    for (std::size_t k = 0; k < d; ++k) finite = finite && std::isfinite(queries[i * d + k]);
    failed[i] = 1;
    if (!finite) continue;
    batch.order.push_back(i);
    least = std::min(least, scales[i]);
  }
  if (batch.order.empty()) return true;
  batch.nearest = kNearest / least;
#if defined(__SSE2__)
  batch.fastWeights = fastWeights_;
  for (std::size_t i : batch.order) {
    batch.fastWeights = batch.fastWeights && scales[i] >= 1.0 / kFastScale && scales[i] <= kFastScale;
    for (std::size_t k = 0; k < d; ++k) {
      batch.fastWeights = batch.fastWeights && std::fabs(queries[i * d + k]) <= kFastReach;
    }
  }
#endif
  {
    // The queries' places and scales in tree order: read in the caller's,
    // each leaf's would be a cache miss a query at every station leaf.
    const std::vector<Placed> placed = BuildOver(dims_, queries, batch.order, batch.nodes, kQueryLeafSize);
    batch.at.resize(placed.size() * d);
    batch.scale.resize(placed.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
      batch.order[i] = placed[i].index;
      std::copy_n(placed[i].at.begin(), d, &batch.at[i * d]);
      batch.scale[i] = scales[placed[i].index];
    }
  }
  batch.direct.assign(batch.order.size() * nc, 0.0);
  if (retry) {
    // `means` holds the first pass's means: each node's largest departure
    // from the medians among its queries.
    batch.meanSize.assign(batch.nodes.size(), 0.0);
    for (std::size_t n = 0; n < batch.nodes.size(); ++n) {
      double& size = batch.meanSize[n];
      for (std::size_t i = batch.nodes[n].begin; i < batch.nodes[n].end; ++i) {
        const double* m = &means[batch.order[i] * nc];
        for (const Group& g : groups_) {
          for (int c : g.valueChannels) {
            if (std::isfinite(m[c])) size = std::max(size, std::fabs(m[c] - median_[static_cast<std::size_t>(c)]));
          }
        }
      }
    }
  }
  // Independent subtrees of the queries, a few per core.
  std::vector<int> subtrees{0};
  while (subtrees.size() < 256) {
    std::vector<int> next;
    for (int n : subtrees) {
      const Node& node = batch.nodes[static_cast<std::size_t>(n)];
      if (node.left < 0) {
        next.push_back(n);
      } else {
        next.push_back(node.left);
        next.push_back(node.right);
      }
    }
    if (next.size() == subtrees.size()) break;
    subtrees = std::move(next);
  }
  return OnEveryCore(subtrees.size(), [&](std::size_t i) {
    // The subtree's nodes run up to its last leaf, in preorder.
    const int root = subtrees[i];
    int last = root;
    while (batch.nodes[static_cast<std::size_t>(last)].left >= 0) last = batch.nodes[static_cast<std::size_t>(last)].right;
    // A core's buffers serve its next subtree too: fresh ones for each cost
    // a page fault per 4 KiB of expansions.
    thread_local Work work;
    work.first = static_cast<std::size_t>(root);
    const std::size_t count = static_cast<std::size_t>(last - root + 1);
    work.local.assign(count * terms_.size() * nc, 0.0);
    work.error.assign(count * nc, 0.0);
    work.degree.assign(count, -1);
    if (dims_ == 2 && channels_ == 4) {
      interact<2, 4>(batch, work, root, 0), descend<2, 4>(batch, work, root);
    } else if (dims_ == 3 && channels_ == 4) {
      interact<3, 4>(batch, work, root, 0), descend<3, 4>(batch, work, root);
    } else if (dims_ == 2 && channels_ == 5) {
      interact<2, 5>(batch, work, root, 0), descend<2, 5>(batch, work, root);
    } else {
      interact<0, 0>(batch, work, root, 0), descend<0, 0>(batch, work, root);
    }
  }, cancelled);
}

}  // namespace pelmar
