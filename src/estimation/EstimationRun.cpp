#include "estimation/EstimationRun.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "app/EveryCore.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "estimation/PlanHull.h"
#include "points/LineFormatters.h"
#include "settings/GeneralSettings.h"
#include "text/MessageFormat.h"
#include "text/NumberFormat.h"
#include "text/TextEncoding.h"

namespace pelmar {

namespace {

void WriteResidualTable(ReportFile& report, const LanguageTable& table, const ResidualTableLayout& layout,
                        const std::vector<PointTest>& tests) {
  report.separator();
  report.section(str::SectionResiduals, 33);
  std::string format = "%15s";
  MessageArgs heads;
  heads.emplace_back(utf8ToWindows1252(table.text(str::ColumnPoint)));
  for (const std::string& head : layout.heads) {
    format += "%15s";
    heads.emplace_back(head);
  }
  report.writeFormat(format + "\n", heads);
  report.rule(layout.rule);
  WriteEachPoint(report, tests.size(), [&](std::size_t i, std::string& out) {
    out += TableLine(tests[i].name, tests[i].residuals, 15);
  });
  if (layout.blankAfter) report.write("\n");
}

void WriteTestTable(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout,
                    const std::vector<PointTest>& tests) {
  WriteTestTableHead(report, table, layout);
  WriteEachPoint(report, tests.size(), [&](std::size_t i, std::string& out) {
    out += TableLine(tests[i].name, tests[i].nabla, 16);
    AppendTestVerdict(out, table, layout, tests[i]);
  });
}

}  // namespace

void WriteEachPoint(ReportFile& report, std::size_t count,
                    const std::function<void(std::size_t, std::string&)>& append) {
  constexpr std::size_t kBlock = 2048, kBlocksAtOnce = 16;
  std::vector<std::string> texts(kBlocksAtOnce);
  for (std::size_t first = 0; first < count; first += kBlock * kBlocksAtOnce) {
    const std::size_t blocks = std::min(kBlocksAtOnce, (count - first + kBlock - 1) / kBlock);
    OnEveryCore(blocks, [&](std::size_t b) {
      std::string& text = texts[b];
      text.clear();
      const std::size_t from = first + b * kBlock, to = std::min(count, from + kBlock);
      for (std::size_t i = from; i < to; ++i) append(i, text);
    });
    for (std::size_t b = 0; b < blocks; ++b) report.write(texts[b]);
  }
}

namespace stages {

bool Cancelled(JobHost& host) { return host.cancelled(); }

bool EachPointOnEveryCore(std::size_t n, JobHost& host,
                          const std::function<void(std::size_t from, std::size_t to)>& block) {
  constexpr std::size_t kBlock = 4096;
  host.setProgressRange(static_cast<std::int64_t>(n));
  std::atomic<std::size_t> finished{0};
  std::size_t told = 0;
  auto tell = [&] {
    for (const std::size_t now = finished.load(); told < now; ++told) host.stepProgress();
  };
  const bool done = OnEveryCore(
      (n + kBlock - 1) / kBlock,
      [&](std::size_t b) {
        const std::size_t from = b * kBlock, to = std::min(n, from + kBlock);
        block(from, to);
        finished += to - from;
      },
      [&] {
        tell();
        return Cancelled(host);
      });
  if (done) tell();
  return done && !Cancelled(host);
}

void TakeSolution(Adjustment& out, const AdjustmentSolution& solution) {
  out.x = solution.x;
  out.qxx = solution.qxx;
  out.passThrough = solution.passThrough;
  out.passes = solution.passes;
  out.counter = solution.counter;
}

bool AdjustmentUsable(const EstimationModel& model, const Adjustment& adjustment, JobHost& host) {
  if (host.cancelled()) return false;
  if (adjustment.singular) {
    model.TellSingular(host, adjustment);
    return false;
  }
  return true;
}

Fit TakeResiduals(EstimationModel& model, const Adjustment& adjustment) {
  Fit fit;
  fit.omegaPoints = fit.omega = model.Residuals(adjustment, fit.v);
  const int u = model.unknowns();
  int observations = 0;
  PointRows rows;
  double size = 0.0;
  for (std::size_t i = 0; i < model.identicalCount(); ++i) {
    if (!model.RowsOf(i, rows)) continue;
    observations += rows.count;
    fit.perPoint = std::max(fit.perPoint, rows.count);
    ++fit.pointsUsed;
    for (int r = 0; r < rows.count; ++r) {
      double largest = std::fabs(rows.l[r]);
      for (int j = 0; j < u; ++j) largest = std::max(largest, std::fabs(rows.a[r][j]));
      if (std::isfinite(largest)) size = std::max(size, std::sqrt(rows.p[r]) * largest);
    }
  }
  constexpr double kRounding = 1e-13;
  fit.noise = (kRounding * size) * (kRounding * size);
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

PointTest DescribeTest(const EstimationModel& model, std::size_t point, const Fit& fit, const GrossErrorResult& result,
                       int rows) {
  double nabla[PointRows::kMaxRows] = {};
  for (int r = 0; r < rows; ++r) nabla[r] = result.nabla(r, 0);
  PointTest test;
  test.name = model.identicalName(point);
  test.residuals = model.ToAxes(point, fit.v[point].data(), rows);
  test.nabla = model.ToAxes(point, nabla, rows);
  test.T = result.T;
  test.F = result.F;
  test.outlier = result.outlier;
  test.tested = result.tested;
  return test;
}

PointDesign DesignOf(const PointRows& rows, int u) {
  PointDesign out{Matrix(rows.count, u, 0.0), std::vector<double>(rows.p, rows.p + rows.count)};
  for (int r = 0; r < rows.count; ++r) {
    for (int j = 0; j < u; ++j) out.design(r, j) = rows.a[r][j];
  }
  return out;
}

Matrix Column(const std::array<double, 3>& values, int count) {
  Matrix out(count, 1, 0.0);
  for (int r = 0; r < count; ++r) out(r, 0) = values[static_cast<std::size_t>(r)];
  return out;
}

SubsetFit CompleteSubsetFit(const EstimationModel& model, SubsetFit fit, const std::vector<char>& inside,
                            int observations) {
  const int u = model.unknowns();
  fit.d.assign(model.identicalCount(), {});
  PointRows rows;
  for (std::size_t i = 0; i < model.identicalCount(); ++i) {
    if (!model.RowsOf(i, rows)) continue;
    for (int r = 0; r < rows.count; ++r) {
      double& d = fit.d[i][static_cast<std::size_t>(r)];
      d = RowResidual(rows.a[r], rows.l[r], fit.x);
      if (inside[i]) fit.omega += rows.p[r] * d * d;
    }
  }
  model.PriorRows(rows);
  fit.redundancy = observations + rows.count - u;
  if (rows.count > 0) {
    PseudoObservations prior{Matrix(rows.count, u, 0.0), std::vector<double>(rows.p, rows.p + rows.count), fit.x};
    for (int r = 0; r < rows.count; ++r) {
      for (int j = 0; j < u; ++j) prior.rows(r, j) = rows.a[r][j];
    }
    fit.redundancy = PointsRedundancy(observations, u, prior, fit.qxx);
    fit.prior = std::move(prior);
  }
  return fit;
}

bool PassesThrough(const PointRows& rows, const std::array<double, 3>& v, double limit) {
  if (limit < 0.0) return false;
  for (int r = 0; r < rows.count; ++r) {
    if (std::sqrt(rows.p[r]) * std::fabs(v[static_cast<std::size_t>(r)]) <= limit) return true;
  }
  return false;
}

double Leverage(const PointDesign& point, const Matrix& qxx) {
  double sum = 0.0;
  const int u = point.design.cols();
  for (int r = 0; r < point.design.rows(); ++r) {
    double h = 0.0;
    for (int j = 0; j < u; ++j) {
      for (int k = 0; k < u; ++k) h += point.design(r, j) * qxx(j, k) * point.design(r, k);
    }
    sum += point.weights[static_cast<std::size_t>(r)] * h;
  }
  return sum;
}

std::vector<char> InterpolatedPoints(const EstimationModel& model, const Fit& fit, double limit) {
  const std::size_t n = model.identicalCount();
  std::vector<char> marked(n, 0);
  if (limit < 0.0) return marked;
  // Each point's smallest √p·|v| among its rows, for the points at or below the limit.
  std::vector<std::pair<double, std::size_t>> near;
  PointRows rows;
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.RowsOf(i, rows) || !PassesThrough(rows, fit.v[i], limit)) continue;
    double smallest = HUGE_VAL;
    for (int r = 0; r < rows.count; ++r) {
      smallest = std::min(smallest, std::sqrt(rows.p[r]) * std::fabs(fit.v[i][static_cast<std::size_t>(r)]));
    }
    near.emplace_back(smallest, i);
  }
  // An L1 fit interpolates as many rows as it has unknowns; residuals that
  // are merely small by chance (one in a thousand of a large network) are
  // not points the fit was drawn onto.
  const std::size_t keep = std::min(near.size(), static_cast<std::size_t>(std::max(model.unknowns(), 0)));
  std::partial_sort(near.begin(), near.begin() + static_cast<std::ptrdiff_t>(keep), near.end());
  for (std::size_t k = 0; k < keep; ++k) marked[near[k].second] = 1;
  return marked;
}

std::vector<char> NotSetAside(const EstimationModel& model, const Fit& fit) {
  constexpr double kSetAside = 3.0;  // robust standard deviations
  const std::size_t n = model.identicalCount();
  std::vector<char> inside(n, 1);
  std::vector<double> magnitudes;
  PointRows rows;
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.RowsOf(i, rows)) continue;
    for (int r = 0; r < rows.count; ++r) {
      magnitudes.push_back(std::sqrt(rows.p[r]) * std::fabs(fit.v[i][static_cast<std::size_t>(r)]));
    }
  }
  // The L1 fit passes through as many rows as there are unknowns: they say
  // nothing of the scale. Of the others, the lower quartile (0.3186 σ for
  // normal errors) holds while up to three quarters are blunders; the
  // median failed at 40 %, and so did any limit taken relative to it.
  const std::size_t fitted = std::min(magnitudes.size(), static_cast<std::size_t>(std::max(model.unknowns(), 0)));
  if (magnitudes.size() - fitted < 4) return inside;
  // (Order statistics by selection: a sort of the three million residuals
  // of a large network took a second.)
  const std::size_t rank = fitted + (magnitudes.size() - fitted) / 4;
  const double quartile = VectorRanks(std::move(magnitudes)).at(rank);
  constexpr double kQuartileToSigma = 1.0 / 0.318639;
  const double limit = kSetAside * kQuartileToSigma * quartile;
  if (!(limit > 0.0)) return inside;
  for (std::size_t i = 0; i < n; ++i) {
    if (!model.RowsOf(i, rows)) continue;
    for (int r = 0; r < rows.count; ++r) {
      if (std::sqrt(rows.p[r]) * std::fabs(fit.v[i][static_cast<std::size_t>(r)]) > limit) inside[i] = 0;
    }
  }
  return inside;
}

