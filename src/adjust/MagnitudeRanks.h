#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "app/EveryCore.h"

namespace pelmar {

// Exact order statistics of the magnitudes |v| of values held in several
// parts (the chunks of an adjustment pass), found on every core without
// gathering them: the bit pattern of a non-negative double orders as its
// value does, so a histogram of the top 16 bits names the bucket that holds
// a rank, a histogram of the next 16 within that bucket narrows it further,
// and the few values left are selected with std::nth_element. `at(r)` is
// the value std::nth_element would put at position r of all the magnitudes,
// so a loop that takes its median here gets the same bits as one that
// gathered and selected on one core. A NaN counts as the largest.
class MagnitudeRanks {
 public:
  explicit MagnitudeRanks(std::vector<std::span<const double>> parts)
      : parts_(std::move(parts)), groups_(std::min(parts_.size(), UsableCores())) {
    for (const auto& part : parts_) size_ += part.size();
    top_ = histogram(0, kTopShift);
  }

  std::size_t size() const noexcept { return size_; }

  // The magnitude of rank `rank` (0 the smallest; rank < size()).
  double at(std::size_t rank) const {
    std::uint64_t prefix = 0;
    int shift = kTopShift;
    Histogram deeper;
    const Histogram* counts = &top_;
    for (;;) {
      std::uint64_t bucket = 0;
      while (rank >= (*counts)[bucket]) rank -= (*counts)[bucket++];
      prefix = (prefix << kBits) | bucket;
      if ((*counts)[bucket] <= kSelectWithin || shift == 0) break;
      shift -= kBits;
      deeper = histogram(prefix, shift);
      counts = &deeper;
    }
    std::vector<std::vector<double>> found(groups_);
    eachGroup([&](std::size_t g, double v) {
      if (Key(v) >> shift == prefix) found[g].push_back(std::fabs(v));
    });
    std::vector<double> within;
    for (const auto& values : found) within.insert(within.end(), values.begin(), values.end());
    std::nth_element(within.begin(), within.begin() + static_cast<std::ptrdiff_t>(rank), within.end());
    return within[rank];
  }

  // How many magnitudes are at most `magnitude` (≥ 0).
  std::size_t countAtMost(double magnitude) const {
    const std::uint64_t limit = Key(magnitude);
    std::vector<std::size_t> counts(groups_, 0);
    eachGroup([&](std::size_t g, double v) { counts[g] += Key(v) <= limit ? 1 : 0; });
    std::size_t total = 0;
    for (std::size_t c : counts) total += c;
    return total;
  }

 private:
  static constexpr int kBits = 16;
  static constexpr int kTopShift = 64 - kBits;
  static constexpr std::size_t kSelectWithin = std::size_t{1} << 16;
  using Histogram = std::vector<std::size_t>;

  // The bits of |v|: a NaN's lie above infinity's.
  static std::uint64_t Key(double v) noexcept {
    return std::bit_cast<std::uint64_t>(v) & ~(std::uint64_t{1} << 63);
  }

  // body(group, v) for every value, each group's parts on one thread.
  template <class Body>
  void eachGroup(Body&& body) const {
    OnEveryCore(groups_, [&](std::size_t g) {
      for (std::size_t p = g; p < parts_.size(); p += groups_) {
        for (double v : parts_[p]) body(g, v);
      }
    });
  }

  // Counts per value of the kBits bits below `shift` among the values whose
  // bits above them are `prefix`.
  Histogram histogram(std::uint64_t prefix, int shift) const {
    std::vector<Histogram> partial(groups_, Histogram(std::size_t{1} << kBits, 0));
    const int above = shift + kBits;
    eachGroup([&](std::size_t g, double v) {
      const std::uint64_t key = Key(v);
      if (above == 64 || key >> above == prefix) ++partial[g][(key >> shift) & ((std::uint64_t{1} << kBits) - 1)];
    });
    Histogram total(std::size_t{1} << kBits, 0);
    for (const Histogram& h : partial) {
      for (std::size_t b = 0; b < total.size(); ++b) total[b] += h[b];
    }
    return total;
  }

  std::vector<std::span<const double>> parts_;
  std::size_t groups_;
  std::size_t size_ = 0;
  Histogram top_;
};

}  // namespace pelmar
