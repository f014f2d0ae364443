/*
 * VIVoraruraze — the projection library of Pelmar.
 *
 * A run-time module (VIVoraruraze.so in the program directory) with C
 * exports. Angles are decimal degrees (latitude B, longitude L east positive);
 * a DMS angle is int degrees, int minutes, double seconds; lengths are metres.
 * Results come back through pointers.
 *
 * Every export returns one of the VIV_* codes below and never throws. When it
 * does not return VIV_OK, its real outputs are NaN (integer outputs 0, a
 * character output '\0'), so a failed conversion can never pass for a number.
 *
 * The module keeps one parameter set per thread: L0, L0Auto, B0, a, b, BNord,
 * BSued, FalseNorth, FalseEast, LambType, LambCase, GKCase. InitializeDLL
 * replaces all of it; the setters change one value. Callers that share the
 * module hand their whole set to InitializeDLL before every call, on the
 * thread that makes the call; threads convert at the same time without
 * seeing each other's set.
 *
 * Conventions (mathematics from GeographicLib and PROJ):
 *   GMSDEZ        sign * (|d| + |m|/60 + |s|/3600), negative when any part is.
 *   DEZGMS        the sign stands on the first non-zero part (-0.5 -> 0 -30 0;
 *                 -10.5 -> -10 30 0); seconds within 1e-9 of 60 carry.
 *   GK  GKCase 0  transverse Mercator, k0 = 1. L0Auto: L0 = 3 * round(L / 3).
 *                 E = zone * 1e6 + 500000 + x, zone = round(L0 / 3); N = y.
 *                 Inverse with L0Auto takes the zone from E's millions.
 *       GKCase 4  Austrian M28 / M31 / M34: L0 = 10°20', 13°20', 16°20',
 *                 FE 150000 / 450000 / 750000, FN -5000000, k0 = 1. L0Auto:
 *                 the nearest meridian (inverse: by E); else the cached L0
 *                 with the false easting of the nearest of the three.
 *   UTM raw       k0 = 0.9996, FE 500000, FN 0 (southern northings negative).
 *                 L0Auto: L0 is the point's standard zone meridian (Norway
 *                 and Svalbard exceptions included); the inverse always uses
 *                 the cached L0. Latitudes from -80° to 84° only.
 *   UTM with zone standard zones with the exceptions, bands C..X (no I, O),
 *                 FN 10000000 south of the equator; inverse: zone 1..60 gives
 *                 L0, the letter the hemisphere (N..X north, C..M south).
 *   Lambert       LambCase 0: LambType 0 one standard parallel BSued, origin
 *                 on it with k = 1; LambType 1 two parallels BNord, BSued,
 *                 origin latitude 0; cached L0, FalseEast, FalseNorth.
 *                 LambCase 1 Estonia L-EST97, 2 Belgian Lambert 2005,
 *                 3 France Lambert-93 (their own constants; the ellipsoid is
 *                 the cached one: set GRS80 for them).
 *   Mercator      normal Mercator, k = 1 on the equator, cached L0, no false
 *                 origin.
 *   Soldner       Cassini–Soldner (geodesic form) at (B0, L0) with
 *                 FalseEast, FalseNorth; E is the easting.
 *   SoldnerBaden  the same projection; L and L0 both count from Ferro.
 *   EOV           Hungarian oblique conformal projection (phi0 47°08'39.8174",
 *                 lambda0 19°02'54.8584", k0 0.99993, FE 650000, FN 200000)
 *                 on the cached ellipsoid.
 *   Swiss         oblique conformal double projection, origin Bern
 *                 (46°57'08.66", 7°26'22.50"), k0 = 1, on the cached
 *                 ellipsoid; case 0 LV03 (600000 / 200000), case 1 LV95
 *                 (2600000 / 1200000).
 *   XYZ           exact geocentric conversion; both export pairs are the
 *                 same conversion and exact inverses of each other.
 *
 * Domains (VIV_OUTSIDE_DOMAIN): |B| > 90; a transverse Mercator point more
 * than 90° of longitude or (unscaled) 3 900 km from its meridian, where the
 * series lose their accuracy; UTM beyond -80°..84°; points a projection maps
 * to infinity (Mercator at the poles, a Lambert cone's far pole); the
 * geocentre (closer than 1 m to the centre) for the cartesian inverse; any
 * NaN or infinite input.
 */
#ifndef PELMAR_VIVORARURAZE_H
#define PELMAR_VIVORARURAZE_H