RunNotices NoticesOf(const Adjustment& adjustment, const RunCounters& counters, const Fit& fit,
                     const TestOutcome& tested, bool distribute) {
  RunNotices notices;
  notices.settled = adjustment.settled;
  notices.passes = counters.notice;
  notices.distributedOutliers = DistributedOutliers(tested.tests, distribute);
  // The redundancy of the fit the points were tested against (after an L1
  // fit, that of the points not set aside).
  notices.redundancy = tested.redundancy;
  // The notice of untested points names the most observations a point has:
  // a point with fewer may have been tested.
  notices.observationsPerPoint = fit.perPoint;
  return notices;
}

ProgressEnd::~ProgressEnd() { host.endProgress(); }

RunOutputs::RunOutputs(const EstimationModel& model, JobHost& host)
    : files(model.files()),
      report(host.language(), files.settings->headerText, files.settings->userDefinedHeader,
             files.settings->includeDate),
      sink(output, model.writeIdentical()) {
  sink.setIdentical(model.identicalCount(),
                    [&model](std::size_t i) { return std::string_view(model.identicalName(i)); });
}

bool RunOutputs::open(JobHost& host) {
  if (!OpenEstimationFiles(files.reportPath, files.outputPath, host, report, output)) return false;
  output.setForm(PointOutputForm(files.outputPath), files.columns + (files.settings->keepRest != 0 ? " rest" : ""));
  if (output.isOpen()) output.write(files.outputHeader);
  return true;
}

