#include "estimation/SpatialEstimation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "adjust/FisherQuantile.h"
#include "adjust/GrossErrorTest.h"
#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/OutputFile.h"
#include "app/StringIds.h"
#include "app/TextEncoding.h"
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

}  // namespace

int EstimateSpatial(EstimationJob& job, SpatialModel kind, const EstimationOptions3D& options, JobHost& host,
                    TransformationSet* set, EstimationSummary* summary) {
  const LanguageTable& table = host.language();
  const bool rigorous = kind == SpatialModel::Rigorous;
  const int method = options.type;
  const Groups groups(options);

  ReportFile report(table, job.settings.headerText, job.settings.userDefinedHeader, job.settings.includeDate);
  OutputFile output;
  if (!OpenEstimationRun(job, ReadPointFile3D, 3, host, report, output)) return 0;
  const int n = static_cast<int>(job.identical.size());
  host.setProgressLines(kRunningText, "");

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
  if (options.center != 0) {
    report.separator();
    report.section(str::SectionSourceCentroid, 27);
    report.writeFormat("X = %15.5f\nY = %15.5f\nZ = %15.5f\n\n\n", {cS[0], cS[1], cS[2]});
    report.section(str::SectionTargetCentroid, 27);
    report.writeFormat("X = %15.5f\nY = %15.5f\nZ = %15.5f\n\n\n", {cT[0], cT[1], cT[2]});
  }
  std::vector<Reduced> reduced;
  reduced.reserve(job.identical.size());
  for (const IdenticalPoint& p : job.identical) {
    reduced.push_back({{p.sourceX - cS[0], p.sourceY - cS[1], p.sourceZ - cS[2]},
                       {p.targetX - cT[0], p.targetY - cT[1], p.targetZ - cT[2]}});
  }

  // The adjustment: the L1 (or least-squares) loop on the rows at the
  // current approximations; for the rigorous model inside a Gauss–Newton
  // loop that applies each solution until it has settled.
  Model model(kind, groups);
  auto rows = [&](auto&& add) {
    double a[3][7], l[3];
    for (const Reduced& p : reduced) {
      model.rows(p.c, p.g, a, l);
      for (int r = 0; r < 3; ++r) add(a[r], l[r], 1.0);
    }
  };
  auto settledTest = [&](const Matrix& now, const Matrix& before) { return settled(groups, now, before); };
  Matrix x(groups.u, 1, 0.0), qxx;
  int outer = 0, innerSum = 0, passes = 0;
  bool lastApplied = false, converged = true;
  if (rigorous) {
    Matrix previousOuter(groups.u, 1, 0.0);
    for (;;) {
      const AdjustmentSolution inner = SolveAdjustment(groups.u, method == 0, rows, settledTest, [&](int j) {
        host.setProgressLines(kRunningText, method == 0 ? table.format(str::ProgressOuterInner, {outer + 1, j + 1})
                                                        : table.format(str::ProgressOuter, {outer + 1}));
      });
      x = inner.x;
      qxx = inner.qxx;
      innerSum += inner.counter;
      converged = converged && inner.settled;
      ++passes;
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
    x = solution.x;
    qxx = solution.qxx;
    passes = solution.passes;
    outer = solution.counter;
    converged = solution.settled;
  }
  // The rigorous model carries its solution in the approximations; the
  // linearised one in x. `increment` is what is still to be added.
  const Matrix zero(groups.u, 1, 0.0);
  const Matrix& increment = rigorous ? (lastApplied ? zero : x) : x;

  // Parameters as reported: rotations in degrees, scale, and translations
  // reduced (centred run) or in the files' frame (the transform of the origin).
  auto transform = [&](const Vec3& source) {
    const Vec3 c = {source[0] - cS[0], source[1] - cS[1], source[2] - cS[2]};
    Vec3 out = model.map(c, rigorous ? nullptr : &x);
    for (int i = 0; i < 3; ++i) out[i] += cT[i];
    return out;
  };
  Vec3 eps{}, t{};
  double scaleValue = rigorous ? 1.0 : 0.0;
  if (rigorous) {
    eps = model.approximation().eps;
    scaleValue = model.approximation().m;
    t = model.approximation().t;
  } else {
    if (groups.rotations) eps = {x(0, 0), x(1, 0), x(2, 0)};
    if (groups.scale) scaleValue = x(groups.scaleColumn, 0);
    if (groups.translations) t = {x(groups.translationColumn, 0), x(groups.translationColumn + 1, 0),
                                  x(groups.translationColumn + 2, 0)};
  }
  if (options.center == 0 && reduce) {
    const Vec3 origin = transform(Vec3{});
    t = {origin[1], origin[0], origin[2]};
  }
  report.separator();
  report.section(options.center != 0 ? str::SectionParametersCentred : str::SectionParameters,
                 options.center != 0 ? 53 : 35);
  if (groups.scale) report.writeText(str::SpatialScale, {scaleValue});
  if (groups.rotations) {
    report.writeText(str::SpatialRotation1, {eps[0] * kDegreesPerRadian});
    report.writeText(str::SpatialRotation2, {eps[1] * kDegreesPerRadian});
    report.writeText(str::SpatialRotation3, {eps[2] * kDegreesPerRadian});
  }
  if (groups.translations) {
    report.writeText(str::SpatialTranslation1, {t[0]});
    report.writeText(str::SpatialTranslation2, {t[1]});
    report.writeText(str::SpatialTranslation3, {t[2]});
  }
  report.write("\n");
  if (method == 0) report.writeText(str::InnerPassCount, {rigorous ? innerSum : outer});
  if (rigorous) report.writeText(str::OuterPassCount, {outer});
  report.write("\n");

  // Residuals, computed minus given, in row order.
  report.separator();
  report.section(str::SectionResiduals, 33);
  report.writeFormat(columns, {pointColumn, "DX", "DY", "DZ"});
  report.rule(61);
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
    report.writeFormat(pointLine, {p.name, v[0], v[1], v[2]});
  }

  // Gross-error test.
  const TestTableLayout testLayout{48, {"NABLAX", "NABLAY", "NABLAZ"}, 64, false, str::SpatialTestLine, 64};
  WriteTestTableHead(report, table, testLayout);
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
    const GrossErrorResult result = TestForGrossError(design, {1.0, 1.0, 1.0}, qxx, v, omega, redundancy);
    const Matrix& nabla = result.nabla;
    const double test = result.T;
    const double quantile = result.F;
    const bool outlier = result.outlier;
    report.writeFormat("%16s%16.5f%16.5f%16.5f\n", {p.name, nabla(0, 0), nabla(1, 0), nabla(2, 0)});
    WriteTestVerdict(report, table, testLayout, test, quantile, outlier);
    tests.push_back(
        {p.name, {p.dY, p.dX, p.dZ}, {nabla(0, 0), nabla(1, 0), nabla(2, 0)}, test, quantile, outlier, {"Y", "X", "Z"}});
  }

  // Every source point, written (c2', c1', c3'), with the residuals of the
  // identical points distributed in space when that is switched on.
  report.separator();
  report.section(str::SectionTransformed, 21);
  report.writeFormat(columns, {pointColumn, "X", "Y", "Z"});
  report.rule(60);
  const bool distribute = job.settings.interpolationActive == 1;
  ResidualDistribution distribution(job.settings.interpolationType, job.settings.interpolationDistance, true);
  if (distribute) {
    for (const IdenticalPoint& p : job.identical) {
      distribution.add({p.targetY, p.targetX, p.targetZ, p.dY, p.dX, p.dZ});
    }
  }
  TransformedPointSink sink(output, options.writeIdentical);
  for (const IdenticalPoint& p : job.identical) sink.addIdentical(p.name);
  std::string line;
  for (const PointRecord& point : job.source) {
    const Vec3 mapped = transform({point.X, point.Y, point.Z});
    double o1 = mapped[1], o2 = mapped[0], o3 = mapped[2];
    if (distribute) distribution.apply(o1, o2, o3);
    report.writeFormat(pointLine, {point.name, o1, o2, o3});
    FormatPointLine3(line, point.name, o1, o2, o3, job.settings.decimalsCartesian);
    sink.write(point.name, line);
  }
  report.write("\n");
  host.endProgress();

  if (!FinishEstimationRun(host, report, job.reportPath, output, job.outputPath)) return 0;

  if (set != nullptr) {
    *set = TransformationSet{};
    set->type = rigorous ? 0 : 1;
    for (int i = 0; i < 3; ++i) set->rotation[i] = eps[i] * kDegreesPerRadian;
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
    std::vector<EstimatedParameter> parameters;
    if (groups.rotations) {
      for (int i = 0; i < 3; ++i) {
        parameters.push_back({"rotation" + std::to_string(i + 1), eps[i] * kDegreesPerRadian, "deg"});
      }
    }
    if (groups.scale) parameters.push_back({rigorous ? "scale" : "dm", scaleValue, ""});
    if (groups.translations) {
      for (int i = 0; i < 3; ++i) parameters.push_back({"t" + std::to_string(i + 1), t[i], "m"});
    }
    FillEstimationSummary(*summary, method, passes, omega, 3 * n - groups.u, std::move(parameters), std::move(tests),
                          static_cast<std::int64_t>(job.source.size() + job.target.size()), sink.written(), n,
                          converged);
  }
  return 1;
}

}  // namespace pelmar
