#include "estimation/PlanHull.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pelmar {

namespace {

double cross(const PlanHull::Point& o, const PlanHull::Point& a, const PlanHull::Point& b) {
  return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// The foot of `p` on the segment a-b, as offsets from p.
std::array<double, 2> toSegment(const PlanHull::Point& p, const PlanHull::Point& a, const PlanHull::Point& b) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0.0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return {p[0] - (a[0] + t * dx), p[1] - (a[1] + t * dy)};
}

}  // namespace

// Andrew's monotone chain.
PlanHull::PlanHull(std::vector<Point> points) {
  points.erase(std::remove_if(points.begin(), points.end(),
                              [](const Point& p) { return !std::isfinite(p[0]) || !std::isfinite(p[1]); }),
               points.end());
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  if (points.empty()) return;
  double size = 0.0;
  for (const Point& p : points) size = std::max({size, std::fabs(p[0] - points[0][0]), std::fabs(p[1] - points[0][1])});
  tolerance_ = 1e-9 * std::max(size, std::max(std::fabs(points[0][0]), std::fabs(points[0][1])));
  if (points.size() < 3) {
    hull_ = points;
    return;
  }
  std::vector<Point> hull(2 * points.size());
  std::size_t k = 0;
  for (const Point& p : points) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0.0) --k;
    hull[k++] = p;
  }
  for (std::size_t i = points.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && cross(hull[k - 2], hull[k - 1], points[i]) <= 0.0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  hull_ = std::move(hull);
}

double PlanHull::DistanceOutside(const Point& p) const {
  if (hull_.empty()) return std::numeric_limits<double>::quiet_NaN();
  if (hull_.size() == 1) {
    const double d = std::hypot(p[0] - hull_[0][0], p[1] - hull_[0][1]);
    return d > tolerance_ ? d : 0.0;
  }
  // Inside: on the left of every edge. Most points are; they need no distance.
  bool inside = hull_.size() >= 3;
  for (std::size_t i = 0; i < hull_.size() && inside; ++i) {
    if (cross(hull_[i], hull_[(i + 1) % hull_.size()], p) < 0.0) inside = false;
  }
  if (inside) return 0.0;
  // The nearest edge by squared distance; std::hypot (slow, and what the
  // distance has always been taken with) only for the edges within rounding
  // of it, so that the distance keeps its last bit.
  std::vector<double> squared(hull_.size());
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < hull_.size(); ++i) {
    const auto d = toSegment(p, hull_[i], hull_[(i + 1) % hull_.size()]);
    squared[i] = d[0] * d[0] + d[1] * d[1];
    least = std::min(least, squared[i]);
  }
  double nearest = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < hull_.size(); ++i) {
    if (!(squared[i] <= least * (1.0 + 1e-9)) && std::isfinite(least)) continue;
    const auto d = toSegment(p, hull_[i], hull_[(i + 1) % hull_.size()]);
    nearest = std::min(nearest, std::hypot(d[0], d[1]));
  }
  if (nearest <= tolerance_) return 0.0;
  return nearest;
}

}  // namespace pelmar
