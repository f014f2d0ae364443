#include "estimation/EstimationSections.h"

#include <algorithm>

#include "text/TextForm.h"

#include <cmath>

#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/MessageFormat.h"
#include "text/TextEncoding.h"
#include "estimation/ReportFile.h"

namespace pelmar {

void WriteTestTableHead(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout) {
  report.separator();
  report.section(str::SectionGrossErrors, layout.titleRule);
  std::string format;
  MessageArgs heads;
  format += "%16s";
  heads.push_back(utf8ToWindows1252(table.text(str::ColumnPoint)));
  for (const std::string& axis : layout.axes) {
    format += "%16s";
    heads.push_back(axis);
  }
  report.writeFormat(format + "\n\n", heads);
  report.writeFormat("%16s%16s%16s\n",
                     {utf8ToWindows1252(table.text(str::ColumnTestValue)),
                      utf8ToWindows1252(table.text(str::ColumnQuantile)),
                      utf8ToWindows1252(table.text(str::ColumnVerdict))});
  report.rule(layout.headRule);
  if (layout.blankAfterHead) report.write("\n");
}

void AppendTestVerdict(std::string& out, const LanguageTable& table, const TestTableLayout& layout,
                       const PointTest& test) {
  const int verdict = !test.tested ? str::VerdictNotTested : test.outlier ? str::VerdictGrossError : str::VerdictAccepted;
  constexpr double kWidestFixed = 1e9;  // 10 digits, the point and 5 decimals fill 16 characters
  std::string line = table.format(layout.testLineId, {test.T < kWidestFixed ? test.T : 0.0, test.F, table.text(verdict)});
  // Beyond it, the line's pattern with T as text: its %16.5f would cut a
  // text to 5 characters, so T takes the first field's place after formatting.
  if (!(test.T < kWidestFixed)) line.replace(0, 16, formatMessage("%16.5e", {test.T}));
  out += hasHighBytes(line) ? utf8ToWindows1252(line) : line;  // ASCII is the same in both
  out.append(static_cast<std::size_t>(std::max(layout.dashLength, 0)), '-');
  out += '\n';
}

bool TransformedPointSink::isIdentical(std::string_view name) const {
  std::call_once(indexed_, [this] {
    index_.emplace(NameAt{&nameOf_}, identicalCount_);
    for (std::size_t i = 0; i < identicalCount_; ++i) index_->FindOrAdd(nameOf_(i), i);
  });
  return index_->Find(name) >= 0;
}

void TransformedPointSink::write(std::string_view name, std::string_view line) {
  if (!output_.isOpen()) return;
  if (writeIdentical_ == 0 && isIdentical(name)) return;
  output_.write(line);
  ++written_;
}

bool FinishEstimationRun(JobHost& host, ReportFile& report, const std::filesystem::path& reportPath,
                         OutputFile& output, const std::filesystem::path& outputPath, EstimationSummary* summary) {
  const bool opened = output.isOpen();
  bool written = opened && output.commit();
  if (opened && !written) host.message(str::OutputNotCreated, {outputPath.string()});
  if (outputPath.empty()) written = true;  // none asked for
  if (summary != nullptr) summary->outputWritten = written;
  if (!report.close()) {
    host.message(str::ReportNotCreated, {reportPath.string()});
    return false;
  }
  return true;
}

std::string utf8Name(const std::string& name) {
  std::string text = fileTextToUtf8(name);
  // A blank inside a delimited field is held as kFieldBlank while it is read.
  std::replace(text.begin(), text.end(), kFieldBlank, ' ');
  return text;
}

namespace {

std::string joined(const std::vector<std::string>& names, std::string (*convert)(const std::string&)) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + convert(name);
  return out;
}

std::string asIs(const std::string& name) { return name; }

}  // namespace

void WriteNotices(ReportFile& report, const LanguageTable& table, const RunNotices& notices) {
  if (!notices.any()) return;
  report.writeText(str::NoticesLine);
  if (!notices.settled) {
    report.write("  ");
    report.writeText(str::NoticeNotSettled, {notices.passes});
    report.write("\n");
  }
  if (!notices.distributedOutliers.empty()) {
    // The names go in as bytes after the text is converted, so that a name
    // reads as it does in the point tables.
    constexpr const char* kNames = "\x01";
    std::string text = utf8ToWindows1252(table.format(str::NoticeOutliersDistributed, {kNames}));
    if (const std::size_t at = text.find(kNames); at != std::string::npos) {
      text.replace(at, 1, joined(notices.distributedOutliers, asIs));
    }
    report.write("  " + text + "\n");
  }
  if (!notices.testPossible()) {
    report.write("  ");
    report.writeText(str::NoticeNoGrossErrorTest, {notices.redundancy, notices.observationsPerPoint});
    report.write("\n");
  }
}

