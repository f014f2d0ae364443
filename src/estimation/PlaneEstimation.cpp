#include "estimation/PlaneEstimation.h"

#include <cmath>

#include "adjust/NormalEquations.h"
#include "adjust/ParameterPrecision.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "estimation/CartesianModel.h"
#include "estimation/ReportFile.h"
#include "points/PointFile.h"
#include "stored/ProjPipeline.h"

namespace pelmar {

namespace {

// The L1 loop has settled when no identical point moves by more than this
// between passes (metres; the reports print 0.01 mm). A limit on the
// unknowns themselves asked the translations of the files' frame, which
// carry a and b times coordinates of 5e6 m, to settle to 1e-14 of those:
// half of the runs with a point far out ended at the pass limit.
constexpr double kSettledMove = 1e-6;
const double kDegreesPerRadian = 180.0 / (4.0 * std::atan2(1.0, 1.0));

// The two design rows of one point (reduced source coordinates ys, xs).
void designRows(PlaneModel model, double ys, double xs, double (*row)[PointRows::kMaxUnknowns]) {
  double* y = row[0];
  double* x = row[1];
  if (model == PlaneModel::Similarity) {
    y[0] = ys, y[1] = -xs, y[2] = 1, y[3] = 0;
    x[0] = xs, x[1] = ys, x[2] = 0, x[3] = 1;
  } else {
    y[0] = ys, y[1] = xs, y[2] = 0, y[3] = 0, y[4] = 1, y[5] = 0;
    x[0] = 0, x[1] = 0, x[2] = ys, x[3] = xs, x[4] = 0, x[5] = 1;
  }
}

int unknownsOf(PlaneModel model) { return model == PlaneModel::Similarity ? 4 : 6; }

// Applies the model with the unknowns x to (ys, xs).
void applyModel(PlaneModel model, const Matrix& x, double ys, double xs, double& y, double& xOut) {
  double a[2][PointRows::kMaxUnknowns];
  designRows(model, ys, xs, a);
  const int u = unknownsOf(model);
  y = xOut = 0.0;
  for (int j = 0; j < u; ++j) {
    y += a[0][j] * x(j, 0);
    xOut += a[1][j] * x(j, 0);
  }
}

CartesianLayout planeLayout() {
  CartesianLayout layout;
  layout.dimensions = 2;
  layout.read = ReadPointFile2D;
  layout.tableAxes = {0, 1, 2};
  layout.tableHeads = {"Y", "X"};
  layout.pointRule = 45;
  layout.sourceTitleRule = 35;
  layout.targetTitleRule = 31;
  layout.sourceCentroidRule = 31;
  layout.targetCentroidBlankLines = 1;
  layout.residualRule = 45;
  layout.residualBlankAfter = true;
  layout.test = {44, {"NABLAY", "NABLAX"}, 48, true, str::TestLine, 58};
  layout.blankBeforeTransformed = true;
  // Only the identical points take their residuals back: the others keep
  // the transformation as it is.
  layout.distributesIdenticalOnly = true;
  layout.plot = PlanePlot;
  return layout;
}

// The similarity (a, b, tY, tX) and affine (a, b, c, d, tY, tX)
// transformations of the plane, linear in their unknowns.
class PlaneEstimationModel final : public CartesianModel {
 public:
  PlaneEstimationModel(EstimationJob& job, PlaneModel model, int method, int writeIdentical, int center)
      // Two observations per point: the similarity needs two points, the affine three.
      : CartesianModel(job, planeLayout(), method, writeIdentical, center, unknownsOf(model) / 2), model_(model) {}

  int unknowns() const override { return unknownsOf(model_); }

  bool RowsOf(std::size_t point, PointRows& rows) const override {
    const Reduced p = reduced(point);
    designRows(model_, p.source[0], p.source[1], rows.a);
    rows.count = 2;
    for (int r = 0; r < 2; ++r) {
      rows.l[r] = p.target[r];
      rows.p[r] = 1.0;
    }
    return true;
  }

