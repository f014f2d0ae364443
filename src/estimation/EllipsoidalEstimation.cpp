#include "estimation/EllipsoidalEstimation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "adjust/GrossErrorTest.h"
#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"
#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EstimationRun.h"
#include "estimation/EstimationSections.h"
#include "estimation/ReportFile.h"
#include "estimation/ResidualDistribution.h"
#include "stored/ProjPipeline.h"
#include "points/LineFormatters.h"

// The estimation of a datum transformation in ellipsoidal coordinates, as
// the estimation page's fifth computation defines it, with these departures
// where the defined behaviour gives plainly wrong numbers:
//  - the L1 fit weights each row by √p (it minimises Σ√p·|v|); dividing by
//    √p would give the less accurate observations more influence and follow
//    the heights (metres) a thousand times more than the positions (arc
//    seconds);
//  - the prior information on the translations is three pseudo-observations
//    t = 0 with the weight s0²/sTrans² in both methods (for least squares
//    this is the defined diagonal term); as observations they count in Ω,
//    σ0 and the redundancy. The gross-error test takes the points' own Ω
//    without the point (the prior's share under the solution without it
//    taken out) and the points' share of the redundancy: with the prior's
//    Ω and rows counted, a loose prior flagged up to 31 % of clean points,
//    and with Ω of the points but the prior in Qxx, T₀ exceeded Ω for every
//    sizeable error and the point was accepted. A prior that the points
//    contradict (remaining translations beyond 3·sTrans) is told;
//  - singular normal equations (a parameter the points do not determine)
//    stop the run with a message instead of printing what the inversion
//    left;
//  - every transformed point is compared with the rigorous cartesian form
//    of the same model (the PROJ pipeline of the summary), and a departure
//    above 1 mm is told; the largest departure at the identical points is
//    reported as the pipeline's fidelity;
//  - output longitudes are reduced to (−180°, 180°];
//  - the L1 loop has settled when the scale moves by less than 1e-11 between
//    passes (0.06 mm at the Earth's radius, like the 1e-5 m of the
//    translations), not 1e-5 (64 m);
//  - a longitude difference is taken modulo 360°;
//  - the residual distribution averages the position residuals over the
//    identical points with a position and the height residuals over those
//    with a height, each at the point's target position (its transformed
//    position for a height-only point), with Mercator distances reduced to
//    the ground;
//  - fewer observations than unknowns stop the run before the report is
//    created, and the options line about the output file is written once;
//  - the gross-error test of an L1 run tests every point against the
//    least-squares fit of the points the L1 residuals do not set aside
//    (TestAfterL1 in EstimationStages.h), in which a full-size residual is
//    no longer what makes T₀ exceed Ω;
//  - a point that cannot be tested (too little redundancy for its
//    observations) reads "not tested", and the report ends its test table
//    with the run's notices.

