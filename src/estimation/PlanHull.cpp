#include "estimation/PlanHull.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pelmar {

namespace {

double cross(const PlanHull::Point& o, const PlanHull::Point& a, const PlanHull::Point& b) {
  return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

double segmentDistance(const PlanHull::Point& p, const PlanHull::Point& a, const PlanHull::Point& b) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0.0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p[0] - (a[0] + t * dx), p[1] - (a[1] + t * dy));
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
  bool inside = hull_.size() >= 3;
  double nearest = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < hull_.size(); ++i) {
    const Point& a = hull_[i];
    const Point& b = hull_[(i + 1) % hull_.size()];
    if (cross(a, b, p) < 0.0) inside = false;
    nearest = std::min(nearest, segmentDistance(p, a, b));
  }
  if (inside || nearest <= tolerance_) return 0.0;
  return nearest;
}

}  // namespace pelmar