bool RunOutputs::distribute() const { return files.settings->interpolationActive == 1; }

bool RunOutputs::commit(JobHost& host, EstimationSummary* summary) {
  return FinishEstimationRun(host, report, files.reportPath, output, files.outputPath, summary);
}

namespace {

// Φ⁻¹(q) of the standard normal distribution, by bisection on erfc (to 1e-12).
double NormalQuantile(double q) {
  double low = -10.0, high = 10.0;
  while (high - low > 1e-12) {
    const double mid = 0.5 * (low + high);
    if (0.5 * std::erfc(-mid / std::sqrt(2.0)) < q) low = mid;
    else high = mid;
  }
  return 0.5 * (low + high);
}

}  // namespace

PrecisionScaleResult PrecisionScale(const EstimationModel& model, const Adjustment& adjustment, const Fit& fit) {
  const std::optional<double> sigma0 = UnitWeightSigma(fit.omega, fit.redundancy);
  if (model.method() != 0 || !sigma0) return {sigma0, false};
  std::vector<double> e;
  PointRows rows;
  int observations = 0;
  for (std::size_t i = 0; i < model.identicalCount(); ++i) {
    if (!model.RowsOf(i, rows)) continue;
    observations += rows.count;
    for (int r = 0; r < rows.count; ++r) {
      const double value = std::sqrt(rows.p[r]) * fit.v[i][static_cast<std::size_t>(r)];
      if (std::fabs(value) > adjustment.passThrough) e.push_back(value);
    }
  }
  constexpr std::size_t kFewest = 5;
  if (e.size() < kFewest) return {sigma0, false};
  const double m = static_cast<double>(e.size());
  const VectorRanks sorted(std::move(e));
  // Hall–Sheather at the median for a 95 % interval: 0.9715·m^(−1/3).
  const double h = std::min(0.45, 0.9715 * std::cbrt(1.0 / m));
  auto quantile = [&](double q) {
    const double at = q * (m - 1.0);
    const std::size_t below = static_cast<std::size_t>(std::floor(at));
    const double part = at - static_cast<double>(below);
    if (below + 1 >= sorted.size()) return sorted.at(sorted.size() - 1);
    const double low = sorted.at(below), high = sorted.at(below + 1);
    return low + part * (high - low);
  };
  // The spread between the quantiles, read as a normal distribution's
  // (a difference quotient over so wide an interval takes the density
  // below its peak: σ 20 % too large for five points), gives the errors' σ
  // and f(0) = 1/(σ·√(2π)); √(2π)/2 = √(π/2).
  // The residuals are smaller than the errors by the unknowns they absorbed:
  // as in least squares, √(n/(n − u)) for n observations.
  const int u = model.unknowns();
  const double absorbed = observations > u ? std::sqrt(static_cast<double>(observations) / (observations - u)) : 1.0;
  const double spread = absorbed * (quantile(0.5 + h) - quantile(0.5 - h)) / (2.0 * NormalQuantile(0.5 + h));
  if (!(spread > 0.0)) return {sigma0, false};
  return {std::sqrt(2.0 * std::atan(1.0)) * spread, true};
}

