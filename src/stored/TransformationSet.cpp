#include "stored/TransformationSet.h"

#include <cmath>

namespace pelmar {

namespace {
const double kRadiansPerDegree = 4.0 * std::atan2(1.0, 1.0) / 180.0;
}

std::array<double, 3> MapType0(const TransformationSet& set, double q1, double q2, double q3) {
  const auto& a = set.auxiliary;
  const double d1 = q1 - a[1], d2 = q2 - a[0], d3 = q3 - a[2];
  const double e1 = set.rotation[0] * kRadiansPerDegree;
  const double e2 = set.rotation[1] * kRadiansPerDegree;
  const double e3 = set.rotation[2] * kRadiansPerDegree;
  const double c1 = std::cos(e1), s1 = std::sin(e1), c2 = std::cos(e2), s2 = std::sin(e2);
  const double c3 = std::cos(e3), s3 = std::sin(e3);
  const double k = set.scale;
  return {k * (d2 * c3 * c2 + d1 * (s1 * s2 * c3 + s3 * c1) + d3 * (s3 * s1 - c3 * s2 * c1)) + set.translation[0] +
              a[3],
          k * (d1 * (c3 * c1 - s1 * s2 * s3) - d2 * s3 * c2 + d3 * (s3 * s2 * c1 + s1 * c3)) + set.translation[1] +
              a[4],
          k * (d2 * s2 - d1 * s1 * c2 + d3 * c1 * c2) + set.translation[2] + a[5]};
}

std::array<double, 3> MapType1(const TransformationSet& set, double q1, double q2, double q3) {
  const auto& a = set.auxiliary;
  const double d1 = q1 - a[1], d2 = q2 - a[0], d3 = q3 - a[2];
  const double e1 = set.rotation[0] * kRadiansPerDegree;
  const double e2 = set.rotation[1] * kRadiansPerDegree;
  const double e3 = set.rotation[2] * kRadiansPerDegree;
  const double m = set.scale - 1.0;
  return {(1.0 + m) * d2 + e3 * d1 - e2 * d3 + set.translation[0] + a[3],
          (1.0 + m) * d1 - e3 * d2 + e1 * d3 + set.translation[1] + a[4],
          (1.0 + m) * d3 - e1 * d1 + e2 * d2 + set.translation[2] + a[5]};
}

}  // namespace pelmar
