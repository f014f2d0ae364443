// The exports of the projection library: thin C shells around
// ProjectionEngine that never let an exception out and never hand back a
// number from a failed conversion.
#include "common/ExportGuard.h"
#include "VIVoraruraze.h"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "ProjectionEngine.h"

#define VIV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// One per thread: a batch's workers convert at the same time, each with the
// parameters and cached projections of its own owner.
viv::ProjectionEngine& engine() {
  thread_local viv::ProjectionEngine instance;
  return instance;
}

static_assert(VIV_OK == pelmar::plugin::kOk && VIV_EXCEPTION == pelmar::plugin::kException);
using pelmar::plugin::guarded;

template <class Value>
int set(Value& field, Value value) noexcept {
  field = value;
  return VIV_OK;
}

template <class Value>
int get(const Value& field, Value* out) noexcept {
  if (out == nullptr) return VIV_BAD_PARAMETERS;
  *out = field;
  return VIV_OK;
}

// Two-in, two-out conversions: the outputs must be there.
template <class Member>
int twoToTwo(Member member, double in1, double in2, double* out1, double* out2) noexcept {
  if (out1 == nullptr || out2 == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({out1, out2}, [&] { return (engine().*member)(in1, in2, *out1, *out2); });
}

}  // namespace

namespace {
// Axes no ellipsoid has: kept (so that every conversion refuses them too),
// but told at once.
int axesStatus(double a, double b) {
  return std::isfinite(a) && std::isfinite(b) && a > 0.0 && b > 0.0 && b <= a ? VIV_OK : VIV_BAD_PARAMETERS;
}
}  // namespace

VIV_EXPORT int InitializeDLL(VIV_PARAMETER_LIST) {
  engine().params = viv::Parameters{L0,    L0Auto,     B0,        a,        b,        BNord,
                                    BSued, FalseNorth, FalseEast, LambType, LambCase, GKCase};
  // A new owner's parameters are all zero until it sets its ellipsoid.
  return a == 0.0 && b == 0.0 ? VIV_OK : axesStatus(a, b);
}

VIV_EXPORT int SetL0(double value) { return set(engine().params.L0, value); }
VIV_EXPORT int SetB0(double value) { return set(engine().params.B0, value); }
VIV_EXPORT int SetBNord(double value) { return set(engine().params.BNord, value); }
VIV_EXPORT int SetBSued(double value) { return set(engine().params.BSued, value); }
VIV_EXPORT int SetFalseNorth(double value) { return set(engine().params.FalseNorth, value); }
VIV_EXPORT int SetFalseEast(double value) { return set(engine().params.FalseEast, value); }
VIV_EXPORT int SetL0Auto(int value) { return set(engine().params.L0Auto, value); }
VIV_EXPORT int SetLambType(int value) { return set(engine().params.LambType, value); }
VIV_EXPORT int SetLambCase(int value) { return set(engine().params.LambCase, value); }
VIV_EXPORT int SetGKCase(int value) { return set(engine().params.GKCase, value); }
VIV_EXPORT int SetEllipDim(double a, double b) {
  engine().params.a = a;
  engine().params.b = b;
  return axesStatus(a, b);
}

VIV_EXPORT int GetL0(double* value) { return get(engine().params.L0, value); }
VIV_EXPORT int GetL0Auto(int* value) { return get(engine().params.L0Auto, value); }
VIV_EXPORT int GetB0(double* value) { return get(engine().params.B0, value); }
VIV_EXPORT int GetA(double* value) { return get(engine().params.a, value); }
VIV_EXPORT int GetB(double* value) { return get(engine().params.b, value); }
VIV_EXPORT int GetBNord(double* value) { return get(engine().params.BNord, value); }
VIV_EXPORT int GetBSued(double* value) { return get(engine().params.BSued, value); }
VIV_EXPORT int GetFalseNorth(double* value) { return get(engine().params.FalseNorth, value); }
VIV_EXPORT int GetFalseEast(double* value) { return get(engine().params.FalseEast, value); }
VIV_EXPORT int GetLambType(int* value) { return get(engine().params.LambType, value); }
VIV_EXPORT int GetLambCase(int* value) { return get(engine().params.LambCase, value); }
VIV_EXPORT int GetGKCase(int* value) { return get(engine().params.GKCase, value); }

