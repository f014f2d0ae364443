#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

#include "app/EveryCore.h"

namespace pelmar {

// Distance-weighted sums over many stations, for the residual distribution
// of large networks: Σ w(k·|x − yᵢ|)·vᵢ for every value channel, where w is
// one of the distribution's weightings and k a per-query distance scale.
//
// A k-d tree over the stations. A node far enough from the query point
// stands in for its stations by the Taylor expansion of w about the node's
// centre, to total degree p (`degree`), with the node's moments
// Mₖ = Σ vᵢ·(c − yᵢ)^k. For w = s^(−2α) (α = ½: 1/s, α = 1: 1/s²) the
// expansion of |R − h|^(−2α) in h is the Gegenbauer series
// Σₙ |h|ⁿ/|R|^(n+2α)·Cₙ^(α)(cos γ), and |Cₙ^(α)| ≤ Cₙ^(α)(1) (1 and n + 1),
// so the part left out is bounded by |R|^(−2α)·Σ_{n>p} Cₙ^(α)(1)·θⁿ with
// θ = r/|R| (Abramowitz & Stegun 22.14.2 and 22.9.4), taken for each
// station at its own distance from the centre (few lie at r). The exponential
// weighting decays too fast for that to pay: a node whose nearest possible
// station is far enough is left out altogether, bounded by its largest
// possible weight. Nodes that are neither go down to their stations, summed
// exactly with the distribution's own weight function.
//
// The value channels are grouped: each group has a weight channel (1 for a
// station that has the group's values, else 0) and value channels; the
// result is the weighted mean of each value channel over its group. The
// values are taken about their median, so the bound is on their spread.
// `Mean` returns false when its bound on the mean's error exceeds
// kTolerance; the caller then sums exactly.
// A term k of a station-side expansion and the index of m + k, for a
// term m of the query side's.
struct WeightedMeanTreePair {
  int k, sum;
};

class WeightedMeanTree {
 public:
  // The expansions' total degree: 8 in the plane, 7 in space (whose
  // terms grow as the cube of the degree).
  int degree() const { return degree_; }
  static constexpr double kTolerance = 1e-5;  // metres

  struct Group {
    int weightChannel;
    std::vector<int> valueChannels;
  };

  // `positions` holds `dims` (2 or 3) coordinates per station (metres),
  // `values` `channels` values per station.
  WeightedMeanTree(int dims, int weighting, double distanceConstant, std::vector<Group> groups, int channels,
                   const std::vector<double>& positions, const std::vector<double>& values);

  // Fills `means` (one per channel; a weight channel's entry is its weight
  // sum) for the query at `x` (dims coordinates) with distances multiplied
  // by `scale`. A group whose weights sum to zero gets NaN means. False when
  // the bound says the result may be off by more than kTolerance. A single
  // point evaluates each expansion at itself (a tree of one point through
  // `Means` re-expands every far group about it: 2.5 times as long).
  bool Mean(const double* x, double scale, double* means) const;

  // The same for many queries at once (`count` points of dims coordinates,
  // a scale each): for the power weightings a second tree over the queries
  // lets a far group of stations act on a near group of queries through
  // one expansion about both centres (truncated at total degree p, so
  // that the same bound holds with θ = (r_queries + r_stations)/|R|).
  // `exact[i]` is set where query i failed its bound. Runs on every core;
  // false when `cancelled` said so.
  bool Means(std::size_t count, const double* queries, const double* scales, double* means, char* failed,
             const std::function<bool()>& cancelled) const;

  std::size_t size() const { return count_; }

 private:
  struct Node {
    std::array<double, 3> centre{};
    double radius = 0.0;
    std::size_t begin = 0, end = 0;  // stations, in tree order
    int left = -1, right = -1;
  };

  // A point being ordered into the tree: its place and its index in the
  // caller's array, moved together (ordering indices into the caller's
  // array read it at random, a cache miss a point on every level).
  struct Placed {
    std::array<double, 3> at;
    std::size_t index;
  };
  // `halves`: the root's two halves are built side by side, on two cores
  // (the same nodes in the same preorder as one after the other).
  static int Build(int dims, std::size_t begin, std::size_t end, std::vector<Placed>& points,
                   std::vector<Node>& nodes, std::size_t leafSize, bool halves = false);
  // Build over `positions` (dims per point) at `indices`; returns the
  // points in tree order.
  static std::vector<Placed> BuildOver(int dims, const double* positions, const std::vector<std::size_t>& indices,
                                       std::vector<Node>& nodes, std::size_t leafSize);
  struct Batch;
  struct Work;
  // Means without the retry; `retry`: `means` holds a first pass's means,
  // whose sizes stand in for the typical residual.
  bool MeansOf(std::size_t count, const double* queries, const double* scales, double* means, char* failed,
               const std::function<bool()>& cancelled, bool retry) const;
  template <std::size_t Dims, std::size_t NC>
  void interact(Batch& batch, Work& work, int queryNode, int stationNode) const;
  template <std::size_t Dims, std::size_t NC, bool Reciprocal>
  void direct(Batch& batch, const Node& q, const Node& s) const;
  template <std::size_t Dims, std::size_t NC>
  void descend(Batch& batch, Work& work, int queryNode) const;
  void fillMoments(int node);
  void shiftMoments(int node);
  double weight(double distance) const;
  double largestValues(const double* absolute) const;
  double power(double s) const { return alpha_ == 0.5 ? 1.0 / s : 1.0 / (s * s); }  // s^(−2α)
  double expansionRemainder(double theta, int degree) const;  // Σ_{n>degree} Cₙ(1)·θⁿ

