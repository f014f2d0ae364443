#pragma once

// The stages of RunEstimation (EstimationRun.h). The adjustment's loops are
// templates over the model's own class: they run over every observation
// row many times per run, and a call through the model's interface per
// point cost the plane L1 fit half its speed.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "adjust/GrossErrorTest.h"
#include "adjust/NormalEquations.h"
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
    const std::size_t n = model.identicalCount();
    range(0, std::min(skip, n), add);
    if (skip < n) range(skip + 1, n, add);
    prior(add);
  }
  template <class Add>
  void operator()(Add&& add) const {
    except(model.identicalCount(), add);
  }
  // The same a range of points at a time (from several threads at once),
  // the prior's rows apart.
  std::size_t points() const { return model.identicalCount(); }
  template <class Add>
  void range(std::size_t from, std::size_t to, Add&& add) const {
    PointRows rows;
    for (std::size_t i = from; i < to; ++i) {
      if (!model.RowsOf(i, rows)) continue;
      for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], Model::kUnitWeights ? 1.0 : rows.p[r]);
    }
  }
  template <class Add>
  void prior(Add&& add) const {
    PointRows rows;
    model.PriorRows(rows);
    for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], rows.p[r]);
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
    const AdjustmentSolution inner = SolveAdjustment(
        u, model.method() == 0, rows, settled, [&](int pass) { model.ShowPass(host, out.outer, pass); },
        out.outer == 0);
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
    auto apriori = [&](auto& sink) { rows([&](const double* a, double l, double p) { sink.add(a, l, p); }); };
    Matrix ignored;
    if (SolveLeastSquares(u, apriori, out.qxx, ignored) != 1) out.singular = true;
    out.passThrough = ScanL1Residuals(rows, Matrix(u, 1, 0.0)).passThrough;
  }
  if (out.singular) return out;
  out.increment = lastApplied ? Matrix(u, 1, 0.0) : out.x;
  // Two increments of one size also end the loop when they do not shrink (a
  // solution that circles or grows): it has settled only when the increment
  // left over would move no identical point by more than the reports print.
  if (!lastApplied && !(LargestMove(rows, out.x) <= kGaussNewtonSettledMove)) {
    // Where the L1 minimum is not unique the increments move along it: an
    // increment that no longer lowers the L1 norm leaves the fit at its
    // minimum, which has converged.
    constexpr double kNormStill = 1e-9;
    const bool atMinimum = model.method() == 0 && ScanL1Residuals(rows, out.x).norm >=
                                                     (1.0 - kNormStill) * ScanL1Residuals(rows, Matrix(u, 1, 0.0)).norm;
    if (!atMinimum) out.settled = false;
  }
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
  // The variance of one observation that rounding alone leaves:
  // (1e-13 · the largest √p·|l| or √p·|a|)², the size of the numbers a
  // residual is the difference of.
  double noise = 0.0;
};

// What the gross-error test found, and the fit it tested against: its
// scale √(Ω/r) (the points' own) and redundancy.
struct TestOutcome {
  std::vector<PointTest> tests;
  std::optional<double> scale;
  int redundancy = 0;
  std::vector<std::string> setAside;  // after an L1 fit: the points outside the fit tested against
};

Fit TakeResiduals(EstimationModel& model, const Adjustment& adjustment);

// Runs block(from, to) over the points [0, n) a block at a time on every
// core; the calling thread alone steps the host's progress (once a point,
// as the blocks finish) and asks it whether to stop. False when cancelled.
bool EachPointOnEveryCore(std::size_t n, JobHost& host,
                          const std::function<void(std::size_t from, std::size_t to)>& block);

// Keeps the records whose `taking` is set, in order.
template <class Record>
void KeepTaking(std::vector<Record>& records, const std::vector<char>& taking) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!taking[i]) continue;
    if (kept != i) records[kept] = std::move(records[i]);
    ++kept;
  }
  records.resize(kept);
}

// One point's test record from its test in row order.
PointTest DescribeTest(const EstimationModel& model, std::size_t point, const Fit& fit, const GrossErrorResult& result,
                       int rows);

// A point's rows as the test takes them.
struct PointDesign {
  Matrix design;  // k × u
  std::vector<double> weights;
};
PointDesign DesignOf(const PointRows& rows, int u);
Matrix Column(const std::array<double, 3>& values, int count);
// The point's leverage: the trace Σ p·a·Qxx·aᵀ over its rows of its block
// of the hat matrix, at least its largest eigenvalue (the most the point's
// own observations weigh in its fitted values).
double Leverage(const PointDesign& point, const Matrix& qxx);
// Below this leverage a point cannot move a fit far enough for the first-
// order form of the fit without it to differ from a refit: its pull on the
// parameters is at most this share of its residual, and what the
// linearisation drops is of second order in that pull.
inline constexpr double kRefitLeverage = 1e-3;

