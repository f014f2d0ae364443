#pragma once

#include <array>

#include "settings/EllipsoidDatabase.h"

namespace pelmar {

class ProjectionLibrary;

// The differential similarity transformation between two datums, written in
// ellipsoidal coordinates: X_t = X_s + T + m·X_s + R·X_s with
// R = [[0, εz, −εy], [−εz, 0, εx], [εy, −εx, 0]] (the coordinate-frame
// convention of small rotations), linearised at the source point and
// expressed as changes of latitude and longitude (arc seconds) and of the
// ellipsoidal height (metres):
//
//   [dB, dL, dh] = J⁻¹·dX,   J = ∂(X, Y, Z)/∂(B, L, h) on the source ellipsoid
//
// added to the source point's cartesian position expressed on the target
// ellipsoid. These are the usual differential formulas of datum
// transformation in ellipsoidal coordinates; each column follows from
// X = (N + h)·cosB·cosL, Y = (N + h)·cosB·sinL, Z = (N·(1 − e²) + h)·sinB and
// was derived anew for this code. The model drops the terms of second order
// in the shift (about |T|²/R: 0.1 m for a 700 m shift before the parameters
// absorb most of it), which is what a pre-translation by approximate
// translations is for.

inline constexpr double kRhoSeconds = 648000.0 / 3.14159265358979323846;  // arc seconds per radian
inline constexpr double kRhoDegrees = 180.0 / 3.14159265358979323846;     // degrees per radian

// Radii of an ellipsoid (a, b in metres) at latitude B (radians):
// V = √(1 + e′²·cos²B), N = c/V (normal), M = c/V³ (meridian), W = a/N,
// with c = a²/b.
struct EllipsoidRadii {
  double e2 = 0.0;   // first eccentricity squared
  double N = 0.0;    // metres
  double M = 0.0;    // metres
  double W = 0.0;    // √(1 − e²·sin²B)
};
EllipsoidRadii RadiiAt(double a, double b, double latitudeRadians);

// Which parameter groups the model carries. Unknowns in this order, the
// groups switched off left out: εx, εy, εz (arc seconds), tx, ty, tz
// (metres), then m (one scale) or mP, mH (plan and height scale), both
// dimensionless.
struct EllipsoidalGroups {
  bool rotations = true;
  bool translations = true;
  int scaleKind = 1;  // 0 no scale, 1 one scale, 2 plan and height scale

  int unknowns() const { return (rotations ? 3 : 0) + (translations ? 3 : 0) + scaleKind; }
  int translationColumn() const { return rotations ? 3 : 0; }
  int scaleColumn() const { return translationColumn() + (translations ? 3 : 0); }
};

// The parameters in the full set, whatever was estimated: rotations (arc
// seconds), translations (metres), scale differences (dimensionless;
// planScale = heightScale for one scale factor).
struct EllipsoidalParameters {
  std::array<double, 3> rotationSeconds{};
  std::array<double, 3> translation{};
  double planScale = 0.0;
  double heightScale = 0.0;
};

// The rows of one source point: the design rows of B, L, h over the chosen
// columns, and the point's cartesian position expressed on the target
// ellipsoid (B′, L′ in degrees, h′ in metres), to which the rows' changes
// are added.
struct EllipsoidalRows {
  static constexpr int kMaxUnknowns = 8;
  double a[3][kMaxUnknowns] = {};
  double Bt = 0.0, Lt = 0.0, ht = 0.0;
  EllipsoidRadii sourceRadii;
};

// Builds the rows at the source point (B, L in degrees, h in metres); false
// when the library cannot convert the point or it lies at a pole (within
// 0.6 mm), where the longitude row has no finite value.
bool BuildEllipsoidalRows(ProjectionLibrary& library, const EllipsoidRecord& source, const EllipsoidRecord& target,
                            const EllipsoidalGroups& groups, double B, double L, double h, EllipsoidalRows& rows);

// Replaces (B, L, h) on `ellipsoid` by the point shifted by (tx, ty, tz)
// metres in cartesian coordinates; false when the library fails.
bool PreTranslate(ProjectionLibrary& library, const EllipsoidRecord& ellipsoid, const std::array<double, 3>& shift,
                       double& B, double& L, double& h);

// The transformed point: B′ + (A_B·x)/3600, L′ + (A_L·x)/3600 (degrees),
// h′ + A_h·x (metres), with x the unknowns over the chosen columns.
std::array<double, 3> ApplyEllipsoidalRows(const EllipsoidalRows& rows, const EllipsoidalGroups& groups,
                                           const double* x);

// The unknowns over the chosen columns from the full parameter set.
void ParametersToUnknowns(const EllipsoidalParameters& parameters, const EllipsoidalGroups& groups, double* x);

}  // namespace pelmar
