#include "stored/ApplyStoredTransformation.h"

#include <cmath>
#include <limits>

#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/ResidualDistribution.h"
#include "points/LineFormatters.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

// A stored residual the point had no observation for.
double stored(double value) {
  return value == EllipsoidalIdenticalPoint::kNoResidual ? std::numeric_limits<double>::quiet_NaN() : value;
}

bool applyCartesian(const ApplyJob& job, JobHost& host, OutputFile& output, ApplyResult& result) {
  PointList points;
  UnreadableLines skipped;
  if (ReadPointFile3D(job.inputPath, points, &skipped, job.settings.keepRest != 0) == 0) {
    host.message(str::SourceUnreadable, {job.inputPath.string()});
    return false;
  }
  if (skipped.count > 0) host.message(str::LinesUnreadable, {skipped.count, job.inputPath.string(), skipped.firstLine});
  result.linesRead = static_cast<std::int64_t>(points.size()) + skipped.count;
  result.linesUnreadable = skipped.count;
  result.firstUnreadableLine = skipped.firstLine;
  if (points.empty()) {
    host.message(str::NoSourcePointRead, {job.inputPath.string()});
    return false;
  }
  if (!output.open(job.outputPath)) {
    host.message(output.failureMessage(str::FileNotOpened), {job.outputPath.string()});
    return false;
  }
  output.setForm(PointOutputForm(job.outputPath), std::string("name ") + OutputAxes(job.settings.axisOrder) +
                                                      (job.settings.keepRest != 0 ? " rest" : ""));
  // The stored points in the order the mapping writes: second, first, third.
  ResidualDistribution distribution(job.settings.interpolationType, job.settings.interpolationDistance, true);
  const bool distribute = job.settings.interpolationActive == 1;
  for (const TransformationSetPoint& p : job.set.points) {
    distribution.add({p.target[1], p.target[0], p.target[2], p.residuals[0], p.residuals[1], p.residuals[2]});
  }
  std::string line;
  const int axisOrder = job.settings.axisOrder;
  if (axisOrder == 2) output.write(kSwappedAxesHeader);
  for (const PointRecord& point : points) {
    if (host.cancelled()) return false;  // the output is never committed
    // The reader keeps the first number as X and the second as Y.
    auto o = job.set.type == 0 ? MapType0(job.set, point.X, point.Y, point.Z)
                               : MapType1(job.set, point.X, point.Y, point.Z);
    if (distribute && !job.set.points.empty()) distribution.apply(o[0], o[1], o[2]);
    if (!Writable(o[0], o[1], o[2])) {
      if (result.pointsLeftOut++ == 0) result.firstLeftOut = point.name;
      continue;
    }
    ToOutputOrder(o[0], o[1], axisOrder);
    FormatPointLine3(line, point.name, o[0], o[1], o[2], job.settings.decimalsCartesian);
    AppendRest(line, point.rest);
    output.write(line);
    ++result.pointsWritten;
  }
  if (result.pointsLeftOut > 0) host.message(str::PointsNotTransformed, {result.pointsLeftOut, result.firstLeftOut});
  return true;
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
  std::string line;
  for (const EllipsoidalPoint& point : points) {
    if (host.cancelled()) return false;  // the output is never committed
    std::array<double, 3> p{};
    if (!MapType2(job.set, library, point.B, point.L, point.h, p)) {
      if (result.pointsLeftOut++ == 0) result.firstLeftOut = point.name;
      continue;
    }
    if (distribute) distribution.apply(p);
    if (!Writable(p[0], p[1], p[2])) {
      if (result.pointsLeftOut++ == 0) result.firstLeftOut = point.name;
      continue;
    }
    FormatEllipsoidalPointLine(line, point.name, p, dms, job.settings.decimalsGeographic,
                               job.settings.decimalsCartesian);
    if (job.settings.keepRest != 0) AppendRest(line, point.rest);
    output.write(line);
    ++result.pointsWritten;
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