// The least-squares test of every point that takes part, with its own rows,
// in the adjustment's fit.
template <class Model>
TestOutcome TestEveryPoint(const Model& model, const Adjustment& adjustment, const Fit& fit, JobHost& host) {
  const PseudoObservations* prior = fit.prior ? &*fit.prior : nullptr;
  TestOutcome out;
  out.redundancy = fit.testRedundancy;
  out.scale = UnitWeightSigma(fit.omegaPoints, fit.testRedundancy);
  std::vector<PointTest>& tests = out.tests;
  const std::size_t n = model.identicalCount();
  tests.resize(n);
  std::vector<char> taking(n, 0);
  const bool done = EachPointOnEveryCore(n, host, [&](std::size_t from, std::size_t to) {
    PointRows rows;
    for (std::size_t i = from; i < to; ++i) {
      if (!model.RowsOf(i, rows)) continue;
      const PointDesign point = DesignOf(rows, model.unknowns());
      const GrossErrorResult result = TestForGrossError(point.design, point.weights, adjustment.qxx,
                                                        Column(fit.v[i], rows.count), fit.omegaPoints,
                                                        fit.testRedundancy, prior, fit.noise);
      tests[i] = DescribeTest(model, i, fit, result, rows.count);
      taking[i] = 1;
    }
  });
  KeepTaking(tests, taking);
  if (!done) tests.clear();
  return out;
}

// A least-squares fit of the points marked `inside` (with the prior), at the
// model's current rows, and every point's discrepancy under it.
struct SubsetFit {
  Matrix x, qxx;
  bool singular = false;
  std::vector<std::array<double, 3>> d;  // computed minus given, row order
  double omega = 0.0;                    // Σ p·d² of the points inside
  int redundancy = 0;                    // the points' own (with a prior, their share)
  std::optional<PseudoObservations> prior;
};

SubsetFit CompleteSubsetFit(const EstimationModel& model, SubsetFit fit, const std::vector<char>& inside,
                            int observations);

// The rows of the points marked `inside`, with their own weights, a range
// of points at a time (PointRanges), the prior's rows apart.
template <class Model>
struct InsideRows {
  const Model& model;
  const std::vector<char>& inside;

  std::size_t points() const { return model.identicalCount(); }
  template <class Add>
  void range(std::size_t from, std::size_t to, Add&& add) const {
    PointRows rows;
    for (std::size_t i = from; i < to; ++i) {
      if (!inside[i] || !model.RowsOf(i, rows)) continue;
      for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], rows.p[r]);
    }
  }
  template <class Add>
  void prior(Add&& add) const {
    PointRows rows;
    model.PriorRows(rows);
    for (int r = 0; r < rows.count; ++r) add(rows.a[r], rows.l[r], rows.p[r]);
  }
};

// The least-squares solution of the rows of the points inside (and the
// prior) at the model's current rows, on every core; the count of the
// points' observations.
template <class Model>
int SolveInside(const Model& model, const std::vector<char>& inside, SubsetFit& fit) {
  const int u = model.unknowns();
  AdjustmentSolution solution;
  double floor = 0.0, normBefore = 0.0;
  bool normStill = false;
  std::size_t observations = 0;
  ChunkResiduals unused;  // a least-squares pass takes no residuals
  fit.singular = ChunkedPass(u, 0, InsideRows<Model>{model, inside}, Matrix(u, 1, 0.0), floor, normStill, normBefore,
                             0.0, solution, true, unused, &observations) != 1;
  fit.qxx = std::move(solution.qxx);
  fit.x = std::move(solution.x);
  return static_cast<int>(observations);
}

