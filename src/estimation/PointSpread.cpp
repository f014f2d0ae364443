#include "estimation/PointSpread.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "adjust/SymmetricEigen.h"

namespace pelmar {

namespace {

constexpr double kOnePlace = 1e-10;  // largest extent against the largest coordinate
constexpr double kOneLine = 1e-5;    // second extent against the first

}  // namespace

PointSpread MeasureSpread(const std::vector<std::array<double, 3>>& points, const std::array<double, 3>& about) {
  PointSpread spread;
  if (points.empty()) return spread;
  std::array<std::array<double, 3>, 3> moment{};
  for (const auto& p : points) {
    const double d[3] = {p[0] - about[0], p[1] - about[1], p[2] - about[2]};
    for (int i = 0; i < 3; ++i) {
      spread.magnitude = std::max(spread.magnitude, std::fabs(p[i]));
      for (int j = 0; j < 3; ++j) moment[i][j] += d[i] * d[j];
    }
  }
  const double n = static_cast<double>(points.size());
  for (auto& row : moment) {
    for (double& m : row) m /= n;
  }
  std::array<double, 3> values = DecomposeSymmetric<3>(moment).values;
  std::sort(values.begin(), values.end(), std::greater<>());
  for (int i = 0; i < 3; ++i) spread.extent[i] = std::sqrt(std::max(values[i], 0.0));
  return spread;
}

SpreadVerdict JudgeSpread(const PointSpread& spread, SpreadNeed need) {
  if (need == SpreadNeed::None) return SpreadVerdict::Sufficient;
  if (!(spread.extent[0] > kOnePlace * spread.magnitude)) return SpreadVerdict::AtOnePlace;
  if (need == SpreadNeed::Plane && !(spread.extent[1] > kOneLine * spread.extent[0])) return SpreadVerdict::OnOneLine;
  return SpreadVerdict::Sufficient;
}

int FirstUnusableCoordinate(const std::vector<std::array<double, 3>>& points) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (double v : points[i]) {
      if (!(std::fabs(v) <= kLargestCoordinate)) return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace pelmar
