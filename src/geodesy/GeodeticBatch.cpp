#include "geodesy/GeodeticBatch.h"

#include <algorithm>
#include <cmath>

#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "conversion/DmsInput.h"
#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"
#include "points/LineFormatters.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

constexpr int kMaxFields = 13;
constexpr double kLongestLine = 1e8;  // metres: two and a half times round the Earth

// An angle as read in degrees, minutes and seconds (see JoinDms).
struct ReadDms {
  DmsAngle echo;    // as read, the sign on the first non-zero part
  double degrees;   // decimal degrees
};

bool readDms(ProjectionLibrary& library, double d, double m, double s, ReadDms& out) {
  return JoinDms(library, d, m, s, out.degrees, &out.echo);
}

// The count of fields a line of the task must have, name included.
int fieldsOf(GeodeticTask task, bool dms) {
  switch (task) {
    case GeodeticTask::Direct: return dms ? 11 : 5;
    case GeodeticTask::Inverse: return dms ? 13 : 5;
    case GeodeticTask::ArcLength: return dms ? 4 : 2;
    case GeodeticTask::LatitudeFromArc: return 2;
  }
  return 0;
}

bool finite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

std::string GeodeticHeader(bool dms) {
  if (!dms) {
    return "             Nr                   B1                   L1                   B2                   L2"
           "                   A1                   A2                    S\n" +
           std::string(162, '=') + "\n";
  }
  std::string header = "             Nr";
  for (const char* label : {"B1", "L1", "B2", "L2", "A1", "A2"}) {
    header += std::string("  ") + label + "\xB0" + "  " + label + "'" + std::string(13, ' ') + label + "\"" + "  ";
  }
  header += std::string(20, ' ') + "S\n";
  return header + std::string(204, '=') + "\n";
}

