#include "estimation/EstimationRun.h"

#include <algorithm>
#include <cmath>

#include "adjust/GrossErrorTest.h"
#include "adjust/NormalEquations.h"
#include "adjust/RobustTest.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "estimation/ReportFile.h"
#include "io/OutputFile.h"
#include "settings/GeneralSettings.h"
#include "text/MessageFormat.h"
#include "text/TextEncoding.h"

namespace pelmar {

namespace {

// The observation rows of the model as the adjustment loops take them:
// every point that takes part (but `skip`), then the pseudo-observations.
struct ModelRows {
  const EstimationModel& model;

  template <class Add>
  void except(std::size_t skip, Add&& add) const {
    PointRows rows;
    const std::size_t n = model.identicalCount();
    for (std::size_t i = 0; i < n; ++i) {
      if (i == skip || !model.RowsOf(i, rows)) continue;
      for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], rows.p[r]);
    }
    model.PriorRows(rows);
    for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], rows.p[r]);
  }
  template <class Add>
  void operator()(Add&& add) const {
    except(model.identicalCount(), add);
  }
};

// Ends the host's progress display on every way out of a run.
struct ProgressEnd {
  JobHost& host;
  ~ProgressEnd() { host.endProgress(); }
};

void TakeSolution(Adjustment& out, const AdjustmentSolution& solution) {
  out.x = solution.x;
  out.qxx = solution.qxx;
  out.passThrough = solution.passThrough;
  out.passes = solution.passes;
  out.counter = solution.counter;
}

// Gauss–Newton: the reweighting loop on the rows at the current
// approximations, each solution applied, until two successive increments
// agree. A loop that ended at its limit has applied its last solution: the
// cofactors (and the L1 floor) then belong to the rows at the
// approximations the residuals are taken at, or Qvv would be no cofactor
// matrix and T come out negative.
Adjustment AdjustIterated(EstimationModel& model, JobHost& host) {
  const ModelRows rows{model};
  const int u = model.unknowns();
  auto settled = [&](const Matrix& now, const Matrix& before) { return host.cancelled() || model.Settled(now, before); };
  Adjustment out;
  out.x = Matrix(u, 1, 0.0);
  bool lastApplied = false;
  Matrix previous(u, 1, 0.0);
  for (;;) {
    const AdjustmentSolution inner = SolveAdjustment(u, model.method() == 0, rows, settled,
                                                     [&](int pass) { model.ShowPass(host, out.outer, pass); });
    if (inner.singular) {
      out.singular = true;
      break;
    }
    if (host.cancelled()) break;
    TakeSolution(out, inner);
    out.innerSum += inner.counter;
    out.innerCapped = out.innerCapped || !inner.settled;
    out.settled = out.settled && inner.settled;
    if (out.outer > 0 && model.Settled(out.x, previous)) {
      lastApplied = false;
      break;
    }
    ++out.outer;
    model.Update(out.x);
    lastApplied = true;
    previous = out.x;
    if (out.outer > kMaxPassIndex) {
      out.settled = false;
      break;
    }
  }
  if (host.cancelled()) return out;
  if (lastApplied && !out.singular) {
    NormalEquations normal(u);
    rows([&](const double* a, double l, double p) { normal.add(a, l, p); });
    Matrix ignored;
    if (normal.solve(out.qxx, ignored) != 1) out.singular = true;
    out.passThrough = ScanL1Residuals(rows, Matrix(u, 1, 0.0)).passThrough;
  }
  if (out.singular) return out;
  out.increment = lastApplied ? Matrix(u, 1, 0.0) : out.x;
  // Two increments of one size also end the loop when they do not shrink (a
  // solution that circles or grows): it has settled only when the increment
  // left over would move no identical point by more than the reports print.
  if (!lastApplied && !(LargestMove(rows, out.x) <= kGaussNewtonSettledMove)) out.settled = false;
  return out;
}

// The adjustment: least squares, or the L1 norm by reweighting; a model
// that is not linear inside a Gauss–Newton loop.
Adjustment Adjust(EstimationModel& model, JobHost& host) {
  if (model.Iterates()) return AdjustIterated(model, host);
  const ModelRows rows{model};
  auto settled = [&](const Matrix& now, const Matrix& before) { return host.cancelled() || model.Settled(now, before); };
  const AdjustmentSolution solution = SolveAdjustment(model.unknowns(), model.method() == 0, rows, settled,
                                                      [&](int pass) { model.ShowPass(host, 0, pass); });
  Adjustment out;
  TakeSolution(out, solution);
  out.outer = solution.counter;
  out.settled = solution.settled;
  out.singular = solution.singular;
  out.increment = out.x;
  return out;
}

