#include "stored/ApplyStoredTransformation.h"

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
#include "estimation/EllipsoidalPointFile.h"
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

// The end of a streamed apply: what the reading and the writing met, told
// in the order the reading of a whole file told it before the output was
// opened; `leftOut` names the points the mapping refused.
bool EndStreamedApply(const ApplyJob& job, JobHost& host, const OutputFile& output, const LineReader& reader,
                      const PipelineEnd& end, bool opened, int leftOut, ApplyResult& result) {
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
    // A file without a point (a cartesian one given to an ellipsoidal set)
    // ends here, not as an empty success.
    host.message(str::NoSourcePointRead, {job.inputPath.string()});
    return false;
  }
  if (!opened) {
    // Nothing was written: the counts say so.
    result.pointsWritten = result.pointsLeftOut = 0;
    result.firstLeftOut.clear();
  }
  if (!opened || end.failed) {
    host.message(output.failureMessage(str::FileNotOpened), {job.outputPath.string()});
    return false;
  }
  if (result.pointsLeftOut > 0) host.message(leftOut, {result.pointsLeftOut, result.firstLeftOut});
  return true;
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
  return EndStreamedApply(job, host, output, reader, end, opened, str::PointsNotTransformed, result);
}

// The ellipsoidal set: one batch's lines read as the estimation reads its
// source file, mapped, corrected and formatted, with a worker's own binding
// of the library (MapType2 sets its ellipsoid and meridian); the
// distribution is only read.
void MapEllipsoidalBatch(const ApplyJob& job, ProjectionLibrary& library,
                         const EllipsoidalResidualDistribution* distribution, LineBatch& batch) {
  BatchResults& results = batch.results;
  const bool dms = job.settings.formatGeographic != 0;
  EllipsoidalPoint point;
  std::string line;
  for (const LineBatch::Line& item : batch.lines) {
    if (!ParseEllipsoidalSourceLine(batch.data(item), dms, library, point)) {
      results.unreadable(item.number);
      continue;
    }
    std::array<double, 3> p{};
    if (!MapType2(job.set, library, point.B, point.L, point.h, p)) {
      results.leftOut(item.number, point.name);
      continue;
    }
    if (distribution != nullptr) distribution->apply(p);
    if (!Writable(p[0], p[1], p[2])) {
      results.leftOut(item.number, point.name);
      continue;
    }
    FormatEllipsoidalPointLine(line, point.name, p, dms, job.settings.decimalsGeographic,
                               job.settings.decimalsCartesian);
    if (job.settings.keepRest != 0) AppendRest(line, point.rest);
    results.output += line;
    results.wrote(item.number);
  }
}

// Streamed as the cartesian sets are; what the reading of the whole file
// used to tell before the output was opened is still told first.
bool applyEllipsoidal(const ApplyJob& job, ProjectionLibrary& library, JobHost& host, OutputFile& output,
                      ApplyResult& result) {
  LineReader reader(job.inputPath);
  reader.setForm(PointInputForm(job.inputPath));
  if (!reader.isOpen()) {
    host.message(str::SourceUnreadable, {job.inputPath.string()});
    return false;
  }
  const bool dms = job.settings.formatGeographic != 0;
  const bool opened = output.open(job.outputPath);
  output.setForm(PointOutputForm(job.outputPath), GeographicColumns(dms) + (job.settings.keepRest != 0 ? " rest" : ""));
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
  LineDelivery delivery(host, output, result);
  const PipelineEnd end = StreamLineBatches(
      reader,
      [&]() -> ComputeLines {
        auto own = std::make_shared<ProjectionLibrary>();
        own->OpenShared(library);
        return [&, own](LineBatch& batch) {
          MapEllipsoidalBatch(job, *own, distribute ? &distribution : nullptr, batch);
        };
      },
      [&](LineBatch& batch) { return delivery(batch.results); });
  if (delivery.cancelled()) return false;  // the output is never committed
  return EndStreamedApply(job, host, output, reader, end, opened, str::PointsLeftOut, result);
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