bool RunGeodeticTask(const GeodeticJob& job, EllipsoidLibrary& ellipsoids, ProjectionLibrary& projections,
                     JobHost& host, GeodeticResult* result) {
  const bool dms = job.settings.formatGeographic != 0;
  const int g = job.settings.decimalsGeographic, k = job.settings.decimalsCartesian;
  if (!ellipsoids.usable()) {
    host.message(str::EllipsoidLibraryMissing);
    return false;
  }
  if (!projections.usable()) {
    host.message(str::ProjectionLibraryMissing);
    return false;
  }
  if (!CheckDistinctFiles({job.inputPath}, {job.outputPath}, host)) return false;
  LineReader reader(job.inputPath);
  OutputFile output;
  if (!OpenStreamedBatch(host, reader, job.inputPath, output, job.outputPath)) return false;
  // The ellipsoid library first, then the projection library.
  ellipsoids.SetEllipDim(job.ellipsoid.a, job.ellipsoid.b);
  projections.SetEllipDim(job.ellipsoid.a, job.ellipsoid.b);

  const bool report = job.task == GeodeticTask::Direct || job.task == GeodeticTask::Inverse;
  std::int64_t dataLines = 0;
  if (host.showsProgress()) {
    dataLines = CountDataLines(job.inputPath);
    host.setProgressRange(report ? 100 : dataLines);
  }
  if (report) output.write(GeodeticHeader(dms));

  GeodeticResult counts;
  const int wanted = fieldsOf(job.task, dms);
  std::string line, block;
  std::string_view text;
  int shownPercent = 0;
  while (reader.next(text)) {
    const std::string_view data = trimBlanks(dataPart(text));
    if (data.empty()) continue;
    if (host.cancelled()) {
      // Not committed: the old output stays as it was.
      host.endProgress();
      return false;
    }
    ++counts.linesRead;
    if (host.showsProgress()) {
      if (report) {
        // The line number counts every line read; a file with comments
        // would pass 100 %.
        const int percent = static_cast<int>(std::min<std::int64_t>(100, reader.lineNumber() * 100 / std::max<std::int64_t>(dataLines, 1)));
        if (shownPercent < percent) {
          host.setProgressText(host.text(str::GeodeticProgress, {counts.linesRead, dataLines, percent}));
        }
        while (shownPercent < percent) {
          host.stepProgress();
          ++shownPercent;
        }
      } else {
        host.stepProgress();
      }
    }
    std::string_view name;
    double v[kMaxFields - 1] = {};
    const int fields = scanFields(data, name, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]);
    if (fields != wanted) {
      if (counts.linesUnreadable++ == 0) counts.firstUnreadableLine = reader.lineNumber();
      continue;
    }
    bool computed = false;
    switch (job.task) {
      case GeodeticTask::Direct:
      case GeodeticTask::Inverse: {
        const bool direct = job.task == GeodeticTask::Direct;
        // Given angles: B1 L1 A1 (direct) or B1 L1 B2 L2 (inverse).
        const int angles = direct ? 3 : 4;
        ReadDms given[4];
        bool readable = true;
        for (int a = 0; a < angles; ++a) {
          if (dms) {
            readable = readable && readDms(projections, v[3 * a], v[3 * a + 1], v[3 * a + 2], given[a]);
          } else {
            given[a].degrees = v[a];
          }
        }
        if (!readable) {
          if (counts.linesUnreadable++ == 0) counts.firstUnreadableLine = reader.lineNumber();
          continue;
        }
        double values[6];  // B1 L1 B2 L2 A1 A2
        double S = 0.0;
        int status = 0;
        if (direct) {
          S = v[dms ? 9 : 3];
          // Beyond a few times round the Earth a distance is a typing error
          // (1e308 gave a latitude and a 300-digit column).
          if (!(std::fabs(S) <= kLongestLine)) {
            if (counts.linesLeftOut++ == 0) counts.firstLeftOut = std::string(name);
            continue;
          }
          values[0] = given[0].degrees, values[1] = given[1].degrees, values[4] = given[2].degrees;
          status = ellipsoids.DirectGeodeticProblem(values[0], values[1], values[4], S, values[2], values[3], values[5]);
        } else {
          values[0] = given[0].degrees, values[1] = given[1].degrees, values[2] = given[2].degrees,
          values[3] = given[3].degrees;
          status = ellipsoids.InDirectGeodeticProblem(values[0], values[1], values[2], values[3], values[4], values[5],
                                                      S);
        }
        computed = status == ZIV_OK &&
                   finite({values[0], values[1], values[2], values[3], values[4], values[5], S});
        if (!computed) break;
        if (dms) {
          // Given angles echoed as read; computed ones through DEZGMS.
          const int givenSlot[4] = {0, 1, direct ? 4 : 2, direct ? -1 : 3};
          DmsAngle out[6];
          for (int i = 0; i < 6; ++i) out[i] = SplitDegrees(values[i], g);
          // As read, but with the seconds rounded at the printed decimals.
          for (int a = 0; a < angles; ++a) out[givenSlot[a]] = CarryRoundedSeconds(given[a].echo, g);
          FormatProblemLineDms(line, name, out, S, g, k);
        } else {
          FormatProblemLine(line, name, values, S, g, k);
        }
        break;
      }
      case GeodeticTask::ArcLength: {
        double B = v[0];
        ReadDms given;
        if (dms) {
          if (!readDms(projections, v[0], v[1], v[2], given)) {
            if (counts.linesUnreadable++ == 0) counts.firstUnreadableLine = reader.lineNumber();
            continue;
          }
          B = given.degrees;
        }
        double G = 0.0;
        computed = ellipsoids.MeridianArcLength(B, G) == ZIV_OK && std::isfinite(G);
        if (computed) FormatPointLine1(line, name, G, k);
        break;
      }
      case GeodeticTask::LatitudeFromArc: {
        double B = 0.0;
        computed = ellipsoids.InverseMeridianArcLength(v[0], B) == ZIV_OK && std::isfinite(B);
        if (!computed) break;
        if (dms) {
          // "%20s " and the latitude as "%3d%3d%<k+4>.<k>f", no blank after it.
          FormatPointLineDms1(line, name, SplitDegrees(B, k), k);
          line.erase(line.size() - 2, 1);
        } else {
          FormatPointLine1(line, name, B, k);
        }
        break;
      }
    }
    if (!computed) {
      if (counts.linesLeftOut++ == 0) counts.firstLeftOut = std::string(name);
      continue;
    }
    block += line;
    ++counts.linesWritten;
    if (block.size() > (1 << 16)) {
      output.write(block);
      block.clear();
    }
  }
  output.write(block);
  host.endProgress();
  if (!FinishStreamedBatch(host, reader, job.inputPath, output, job.outputPath, counts.linesUnreadable,
                           counts.firstUnreadableLine)) {
    return false;
  }
  if (counts.linesLeftOut > 0) host.message(str::LinesNotComputed, {counts.linesLeftOut, counts.firstLeftOut});
  if (result != nullptr) *result = counts;
  return true;
}

}  // namespace pelmar
