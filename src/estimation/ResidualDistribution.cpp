#include "estimation/ResidualDistribution.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "estimation/EllipsoidalModel.h"

namespace pelmar {

namespace {
constexpr double kCoincident = 1e-4;
constexpr double kFloor = 1e-10;
}  // namespace

namespace {
// body(i) for every index in `indices`, 64 at a time on every core.
bool EachOnEveryCore(const std::vector<std::size_t>& indices, const std::function<void(std::size_t)>& body,
                     const std::function<bool()>& cancelled) {
  return OnEveryCore(
      (indices.size() + 63) / 64,
      [&](std::size_t block) {
        for (std::size_t i = block * 64; i < std::min(indices.size(), block * 64 + 64); ++i) body(indices[i]);
      },
      cancelled);
}
}  // namespace

double DistributionWeight(int weighting, double s, double d0) {
  if (std::fabs(s) < kCoincident) s = kFloor;
  double w = 0.0;
  switch (weighting) {
    case 0: w = 1.0 / s; break;
    case 1: w = 1.0 / (s * s); break;
    case 2: w = 0.5 * (std::exp(1.0) - 1.0) / (std::exp(s / d0) - 1.0); break;
    default: w = 0.0; break;
  }
  return std::isfinite(w) ? w : 0.0;
}

void ResidualDistribution::apply(double& y, double& x, double& z) const {
  if (stations_.size() < kTreeStations) return applyExactly(y, x, z);
  const WeightedMeanTree& tree = tree_.get([this] { return buildTree(); });
  const std::array<double, 3> at{y, x, z};
  std::array<double, 4> mean{};
  if (!tree.Mean(at.data(), 1.0, mean.data())) return applyExactly(y, x, z);
  correct(y, x, z, mean.data());
}

void ResidualDistribution::correct(double& y, double& x, double& z, const double* mean) const {
  if (!(mean[0] != 0.0)) return;
  y -= mean[1];
  x -= mean[2];
  if (spatial_) z -= mean[3];
}

bool ResidualDistribution::applyAll(std::vector<std::array<double, 3>>& points, const std::vector<char>& which,
                                    const std::function<bool()>& cancelled) const {
  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (which[i]) chosen.push_back(i);
  }
  std::vector<char> failed(chosen.size(), 1);
  if (stations_.size() >= kTreeStations) {
    const WeightedMeanTree& tree = tree_.get([this] { return buildTree(); });
    const std::size_t dims = spatial_ ? 3 : 2;
    std::vector<double> at(chosen.size() * dims), means(chosen.size() * 4);
    for (std::size_t i = 0; i < chosen.size(); ++i) std::copy_n(points[chosen[i]].data(), dims, &at[i * dims]);
    const std::vector<double> scales(chosen.size(), 1.0);
    if (!tree.Means(chosen.size(), at.data(), scales.data(), means.data(), failed.data(), cancelled)) return false;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      std::array<double, 3>& p = points[chosen[i]];
      if (!failed[i]) correct(p[0], p[1], p[2], &means[i * 4]);
    }
  }
  // The rest by the exact sum.
  std::vector<std::size_t> exact;
  for (std::size_t i = 0; i < chosen.size(); ++i) {
    if (failed[i]) exact.push_back(chosen[i]);
  }
  return EachOnEveryCore(
      exact, [&](std::size_t i) { applyExactly(points[i][0], points[i][1], points[i][2]); }, cancelled);
}

WeightedMeanTree ResidualDistribution::buildTree() const {
  const int dims = spatial_ ? 3 : 2;
  std::vector<double> positions, values;
  positions.reserve(stations_.size() * static_cast<std::size_t>(dims));
  values.reserve(stations_.size() * 4);
  for (const Station& s : stations_) {
    positions.insert(positions.end(), {s.y, s.x});
    if (spatial_) positions.push_back(s.z);
    values.insert(values.end(), {1.0, s.dy, s.dx, spatial_ ? s.dz : 0.0});
  }
  return WeightedMeanTree(dims, weighting_, d0_, {{0, {1, 2, 3}}}, 4, positions, values);
}