namespace pelmar {

namespace {

constexpr double kSettledRotation = 3e-6;     // arc seconds
constexpr double kSettledTranslation = 1e-5;  // metres
constexpr double kSettledScale = 1e-11;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

enum Row { kRowB = 0, kRowL = 1, kRowH = 2 };

double wrapDegrees(double d) {
  d = std::fmod(d, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d <= -180.0) d += 360.0;
  return d;
}

void normaliseSwitch(int& value) {
  if (value < 0 || value > 2) value = 0;
}

// Metres per arc second north and east at latitude B (degrees) on the ellipsoid.
void metresPerSecond(const EllipsoidRecord& e, double B, double& north, double& east) {
  const EllipsoidRadii r = RadiiAt(e.a, e.b, B / kRhoDegrees);
  north = r.M / kRhoSeconds;
  east = r.N * std::cos(B / kRhoDegrees) / kRhoSeconds;
}

double groupNorm(const Matrix& x, int first, int count) {
  double sum = 0.0;
  for (int i = first; i < first + count; ++i) sum += x(i, 0) * x(i, 0);
  return std::sqrt(sum);
}

// The transformation of one source point with the unknowns x over the
// chosen columns: pre-translation, rows, changes.
bool transformPoint(ProjectionLibrary& library, const EllipsoidRecord& source, const EllipsoidRecord& target,
                    const EllipsoidalGroups& groups, const std::array<double, 3>* shift, const double* x, double B,
                    double L, double h, std::array<double, 3>& out) {
  if (shift != nullptr && !PreTranslate(library, source, *shift, B, L, h)) return false;
  EllipsoidalRows rows;
  if (!BuildEllipsoidalRows(library, source, target, groups, B, L, h, rows)) return false;
  out = ApplyEllipsoidalRows(rows, groups, x);
  out[1] = wrapDegrees(out[1]);
  // The differential model's steps in B and L are singular at the poles: a
  // point some 100 m from one can be moved past it, to a latitude above 90°
  // that no file may hold. Such a point is left out, not written.
  return std::fabs(out[0]) <= 90.0 && std::isfinite(out[1]) && std::isfinite(out[2]);
}

}  // namespace

void FormatEllipsoidalPointLine(std::string& line, std::string_view name,
                                const std::array<double, 3>& p, bool dms, int decimalsGeographic,
                                int decimalsMetric) {
  if (dms) {
    FormatPointLineDms2H(line, name, SplitDegrees(p[0], decimalsGeographic), SplitDegrees(p[1], decimalsGeographic),
                         p[2], decimalsGeographic, decimalsMetric);
  } else {
    FormatPointLine3H(line, name, p[0], p[1], p[2], decimalsGeographic, decimalsMetric);
  }
}

void EstimationOptions3DBL::load(const SettingsStore& store) {
  LoadSection(store, *this);
  for (int* value : {&writeIdentical, &scale, &rotations, &translations, &saveParams, &savePointInfo, &individual,
                     &preTranslate, &prior}) {
    normaliseSwitch(*value);
  }
  if (type != 0 && type != 1) type = 1;
  if (scaleType != 0 && scaleType != 1) scaleType = 0;
}

const char* EstimationOptions3DBL::invalidKey() const {
  const std::pair<const char*, double> sigmas[] = {
      {"s0", s0}, {"sPlanSrc", sPlanSource}, {"sHeightSrc", sHeightSource}, {"SPlanTarget", sPlanTarget},
      {"sHeight", sHeightTarget}};
  // Beyond these a value is a typing error, and its square or inverse would
  // leave the range where the weights stay finite.
  auto usable = [](double sigma) { return sigma >= 1e-9 && sigma <= 1e6; };
  for (const auto& [key, value] : sigmas) {
    if (!usable(value)) return key;
  }
  if (priorActive() && !usable(sTrans)) return "sTrans";
  if (preTranslate != 0) {
    const std::pair<const char*, double> shifts[] = {{"tx", tx}, {"ty", ty}, {"tz", tz}};
    for (const auto& [key, value] : shifts) {
      if (!(std::fabs(value) <= kLargestShift)) return key;
    }
  }
  return nullptr;
}

bool MapType2(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
              std::array<double, 3>& out) {
  const EllipsoidalGroups groups{true, true, 1};
  EllipsoidalParameters parameters;
  for (int i = 0; i < 3; ++i) parameters.rotationSeconds[i] = set.rotation[i] * 3600.0;
  parameters.translation = set.translation;
  parameters.planScale = parameters.heightScale = set.scale - 1.0;
  double x[EllipsoidalRows::kMaxUnknowns] = {};
  ParametersToUnknowns(parameters, groups, x);
  const bool shifted = set.preTranslation != std::array<double, 3>{};
  return transformPoint(library, set.sourceEllipsoid, set.targetEllipsoid, groups,
                        shifted ? &set.preTranslation : nullptr, x, B, L, h, out);
}

namespace {

// The observation rows of one identical point, kept for every pass.
struct EllipsoidalPointRows {
  int count = 0;
  int which[3] = {};  // kRowB, kRowL, kRowH
  double a[3][EllipsoidalRows::kMaxUnknowns] = {};
  double l[3] = {};
  double p[3] = {};
  double northScale = 0.0, eastScale = 0.0;  // metres per arc second of the target point
  bool usable = true;
};

class EllipsoidalEstimationModel final : public EstimationModel {
 public:
  static constexpr bool kUnitWeights = false;  // weights from the points' accuracies

  EllipsoidalEstimationModel(EllipsoidalJob& job, ProjectionLibrary& library)
      : job_(job),
        o_(job.options),
        library_(library),
        dms_(job.settings.formatGeographic != 0),
        method_(o_.type == 0 ? 0 : 1),
        groups_(o_.groups()),
        u_(groups_.unknowns()),
        prior_(o_.priorActive() && groups_.translations),
        shift_{o_.tx, o_.ty, o_.tz},
        preShift_(o_.preTranslate != 0 ? &shift_ : nullptr),
        priorWeight_(o_.s0 * o_.s0 / (o_.sTrans * o_.sTrans)) {}

  bool ReadAndPair(JobHost& host) override {
    if (!CanStart(host)) return false;
    if (!CheckDistinctFiles({job_.sourcePath, job_.targetPath}, {job_.reportPath, job_.outputPath, job_.plotPath},
                            host)) {
      return false;
    }
    job_.source.clear();
    job_.target.clear();
    job_.identical.clear();
    if (!ReadSide(job_.sourcePath, ReadEllipsoidalSource, job_.source, sourceNotes_, str::SourceUnreadable,
                  str::NoSourcePointRead, host) ||
        !ReadSide(job_.targetPath, ReadEllipsoidalTarget, job_.target, targetNotes_, str::TargetUnreadable,
                  str::NoTargetPointRead, host)) {
      return false;
    }
    std::unordered_map<std::string_view, std::size_t> firstByName;
    firstByName.reserve(job_.target.size());
    for (std::size_t i = 0; i < job_.target.size(); ++i) firstByName.emplace(job_.target[i].name, i);
    for (const EllipsoidalPoint& s : job_.source) {
      const auto it = firstByName.find(s.name);
      if (it != firstByName.end()) job_.identical.push_back({s, job_.target[it->second]});
    }
    return true;
  }