double DetectableNoncentrality(int k) {
  // Noncentral χ² with k degrees of freedom whose probability beyond the
  // central 95 % quantile is 0.80 (for k = 1, (1.95996 + 0.84162)²).
  constexpr double kLambda[3] = {7.84887, 9.63469, 10.90385};
  return kLambda[std::clamp(k, 1, 3) - 1];
}

void AddReliability(const EstimationModel& model, const Adjustment& adjustment, std::optional<double> sigma0,
                    std::vector<PointTest>& tests) {
  const int u = model.unknowns();
  PointRows rows;
  std::size_t next = 0;
  for (std::size_t i = 0; i < model.identicalCount() && next < tests.size(); ++i) {
    if (!model.RowsOf(i, rows)) continue;
    const double lambda = DetectableNoncentrality(rows.count);
    double share = 0.0;
    double mdb[PointRows::kMaxRows] = {};
    for (int r = 0; r < rows.count; ++r) {
      // p·a·Qxx·aᵀ, the row's share taken by the unknowns.
      double taken = 0.0;
      for (int j = 0; j < u; ++j) {
        double qa = 0.0;
        for (int k = 0; k < u; ++k) qa += adjustment.qxx(j, k) * rows.a[r][k];
        taken += rows.a[r][j] * qa;
      }
      const double redundancy = std::clamp(1.0 - rows.p[r] * taken, 0.0, 1.0);
      share += redundancy;
      constexpr double kNoRedundancy = 1e-12;
      mdb[r] = sigma0 && redundancy > kNoRedundancy ? *sigma0 * std::sqrt(lambda / (rows.p[r] * redundancy))
                                                    : std::numeric_limits<double>::quiet_NaN();
    }
    PointTest& test = tests[next++];
    // Rounding leaves 1e-16 where the other points control nothing.
    constexpr double kNone = 1e-12;
    test.redundancyShare = share / rows.count < kNone ? 0.0 : share / rows.count;
    test.mdb = model.ToAxes(i, mdb, rows.count);
  }
}

