#pragma once

#include <array>
#include <vector>

#include "settings/EllipsoidDatabase.h"

namespace pelmar {

class ProjectionLibrary;

// The weight of an identical point at distance s (metres) from the point
// being corrected: 0: 1/s; 1: 1/s²; 2: 0.5·(e − 1)/(exp(s/d0) − 1). A
// distance below 1e-4 m counts as 1e-10 m, so that a point on an identical
// point takes that point's residual; a weight that is not finite is 0.
double DistributionWeight(int weighting, double distance, double distanceConstant);

// Distributes the identical points' residuals onto a transformed point: the
// distance-weighted mean of the residuals, subtracted from the point.
// Weighting 0: w = 1/s; 1: w = 1/s²; 2: w = 0.5·(e − 1)/(exp(s/d0) − 1).
// Distances below 1e-4 m count as 1e-10 m, so a point that coincides with an
// identical point takes that point's residual.
//
// The targets are the identical points' target coordinates in the same,
// uncentred frame as the transformed point (metres); residuals computed
// minus given. The plane form uses Y and X, the spatial form all three.
class ResidualDistribution {
 public:
  struct Station {
    double y, x, z;     // target coordinates
    double dy, dx, dz;  // residuals
  };

  ResidualDistribution(int weighting, double distanceConstant, bool spatial)
      : weighting_(weighting), d0_(distanceConstant), spatial_(spatial) {}

  void add(const Station& station) { stations_.push_back(station); }

  // Corrects (y, x, z) in place; z is left alone by the plane form.
  void apply(double& y, double& x, double& z) const;

 private:
  int weighting_;
  double d0_;
  bool spatial_;
  std::vector<Station> stations_;
};

// The same for points in ellipsoidal coordinates on the target ellipsoid:
// distances in the plane of a normal Mercator projection whose central
// meridian is the corrected point's longitude, divided by the projection's
// scale at the point's latitude (so that they are about ground distances,
// not sec B times larger); position residuals (north,
// east) averaged over the identical points with a position, height
// residuals over those with a height, each with its own weight sum.
class EllipsoidalResidualDistribution {
 public:
  struct Station {
    double B, L;        // where the identical point stands (degrees)
    double dN, dE, dh;  // its residuals (metres), computed minus given; NaN where it has none
  };

  EllipsoidalResidualDistribution(ProjectionLibrary& library, const EllipsoidRecord& target, int weighting,
                                  double distanceConstant)
      : library_(library), target_(target), weighting_(weighting), d0_(distanceConstant) {}

  void add(const Station& station) { stations_.push_back(station); }

  // Corrects the point (B, L degrees, h metres) in place.
  void apply(std::array<double, 3>& point) const;

 private:
  ProjectionLibrary& library_;
  EllipsoidRecord target_;
  int weighting_;
  double d0_;
  std::vector<Station> stations_;
};

}  // namespace pelmar
