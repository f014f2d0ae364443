#include "estimation/ResidualDistribution.h"

#include <cmath>

#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalModel.h"

namespace pelmar {

namespace {
constexpr double kCoincident = 1e-4;
constexpr double kFloor = 1e-10;
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

void EllipsoidalResidualDistribution::apply(std::array<double, 3>& p) const {
  library_.SetEllipDim(target_.a, target_.b);
  library_.SetL0(p[1]);
  double e0 = 0.0, n0 = 0.0;
  if (library_.BL_to_EN_Mercator(p[0], p[1], e0, n0) != VIV_OK) return;
  // Mercator distances grow with the point scale k = √(1 − e²·sin²B)/cos B;
  // divided by it they are ground distances (near the point), which the
  // exponential weighting's distance constant is meant in.
  const double latitude = p[0] / kRhoDegrees;
  const EllipsoidRadii r = RadiiAt(target_.a, target_.b, latitude);
  const double toGround = std::cos(latitude) / r.W;
  double sumPlan = 0.0, sumN = 0.0, sumE = 0.0, sumHeight = 0.0, sumH = 0.0;
  for (const Station& s : stations_) {
    double e = 0.0, n = 0.0;
    if (library_.BL_to_EN_Mercator(s.B, s.L, e, n) != VIV_OK) continue;
    const double w = DistributionWeight(weighting_, std::hypot(e - e0, n - n0) * toGround, d0_);
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