// A model that is not linear is fitted by Gauss–Newton from the model's own
// start for these points (not from the L1 solution, which a blunder on a
// lever can have turned by 169°), and its approximations are put back
// afterwards.
template <class Model>
SubsetFit FitInside(Model& model, const std::vector<char>& inside) {
  SubsetFit fit;
  if (!model.Iterates()) {
    const int observations = SolveInside(model, inside, fit);
    return fit.singular ? fit : CompleteSubsetFit(model, std::move(fit), inside, observations);
  }
  const std::vector<double> saved = model.Approximations();
  model.StartFor(inside);
  int observations = SolveInside(model, inside, fit);
  Matrix before(model.unknowns(), 1, 0.0);
  for (int pass = 0; pass < 50 && !fit.singular; ++pass) {
    model.Update(fit.x);
    if (pass > 0 && model.Settled(fit.x, before)) break;
    before = fit.x;
    observations = SolveInside(model, inside, fit);
  }
  if (!fit.singular) {
    observations = SolveInside(model, inside, fit);
    if (!fit.singular) fit = CompleteSubsetFit(model, std::move(fit), inside, observations);
  }
  model.RestoreApproximations(saved);
  return fit;
}

// Whether the L1 fit passes through one of the point's rows: √p·|v| at or
// below `limit` (AdjustmentSolution::passThrough; none when below 0).
bool PassesThrough(const PointRows& rows, const std::array<double, 3>& v, double limit);

// The points an L1 fit interpolates: of those it passes through, the ones
// holding the u smallest residuals √p·|v| (u unknowns) — at most u points,
// so that the refits they need cost u fits, not one per chance-small
// residual of a large network.
std::vector<char> InterpolatedPoints(const EstimationModel& model, const Fit& fit, double limit);

// The points an L1 fit sets aside before the test (0 in the result): a
// residual √p·|v| beyond three robust standard deviations of the rows it does
// not interpolate.
std::vector<char> NotSetAside(const EstimationModel& model, const Fit& fit);

// The test after an L1 fit. The L1 fit leaves each gross error at its full
// size in its own residuals; the points whose residuals stand out are set
// aside, every point is tested at 95 % against the least-squares fit of the
// points not set aside (inside it with TestForGrossError, outside with
// TestAgainstFit), and the points beyond the 99.9 % quantile are the next
// set aside, until the set is stable. Several blunders no longer hide each
// other in the variance factor, and a point the L1 fit passes through is
// tested like any other. Setting aside every point flagged at 95 % instead
// took the largest clean residuals out of the variance factor: 9 % of the
// points of clean networks were flagged.
template <class Model>
TestOutcome TestAfterL1(Model& model, const Adjustment& adjustment, const Fit& fit, JobHost& host) {
  const std::size_t n = model.identicalCount();
  const int u = model.unknowns();
  std::vector<char> inside = NotSetAside(model, fit);
  const std::vector<char> interpolated =
      model.Iterates() ? InterpolatedPoints(model, fit, adjustment.passThrough) : std::vector<char>(n, 0);
  TestOutcome out;
  std::vector<PointTest>& tests = out.tests;
  PointRows rows;
  constexpr int kMostPasses = 20;
  for (int pass = 0; pass < kMostPasses; ++pass) {
    SubsetFit subset = FitInside(model, inside);
    if (subset.singular) {
      // The points kept do not determine the model: all of them do.
      if (std::count(inside.begin(), inside.end(), 1) == static_cast<std::ptrdiff_t>(n)) break;
      std::fill(inside.begin(), inside.end(), 1);
      continue;
    }
    const PseudoObservations* prior = subset.prior ? &*subset.prior : nullptr;
    std::vector<char> next(n, 1);
    out.redundancy = subset.redundancy;
    out.scale = UnitWeightSigma(subset.omega, subset.redundancy);
    tests.clear();
    tests.resize(n);
    std::vector<char> taking(n, 0), refit(n, 0);
    const bool done = EachPointOnEveryCore(n, host, [&](std::size_t from, std::size_t to) {
      PointRows own;
      for (std::size_t i = from; i < to; ++i) {
        if (!model.RowsOf(i, own)) continue;
        const PointDesign point = DesignOf(own, u);
        const Matrix d = Column(subset.d[i], own.count);
        const GrossErrorResult result =
            inside[i] ? TestForGrossError(point.design, point.weights, subset.qxx, d, subset.omega,
                                          subset.redundancy, prior, fit.noise)
                      : TestAgainstFit(point.design, point.weights, subset.qxx, d, subset.omega, subset.redundancy,
                                       fit.noise);
        // The test inside a fit is the first-order form of a fit without
        // the point. For a model that is not linear and a point the L1 fit
        // passes through (a wrong point on a lever draws the fit onto
        // itself and can turn it into another minimum) the fit without it
        // is made below, one point at a time (it moves the model's
        // approximations), unless the point's leverage is too small for
        // that to happen (one point of a large network).
        refit[i] = inside[i] && interpolated[i] && Leverage(point, subset.qxx) >= kRefitLeverage;
        next[i] = result.clear ? 0 : 1;
        tests[i] = DescribeTest(model, i, fit, result, own.count);
        taking[i] = 1;
      }
    });
    if (!done) {
      tests.clear();
      return out;
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (!refit[i] || !model.RowsOf(i, rows)) continue;
      if (Cancelled(host)) {
        tests.clear();
        return out;
      }
      std::vector<char> others = inside;
      others[i] = 0;
      const SubsetFit without = FitInside(model, others);
      if (without.singular) continue;  // the first-order test stands
      const PointDesign point = DesignOf(rows, u);
      const GrossErrorResult result =
          TestAgainstFit(point.design, point.weights, without.qxx, Column(without.d[i], rows.count), without.omega,
                         without.redundancy, fit.noise);
      next[i] = result.clear ? 0 : 1;
      tests[i] = DescribeTest(model, i, fit, result, rows.count);
    }
    KeepTaking(tests, taking);
    if (next == inside) break;
    inside = std::move(next);
  }
  if (tests.empty()) return TestEveryPoint(model, adjustment, fit, host);
  for (std::size_t i = 0; i < n; ++i) {
    if (!inside[i] && model.RowsOf(i, rows)) out.setAside.push_back(model.identicalName(i));
  }
  return out;
}