VIV_EXPORT int GMSDEZ(int d, int m, double s, double* degrees) {
  if (degrees == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({degrees}, [&] {
    if (!std::isfinite(s)) return VIV_OUTSIDE_DOMAIN;
    *degrees = viv::dmsToDegrees(d, m, s);
    return VIV_OK;
  });
}

VIV_EXPORT int DEZGMS(double degrees, int* d, int* m, double* s) {
  if (d == nullptr || m == nullptr || s == nullptr) return VIV_BAD_PARAMETERS;
  const int status = guarded({s}, [&] {
    // Beyond this an int cannot hold the degrees.
    if (!std::isfinite(degrees) || std::fabs(degrees) > 2.0e9) return VIV_OUTSIDE_DOMAIN;
    viv::degreesToDms(degrees, *d, *m, *s);
    return VIV_OK;
  });
  if (status != VIV_OK) *d = *m = 0;
  return status;
}

VIV_EXPORT int BLH_to_XYZ(double B, double L, double h, double* X, double* Y, double* Z) {
  if (X == nullptr || Y == nullptr || Z == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({X, Y, Z}, [&] { return engine().geographicToCartesian(B, L, h, *X, *Y, *Z); });
}

VIV_EXPORT int EllipsoidalCoordinates_to_XYZ(double B, double L, double h, double* X, double* Y, double* Z) {
  return BLH_to_XYZ(B, L, h, X, Y, Z);
}

VIV_EXPORT int XYZ_to_BLH(double X, double Y, double Z, double* B, double* L, double* h) {
  if (B == nullptr || L == nullptr || h == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({B, L, h}, [&] { return engine().cartesianToGeographic(X, Y, Z, *B, *L, *h); });
}

VIV_EXPORT int XYZ_to_EllipsoidalCoordinates(double X, double Y, double Z, double* B, double* L, double* h) {
  return XYZ_to_BLH(X, Y, Z, B, L, h);
}

using E = viv::ProjectionEngine;

VIV_EXPORT int BL_to_EN_GK(double B, double L, double* E_, double* N) { return twoToTwo(&E::gkForward, B, L, E_, N); }
VIV_EXPORT int EN_to_BL_GK(double E_, double N, double* B, double* L) { return twoToTwo(&E::gkInverse, E_, N, B, L); }
VIV_EXPORT int BL_to_EN_UTM_Raw(double B, double L, double* E_, double* N) {
  return twoToTwo(&E::utmRawForward, B, L, E_, N);
}
VIV_EXPORT int EN_to_BL_UTM_Raw(double E_, double N, double* B, double* L) {
  return twoToTwo(&E::utmRawInverse, E_, N, B, L);
}
VIV_EXPORT int BL_to_EN_Lambert(double B, double L, double* E_, double* N) {
  return twoToTwo(&E::lambertForward, B, L, E_, N);
}
VIV_EXPORT int EN_to_BL_Lambert(double E_, double N, double* B, double* L) {
  return twoToTwo(&E::lambertInverse, E_, N, B, L);
}
VIV_EXPORT int BL_to_EN_Mercator(double B, double L, double* E_, double* N) {
  return twoToTwo(&E::mercatorForward, B, L, E_, N);
}
VIV_EXPORT int EN_to_BL_Mercator(double E_, double N, double* B, double* L) {
  return twoToTwo(&E::mercatorInverse, E_, N, B, L);
}
VIV_EXPORT int BL_to_EN_Soldner(double B, double L, double* E_, double* N) {
  return twoToTwo(&E::soldnerForward, B, L, E_, N);
}
VIV_EXPORT int EN_to_BL_Soldner(double E_, double N, double* B, double* L) {
  return twoToTwo(&E::soldnerInverse, E_, N, B, L);
}
// Longitudes from Ferro: only their difference from L0 enters the projection.
VIV_EXPORT int BL_to_EN_SoldnerBaden(double B, double L, double* E_, double* N) {
  return twoToTwo(&E::soldnerForward, B, L, E_, N);
}
VIV_EXPORT int EN_to_BL_SoldnerBaden(double E_, double N, double* B, double* L) {
  return twoToTwo(&E::soldnerInverse, E_, N, B, L);
}
VIV_EXPORT int BL_to_EN_EOV(double B, double L, double* E_, double* N) { return twoToTwo(&E::eovForward, B, L, E_, N); }
VIV_EXPORT int EN_to_BL_EOV(double E_, double N, double* B, double* L) { return twoToTwo(&E::eovInverse, E_, N, B, L); }

VIV_EXPORT int BL_to_EN_UTM_With_Zone(double B, double L, double* E_, double* N, int* zone, char* letter) {
  if (E_ == nullptr || N == nullptr || zone == nullptr || letter == nullptr) return VIV_BAD_PARAMETERS;
  const int status = guarded({E_, N}, [&] { return engine().utmZoneForward(B, L, *E_, *N, *zone, *letter); });
  if (status != VIV_OK) {
    *zone = 0;
    *letter = '\0';
  }
  return status;
}

VIV_EXPORT int EN_to_BL_UTM_With_Zone(double E_, double N, int zone, char letter, double* B, double* L) {
  if (B == nullptr || L == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({B, L}, [&] { return engine().utmZoneInverse(E_, N, zone, letter, *B, *L); });
}

VIV_EXPORT int BL_to_EN_Switzerland_Conformal_DoubleProjection(double B, double L, double* E_, double* N,
                                                               int swissCase) {
  if (E_ == nullptr || N == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({E_, N}, [&] { return engine().swissForward(B, L, *E_, *N, swissCase); });
}

VIV_EXPORT int EN_to_BL_Switzerland_Conformal_DoubleProjection(double E_, double N, double* B, double* L,
                                                               int swissCase) {
  if (B == nullptr || L == nullptr) return VIV_BAD_PARAMETERS;
  return guarded({B, L}, [&] { return engine().swissInverse(E_, N, *B, *L, swissCase); });
}
