#include "estimation/PlaneEstimation.h"

#include <algorithm>
#include <cmath>

#include "adjust/FisherQuantile.h"
#include "adjust/GrossErrorTest.h"
#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"
#include "adjust/ParameterPrecision.h"
#include "adjust/RobustTest.h"
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

// The L1 loop has settled when no identical point moves by more than this
// between passes (metres; the reports print 0.01 mm). A limit on the
// unknowns themselves asked the translations of the files' frame, which
// carry a and b times coordinates of 5e6 m, to settle to 1e-14 of those:
// half of the runs with a point far out ended at the pass limit.
constexpr double kSettledMove = 1e-6;
const double kDegreesPerRadian = 180.0 / (4.0 * std::atan2(1.0, 1.0));

// The two design rows of one point (source coordinates ys, xs) for the model.
struct DesignRows {
  double row[2][6];
};

DesignRows designRows(PlaneModel model, double ys, double xs) {
  if (model == PlaneModel::Similarity) return {{{ys, -xs, 1, 0, 0, 0}, {xs, ys, 0, 1, 0, 0}}};
  return {{{ys, xs, 0, 0, 1, 0}, {0, 0, ys, xs, 0, 1}}};
}

int unknownsOf(PlaneModel model) { return model == PlaneModel::Similarity ? 4 : 6; }

// Applies the model with the unknowns x to (ys, xs).
void applyModel(PlaneModel model, const Matrix& x, double ys, double xs, double& y, double& xOut) {
  const DesignRows a = designRows(model, ys, xs);
  const int u = unknownsOf(model);
  y = xOut = 0.0;
  for (int j = 0; j < u; ++j) {
    y += a.row[0][j] * x(j, 0);
    xOut += a.row[1][j] * x(j, 0);
  }
}

}  // namespace