  // The observation rows of every identical point, on the pre-translated
  // source coordinates. A point the library cannot convert is left out.
  bool CheckGeometry(JobHost& host) override {
    rows_.assign(job_.identical.size(), {});
    int observations = prior_ ? 3 : 0;  // prior information counts when the run is sized
    for (std::size_t i = 0; i < job_.identical.size(); ++i) {
      if (!BuildRows(job_.identical[i], rows_[i])) {
        rows_[i].usable = false;
        if (leftOut_++ == 0) firstLeftOut_ = job_.identical[i].source.name;
        continue;
      }
      observations += rows_[i].count;
    }
    if (leftOut_ > 0) host.message(str::PointsLeftOut, {leftOut_, firstLeftOut_});
    const bool anyUsable = std::any_of(rows_.begin(), rows_.end(), [](const EllipsoidalPointRows& r) { return r.usable; });
    if (job_.identical.empty()) {
      host.message(str::TooFewIdenticalPoints, {0, 1});
      return false;
    }
    if (!anyUsable || u_ == 0 || observations < u_) {
      // Counted without the prior information's three rows, which stand in
      // for three of the unknowns.
      const int priorRows = prior_ ? 3 : 0;
      host.message(str::TooFewObservations, {observations - priorRows, std::max(u_ - priorRows, 1)});
      return false;
    }
    return true;
  }

  RunFiles files() const override {
    return {job_.reportPath, job_.outputPath, job_.plotPath, &job_.settings, "",
            GeographicColumns(dms_)};
  }
  int method() const override { return method_; }
  int writeIdentical() const override { return o_.writeIdentical; }
  int unknowns() const override { return u_; }
  std::size_t identicalCount() const override { return job_.identical.size(); }
  const std::string& identicalName(std::size_t point) const override { return job_.identical[point].source.name; }

  bool RowsOf(std::size_t point, PointRows& rows) const override {
    const EllipsoidalPointRows& pr = rows_[point];
    if (!pr.usable) return false;
    rows.count = pr.count;
    static_assert(EllipsoidalRows::kMaxUnknowns == PointRows::kMaxUnknowns);
    for (int r = 0; r < pr.count; ++r) {
      std::copy(pr.a[r], pr.a[r] + PointRows::kMaxUnknowns, rows.a[r]);  // whole rows: a fixed-size copy
      rows.l[r] = pr.l[r];
      rows.p[r] = pr.p[r];
    }
    return true;
  }

  // The prior information: pseudo-observations t = 0 of the remaining
  // translations with the weight s0²/sTrans².
  void PriorRows(PointRows& rows) const override {
    rows.count = prior_ ? 3 : 0;
    for (int r = 0; r < rows.count; ++r) {
      std::fill(rows.a[r], rows.a[r] + u_, 0.0);
      rows.a[r][groups_.translationColumn() + r] = 1.0;
      rows.l[r] = 0.0;
      rows.p[r] = priorWeight_;
    }
  }

  bool Settled(const Matrix& x, const Matrix& previous) const override {
    const int t = groups_.translationColumn(), m = groups_.scaleColumn();
    if (groups_.rotations && std::fabs(groupNorm(x, 0, 3) - groupNorm(previous, 0, 3)) >= kSettledRotation) return false;
    if (groups_.translations && std::fabs(groupNorm(x, t, 3) - groupNorm(previous, t, 3)) >= kSettledTranslation) {
      return false;
    }
    for (int j = 0; j < groups_.scaleKind; ++j) {
      if (std::fabs(std::fabs(x(m + j, 0)) - std::fabs(previous(m + j, 0))) >= kSettledScale) return false;
    }
    return true;
  }

  void ShowPass(JobHost& host, int, int pass) const override {
    const LanguageTable& table = host.language();
    host.setProgressLines(table.text(str::EllipsoidalProgress),
                          method_ == 0 ? table.format(str::EllipsoidalPass, {pass + 1}) : std::string());
  }

  void TellSingular(JobHost& host, const Adjustment&) const override { host.message(str::NormalEquationsSingular); }

  // Residuals in metres: north and east from arc seconds at the target point.
  void KeepResiduals(std::size_t point, const double* rowValues, int count) override {
    const std::vector<double> axes = ToAxes(point, rowValues, count);
    EllipsoidalIdenticalPoint& ip = job_.identical[point];
    for (int r = 0; r < count; ++r) {
      switch (rows_[point].which[r]) {
        case kRowB: ip.dN = axes[0]; break;
        case kRowL: ip.dE = axes[1]; break;
        default: ip.dh = axes[2]; break;
      }
    }
  }

  std::vector<double> ToAxes(std::size_t point, const double* rowValues, int count) const override {
    const EllipsoidalPointRows& pr = rows_[point];
    std::vector<double> axes(3, kNaN);
    for (int r = 0; r < count; ++r) {
      switch (pr.which[r]) {
        case kRowB: axes[0] = rowValues[r] * pr.northScale; break;
        case kRowL: axes[1] = rowValues[r] * pr.eastScale; break;
        default: axes[2] = rowValues[r]; break;
      }
    }
    return axes;
  }

  std::vector<std::string> AxisNames() const override { return {"N", "E", "h"}; }