namespace {

// σ0, redundancy, the parameters with their standard deviations, what the
// test is, and every point's redundancy share and MDB.
void WritePrecision(ReportFile& report, const LanguageTable& table, const EstimationModel& model,
                    const std::vector<PointTest>& tests, const RunNotices& notices, const ReportExtras& extras) {
  report.separator();
  report.section(str::SectionPrecision, 25);
  const std::optional<double> sigma0 = UnitWeightSigma(extras.fit.omega, extras.fit.redundancy);
  if (sigma0) {
    report.writeText(str::PrecisionSigma0, {*sigma0, extras.fit.redundancy});
  } else {
    report.writeText(str::PrecisionNoRedundancy);
  }
  report.writeText(str::PrecisionRedundancy,
                   {extras.fit.redundancy, extras.fit.redundancy + extras.unknowns, extras.unknowns});
  report.write("\n");
  auto text = [&](int id) { return utf8ToWindows1252(table.text(id)); };
  report.writeFormat("%-22s%24s%24s\n", {text(str::ColumnParameter), text(str::ColumnValue), text(str::ColumnSigma)});
  report.rule(70);
  for (const EstimatedParameter& p : extras.parameters) {
    const std::string name = p.unit.empty() ? p.name : p.name + " [" + p.unit + "]";
    std::string line = formatMessage("%-22s%24.12f", {name, p.value});
    line += p.sigma ? formatMessage("%24.12f", {*p.sigma}) : std::string();
    report.write(line + "\n");
  }
  report.write("\n");
  if (!notices.testPossible()) return;
  report.writeText(str::PrecisionTest, {notices.observationsPerPoint, notices.redundancy - notices.observationsPerPoint});
  const bool fewer = std::any_of(tests.begin(), tests.end(), [&](const PointTest& t) {
    return std::count_if(t.residuals.begin(), t.residuals.end(), [](double v) { return std::isfinite(v); }) <
           notices.observationsPerPoint;
  });
  if (fewer) report.writeText(str::PrecisionOwnK);
  if (model.method() == 0) report.writeText(str::PrecisionTestAfterL1);
  if (!extras.setAside.empty()) {
    // The names wrapped to the report's width, the later lines indented.
    std::string names;
    std::size_t lineStart = 0;
    constexpr std::size_t kWidth = 75;  // after the indent of two
    for (const std::string& name : extras.setAside) {
      if (!names.empty()) {
        names += ",";
        if (names.size() - lineStart + name.size() + 2 > kWidth) {
          names += "\n  ";
          lineStart = names.size();
        } else {
          names += " ";
        }
      }
      names += utf8Name(name);
    }
    report.writeText(str::PrecisionSetAside, {names});
  }
  report.write("\n");
  report.writeText(str::PrecisionReliability);
  std::string head = "%15s%12s";
  MessageArgs heads;
  heads.emplace_back(text(str::ColumnPoint));
  heads.emplace_back(text(str::ColumnRedundancy));
  for (const std::string& axis : model.AxisNames()) {
    head += "%12s";
    heads.emplace_back("MDB " + axis);
  }
  report.writeFormat(head + "\n", heads);
  report.rule(15 + 12 * (1 + static_cast<int>(model.AxisNames().size())));
  constexpr double kPoorlyControlled = 0.1;
  const std::string poorly = "  " + text(str::PoorlyControlled);
  std::string line;
  for (const PointTest& t : tests) {
    line.clear();
    appendRight(line, t.name, 15);
    appendFixed(line, t.redundancyShare, 12, 3);
    AppendTableValues(line, t.mdb, 12, 5);
    if (t.redundancyShare < kPoorlyControlled) line += poorly;
    line += '\n';
    report.write(line);
  }
  report.write("\n");
}

}  // namespace