void ResidualDistribution::applyExactly(double& y, double& x, double& z) const {
  double sumW = 0.0, sumY = 0.0, sumX = 0.0, sumZ = 0.0;
  for (const Station& station : stations_) {
    const double ddy = station.y - y;
    const double ddx = station.x - x;
    const double ddz = spatial_ ? station.z - z : 0.0;
    const double w = DistributionWeight(weighting_, std::sqrt(ddy * ddy + ddx * ddx + ddz * ddz), d0_);
    sumW += w;
    sumY += w * station.dy;
    sumX += w * station.dx;
    sumZ += w * station.dz;
  }
  if (sumW == 0.0) return;
  y -= sumY / sumW;
  x -= sumX / sumW;
  if (spatial_) z -= sumZ / sumW;
}

namespace {
// ΔL reduced to [−180°, 180°].
double LongitudeDifference(double from, double to) { return std::remainder(to - from, 360.0); }
}  // namespace

double EllipsoidalResidualDistribution::Northing(double latitude) const {
  if (!std::isfinite(latitude) || !(std::fabs(latitude) < 90.0)) return std::numeric_limits<double>::quiet_NaN();
  const double e = std::sqrt((target_.a * target_.a - target_.b * target_.b) / (target_.a * target_.a));
  const double phi = latitude / kRhoDegrees;
  return target_.a * (std::asinh(std::tan(phi)) - e * std::atanh(e * std::sin(phi)));
}

void EllipsoidalResidualDistribution::add(const Station& station) {
  const double northing = Northing(station.B);
  if (std::isnan(northing) || !std::isfinite(station.L)) return;
  stations_.push_back({station, northing});
  tree_.reset();
}

WeightedMeanTree EllipsoidalResidualDistribution::buildTree() const {
  // The shortest arc of longitude holding every station, from the widest
  // gap between neighbouring longitudes: eastings are taken from its middle.
  std::vector<double> longitudes;
  longitudes.reserve(stations_.size());
  for (const Placed& p : stations_) longitudes.push_back(p.station.L - 360.0 * std::floor(p.station.L / 360.0));
  std::sort(longitudes.begin(), longitudes.end());
  double gap = longitudes.front() + 360.0 - longitudes.back(), gapEnd = longitudes.front();
  for (std::size_t i = 1; i < longitudes.size(); ++i) {
    if (longitudes[i] - longitudes[i - 1] > gap) gap = longitudes[i] - longitudes[i - 1], gapEnd = longitudes[i];
  }
  halfSpan_ = 0.5 * (360.0 - gap);
  middleLongitude_ = gapEnd + halfSpan_;
  std::vector<double> positions, values;
  positions.reserve(2 * stations_.size());
  values.reserve(5 * stations_.size());
  for (const Placed& placed : stations_) {
    const Station& s = placed.station;
    positions.insert(positions.end(),
                     {target_.a * LongitudeDifference(middleLongitude_, s.L) / kRhoDegrees, placed.northing});
    const bool plan = std::isfinite(s.dN) && std::isfinite(s.dE), height = std::isfinite(s.dh);
    values.insert(values.end(), {plan ? 1.0 : 0.0, plan ? s.dN : 0.0, plan ? s.dE : 0.0, height ? 1.0 : 0.0,
                                 height ? s.dh : 0.0});
  }
  return WeightedMeanTree(2, weighting_, d0_, {{0, {1, 2}}, {3, {4}}}, 5, positions, values);
}

bool EllipsoidalResidualDistribution::treePosition(const std::array<double, 3>& p, std::array<double, 2>& at) const {
  const double n0 = Northing(p[0]);
  if (std::isnan(n0) || !std::isfinite(p[1])) return false;
  // The tree's eastings hold ΔL without reduction only while every station
  // lies within 180° of the point.
  const double offset = LongitudeDifference(middleLongitude_, p[1]);
  if (std::fabs(offset) + halfSpan_ > 179.0) return false;
  at = {target_.a * offset / kRhoDegrees, n0};
  return true;
}

