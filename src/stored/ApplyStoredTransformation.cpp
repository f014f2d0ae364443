#include "stored/ApplyStoredTransformation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"
#include "text/TextEncoding.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/ResidualDistribution.h"
#include "points/LineBatches.h"
#include "points/LineFormatters.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

// A stored residual the point had no observation for.
double stored(double value) {
  return value == EllipsoidalIdenticalPoint::kNoResidual ? std::numeric_limits<double>::quiet_NaN() : value;
}

// The cartesian sets: one batch's lines read, mapped, corrected and
// formatted (a worker's share; the set and the distribution are only read).
void MapCartesianBatch(const ApplyJob& job, const ResidualDistribution* distribution, LineBatch& batch) {
  BatchResults& results = batch.results;
  std::string line;
  for (const LineBatch::Line& item : batch.lines) {
    const std::string_view data = batch.data(item);
    std::string_view name;
    double x = 0.0, y = 0.0, z = 0.0;
    if (!ScanPoint3D(data, batch.swappedAxes, name, x, y, z)) {
      results.unreadable(item.number);
      continue;
    }
    auto o = job.set.type == 0 ? MapType0(job.set, x, y, z) : MapType1(job.set, x, y, z);
    if (distribution != nullptr) distribution->apply(o[0], o[1], o[2]);
    if (!Writable(o[0], o[1], o[2])) {
      results.leftOut(item.number, name);
      continue;
    }
    ToOutputOrder(o[0], o[1], job.settings.axisOrder);
    FormatPointLine3(line, name, o[0], o[1], o[2], job.settings.decimalsCartesian);
    if (job.settings.keepRest != 0) AppendRest(line, RestAfterWords(data, 4));
    results.output += line;
    results.wrote(item.number);
  }
}

// The file is streamed; what the reading used to tell before the output
// was opened (unreadable lines, a file without a point) is still told first.
bool applyCartesian(const ApplyJob& job, JobHost& host, OutputFile& output, ApplyResult& result) {
  LineReader reader(job.inputPath);
  reader.setForm(PointInputForm(job.inputPath));
  if (!reader.isOpen()) {
    host.message(str::SourceUnreadable, {job.inputPath.string()});
    return false;
  }
  const bool opened = output.open(job.outputPath);
  output.setForm(PointOutputForm(job.outputPath), std::string("name ") + OutputAxes(job.settings.axisOrder) +
                                                      (job.settings.keepRest != 0 ? " rest" : ""));
  // The stored points in the order the mapping writes: second, first, third.
  ResidualDistribution distribution(job.settings.interpolationType, job.settings.interpolationDistance, true);
  const bool distribute = job.settings.interpolationActive == 1 && !job.set.points.empty();
  for (const TransformationSetPoint& p : job.set.points) {
    distribution.add({p.target[1], p.target[0], p.target[2], p.residuals[0], p.residuals[1], p.residuals[2]});
  }
  if (job.settings.axisOrder == 2) output.write(kSwappedAxesHeader);
  LineDelivery delivery(host, output, result);
  const PipelineEnd end = StreamLineBatches(
      reader,
      [&]() -> ComputeLines {
        return [&](LineBatch& batch) { MapCartesianBatch(job, distribute ? &distribution : nullptr, batch); };
      },
      [&](LineBatch& batch) { return delivery(batch.results); });
  if (delivery.cancelled()) return false;  // the output is never committed
  if (end.readFailed || reader.failed()) {
    // Reading stopped short: the points after it were missing from a
    // "successful" output.
    host.message(str::SourceUnreadable, {job.inputPath.string()});
    return false;
  }
  if (result.linesUnreadable > 0) {
    host.message(str::LinesUnreadable, {result.linesUnreadable, job.inputPath.string(), result.firstUnreadableLine});
  }
  if (result.linesRead == result.linesUnreadable) {
    host.message(str::NoSourcePointRead, {job.inputPath.string()});
    return false;
  }
  if (!opened || end.failed) {
    host.message(output.failureMessage(str::FileNotOpened), {job.outputPath.string()});
    return false;
  }
  if (result.pointsLeftOut > 0) host.message(str::PointsNotTransformed, {result.pointsLeftOut, result.firstLeftOut});
  return true;
}

// A share of the points of a list read whole.
struct PointBatch {
  std::uint64_t sequence = 0;
  std::size_t first = 0, count = 0;
  BatchResults results;
};
constexpr std::size_t kPointBatch = 4096;

// The ellipsoidal set: one batch's points mapped, corrected and formatted,
// with a worker's own binding of the library and its own distribution
// (which sets the library's ellipsoid and meridian).
void MapEllipsoidalBatch(const ApplyJob& job, const EllipsoidalPointList& points, ProjectionLibrary& library,
                         const EllipsoidalResidualDistribution* distribution, PointBatch& batch) {
  BatchResults& results = batch.results;
  const bool dms = job.settings.formatGeographic != 0;
  std::string line;
  for (std::size_t i = batch.first; i < batch.first + batch.count; ++i) {
    const EllipsoidalPoint& point = points[i];
    std::array<double, 3> p{};
    if (!MapType2(job.set, library, point.B, point.L, point.h, p)) {
      results.leftOut(0, point.name);
      continue;
    }
    if (distribution != nullptr) distribution->apply(p);
    if (!Writable(p[0], p[1], p[2])) {
      results.leftOut(0, point.name);
      continue;
    }
    FormatEllipsoidalPointLine(line, point.name, p, dms, job.settings.decimalsGeographic,
                               job.settings.decimalsCartesian);
    if (job.settings.keepRest != 0) AppendRest(line, point.rest);
    results.output += line;
    results.wrote(0);
  }
}

