#include "estimation/SpatialEstimation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include "adjust/FisherQuantile.h"
#include "adjust/GrossErrorTest.h"
#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"
#include "adjust/RobustTest.h"
#include "adjust/ParameterPrecision.h"
#include "adjust/SymmetricEigen.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "estimation/EstimationSections.h"
#include "estimation/ReportFile.h"
#include "estimation/ResidualDistribution.h"
#include "points/LineFormatters.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

constexpr double kSettledScale = 1e-9;
constexpr double kSettledRotation = 1e-12;   // radians
constexpr double kSettledTranslation = 1e-5;  // metres
// The most that the Gauss–Newton increment left over at the end may still
// move an identical point (metres). A least-squares run ends with
// increments of 1e-12 m; the L1 fit's reweighting settles only to about
// 1e-4 m; an iteration that circles or grows moves points by far more.
constexpr double kSettledMove = 1e-3;
const double kDegreesPerRadian = 180.0 / (4.0 * std::atan2(1.0, 1.0));
constexpr const char* kRunningText = "Berechnung l\xC3\xA4uft...";

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

// Observation rows in the order second, first, third coordinate: the axis
// (file order) of each row, and the translation (t1, t2, t3) that shifts it.
constexpr int kAxisOfRow[3] = {1, 0, 2};
constexpr int kTranslationOfAxis[3] = {1, 0, 2};

struct Groups {
  bool rotations, scale, translations;
  int u = 0, scaleColumn = 0, translationColumn = 0;
  Groups(const EstimationOptions3D& o) : rotations(o.rotations != 0), scale(o.scale != 0), translations(o.translations != 0) {
    scaleColumn = rotations ? 3 : 0;
    translationColumn = scaleColumn + (scale ? 1 : 0);
    u = translationColumn + (translations ? 3 : 0);
  }
};

Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 c{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) c[i][j] += a[i][k] * b[k][j];
    }
  }
  return c;
}