// A cancelled run ends here without a word; a singular one with the model's message.
bool AdjustmentUsable(const EstimationModel& model, const Adjustment& adjustment, JobHost& host) {
  if (host.cancelled()) return false;
  if (adjustment.singular) {
    model.TellSingular(host, adjustment);
    return false;
  }
  return true;
}

// Ω, the redundancy and what the test takes of them. Prior information
// (pseudo-observations) counts in Ω, σ0 and the redundancy like any
// observation; the test takes Ω and r of the points alone
// (PseudoObservations).
struct Fit {
  std::vector<std::array<double, 3>> v;  // residuals per point, row order
  double omegaPoints = 0.0;
  double omega = 0.0;
  int redundancy = 0;
  int testRedundancy = 0;
  int perPoint = 0;  // the most rows a point has
  std::int64_t pointsUsed = 0;
  std::optional<PseudoObservations> prior;
};

Fit TakeResiduals(EstimationModel& model, const Adjustment& adjustment) {
  Fit fit;
  fit.omegaPoints = fit.omega = model.Residuals(adjustment, fit.v);
  const int u = model.unknowns();
  int observations = 0;
  PointRows rows;
  for (std::size_t i = 0; i < model.identicalCount(); ++i) {
    if (!model.RowsOf(i, rows)) continue;
    observations += rows.count;
    fit.perPoint = std::max(fit.perPoint, rows.count);
    ++fit.pointsUsed;
  }
  model.PriorRows(rows);
  fit.redundancy = observations + rows.count - u;
  fit.testRedundancy = fit.redundancy;
  if (rows.count > 0) {
    PseudoObservations prior{Matrix(rows.count, u, 0.0), std::vector<double>(rows.p, rows.p + rows.count),
                             adjustment.x};
    for (int r = 0; r < rows.count; ++r) {
      for (int j = 0; j < u; ++j) prior.rows(r, j) = rows.a[r][j];
    }
    fit.omega += prior.omega();
    fit.testRedundancy = PointsRedundancy(observations, u, prior, adjustment.qxx);
    fit.prior = std::move(prior);
  }
  return fit;
}

// The gross-error test of every point that takes part, with its own rows.
std::vector<PointTest> TestEveryPoint(const EstimationModel& model, const Adjustment& adjustment, const Fit& fit,
                                      JobHost& host) {
  const int u = model.unknowns();
  const PseudoObservations* prior = fit.prior ? &*fit.prior : nullptr;
  std::vector<PointTest> tests;
  tests.reserve(model.identicalCount());
  PointRows rows;
  for (std::size_t i = 0; i < model.identicalCount(); ++i) {
    if (!model.RowsOf(i, rows)) continue;
    Matrix design(rows.count, u, 0.0), v(rows.count, 1, 0.0);
    std::vector<double> weights(static_cast<std::size_t>(rows.count));
    for (int r = 0; r < rows.count; ++r) {
      for (int j = 0; j < u; ++j) design(r, j) = rows.a[r][j];
      v(r, 0) = fit.v[i][static_cast<std::size_t>(r)];
      weights[static_cast<std::size_t>(r)] = rows.p[r];
    }
    const GrossErrorResult result =
        model.method() == 0
            ? TestAfterL1Fit(design, weights, adjustment.qxx, adjustment.passThrough, v, fit.omegaPoints,
                             fit.testRedundancy,
                             [&] { return model.RefitWithout(i, adjustment, design, v, prior, host); })
            : TestForGrossError(design, weights, adjustment.qxx, v, fit.omegaPoints, fit.testRedundancy,
                                GrossErrorFit::LeastSquares, prior);
    double nabla[PointRows::kMaxRows] = {};
    for (int r = 0; r < rows.count; ++r) nabla[r] = result.nabla(r, 0);
    tests.push_back({model.identicalName(i), model.ToAxes(i, fit.v[i].data(), rows.count),
                     model.ToAxes(i, nabla, rows.count), result.T, result.F, result.outlier, model.AxisNames(),
                     result.tested});
  }
  return tests;
}

RunNotices NoticesOf(const Adjustment& adjustment, const RunCounters& counters, const Fit& fit,
                     const std::vector<PointTest>& tests, bool distribute) {
  RunNotices notices;
  notices.settled = adjustment.settled;
  notices.passes = counters.notice;
  notices.distributedOutliers = DistributedOutliers(tests, distribute);
  notices.redundancy = fit.testRedundancy;
  // The notice of untested points names the most observations a point has:
  // a point with fewer may have been tested.
  notices.observationsPerPoint = fit.perPoint;
  return notices;
}