bool applyEllipsoidal(const ApplyJob& job, ProjectionLibrary& library, JobHost& host, OutputFile& output,
                      ApplyResult& result) {
  const bool dms = job.settings.formatGeographic != 0;
  EllipsoidalPointList points;
  PointFileNotes notes;
  if (ReadEllipsoidalSource(job.inputPath, dms, library, points, notes) == 0) {
    host.message(str::SourceUnreadable, {job.inputPath.string()});
    return false;
  }
  if (notes.unreadable > 0) {
    host.message(str::LinesUnreadable, {notes.unreadable, job.inputPath.string(), notes.firstUnreadableLine});
  }
  result.linesRead = static_cast<std::int64_t>(points.size()) + notes.unreadable;
  result.linesUnreadable = notes.unreadable;
  result.firstUnreadableLine = notes.firstUnreadableLine;
  if (points.empty()) {
    // A cartesian file given to an ellipsoidal set ends here, not as an empty success.
    host.message(str::NoSourcePointRead, {job.inputPath.string()});
    return false;
  }
  if (!output.open(job.outputPath)) {
    host.message(output.failureMessage(str::FileNotOpened), {job.outputPath.string()});
    return false;
  }
  output.setForm(PointOutputForm(job.outputPath),
                 GeographicColumns(dms) +
                     (job.settings.keepRest != 0 ? " rest" : ""));
  const bool distribute = job.settings.interpolationActive == 1 && !job.set.points.empty();
  // One distribution for every worker: its correction reads shared state only.
  EllipsoidalResidualDistribution distribution(job.set.targetEllipsoid, job.settings.interpolationType,
                                               job.settings.interpolationDistance);
  if (distribute) {
    for (const TransformationSetPoint& p : job.set.points) {
      EllipsoidalResidualDistribution::Station s{p.target[0], p.target[1], stored(p.residuals[0]),
                                                 stored(p.residuals[1]), stored(p.residuals[2])};
      if (std::isnan(s.dN)) {
        // A height-only point stands where the set puts its source point.
        std::array<double, 3> at{};
        if (!MapType2(job.set, library, p.source[0], p.source[1], p.source[2], at)) continue;
        s.B = at[0], s.L = at[1];
      }
      distribution.add(s);
    }
  }
  // Points read are the lines read; the delivery counts only what is
  // mapped.
  PointRunCounts mapped;
  LineDelivery delivery(host, output, mapped);
  std::size_t next = 0;
  const PipelineEnd end = RunOrderedPipeline<PointBatch>(
      BatchWorkers(),
      [&](PointBatch& batch) {
        batch.first = next;
        batch.count = std::min(kPointBatch, points.size() - next);
        next += batch.count;
        return batch.count > 0;
      },
      [&] {
        auto own = std::make_shared<ProjectionLibrary>();
        own->OpenShared(library);
        return [&, own](PointBatch& batch) {
          MapEllipsoidalBatch(job, points, *own, distribute ? &distribution : nullptr, batch);
        };
      },
      [&](PointBatch& batch) { return delivery(batch.results); });
  result.pointsWritten = mapped.pointsWritten;
  result.pointsLeftOut = mapped.pointsLeftOut;
  result.firstLeftOut = mapped.firstLeftOut;
  if (delivery.cancelled()) return false;  // the output is never committed
  if (end.failed || end.readFailed) {
    host.message(str::FileNotOpened, {job.outputPath.string()});
    return false;
  }
  if (result.pointsLeftOut > 0) host.message(str::PointsLeftOut, {result.pointsLeftOut, result.firstLeftOut});
  return true;
}

}  // namespace

bool ApplyStoredTransformation(const ApplyJob& job, ProjectionLibrary& library, JobHost& host, ApplyResult* result) {
  ApplyResult counts;
  OutputFile output;
  bool done = false;
  if (!CheckDistinctFiles({job.inputPath}, {job.outputPath}, host)) return false;
  switch (job.set.type) {
    case 0:
    case 1: done = applyCartesian(job, host, output, counts); break;
    case 2:
      if (!library.usable()) {
        host.message(str::ProjectionLibraryMissing);
        return false;
      }
      done = applyEllipsoidal(job, library, host, output, counts);
      break;
    default:
      host.message(str::SetTypeUnknown, {windows1252ToUtf8(job.set.name), job.set.type});
      return false;
  }
  if (result != nullptr) *result = counts;  // what a failed run reached, too
  if (!done) return false;
  if (!output.commit()) {
    host.message(str::FileNotOpened, {job.outputPath.string()});
    return false;
  }
  if (job.settings.interpolationActive == 1 && job.set.points.empty()) {
    counts.distributionSkipped = true;
    host.message(str::DistributionSkipped, {windows1252ToUtf8(job.set.name)});
  }
  if (result != nullptr) *result = counts;
  return true;
}

}  // namespace pelmar