Mat3 rotZ(double a, bool derivative) {
  const double c = std::cos(a), s = std::sin(a);
  return derivative ? Mat3{{{-s, -c, 0}, {c, -s, 0}, {0, 0, 0}}} : Mat3{{{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
}
Mat3 rotX(double b, bool derivative) {
  const double c = std::cos(b), s = std::sin(b);
  return derivative ? Mat3{{{0, 0, 0}, {0, -s, -c}, {0, c, -s}}} : Mat3{{{1, 0, 0}, {0, c, -s}, {0, s, c}}};
}
Mat3 rotY(double a, bool derivative) {
  const double c = std::cos(a), s = std::sin(a);
  return derivative ? Mat3{{{-s, 0, c}, {0, 0, 0}, {-c, 0, -s}}} : Mat3{{{c, 0, s}, {0, 1, 0}, {-s, 0, c}}};
}

Vec3 apply(const Mat3& r, const Vec3& c) {
  return {r[0][0] * c[0] + r[0][1] * c[1] + r[0][2] * c[2], r[1][0] * c[0] + r[1][1] * c[1] + r[1][2] * c[2],
          r[2][0] * c[0] + r[2][1] * c[1] + r[2][2] * c[2]};
}

// The current approximations of the parameters (reduced translations).
struct Approximation {
  Vec3 eps{};       // radians
  double m = 1.0;   // rigorous: the factor; linearised: the correction dm
  Vec3 t{};         // t1, t2, t3
};

// The model of one run: its rows at the current approximations and its map
// of a reduced source point to the transformed point (file axis order).
class Model {
 public:
  Model(SpatialModel kind, const Groups& groups) : kind_(kind), groups_(groups) {
    if (kind == SpatialModel::Linearised) approx_.m = 0.0;
    prepare();
  }

  // Rows of a reduced point c with reduced target g: design A (3 × u) and
  // misclosure l, row order second, first, third coordinate.
  void rows(const Vec3& c, const Vec3& g, double a[3][7], double l[3]) const {
    for (int r = 0; r < 3; ++r) std::fill(a[r], a[r] + 7, 0.0);
    if (kind_ == SpatialModel::Rigorous) {
      const Vec3 rc = apply(r_, c);
      const Vec3 d[3] = {apply(d_[0], c), apply(d_[1], c), apply(d_[2], c)};
      for (int row = 0; row < 3; ++row) {
        const int axis = kAxisOfRow[row];
        l[row] = g[axis] - (approx_.m * rc[axis] + approx_.t[kTranslationOfAxis[axis]]);
        if (groups_.rotations) {
          for (int i = 0; i < 3; ++i) a[row][i] = approx_.m * d[i][axis];
        }
        if (groups_.scale) a[row][groups_.scaleColumn] = rc[axis];
        if (groups_.translations) a[row][groups_.translationColumn + kTranslationOfAxis[axis]] = 1.0;
      }
      return;
    }
    // Linearised: target − source = small rotations, scale correction and translation.
    const double rotation[3][3] = {{0, -c[2], c[0]}, {c[2], 0, -c[1]}, {-c[0], c[1], 0}};
    for (int row = 0; row < 3; ++row) {
      const int axis = kAxisOfRow[row];
      l[row] = g[axis] - c[axis];
      if (groups_.rotations) {
        for (int i = 0; i < 3; ++i) a[row][i] = rotation[row][i];
      }
      if (groups_.scale) a[row][groups_.scaleColumn] = c[axis];
      if (groups_.translations) a[row][groups_.translationColumn + row] = 1.0;
    }
  }

  // The reduced source point transformed (file axis order), with the
  // increment x still to be added for the linearised model.
  Vec3 map(const Vec3& c, const Matrix* x) const {
    if (kind_ == SpatialModel::Rigorous) {
      const Vec3 rc = apply(r_, c);
      Vec3 out{};
      for (int axis = 0; axis < 3; ++axis) out[axis] = approx_.m * rc[axis] + approx_.t[kTranslationOfAxis[axis]];
      return out;
    }
    double a[3][7], l[3];
    rows(c, Vec3{}, a, l);
    Vec3 out = c;
    for (int row = 0; row < 3; ++row) {
      double v = 0.0;
      for (int j = 0; j < groups_.u; ++j) v += a[row][j] * (*x)(j, 0);
      out[kAxisOfRow[row]] += v;
    }
    return out;
  }

  // Adds the increment to the approximations (rigorous) or takes the
  // solution as the parameters (linearised).
  void update(const Matrix& x) {
    if (groups_.rotations) {
      for (int i = 0; i < 3; ++i) approx_.eps[i] += x(i, 0);
    }
    if (groups_.scale) approx_.m += x(groups_.scaleColumn, 0);
    if (groups_.translations) {
      for (int i = 0; i < 3; ++i) approx_.t[i] += x(groups_.translationColumn + i, 0);
    }
    prepare();
  }

  const Approximation& approximation() const noexcept { return approx_; }

  // Takes other start values for the approximations (rigorous model).
  void start(const Approximation& approximation) {
    approx_ = approximation;
    prepare();
  }

 private:
  void prepare() {
    if (kind_ != SpatialModel::Rigorous) return;
    const Mat3 z = rotZ(approx_.eps[2], false), xr = rotX(approx_.eps[1], false), y = rotY(approx_.eps[0], false);
    r_ = multiply(z, multiply(xr, y));
    d_[0] = multiply(z, multiply(xr, rotY(approx_.eps[0], true)));
    d_[1] = multiply(z, multiply(rotX(approx_.eps[1], true), y));
    d_[2] = multiply(rotZ(approx_.eps[2], true), multiply(xr, y));
  }

  SpatialModel kind_;
  Groups groups_;
  Approximation approx_;
  Mat3 r_{};
  Mat3 d_[3]{};
};

double norm3(const Matrix& x, int first) {
  return std::sqrt(x(first, 0) * x(first, 0) + x(first + 1, 0) * x(first + 1, 0) + x(first + 2, 0) * x(first + 2, 0));
}

// Both solutions agree in the size of every chosen group.
bool settled(const Groups& g, const Matrix& x, const Matrix& previous) {
  if (g.scale && std::fabs(std::fabs(x(g.scaleColumn, 0)) - std::fabs(previous(g.scaleColumn, 0))) >= kSettledScale) {
    return false;
  }
  if (g.rotations && std::fabs(norm3(x, 0) - norm3(previous, 0)) >= kSettledRotation) return false;
  if (g.translations && std::fabs(norm3(x, g.translationColumn) - norm3(previous, g.translationColumn)) >=
                            kSettledTranslation) {
    return false;
  }
  return true;
}

struct Reduced {
  Vec3 c;  // source, reduced, file order
  Vec3 g;  // target, reduced, file order
};

// Start values of the rigorous model. From zero rotations the Gauss–Newton
// iteration finds a datum shift (rotations of arc seconds) in a few passes,
// but from a rotation of tens of degrees it can settle on a wrong
// stationary point (a negative scale, a system turned over) or meet
// singular normal equations on the way. Horn's closed form (B. K. P. Horn,
// Closed-form solution of absolute orientation using unit quaternions,
// J. Opt. Soc. Am. A 4 (1987) 629–642) gives the rotation that best turns
// the reduced source points onto the reduced target points: the unit
// quaternion is the eigenvector of the largest eigenvalue of a symmetric
// 4 × 4 matrix of their cross moments. Below 1° the iteration starts from
// zero as before, so that the results of ordinary datum shifts do not move
// by a digit; the scale starts as the least-squares factor under that
// rotation, the reduced translations at zero.
const double kLargeRotation = 1.0 / kDegreesPerRadian;  // radians

bool closedFormStart(const std::vector<Reduced>& reduced, const Groups& groups, Approximation& start) {
  Mat3 s{};  // s[a][b] = Σ c_a·g_b
  for (const Reduced& p : reduced) {
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) s[a][b] += p.c[a] * p.g[b];
    }
  }
  const std::array<std::array<double, 4>, 4> n = {{
      {s[0][0] + s[1][1] + s[2][2], s[1][2] - s[2][1], s[2][0] - s[0][2], s[0][1] - s[1][0]},
      {s[1][2] - s[2][1], s[0][0] - s[1][1] - s[2][2], s[0][1] + s[1][0], s[2][0] + s[0][2]},
      {s[2][0] - s[0][2], s[0][1] + s[1][0], -s[0][0] + s[1][1] - s[2][2], s[1][2] + s[2][1]},
      {s[0][1] - s[1][0], s[2][0] + s[0][2], s[1][2] + s[2][1], -s[0][0] - s[1][1] + s[2][2]},
  }};
  const SymmetricEigen<4> eigen = DecomposeSymmetric<4>(n);
  int largest = 0;
  for (int k = 1; k < 4; ++k) {
    if (eigen.values[k] > eigen.values[largest]) largest = k;
  }
  const double q0 = eigen.vectors[0][largest], qx = eigen.vectors[1][largest], qy = eigen.vectors[2][largest],
               qz = eigen.vectors[3][largest];
  const double angle = 2.0 * std::acos(std::min(1.0, std::fabs(q0)));
  if (!(angle >= kLargeRotation)) return false;
  const Mat3 r = {{{q0 * q0 + qx * qx - qy * qy - qz * qz, 2 * (qx * qy - q0 * qz), 2 * (qx * qz + q0 * qy)},
                   {2 * (qy * qx + q0 * qz), q0 * q0 - qx * qx + qy * qy - qz * qz, 2 * (qy * qz - q0 * qx)},
                   {2 * (qz * qx - q0 * qy), 2 * (qz * qy + q0 * qx), q0 * q0 - qx * qx - qy * qy + qz * qz}}};
  // R = Rz(ε3)·Rx(ε2)·Ry(ε1): R₃₂ = sin ε2, R₃₁ = −cos ε2·sin ε1, R₃₃ = cos ε2·cos ε1,
  // R₁₂ = −sin ε3·cos ε2, R₂₂ = cos ε3·cos ε2.
  start = Approximation{};
  start.eps = {std::atan2(-r[2][0], r[2][2]), std::asin(std::clamp(r[2][1], -1.0, 1.0)), std::atan2(-r[0][1], r[1][1])};
  if (groups.scale) {
    double along = 0.0, squares = 0.0;
    for (const Reduced& p : reduced) {
      const Vec3 rc = apply(r, p.c);
      for (int i = 0; i < 3; ++i) along += p.g[i] * rc[i], squares += p.c[i] * p.c[i];
    }
    if (squares > 0.0 && along > 0.0) start.m = along / squares;
  }
  return true;
}

}  // namespace

