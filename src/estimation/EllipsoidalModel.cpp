#include "estimation/EllipsoidalModel.h"

#include <cmath>

#include "conversion/ProjectionLibrary.h"

namespace pelmar {

EllipsoidRadii RadiiAt(double a, double b, double latitudeRadians) {
  EllipsoidRadii r;
  r.e2 = (a * a - b * b) / (a * a);
  const double ep2 = (a * a - b * b) / (b * b);
  const double c = a * a / b;
  const double cosB = std::cos(latitudeRadians);
  const double V = std::sqrt(1.0 + ep2 * cosB * cosB);
  r.N = c / V;
  r.M = c / (V * V * V);
  r.W = a / r.N;
  return r;
}

bool BuildEllipsoidalRows(ProjectionLibrary& library, const EllipsoidRecord& source, const EllipsoidRecord& target,
                            const EllipsoidalGroups& groups, double B, double L, double h, EllipsoidalRows& rows) {
  // The same cartesian point, expressed on the target ellipsoid.
  double X = 0.0, Y = 0.0, Z = 0.0;
  library.SetEllipDim(source.a, source.b);
  if (library.BLH_to_XYZ(B, L, h, X, Y, Z) != VIV_OK) return false;
  library.SetEllipDim(target.a, target.b);
  if (library.XYZ_to_BLH(X, Y, Z, rows.Bt, rows.Lt, rows.ht) != VIV_OK) return false;
  if (!std::isfinite(rows.Bt) || !std::isfinite(rows.Lt) || !std::isfinite(rows.ht)) return false;

  const double b = B / kRhoDegrees, l = L / kRhoDegrees;
  // At a pole the longitude has no meaning and its row no finite value.
  constexpr double kSmallestCosine = 1e-10;
  if (!(std::cos(b) >= kSmallestCosine)) return false;
  const EllipsoidRadii r = RadiiAt(source.a, source.b, b);
  rows.sourceRadii = r;
  const double sinB = std::sin(b), cosB = std::cos(b), sinL = std::sin(l), cosL = std::cos(l);
  const double e2 = r.e2, N = r.N;
  const double K = h + source.a * r.W;        // (N + h)·cos²B + (N·(1 − e²) + h)·sin²B
  const double Q = r.M + h;                   // meridian radius at the point
  const double S = (N + h) * cosB;            // radius of the parallel at the point
  const double G = h + N * (1.0 - e2);
  const double rho = kRhoSeconds;
  const double full[3][8] = {
      // εx, εy, εz, tx, ty, tz, plan scale, height scale
      {-sinL * K / Q, cosL * K / Q, 0.0, -rho * sinB * cosL / Q, -rho * sinB * sinL / Q, rho * cosB / Q,
       -rho * N * e2 * sinB * cosB / Q, 0.0},
      {G * sinB * cosL / S, G * sinB * sinL / S, -1.0, -rho * sinL / S, rho * cosL / S, 0.0, 0.0, 0.0},
      {-N * e2 * sinB * cosB * sinL / rho, N * e2 * sinB * cosB * cosL / rho, 0.0, cosB * cosL, cosB * sinL, sinB,
       0.0, K},
  };
  for (int row = 0; row < 3; ++row) {
    int column = 0;
    if (groups.rotations) {
      for (int j = 0; j < 3; ++j) rows.a[row][column++] = full[row][j];
    }
    if (groups.translations) {
      for (int j = 3; j < 6; ++j) rows.a[row][column++] = full[row][j];
    }
    if (groups.scaleKind == 1) {
      rows.a[row][column++] = full[row][6] + full[row][7];
    } else if (groups.scaleKind == 2) {
      rows.a[row][column++] = full[row][6];
      rows.a[row][column++] = full[row][7];
    }
  }
  return true;
}

bool PreTranslate(ProjectionLibrary& library, const EllipsoidRecord& ellipsoid, const std::array<double, 3>& shift,
                       double& B, double& L, double& h) {
  double X = 0.0, Y = 0.0, Z = 0.0, b = 0.0, l = 0.0, height = 0.0;
  library.SetEllipDim(ellipsoid.a, ellipsoid.b);
  if (library.BLH_to_XYZ(B, L, h, X, Y, Z) != VIV_OK) return false;
  if (library.XYZ_to_BLH(X + shift[0], Y + shift[1], Z + shift[2], b, l, height) != VIV_OK) return false;
  if (!std::isfinite(b) || !std::isfinite(l) || !std::isfinite(height)) return false;
  B = b, L = l, h = height;
  return true;
}

std::array<double, 3> ApplyEllipsoidalRows(const EllipsoidalRows& rows, const EllipsoidalGroups& groups,
                                           const double* x) {
  double change[3] = {0.0, 0.0, 0.0};
  const int u = groups.unknowns();
  for (int row = 0; row < 3; ++row) {
    for (int j = 0; j < u; ++j) change[row] += rows.a[row][j] * x[j];
  }
  return {rows.Bt + change[0] / 3600.0, rows.Lt + change[1] / 3600.0, rows.ht + change[2]};
}

void ParametersToUnknowns(const EllipsoidalParameters& parameters, const EllipsoidalGroups& groups, double* x) {
  int column = 0;
  if (groups.rotations) {
    for (double value : parameters.rotationSeconds) x[column++] = value;
  }
  if (groups.translations) {
    for (double value : parameters.translation) x[column++] = value;
  }
  if (groups.scaleKind == 1) x[column++] = parameters.planScale;
  if (groups.scaleKind == 2) {
    x[column++] = parameters.planScale;
    x[column++] = parameters.heightScale;
  }
}

}  // namespace pelmar
