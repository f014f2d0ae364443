// The exports of the ellipsoid library: geodesics and meridian arcs from
// GeographicLib on the ellipsoid last given to SetEllipDim.
#include "common/ExportGuard.h"
#include "ZIVezivIvuz.h"

#include <GeographicLib/Ellipsoid.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicExact.hpp>
#include <GeographicLib/Math.hpp>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <optional>

#define ZIV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using GeographicLib::Math;

// Karney's series are accurate to round-off for |f| <= 0.01; beyond, the
// exact solution by elliptic integrals takes over.
constexpr double kSeriesFlatteningLimit = 0.01;
constexpr double kArcTolerance = 1e-6;  // metres

class EllipsoidState {
 public:
  void set(double a, double b) {
    if (a == a_ && b == b_) return;  // keep the objects: callers set the same axes before every batch
    a_ = a;
    b_ = b;
    series_.reset();
    exact_.reset();
    ellipsoid_.reset();
    if (!(std::isfinite(a) && std::isfinite(b) && a > 0.0 && b > 0.0 && b <= a)) return;
    const double f = (a - b) / a;
    if (f <= kSeriesFlatteningLimit) {
      series_.emplace(a, f);
    } else {
      exact_.emplace(a, f);
    }
    ellipsoid_.emplace(a, f);
  }

  bool valid() const { return ellipsoid_.has_value(); }

  void direct(double B1, double L1, double A1, double S, double& B2, double& L2, double& A2) const {
    if (series_) {
      series_->Direct(B1, L1, A1, S, B2, L2, A2);
    } else {
      exact_->Direct(B1, L1, A1, S, B2, L2, A2);
    }
  }

  void inverse(double B1, double L1, double B2, double L2, double& A1, double& A2, double& S) const {
    if (series_) {
      series_->Inverse(B1, L1, B2, L2, S, A1, A2);
    } else {
      exact_->Inverse(B1, L1, B2, L2, S, A1, A2);
    }
  }

  const GeographicLib::Ellipsoid& ellipsoid() const { return *ellipsoid_; }

 private:
  double a_ = std::numeric_limits<double>::quiet_NaN();
  double b_ = std::numeric_limits<double>::quiet_NaN();
  std::optional<GeographicLib::Geodesic> series_;
  std::optional<GeographicLib::GeodesicExact> exact_;
  std::optional<GeographicLib::Ellipsoid> ellipsoid_;
};

// One per thread, as the projection library's parameters: workers compute at
// the same time, each on the ellipsoid it set.
EllipsoidState& state() {
  thread_local EllipsoidState instance;
  return instance;
}

static_assert(ZIV_OK == pelmar::plugin::kOk && ZIV_EXCEPTION == pelmar::plugin::kException);
using pelmar::plugin::guarded;

bool validLatitude(double B) { return std::isfinite(B) && std::fabs(B) <= 90.0; }

// Azimuths in [0°, 360°).
double fullCircle(double azimuth) {
  double value = Math::AngNormalize(azimuth);
  if (value < 0) value += 360.0;
  if (value >= 360.0) value -= 360.0;
  return value == 0.0 ? 0.0 : value;  // no negative zero
}

}  // namespace

ZIV_EXPORT int SetEllipDim(double a, double b) {
  try {
    state().set(a, b);
    return state().valid() ? ZIV_OK : ZIV_BAD_PARAMETERS;
  } catch (...) {
    return ZIV_EXCEPTION;
  }
}

ZIV_EXPORT int DirectGeodeticProblem(double B1, double L1, double A1, double S, double* B2, double* L2, double* A2) {
  if (B2 == nullptr || L2 == nullptr || A2 == nullptr) return ZIV_BAD_PARAMETERS;
  return guarded({B2, L2, A2}, [&] {
    if (!state().valid()) return ZIV_BAD_PARAMETERS;
    if (!validLatitude(B1) || !std::isfinite(L1) || !std::isfinite(A1) || !std::isfinite(S)) {
      return ZIV_OUTSIDE_DOMAIN;
    }
    state().direct(B1, L1, A1, S, *B2, *L2, *A2);
    *A2 = fullCircle(*A2);
    return std::isfinite(*B2) && std::isfinite(*L2) && std::isfinite(*A2) ? ZIV_OK : ZIV_OUTSIDE_DOMAIN;
  });
}

ZIV_EXPORT int InDirectGeodeticProblem(double B1, double L1, double B2, double L2, double* A1, double* A2,
                                       double* S) {
  if (A1 == nullptr || A2 == nullptr || S == nullptr) return ZIV_BAD_PARAMETERS;
  return guarded({A1, A2, S}, [&] {
    if (!state().valid()) return ZIV_BAD_PARAMETERS;
    if (!validLatitude(B1) || !validLatitude(B2) || !std::isfinite(L1) || !std::isfinite(L2)) {
      return ZIV_OUTSIDE_DOMAIN;
    }
    state().inverse(B1, L1, B2, L2, *A1, *A2, *S);
    *A1 = fullCircle(*A1);
    *A2 = fullCircle(*A2);
    return std::isfinite(*A1) && std::isfinite(*A2) && std::isfinite(*S) ? ZIV_OK : ZIV_OUTSIDE_DOMAIN;
  });
}

ZIV_EXPORT int MeridianArcLength(double B, double* G) {
  if (G == nullptr) return ZIV_BAD_PARAMETERS;
  return guarded({G}, [&] {
    if (!state().valid()) return ZIV_BAD_PARAMETERS;
    if (!validLatitude(B)) return ZIV_OUTSIDE_DOMAIN;
    *G = state().ellipsoid().MeridianDistance(B);
    return ZIV_OK;
  });
}

ZIV_EXPORT int InverseMeridianArcLength(double G, double* B) {
  if (B == nullptr) return ZIV_BAD_PARAMETERS;
  return guarded({B}, [&] {
    if (!state().valid()) return ZIV_BAD_PARAMETERS;
    const double quarter = state().ellipsoid().QuarterMeridian();
    // An arc may exceed the quarter meridian by rounding (1 µm) and still mean the pole.
    if (!std::isfinite(G) || std::fabs(G) > quarter + kArcTolerance) return ZIV_OUTSIDE_DOMAIN;
    // The rectifying latitude mu measures the arc in degrees of the quarter meridian.
    const double mu = std::clamp(G / quarter * 90.0, -90.0, 90.0);
    *B = state().ellipsoid().InverseRectifyingLatitude(mu);
    return ZIV_OK;
  });
}
