#include "estimation/EstimationJob.h"

#include <algorithm>

#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "estimation/EstimationSections.h"
#include "estimation/ReportFile.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

void MatchByPartners(EstimationJob& job, const std::vector<std::ptrdiff_t>& partner) {
  job.identical.clear();
  job.identical.reserve(
      static_cast<std::size_t>(std::count_if(partner.begin(), partner.end(), [](std::ptrdiff_t p) { return p >= 0; })));
  for (std::size_t i = 0; i < job.source.size(); ++i) {
    if (partner[i] < 0) continue;
    const PointRecord& s = job.source[i];
    const PointRecord& t = job.target[static_cast<std::size_t>(partner[i])];
    job.identical.push_back({s.name, s.Y, s.X, s.Z, t.Y, t.X, t.Z});
  }
}

// Names given again in a file are told (message 1331, as the ellipsoidal
// reader does): a repeated target name pairs with its first line only, a
// repeated source name takes part as often as it occurs.
void TellRepeatedNames(const RepeatedNames& repeated, const PointList& points, const std::filesystem::path& path,
                       JobHost& host) {
  if (repeated.count == 0) return;
  host.message(str::DuplicateNames, {repeated.count, path.string(), utf8Name(points[repeated.first].name)});
}

}  // namespace

void MatchIdenticalPoints(EstimationJob& job) { MatchByPartners(job, PairByName(job.source, job.target)); }

bool ReadEstimationPoints(EstimationJob& job, int (*read)(const std::filesystem::path&, PointList&, UnreadableLines*, bool),
                          int minimumIdentical, JobHost& host) {
  job.source.clear();
  job.target.clear();
  job.targetRead = 0;
  job.identical.clear();
  job.linesUnreadable = 0;
  job.firstUnreadable.clear();
  auto count = [&](const UnreadableLines& skipped, const std::filesystem::path& path) {
    if (skipped.count == 0) return;
    if (job.linesUnreadable == 0) job.firstUnreadable = path.string() + ":" + std::to_string(skipped.firstLine);
    job.linesUnreadable += skipped.count;
    host.message(str::LinesUnreadable, {skipped.count, path.string(), skipped.firstLine});
  };
  if (!CheckDistinctFiles({job.sourcePath, job.targetPath}, {job.reportPath, job.outputPath, job.plotPath}, host)) return false;
  UnreadableLines skipped;
  if (read(job.sourcePath, job.source, &skipped, job.settings.keepRest != 0) == 0) {
    host.message(str::SourceUnreadable, {job.sourcePath.string()});
    return false;
  }
  count(skipped, job.sourcePath);
  skipped = {};
  if (read(job.targetPath, job.target, &skipped, false) == 0) {
    host.message(str::TargetUnreadable, {job.targetPath.string()});
    return false;
  }
  count(skipped, job.targetPath);
  if (job.source.empty() || job.target.empty()) {
    host.message(str::NoPointsRead);
    return false;
  }
  TellRepeatedNames(FindRepeatedNames(job.source), job.source, job.sourcePath, host);
  RepeatedNames targetRepeated;
  const std::vector<std::ptrdiff_t> partner = PairByName(job.source, job.target, &targetRepeated);
  TellRepeatedNames(targetRepeated, job.target, job.targetPath, host);
  MatchByPartners(job, partner);
  // The target points live on in the identical points: the list goes.
  job.targetRead = static_cast<std::int64_t>(job.target.size());
  PointList().swap(job.target);
  if (static_cast<int>(job.identical.size()) < minimumIdentical) {
    host.message(str::TooFewIdenticalPoints, {static_cast<std::int64_t>(job.identical.size()), minimumIdentical});
    return false;
  }
  return true;
}

bool OpenEstimationFiles(const std::filesystem::path& reportPath, const std::filesystem::path& outputPath, JobHost& host,
                         ReportFile& report, OutputFile& output) {
  if (!report.open(reportPath)) {
    host.message(report.failureMessage(str::ReportNotCreated), {reportPath.string()});
    return false;
  }
  if (!outputPath.empty() && !output.open(outputPath)) {
    host.message(output.failureMessage(str::OutputNotCreated), {outputPath.string()});
  }
  return true;
}

void WriteOptionsSection(ReportFile& report, const JobHost& host, int method, int writeIdentical) {
  const LanguageTable& table = host.language();
  report.section(str::SectionOptions, 32);
  report.writeText(str::MethodLine, {table.text(method == 0 ? str::MethodL1 : str::MethodLeastSquares)});
  report.write("\n");
  report.writeText(str::OutputLabel);
  report.writeText(str::IdenticalLine,
                   {table.text(writeIdentical != 0 ? str::IdenticalWritten : str::IdenticalNotWritten)});
  report.write("\n");
}

}  // namespace pelmar
