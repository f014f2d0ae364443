#pragma once

// Where things live in src/estimation/:
//  - EstimationRun.{h,cpp}: the one run every estimation makes (RunEstimation)
//    and its stages: reading and pairing, the geometry check, the adjustment
//    (least squares or L1, with a Gauss–Newton loop for a model that is not
//    linear), residuals, parameters and precision, the gross-error test, the
//    report, the transformation of every source point with the residual
//    distribution, the output files and the summary. A stage asks the model
//    (EstimationModel below) only for what differs between models.
//  - CartesianModel.{h,cpp}: what the plane and spatial models share (point
//    files "name c1 c2 [c3]", centroids, the report's point tables).
//  - The models: PlaneEstimation.cpp (similarity, affine),
//    SpatialEstimation.cpp (rigorous and linearised Helmert),
//    EllipsoidalEstimation.cpp (Helmert in ellipsoidal coordinates, with
//    EllipsoidalModel and EllipsoidalPointFile).
//  - Shared pieces of the report and the run: EstimationSections, ReportFile,
//    ResidualDistribution, ResidualPlot, PointSpread; the adjustment's
//    mathematics is in src/adjust/.
// A new model is a class derived from EstimationModel (or CartesianModel)
// and a function that builds it and calls RunEstimation.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "adjust/Matrix.h"
#include "adjust/GrossErrorTest.h"
#include "app/JobHost.h"
#include "app/StringIds.h"
#include "estimation/EstimationJob.h"
#include "estimation/EstimationSections.h"

namespace pelmar {

class JobHost;
class LanguageTable;
class ReportFile;
struct GeneralSettings;

// The observation rows of one identical point: up to three rows over up to
// kMaxUnknowns unknowns, with their observations l (given minus
// approximated) and a-priori weights p.
struct PointRows {
  static constexpr int kMaxRows = 3;
  static constexpr int kMaxUnknowns = 8;
  int count = 0;
  double a[kMaxRows][kMaxUnknowns];
  double l[kMaxRows];
  double p[kMaxRows];
};

// What the adjustment stage ends with.
struct Adjustment {
  Matrix x;          // the last solution: the parameters of a linear model, the last increment of an iterated one
  Matrix increment;  // what is still to be added to the model's rows for the residuals: x, or zero when applied
  Matrix qxx;        // least-squares cofactors at the a-priori weights (AdjustmentSolution::qxx)
  double passThrough = -1.0;  // AdjustmentSolution::passThrough
  int passes = 0;    // AdjustmentSolution::passes of the (last) reweighting loop
  int counter = 0;   // its counter k as the reports print it
  int outer = 0;     // an iterated model: Gauss–Newton passes; a linear one: the counter
  int innerSum = 0;  // an iterated model: the reweighting counters summed
  bool innerCapped = false;  // a reweighting loop ended at its pass limit
  bool settled = true;
  bool singular = false;
};

// The most that the Gauss–Newton increment left over at the end may still
// move an identical point (metres). A least-squares run ends with
// increments of 1e-12 m; the L1 fit's reweighting settles only to about
// 1e-4 m; an iteration that circles or grows moves points by far more.
inline constexpr double kGaussNewtonSettledMove = 1e-3;

// The pass counts a model tells: in its notices and in the summary, and
// the reweighting counter that the summary adds for an iterated L1 fit.
struct RunCounters {
  int notice = 0;
  int summary = 0;
  std::optional<int> reweighting;
};

// Where the run's files go and the run's general settings.
struct RunFiles {
  std::filesystem::path reportPath;
  std::filesystem::path outputPath;  // empty: none
  std::filesystem::path plotPath;    // empty: none
  const GeneralSettings* settings = nullptr;
  std::string_view outputHeader;  // the output file's first line(s), if any
  std::string columns = "name";   // the output's column names, for a delimited output
};

// The layout of the report's residual table.
struct ResidualTableLayout {
  std::vector<std::string> heads;  // the column heads after the point column
  int rule = 45;                   // "-" under them
  bool blankAfter = false;         // an empty line after the last point
};

// A model of an estimation: what differs between the plane, spatial and
// ellipsoidal runs. Point indices run over the identical points as paired
// (0 … identicalCount() − 1); row values run in the model's row order.
class EstimationModel {
 public:
  virtual ~EstimationModel() = default;

  // Reading and pairing; false when the run stops (the message is given).
  virtual bool ReadAndPair(JobHost& host) = 0;
  // Whether the identical points can determine the model; also its set-up
  // (reduction, rows, start values). False when the run stops.
  virtual bool CheckGeometry(JobHost& host) = 0;
  virtual RunFiles files() const = 0;
  virtual int method() const = 0;  // 0 L1 norm, 1 least squares
  virtual int writeIdentical() const = 0;

