#include "estimation/SpatialEstimation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>

#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"
#include "adjust/ParameterPrecision.h"
#include "adjust/SymmetricEigen.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "text/MessageFormat.h"
#include "estimation/CartesianModel.h"
#include "estimation/EstimationSections.h"
#include "estimation/ReportFile.h"
#include "points/PointFile.h"
#include "stored/ProjPipeline.h"

namespace pelmar {

namespace {

constexpr double kSettledScale = 1e-9;
constexpr double kSettledRotation = 1e-12;   // radians
constexpr double kSettledTranslation = 1e-5;  // metres
const double kDegreesPerRadian = 180.0 / (4.0 * std::atan2(1.0, 1.0));

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

inline Vec3 apply(const Mat3& r, const Vec3& c) {
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
  void rows(const Vec3& c, const Vec3& g, double (*a)[PointRows::kMaxUnknowns], double l[3]) const {
    for (int r = 0; r < 3; ++r) std::fill(a[r], a[r] + PointRows::kMaxUnknowns, 0.0);
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
    double a[3][PointRows::kMaxUnknowns], l[3];
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

using Reduced = CartesianModel::Reduced;

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

// `each(f)` calls f with every point the start is taken from.
template <class EachPoint>
bool closedFormStart(const EachPoint& each, const Groups& groups, Approximation& start) {
  Mat3 s{};  // s[a][b] = Σ c_a·g_b
  each([&](const Reduced& p) {
    for (int a = 0; a < 3; ++a) {
      for (int b = 0; b < 3; ++b) s[a][b] += p.source[a] * p.target[b];
    }
  });
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
    each([&](const Reduced& p) {
      const Vec3 rc = apply(r, p.source);
      for (int i = 0; i < 3; ++i) along += p.target[i] * rc[i], squares += p.source[i] * p.source[i];
    });
    if (squares > 0.0 && along > 0.0) start.m = along / squares;
  }
  return true;
}

CartesianLayout spatialLayout() {
  CartesianLayout layout;
  layout.dimensions = 3;
  layout.read = ReadPointFile3D;
  layout.tableAxes = {1, 0, 2};  // the files' c1 c2 c3 tabulated as X, Y, Z
  layout.tableHeads = {"X", "Y", "Z"};
  layout.pointRule = 60;
  layout.sourceTitleRule = 39;
  layout.targetTitleRule = 35;
  layout.sourceCentroidRule = 27;
  layout.targetCentroidBlankLines = 2;
  layout.residualRule = 61;
  layout.residualBlankAfter = false;
  layout.test = {48, {"NABLAY", "NABLAX", "NABLAZ"}, 64, false, str::SpatialTestLine, 64};
  layout.blankBeforeTransformed = false;
  layout.distributesIdenticalOnly = false;
  layout.plot = SpatialPlot;
  return layout;
}

// The parameters as the report prints them.
struct Reported {
  Vec3 eps{};  // radians
  double scale = 0.0;
  Vec3 t{};
};

// The spatial Helmert transformation, rigorous (Gauss–Newton) or
// linearised (one loop), of the chosen parameter groups.
class SpatialEstimationModel final : public CartesianModel {
 public:
  SpatialEstimationModel(EstimationJob& job, SpatialModel kind, const EstimationOptions3D& options,
                         TransformationSet* set)
      : CartesianModel(job, spatialLayout(), options.type, options.writeIdentical, options.center, 3),
        rigorous_(kind == SpatialModel::Rigorous),
        groups_(options),
        state_(kind, groups_),
        set_(set) {}

  int unknowns() const override { return groups_.u; }

  bool RowsOf(std::size_t point, PointRows& rows) const override {
    const Reduced& p = reducedPoints_[point];
    state_.rows(p.source, p.target, rows.a, rows.l);
    rows.count = 3;
    rows.p[0] = rows.p[1] = rows.p[2] = 1.0;
    return true;
  }

  bool Settled(const Matrix& now, const Matrix& before) const override { return settled(groups_, now, before); }
  bool Iterates() const override { return rigorous_; }
  void Update(const Matrix& increment) override { state_.update(increment); }
  std::vector<double> Approximations() const override {
    const Approximation& a = state_.approximation();
    return {a.eps[0], a.eps[1], a.eps[2], a.m, a.t[0], a.t[1], a.t[2]};
  }
  // The start the run takes, from the points inside alone.
  void StartFor(const std::vector<char>& inside) override {
    auto each = [&](auto&& f) {
      for (std::size_t i = 0; i < identicalCount(); ++i) {
        if (inside[i]) f(reducedPoints_[i]);
      }
    };
    Approximation start;
    if (!(groups_.rotations && closedFormStart(each, groups_, start))) start = Approximation{};
    state_.start(start);
  }
  void RestoreApproximations(const std::vector<double>& saved) override {
    Approximation a;
    a.eps = {saved[0], saved[1], saved[2]};
    a.m = saved[3];
    a.t = {saved[4], saved[5], saved[6]};
    state_.start(a);
  }

  void ShowPass(JobHost& host, int outer, int pass) const override {
    const LanguageTable& table = host.language();
    if (!rigorous_) {
      host.setProgressLines(table.text(str::ProgressComputing), table.format(str::ProgressL1Pass, {pass + 1}));
    } else {
      host.setProgressLines(table.text(str::ProgressComputing),
                            method_ == 0 ? table.format(str::ProgressOuterInner, {outer + 1, pass + 1})
                                         : table.format(str::ProgressOuter, {outer + 1}));
    }
  }

  void TellSingular(JobHost& host, const Adjustment& adjustment) const override {
    // R = Rz(ε3)·Rx(ε2)·Ry(ε1): with ε2 at ±90° the first and third
    // rotations turn about one axis and only their sum is determined. The
    // points determine the transformation; these angles cannot express it.
    // Told so only when the points' own closed-form rotation is there: an
    // iteration that a gross error drives to 90° is no such case.
    constexpr double kGimbalCosine = 1e-3;  // within 0.06° of ±90°
    if (std::fabs(std::cos(closedFormSecond_)) < kGimbalCosine) {
      host.message(str::RotationsNotSeparable, {ReduceDegrees(closedFormSecond_ * kDegreesPerRadian)});
    } else if (rigorous_ && adjustment.outer > 0) {
      // The start was solvable: the iteration went astray.
      host.message(str::IterationLostItsWay, {adjustment.outer + 1});
    } else {
      host.message(str::ModelNotDetermined);
    }
  }

  // Rotations in degrees, the scale, and the translations reduced (centred
  // run) or in the files' frame (the transform of the origin), as functions
  // of the parameter vector (the chosen groups in the order of the
  // unknowns), so that their standard deviations follow by propagation.
  std::vector<EstimatedParameter> TakeParameters(const Adjustment& adjustment, std::optional<double> sigma0,
                                                 JobHost&) override {
    x_ = adjustment.x;
    p0_.clear();
    if (rigorous_) {
      const Approximation& at = state_.approximation();
      if (groups_.rotations) p0_.insert(p0_.end(), at.eps.begin(), at.eps.end());
      if (groups_.scale) p0_.push_back(at.m);
      if (groups_.translations) p0_.insert(p0_.end(), at.t.begin(), at.t.end());
    } else {
      for (int j = 0; j < groups_.u; ++j) p0_.push_back(x_(j, 0));
    }
    const Reported shown = ReportedAt(p0_);
    translation_ = shown.t;
    scale_ = shown.scale;
    // The rigorous angles are periodic: a run that did not settle may have
    // wound them far beyond a turn, and a turn more says nothing.
    for (int i = 0; i < 3; ++i) {
      degrees_[i] = shown.eps[i] * kDegreesPerRadian;
      if (rigorous_) degrees_[i] = ReduceDegrees(degrees_[i]);
    }
    std::vector<double> sigmas;
    if (sigma0) {
      sigmas = PropagateSigma(adjustment.qxx, *sigma0, p0_, [this](const std::vector<double>& p) {
        const Reported r = ReportedAt(p);
        std::vector<double> out;
        if (groups_.rotations) {
          for (double e : r.eps) out.push_back(e * kDegreesPerRadian);
        }
        if (groups_.scale) out.push_back(r.scale);
        if (groups_.translations) out.insert(out.end(), r.t.begin(), r.t.end());
        return out;
      });
    }
    std::vector<EstimatedParameter> parameters;
    if (groups_.rotations) {
      for (int i = 0; i < 3; ++i) parameters.push_back({"rotation" + std::to_string(i + 1), degrees_[i], "deg", {}});
    }
    if (groups_.scale) parameters.push_back({rigorous_ ? "scale" : "dm", scale_, "", {}});
    if (groups_.translations) {
      for (int i = 0; i < 3; ++i) parameters.push_back({"t" + std::to_string(i + 1), translation_[i], "m", {}});
    }
    for (std::size_t i = 0; i < parameters.size() && i < sigmas.size(); ++i) parameters[i].sigma = sigmas[i];
    return parameters;
  }

  // The counter of the loop that did not settle: a reweighting loop at its
  // limit, else the linearisation.
  RunCounters Counters(const Adjustment& adjustment) const override {
    RunCounters counters;
    if (rigorous_) {
      counters.notice = adjustment.innerCapped ? adjustment.innerSum : adjustment.outer;
      counters.summary = adjustment.outer;
      if (method_ == 0) counters.reweighting = adjustment.innerSum;
    } else {
      counters.notice = counters.summary = method_ == 0 ? adjustment.outer : 1;
    }
    return counters;
  }

  void WriteTitle(ReportFile& report) const override {
    report.WriteTitleBox({str::TitleSpatial, rigorous_ ? str::TitleRigorous : str::TitleLinearised});
  }

  void WriteOptions(ReportFile& report, JobHost& host, const RunNotices& notices) const override {
    WriteOptionsSection(report, host, method_, writeIdentical_);
    report.write("\n");
    report.writeText(str::GroupsLine);
    if (groups_.rotations) report.writeText(str::GroupRotations);
    if (groups_.translations) report.writeText(str::GroupTranslations);
    if (groups_.scale) report.writeText(str::GroupScale);
    report.write("\n");
    if (notices.any()) {
      WriteNotices(report, host.language(), notices);
      report.write("\n");
    }
  }

  void WriteParameters(ReportFile& report, const Adjustment& adjustment) const override {
    report.separator();
    report.section(center_ != 0 ? str::SectionParametersCentred : str::SectionParameters, center_ != 0 ? 53 : 35);
    if (groups_.scale) report.writeText(str::SpatialScale, {scale_});
    if (groups_.rotations) {
      report.writeText(str::SpatialRotation1, {degrees_[0]});
      report.writeText(str::SpatialRotation2, {degrees_[1]});
      report.writeText(str::SpatialRotation3, {degrees_[2]});
    }
    if (groups_.translations) {
      report.writeText(str::SpatialTranslationY, {translation_[0]});
      report.writeText(str::SpatialTranslationX, {translation_[1]});
      report.writeText(str::SpatialTranslationZ, {translation_[2]});
    }
    report.write("\n");
    if (method_ == 0) report.writeText(str::InnerPassCount, {rigorous_ ? adjustment.innerSum : adjustment.outer});
    if (rigorous_) report.writeText(str::OuterPassCount, {adjustment.outer});
    report.write("\n");
  }

  // The result set, type 0 (rigorous) or 1 (linearised).
  void Complete() override {
    if (set_ == nullptr) return;
    *set_ = TransformationSet{};
    set_->type = rigorous_ ? 0 : 1;
    set_->rotation = degrees_;
    set_->translation = translation_;
    set_->scale = rigorous_ ? scale_ : 1.0 + scale_;
    const Vec3& cS = sourceCentroid_;
    const Vec3& cT = targetCentroid_;
    if (center_ != 0) set_->auxiliary = {cS[1], cS[0], cS[2], cT[1], cT[0], cT[2]};
    for (const IdenticalPoint& p : job_.identical) {
      set_->points.push_back(
          {p.name, {p.sourceX, p.sourceY, p.sourceZ}, {p.targetX, p.targetY, p.targetZ}, {p.dY, p.dX, p.dZ}, {}});
    }
  }

 protected:
  Vec3 Map(const Vec3& reduced) const override { return state_.map(reduced, rigorous_ ? nullptr : &x_); }
  std::string ProjOf(const AffineMap& map) const override {
    HelmertStep step;
    return HelmertOf(map, rigorous_, step) ? ProjText(step) : std::string();
  }
  // Without translations and centring the model has no room for a reduction.
  bool Reduces() const override { return center_ != 0 || groups_.translations; }
  // Rotations turn about the reduction point (the origin when nothing is
  // reduced) and need points off every line through it; a scale needs
  // points away from it.
  SpreadNeed Need() const override {
    return groups_.rotations ? SpreadNeed::Plane : groups_.scale ? SpreadNeed::Extent : SpreadNeed::None;
  }
  void Prepare() override {
    reducedPoints_.resize(identicalCount());
    for (std::size_t i = 0; i < identicalCount(); ++i) reducedPoints_[i] = reduced(i);
    if (!rigorous_ || !groups_.rotations) return;
    Approximation start;
    auto each = [&](auto&& f) {
      for (const Reduced& p : reducedPoints_) f(p);
    };
    if (closedFormStart(each, groups_, start)) {
      state_.start(start);
      closedFormSecond_ = start.eps[1];
    }
  }
  int PlotTitle() const override { return rigorous_ ? str::ListHelmert : str::ListHelmertL1; }

 private:
  Reported ReportedAt(const std::vector<double>& p) const {
    Model at = state_;
    Matrix solution(groups_.u, 1, 0.0);
    for (int j = 0; j < groups_.u; ++j) {
      solution(j, 0) = p[static_cast<std::size_t>(j)] - (rigorous_ ? p0_[static_cast<std::size_t>(j)] : 0.0);
    }
    if (rigorous_) at.update(solution);
    Reported out;
    out.scale = rigorous_ ? 1.0 : 0.0;
    if (rigorous_) {
      out.eps = at.approximation().eps;
      out.scale = at.approximation().m;
      out.t = at.approximation().t;
    } else {
      if (groups_.rotations) out.eps = {solution(0, 0), solution(1, 0), solution(2, 0)};
      if (groups_.scale) out.scale = solution(groups_.scaleColumn, 0);
      if (groups_.translations) {
        out.t = {solution(groups_.translationColumn, 0), solution(groups_.translationColumn + 1, 0),
                 solution(groups_.translationColumn + 2, 0)};
      }
    }
    if (center_ == 0 && Reduces()) {
      const Vec3& cS = sourceCentroid_;
      Vec3 origin = at.map({-cS[0], -cS[1], -cS[2]}, rigorous_ ? nullptr : &solution);
      for (int i = 0; i < 3; ++i) origin[i] += targetCentroid_[i];
      out.t = {origin[1], origin[0], origin[2]};
    }
    return out;
  }

  bool rigorous_;
  Groups groups_;
  Model state_;
  TransformationSet* set_;
  // Rotation 2 of the points' closed-form rotation, when the rigorous model
  // starts from it (NaN otherwise).
  double closedFormSecond_ = std::numeric_limits<double>::quiet_NaN();
  // The points reduced to the centroids, at hand: the rigorous model works
  // its rows out afresh in every pass (some 130 over all points for an L1
  // fit), and reading them out of the identical points' records each time
  // took a tenth longer.
  std::vector<Reduced> reducedPoints_;
  Matrix x_;
  std::vector<double> p0_;
  Vec3 degrees_{}, translation_{};
  double scale_ = 0.0;
};

}  // namespace

int EstimateSpatial(EstimationJob& job, SpatialModel kind, const EstimationOptions3D& options, JobHost& host,
                    TransformationSet* set, EstimationSummary* summary) {
  SpatialEstimationModel estimation(job, kind, options, set);
  return RunEstimation(estimation, host, summary);
}

}  // namespace pelmar