  int dims_;
  int degree_;
  int weighting_;
  double d0_;
  double alpha_;  // w = s^(−2α) for the power weightings
  std::vector<Group> groups_;
  int channels_;
  std::size_t count_ = 0;
  std::vector<double> at_;      // per axis, every station in tree order (the exact sums read an axis at a stretch)
  std::vector<double> values_;  // channels_ per station, tree order, about the medians
  std::vector<double> median_;  // per channel (0 for weight channels)
  std::vector<double> spread_;  // per channel: a typical |value − median|
  double typical_ = 0.0;        // the largest of them
  std::vector<Node> nodes_;
  // Multi-indices of total degree ≤ p: exponents and, per axis, the
  // index of k − eᵢ and k − 2eᵢ (−1 where there is none).
  struct Term {
    std::array<int, 3> power{};
    int degree = 0;
    std::array<int, 3> less1{-1, -1, -1}, less2{-1, -1, -1};
    double factorial = 1.0;  // k! = k₁!·k₂!·k₃!
    int step = 0;            // the axis `monomials` steps along, and 1/kᵢ on it
    double inverse = 1.0;
  };
  std::vector<Term> terms_;  // by degree
  std::vector<std::size_t> termsUpTo_;  // per degree q ≤ p: the terms of degree ≤ q
  // Per m, the k with |m| + |k| ≤ p and the index of m + k. Every
  // expansion is held scaled by factorials, so that no binomial
  // C(m+k, m) = (m+k)!/(m!·k!) is left in the inner loops: moments
  // M̃ₖ = Mₖ/k!, coefficients ãₖ = aₖ·k! (the derivatives), query-side
  // expansions L̃ₘ = m!·Lₘ. For a far pair L̃ₘ = Σₖ ã_{m+k}·M̃ₖ; shifting a
  // query-side expansion by δ gives L̃′ₘ = Σₖ L̃_{m+k}·δᵏ/k!.
  using Pair = WeightedMeanTreePair;
  std::vector<std::vector<Pair>> pairs_;
  // The first `terms` derivatives ãₖ = aₖ·k! of |R|^(−2α) at R (|R|² =
  // D2), aₖ the Taylor coefficients.
  void coefficients(const std::array<double, 3>& R, double D2, double* a, std::size_t terms) const;
  // uᵏ/k! for every term.
  void monomials(const std::array<double, 3>& u, double* out) const;
  // The means from the sums and their error bounds; false past kTolerance.
  bool finish(const double* sum, const double* error, double* means) const;
  std::vector<double> moments_;  // per node: terms × channels
  // Per node, for k = 0 … p + 1: Σ|value|·(|h|/r)^k per channel and, last,
  // Σ(|h|/r)^k, with h a station's offset from the node's centre and r the
  // node's radius: the bound of a far pair sums each station's own
  // remainder instead of taking every station at the node's edge.
  std::vector<double> radial_;
  std::size_t radialStride() const { return static_cast<std::size_t>(channels_) + 1; }
  // A node's radial sums, power k at k·radialStride(); power 0 is each
  // channel's Σ|value|.
  const double* radialOf(int node) const {
    return &radial_[static_cast<std::size_t>(node) * (static_cast<std::size_t>(degree_) + 2) * radialStride()];
  }
  void fillRadial(int node);
  // Per channel: the largest |value| and the group's weight channel (a
  // weight channel's own), which bound the error of the exact sums'
  // weights when found by the reciprocal square root's estimate.
  std::vector<double> largest_;
  std::vector<std::size_t> weightOf_;
  // Every station within the estimate's reach.
  bool fastWeights_ = true;
  // Per channel and, last, for the count: Σ over the node's stations of
  // |value|·t^(q+1) with t = (queryRadius + |h|)/(queryRadius + r), the
  // share of the node's truncation remainder at degree q that a query
  // within queryRadius of its own centre can meet.
  void spreads(int node, double queryRadius, int q, double* out) const;
};

}  // namespace pelmar