  // The parameters in the full set and into the result set; standard
  // deviations from σ0 and the cofactors of the least-squares adjustment
  // with the a-priori weights.
  std::vector<EstimatedParameter> TakeParameters(const Adjustment& adjustment, std::optional<double> sigma0,
                                                 JobHost& host) override {
    const Matrix& x = adjustment.x;
    const int t = groups_.translationColumn(), m = groups_.scaleColumn();
    for (int j = 0; j < u_; ++j) xs_[j] = x(j, 0);
    EllipsoidalParameters& parameters = job_.parameters;
    parameters = {};
    if (groups_.rotations) {
      for (int i = 0; i < 3; ++i) parameters.rotationSeconds[i] = x(i, 0);
    }
    if (groups_.translations) {
      for (int i = 0; i < 3; ++i) parameters.translation[i] = x(t + i, 0);
    }
    if (groups_.scaleKind >= 1) parameters.planScale = parameters.heightScale = x(m, 0);
    if (groups_.scaleKind == 2) parameters.heightScale = x(m + 1, 0);
    job_.set = TransformationSet{};
    job_.set.type = 2;
    for (int i = 0; i < 3; ++i) job_.set.rotation[i] = parameters.rotationSeconds[i] / 3600.0;
    job_.set.translation = parameters.translation;
    if (groups_.scaleKind == 1) job_.set.scale = 1.0 + parameters.planScale;
    job_.set.sourceEllipsoid = job_.sourceEllipsoid;
    job_.set.targetEllipsoid = job_.targetEllipsoid;
    if (preShift_ != nullptr) job_.set.preTranslation = shift_;
    TakeFidelity();
    if (prior_) {
      double largest = 0.0;
      for (double value : parameters.translation) largest = std::max(largest, std::fabs(value));
      if (largest > 3.0 * o_.sTrans) host.message(str::PriorContradicted, {largest, o_.sTrans});
    }
    auto sigmaOf = [&](int column) -> std::optional<double> {
      if (!sigma0) return std::nullopt;
      return *sigma0 * std::sqrt(std::fmax(adjustment.qxx(column, column), 0.0));
    };
    std::vector<EstimatedParameter> list;
    if (groups_.scaleKind == 1) list.push_back({"m", parameters.planScale, "", sigmaOf(m)});
    if (groups_.scaleKind == 2) {
      list.push_back({"mP", parameters.planScale, "", sigmaOf(m)});
      list.push_back({"mH", parameters.heightScale, "", sigmaOf(m + 1)});
    }
    if (groups_.rotations) {
      const char* names[3] = {"ex", "ey", "ez"};
      for (int i = 0; i < 3; ++i) list.push_back({names[i], parameters.rotationSeconds[i], "arcsec", sigmaOf(i)});
    }
    if (groups_.translations) {
      const char* names[3] = {"tx", "ty", "tz"};
      for (int i = 0; i < 3; ++i) list.push_back({names[i], parameters.translation[i], "m", sigmaOf(t + i)});
    }
    return list;
  }

  RunCounters Counters(const Adjustment& adjustment) const override {
    const int passes = method_ == 0 ? adjustment.counter : 1;
    return {passes, passes, std::nullopt};
  }

  void WriteTitle(ReportFile& report) const override {
    report.write(" " + std::string(77, '_') + "\n|" + std::string(77, ' ') + "|\n");
    report.writeText(str::TitleEllipsoidal1);
    report.write("|" + std::string(77, ' ') + "|\n");
    report.writeText(str::TitleEllipsoidal2);
    report.write("|" + std::string(77, '_') + "|\n");
  }

  void WriteOptions(ReportFile& report, JobHost& host, const RunNotices&) const override;
  void WritePointTables(ReportFile& report, const LanguageTable& table) const override;

  void WriteParameters(ReportFile& report, const Adjustment& adjustment) const override {
    const EllipsoidalParameters& parameters = job_.parameters;
    auto fidelity = [&] {
      if (std::isfinite(fidelity_)) report.writeText(str::ProjFidelity, {fidelity_});
    };
    report.separator();
    report.section(str::SectionParameters, 39);
    if (groups_.scaleKind == 1) report.writeText(str::EllipsoidalScale, {parameters.planScale});
    if (groups_.scaleKind == 2) {
      report.writeText(str::EllipsoidalPlanScale, {parameters.planScale});
      report.writeText(str::EllipsoidalHeightScale, {parameters.heightScale});
    }
    if (groups_.rotations) {
      report.writeText(str::EllipsoidalRotationX, {parameters.rotationSeconds[0]});
      report.writeText(str::EllipsoidalRotationY, {parameters.rotationSeconds[1]});
      report.writeText(str::EllipsoidalRotationZ, {parameters.rotationSeconds[2]});
    }
    if (groups_.translations) {
      report.writeText(str::SpatialTranslation1, {parameters.translation[0]});
      report.writeText(str::SpatialTranslation2, {parameters.translation[1]});
      report.writeText(str::SpatialTranslation3, {parameters.translation[2]});
    }
    report.write("\n");
    fidelity();
    if (method_ == 0) report.writeText(str::InnerPassCount, {adjustment.counter});
  }

  ResidualTableLayout ResidualLayout(const LanguageTable& table) const override {
    return {{utf8ToWindows1252(table.text(str::ColumnNorth)), utf8ToWindows1252(table.text(str::ColumnEast)), "Dh [m]"},
            61,
            false};
  }