int EstimateSpatial(EstimationJob& job, SpatialModel kind, const EstimationOptions3D& options, JobHost& host,
                    TransformationSet* set, EstimationSummary* summary) {
  const LanguageTable& table = host.language();
  const bool rigorous = kind == SpatialModel::Rigorous;
  const int method = options.type;
  const Groups groups(options);

  if (!ReadEstimationPoints(job, ReadPointFile3D, 3, host)) return 0;
  if (!CheckCoordinates(host, job.identical)) return 0;
  const int n = static_cast<int>(job.identical.size());

  // Centroids, file order. The adjustment works on reduced coordinates
  // whenever translations are estimated (coordinates near 6e6 m would
  // otherwise cost the normal equations about 13 digits); without "Center"
  // the translations are turned back into the unreduced frame. Without
  // translations and centring the model has no room for a reduction.
  Vec3 cS{}, cT{};
  const bool reduce = options.center != 0 || groups.translations;
  if (reduce) {
    for (const IdenticalPoint& p : job.identical) {
      cS[0] += p.sourceX, cS[1] += p.sourceY, cS[2] += p.sourceZ;
      cT[0] += p.targetX, cT[1] += p.targetY, cT[2] += p.targetZ;
    }
    for (int i = 0; i < 3; ++i) cS[i] /= n, cT[i] /= n;
  }
  std::vector<Reduced> reduced;
  reduced.reserve(job.identical.size());
  std::vector<std::array<double, 3>> sourcePoints, targetPoints;
  sourcePoints.reserve(job.identical.size());
  targetPoints.reserve(job.identical.size());
  for (const IdenticalPoint& p : job.identical) {
    reduced.push_back({{p.sourceX - cS[0], p.sourceY - cS[1], p.sourceZ - cS[2]},
                       {p.targetX - cT[0], p.targetY - cT[1], p.targetZ - cT[2]}});
    sourcePoints.push_back({p.sourceX, p.sourceY, p.sourceZ});
    targetPoints.push_back({p.targetX, p.targetY, p.targetZ});
  }
  // Rotations turn about the reduction point (the origin when nothing is
  // reduced) and need points off every line through it; a scale needs points
  // away from it. The normal equations call only exact cases singular.
  const SpreadNeed need = groups.rotations ? SpreadNeed::Plane : groups.scale ? SpreadNeed::Extent : SpreadNeed::None;
  if (!CheckSpread(host, sourcePoints, cS, need) || !CheckTargetSpread(host, targetPoints, cT, need)) return 0;

  // The adjustment: the L1 (or least-squares) loop on the rows at the
  // current approximations; for the rigorous model inside a Gauss–Newton
  // loop that applies each solution until it has settled.
  host.setProgressLines(kRunningText, "");
  Model model(kind, groups);
  // Rotation 2 of the points' closed-form rotation, when the rigorous model
  // starts from it (NaN otherwise).
  double closedFormSecond = std::numeric_limits<double>::quiet_NaN();
  if (rigorous && groups.rotations) {
    Approximation start;
    if (closedFormStart(reduced, groups, start)) {
      model.start(start);
      closedFormSecond = start.eps[1];
    }
  }
  auto rowsExcept = [&](std::size_t skip, auto&& add) {
    double a[3][7], l[3];
    for (std::size_t i = 0; i < reduced.size(); ++i) {
      if (i == skip) continue;
      model.rows(reduced[i].c, reduced[i].g, a, l);
      for (int r = 0; r < 3; ++r) add(a[r], l[r], 1.0);
    }
  };
  auto rows = [&](auto&& add) { rowsExcept(reduced.size(), add); };
  // A cancelled run ends every loop at once; it is dropped after them.
  auto settledTest = [&](const Matrix& now, const Matrix& before) {
    return settled(groups, now, before) || host.cancelled();
  };
  Matrix x(groups.u, 1, 0.0), qxx;
  double passThrough = -1.0;
  int outer = 0, innerSum = 0;
  bool lastApplied = false, converged = true, singular = false, innerCapped = false;
  if (rigorous) {
    Matrix previousOuter(groups.u, 1, 0.0);
    for (;;) {
      const AdjustmentSolution inner = SolveAdjustment(groups.u, method == 0, rows, settledTest, [&](int j) {
        host.setProgressLines(kRunningText, method == 0 ? table.format(str::ProgressOuterInner, {outer + 1, j + 1})
                                                        : table.format(str::ProgressOuter, {outer + 1}));
      });
      if (inner.singular) {
        singular = true;
        break;
      }
      if (host.cancelled()) break;
      x = inner.x;
      qxx = inner.qxx;
      passThrough = inner.passThrough;
      innerSum += inner.counter;
      innerCapped = innerCapped || !inner.settled;
      converged = converged && inner.settled;
      if (outer > 0 && settled(groups, x, previousOuter)) {
        lastApplied = false;
        break;
      }
      ++outer;
      model.update(x);
      lastApplied = true;
      previousOuter = x;
      if (outer > kMaxPassIndex) {
        converged = false;
        break;
      }
    }
  } else {
    const AdjustmentSolution solution = SolveAdjustment(groups.u, method == 0, rows, settledTest, [&](int k) {
      host.setProgressLines(kRunningText, formatMessage("L1-Iteration: %5d", {k + 1}));
    });
    singular = solution.singular;
    x = solution.x;
    qxx = solution.qxx;
    passThrough = solution.passThrough;
    outer = solution.counter;
    converged = solution.settled;
  }
  host.endProgress();
  if (host.cancelled()) return 0;
  // A Gauss–Newton loop that ended at its limit has applied its last
  // solution: the cofactors (and the L1 floor) belong to the rows at the
  // approximations the residuals are taken at, or Qvv is no cofactor matrix
  // and T comes out negative.
  if (rigorous && lastApplied && !singular) {
    NormalEquations normal(groups.u);
    rows([&](const double* a, double l, double p) { normal.add(a, l, p); });
    Matrix ignored;
    if (normal.solve(qxx, ignored) != 1) singular = true;
    passThrough = ScanL1Residuals(rows, Matrix(groups.u, 1, 0.0)).passThrough;
  }
  if (singular) {
    // R = Rz(ε3)·Rx(ε2)·Ry(ε1): with ε2 at ±90° the first and third
    // rotations turn about one axis and only their sum is determined. The
    // points determine the transformation; these angles cannot express it.
    // Told so only when the points' own closed-form rotation is there: an
    // iteration that a gross error drives to 90° is no such case.
    constexpr double kGimbalCosine = 1e-3;  // within 0.06° of ±90°
    if (std::fabs(std::cos(closedFormSecond)) < kGimbalCosine) {
      host.message(str::RotationsNotSeparable, {ReduceDegrees(closedFormSecond * kDegreesPerRadian)});
    } else if (rigorous && outer > 0) {
      // The start was solvable: the iteration went astray.
      host.message(str::IterationLostItsWay, {outer + 1});
    } else {
      host.message(str::ModelNotDetermined);
    }
    return 0;
  }
  // The rigorous model carries its solution in the approximations; the
  // linearised one in x. `increment` is what is still to be added.
  const Matrix zero(groups.u, 1, 0.0);
  const Matrix& increment = rigorous ? (lastApplied ? zero : x) : x;
  // The Gauss–Newton loop ends when two increments are of one size, which
  // they also are when they do not shrink (a solution that circles or
  // grows): it has settled only when the increment left over would move no
  // identical point by more than the reports print.
  if (rigorous && !lastApplied && !(LargestMove(rows, x) <= kSettledMove)) converged = false;

  // Parameters as reported: rotations in degrees, scale, and translations
  // reduced (centred run) or in the files' frame (the transform of the
  // origin), as a function of the parameter vector p (the chosen groups in
  // the order of the unknowns), so that their standard deviations follow by
  // propagation.
  std::vector<double> p0;
  if (rigorous) {
    const Approximation& at = model.approximation();
    if (groups.rotations) p0.insert(p0.end(), at.eps.begin(), at.eps.end());
    if (groups.scale) p0.push_back(at.m);
    if (groups.translations) p0.insert(p0.end(), at.t.begin(), at.t.end());
  } else {
    for (int j = 0; j < groups.u; ++j) p0.push_back(x(j, 0));
  }
  struct Reported {
    Vec3 eps{};  // radians
    double scale = 0.0;
    Vec3 t{};
  };
  auto reportedAt = [&](const std::vector<double>& p) {
    Model at = model;
    Matrix solution(groups.u, 1, 0.0);
    for (int j = 0; j < groups.u; ++j) solution(j, 0) = p[static_cast<std::size_t>(j)] - (rigorous ? p0[static_cast<std::size_t>(j)] : 0.0);
    if (rigorous) at.update(solution);
    Reported out;
    out.scale = rigorous ? 1.0 : 0.0;
    if (rigorous) {
      out.eps = at.approximation().eps;
      out.scale = at.approximation().m;
      out.t = at.approximation().t;
    } else {
      if (groups.rotations) out.eps = {solution(0, 0), solution(1, 0), solution(2, 0)};
      if (groups.scale) out.scale = solution(groups.scaleColumn, 0);
      if (groups.translations) {
        out.t = {solution(groups.translationColumn, 0), solution(groups.translationColumn + 1, 0),
                 solution(groups.translationColumn + 2, 0)};
      }
    }
    if (options.center == 0 && reduce) {
      Vec3 origin = at.map({-cS[0], -cS[1], -cS[2]}, rigorous ? nullptr : &solution);
      for (int i = 0; i < 3; ++i) origin[i] += cT[i];
      out.t = {origin[1], origin[0], origin[2]};
    }
    return out;
  };
  auto reportedList = [&](const std::vector<double>& p) {
    const Reported r = reportedAt(p);
    std::vector<double> out;
    if (groups.rotations) {
      for (double e : r.eps) out.push_back(e * kDegreesPerRadian);
    }
    if (groups.scale) out.push_back(r.scale);
    if (groups.translations) out.insert(out.end(), r.t.begin(), r.t.end());
    return out;
  };
  const Reported shown = reportedAt(p0);
  const Vec3& t = shown.t;
  const double scaleValue = shown.scale;
  // The rigorous angles are periodic: a run that did not settle may have
  // wound them far beyond a turn, and a turn more says nothing.
  Vec3 degrees{};
  for (int i = 0; i < 3; ++i) {
    degrees[i] = shown.eps[i] * kDegreesPerRadian;
    if (rigorous) degrees[i] = ReduceDegrees(degrees[i]);
  }

  // Residuals, computed minus given, in row order (second, first, third
  // coordinate: Y, X, Z).
  double omega = 0.0;
  double a[3][7], l[3];
  for (std::size_t i = 0; i < job.identical.size(); ++i) {
    model.rows(reduced[i].c, reduced[i].g, a, l);
    double v[3];
    for (int r = 0; r < 3; ++r) {
      v[r] = -l[r];
      for (int j = 0; j < groups.u; ++j) v[r] += a[r][j] * increment(j, 0);
      omega += v[r] * v[r];
    }
    IdenticalPoint& p = job.identical[i];
    p.dY = v[0];
    p.dX = v[1];
    p.dZ = v[2];
  }

  // Gross-error test. After an L1 fit, a point the fit passes through is
  // tested against the others' fit; the rigorous model iterates that fit
  // from the final approximations to its own end (one linearised step from
  // there left a wrong lever point's pull in the others and accepted it).
  auto refitRigorous = [&](std::size_t skip) -> std::optional<Refitted> {
    Model at = model;
    auto others = [&](auto&& add) {
      double ra[3][7], rl[3];
      for (std::size_t j = 0; j < reduced.size(); ++j) {
        if (j == skip) continue;
        at.rows(reduced[j].c, reduced[j].g, ra, rl);
        for (int r = 0; r < 3; ++r) add(ra[r], rl[r], 1.0);
      }
    };
    Matrix before(groups.u, 1, 0.0);
    for (int pass = 0; pass <= kMaxPassIndex; ++pass) {
      const AdjustmentSolution inner = SolveAdjustment(groups.u, true, others, settledTest, [](int) {});
      if (inner.singular) return std::nullopt;
      // A step that moves no point by the reports' precision is the last:
      // for most points the one step is all the refit needs.
      const double largest = LargestMove(others, inner.x);
      at.update(inner.x);
      if (largest <= kSettledMove || (pass > 0 && settled(groups, inner.x, before))) break;
      before = inner.x;
    }
    // At the approximations the rows' misclosure l is given minus computed.
    Refitted out;
    double ra[3][7], rl[3];
    at.rows(reduced[skip].c, reduced[skip].g, ra, rl);
    out.d = Matrix(3, 1, 0.0);
    for (int r = 0; r < 3; ++r) out.d(r, 0) = -rl[r];
    others([&](const double*, double l, double) { out.omegaOthers += l * l; });
    return out;
  };
  const int redundancy = 3 * n - groups.u;
  std::vector<PointTest> tests;
  tests.reserve(job.identical.size());
  for (std::size_t i = 0; i < job.identical.size(); ++i) {
    const IdenticalPoint& p = job.identical[i];
    model.rows(reduced[i].c, reduced[i].g, a, l);
    Matrix design(3, groups.u, 0.0);
    for (int r = 0; r < 3; ++r) {
      for (int j = 0; j < groups.u; ++j) design(r, j) = a[r][j];
    }
    Matrix v(3, 1, 0.0);
    v(0, 0) = p.dY;
    v(1, 0) = p.dX;
    v(2, 0) = p.dZ;
    const GrossErrorResult result =
        method == 0
            ? TestAfterL1Fit(design, {1.0, 1.0, 1.0}, qxx, passThrough, v, omega, redundancy,
                             [&] {
                               return rigorous ? refitRigorous(i)
                                               : RefitLinear(groups.u, i, rowsExcept, settledTest, design, x, v);
                             })
            : TestForGrossError(design, {1.0, 1.0, 1.0}, qxx, v, omega, redundancy);
    tests.push_back({p.name,
                     {p.dY, p.dX, p.dZ},
                     {result.nabla(0, 0), result.nabla(1, 0), result.nabla(2, 0)},
                     result.T,
                     result.F,
                     result.outlier,
                     {"Y", "X", "Z"},
                     result.tested});
  }

  // Standard deviations: σ0 from the residuals and the cofactors of the
  // least-squares adjustment at the final parameters.
  const std::optional<double> sigma0 = UnitWeightSigma(omega, redundancy);
  std::vector<double> sigmas;
  if (sigma0) sigmas = PropagateSigma(qxx, *sigma0, p0, reportedList);

  const bool distribute = job.settings.interpolationActive == 1;
  RunNotices notices;
  notices.settled = converged;
  // The counter of the loop that did not settle: a reweighting loop at its
  // limit, else the linearisation.
  notices.passes = rigorous ? (innerCapped ? innerSum : outer) : (method == 0 ? outer : 1);
  notices.distributedOutliers = DistributedOutliers(tests, distribute);
  notices.redundancy = redundancy;
  notices.observationsPerPoint = 3;

  ReportFile report(table, job.settings.headerText, job.settings.userDefinedHeader, job.settings.includeDate);
  OutputFile output;
  if (!OpenEstimationFiles(job, host, report, output)) return 0;

  // Report head.
  report.WriteBanner();
  report.WriteTitleBox({str::TitleSpatial, rigorous ? str::TitleRigorous : str::TitleLinearised});
  report.WriteHeaderInfo();
  WriteOptionsSection(report, host, method, options.writeIdentical);
  report.write("\n");
  report.writeText(str::GroupsLine);
  if (groups.rotations) report.writeText(str::GroupRotations);
  if (groups.translations) report.writeText(str::GroupTranslations);
  if (groups.scale) report.writeText(str::GroupScale);
  report.write("\n");
  if (notices.any()) {
    WriteNotices(report, table, notices);
    report.write("\n");
  }
  const std::string columns = "%15s%15s%15s%15s\n";
  const std::string pointLine = "%15s%15.5f%15.5f%15.5f\n";
  const std::string pointColumn = utf8ToWindows1252(table.text(str::ColumnPoint));
  auto pointTable = [&](int titleId, int ruleLength, bool target) {
    report.separator();
    report.section(titleId, ruleLength);
    report.writeFormat(columns, {pointColumn, "X", "Y", "Z"});
    report.rule(60);
    for (const IdenticalPoint& p : job.identical) {
      if (target) {
        report.writeFormat(pointLine, {p.name, p.targetX, p.targetY, p.targetZ});
      } else {
        report.writeFormat(pointLine, {p.name, p.sourceX, p.sourceY, p.sourceZ});
      }
    }
    report.write("\n");
  };
  pointTable(str::SectionSourcePoints, 39, false);
  pointTable(str::SectionTargetPoints, 35, true);
  if (options.center != 0) {
    report.separator();
    report.section(str::SectionSourceCentroid, 27);
    report.writeFormat("X = %15.5f\nY = %15.5f\nZ = %15.5f\n\n\n", {cS[0], cS[1], cS[2]});
    report.section(str::SectionTargetCentroid, 27);
    report.writeFormat("X = %15.5f\nY = %15.5f\nZ = %15.5f\n\n\n", {cT[0], cT[1], cT[2]});
  }

  report.separator();
  report.section(options.center != 0 ? str::SectionParametersCentred : str::SectionParameters,
                 options.center != 0 ? 53 : 35);
  if (groups.scale) report.writeText(str::SpatialScale, {scaleValue});
  if (groups.rotations) {
    report.writeText(str::SpatialRotation1, {degrees[0]});
    report.writeText(str::SpatialRotation2, {degrees[1]});
    report.writeText(str::SpatialRotation3, {degrees[2]});
  }
  if (groups.translations) {
    report.writeText(str::SpatialTranslationY, {t[0]});
    report.writeText(str::SpatialTranslationX, {t[1]});
    report.writeText(str::SpatialTranslationZ, {t[2]});
  }
  report.write("\n");
  if (method == 0) report.writeText(str::InnerPassCount, {rigorous ? innerSum : outer});
  if (rigorous) report.writeText(str::OuterPassCount, {outer});
  report.write("\n");

  // Residuals and ∇, labelled by the axes they hold: the rows run second,
  // first, third coordinate, that is Y, X, Z of the files' "X Y Z".
  report.separator();
  report.section(str::SectionResiduals, 33);
  report.writeFormat(columns, {pointColumn, "DY", "DX", "DZ"});
  report.rule(61);
  for (const IdenticalPoint& p : job.identical) report.writeFormat(pointLine, {p.name, p.dY, p.dX, p.dZ});

  const TestTableLayout testLayout{48, {"NABLAY", "NABLAX", "NABLAZ"}, 64, false, str::SpatialTestLine, 64};
  WriteTestTableHead(report, table, testLayout);
  for (const PointTest& test : tests) {
    report.writeFormat("%16s%16.5f%16.5f%16.5f\n", {test.name, test.nabla[0], test.nabla[1], test.nabla[2]});
    WriteTestVerdict(report, table, testLayout, test);
  }

  // Every source point, written (c2', c1', c3') = (Y', X', Z'), with the
  // residuals of the identical points distributed in space when that is
  // switched on.
  report.separator();
  report.section(str::SectionTransformed, 21);
  report.writeFormat(columns, {pointColumn, "Y", "X", "Z"});
  report.rule(60);
  ResidualDistribution distribution(job.settings.interpolationType, job.settings.interpolationDistance, true);
  if (distribute) {
    for (const IdenticalPoint& p : job.identical) {
      distribution.add({p.targetY, p.targetX, p.targetZ, p.dY, p.dX, p.dZ});
    }
  }
  TransformedPointSink sink(output, options.writeIdentical);
  for (const IdenticalPoint& p : job.identical) sink.addIdentical(p.name);
  auto transform = [&](const Vec3& source) {
    const Vec3 c = {source[0] - cS[0], source[1] - cS[1], source[2] - cS[2]};
    Vec3 out = model.map(c, rigorous ? nullptr : &x);
    for (int i = 0; i < 3; ++i) out[i] += cT[i];
    return out;
  };
  std::string line;
  std::int64_t leftOut = 0;
  std::string firstLeftOut;
  for (const PointRecord& point : job.source) {
    if (host.cancelled()) return 0;  // report and output are never committed
    const Vec3 mapped = transform({point.X, point.Y, point.Z});
    double o1 = mapped[1], o2 = mapped[0], o3 = mapped[2];
    if (distribute) distribution.apply(o1, o2, o3);
    // A point far beyond the identical points (a damaged coordinate) can
    // leave the range of numbers; it is left out, not written as "inf".
    if (!std::isfinite(o1) || !std::isfinite(o2) || !std::isfinite(o3)) {
      if (leftOut++ == 0) firstLeftOut = point.name;
      continue;
    }
    report.writeFormat(pointLine, {point.name, o1, o2, o3});
    FormatPointLine3(line, point.name, o1, o2, o3, job.settings.decimalsCartesian);
    sink.write(point.name, line);
  }
  report.write("\n");

  if (!FinishEstimationRun(host, report, job.reportPath, output, job.outputPath, summary)) return 0;
  TellNotices(host, notices);
  if (leftOut > 0) TellLeftOut(host, leftOut, firstLeftOut);
  ResidualPlot plot = SpatialPlot(rigorous ? str::ListHelmert : str::ListHelmertL1, job.identical, tests);
  if (!job.plotPath.empty()) WriteResidualPlot(job.plotPath, plot, host);

  if (set != nullptr) {
    *set = TransformationSet{};
    set->type = rigorous ? 0 : 1;
    set->rotation = degrees;
    set->translation = t;
    set->scale = rigorous ? scaleValue : 1.0 + scaleValue;
    if (options.center != 0) set->auxiliary = {cS[1], cS[0], cS[2], cT[1], cT[0], cT[2]};
    for (const IdenticalPoint& p : job.identical) {
      set->points.push_back({p.name,
                             {p.sourceX, p.sourceY, p.sourceZ},
                             {p.targetX, p.targetY, p.targetZ},
                             {p.dY, p.dX, p.dZ},
                             {}});
    }
  }
  if (summary != nullptr) {
    summary->plot = std::move(plot);
    std::vector<EstimatedParameter> parameters;
    if (groups.rotations) {
      for (int i = 0; i < 3; ++i) parameters.push_back({"rotation" + std::to_string(i + 1), degrees[i], "deg", {}});
    }
    if (groups.scale) parameters.push_back({rigorous ? "scale" : "dm", scaleValue, "", {}});
    if (groups.translations) {
      for (int i = 0; i < 3; ++i) parameters.push_back({"t" + std::to_string(i + 1), t[i], "m", {}});
    }
    for (std::size_t i = 0; i < parameters.size() && i < sigmas.size(); ++i) parameters[i].sigma = sigmas[i];
    FillEstimationSummary(*summary, method, rigorous ? outer : notices.passes, omega, redundancy, std::move(parameters),
                          std::move(tests), static_cast<std::int64_t>(job.source.size() + job.target.size()),
                          sink.written(), n, notices);
    if (rigorous && method == 0) summary->reweightingPasses = innerSum;
    summary->pointsLeftOut = leftOut;
    summary->firstLeftOut = firstLeftOut;
    summary->linesUnreadable = job.linesUnreadable;
    summary->firstUnreadable = job.firstUnreadable;
  }
  return 1;
}

}  // namespace pelmar