void WriteReport(const EstimationModel& model, ReportFile& report, JobHost& host, const Adjustment& adjustment,
                 const std::vector<PointTest>& tests, const RunNotices& notices, const ReportExtras& extras) {
  const LanguageTable& table = host.language();
  report.WriteBanner();
  model.WriteTitle(report);
  report.WriteHeaderInfo();
  model.WriteOptions(report, host, notices);
  model.WritePointTables(report, table);
  model.WriteParameters(report, adjustment);
  WritePrecision(report, table, model, tests, notices, extras);
  WriteResidualTable(report, table, model.ResidualLayout(table), tests);
  WriteTestTable(report, table, model.TestLayout(table), tests);
  model.WriteAfterTests(report, table, notices);
  model.WriteTransformedHead(report, table);
}

// Every source point transformed, the residuals distributed when that is
// on, into the report and the output file. A point far beyond the
// identical points (a damaged coordinate) can leave the range of numbers;
// it is left out, not written as "inf" or as a number of 300 digits.
Transformed TransformEveryPoint(EstimationModel& model, RunOutputs& outputs, JobHost& host) {
  Transformed out;
  model.PreparePlan();
  std::vector<PlanHull::Point> corners;
  PointRows rows;
  for (std::size_t i = 0; i < model.identicalCount(); ++i) {
    if (model.RowsOf(i, rows)) corners.push_back(model.PlanOfIdentical(i));
  }
  const PlanHull hull(std::move(corners));
  const bool distribute = outputs.distribute();
  if (distribute) model.PrepareDistribution();
  const bool identicalOnly = model.DistributesIdenticalOnly();
  const std::int64_t total = static_cast<std::int64_t>(model.sourceCount());
  // Every point transformed first (a block at a time, on every core where
  // the model allows), then the residuals distributed onto all of them at
  // once, then the points written in order.
  std::vector<std::array<double, 3>> points(static_cast<std::size_t>(total));
  std::vector<char> transformed(static_cast<std::size_t>(total));
  constexpr std::size_t kBlock = 4096;
  const std::size_t blocks = (static_cast<std::size_t>(total) + kBlock - 1) / kBlock;
  auto transformBlock = [&](std::size_t block) {
    for (std::size_t i = block * kBlock; i < std::min(points.size(), (block + 1) * kBlock); ++i) {
      transformed[i] = model.Transform(i, points[i]) ? 1 : 0;
    }
  };
  const auto cancelled = [&host] { return host.cancelled(); };
  host.setProgressRange(0);
  bool going = true;
  if (model.TransformsConcurrently()) {
    going = OnEveryCore(blocks, transformBlock, cancelled);
  } else {
    for (std::size_t block = 0; going && block < blocks; ++block) {
      going = !host.cancelled();
      if (going) transformBlock(block);
    }
  }
  if (going && distribute) {
    std::vector<char> which(transformed);
    if (identicalOnly) {
      for (std::size_t i = 0; i < which.size(); ++i) which[i] = which[i] && outputs.sink.isIdentical(model.sourceName(i));
    }
    going = model.DistributeAll(points, which, cancelled);
  }
  if (!going) {
    out.cancelled = true;  // report and output are never committed
    return out;
  }
  std::string reportLine, outputLine;
  host.setProgressRange(total);
  for (std::int64_t i = 0; i < total; ++i) {
    host.stepProgress();
    if (host.cancelled()) {
      out.cancelled = true;
      return out;
    }
    model.ShowTransformProgress(host, i + 1, total);
    const std::size_t index = static_cast<std::size_t>(i);
    const std::string& name = model.sourceName(index);
    const std::array<double, 3>& p = points[index];
    if (!transformed[index] || !Writable(p[0], p[1], p[2])) {
      if (out.leftOut++ == 0) out.firstLeftOut = name;
      continue;
    }
    model.FormatTransformed(index, p, reportLine, outputLine);
    outputs.report.write(reportLine);
    outputs.sink.write(name, outputLine);
    const double outside = hull.DistanceOutside(model.PlanOfSource(index));
    if (outside > 0.0) {
      ++out.outsideHull;
      if (outside > out.farthestDistance) out.farthestDistance = outside, out.farthestOutside = name;
    }
  }
  model.WriteTransformedEnd(outputs.report);
  if (out.outsideHull > 0) {
    outputs.report.writeText(str::OutsideHull, {out.outsideHull, utf8Name(out.farthestOutside), out.farthestDistance});
    outputs.report.write("\n\n");
  }
  return out;
}

