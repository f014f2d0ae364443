#pragma once

// The stages of RunEstimation (EstimationRun.h). The adjustment's loops are
// templates over the model's own class: they run over every observation
// row many times per run, and a call through the model's interface per
// point cost the plane L1 fit half its speed.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "adjust/GrossErrorTest.h"
#include "adjust/NormalEquations.h"
#include "adjust/RobustTest.h"
#include "estimation/ReportFile.h"
#include "io/OutputFile.h"

namespace pelmar {

class JobHost;

namespace stages {

// The observation rows of the model as the adjustment loops take them:
// every point that takes part (but `skip`), then the pseudo-observations.
// A model whose rows all weigh 1 (Model::kUnitWeights) hands the loops the
// constant, which spares them a square root per row and pass.
template <class Model>
struct ModelRows {
  const Model& model;

  template <class Add>
  void except(std::size_t skip, Add&& add) const {
    PointRows rows;
    const std::size_t n = model.identicalCount();
    for (std::size_t i = 0; i < n; ++i) {
      if (i == skip || !model.RowsOf(i, rows)) continue;
      for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], Model::kUnitWeights ? 1.0 : rows.p[r]);
    }
    model.PriorRows(rows);
    for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], rows.p[r]);
  }
  template <class Add>
  void operator()(Add&& add) const {
    except(model.identicalCount(), add);
  }
};

bool Cancelled(JobHost& host);
void TakeSolution(Adjustment& out, const AdjustmentSolution& solution);

// Gauss–Newton: the reweighting loop on the rows at the current
// approximations, each solution applied, until two successive increments
// agree. A loop that ended at its limit has applied its last solution: the
// cofactors (and the L1 floor) then belong to the rows at the
// approximations the residuals are taken at, or Qvv would be no cofactor
// matrix and T come out negative.
template <class Model>
Adjustment AdjustIterated(Model& model, JobHost& host) {
  const ModelRows<Model> rows{model};
  const int u = model.unknowns();
  auto settled = [&](const Matrix& now, const Matrix& before) { return Cancelled(host) || model.Settled(now, before); };
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
    if (Cancelled(host)) break;
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
  if (Cancelled(host)) return out;
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
template <class Model>
Adjustment Adjust(Model& model, JobHost& host) {
  if (model.Iterates()) return AdjustIterated(model, host);
  const ModelRows<Model> rows{model};
  auto settled = [&](const Matrix& now, const Matrix& before) { return Cancelled(host) || model.Settled(now, before); };
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
bool AdjustmentUsable(const EstimationModel& model, const Adjustment& adjustment, JobHost& host);

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

Fit TakeResiduals(EstimationModel& model, const Adjustment& adjustment);

// One point's test record from its test in row order.
PointTest DescribeTest(const EstimationModel& model, std::size_t point, const Fit& fit, const GrossErrorResult& result,
                       int rows);

// The gross-error test of every point that takes part, with its own rows.
// After an L1 fit a point the fit passes through is tested against the L1
// fit of the other points: a linear model's refit here, an iterated
// model's its own.
template <class Model>
std::vector<PointTest> TestEveryPoint(const Model& model, const Adjustment& adjustment, const Fit& fit,
                                      JobHost& host) {
  const ModelRows<Model> modelRows{model};
  const int u = model.unknowns();
  const PseudoObservations* prior = fit.prior ? &*fit.prior : nullptr;
  auto settled = [&](const Matrix& now, const Matrix& before) { return Cancelled(host) || model.Settled(now, before); };
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
    auto refit = [&]() -> std::optional<Refitted> {
      if (model.Iterates()) return model.RefitIterated(i, host);
      return RefitLinear(
          u, i, [&](std::size_t skip, auto&& add) { modelRows.except(skip, add); }, settled, design, adjustment.x, v,
          prior);
    };
    const GrossErrorResult result =
        model.method() == 0 ? TestAfterL1Fit(design, weights, adjustment.qxx, adjustment.passThrough, v,
                                             fit.omegaPoints, fit.testRedundancy, refit)
                            : TestForGrossError(design, weights, adjustment.qxx, v, fit.omegaPoints,
                                                fit.testRedundancy, GrossErrorFit::LeastSquares, prior);
    tests.push_back(DescribeTest(model, i, fit, result, rows.count));
  }
  return tests;
}

RunNotices NoticesOf(const Adjustment& adjustment, const RunCounters& counters, const Fit& fit,
                     const std::vector<PointTest>& tests, bool distribute);

// Ends the host's progress display on every way out of a run.
struct ProgressEnd {
  JobHost& host;
  ~ProgressEnd();
};

// The report and the output file of a run. Both are written through
// temporary files that replace the named files only when the run commits
// them: a run that stops before leaves them as they were.
class RunOutputs {
 public:
  RunOutputs(const EstimationModel& model, JobHost& host);
  // The report's failure ends the run; the output file's is told, and the run goes on without it.
  bool open(JobHost& host);
  bool distribute() const;
  bool commit(JobHost& host, EstimationSummary* summary);
  std::int64_t written() const { return sink.written(); }

  RunFiles files;
  ReportFile report;
  OutputFile output;
  TransformedPointSink sink;
};

void WriteReport(const EstimationModel& model, ReportFile& report, JobHost& host, const Adjustment& adjustment,
                 const std::vector<PointTest>& tests, const RunNotices& notices);

struct Transformed {
  bool cancelled = false;
  std::int64_t leftOut = 0;  // points that could not be transformed or written
  std::string firstLeftOut;
};

Transformed TransformEveryPoint(EstimationModel& model, RunOutputs& outputs, JobHost& host);

// What the run found, for its summary.
struct RunResult {
  RunCounters counters;
  const Fit& fit;
  std::vector<EstimatedParameter> parameters;
  std::int64_t written = 0;
};

void TellAndSummarise(EstimationModel& model, JobHost& host, const RunNotices& notices, const Transformed& transformed,
                      std::vector<PointTest> tests, EstimationSummary* summary, RunResult result);

}  // namespace stages
}  // namespace pelmar