  // The adjustment.
  virtual int unknowns() const = 0;
  virtual std::size_t identicalCount() const = 0;
  virtual const std::string& identicalName(std::size_t point) const = 0;
  // The point's rows at the current approximations; false when it takes no
  // part in the adjustment.
  virtual bool RowsOf(std::size_t point, PointRows& rows) const = 0;
  // Pseudo-observations (rows with l = 0) after the points' rows; count 0 for none.
  virtual void PriorRows(PointRows& rows) const { rows.count = 0; }
  // Two successive solutions agree: the reweighting loop has settled.
  virtual bool Settled(const Matrix& now, const Matrix& before) const = 0;
  // A model that is not linear in its unknowns is solved by Gauss–Newton:
  // each solution is an increment that Update adds to the approximations.
  virtual bool Iterates() const { return false; }
  virtual void Update(const Matrix& /*increment*/) {}
  // An iterated model's approximations, to be put back after a fit of a
  // subset of the points (the test after an L1 fit).
  virtual std::vector<double> Approximations() const { return {}; }
  virtual void RestoreApproximations(const std::vector<double>& /*saved*/) {}
  virtual void StartFor(const std::vector<char>& /*inside*/) {}
  virtual void ShowPass(JobHost& /*host*/, int /*outer*/, int /*pass*/) const {}
  virtual void TellSingular(JobHost& host, const Adjustment& adjustment) const = 0;

  // Residuals (computed minus given, in row order) of every point that takes
  // part, into `v`; returns Ω = Σ p·v² of the points. The default takes them
  // from the rows: v = a·increment − l. KeepResiduals hands each point's
  // residuals back to the model (for its tables, plot and distribution).
  virtual double Residuals(const Adjustment& adjustment, std::vector<std::array<double, 3>>& v);
  virtual void KeepResiduals(std::size_t point, const double* rowValues, int count) = 0;
  // Row values (residuals, ∇) of a point in the report's axes; NaN for an axis it has no row for.
  virtual std::vector<double> ToAxes(std::size_t point, const double* rowValues, int count) const = 0;
  virtual std::vector<std::string> AxisNames() const = 0;

  // Parameters and precision: takes the solution and gives the parameters
  // as the summary lists them, with their standard deviations from σ0.
  virtual std::vector<EstimatedParameter> TakeParameters(const Adjustment& adjustment, std::optional<double> sigma0,
                                                         JobHost& host) = 0;
  virtual RunCounters Counters(const Adjustment& adjustment) const = 0;

  // The report, in its order.
  virtual void WriteTitle(ReportFile& report) const = 0;
  virtual void WriteOptions(ReportFile& report, JobHost& host, const RunNotices& notices) const = 0;
  virtual void WritePointTables(ReportFile& report, const LanguageTable& table) const = 0;
  virtual void WriteParameters(ReportFile& report, const Adjustment& adjustment) const = 0;
  virtual ResidualTableLayout ResidualLayout(const LanguageTable& table) const = 0;
  virtual TestTableLayout TestLayout(const LanguageTable& table) const = 0;
  virtual void WriteAfterTests(ReportFile& /*report*/, const LanguageTable& /*table*/,
                               const RunNotices& /*notices*/) const {}
  virtual void WriteTransformedHead(ReportFile& report, const LanguageTable& table) const = 0;
  virtual void WriteTransformedEnd(ReportFile& /*report*/) const {}

  // Every source point transformed.
  virtual std::size_t sourceCount() const = 0;
  virtual const std::string& sourceName(std::size_t index) const = 0;
  // The transformed point (in the output's order); false when it cannot be
  // transformed or written.
  virtual bool Transform(std::size_t index, std::array<double, 3>& out) = 0;
  // Plan coordinates (metres, any local frame) of an identical point's and a
  // source point's source position, for the extrapolation warning; the
  // frame is set up once before the transformation.
  virtual void PreparePlan() {}
  virtual std::array<double, 2> PlanOfIdentical(std::size_t point) const = 0;
  virtual std::array<double, 2> PlanOfSource(std::size_t index) const = 0;
  // The residual distribution: its stations, and the correction of a point.
  virtual void PrepareDistribution() = 0;
  virtual bool DistributesIdenticalOnly() const { return false; }
  // Corrects points[i] for every i with which[i] (on every core); false
  // when `cancelled` said so.
  virtual bool DistributeAll(std::vector<std::array<double, 3>>& points, const std::vector<char>& which,
                             const std::function<bool()>& cancelled) const = 0;
  // Whether Transform shares no state, so that several threads may call it
  // for different points at once.
  virtual bool TransformsConcurrently() const { return false; }
  virtual void ShowTransformProgress(JobHost& /*host*/, std::int64_t /*done*/, std::int64_t /*total*/) const {}
  virtual void FormatTransformed(std::size_t index, const std::array<double, 3>& point, std::string& reportLine,
                                 std::string& outputLine) const = 0;