  TestTableLayout TestLayout(const LanguageTable& table) const override {
    return {48,
            {utf8ToWindows1252(table.text(str::ColumnNablaNorth)), utf8ToWindows1252(table.text(str::ColumnNablaEast)),
             "NABLA_h [m]"},
            64,
            true,
            str::EllipsoidalTestLine,
            64};
  }

  // The report is written as the run goes, so the run's notices follow the test table.
  void WriteAfterTests(ReportFile& report, const LanguageTable& table, const RunNotices& notices) const override {
    if (!notices.any()) return;
    report.write("\n");
    WriteNotices(report, table, notices);
  }

  void WriteTransformedHead(ReportFile& report, const LanguageTable& table) const override {
    report.separator();
    report.write("\n");
    report.section(str::SectionTransformed, 21);
    WriteColumnHead(report, table);
  }

  std::size_t sourceCount() const override { return job_.source.size(); }
  const std::string& sourceName(std::size_t index) const override { return job_.source[index].name; }

  // Every transformed point is also compared with the rigorous cartesian
  // form of the same model (one scale only); the worst departure is told.
  bool Transform(std::size_t index, std::array<double, 3>& p) override {
    const EllipsoidalPoint& point = job_.source[index];
    if (!transformPoint(library_, job_.sourceEllipsoid, job_.targetEllipsoid, groups_, preShift_, xs_, point.B,
                        point.L, point.h, p) ||
        !Writable(p[0], p[1], p[2])) {
      return false;
    }
    if (groups_.scaleKind != 2) {
      const double departure = PipelineDeparture(job_.set, library_, point.B, point.L, point.h, p);
      if (departure > worstDeparture_) worstDeparture_ = departure, worstPoint_ = point.name;
    }
    return true;
  }

  void PrepareDistribution() override;

  // A local plane about the identical points' mean position: north = ΔB·a,
  // east = ΔL·a·cos B0 (metres; a the source ellipsoid's semi-major axis).
  void PreparePlan() override {
    double sumB = 0.0, sumL = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!rows_[i].usable) continue;
      sumB += job_.identical[i].source.B;
      sumL += job_.identical[i].source.L;
      ++count;
    }
    if (count > 0) planB0_ = sumB / count, planL0_ = sumL / count;
  }
  std::array<double, 2> PlanOfIdentical(std::size_t point) const override {
    return Plan(job_.identical[point].source.B, job_.identical[point].source.L);
  }
  std::array<double, 2> PlanOfSource(std::size_t index) const override {
    return Plan(job_.source[index].B, job_.source[index].L);
  }
  bool DistributeAll(std::vector<std::array<double, 3>>& points, const std::vector<char>& which,
                     const std::function<bool()>& cancelled) const override {
    return distribution_->applyAll(points, which, cancelled);
  }

  void ShowTransformProgress(JobHost& host, std::int64_t done, std::int64_t total) const override {
    if (done % 4096 != 0) return;
    const LanguageTable& table = host.language();
    host.setProgressLines(table.text(str::EllipsoidalProgress), table.format(str::PointsTransformed, {done, total}));
  }

  void FormatTransformed(std::size_t index, const std::array<double, 3>& p, std::string& reportLine,
                         std::string& outputLine) const override {
    const std::string& name = job_.source[index].name;
    reportLine = formatMessage("%15s", {name}) + Position(p[0], p[1]) + formatMessage("%15.5f\n", {p[2]});
    FormatEllipsoidalPointLine(outputLine, name, p, dms_, job_.settings.decimalsGeographic,
                               job_.settings.decimalsCartesian);
    if (job_.settings.keepRest != 0) AppendRest(outputLine, job_.source[index].rest);
  }

  void TellTransformed(JobHost& host, std::int64_t leftOut, const std::string& first) const override {
    // Identical points left out of the adjustment were told then.
    if (leftOut > 0 && leftOut_ == 0) host.message(str::PointsLeftOut, {leftOut, first});
    constexpr double kTolerableDeparture = 1e-3;  // metres
    if (worstDeparture_ > kTolerableDeparture) {
      host.message(str::LinearisationError, {worstDeparture_ * 1000.0, worstPoint_});
    }
  }

