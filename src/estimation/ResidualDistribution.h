#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "estimation/WeightedMeanTree.h"
#include "settings/EllipsoidDatabase.h"

namespace pelmar {

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
//
// From kTreeStations stations on, the sums go through a WeightedMeanTree
// (built at the first `apply`), which is exact near the point and within
// WeightedMeanTree::kTolerance of the exact mean; where it cannot promise
// that, the point is summed exactly. `apply` may run on several threads at
// once; `add` may not run beside it.
inline constexpr std::size_t kTreeStations = 1024;

// Builds a tree once, on the first call, for the `apply` of either form.
class LazyTree {
 public:
  template <class Build>
  const WeightedMeanTree& get(Build build) const {
    std::call_once(*once_, [&] { tree_ = std::make_unique<WeightedMeanTree>(build()); });
    return *tree_;
  }
  void reset() {
    once_ = std::make_unique<std::once_flag>();
    tree_.reset();
  }

 private:
  mutable std::unique_ptr<std::once_flag> once_ = std::make_unique<std::once_flag>();
  mutable std::unique_ptr<WeightedMeanTree> tree_;
};

class ResidualDistribution {
 public:
  struct Station {
    double y, x, z;     // target coordinates
    double dy, dx, dz;  // residuals
  };

  ResidualDistribution(int weighting, double distanceConstant, bool spatial)
      : weighting_(weighting), d0_(distanceConstant), spatial_(spatial) {}

  void add(const Station& station) {
    stations_.push_back(station);
    tree_.reset();
  }

  // Corrects (y, x, z) in place; z is left alone by the plane form.
  void apply(double& y, double& x, double& z) const;
  // Corrects points[i] (y, x, z) for every i with which[i], on every core,
  // the same as `apply` on each; false when `cancelled` said so.
  bool applyAll(std::vector<std::array<double, 3>>& points, const std::vector<char>& which,
                const std::function<bool()>& cancelled) const;
  // The same by the exact sum, whatever the number of stations.
  void applyExactly(double& y, double& x, double& z) const;

 private:
  WeightedMeanTree buildTree() const;
  // Subtracts the tree's means (weight sum, dy, dx, dz) unless no weight fell.
  void correct(double& y, double& x, double& z, const double* mean) const;

  int weighting_;
  double d0_;
  bool spatial_;
  std::vector<Station> stations_;
  LazyTree tree_;
};

// The same for points in ellipsoidal coordinates on the target ellipsoid:
// distances in the plane of a normal Mercator projection whose central
// meridian is the corrected point's longitude, divided by the projection's
// scale at the point's latitude (so that they are about ground distances,
// not sec B times larger); position residuals (north,
// east) averaged over the identical points with a position, height
// residuals over those with a height, each with its own weight sum.
// The projection's northing a·ψ (ψ the isometric latitude) is kept per
// station; its easting is a·ΔL with ΔL reduced to ±180°.
class EllipsoidalResidualDistribution {
 public:
  struct Station {
    double B, L;        // where the identical point stands (degrees)
    double dN, dE, dh;  // its residuals (metres), computed minus given; NaN where it has none
  };

  EllipsoidalResidualDistribution(const EllipsoidRecord& target, int weighting, double distanceConstant)
      : target_(target), weighting_(weighting), d0_(distanceConstant) {}

  // A station where the projection has no place (a pole, a value that is
  // not a number) is left out, as the projection leaves it.
  void add(const Station& station);

  // Corrects the point (B, L degrees, h metres) in place.
  void apply(std::array<double, 3>& point) const;
  bool applyAll(std::vector<std::array<double, 3>>& points, const std::vector<char>& which,
                const std::function<bool()>& cancelled) const;
  void applyExactly(std::array<double, 3>& point) const;

 private:
  struct Placed {
    Station station;
    double northing;  // a·ψ, metres
  };
  // The projection's northing of a latitude (degrees); NaN where it has none.
  double Northing(double latitude) const;
  WeightedMeanTree buildTree() const;
  // Where the tree's eastings hold (B, L): the easting from the middle
  // longitude and the northing, false where the point must be summed exactly.
  bool treePosition(const std::array<double, 3>& p, std::array<double, 2>& at) const;
  // The correction of p by the tree's means (plan group 0–2, height 3–4).
  void correct(std::array<double, 3>& p, const double* mean) const;

  EllipsoidRecord target_;
  int weighting_;
  double d0_;
  std::vector<Placed> stations_;
  // Set with the tree: the stations' longitudes lie within middle ± halfSpan.
  mutable double middleLongitude_ = 0.0;
  mutable double halfSpan_ = 180.0;
  LazyTree tree_;
};

}  // namespace pelmar
