#include "conversion/ProjectionLibrary.h"

#include <GeographicLib/CassiniSoldner.hpp>
#include <gtest/gtest.h>

#include <limits>

#include <cmath>
#include <functional>
#include <span>
#include <vector>

#include "reference/ReferenceRow.h"
#include "support/TestSupport.h"

namespace {
#include "reference/LibraryReferences.inc"
}

namespace pelmar {
namespace {

constexpr double kMetres = 1e-4;    // 0.1 mm
constexpr double kDegrees = 1e-9;
constexpr double kBessel[2] = {6377397.155, 6356078.962818};
constexpr double kGrs80[2] = {6378137.0, 6356752.314140};
constexpr double kWgs84[2] = {6378137.0, 6356752.314245};
constexpr double kGrs67[2] = {6378160.0, 6356774.516091};

double dms(int d, int m, double s) { return d + m / 60.0 + s / 3600.0; }

class ProjectionLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.Open(test::binDir())) << library.problem(); }
  ProjectionLibrary library;
};

using Convert = std::function<int(ProjectionLibrary&, double, double, double&, double&)>;

struct TwoWayCase {
  const char* name;
  std::span<const ReferenceRow> rows;
  std::function<void(ProjectionLibrary&)> setup;
  Convert forward;
  Convert inverse;
};

Convert member(int (ProjectionLibrary::*function)(double, double, double&, double&)) {
  return [function](ProjectionLibrary& lib, double a, double b, double& c, double& d) {
    return (lib.*function)(a, b, c, d);
  };
}

std::function<void(ProjectionLibrary&)> gk(const double (&ellipsoid)[2], int gkCase, int automatic, double l0 = 0) {
  return [=](ProjectionLibrary& lib) {
    lib.SetEllipDim(ellipsoid[0], ellipsoid[1]);
    lib.SetGKCase(gkCase);
    lib.SetL0Auto(automatic);
    lib.SetL0(l0);
  };
}

std::function<void(ProjectionLibrary&)> lambert(const double (&ellipsoid)[2], int lambCase, int type = 0,
                                                double north = 0, double south = 0, double l0 = 0, double fe = 0,
                                                double fn = 0) {
  return [=](ProjectionLibrary& lib) {
    lib.SetEllipDim(ellipsoid[0], ellipsoid[1]);
    lib.SetLambCase(lambCase);
    lib.SetLambType(type);
    lib.SetBNord(north);
    lib.SetBSued(south);
    lib.SetL0(l0);
    lib.SetFalseEast(fe);
    lib.SetFalseNorth(fn);
  };
}

std::function<void(ProjectionLibrary&)> soldner(double b0, double l0, double fe, double fn) {
  return [=](ProjectionLibrary& lib) {
    lib.SetEllipDim(kBessel[0], kBessel[1]);
    lib.SetB0(b0);
    lib.SetL0(l0);
    lib.SetFalseEast(fe);
    lib.SetFalseNorth(fn);
  };
}

Convert swiss(bool forward, int swissCase) {
  return [=](ProjectionLibrary& lib, double a, double b, double& c, double& d) {
    return forward ? lib.BL_to_EN_Switzerland_Conformal_DoubleProjection(a, b, c, d, swissCase)
                   : lib.EN_to_BL_Switzerland_Conformal_DoubleProjection(a, b, c, d, swissCase);
  };
}