#ifdef __cplusplus
extern "C" {
#endif

#define VIV_OK 1
/* The point lies outside the projection's domain. */
#define VIV_OUTSIDE_DOMAIN (-1)
/* The parameters do not define a projection: no or an impossible ellipsoid
   (a <= 0, b <= 0, b > a), an unknown case, zone or band letter. */
#define VIV_BAD_PARAMETERS (-2)
/* The caller's wrapper: module or export missing. */
#define VIV_NOT_USABLE (-1000)
/* An exception inside the module. */
#define VIV_EXCEPTION (-2000)

#define VIV_PARAMETER_LIST                                                                              \
  double L0, int L0Auto, double B0, double a, double b, double BNord, double BSued, double FalseNorth, \
      double FalseEast, int LambType, int LambCase, int GKCase

typedef int (*VivInitializeDLL)(VIV_PARAMETER_LIST);
typedef int (*VivSetDouble)(double value);
typedef int (*VivSetInt)(int value);
typedef int (*VivSetEllipDim)(double a, double b);
typedef int (*VivGetDouble)(double* value);
typedef int (*VivGetInt)(int* value);
typedef int (*VivGmsDez)(int d, int m, double s, double* degrees);
typedef int (*VivDezGms)(double degrees, int* d, int* m, double* s);
typedef int (*VivThreeToThree)(double in1, double in2, double in3, double* out1, double* out2, double* out3);
typedef int (*VivTwoToTwo)(double in1, double in2, double* out1, double* out2);
typedef int (*VivBlToEnWithZone)(double B, double L, double* E, double* N, int* zone, char* letter);
typedef int (*VivEnToBlWithZone)(double E, double N, int zone, char letter, double* B, double* L);
typedef int (*VivSwiss)(double in1, double in2, double* out1, double* out2, int swissCase);

/* Every export, as X(name, type): the module defines them all and a caller
   binds them all. */
#define VIV_EXPORTS(X)                                                      \
  X(InitializeDLL, VivInitializeDLL)                                        \
  X(SetL0, VivSetDouble)                                                    \
  X(SetB0, VivSetDouble)                                                    \
  X(SetBNord, VivSetDouble)                                                 \
  X(SetBSued, VivSetDouble)                                                 \
  X(SetFalseNorth, VivSetDouble)                                            \
  X(SetFalseEast, VivSetDouble)                                             \
  X(SetL0Auto, VivSetInt)                                                   \
  X(SetLambType, VivSetInt)                                                 \
  X(SetLambCase, VivSetInt)                                                 \
  X(SetGKCase, VivSetInt)                                                   \
  X(SetEllipDim, VivSetEllipDim)                                            \
  X(GetL0, VivGetDouble)                                                    \
  X(GetL0Auto, VivGetInt)                                                   \
  X(GetB0, VivGetDouble)                                                    \
  X(GetA, VivGetDouble)                                                     \
  X(GetB, VivGetDouble)                                                     \
  X(GetBNord, VivGetDouble)                                                 \
  X(GetBSued, VivGetDouble)                                                 \
  X(GetFalseNorth, VivGetDouble)                                            \
  X(GetFalseEast, VivGetDouble)                                             \
  X(GetLambType, VivGetInt)                                                 \
  X(GetLambCase, VivGetInt)                                                 \
  X(GetGKCase, VivGetInt)                                                   \
  X(GMSDEZ, VivGmsDez)                                                      \
  X(DEZGMS, VivDezGms)                                                      \
  X(BLH_to_XYZ, VivThreeToThree)                                            \
  X(EllipsoidalCoordinates_to_XYZ, VivThreeToThree)                         \
  X(XYZ_to_BLH, VivThreeToThree)                                            \
  X(XYZ_to_EllipsoidalCoordinates, VivThreeToThree)                         \
  X(BL_to_EN_GK, VivTwoToTwo)                                               \
  X(BL_to_EN_UTM_Raw, VivTwoToTwo)                                          \
  X(BL_to_EN_Lambert, VivTwoToTwo)                                          \
  X(BL_to_EN_Mercator, VivTwoToTwo)                                         \
  X(BL_to_EN_Soldner, VivTwoToTwo)                                          \
  X(BL_to_EN_SoldnerBaden, VivTwoToTwo)                                     \
  X(BL_to_EN_EOV, VivTwoToTwo)                                              \
  X(EN_to_BL_GK, VivTwoToTwo)                                               \
  X(EN_to_BL_UTM_Raw, VivTwoToTwo)                                          \
  X(EN_to_BL_Lambert, VivTwoToTwo)                                          \
  X(EN_to_BL_Mercator, VivTwoToTwo)                                         \
  X(EN_to_BL_Soldner, VivTwoToTwo)                                          \
  X(EN_to_BL_SoldnerBaden, VivTwoToTwo)                                     \
  X(EN_to_BL_EOV, VivTwoToTwo)                                              \
  X(BL_to_EN_UTM_With_Zone, VivBlToEnWithZone)                              \
  X(EN_to_BL_UTM_With_Zone, VivEnToBlWithZone)                              \
  X(BL_to_EN_Switzerland_Conformal_DoubleProjection, VivSwiss)              \
  X(EN_to_BL_Switzerland_Conformal_DoubleProjection, VivSwiss)

#ifdef __cplusplus
}
#endif

#endif