// Mercator distances grow with the point scale k = √(1 − e²·sin²B)/cos B;
// divided by it they are ground distances (near the point), which the
// exponential weighting's distance constant is meant in.
namespace {
double ToGround(const EllipsoidRecord& e, double latitudeDegrees) {
  const double latitude = latitudeDegrees / kRhoDegrees;
  return std::cos(latitude) / RadiiAt(e.a, e.b, latitude).W;
}
}  // namespace

void EllipsoidalResidualDistribution::correct(std::array<double, 3>& p, const double* mean) const {
  const double latitude = p[0] / kRhoDegrees;
  const EllipsoidRadii r = RadiiAt(target_.a, target_.b, latitude);
  if (mean[0] != 0.0) {
    p[0] -= kRhoDegrees * mean[1] / r.M;
    p[1] -= kRhoDegrees * mean[2] / (r.N * std::cos(latitude));
  }
  if (mean[3] != 0.0) p[2] -= mean[4];
}

void EllipsoidalResidualDistribution::apply(std::array<double, 3>& p) const {
  if (stations_.size() < kTreeStations) return applyExactly(p);
  const WeightedMeanTree& tree = tree_.get([this] { return buildTree(); });
  std::array<double, 2> at{};
  std::array<double, 5> mean{};
  if (!treePosition(p, at) || !tree.Mean(at.data(), ToGround(target_, p[0]), mean.data())) return applyExactly(p);
  correct(p, mean.data());
}

bool EllipsoidalResidualDistribution::applyAll(std::vector<std::array<double, 3>>& points,
                                               const std::vector<char>& which,
                                               const std::function<bool()>& cancelled) const {
  std::vector<std::size_t> chosen, exact;
  std::vector<double> at, scales;
  const bool tree = stations_.size() >= kTreeStations;
  if (tree) tree_.get([this] { return buildTree(); });
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!which[i]) continue;
    std::array<double, 2> position{};
    if (tree && treePosition(points[i], position)) {
      chosen.push_back(i);
      at.insert(at.end(), position.begin(), position.end());
      scales.push_back(ToGround(target_, points[i][0]));
    } else {
      exact.push_back(i);
    }
  }
  if (!chosen.empty()) {
    std::vector<double> means(chosen.size() * 5);
    std::vector<char> failed(chosen.size(), 1);
    const WeightedMeanTree& t = tree_.get([this] { return buildTree(); });
    if (!t.Means(chosen.size(), at.data(), scales.data(), means.data(), failed.data(), cancelled)) return false;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      if (failed[i]) {
        exact.push_back(chosen[i]);
      } else {
        correct(points[chosen[i]], &means[i * 5]);
      }
    }
  }
  return EachOnEveryCore(exact, [&](std::size_t i) { applyExactly(points[i]); }, cancelled);
}

void EllipsoidalResidualDistribution::applyExactly(std::array<double, 3>& p) const {
  const double n0 = Northing(p[0]);
  if (std::isnan(n0) || !std::isfinite(p[1])) return;
  const double latitude = p[0] / kRhoDegrees;
  const EllipsoidRadii r = RadiiAt(target_.a, target_.b, latitude);
  const double toGround = ToGround(target_, p[0]);
  double sumPlan = 0.0, sumN = 0.0, sumE = 0.0, sumHeight = 0.0, sumH = 0.0;
  for (const Placed& placed : stations_) {
    const Station& s = placed.station;
    const double e = target_.a * LongitudeDifference(p[1], s.L) / kRhoDegrees;
    const double w = DistributionWeight(weighting_, std::hypot(e, placed.northing - n0) * toGround, d0_);
    if (std::isfinite(s.dN) && std::isfinite(s.dE)) {
      sumPlan += w;
      sumN += w * s.dN;
      sumE += w * s.dE;
    }
    if (std::isfinite(s.dh)) {
      sumHeight += w;
      sumH += w * s.dh;
    }
  }
  if (sumPlan != 0.0) {
    p[0] -= kRhoDegrees * (sumN / sumPlan) / r.M;
    p[1] -= kRhoDegrees * (sumE / sumPlan) / (r.N * std::cos(latitude));
  }
  if (sumHeight != 0.0) p[2] -= sumH / sumHeight;
}

}  // namespace pelmar