int Estimate2D(EstimationJob& job, PlaneModel model, int method, int writeIdentical, int center, JobHost& host,
               EstimationSummary* summary) {
  const LanguageTable& table = host.language();
  const int u = unknownsOf(model);
  // 1.–2. Files and identical points: two observations each, so the
  // similarity needs two points and the affine three.
  if (!ReadEstimationPoints(job, ReadPointFile2D, u / 2, host)) return 0;
  if (!CheckCoordinates(host, job.identical)) return 0;
  const int n = static_cast<int>(job.identical.size());

  // 5. Centroids. The adjustment always works on coordinates reduced to
  // them: normal equations of raw Gauss–Krüger coordinates (near 5e6 m) lose
  // about 13 of their 16 digits and move transformed points by millimetres.
  // Without "Center" the parameters are turned back into the unreduced form
  // afterwards; the identical points keep their file coordinates throughout.
  double sourceCY = 0.0, sourceCX = 0.0, targetCY = 0.0, targetCX = 0.0;
  for (const IdenticalPoint& p : job.identical) {
    sourceCY += p.sourceY;
    sourceCX += p.sourceX;
    targetCY += p.targetY;
    targetCX += p.targetX;
  }
  sourceCY /= n;
  sourceCX /= n;
  targetCY /= n;
  targetCX /= n;
  struct Reduced {
    double ys, xs, yt, xt;
  };
  std::vector<Reduced> reduced;
  reduced.reserve(job.identical.size());
  std::vector<std::array<double, 3>> sourcePoints, targetPoints;
  sourcePoints.reserve(job.identical.size());
  targetPoints.reserve(job.identical.size());
  for (const IdenticalPoint& p : job.identical) {
    reduced.push_back({p.sourceY - sourceCY, p.sourceX - sourceCX, p.targetY - targetCY, p.targetX - targetCX});
    sourcePoints.push_back({p.sourceY, p.sourceX, 0.0});
    targetPoints.push_back({p.targetY, p.targetX, 0.0});
  }
  // The similarity needs points apart, the affine points off one line; the
  // normal equations would say "singular" only for exact cases and leave a
  // near one to give numbers that mean nothing.
  const SpreadNeed need = model == PlaneModel::Similarity ? SpreadNeed::Extent : SpreadNeed::Plane;
  if (!CheckSpread(host, sourcePoints, {sourceCY, sourceCX, 0.0}, need) ||
      !CheckTargetSpread(host, targetPoints, {targetCY, targetCX, 0.0}, need)) {
    return 0;
  }
  const int tIndex = u - 2;  // tY, tX are the last two unknowns
  // The parameters as reported: reduced, or turned back into the file frame.
  auto reported = [&](const Matrix& reducedX) {
    Matrix out = reducedX;
    if (center == 0) {
      double y = 0.0, xv = 0.0;
      out(tIndex, 0) = out(tIndex + 1, 0) = 0.0;
      applyModel(model, out, sourceCY, sourceCX, y, xv);
      out(tIndex, 0) = reducedX(tIndex, 0) + targetCY - y;
      out(tIndex + 1, 0) = reducedX(tIndex + 1, 0) + targetCX - xv;
    }
    return out;
  };
  auto rowsExcept = [&](std::size_t skip, auto&& add) {
    for (std::size_t i = 0; i < reduced.size(); ++i) {
      if (i == skip) continue;
      const Reduced& p = reduced[i];
      const DesignRows a = designRows(model, p.ys, p.xs);
      add(a.row[0], p.yt, 1.0);
      add(a.row[1], p.xt, 1.0);
    }
  };
  auto forEachRow = [&](auto&& add) { rowsExcept(reduced.size(), add); };

  // 6./7. Adjustment: normal equations point by point, reweighted for L1.
  auto settledTest = [&](const Matrix& now, const Matrix& before) {
    // A cancelled run ends the loop at once; it is dropped below.
    return host.cancelled() || LargestMove(forEachRow, now.Subtract(before)) < kSettledMove;
  };
  const AdjustmentSolution solution = SolveAdjustment(u, method == 0, forEachRow, settledTest, [](int) {});
  if (host.cancelled()) return 0;
  if (solution.singular) {
    host.message(str::ModelNotDetermined);
    return 0;
  }
  const Matrix& x = solution.x;
  const Matrix& qxx = solution.qxx;
  const int passes = solution.passes;

  // 8. The parameters of the summary, as a function of the reduced unknowns,
  // so that their standard deviations follow by propagation. The report
  // prints some of them, in its own order.
  double centreRotation = 0.0;
  auto derive = [&](const std::vector<double>& values) {
    Matrix reducedX(u, 1, 0.0);
    for (int j = 0; j < u; ++j) reducedX(j, 0) = values[static_cast<std::size_t>(j)];
    const Matrix shown = reported(reducedX);
    std::vector<double> out;
    if (model == PlaneModel::Similarity) {
      const double a = shown(0, 0), b = shown(1, 0);
      const double rotation = std::atan2(b, a) * kDegreesPerRadian;
      // Near ±180° the angle is taken on the side of the solution's own, so
      // that a small change of a or b is a small change of the angle.
      out = {a, b, shown(2, 0), shown(3, 0), std::sqrt(a * a + b * b),
             centreRotation + ReduceDegrees(rotation - centreRotation)};
    } else {
      const double a = shown(0, 0), b = shown(1, 0), c = shown(2, 0), d = shown(3, 0);
      const double rotation = -std::atan2(b - c, a + d) * kDegreesPerRadian;
      const double s = (a + d) * (a + d) + (b - c) * (b - c);
      const double r = std::sqrt(s / ((a + d) * (a + d)));
      const double mY = r * (a * a * a + a * (c * c + d * d) + 2 * a * a * d - a * b * c + c * c * d - b * c * d) / s;
      const double g = r * ((b + c) * a * d + a * a * b + c * d * d) / s;
      const double mX = r * (d * d * d + b * b * (a + d) - a * b * c - b * c * d + 2 * a * d * d + a * a * d) / s;
      out = {a, b, c, d, shown(4, 0), shown(5, 0), centreRotation + ReduceDegrees(rotation - centreRotation),
             mY, g, mX};
    }
    return out;
  };
  std::vector<double> xValues(static_cast<std::size_t>(u));
  for (int j = 0; j < u; ++j) xValues[static_cast<std::size_t>(j)] = x(j, 0);
  const std::size_t rotationIndex = model == PlaneModel::Similarity ? 5 : 6;
  centreRotation = ReduceDegrees(derive(xValues)[rotationIndex]);
  const std::vector<double> values = derive(xValues);
  const std::vector<const char*> names = model == PlaneModel::Similarity
                                             ? std::vector<const char*>{"a", "b", "tY", "tX", "m", "rotation"}
                                             : std::vector<const char*>{"a", "b", "c", "d", "tY", "tX",
                                                                        "rotation", "mY", "g", "mX"};
  const std::vector<const char*> units = model == PlaneModel::Similarity
                                             ? std::vector<const char*>{"", "", "m", "m", "", "deg"}
                                             : std::vector<const char*>{"", "", "", "", "m", "m", "deg", "", "", ""};

  // 9. Residuals, computed minus given, in the uncentred target frame.
  double omega = 0.0;
  for (std::size_t i = 0; i < job.identical.size(); ++i) {
    IdenticalPoint& p = job.identical[i];
    double y = 0.0, xv = 0.0;
    applyModel(model, x, reduced[i].ys, reduced[i].xs, y, xv);
    p.dY = y - reduced[i].yt;
    p.dX = xv - reduced[i].xt;
    omega += p.dY * p.dY + p.dX * p.dX;
  }

  // 10. Gross-error test of every identical point.
  const int redundancy = 2 * n - u;
  std::vector<PointTest> tests;
  tests.reserve(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < job.identical.size(); ++i) {
    const IdenticalPoint& p = job.identical[i];
    const DesignRows rows = designRows(model, reduced[i].ys, reduced[i].xs);
    Matrix a(2, u, 0.0);
    for (int r = 0; r < 2; ++r) {
      for (int j = 0; j < u; ++j) a(r, j) = rows.row[r][j];
    }
    Matrix v(2, 1, 0.0);
    v(0, 0) = p.dY;
    v(1, 0) = p.dX;
    const GrossErrorResult test =
        method == 0 ? TestAfterL1Fit(a, {1.0, 1.0}, qxx, solution.passThrough, v, omega, redundancy,
                                     [&] { return RefitLinear(u, i, rowsExcept, settledTest, a, x, v); })
                    : TestForGrossError(a, {1.0, 1.0}, qxx, v, omega, redundancy);
    tests.push_back({p.name, {p.dY, p.dX}, {test.nabla(0, 0), test.nabla(1, 0)}, test.T, test.F, test.outlier,
                     {"Y", "X"}, test.tested});
  }

  // Standard deviations: σ0 from the residuals and the cofactors of the
  // least-squares adjustment (for the L1 fit too: the design does not
  // depend on the unknowns).
  const std::optional<double> sigma0 = UnitWeightSigma(omega, redundancy);
  std::vector<EstimatedParameter> parameters;
  {
    const std::vector<double> sigmas =
        sigma0 ? PropagateSigma(qxx, *sigma0, xValues, derive) : std::vector<double>(values.size(), 0.0);
    for (std::size_t i = 0; i < values.size(); ++i) {
      EstimatedParameter parameter{names[i], values[i], units[i], std::nullopt};
      if (sigma0) parameter.sigma = sigmas[i];
      parameters.push_back(std::move(parameter));
    }
  }

  const bool distribute = job.settings.interpolationActive == 1;
  RunNotices notices;
  notices.settled = solution.settled;
  notices.passes = passes;
  notices.distributedOutliers = DistributedOutliers(tests, distribute);
  notices.redundancy = redundancy;
  notices.observationsPerPoint = 2;

  // 3.–4. Report and output file, report head.
  ReportFile report(table, job.settings.headerText, job.settings.userDefinedHeader, job.settings.includeDate);
  OutputFile output;
  if (!OpenEstimationFiles(job, host, report, output)) return 0;
  report.WriteBanner();
  report.WriteTitleBox({model == PlaneModel::Similarity ? str::TitleSimilarity : str::TitleAffine});
  report.WriteHeaderInfo();
  WriteOptionsSection(report, host, method, writeIdentical);
  if (notices.any()) {
    report.write("\n");
    WriteNotices(report, table, notices);
  }
  const std::string columns = "%15s%15s%15s\n";
  const std::string pointLine = "%15s%15.5f%15.5f\n";
  const std::string pointColumn = utf8ToWindows1252(table.text(str::ColumnPoint));
  auto pointTable = [&](int titleId, int ruleLength, bool target) {
    report.separator();
    report.section(titleId, ruleLength);
    report.writeFormat(columns, {pointColumn, "Y", "X"});
    report.rule(45);
    for (const IdenticalPoint& p : job.identical) {
      report.writeFormat(pointLine, {p.name, target ? p.targetY : p.sourceY, target ? p.targetX : p.sourceX});
    }
    report.write("\n");
  };
  pointTable(str::SectionSourcePoints, 35, false);
  pointTable(str::SectionTargetPoints, 31, true);
  if (center != 0) {
    report.separator();
    report.section(str::SectionSourceCentroid, 31);
    report.writeFormat("Y = %15.5f\nX = %15.5f\n\n\n", {sourceCY, sourceCX});
    report.section(str::SectionTargetCentroid, 27);
    report.writeFormat("Y = %15.5f\nX = %15.5f\n\n", {targetCY, targetCX});
  }

  // 8. Parameters.
  report.separator();
  report.section(center != 0 ? str::SectionParametersCentred : str::SectionParameters, center != 0 ? 53 : 35);
  const double rotation = ReduceDegrees(values[rotationIndex]);
  if (model == PlaneModel::Similarity) {
    report.writeText(str::ParamScale, {values[4]});
    report.writeText(str::ParamRotation, {rotation});
    report.writeText(str::ParamTY, {values[2]});
    report.writeText(str::ParamTX, {values[3]});
  } else {
    report.writeText(str::AffineRotation, {rotation});
    report.writeText(str::AffineScaleY, {values[7]});
    report.writeText(str::AffineShear, {values[8]});
    report.writeText(str::AffineScaleX, {values[9]});
    report.writeText(str::AffineTY, {values[4]});
    report.writeText(str::AffineTX, {values[5]});
  }
  report.write("\n");
  if (method == 0) report.writeText(str::PassCount, {passes});
  report.write("\n");

  // 9. Residuals.
  report.separator();
  report.section(str::SectionResiduals, 33);
  report.writeFormat(columns, {pointColumn, "DY", "DX"});
  report.rule(45);
  for (const IdenticalPoint& p : job.identical) report.writeFormat(pointLine, {p.name, p.dY, p.dX});
  report.write("\n");

  // 10. Gross-error test.
  const TestTableLayout testLayout{44, {"NABLAY", "NABLAX"}, 48, true, str::TestLine, 58};
  WriteTestTableHead(report, table, testLayout);
  for (const PointTest& t : tests) {
    report.writeFormat("%16s%16.5f%16.5f\n", {t.name, t.nabla[0], t.nabla[1]});
    WriteTestVerdict(report, table, testLayout, t);
  }

  // 11. Every source point transformed.
  report.separator();
  report.write("\n");
  report.section(str::SectionTransformed, 21);
  report.writeFormat(columns, {pointColumn, "Y", "X"});
  report.rule(45);
  TransformedPointSink sink(output, writeIdentical);
  for (const IdenticalPoint& p : job.identical) sink.addIdentical(p.name);
  ResidualDistribution distribution(job.settings.interpolationType, job.settings.interpolationDistance, false);
  if (distribute) {
    for (const IdenticalPoint& p : job.identical) {
      distribution.add({p.targetY, p.targetX, 0.0, p.dY, p.dX, 0.0});
    }
  }
  std::string line;
  std::int64_t leftOut = 0;
  std::string firstLeftOut;
  for (const PointRecord& point : job.source) {
    if (host.cancelled()) return 0;  // report and output are never committed
    double y = 0.0, xv = 0.0, z = 0.0;
    applyModel(model, x, point.Y - sourceCY, point.X - sourceCX, y, xv);
    y += targetCY;
    xv += targetCX;
    if (distribute && sink.isIdentical(point.name)) distribution.apply(y, xv, z);
    // A point far beyond the identical points (a damaged coordinate) can
    // leave the range of numbers; it is left out, not written as "inf".
    if (!std::isfinite(y) || !std::isfinite(xv)) {
      if (leftOut++ == 0) firstLeftOut = point.name;
      continue;
    }
    report.writeFormat(pointLine, {point.name, y, xv});
    FormatPointLine2(line, point.name, y, xv, job.settings.decimalsCartesian);
    sink.write(point.name, line);
  }
  report.write("\n");

  if (!FinishEstimationRun(host, report, job.reportPath, output, job.outputPath, summary)) return 0;
  TellNotices(host, notices);
  if (leftOut > 0) TellLeftOut(host, leftOut, firstLeftOut);
  ResidualPlot plot =
      PlanePlot(model == PlaneModel::Similarity ? str::ListSimilarity : str::ListAffine, job.identical, tests);
  if (!job.plotPath.empty()) WriteResidualPlot(job.plotPath, plot, host);
  if (summary != nullptr) {
    summary->plot = std::move(plot);
    FillEstimationSummary(*summary, method, passes, omega, redundancy, std::move(parameters), std::move(tests),
                          static_cast<std::int64_t>(job.source.size() + job.target.size()), sink.written(), n,
                          notices);
    summary->pointsLeftOut = leftOut;
    summary->firstLeftOut = firstLeftOut;
    summary->linesUnreadable = job.linesUnreadable;
    summary->firstUnreadable = job.firstUnreadable;
  }
  return 1;
}

}  // namespace pelmar
