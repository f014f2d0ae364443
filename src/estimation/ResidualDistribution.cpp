#include "estimation/ResidualDistribution.h"

#include <cmath>

namespace pelmar {

namespace {
constexpr double kCoincident = 1e-4;
constexpr double kFloor = 1e-10;
}  // namespace

void ResidualDistribution::apply(double& y, double& x, double& z) const {
  const double e = std::exp(1.0);
  double sumW = 0.0, sumY = 0.0, sumX = 0.0, sumZ = 0.0;
  for (const Station& station : stations_) {
    const double ddy = station.y - y;
    const double ddx = station.x - x;
    const double ddz = spatial_ ? station.z - z : 0.0;
    double s = std::sqrt(ddy * ddy + ddx * ddx + ddz * ddz);
    if (std::fabs(s) < kCoincident) s = kFloor;
    double w = 0.0;
    switch (weighting_) {
      case 0: w = 1.0 / s; break;
      case 1: w = 1.0 / (s * s); break;
      case 2: w = 0.5 * (e - 1.0) / (std::exp(s / d0_) - 1.0); break;
      default: w = 0.0; break;
    }
    if (!std::isfinite(w)) w = 0.0;
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

}  // namespace pelmar