  bool Settled(const Matrix& now, const Matrix& before) const override {
    auto rows = [&](auto&& add) {
      double a[2][PointRows::kMaxUnknowns];
      for (std::size_t i = 0; i < identicalCount(); ++i) {
        const Reduced p = reduced(i);
        designRows(model_, p.source[0], p.source[1], a);
        add(a[0], 0.0, 1.0);
        add(a[1], 0.0, 1.0);
      }
    };
    return LargestMove(rows, now.Subtract(before)) < kSettledMove;
  }

  void TellSingular(JobHost& host, const Adjustment&) const override { host.message(str::ModelNotDetermined); }

  // Residuals, computed minus given, in the uncentred target frame.
  double Residuals(const Adjustment& adjustment, std::vector<std::array<double, 3>>& v) override {
    v.assign(identicalCount(), {});
    double omega = 0.0;
    for (std::size_t i = 0; i < identicalCount(); ++i) {
      const Reduced p = reduced(i);
      double y = 0.0, xv = 0.0;
      applyModel(model_, adjustment.x, p.source[0], p.source[1], y, xv);
      v[i] = {y - p.target[0], xv - p.target[1], 0.0};
      omega += v[i][0] * v[i][0] + v[i][1] * v[i][1];
      KeepResiduals(i, v[i].data(), 2);
    }
    return omega;
  }

  std::vector<EstimatedParameter> TakeParameters(const Adjustment& adjustment, std::optional<double> sigma0,
                                                 JobHost&) override {
    x_ = adjustment.x;
    const int u = unknowns();
    std::vector<double> xValues(static_cast<std::size_t>(u));
    for (int j = 0; j < u; ++j) xValues[static_cast<std::size_t>(j)] = x_(j, 0);
    centreRotation_ = 0.0;
    centreRotation_ = ReduceDegrees(Derive(xValues)[RotationIndex()]);
    values_ = Derive(xValues);
    const bool similarity = model_ == PlaneModel::Similarity;
    const std::vector<const char*> names =
        similarity ? std::vector<const char*>{"a", "b", "tY", "tX", "m", "rotation"}
                   : std::vector<const char*>{"a", "b", "c", "d", "tY", "tX", "rotation", "mY", "g", "mX"};
    const std::vector<const char*> units = similarity
                                               ? std::vector<const char*>{"", "", "m", "m", "", "deg"}
                                               : std::vector<const char*>{"", "", "", "", "m", "m", "deg", "", "", ""};
    // Standard deviations: σ0 and the cofactors of the least-squares
    // adjustment (for the L1 fit too: the design does not depend on the
    // unknowns), propagated through the parameters as functions of them.
    const std::vector<double> sigmas =
        sigma0 ? PropagateSigma(adjustment.qxx, *sigma0, xValues, [this](const std::vector<double>& p) { return Derive(p); })
               : std::vector<double>(values_.size(), 0.0);
    std::vector<EstimatedParameter> parameters;
    for (std::size_t i = 0; i < values_.size(); ++i) {
      EstimatedParameter parameter{names[i], values_[i], units[i], std::nullopt};
      if (sigma0) parameter.sigma = sigmas[i];
      parameters.push_back(std::move(parameter));
    }
    return parameters;
  }

  RunCounters Counters(const Adjustment& adjustment) const override {
    return {adjustment.passes, adjustment.passes, std::nullopt};
  }

  void WriteTitle(ReportFile& report) const override {
    report.WriteTitleBox({model_ == PlaneModel::Similarity ? str::TitleSimilarity : str::TitleAffine});
  }

  void WriteOptions(ReportFile& report, JobHost& host, const RunNotices& notices) const override {
    WriteOptionsSection(report, host, method_, writeIdentical_);
    WriteNoticesInOptions(report, host.language(), notices);
  }

