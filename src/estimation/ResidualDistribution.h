#pragma once

#include <vector>

namespace pelmar {

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

}  // namespace pelmar
