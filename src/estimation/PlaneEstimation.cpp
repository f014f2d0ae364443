#include "estimation/PlaneEstimation.h"

#include <algorithm>
#include <cmath>

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

constexpr double kConvergence = 1e-7;  // largest change of an unknown
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
  // 1.–3. Files, identical points, report and output file.
  ReportFile report(table, job.settings.headerText, job.settings.userDefinedHeader, job.settings.includeDate);
  OutputFile output;
  if (!OpenEstimationRun(job, ReadPointFile2D, 2, host, report, output)) return 0;
  const int n = static_cast<int>(job.identical.size());

  // 4. Report head.
  report.WriteBanner();
  report.WriteTitleBox({model == PlaneModel::Similarity ? str::TitleSimilarity : str::TitleAffine});
  report.WriteHeaderInfo();
  WriteOptionsSection(report, host, method, writeIdentical);
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
  for (const IdenticalPoint& p : job.identical) {
    reduced.push_back({p.sourceY - sourceCY, p.sourceX - sourceCX, p.targetY - targetCY, p.targetX - targetCX});
  }
  if (center != 0) {
    report.separator();
    report.section(str::SectionSourceCentroid, 31);
    report.writeFormat("Y = %15.5f\nX = %15.5f\n\n\n", {sourceCY, sourceCX});
    report.section(str::SectionTargetCentroid, 27);
    report.writeFormat("Y = %15.5f\nX = %15.5f\n\n", {targetCY, targetCX});
  }
  const int u = unknownsOf(model);
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

  // 6./7. Adjustment: normal equations point by point, reweighted for L1.
  // The loop has settled when no reported unknown moves by 1e-7 any more.
  const AdjustmentSolution solution = SolveAdjustment(
      u, method == 0,
      [&](auto&& add) {
        for (const Reduced& p : reduced) {
          const DesignRows a = designRows(model, p.ys, p.xs);
          add(a.row[0], p.yt, 1.0);
          add(a.row[1], p.xt, 1.0);
        }
      },
      [&](const Matrix& now, const Matrix& before) {
        const Matrix a = reported(now), b = reported(before);
        double change = 0.0;
        for (int j = 0; j < u; ++j) change = std::max(change, std::fabs(a(j, 0) - b(j, 0)));
        return change < kConvergence;
      },
      [](int) {});
  const Matrix& x = solution.x;
  const Matrix& qxx = solution.qxx;
  const int passes = solution.passes;
  const bool converged = solution.settled;
  const Matrix shown = reported(x);

  // 8. Derived parameters.
  report.separator();
  report.section(center != 0 ? str::SectionParametersCentred : str::SectionParameters, center != 0 ? 53 : 35);
  std::vector<EstimatedParameter> parameters;
  if (model == PlaneModel::Similarity) {
    const double a = shown(0, 0), b = shown(1, 0);
    const double scale = std::sqrt(a * a + b * b);
    const double rotation = std::atan2(b, a) * kDegreesPerRadian;
    report.writeText(str::ParamScale, {scale});
    report.writeText(str::ParamRotation, {rotation});
    report.writeText(str::ParamTY, {shown(2, 0)});
    report.writeText(str::ParamTX, {shown(3, 0)});
    parameters = {{"a", a, ""}, {"b", b, ""}, {"tY", shown(2, 0), "m"}, {"tX", shown(3, 0), "m"},
                  {"m", scale, ""}, {"rotation", rotation, "deg"}};
  } else {
    const double a = shown(0, 0), b = shown(1, 0), c = shown(2, 0), d = shown(3, 0);
    const double rotation = -std::atan2(b - c, a + d) * kDegreesPerRadian;
    const double s = (a + d) * (a + d) + (b - c) * (b - c);
    const double r = std::sqrt(s / ((a + d) * (a + d)));
    const double mY = r * (a * a * a + a * (c * c + d * d) + 2 * a * a * d - a * b * c + c * c * d - b * c * d) / s;
    const double g = r * ((b + c) * a * d + a * a * b + c * d * d) / s;
    const double mX = r * (d * d * d + b * b * (a + d) - a * b * c - b * c * d + 2 * a * d * d + a * a * d) / s;
    report.writeText(str::AffineRotation, {rotation});
    report.writeText(str::AffineScaleY, {mY});
    report.writeText(str::AffineShear, {g});
    report.writeText(str::AffineScaleX, {mX});
    report.writeText(str::AffineTY, {shown(4, 0)});
    report.writeText(str::AffineTX, {shown(5, 0)});
    parameters = {{"a", a, ""},          {"b", b, ""},         {"c", c, ""},     {"d", d, ""},
                  {"tY", shown(4, 0), "m"},  {"tX", shown(5, 0), "m"}, {"rotation", rotation, "deg"},
                  {"mY", mY, ""},        {"g", g, ""},         {"mX", mX, ""}};
  }
  report.write("\n");
  if (method == 0) report.writeText(str::PassCount, {passes});
  report.write("\n");

  // 9. Residuals, computed minus given, in the uncentred target frame.
  report.separator();
  report.section(str::SectionResiduals, 33);
  report.writeFormat(columns, {pointColumn, "DY", "DX"});
  report.rule(45);
  double omega = 0.0;
  for (std::size_t i = 0; i < job.identical.size(); ++i) {
    IdenticalPoint& p = job.identical[i];
    double y = 0.0, xv = 0.0;
    applyModel(model, x, reduced[i].ys, reduced[i].xs, y, xv);
    p.dY = y - reduced[i].yt;
    p.dX = xv - reduced[i].xt;
    omega += p.dY * p.dY + p.dX * p.dX;
    report.writeFormat(pointLine, {p.name, p.dY, p.dX});
  }
  report.write("\n");

  // 10. Gross-error test of every identical point.
  const TestTableLayout testLayout{44, {"NABLAY", "NABLAX"}, 48, true, str::TestLine, 58};
  WriteTestTableHead(report, table, testLayout);
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
    const GrossErrorResult test = TestForGrossError(a, {1.0, 1.0}, qxx, v, omega, redundancy);
    const Matrix& nabla = test.nabla;
    const double t = test.T;
    const double quantile = test.F;
    const bool outlier = test.outlier;
    report.writeFormat("%16s%16.5f%16.5f\n", {p.name, nabla(0, 0), nabla(1, 0)});
    WriteTestVerdict(report, table, testLayout, t, quantile, outlier);
    tests.push_back({p.name, {p.dY, p.dX}, {nabla(0, 0), nabla(1, 0)}, t, quantile, outlier, {"Y", "X"}});
  }

  // 11. Every source point transformed.
  report.separator();
  report.write("\n");
  report.section(str::SectionTransformed, 21);
  report.writeFormat(columns, {pointColumn, "Y", "X"});
  report.rule(45);
  TransformedPointSink sink(output, writeIdentical);
  for (const IdenticalPoint& p : job.identical) sink.addIdentical(p.name);
  const bool distribute = job.settings.interpolationActive == 1;
  ResidualDistribution distribution(job.settings.interpolationType, job.settings.interpolationDistance, false);
  if (distribute) {
    for (const IdenticalPoint& p : job.identical) {
      distribution.add({p.targetY, p.targetX, 0.0, p.dY, p.dX, 0.0});
    }
  }
  std::string line;
  for (const PointRecord& point : job.source) {
    double y = 0.0, xv = 0.0, z = 0.0;
    applyModel(model, x, point.Y - sourceCY, point.X - sourceCX, y, xv);
    y += targetCY;
    xv += targetCX;
    if (distribute && sink.isIdentical(point.name)) distribution.apply(y, xv, z);
    report.writeFormat(pointLine, {point.name, y, xv});
    FormatPointLine2(line, point.name, y, xv, job.settings.decimalsCartesian);
    sink.write(point.name, line);
  }
  report.write("\n");

  if (!FinishEstimationRun(host, report, job.reportPath, output, job.outputPath)) return 0;
  if (summary != nullptr) {
    FillEstimationSummary(*summary, method, passes, omega, 2 * n - u, std::move(parameters), std::move(tests),
                          static_cast<std::int64_t>(job.source.size() + job.target.size()), sink.written(), n,
                          converged);
  }
  return 1;
}

}  // namespace pelmar