  // The end of a run: after the files are committed and the notices told.
  // Tells the source points left out (`leftOut`, the first named), and what
  // else the model has to say about the transformed points.
  virtual void TellTransformed(JobHost& host, std::int64_t leftOut, const std::string& first) const;
  virtual ResidualPlot Plot(const std::vector<PointVerdict>& verdicts) const = 0;
  virtual void Complete() {}  // the result set, when the model gives one
  virtual std::int64_t PointsRead() const = 0;
  virtual void CompleteSummary(EstimationSummary& /*summary*/) const {}
};

// A line of a report table: the name in `width` characters, then each value
// as %width.5f; a NaN value leaves its column blank, and blank columns at the
// end are left out.
std::string TableLine(std::string_view name, std::span<const double> values, int width);
// The report's lines of `count` points: made a block at a time on every
// core (`append(i, out)` appends point i's lines; it must be safe to call
// from several threads) and written in order, a few blocks at a time so
// that the report is never held whole.
void WriteEachPoint(ReportFile& report, std::size_t count,
                    const std::function<void(std::size_t, std::string&)>& append);
// The values of such a line as "%<width>.<decimals>f", appended to `line`.
void AppendTableValues(std::string& line, std::span<const double> values, int width, int decimals);

}  // namespace pelmar

#include "estimation/EstimationStages.h"

namespace pelmar {

// The run: the stages in their order, the same for every model. Returns 1
// when the report was written, 0 when the run stopped with a message
// through `host` (the files named for it are then left as they were).
// `Model` is the model's own (final) class, so that the adjustment's loops
// over the rows call it directly.
template <class Model>
int RunEstimation(Model& model, JobHost& host, EstimationSummary* summary) {
  using namespace stages;
  const ProgressEnd progressEnd{host};
  if (model.unknowns() == 0) {
    host.message(str::NoParameterGroup);
    return 0;
  }
  host.setPhase(JobPhase::Reading);
  if (!model.ReadAndPair(host) || !model.CheckGeometry(host)) return 0;
  if (Cancelled(host)) return 0;
  RunOutputs outputs(model, host);
  if (!outputs.open(host)) return 0;

  host.setPhase(JobPhase::Adjusting);
  const Adjustment adjustment = Adjust(model, host);
  if (!AdjustmentUsable(model, adjustment, host)) return 0;
  Fit fit = TakeResiduals(model, adjustment);
  const PrecisionScaleResult precision = PrecisionScale(model, adjustment, fit);
  std::vector<EstimatedParameter> parameters = model.TakeParameters(adjustment, precision.scale, host);
  host.setPhase(JobPhase::Testing);
  TestOutcome tested =
      model.method() == 0 ? TestAfterL1(model, adjustment, fit, host) : TestEveryPoint(model, adjustment, fit, host);
  if (Cancelled(host)) return 0;
  std::vector<PointTest>& tests = tested.tests;
  const RunCounters counters = model.Counters(adjustment);
  const RunNotices notices = NoticesOf(adjustment, counters, fit, tested, outputs.distribute());
  AddReliability(model, adjustment, notices.testPossible() ? tested.scale : std::nullopt, tests);

  host.setPhase(outputs.distribute() ? JobPhase::Distributing : JobPhase::Writing);
  WriteReport(model, outputs.report, host, adjustment, tests, notices,
              {parameters, fit, model.unknowns(), tested.setAside});
  // Past the report the residuals are read no more, and the point records
  // only by the summary: the plot takes each point's verdict. (At a million
  // points they are 24 and 150 MB, the run's largest arrays.)
  std::vector<std::array<double, 3>>().swap(fit.v);
  std::vector<PointVerdict> verdicts = VerdictsOf(tests);
  if (summary == nullptr || !summary->keepPoints) std::vector<PointTest>().swap(tests);
  const Transformed transformed = TransformEveryPoint(model, outputs, host);
  if (transformed.cancelled || !outputs.commit(host, summary)) return 0;
  TellAndSummarise(model, host, notices, transformed, verdicts, std::move(tests), summary,
                   {counters, precision.l1, fit, std::move(parameters), outputs.written()});
  return 1;
}

}  // namespace pelmar