// Every projection export, forward against the reference and back to the
// input; the commands that made the references are in LibraryReferences.inc.
TEST_F(ProjectionLibraryTest, projections_match_the_references_both_ways) {
  using P = ProjectionLibrary;
  const TwoWayCase cases[] = {
      {"GK zone 2, automatic", kGkZone2, gk(kBessel, 0, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"GK zone 3, automatic", kGkZone3, gk(kBessel, 0, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"GK zone 4, automatic", kGkZone4, gk(kBessel, 0, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"GK zone 5, automatic", kGkZone5, gk(kBessel, 0, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"GK meridian 9", kGkFixed9, gk(kBessel, 0, 0, 9.0), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"Austria M28, automatic", kAustriaM28, gk(kBessel, 4, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"Austria M31, automatic", kAustriaM31, gk(kBessel, 4, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"Austria M34, automatic", kAustriaM34, gk(kBessel, 4, 1), member(&P::BL_to_EN_GK), member(&P::EN_to_BL_GK)},
      {"Austria M31 set", kAustriaM31, gk(kBessel, 4, 0, 13.0 + 1.0 / 3.0), member(&P::BL_to_EN_GK),
       member(&P::EN_to_BL_GK)},
      {"UTM raw, meridian 15", kUtmFixed15, gk(kWgs84, 0, 0, 15.0), member(&P::BL_to_EN_UTM_Raw),
       member(&P::EN_to_BL_UTM_Raw)},
      {"Lambert, one parallel", kLambertOne, lambert(kGrs80, 0, 0, 0.0, 46.8, 2.337229166666667, 600000, 200000),
       member(&P::BL_to_EN_Lambert), member(&P::EN_to_BL_Lambert)},
      {"Lambert, two parallels", kLambertTwo, lambert(kBessel, 0, 1, 52.5, 47.5, 10.0, 400000, 100000),
       member(&P::BL_to_EN_Lambert), member(&P::EN_to_BL_Lambert)},
      {"Lambert Estonia", kLambertEstonia, lambert(kGrs80, 1), member(&P::BL_to_EN_Lambert),
       member(&P::EN_to_BL_Lambert)},
      {"Lambert Belgium", kLambertBelgium, lambert(kGrs80, 2), member(&P::BL_to_EN_Lambert),
       member(&P::EN_to_BL_Lambert)},
      {"Lambert France", kLambertFrance, lambert(kGrs80, 3), member(&P::BL_to_EN_Lambert),
       member(&P::EN_to_BL_Lambert)},
      {"Mercator", kMercator10, gk(kWgs84, 0, 0, 10.0), member(&P::BL_to_EN_Mercator),
       member(&P::EN_to_BL_Mercator)},
      {"Soldner Berlin", kSoldnerBerlin, soldner(dms(52, 25, 7.1338), dms(13, 37, 37.9332), 40000, 10000),
       member(&P::BL_to_EN_Soldner), member(&P::EN_to_BL_Soldner)},
      {"Soldner Baden", kSoldnerBaden, soldner(dms(49, 29, 11.0), dms(26, 7, 35.8), 0, 0),
       member(&P::BL_to_EN_SoldnerBaden), member(&P::EN_to_BL_SoldnerBaden)},
      {"EOV", kEov, gk(kGrs67, 0, 0), member(&P::BL_to_EN_EOV), member(&P::EN_to_BL_EOV)},
      {"Swiss LV03", kSwissLv03, gk(kBessel, 0, 0), swiss(true, 0), swiss(false, 0)},
      {"Swiss LV95", kSwissLv95, gk(kBessel, 0, 0), swiss(true, 1), swiss(false, 1)},
  };
  for (const TwoWayCase& c : cases) {
    SCOPED_TRACE(c.name);
    c.setup(library);
    for (const ReferenceRow& row : c.rows) {
      const double B = row.v[0], L = row.v[1], E = row.v[2], N = row.v[3];
      double e = 0, n = 0, b = 0, l = 0;
      ASSERT_EQ(c.forward(library, B, L, e, n), VIV_OK) << B << " " << L;
      EXPECT_NEAR(e, E, kMetres) << B << " " << L;
      EXPECT_NEAR(n, N, kMetres) << B << " " << L;
      ASSERT_EQ(c.inverse(library, E, N, b, l), VIV_OK) << E << " " << N;
      EXPECT_NEAR(b, B, kDegrees) << E << " " << N;
      EXPECT_NEAR(l, L, kDegrees) << E << " " << N;
    }
  }
}

// The Soldner forward conversion against GeographicLib's CassiniSoldner (the
// inverse problem between the point and its mirror image in the central
// meridian) over the whole allowed domain: latitudes to ±90°, offsets to the
// 90° allowed on both sides, the origin itself, a sphere to f = 1/150. The
// tolerance is CassiniSoldner's own rounding error: against the same series
// evaluated in long double it is off by up to 3.7 nm below 1,000 km and
// 9.5 nm beyond 10,000 km.
TEST_F(ProjectionLibraryTest, soldner_forward_agrees_with_geographiclib) {
  const struct {
    const char* name;
    double a, b;
  } ellipsoids[] = {{"GRS80", kGrs80[0], kGrs80[1]},
                    {"Bessel", kBessel[0], kBessel[1]},
                    {"sphere", 6371000.0, 6371000.0},
                    {"f = 1/150", 6378137.0, 6378137.0 * (1.0 - 1.0 / 150.0)}};
  const double origins[][2] = {{52.0, 13.0}, {-33.5, 151.25}, {0.0, 0.0}, {89.0, -120.0}};
  const double offsets[] = {0.0, 1e-12, 1e-6, 0.01, 0.5, 3.0, 10.0, 30.0, 60.0, 79.999, 80.0, 80.001, 85.0, 89.5, 90.0};
  const auto tolerance = [](double value) { return 5e-9 + 5e-16 * std::fabs(value); };
  library.SetFalseEast(0.0);
  library.SetFalseNorth(0.0);
  for (const auto& ellipsoid : ellipsoids) {
    ASSERT_EQ(library.SetEllipDim(ellipsoid.a, ellipsoid.b), VIV_OK);
    for (const auto& [lat0, lon0] : origins) {
      SCOPED_TRACE(testing::Message() << ellipsoid.name << ", origin " << lat0 << " " << lon0);
      library.SetB0(lat0);
      library.SetL0(lon0);
      const GeographicLib::CassiniSoldner reference(
          lat0, lon0, GeographicLib::Geodesic(ellipsoid.a, (ellipsoid.a - ellipsoid.b) / ellipsoid.a));
      std::vector<double> latitudes = {lat0, -90.0, 90.0};
      for (int tenths = -899; tenths <= 899; tenths += 7) latitudes.push_back(tenths / 10.0);
      for (double B : latitudes) {
        for (double offset : offsets) {
          for (double L : {lon0 + offset, lon0 - offset}) {
            double E = 0, N = 0, x = 0, y = 0;
            ASSERT_EQ(library.BL_to_EN_Soldner(B, L, E, N), VIV_OK) << B << " " << L;
            reference.Forward(B, L, x, y);
            ASSERT_NEAR(E, x, tolerance(x)) << B << " " << L;
            ASSERT_NEAR(N, y, tolerance(y)) << B << " " << L;
          }
        }
      }
    }
  }
}

// UTM rows: B L E N zone band northing-without-false-northing.
TEST_F(ProjectionLibraryTest, utm_zones_bands_and_raw_northings_match_the_references) {
  library.SetEllipDim(kWgs84[0], kWgs84[1]);
  for (const ReferenceRow& row : kUtmZones) {
    const double B = row.v[0], L = row.v[1], E = row.v[2], N = row.v[3], rawN = row.v[6];
    const int zone = static_cast<int>(row.v[4]);
    const char band = static_cast<char>(row.v[5]);
    SCOPED_TRACE(testing::Message() << B << " " << L);
    double e = 0, n = 0, b = 0, l = 0;
    int z = 0;
    char letter = 0;
    ASSERT_EQ(library.BL_to_EN_UTM_With_Zone(B, L, e, n, z, letter), VIV_OK);
    EXPECT_EQ(z, zone);
    EXPECT_EQ(letter, band);
    EXPECT_NEAR(e, E, kMetres);
    EXPECT_NEAR(n, N, kMetres);
    ASSERT_EQ(library.EN_to_BL_UTM_With_Zone(E, N, zone, band, b, l), VIV_OK);
    EXPECT_NEAR(b, B, kDegrees);
    EXPECT_NEAR(l, L, kDegrees);

    // Raw: the automatic meridian is the zone's; the inverse uses the cached one.
    library.SetL0Auto(1);
    ASSERT_EQ(library.BL_to_EN_UTM_Raw(B, L, e, n), VIV_OK);
    EXPECT_NEAR(e, E, kMetres);
    EXPECT_NEAR(n, rawN, kMetres);
    library.SetL0(6.0 * zone - 183.0);
    ASSERT_EQ(library.EN_to_BL_UTM_Raw(E, rawN, b, l), VIV_OK);
    EXPECT_NEAR(b, B, kDegrees);
    EXPECT_NEAR(l, L, kDegrees);
  }
  // Only the band letter's hemisphere matters to the inverse; lower case is taken.
  double b = 0, l = 0;
  EXPECT_EQ(library.EN_to_BL_UTM_With_Zone(500000, 5316300.2245, 32, 'n', b, l), VIV_OK);
  EXPECT_NEAR(b, 48.0, 1e-8);
}

// Rows: B L h X Y Z from cct +proj=cart.
TEST_F(ProjectionLibraryTest, cartesian_conversions_match_the_reference_and_invert_exactly) {
  library.SetEllipDim(kGrs80[0], kGrs80[1]);
  using P = ProjectionLibrary;
  using Three = int (P::*)(double, double, double, double&, double&, double&);
  const std::pair<Three, Three> pairs[] = {{&P::BLH_to_XYZ, &P::XYZ_to_BLH},
                                           {&P::EllipsoidalCoordinates_to_XYZ, &P::XYZ_to_EllipsoidalCoordinates}};
  for (const auto& [forward, inverse] : pairs) {
    for (const ReferenceRow& row : kCartesian) {
      const double B = row.v[0], L = row.v[1], h = row.v[2];
      SCOPED_TRACE(testing::Message() << B << " " << L << " " << h);
      double x = 0, y = 0, z = 0, b = 0, l = 0, height = 0;
      ASSERT_EQ((library.*forward)(B, L, h, x, y, z), VIV_OK);
      EXPECT_NEAR(x, row.v[3], kMetres);
      EXPECT_NEAR(y, row.v[4], kMetres);
      EXPECT_NEAR(z, row.v[5], kMetres);
      ASSERT_EQ((library.*inverse)(row.v[3], row.v[4], row.v[5], b, l, height), VIV_OK);
      EXPECT_NEAR(b, B, kDegrees);
      if (std::fabs(B) < 90.0) {
        EXPECT_NEAR(l, L, kDegrees);  // at a pole every longitude is right
      }
      EXPECT_NEAR(height, h, kMetres);
    }
  }
}

TEST_F(ProjectionLibraryTest, dms_conversions_follow_the_sign_conventions) {
  const struct {
    int d, m;
    double s, degrees;
  } cases[] = {{48, 7, 30.0, 48.125},     {0, -30, 0.0, -0.5},          {-10, 30, 0.0, -10.5},
               {0, 0, -36.0, -0.01},      {0, 0, 0.0, 0.0},             {179, 59, 59.999999, 179.99999999972222},
               {-0, 59, 24.0, 0.99},      {-1, 0, 0.5, -(1 + 0.5 / 3600.0)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.degrees);
    double degrees = 0;
    ASSERT_EQ(library.GMSDEZ(c.d, c.m, c.s, degrees), VIV_OK);
    EXPECT_NEAR(degrees, c.degrees, 1e-12);
    int d = 99, m = 99;
    double s = 99;
    ASSERT_EQ(library.DEZGMS(c.degrees, d, m, s), VIV_OK);
    EXPECT_EQ(d, c.d);
    EXPECT_EQ(m, c.m);
    EXPECT_NEAR(s, c.s, 1e-8);
  }
  // INT_MIN degrees: its magnitude is no int (std::abs of it was undefined).
  double extreme = 0;
  ASSERT_EQ(library.GMSDEZ(std::numeric_limits<int>::min(), 0, 0.0, extreme), VIV_OK);
  EXPECT_EQ(extreme, -2147483648.0);
  // Negative angles and angles under one degree survive the round trip.
  for (double degrees : {-0.0002777, -0.75, -12.3456789, 0.123456789, -179.9999999, 359.5}) {
    int d = 0, m = 0;
    double s = 0, back = 0;
    library.DEZGMS(degrees, d, m, s);
    library.GMSDEZ(d, m, s, back);
    EXPECT_NEAR(back, degrees, 1e-12) << degrees;
    EXPECT_GE(s, -60.0);
    EXPECT_LT(std::fabs(s), 60.0);
  }
  // A second that would print as 60 carries into the minutes.
  int d = 0, m = 0;
  double s = 0;
  library.DEZGMS(10.0 + 59.0 / 60.0 + (60.0 - 1e-11) / 3600.0, d, m, s);
  EXPECT_EQ(d, 11);
  EXPECT_EQ(m, 0);
  EXPECT_NEAR(s, 0.0, 1e-9);
}

// Points outside a projection's domain give an error code and NaN, never a
// number, a crash or a hang.
TEST_F(ProjectionLibraryTest, points_outside_the_domain_give_an_error_and_nan) {
  using P = ProjectionLibrary;
  const double nan = std::nan("");
  const struct {
    const char* what;
    std::function<void(ProjectionLibrary&)> setup;
    Convert convert;
    double in1, in2;
    int status;
  } cases[] = {
      {"GK latitude beyond 90", gk(kBessel, 0, 1), member(&P::BL_to_EN_GK), 95.0, 9.0, VIV_OUTSIDE_DOMAIN},
      {"GK far from its meridian", gk(kBessel, 0, 0, 9.0), member(&P::BL_to_EN_GK), 10.0, 100.0, VIV_OUTSIDE_DOMAIN},
      {"GK 40 degrees from its meridian", gk(kBessel, 0, 0, 9.0), member(&P::BL_to_EN_GK), 0.0, 49.0,
       VIV_OUTSIDE_DOMAIN},
      {"GK easting far out", gk(kBessel, 0, 0, 9.0), member(&P::EN_to_BL_GK), 9.0e6, 5.0e6, VIV_OUTSIDE_DOMAIN},
      {"GK unknown case", gk(kBessel, 2, 1), member(&P::BL_to_EN_GK), 48.0, 9.0, VIV_BAD_PARAMETERS},
      {"GK NaN input", gk(kBessel, 0, 1), member(&P::BL_to_EN_GK), nan, 9.0, VIV_OUTSIDE_DOMAIN},
      {"GK no ellipsoid", gk({0.0, 0.0}, 0, 1), member(&P::BL_to_EN_GK), 48.0, 9.0, VIV_BAD_PARAMETERS},
      {"GK b above a", gk({6356752.0, 6378137.0}, 0, 1), member(&P::BL_to_EN_GK), 48.0, 9.0, VIV_BAD_PARAMETERS},
      {"UTM north of 84", gk(kWgs84, 0, 1), member(&P::BL_to_EN_UTM_Raw), 84.5, 9.0, VIV_OUTSIDE_DOMAIN},
      {"UTM south of -80", gk(kWgs84, 0, 1), member(&P::BL_to_EN_UTM_Raw), -80.5, 9.0, VIV_OUTSIDE_DOMAIN},
      {"UTM inverse beyond 84", gk(kWgs84, 0, 0, 9.0), member(&P::EN_to_BL_UTM_Raw), 500000.0, 9.6e6,
       VIV_OUTSIDE_DOMAIN},
      {"Mercator at the pole", gk(kWgs84, 0, 0), member(&P::BL_to_EN_Mercator), 90.0, 0.0, VIV_OUTSIDE_DOMAIN},
      {"Lambert at the far pole", lambert(kGrs80, 3), member(&P::BL_to_EN_Lambert), -90.0, 3.0,
       VIV_OUTSIDE_DOMAIN},
      {"Lambert unknown case", lambert(kGrs80, 7), member(&P::BL_to_EN_Lambert), 46.0, 3.0, VIV_BAD_PARAMETERS},
      {"Swiss unknown case", gk(kBessel, 0, 0), swiss(true, 2), 46.9, 7.4, VIV_BAD_PARAMETERS},
      {"EOV infinite input", gk(kGrs67, 0, 0), member(&P::EN_to_BL_EOV), INFINITY, 2.0e5, VIV_OUTSIDE_DOMAIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.setup(library);
    double out1 = 1.0, out2 = 1.0;
    EXPECT_EQ(c.convert(library, c.in1, c.in2, out1, out2), c.status);
    EXPECT_TRUE(std::isnan(out1) && std::isnan(out2));
  }

  library.SetEllipDim(kWgs84[0], kWgs84[1]);
  double e = 1, n = 1, b = 1, l = 1, h = 1;
  int zone = 7;
  char letter = 'U';
  EXPECT_EQ(library.BL_to_EN_UTM_With_Zone(84.5, 9.0, e, n, zone, letter), VIV_OUTSIDE_DOMAIN);
  EXPECT_TRUE(std::isnan(e) && std::isnan(n) && zone == 0 && letter == '\0');
  for (const auto& [z, band] : {std::pair{0, 'U'}, {61, 'U'}, {32, 'I'}, {32, 'O'}, {32, 'Y'}, {32, '\0'}}) {
    EXPECT_EQ(library.EN_to_BL_UTM_With_Zone(500000, 5e6, z, band, b, l), VIV_BAD_PARAMETERS) << z << band;
    EXPECT_TRUE(std::isnan(b) && std::isnan(l));
  }
  EXPECT_EQ(library.XYZ_to_BLH(0.0, 0.0, 0.0, b, l, h), VIV_OUTSIDE_DOMAIN);
  EXPECT_TRUE(std::isnan(b) && std::isnan(l) && std::isnan(h));
}

// Each owner's parameters reach the module before each of its calls.
TEST_F(ProjectionLibraryTest, owners_sharing_the_module_keep_their_own_parameters) {
  ProjectionLibrary other;
  ASSERT_TRUE(other.Open(test::binDir()));
  gk(kBessel, 0, 0, 9.0)(library);
  gk(kWgs84, 0, 0, 15.0)(other);
  double e1 = 0, n1 = 0, e2 = 0, n2 = 0, e3 = 0, n3 = 0;
  library.BL_to_EN_GK(50.0, 10.0, e1, n1);
  other.BL_to_EN_GK(50.0, 10.0, e2, n2);
  library.BL_to_EN_GK(50.0, 10.0, e3, n3);
  EXPECT_EQ(e1, e3);
  EXPECT_EQ(n1, n3);
  EXPECT_LT(e2, 5.2e6);
  EXPECT_GT(e2, 5.0e6);
  EXPECT_EQ(library.parameters().L0, 9.0);
  EXPECT_EQ(other.parameters().a, kWgs84[0]);
}

TEST(ProjectionLibrary, missing_module_is_not_usable_and_gives_nan) {
  test::TempDir empty;
  ProjectionLibrary library;
  EXPECT_FALSE(library.Open(empty.path()));
  EXPECT_FALSE(library.usable());
  EXPECT_NE(library.problem().find("VIVoraruraze.so"), std::string::npos) << library.problem();
  double e = 1, n = 1;
  EXPECT_EQ(library.SetL0(9.0), VIV_NOT_USABLE);
  EXPECT_EQ(library.BL_to_EN_GK(48.0, 9.0, e, n), VIV_NOT_USABLE);
  EXPECT_TRUE(std::isnan(e) && std::isnan(n));
}

// Faults found with PROJ's own test cases (builtins.gie): the pole on the
// apex side of a flat cone (standard parallels 0.5° and 2°) is the apex
// itself, not 59,774 km away; standard parallels on a pole or beyond it and
// axes no ellipsoid has are bad parameters at once, not an internal failure.
TEST_F(ProjectionLibraryTest, lambert_poles_and_impossible_parameters) {
  ASSERT_EQ(library.SetEllipDim(6378137.0, 6356752.314140), VIV_OK);
  library.SetLambCase(0);
  library.SetLambType(1);
  library.SetL0(0.0);
  library.SetFalseEast(0.0);
  library.SetFalseNorth(0.0);
  for (double sign : {1.0, -1.0}) {
    library.SetBSued(0.5 * sign);
    library.SetBNord(2.0 * sign);
    double E = 0, N = 0, B = 0, L = 0, E1 = 0, N1 = 0;
    ASSERT_EQ(library.BL_to_EN_Lambert(90.0 * sign, 0.0, E, N), VIV_OK);
    ASSERT_EQ(library.BL_to_EN_Lambert(90.0 * sign, 120.0, E1, N1), VIV_OK);
    EXPECT_EQ(E, 0.0);
    EXPECT_EQ(N, N1) << "every longitude meets at the apex";
    ASSERT_EQ(library.EN_to_BL_Lambert(E, N, B, L), VIV_OK);
    EXPECT_NEAR(B, 90.0 * sign, 1e-9);
  }
  double E = 0, N = 0;
  library.SetBSued(0.0);
  library.SetBNord(90.0);
  EXPECT_EQ(library.BL_to_EN_Lambert(45.0, 10.0, E, N), VIV_BAD_PARAMETERS);
  library.SetBSued(10.0);
  library.SetBNord(95.0);
  EXPECT_EQ(library.BL_to_EN_Lambert(45.0, 10.0, E, N), VIV_BAD_PARAMETERS);
  EXPECT_EQ(library.SetEllipDim(-1.0, 5.0), VIV_BAD_PARAMETERS);
  EXPECT_EQ(library.SetEllipDim(6356752.0, 6378137.0), VIV_BAD_PARAMETERS) << "b > a";
}

}  // namespace
}  // namespace pelmar