void TellNotices(JobHost& host, const RunNotices& notices) {
  if (!notices.settled) host.message(str::NoticeNotSettled, {notices.passes});
  if (!notices.distributedOutliers.empty()) {
    // A message names the first few; the report lists every one.
    constexpr std::size_t kNamed = 20;
    const std::vector<std::string>& all = notices.distributedOutliers;
    std::string names = joined({all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), kNamed))},
                               utf8Name);
    if (all.size() > kNamed) {
      names = host.text(str::NamesAndMore, {names, static_cast<std::int64_t>(all.size() - kNamed)});
    }
    host.message(str::NoticeOutliersDistributed, {names});
  }
  if (!notices.testPossible()) {
    host.message(str::NoticeNoGrossErrorTest, {notices.redundancy, notices.observationsPerPoint});
  }
}

std::vector<std::string> DistributedOutliers(const std::vector<PointTest>& tests, bool distributed) {
  std::vector<std::string> names;
  if (!distributed) return names;
  for (const PointTest& t : tests) {
    if (t.outlier) names.push_back(t.name);
  }
  return names;
}

bool CheckSpread(JobHost& host, const std::vector<std::array<double, 3>>& source, const std::array<double, 3>& about,
                 SpreadNeed need) {
  switch (JudgeSpread(MeasureSpread(source, about), need)) {
    case SpreadVerdict::AtOnePlace: host.message(str::PointsAtOnePlace); return false;
    case SpreadVerdict::OnOneLine: host.message(str::PointsOnOneLine); return false;
    case SpreadVerdict::Sufficient: break;
  }
  return true;
}

bool CheckTargetSpread(JobHost& host, const std::vector<std::array<double, 3>>& target,
                       const std::array<double, 3>& about, SpreadNeed need) {
  if (need == SpreadNeed::None) return true;
  switch (JudgeSpread(MeasureSpread(target, about), SpreadNeed::Extent)) {
    case SpreadVerdict::AtOnePlace: host.message(str::TargetPointsAtOnePlace); return false;
    case SpreadVerdict::OnOneLine: host.message(str::PointsOnOneLine); return false;
    case SpreadVerdict::Sufficient: break;
  }
  return true;
}

bool CheckCoordinates(JobHost& host, const std::vector<IdenticalPoint>& identical) {
  std::vector<std::array<double, 3>> values;
  values.reserve(identical.size() * 2);
  for (const IdenticalPoint& p : identical) {
    values.push_back({p.sourceY, p.sourceX, p.sourceZ});
    values.push_back({p.targetY, p.targetX, p.targetZ});
  }
  const int bad = FirstUnusableCoordinate(values);
  if (bad < 0) return true;
  host.message(str::CoordinatesUnusable, {utf8Name(identical[static_cast<std::size_t>(bad / 2)].name)});
  return false;
}

void TellLeftOut(JobHost& host, std::int64_t count, const std::string& first) {
  host.message(str::PointsNotTransformed, {static_cast<long long>(count), utf8Name(first)});
}

double ReduceDegrees(double degrees) {
  double d = std::fmod(degrees, 360.0);  // exact
  if (d > 180.0) d -= 360.0;
  if (d <= -180.0) d += 360.0;
  return d;
}

std::optional<double> UnitWeightSigma(double omega, int redundancy) {
  if (redundancy <= 0) return std::nullopt;
  return std::sqrt(omega / redundancy);
}

void FillEstimationSummary(EstimationSummary& summary, int method, int passes, double omega, int redundancy,
                           std::vector<EstimatedParameter> parameters, std::vector<PointTest> tests,
                           std::int64_t linesRead, std::int64_t written, std::int64_t identicalPoints,
                           const RunNotices& notices) {
  summary.method = method == 0 ? "l1" : "least-squares";
  summary.passes = passes;
  summary.redundancy = redundancy;
  summary.converged = notices.settled;
  summary.grossErrorTest = notices.testPossible();
  summary.distributedOutliers = notices.distributedOutliers;
  summary.sigma0 = UnitWeightSigma(omega, redundancy);
  summary.parameters = std::move(parameters);
  summary.points = std::move(tests);
  summary.linesRead = linesRead;
  summary.pointsWritten = written;
  summary.identicalPoints = identicalPoints;
}

}  // namespace pelmar