void TellAndSummarise(EstimationModel& model, JobHost& host, const RunNotices& notices, const Transformed& transformed,
                      const std::vector<PointVerdict>& verdicts, std::vector<PointTest> tests,
                      EstimationSummary* summary, RunResult result) {
  TellNotices(host, notices);
  model.TellTransformed(host, transformed.leftOut, transformed.firstLeftOut);
  if (transformed.outsideHull > 0) {
    host.message(str::OutsideHull,
                 {transformed.outsideHull, utf8Name(transformed.farthestOutside), transformed.farthestDistance});
  }
  ResidualPlot plot = model.Plot(verdicts);
  if (const RunFiles files = model.files(); !files.plotPath.empty()) WriteResidualPlot(files.plotPath, plot, host);
  model.Complete();
  if (summary == nullptr) return;
  if (summary->keepPoints) summary->plot = std::move(plot);
  FillEstimationSummary(*summary, model.method(), result.counters.summary, result.fit.omega, result.fit.redundancy,
                        std::move(result.parameters), std::move(tests), model.PointsRead(), result.written,
                        result.fit.pointsUsed, notices);
  summary->testAxes = model.AxisNames();
  summary->reweightingPasses = result.counters.reweighting;
  summary->testK = notices.observationsPerPoint;
  if (result.l1Sigma) summary->parameterSigma = "l1-asymptotic";
  summary->testDf = std::max(0, notices.redundancy - notices.observationsPerPoint);
  summary->pointsLeftOut = transformed.leftOut;
  summary->outsideHull = transformed.outsideHull;
  summary->farthestOutsideHull = transformed.farthestOutside;
  summary->farthestOutsideDistance = transformed.farthestDistance;
  summary->firstLeftOut = transformed.firstLeftOut;
  model.CompleteSummary(*summary);
}

}  // namespace stages

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

void EstimationModel::TellTransformed(JobHost& host, std::int64_t leftOut, const std::string& first) const {
  if (leftOut > 0) TellLeftOut(host, leftOut, first);
}

std::string TableLine(std::string_view name, std::span<const double> values, int width) {
  // "%<width>s" and "%<width>.5f" as formatMessage gives them.
  std::string line;
  appendRight(line, name, width);
  AppendTableValues(line, values, width, 5);
  line += '\n';
  return line;
}

void AppendTableValues(std::string& line, std::span<const double> values, int width, int decimals) {
  std::size_t used = values.size();
  while (used > 0 && std::isnan(values[used - 1])) --used;
  for (std::size_t c = 0; c < used; ++c) {
    if (std::isnan(values[c])) {
      line.append(static_cast<std::size_t>(width), ' ');
    } else {
      appendFixed(line, values[c], width, decimals);
    }
  }
}

}  // namespace pelmar
