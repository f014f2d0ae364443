#pragma once

namespace viv {

// Transverse Mercator by Krüger's series to sixth order in the third
// flattening n (Karney 2011, "Transverse Mercator with an accuracy of a few
// nanometers", J. Geodesy 85:475–485, eqs. 7–11, 35–36): 5 nm within 3 900 km
// of the central meridian. The same mathematics as GeographicLib's
// TransverseMercator, written for the batch conversions, which spend most of
// their time here: square roots instead of the library's overflow-guarded
// hypot, radians throughout.
//
// Longitudes more than 90° from the central meridian are for the caller to
// refuse; latitudes and longitudes in degrees, x and y in metres.
class TransverseMercatorSeries {
 public:
  TransverseMercatorSeries(double a, double f, double k0);

  void Forward(double lon0, double lat, double lon, double& x, double& y) const;
  void Reverse(double lon0, double x, double y, double& lat, double& lon) const;

 private:
  // tan of the conformal latitude from tan of the latitude, and back.
  double conformalTan(double tau) const;
  double geographicTan(double taup) const;

  double e2_;   // first eccentricity squared
  double e_;
  double e2m_;  // 1 − e²
  double scale_;  // k0 · A, A the rectifying radius
  double alpha_[7];  // forward series, index 1…6
  double beta_[7];   // reverse series
};

}  // namespace viv