  // A height-only point stands in the plot where its source point does.
  ResidualPlot Plot(const std::vector<PointVerdict>& verdicts) const override {
    std::vector<GeographicPlotPoint> plotted;
    std::size_t next = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!rows_[i].usable) continue;
      const EllipsoidalIdenticalPoint& ip = job_.identical[i];
      const PointVerdict& verdict = verdicts[next++];
      const EllipsoidalPoint& at = ip.target.hasPosition ? ip.target : ip.source;
      plotted.push_back({ip.source.name, at.B, at.L, ip.target.hasPosition, ip.dN, ip.dE, ip.target.hasHeight, ip.dh,
                         verdict.outlier, verdict.tested});
    }
    return EllipsoidalPlot(str::ListEllipsoidal, plotted, job_.targetEllipsoid.a);
  }

  void Complete() override {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!rows_[i].usable) continue;
      const EllipsoidalIdenticalPoint& ip = job_.identical[i];
      job_.set.points.push_back({ip.source.name,
                                 {ip.source.B, ip.source.L, ip.source.h},
                                 {ip.target.B, ip.target.L, ip.target.h},
                                 {ip.dN, ip.dE, ip.dh},
                                 {}});
    }
  }

  std::int64_t PointsRead() const override {
    return static_cast<std::int64_t>(job_.source.size() + job_.target.size());
  }

  void CompleteSummary(EstimationSummary& summary) const override {
    summary.ellipsoids = {{"source", job_.sourceEllipsoid}, {"target", job_.targetEllipsoid}};
    summary.proj = SetPipeline(projSet_);
    if (std::isfinite(fidelity_)) summary.projFidelity = fidelity_;
    if (preShift_ != nullptr) summary.preTranslation = shift_;
    summary.linesUnreadable = sourceNotes_.unreadable + targetNotes_.unreadable;
    if (sourceNotes_.unreadable > 0) {
      summary.firstUnreadable = job_.sourcePath.string() + ":" + std::to_string(sourceNotes_.firstUnreadableLine);
    } else if (targetNotes_.unreadable > 0) {
      summary.firstUnreadable = job_.targetPath.string() + ":" + std::to_string(targetNotes_.firstUnreadableLine);
    }
  }

 private:
  bool CanStart(JobHost& host) const;
  bool ReadSide(const std::filesystem::path& path,
                int (*read)(const std::filesystem::path&, bool, ProjectionLibrary&, EllipsoidalPointList&,
                            PointFileNotes&),
                EllipsoidalPointList& points, PointFileNotes& notes, int unreadableId, int emptyId,
                JobHost& host) const;
  bool BuildRows(const EllipsoidalIdenticalPoint& ip, EllipsoidalPointRows& pr) const;

  // The PROJ pipeline of the result and its largest departure from the
  // model at the identical points.
  void TakeFidelity() {
    projSet_ = job_.set;
    // PROJ's helmert has one scale. A cartesian scale moves points near the
    // surface almost wholly in height, so the height scale stands for both;
    // the fidelity tells what the plan scale's difference costs.
    if (groups_.scaleKind == 2) projSet_.scale = 1.0 + job_.parameters.heightScale;
    fidelity_ = std::nan("");
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (!rows_[i].usable) continue;
      const EllipsoidalPoint& s = job_.identical[i].source;
      std::array<double, 3> p{};
      if (!transformPoint(library_, job_.sourceEllipsoid, job_.targetEllipsoid, groups_, preShift_, xs_, s.B, s.L,
                          s.h, p)) {
        continue;
      }
      const double departure = PipelineDeparture(projSet_, library_, s.B, s.L, s.h, p);
      if (std::isfinite(departure) && !(departure <= fidelity_)) fidelity_ = departure;
    }
  }
  void WriteColumnHead(ReportFile& report, const LanguageTable& table) const;
  // A geographic position as the report prints it: "%15.10f%15.10f" or two "%3d%3d%10.6f".
  std::string Position(double B, double L) const {
    if (!dms_) return formatMessage("%15.10f%15.10f", {B, L});
    const DmsAngle b = SplitDegrees(B, 6), l = SplitDegrees(L, 6);
    return formatMessage("%3d%3d%10.6f%3d%3d%10.6f", {b.degrees, b.minutes, b.seconds, l.degrees, l.minutes, l.seconds});
  }

  std::array<double, 2> Plan(double B, double L) const {
    const double a = job_.sourceEllipsoid.a;
    return {wrapDegrees(L - planL0_) / kRhoDegrees * a * std::cos(planB0_ / kRhoDegrees),
            (B - planB0_) / kRhoDegrees * a};
  }

  EllipsoidalJob& job_;
  const EstimationOptions3DBL& o_;
  double planB0_ = 0.0, planL0_ = 0.0;
  ProjectionLibrary& library_;
  bool dms_;
  int method_;
  EllipsoidalGroups groups_;
  int u_;
  bool prior_;
  std::array<double, 3> shift_;
  const std::array<double, 3>* preShift_;
  double priorWeight_;
  PointFileNotes sourceNotes_, targetNotes_;
  std::vector<EllipsoidalPointRows> rows_;
  std::int64_t leftOut_ = 0;  // identical points left out of the adjustment
  std::string firstLeftOut_;
  double xs_[EllipsoidalRows::kMaxUnknowns] = {};
  std::optional<EllipsoidalResidualDistribution> distribution_;
  double worstDeparture_ = 0.0;  // metres
  // The result as a PROJ pipeline (two scales as the height scale) and how far
  // it departs from the model at the identical points (metres; NaN: none).
  TransformationSet projSet_;
  double fidelity_ = std::nan("");
  std::string worstPoint_;
};

bool EllipsoidalEstimationModel::CanStart(JobHost& host) const {
  if (!library_.usable()) {
    host.message(str::ProjectionLibraryMissing);
    return false;
  }
  if (!(job_.sourceEllipsoid.a >= job_.sourceEllipsoid.b && job_.sourceEllipsoid.b > 0.0)) {
    host.message(str::SourceEllipsoidMissing);
    return false;
  }
  if (!(job_.targetEllipsoid.a >= job_.targetEllipsoid.b && job_.targetEllipsoid.b > 0.0)) {
    host.message(str::TargetEllipsoidMissing);
    return false;
  }
  if (const char* key = o_.invalidKey()) {
    const bool shift = key[0] == 't' && key[1] != '\0' && key[2] == '\0';  // tx, ty, tz
    host.message(shift ? str::NumberInRangeNeeded : str::PositiveNumberNeeded,
                 {std::string(EstimationOptions3DBL::kSection) + "." + key});
    return false;
  }
  return true;
}

