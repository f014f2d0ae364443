#pragma once

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>
#include <GeographicLib/LambertConformalConic.hpp>

#include <optional>
#include <tuple>

#include "ProjTransform.h"
#include "TransverseMercatorSeries.h"

namespace viv {

// The module's parameter set, in the order InitializeDLL takes it.
struct Parameters {
  double L0 = 0.0;  // central meridian (degrees)
  int L0Auto = 0;   // 1: the central meridian follows the point
  double B0 = 0.0;  // latitude of origin (degrees)
  double a = 0.0;   // semi-major axis (metres)
  double b = 0.0;   // semi-minor axis (metres)
  double BNord = 0.0;
  double BSued = 0.0;
  double FalseNorth = 0.0;
  double FalseEast = 0.0;
  int LambType = 0;
  int LambCase = 0;
  int GKCase = 0;
};

// A value built from a key, rebuilt only when the key changes.
template <class Key, class Value>
class Cached {
 public:
  template <class Make>
  const Value& get(const Key& key, Make&& make) {
    if (!key_ || !(*key_ == key)) {
      key_.reset();
      value_.reset();
      // Built in place, so that values that can be neither copied nor moved
      // (a PROJ object) can be cached too.
      value_.emplace(Maker<Make>{make});
      key_ = key;
    }
    return *value_;
  }

 private:
  template <class Make>
  struct Maker {
    Make& make;
    operator Value() const { return make(); }
  };
  std::optional<Key> key_;
  std::optional<Value> value_;
};

// A Lambert conformal conic projection with its false origin; northings
// count from the latitude of origin on the central meridian.
struct LambertProjection {
  GeographicLib::LambertConformalConic cone;
  double lon0;
  double falseEast;
  double falseNorth;
  double yOrigin;  // the cone's own y of the origin
  double yApex;    // the cone's own y of its apex (the pole on the apex side)
};

// Cassini–Soldner at (lat0, lon0) on GeographicLib's geodesics: x is the
// length of the geodesic from the point that meets the central meridian at
// right angles, y the meridian arc from the origin to where it meets it.
// Forward solves for that geodesic's vertex (it lies on the central
// meridian) by Newton's method on Karney's series, and takes the steps of
// GeographicLib's CassiniSoldner (the inverse problem between the point and
// its mirror image) where that solver does not apply; both agree with
// CassiniSoldner to the rounding of its own coordinates (nanometres).
class SoldnerProjection {
 public:
  SoldnerProjection(double lat0, double lon0, const GeographicLib::Geodesic& earth);
  // dlon: the point's longitude less the central meridian's, in [-180°, 180°].
  void Forward(double lat, double dlon, double& x, double& y) const;
  void Reverse(double x, double y, double& lat, double& lon) const;

 private:
  bool forwardByVertex(double lat, double dlon, double& x, double& y) const;
  void forwardByInverse(double lat, double dlon, double& x, double& y) const;

  GeographicLib::Geodesic earth_;
  GeographicLib::GeodesicLine meridian_;
  double sbet0_ = 0.0, cbet0_ = 0.0;  // the origin's reduced latitude
  // The vertex solver's series for this ellipsoid, in Karney's ε (from
  // k² = e'² cos² α0): A3 = Σ a3_[j] ε^j, C3l = Σ c3_[l][j] ε^j and their
  // derivatives' coefficients; the meridian's A1, C1l and the sum
  // Σ C1l sin 2lβ0 at the origin.
  bool byVertex_ = false;
  double f_ = 0.0, b_ = 0.0, ep2_ = 0.0;
  double a3_[6] = {}, da3_[6] = {};
  double c3_[6][6] = {}, dc3_[6][6] = {};
  double meridianA1_ = 0.0, meridianC1_[7] = {}, meridianB1Origin_ = 0.0;
};

// All conversions of the module. Every operation returns a VIV_* code and
// leaves its outputs unspecified unless it returns VIV_OK.
class ProjectionEngine {
 public:
  Parameters params;

  int gkForward(double B, double L, double& E, double& N);
  int gkInverse(double E, double N, double& B, double& L);
  int utmRawForward(double B, double L, double& E, double& N);
  int utmRawInverse(double E, double N, double& B, double& L);
  int utmZoneForward(double B, double L, double& E, double& N, int& zone, char& letter);
  int utmZoneInverse(double E, double N, int zone, char letter, double& B, double& L);
  int lambertForward(double B, double L, double& E, double& N);
  int lambertInverse(double E, double N, double& B, double& L);
  int mercatorForward(double B, double L, double& E, double& N);
  int mercatorInverse(double E, double N, double& B, double& L);
  int soldnerForward(double B, double L, double& E, double& N);
  int soldnerInverse(double E, double N, double& B, double& L);
  int eovForward(double B, double L, double& E, double& N);
  int eovInverse(double E, double N, double& B, double& L);
  int swissForward(double B, double L, double& E, double& N, int swissCase);
  int swissInverse(double E, double N, double& B, double& L, int swissCase);
  int geographicToCartesian(double B, double L, double h, double& X, double& Y, double& Z);
  int cartesianToGeographic(double X, double Y, double Z, double& B, double& L, double& h);

 private:
  using EllipsoidKey = std::tuple<double, double>;
  bool ellipsoidValid() const;
  double flattening() const { return (params.a - params.b) / params.a; }
  const TransverseMercatorSeries& transverseMercator(double k0);
  const LambertProjection* lambert();
  const SoldnerProjection& soldner();
  const ProjTransform& swiss(int swissCase);

  Cached<EllipsoidKey, TransverseMercatorSeries> gk_;
  Cached<EllipsoidKey, TransverseMercatorSeries> utm_;
  Cached<EllipsoidKey, GeographicLib::LambertConformalConic> mercator_;
  Cached<EllipsoidKey, GeographicLib::Geocentric> geocentric_;
  Cached<std::tuple<double, double, double, double>, SoldnerProjection> soldner_;
  Cached<std::tuple<double, double, int, int, double, double>, LambertProjection> lambert_;
  Cached<EllipsoidKey, ProjTransform> eov_;
  Cached<std::tuple<double, double, int>, ProjTransform> swiss_;
};

// Angles in degrees, minutes and seconds (conventions in VIVoraruraze.h).
double dmsToDegrees(int d, int m, double s);
void degreesToDms(double degrees, int& d, int& m, double& s);

}  // namespace viv
