#pragma once

#include <array>
#include <vector>

namespace pelmar {

// The convex hull of the identical points in plan (metres), and how far a
// point lies outside it: where a transformed point lies beyond the points
// that determined the transformation, the transformation is extrapolated.
class PlanHull {
 public:
  using Point = std::array<double, 2>;

  explicit PlanHull(std::vector<Point> points);

  // 0 inside or on the hull (within 1e-9 of its size), else the distance to it.
  double DistanceOutside(const Point& p) const;

 private:
  std::vector<Point> hull_;  // counter-clockwise; one or two points when degenerate
  double tolerance_ = 0.0;
};

}  // namespace pelmar