bool EllipsoidalEstimationModel::ReadSide(const std::filesystem::path& path,
                                          int (*read)(const std::filesystem::path&, bool, ProjectionLibrary&,
                                                      EllipsoidalPointList&, PointFileNotes&),
                                          EllipsoidalPointList& points, PointFileNotes& notes, int unreadableId,
                                          int emptyId, JobHost& host) const {
  if (read(path, dms_, library_, points, notes) == 0) {
    host.message(unreadableId, {path.string()});
    return false;
  }
  if (notes.unreadable > 0) host.message(str::LinesUnreadable, {notes.unreadable, path.string(), notes.firstUnreadableLine});
  if (notes.duplicates > 0) host.message(str::DuplicateNames, {notes.duplicates, path.string(), utf8Name(notes.firstDuplicate)});
  if (points.empty()) {
    host.message(emptyId, {path.string()});
    return false;
  }
  return true;
}

bool EllipsoidalEstimationModel::BuildRows(const EllipsoidalIdenticalPoint& ip, EllipsoidalPointRows& pr) const {
  double B = ip.source.B, L = ip.source.L, h = ip.source.h;
  EllipsoidalRows design;
  if ((preShift_ != nullptr && !PreTranslate(library_, job_.sourceEllipsoid, shift_, B, L, h)) ||
      !BuildEllipsoidalRows(library_, job_.sourceEllipsoid, job_.targetEllipsoid, groups_, B, L, h, design)) {
    return false;
  }
  // Accuracies: the run's defaults, or the points' own.
  double sourceSigma[3] = {o_.sPlanSource, o_.sPlanSource, o_.sHeightSource};
  double targetSigma[3] = {o_.sPlanTarget, o_.sPlanTarget, o_.sHeightTarget};
  if (o_.individual != 0 && ip.source.individual) {
    sourceSigma[0] = ip.source.sN, sourceSigma[1] = ip.source.sE, sourceSigma[2] = ip.source.sh;
  }
  if (o_.individual != 0 && ip.target.individual) {
    if (ip.target.hasPosition) targetSigma[0] = ip.target.sN, targetSigma[1] = ip.target.sE;
    if (ip.target.hasHeight) targetSigma[2] = ip.target.sh;
  }
  const double s0Squared = o_.s0 * o_.s0;
  const double radians[3] = {
      std::hypot(targetSigma[0], sourceSigma[0]) / design.sourceRadii.M,
      std::hypot(targetSigma[1], sourceSigma[1]) / (design.sourceRadii.N * std::cos(B / kRhoDegrees)),
      std::hypot(targetSigma[2], sourceSigma[2])};
  const double weight[3] = {s0Squared / (radians[0] * radians[0] * kRhoSeconds * kRhoSeconds),
                            s0Squared / (radians[1] * radians[1] * kRhoSeconds * kRhoSeconds),
                            s0Squared / (radians[2] * radians[2])};
  const double observed[3] = {(ip.target.B - design.Bt) * 3600.0, wrapDegrees(ip.target.L - design.Lt) * 3600.0,
                              ip.target.h - design.ht};
  auto take = [&](int row) {
    const int r = pr.count++;
    pr.which[r] = row;
    std::copy(design.a[row], design.a[row] + u_, pr.a[r]);
    pr.l[r] = observed[row];
    pr.p[r] = weight[row];
  };
  if (ip.target.hasPosition) {
    take(kRowB);
    take(kRowL);
    metresPerSecond(job_.targetEllipsoid, ip.target.B, pr.northScale, pr.eastScale);
  }
  if (ip.target.hasHeight) take(kRowH);
  return true;
}
void EllipsoidalEstimationModel::WriteOptions(ReportFile& report, JobHost& host, const RunNotices&) const {
  const LanguageTable& table = host.language();
  report.section(str::SectionOptions, 32);
  report.writeText(str::MethodLine, {table.text(method_ == 0 ? str::MethodL1 : str::MethodLeastSquares)});
  report.write("\n");
  report.writeText(str::EllipsoidsLine);
  report.writeText(str::SourceEllipsoidLine, {windows1252ToUtf8(job_.sourceEllipsoid.name)});
  report.writeText(str::TargetEllipsoidLine, {windows1252ToUtf8(job_.targetEllipsoid.name)});
  report.write("\n");
  report.writeText(str::OutputLabel);
  report.writeText(str::IdenticalLine,
                   {table.text(o_.writeIdentical != 0 ? str::IdenticalWritten : str::IdenticalNotWritten)});
  report.write("\n");
  report.writeText(str::AccuraciesLine);
  report.writeText(str::AccuracyUnitWeight, {o_.s0});
  report.writeText(str::AccuracySourcePlan, {o_.sPlanSource});
  report.writeText(str::AccuracySourceHeight, {o_.sHeightSource});
  report.writeText(str::AccuracyTargetPlan, {o_.sPlanTarget});
  report.writeText(str::AccuracyTargetHeight, {o_.sHeightTarget});
  report.writeText(o_.individual != 0 ? str::AccuraciesIndividual : str::AccuraciesGlobal);
  report.write("\n");
  report.writeText(str::GroupsLine);
  if (groups_.rotations) report.writeText(str::GroupRotations);
  if (groups_.translations) report.writeText(str::GroupTranslations);
  if (groups_.scaleKind == 1) report.writeText(str::GroupOneScale);
  if (groups_.scaleKind == 2) report.writeText(str::GroupTwoScales);
  report.write("\n");
  if (preShift_ != nullptr) {
    report.writeText(str::PreTranslationLine);
    report.writeText(str::PreTranslationX, {o_.tx});
    report.writeText(str::PreTranslationY, {o_.ty});
    report.writeText(str::PreTranslationZ, {o_.tz});
  } else {
    report.writeText(str::NoPreTranslation);
  }
  report.write("\n");
  if (prior_) {
    report.writeText(str::PriorLine);
    report.writeText(str::PriorSigma, {o_.sTrans});
  } else {
    report.writeText(str::NoPrior);
  }
  report.write("\n");
  if (job_.settings.interpolationActive == 1) {
    report.writeText(str::DistributionLine);
    const int weighting = job_.settings.interpolationType;
    report.writeText(weighting == 0   ? str::DistributionInverse
                     : weighting == 1 ? str::DistributionInverseSquare
                                      : str::DistributionExponential);
  } else {
    report.writeText(str::NoDistribution);
  }
  report.write("\n");
}