RunNotices NoticesOf(const Adjustment& adjustment, const RunCounters& counters, const Fit& fit,
                     const TestOutcome& tested, bool distribute);

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

// The reliability of every point that takes part: its redundancy numbers
// (the diagonal of P^½·Qvv·P^½ over its rows) summed over its k rows, and
// the minimal detectable bias of each row, σ0·√(λ0/(p·r)), with λ0 the
// noncentrality at which the point's k-dimensional test at 5 % finds an
// error with 80 % probability; NaN where a row has no redundancy.
void AddReliability(const EstimationModel& model, const Adjustment& adjustment, std::optional<double> sigma0,
                    std::vector<PointTest>& tests);
// λ0 of a χ² test with k degrees of freedom at 5 % and 80 % power.
double DetectableNoncentrality(int k);

// The scale of the parameters' standard deviations: σ0 = √(Ω/r) after least
// squares; after an L1 fit the asymptotic L1 form τ = 1/(2·f(0)), with the
// density f of the errors at zero taken as a normal distribution's whose σ
// is the spread of the residuals √p·v between their quantiles 0.5 ± h
// (Hall and Sheather's bandwidth; the rows the fit passes through left
// out), widened by √(n/(n − u)) for the unknowns they absorbed. So
// τ = σ·√(π/2). Least-squares σ under an L1 estimate were about 20 % too
// small; these spread (estimate − truth)/σ by 0.85 to 1.07 on clean normal
// noise (bench/pelmar_bench_gross_errors).
struct PrecisionScaleResult {
  std::optional<double> scale;
  bool l1 = false;  // the L1 form
};
PrecisionScaleResult PrecisionScale(const EstimationModel& model, const Adjustment& adjustment, const Fit& fit);

// What the report shows besides the model's own blocks.
struct ReportExtras {
  const std::vector<EstimatedParameter>& parameters;
  const Fit& fit;
  int unknowns = 0;
  const std::vector<std::string>& setAside;
};

void WriteReport(const EstimationModel& model, ReportFile& report, JobHost& host, const Adjustment& adjustment,
                 const std::vector<PointTest>& tests, const RunNotices& notices, const ReportExtras& extras);

struct Transformed {
  bool cancelled = false;
  std::int64_t leftOut = 0;  // points that could not be transformed or written
  std::string firstLeftOut;
  std::int64_t outsideHull = 0;  // written points outside the identical points' hull in plan
  std::string farthestOutside;
  double farthestDistance = 0.0;  // metres
};

Transformed TransformEveryPoint(EstimationModel& model, RunOutputs& outputs, JobHost& host);

// What the run found, for its summary.
struct RunResult {
  RunCounters counters;
  bool l1Sigma = false;  // the parameters' σ are the L1 form
  const Fit& fit;
  std::vector<EstimatedParameter> parameters;
  std::int64_t written = 0;
};

void TellAndSummarise(EstimationModel& model, JobHost& host, const RunNotices& notices, const Transformed& transformed,
                      const std::vector<PointVerdict>& verdicts, std::vector<PointTest> tests,
                      EstimationSummary* summary, RunResult result);

}  // namespace stages
}  // namespace pelmar