  void WriteParameters(ReportFile& report, const Adjustment& adjustment) const override {
    report.separator();
    report.section(center_ != 0 ? str::SectionParametersCentred : str::SectionParameters, center_ != 0 ? 53 : 35);
    const double rotation = ReduceDegrees(values_[RotationIndex()]);
    if (model_ == PlaneModel::Similarity) {
      report.writeText(str::ParamScale, {values_[4]});
      report.writeText(str::ParamRotation, {rotation});
      report.writeText(str::ParamTY, {values_[2]});
      report.writeText(str::ParamTX, {values_[3]});
    } else {
      report.writeText(str::AffineRotation, {rotation});
      report.writeText(str::AffineScaleY, {values_[7]});
      report.writeText(str::AffineShear, {values_[8]});
      report.writeText(str::AffineScaleX, {values_[9]});
      report.writeText(str::AffineTY, {values_[4]});
      report.writeText(str::AffineTX, {values_[5]});
    }
    report.write("\n");
    if (method_ == 0) report.writeText(str::PassCount, {adjustment.passes});
    report.write("\n");
  }

 protected:
  Vec3 Map(const Vec3& reduced) const override {
    Vec3 out{};
    applyModel(model_, x_, reduced[0], reduced[1], out[0], out[1]);
    return out;
  }
  SpreadNeed Need() const override {
    // The similarity needs points apart, the affine points off one line.
    return model_ == PlaneModel::Similarity ? SpreadNeed::Extent : SpreadNeed::Plane;
  }
  int PlotTitle() const override { return model_ == PlaneModel::Similarity ? str::ListSimilarity : str::ListAffine; }
  std::string ProjOf(const AffineMap& map) const override { return PlaneAffineText(map); }

 private:
  std::size_t RotationIndex() const { return model_ == PlaneModel::Similarity ? 5 : 6; }

  // The parameters as the summary lists them, from the reduced unknowns:
  // reduced, or turned back into the file frame without "Center", so that
  // their standard deviations follow by propagation.
  std::vector<double> Derive(const std::vector<double>& values) const {
    const int u = unknowns();
    Matrix shown(u, 1, 0.0);
    for (int j = 0; j < u; ++j) shown(j, 0) = values[static_cast<std::size_t>(j)];
    if (center_ == 0) {
      const int t = u - 2;  // tY, tX are the last two unknowns
      Matrix linear = shown;
      linear(t, 0) = linear(t + 1, 0) = 0.0;
      double y = 0.0, xv = 0.0;
      applyModel(model_, linear, sourceCentroid_[0], sourceCentroid_[1], y, xv);
      shown(t, 0) = values[static_cast<std::size_t>(t)] + targetCentroid_[0] - y;
      shown(t + 1, 0) = values[static_cast<std::size_t>(t + 1)] + targetCentroid_[1] - xv;
    }
    if (model_ == PlaneModel::Similarity) {
      const double a = shown(0, 0), b = shown(1, 0);
      const double rotation = std::atan2(b, a) * kDegreesPerRadian;
      // Near ±180° the angle is taken on the side of the solution's own, so
      // that a small change of a or b is a small change of the angle.
      return {a, b, shown(2, 0), shown(3, 0), std::sqrt(a * a + b * b),
              centreRotation_ + ReduceDegrees(rotation - centreRotation_)};
    }
    const double a = shown(0, 0), b = shown(1, 0), c = shown(2, 0), d = shown(3, 0);
    const double rotation = -std::atan2(b - c, a + d) * kDegreesPerRadian;
    const double s = (a + d) * (a + d) + (b - c) * (b - c);
    const double r = std::sqrt(s / ((a + d) * (a + d)));
    const double mY = r * (a * a * a + a * (c * c + d * d) + 2 * a * a * d - a * b * c + c * c * d - b * c * d) / s;
    const double g = r * ((b + c) * a * d + a * a * b + c * d * d) / s;
    const double mX = r * (d * d * d + b * b * (a + d) - a * b * c - b * c * d + 2 * a * d * d + a * a * d) / s;
    return {a, b, c, d, shown(4, 0), shown(5, 0), centreRotation_ + ReduceDegrees(rotation - centreRotation_),
            mY, g, mX};
  }

  PlaneModel model_;
  Matrix x_;
  double centreRotation_ = 0.0;
  std::vector<double> values_;
};

}  // namespace

int Estimate2D(EstimationJob& job, PlaneModel model, int method, int writeIdentical, int center, JobHost& host,
               EstimationSummary* summary) {
  PlaneEstimationModel estimation(job, model, method, writeIdentical, center);
  return RunEstimation(estimation, host, summary);
}

}  // namespace pelmar