void EllipsoidalEstimationModel::WriteColumnHead(ReportFile& report, const LanguageTable& table) const {
  const std::string pointColumn = utf8ToWindows1252(table.text(str::ColumnPoint));
  const std::string latitude = utf8ToWindows1252(table.text(str::ColumnLatitude));
  const std::string longitude = utf8ToWindows1252(table.text(str::ColumnLongitude));
  if (dms_) {
    report.writeFormat("%15s%3s%3s%10s%3s%3s%10s%15s\n",
                       {pointColumn, latitude + "\xB0", latitude + "'", latitude + "\"", longitude + "\xB0",
                        longitude + "'", longitude + "\"", "h"});
  } else {
    report.writeFormat("%15s%15s%15s%15s\n", {pointColumn, latitude, longitude, "h"});
  }
  report.rule(62);
}

void EllipsoidalEstimationModel::WritePointTables(ReportFile& report, const LanguageTable& table) const {
  auto name15 = [](const std::string& name) { return formatMessage("%15s", {name}); };
  report.separator();
  report.section(str::SectionSourcePoints, 39);
  WriteColumnHead(report, table);
  for (const EllipsoidalIdenticalPoint& ip : job_.identical) {
    const EllipsoidalPoint& s = ip.source;
    std::string line = name15(s.name) + Position(s.B, s.L) + formatMessage("%15.5f", {s.h});
    if (s.individual) line += formatMessage("%15.5f%15.5f%15.5f", {s.sN, s.sE, s.sh});
    report.write(line + "\n");
  }
  report.write("\n");

  report.separator();
  report.section(str::SectionTargetPoints, 35);
  WriteColumnHead(report, table);
  const std::string blankPosition(dms_ ? 32 : 30, ' ');
  for (const EllipsoidalIdenticalPoint& ip : job_.identical) {
    const EllipsoidalPoint& t = ip.target;
    std::string line = name15(t.name);
    if (t.hasPosition) {
      line += Position(t.B, t.L);
      if (t.hasHeight) line += formatMessage("%15.5f", {t.h});
      if (t.individual) {
        line += formatMessage("%15.10f%15.10f", {t.sN, t.sE});
        if (t.hasHeight) line += formatMessage("%15.5f", {t.sh});
      }
    } else {
      line += blankPosition + formatMessage("%15.5f", {t.h});
      if (t.individual) line += formatMessage("%15.5f", {t.sh});
    }
    report.write(line + "\n");
  }
  report.write("\n");
}

// The stations of the residual distribution: every identical point that
// took part, at its target position (a height-only point where the
// transformation puts it).
void EllipsoidalEstimationModel::PrepareDistribution() {
  distribution_.emplace(job_.targetEllipsoid, job_.settings.interpolationType,
                        job_.settings.interpolationDistance);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!rows_[i].usable) continue;
    const EllipsoidalIdenticalPoint& ip = job_.identical[i];
    EllipsoidalResidualDistribution::Station s{ip.target.B, ip.target.L, ip.dN, ip.dE,
                                               ip.target.hasHeight ? ip.dh : kNaN};
    if (!ip.target.hasPosition) {
      std::array<double, 3> at{};
      if (!transformPoint(library_, job_.sourceEllipsoid, job_.targetEllipsoid, groups_, preShift_, xs_, ip.source.B,
                          ip.source.L, ip.source.h, at)) {
        continue;
      }
      s.B = at[0], s.L = at[1], s.dN = s.dE = kNaN;
    }
    distribution_->add(s);
  }
}

}  // namespace

int EstimateEllipsoidalHelmert(EllipsoidalJob& job, ProjectionLibrary& library, JobHost& host,
                               EstimationSummary* summary) {
  EllipsoidalEstimationModel estimation(job, library);
  return RunEstimation(estimation, host, summary);
}

}  // namespace pelmar
