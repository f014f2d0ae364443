#include "estimation/CartesianModel.h"

#include <cmath>

#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "estimation/ReportFile.h"
#include "points/LineFormatters.h"
#include "text/MessageFormat.h"
#include "text/NumberFormat.h"
#include "text/TextEncoding.h"
#include "stored/ProjPipeline.h"

namespace pelmar {

namespace {

std::string repeated(const std::string& piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

}  // namespace

CartesianModel::CartesianModel(EstimationJob& job, CartesianLayout layout, int method, int writeIdentical, int center,
                               int minimumIdentical)
    : job_(job),
      layout_(std::move(layout)),
      method_(method),
      writeIdentical_(writeIdentical),
      center_(center),
      minimumIdentical_(minimumIdentical),
      distribution_(0, 0.0, false) {}

bool CartesianModel::ReadAndPair(JobHost& host) {
  return ReadEstimationPoints(job_, layout_.read, minimumIdentical_, host);
}

// The adjustment works on coordinates reduced to the centroids: normal
// equations of raw coordinates near 5e6 m lose about 13 of their 16 digits
// and move transformed points by millimetres. Without "Center" the
// parameters are turned back into the unreduced form afterwards; the
// identical points keep their file coordinates throughout.
bool CartesianModel::CheckGeometry(JobHost& host) {
  if (!CheckCoordinates(host, job_.identical)) return false;
  const std::size_t n = job_.identical.size();
  std::vector<Vec3> sources, targets;
  sources.reserve(n);
  targets.reserve(n);
  for (const IdenticalPoint& p : job_.identical) {
    sources.push_back(TableOrder(p.sourceY, p.sourceX, p.sourceZ));
    targets.push_back(TableOrder(p.targetY, p.targetX, p.targetZ));
  }
  if (Reduces()) {
    for (std::size_t i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) sourceCentroid_[c] += sources[i][c], targetCentroid_[c] += targets[i][c];
    }
    for (int c = 0; c < 3; ++c) sourceCentroid_[c] /= static_cast<int>(n), targetCentroid_[c] /= static_cast<int>(n);
  }
  // The normal equations would call only exact cases singular and leave a
  // near one to give numbers that mean nothing.
  const SpreadNeed need = Need();
  if (!CheckSpread(host, sources, sourceCentroid_, need) || !CheckTargetSpread(host, targets, targetCentroid_, need)) {
    return false;
  }
  Prepare();
  return true;
}

RunFiles CartesianModel::files() const {
  const bool header = layout_.dimensions == 3 && job_.settings.axisOrder == 2;
  const std::string columns = layout_.dimensions == 2 ? "name Y X" : std::string("name ") + OutputAxes(job_.settings.axisOrder);
  return {job_.reportPath, job_.outputPath, job_.plotPath, &job_.settings, header ? kSwappedAxesHeader : "", columns};
}

void CartesianModel::KeepResiduals(std::size_t point, const double* rowValues, int count) {
  IdenticalPoint& p = job_.identical[point];
  p.dY = rowValues[0];
  p.dX = rowValues[1];
  if (count > 2) p.dZ = rowValues[2];
}

std::vector<double> CartesianModel::ToAxes(std::size_t, const double* rowValues, int count) const {
  return std::vector<double>(rowValues, rowValues + count);
}

std::vector<std::string> CartesianModel::AxisNames() const {
  return layout_.dimensions == 2 ? std::vector<std::string>{"Y", "X"} : std::vector<std::string>{"Y", "X", "Z"};
}

void CartesianModel::WriteNoticesInOptions(ReportFile& report, const LanguageTable& table,
                                           const RunNotices& notices) const {
  if (!notices.any()) return;
  report.write("\n");
  WriteNotices(report, table, notices);
}

void CartesianModel::WritePointTables(ReportFile& report, const LanguageTable& table) const {
  const int dims = layout_.dimensions;
  const std::string columns = repeated("%15s", 1 + dims) + "\n";
  MessageArgs heads;
  heads.emplace_back(utf8ToWindows1252(table.text(str::ColumnPoint)));
  for (const std::string& head : layout_.tableHeads) heads.emplace_back(head);
  auto pointTable = [&](int titleId, int titleRule, bool target) {
    report.separator();
    report.section(titleId, titleRule);
    report.writeFormat(columns, heads);
    report.rule(layout_.pointRule);
    WriteEachPoint(report, job_.identical.size(), [&](std::size_t i, std::string& out) {
      const IdenticalPoint& p = job_.identical[i];
      const Vec3 v = target ? TableOrder(p.targetY, p.targetX, p.targetZ) : TableOrder(p.sourceY, p.sourceX, p.sourceZ);
      ReportLine(out, p.name, v);
    });
    report.write("\n");
  };
  pointTable(str::SectionSourcePoints, layout_.sourceTitleRule, false);
  pointTable(str::SectionTargetPoints, layout_.targetTitleRule, true);
  if (center_ == 0) return;
  auto centroid = [&](const Vec3& c) {
    for (int i = 0; i < dims; ++i) report.writeFormat(layout_.tableHeads[i] + " = %15.5f\n", {c[i]});
  };
  report.separator();
  report.section(str::SectionSourceCentroid, layout_.sourceCentroidRule);
  centroid(sourceCentroid_);
  report.write("\n\n");
  report.section(str::SectionTargetCentroid, 27);
  centroid(targetCentroid_);
  report.write(std::string(static_cast<std::size_t>(layout_.targetCentroidBlankLines), '\n'));
}

ResidualTableLayout CartesianModel::ResidualLayout(const LanguageTable&) const {
  ResidualTableLayout out;
  for (const std::string& axis : AxisNames()) out.heads.push_back("D" + axis);
  out.rule = layout_.residualRule;
  out.blankAfter = layout_.residualBlankAfter;
  return out;
}

void CartesianModel::WriteTransformedHead(ReportFile& report, const LanguageTable& table) const {
  report.separator();
  if (layout_.blankBeforeTransformed) report.write("\n");
  report.section(str::SectionTransformed, 21);
  MessageArgs heads;
  heads.emplace_back(utf8ToWindows1252(table.text(str::ColumnPoint)));
  for (const std::string& axis : AxisNames()) heads.emplace_back(axis);
  report.writeFormat(repeated("%15s", 1 + layout_.dimensions) + "\n", heads);
  report.rule(layout_.pointRule);
}

void CartesianModel::WriteTransformedEnd(ReportFile& report) const { report.write("\n"); }

bool CartesianModel::Transform(std::size_t index, Vec3& out) {
  const PointRecord& point = job_.source[index];
  const Vec3 source = TableOrder(point.Y, point.X, point.Z);
  Vec3 reduced{};
  for (int c = 0; c < 3; ++c) reduced[c] = source[c] - sourceCentroid_[c];
  const Vec3 mapped = Map(reduced);
  out = {};
  for (int c = 0; c < layout_.dimensions; ++c) out[layout_.tableAxes[c]] = mapped[c] + targetCentroid_[c];
  return true;
}

void CartesianModel::PrepareDistribution() {
  const bool spatial = layout_.dimensions == 3;
  distribution_ = ResidualDistribution(job_.settings.interpolationType, job_.settings.interpolationDistance, spatial);
  for (const IdenticalPoint& p : job_.identical) {
    distribution_.add({p.targetY, p.targetX, spatial ? p.targetZ : 0.0, p.dY, p.dX, spatial ? p.dZ : 0.0});
  }
}

void CartesianModel::PreparePlan() {
  earthCentred_ = layout_.dimensions == 3 && !job_.identical.empty();
  planCentre_ = {};
  for (const IdenticalPoint& p : job_.identical) {
    const double r = std::sqrt(p.sourceX * p.sourceX + p.sourceY * p.sourceY + p.sourceZ * p.sourceZ);
    // The shell the earth's surface lies in, some ten kilometres either way.
    if (!(r > 6.30e6 && r < 6.42e6)) earthCentred_ = false;
    planCentre_[0] += p.sourceX, planCentre_[1] += p.sourceY, planCentre_[2] += p.sourceZ;
  }
  if (!earthCentred_) return;
  for (double& c : planCentre_) c /= static_cast<double>(job_.identical.size());
  const double lambda = std::atan2(planCentre_[1], planCentre_[0]);
  const double phi = std::atan2(planCentre_[2], std::hypot(planCentre_[0], planCentre_[1]));
  planEast_ = {-std::sin(lambda), std::cos(lambda), 0.0};
  planNorth_ = {-std::sin(phi) * std::cos(lambda), -std::sin(phi) * std::sin(lambda), std::cos(phi)};
}

std::array<double, 2> CartesianModel::Plan(double c1, double c2, double c3) const {
  if (!earthCentred_) return {c2, c1};
  const double d[3] = {c1 - planCentre_[0], c2 - planCentre_[1], c3 - planCentre_[2]};
  return {planEast_[0] * d[0] + planEast_[1] * d[1] + planEast_[2] * d[2],
          planNorth_[0] * d[0] + planNorth_[1] * d[1] + planNorth_[2] * d[2]};
}

std::array<double, 2> CartesianModel::PlanOfIdentical(std::size_t point) const {
  const IdenticalPoint& p = job_.identical[point];
  return Plan(p.sourceX, p.sourceY, p.sourceZ);
}

std::array<double, 2> CartesianModel::PlanOfSource(std::size_t index) const {
  const PointRecord& p = job_.source[index];
  return Plan(p.X, p.Y, p.Z);
}

// "%15s" and a "%15.5f" per dimension, as formatMessage gives them,
// appended to `line`; the report's largest tables go through here a million
// lines at a time.
void CartesianModel::ReportLine(std::string& line, std::string_view name, const Vec3& values) const {
  appendRight(line, name, 15);
  for (int c = 0; c < layout_.dimensions; ++c) appendFixed(line, values[c], 15, 5);
  line += '\n';
}

void CartesianModel::FormatTransformed(std::size_t index, const Vec3& point, std::string& reportLine,
                                       std::string& outputLine) const {
  const std::string& name = job_.source[index].name;
  const int decimals = job_.settings.decimalsCartesian;
  reportLine.clear();
  ReportLine(reportLine, name, point);  // the report keeps Y X (Z)
  if (layout_.dimensions == 2) {
    FormatPointLine2(outputLine, name, point[0], point[1], decimals);
    AppendRest(outputLine, job_.source[index].rest);  // empty unless --keep-rest
  } else {
    double first = point[0], second = point[1];
    ToOutputOrder(first, second, job_.settings.axisOrder);
    FormatPointLine3(outputLine, name, first, second, point[2], decimals);
    AppendRest(outputLine, job_.source[index].rest);
  }
}

ResidualPlot CartesianModel::Plot(const std::vector<PointVerdict>& verdicts) const {
  return layout_.plot(PlotTitle(), job_.identical, verdicts);
}

std::int64_t CartesianModel::PointsRead() const {
  return static_cast<std::int64_t>(job_.source.size()) + job_.targetRead;
}

void CartesianModel::CompleteSummary(EstimationSummary& summary) const {
  summary.linesUnreadable = job_.linesUnreadable;
  summary.firstUnreadable = job_.firstUnreadable;
  // The whole map from the source to the target file's coordinates, in the
  // files' order (which is PROJ's: easting northing, x y z).
  const AffineMap whole = SampleAffine([this](const Vec3& q) {
    Vec3 reduced{};
    for (int c = 0; c < 3; ++c) reduced[c] = q[c] - sourceCentroid_[c];
    Vec3 o = Map(reduced);
    for (int c = 0; c < 3; ++c) o[c] += targetCentroid_[c];
    return o;
  });
  summary.proj = ProjOf(whole);
  summary.filesTranslation = whole.T;
  summary.filesAxes = layout_.tableHeads;  // the point tables' heads, in the files' order
}

}  // namespace pelmar