// Lines of a report table; one pattern for a line with every value.
class TableLines {
 public:
  TableLines(int width, std::size_t columns) : width_(width), columns_(columns) {
    const std::string w = std::to_string(width);
    full_ = "%" + w + "s";
    for (std::size_t c = 0; c < columns; ++c) full_ += "%" + w + ".5f";
    full_ += "\n";
  }
  std::string line(std::string_view name, const std::vector<double>& values) const {
    if (values.size() == columns_ && std::none_of(values.begin(), values.end(), [](double v) { return std::isnan(v); })) {
      MessageArgs args;
      args.reserve(values.size() + 1);
      args.emplace_back(std::string(name));
      for (double v : values) args.emplace_back(v);
      return formatMessage(full_, args);
    }
    return TableLine(name, values, width_);
  }

 private:
  int width_;
  std::size_t columns_;
  std::string full_;
};

void WriteResidualTable(ReportFile& report, const LanguageTable& table, const ResidualTableLayout& layout,
                        const std::vector<PointTest>& tests) {
  report.separator();
  report.section(str::SectionResiduals, 33);
  std::string format = "%15s";
  MessageArgs heads{utf8ToWindows1252(table.text(str::ColumnPoint))};
  for (const std::string& head : layout.heads) {
    format += "%15s";
    heads.push_back(head);
  }
  report.writeFormat(format + "\n", heads);
  report.rule(layout.rule);
  const TableLines lines(15, layout.heads.size());
  for (const PointTest& t : tests) report.write(lines.line(t.name, t.residuals));
  if (layout.blankAfter) report.write("\n");
}

void WriteTestTable(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout,
                    const std::vector<PointTest>& tests) {
  WriteTestTableHead(report, table, layout);
  const TableLines lines(16, layout.axes.size());
  for (const PointTest& t : tests) {
    report.write(lines.line(t.name, t.nabla));
    WriteTestVerdict(report, table, layout, t);
  }
}

void WriteReport(const EstimationModel& model, ReportFile& report, JobHost& host, const Adjustment& adjustment,
                 const std::vector<PointTest>& tests, const RunNotices& notices) {
  const LanguageTable& table = host.language();
  report.WriteBanner();
  model.WriteTitle(report);
  report.WriteHeaderInfo();
  model.WriteOptions(report, host, notices);
  model.WritePointTables(report, table);
  model.WriteParameters(report, adjustment);
  WriteResidualTable(report, table, model.ResidualLayout(table), tests);
  WriteTestTable(report, table, model.TestLayout(table), tests);
  model.WriteAfterTests(report, table, notices);
  model.WriteTransformedHead(report, table);
}

struct Transformed {
  bool cancelled = false;
  std::int64_t leftOut = 0;  // points that could not be transformed or written
  std::string firstLeftOut;
};

// Every source point transformed, the residuals distributed when that is
// on, into the report and the output file. A point far beyond the
// identical points (a damaged coordinate) can leave the range of numbers;
// it is left out, not written as "inf".
Transformed TransformEveryPoint(EstimationModel& model, ReportFile& report, TransformedPointSink& sink,
                                bool distribute, JobHost& host) {
  Transformed out;
  if (distribute) model.PrepareDistribution();
  const bool identicalOnly = model.DistributesIdenticalOnly();
  const std::int64_t total = static_cast<std::int64_t>(model.sourceCount());
  std::string reportLine, outputLine;
  for (std::int64_t i = 0; i < total; ++i) {
    if (host.cancelled()) {
      out.cancelled = true;  // report and output are never committed
      return out;
    }
    model.ShowTransformProgress(host, i + 1, total);
    const std::size_t index = static_cast<std::size_t>(i);
    const std::string& name = model.sourceName(index);
    std::array<double, 3> p{};
    const bool transformed = model.Transform(index, p);
    if (transformed && distribute && (!identicalOnly || sink.isIdentical(name))) model.Distribute(p);
    if (!transformed || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
      if (out.leftOut++ == 0) out.firstLeftOut = name;
      continue;
    }
    model.FormatTransformed(index, p, reportLine, outputLine);
    report.write(reportLine);
    sink.write(name, outputLine);
  }
  return out;
}

