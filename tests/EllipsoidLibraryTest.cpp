#include "geodesy/EllipsoidLibrary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>

#include "reference/ReferenceRow.h"
#include "support/TestSupport.h"

namespace {
#include "reference/LibraryReferences.inc"
}

namespace pelmar {
namespace {

constexpr double kMetres = 1e-6;  // 1 µm
constexpr double kDegrees = 1e-9;

// GeodSolve gives azimuths in (-180°, 180°]; the library in [0°, 360°).
double fullCircle(double azimuth) { return azimuth < 0 ? azimuth + 360.0 : azimuth; }

// Azimuths compared on the circle: 359.9999999999 and 0 are neighbours.
void expectAzimuth(double actual, double expected) {
  EXPECT_GE(actual, 0.0);
  EXPECT_LT(actual, 360.0);
  EXPECT_NEAR(std::remainder(actual - fullCircle(expected), 360.0), 0.0, kDegrees) << actual << " vs " << expected;
}

struct EllipsoidCase {
  const char* name;
  double a, b;
  std::span<const ReferenceRow> inverse, direct, arcs;
};

class EllipsoidLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.Open(test::binDir())) << library.problem(); }
  EllipsoidLibrary library;
};

// References: GeodSolve (commands in LibraryReferences.inc), with the series
// for WGS84 and Bessel and the exact solution for a flattening of 1/10.
TEST_F(EllipsoidLibraryTest, geodesics_and_meridian_arcs_match_geodsolve) {
  const EllipsoidCase cases[] = {
      {"WGS84", 6378137.0, 6356752.314245, kGeodesicInverseWgs84, kGeodesicDirectWgs84, kMeridianArcWgs84},
      {"Bessel", 6377397.155, 6356078.962818, kGeodesicInverseBessel, kGeodesicDirectBessel, kMeridianArcBessel},
      {"flattening 1/10", 6378137.0, 6378137.0 * 0.9, kGeodesicInverseFlat, kGeodesicDirectFlat, kMeridianArcFlat},
  };
  for (const EllipsoidCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(library.SetEllipDim(c.a, c.b), ZIV_OK);
    for (const ReferenceRow& row : c.inverse) {
      SCOPED_TRACE(testing::Message() << "inverse " << row.v[0] << " " << row.v[1] << " " << row.v[2] << " "
                                      << row.v[3]);
      double a1 = 0, a2 = 0, s = 0;
      ASSERT_EQ(library.InDirectGeodeticProblem(row.v[0], row.v[1], row.v[2], row.v[3], a1, a2, s), ZIV_OK);
      expectAzimuth(a1, row.v[4]);
      expectAzimuth(a2, row.v[5]);
      EXPECT_NEAR(s, row.v[6], kMetres);
    }
    for (const ReferenceRow& row : c.direct) {
      SCOPED_TRACE(testing::Message() << "direct " << row.v[0] << " " << row.v[1] << " " << row.v[2] << " "
                                      << row.v[3]);
      double b2 = 0, l2 = 0, a2 = 0;
      ASSERT_EQ(library.DirectGeodeticProblem(row.v[0], row.v[1], row.v[2], row.v[3], b2, l2, a2), ZIV_OK);
      EXPECT_NEAR(b2, row.v[4], kDegrees);
      EXPECT_NEAR(std::remainder(l2 - row.v[5], 360.0), 0.0, kDegrees);
      if (std::fabs(row.v[4]) < 90.0) expectAzimuth(a2, row.v[6]);
    }
    for (const ReferenceRow& row : c.arcs) {
      SCOPED_TRACE(testing::Message() << "arc " << row.v[0]);
      double g = 0, b = 0;
      ASSERT_EQ(library.MeridianArcLength(row.v[0], g), ZIV_OK);
      EXPECT_NEAR(g, row.v[1], kMetres);
      ASSERT_EQ(library.InverseMeridianArcLength(row.v[1], b), ZIV_OK);
      EXPECT_NEAR(b, row.v[0], kDegrees);
    }
  }
}

TEST_F(EllipsoidLibraryTest, bad_ellipsoid_and_inputs_give_an_error_and_nan) {
  double b2 = 1, l2 = 1, a2 = 1, g = 1;
  EXPECT_EQ(library.SetEllipDim(0.0, 0.0), ZIV_BAD_PARAMETERS);
  EXPECT_EQ(library.DirectGeodeticProblem(10, 10, 10, 1000, b2, l2, a2), ZIV_BAD_PARAMETERS);
  EXPECT_TRUE(std::isnan(b2) && std::isnan(l2) && std::isnan(a2));
  ASSERT_EQ(library.SetEllipDim(6378137.0, 6356752.314245), ZIV_OK);
  EXPECT_EQ(library.InDirectGeodeticProblem(91, 0, 10, 10, b2, l2, a2), ZIV_OUTSIDE_DOMAIN);
  EXPECT_TRUE(std::isnan(b2) && std::isnan(l2) && std::isnan(a2));
  EXPECT_EQ(library.DirectGeodeticProblem(10, 10, std::nan(""), 1000, b2, l2, a2), ZIV_OUTSIDE_DOMAIN);
  EXPECT_EQ(library.MeridianArcLength(-90.5, g), ZIV_OUTSIDE_DOMAIN);
  EXPECT_TRUE(std::isnan(g));
  EXPECT_EQ(library.InverseMeridianArcLength(10002000.0, g), ZIV_OUTSIDE_DOMAIN);
}

// Each owner's ellipsoid holds for its own calls, whatever another set since.
TEST_F(EllipsoidLibraryTest, owners_sharing_the_module_keep_their_own_ellipsoid) {
  EllipsoidLibrary other;
  ASSERT_TRUE(other.Open(test::binDir()));
  library.SetEllipDim(6378137.0, 6356752.314245);
  other.SetEllipDim(6377397.155, 6356078.962818);
  double wgs = 0, bessel = 0;
  library.MeridianArcLength(45.0, wgs);
  other.MeridianArcLength(45.0, bessel);
  EXPECT_NEAR(wgs, kMeridianArcWgs84[3].v[1], kMetres);
  EXPECT_NEAR(bessel, kMeridianArcBessel[3].v[1], kMetres);
}

}  // namespace
}  // namespace pelmar
