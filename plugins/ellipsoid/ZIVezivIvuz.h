/*
 * ZIVezivIvuz — the ellipsoid library of Pelmar.
 *
 * A run-time module (ZIVezivIvuz.so in the program directory) with C exports
 * for geodetic problems on the ellipsoid set by SetEllipDim (semi-axes a and
 * b, metres) on the calling thread (each thread keeps its own). Angles are decimal degrees, distances metres.
 *
 * Geodesics are Karney's (GeographicLib): the series solution for
 * |f| <= 0.01, the exact one beyond. Azimuths come back in [0°, 360°); A2 is
 * the forward azimuth at point 2. Meridian arcs run from the equator
 * (negative south of it) and their inverse is exact.
 *
 * Every export returns VIV_OK and never throws; on failure it returns
 * ZIV_BAD_PARAMETERS (no or an impossible ellipsoid), ZIV_OUTSIDE_DOMAIN (a
 * latitude beyond ±90°, an arc longer than the quarter meridian (by more than 1 µm), a NaN or
 * infinite input) or ZIV_EXCEPTION, and its outputs are NaN.
 */
#ifndef PELMAR_ZIVEZIVIVUZ_H
#define PELMAR_ZIVEZIVIVUZ_H

#ifdef __cplusplus
extern "C" {
#endif

#define ZIV_OK 1
#define ZIV_OUTSIDE_DOMAIN (-1)
#define ZIV_BAD_PARAMETERS (-2)
#define ZIV_NOT_USABLE (-1000)
#define ZIV_EXCEPTION (-2000)

typedef int (*ZivSetEllipDim)(double a, double b);
typedef int (*ZivDirect)(double B1, double L1, double A1, double S, double* B2, double* L2, double* A2);
typedef int (*ZivInverse)(double B1, double L1, double B2, double L2, double* A1, double* A2, double* S);
typedef int (*ZivOneToOne)(double in, double* out);

#define ZIV_EXPORTS(X)                          \
  X(SetEllipDim, ZivSetEllipDim)                \
  X(DirectGeodeticProblem, ZivDirect)           \
  X(InDirectGeodeticProblem, ZivInverse)        \
  X(MeridianArcLength, ZivOneToOne)             \
  X(InverseMeridianArcLength, ZivOneToOne)

#ifdef __cplusplus
}
#endif

#endif