// What a finished run tells besides its files, and the summary.
void TellAndSummarise(EstimationModel& model, JobHost& host, const RunNotices& notices,
                      const Transformed& transformed, std::vector<PointTest> tests, EstimationSummary* summary,
                      const RunCounters& counters, const Fit& fit, std::vector<EstimatedParameter> parameters,
                      std::int64_t written) {
  TellNotices(host, notices);
  model.TellTransformed(host, transformed.leftOut, transformed.firstLeftOut);
  ResidualPlot plot = model.Plot(tests);
  if (const RunFiles files = model.files(); !files.plotPath.empty()) WriteResidualPlot(files.plotPath, plot, host);
  model.Complete();
  if (summary == nullptr) return;
  summary->plot = std::move(plot);
  FillEstimationSummary(*summary, model.method(), counters.summary, fit.omega, fit.redundancy, std::move(parameters),
                        std::move(tests), model.PointsRead(), written, fit.pointsUsed, notices);
  summary->reweightingPasses = counters.reweighting;
  summary->pointsLeftOut = transformed.leftOut;
  summary->firstLeftOut = transformed.firstLeftOut;
  model.CompleteSummary(*summary);
}

}  // namespace

double EstimationModel::Residuals(const Adjustment& adjustment, std::vector<std::array<double, 3>>& v) {
  v.assign(identicalCount(), {});
  double omega = 0.0;
  PointRows rows;
  for (std::size_t i = 0; i < identicalCount(); ++i) {
    if (!RowsOf(i, rows)) continue;
    for (int r = 0; r < rows.count; ++r) {
      double& value = v[i][static_cast<std::size_t>(r)];
      value = RowResidual(rows.a[r], rows.l[r], adjustment.increment);
      omega += rows.p[r] * value * value;
    }
    KeepResiduals(i, v[i].data(), rows.count);
  }
  return omega;
}

std::optional<Refitted> EstimationModel::RefitWithout(std::size_t point, const Adjustment& adjustment,
                                                      const Matrix& design, const Matrix& v,
                                                      const PseudoObservations* prior, JobHost& host) const {
  const ModelRows rows{*this};
  auto settled = [&](const Matrix& now, const Matrix& before) { return host.cancelled() || Settled(now, before); };
  return RefitLinear(
      unknowns(), point, [&](std::size_t skip, auto&& add) { rows.except(skip, add); }, settled, design,
      adjustment.x, v, prior);
}

void EstimationModel::TellTransformed(JobHost& host, std::int64_t leftOut, const std::string& first) const {
  if (leftOut > 0) TellLeftOut(host, leftOut, first);
}

std::string TableLine(std::string_view name, const std::vector<double>& values, int width) {
  const std::string w = std::to_string(width);
  std::string line = formatMessage("%" + w + "s", {std::string(name)});
  std::size_t used = values.size();
  while (used > 0 && std::isnan(values[used - 1])) --used;
  for (std::size_t c = 0; c < used; ++c) {
    line += std::isnan(values[c]) ? std::string(static_cast<std::size_t>(width), ' ')
                                  : formatMessage("%" + w + ".5f", {values[c]});
  }
  return line + "\n";
}

int RunEstimation(EstimationModel& model, JobHost& host, EstimationSummary* summary) {
  const ProgressEnd progressEnd{host};
  if (!model.ReadAndPair(host) || !model.CheckGeometry(host)) return 0;
  const RunFiles files = model.files();
  const GeneralSettings& settings = *files.settings;
  ReportFile report(host.language(), settings.headerText, settings.userDefinedHeader, settings.includeDate);
  OutputFile output;
  if (!OpenEstimationFiles(files.reportPath, files.outputPath, host, report, output)) return 0;

  const Adjustment adjustment = Adjust(model, host);
  if (!AdjustmentUsable(model, adjustment, host)) return 0;
  const Fit fit = TakeResiduals(model, adjustment);
  std::vector<EstimatedParameter> parameters =
      model.TakeParameters(adjustment, UnitWeightSigma(fit.omega, fit.redundancy), host);
  std::vector<PointTest> tests = TestEveryPoint(model, adjustment, fit, host);
  const RunCounters counters = model.Counters(adjustment);
  const bool distribute = settings.interpolationActive == 1;
  const RunNotices notices = NoticesOf(adjustment, counters, fit, tests, distribute);

  WriteReport(model, report, host, adjustment, tests, notices);
  TransformedPointSink sink(output, model.writeIdentical());
  for (std::size_t i = 0; i < model.identicalCount(); ++i) sink.addIdentical(model.identicalName(i));
  const Transformed transformed = TransformEveryPoint(model, report, sink, distribute, host);
  model.WriteTransformedEnd(report);
  if (transformed.cancelled) return 0;
  if (!FinishEstimationRun(host, report, files.reportPath, output, files.outputPath, summary)) return 0;
  TellAndSummarise(model, host, notices, transformed, std::move(tests), summary, counters, fit,
                   std::move(parameters), sink.written());
  return 1;
}

}  // namespace pelmar
