#include "geodesy/GeodeticBatch.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "conversion/DmsInput.h"
#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"
#include "points/LineBatches.h"
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

// The names of the written columns, for a delimited output's first line:
// the problems write both points, both azimuths and the distance.
std::string columnsOf(GeodeticTask task, bool dms) {
  auto angle = [dms](const char* name) { return dms ? DmsColumns(name) : std::string(name); };
  switch (task) {
    case GeodeticTask::Direct:
    case GeodeticTask::Inverse:
      return "name " + angle("B1") + " " + angle("L1") + " " + angle("B2") + " " + angle("L2") + " " + angle("A1") +
             " " + angle("A2") + " S";
    case GeodeticTask::ArcLength: return "name G";
    case GeodeticTask::LatitudeFromArc: return "name " + angle("B");
  }
  return "name";
}

bool finite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Given angles a computation can take: a latitude within ±90°, a longitude
// or azimuth within ±1e6° (beyond, a typing error: 1e308 was written as a
// 459-character line).
constexpr double kLargestAngle = 1e6;
bool usableLatitude(double B) { return std::fabs(B) <= 90.0; }
bool usableAngle(double angle) { return std::fabs(angle) <= kLargestAngle; }

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

namespace {

// What became of one data line.
enum class LineOutcome { Written, Unreadable, LeftOut };

// How a run reads and writes its lines.
struct TaskForms {
  GeodeticTask task;
  bool dms;                   // angles in degrees, minutes and seconds
  int g, k;                   // geographic and metric decimals
  bool keepRest = false;      // the text after the task's values follows the results
};

// The direct or inverse problem of one line: the given angles B1 L1 A1
// (direct, then S) or B1 L1 B2 L2 (inverse), as fields `v`.
LineOutcome ComputeProblem(const TaskForms& forms, std::string_view name, const double* v,
                           EllipsoidLibrary& ellipsoids, ProjectionLibrary& projections, std::string& line) {
  const bool direct = forms.task == GeodeticTask::Direct;
  const int angles = direct ? 3 : 4;
  ReadDms given[4];
  for (int a = 0; a < angles; ++a) {
    if (!forms.dms) {
      given[a].degrees = v[a];
    } else if (!readDms(projections, v[3 * a], v[3 * a + 1], v[3 * a + 2], given[a])) {
      return LineOutcome::Unreadable;
    }
  }
  double values[6];  // B1 L1 B2 L2 A1 A2
  double S = 0.0;
  int status = 0;
  if (!usableLatitude(given[0].degrees) || !usableAngle(given[1].degrees) || !usableAngle(given[2].degrees) ||
      (!direct && (!usableLatitude(given[2].degrees) || !usableAngle(given[3].degrees)))) {
    return LineOutcome::LeftOut;
  }
  if (direct) {
    S = v[forms.dms ? 9 : 3];
    // Beyond a few times round the Earth a distance is a typing error
    // (1e308 gave a latitude and a 300-digit column).
    if (!(std::fabs(S) <= kLongestLine)) return LineOutcome::LeftOut;
    values[0] = given[0].degrees, values[1] = given[1].degrees, values[4] = given[2].degrees;
    status = ellipsoids.DirectGeodeticProblem(values[0], values[1], values[4], S, values[2], values[3], values[5]);
  } else {
    values[0] = given[0].degrees, values[1] = given[1].degrees, values[2] = given[2].degrees,
    values[3] = given[3].degrees;
    status = ellipsoids.InDirectGeodeticProblem(values[0], values[1], values[2], values[3], values[4], values[5], S);
  }
  if (status != ZIV_OK || !finite({values[0], values[1], values[2], values[3], values[4], values[5], S})) {
    return LineOutcome::LeftOut;
  }
  if (forms.dms) {
    // Given angles echoed as read; computed ones through DEZGMS.
    const int givenSlot[4] = {0, 1, direct ? 4 : 2, direct ? -1 : 3};
    DmsAngle out[6];
    for (int i = 0; i < 6; ++i) out[i] = SplitDegrees(values[i], forms.g);
    // As read, but with the seconds rounded at the printed decimals.
    for (int a = 0; a < angles; ++a) out[givenSlot[a]] = CarryRoundedSeconds(given[a].echo, forms.g);
    FormatProblemLineDms(line, name, out, S, forms.g, forms.k);
  } else {
    FormatProblemLine(line, name, values, S, forms.g, forms.k);
  }
  return LineOutcome::Written;
}

// The meridian arc length from the equator to the latitude of one line.
LineOutcome ComputeArc(const TaskForms& forms, std::string_view name, const double* v, EllipsoidLibrary& ellipsoids,
                       ProjectionLibrary& projections, std::string& line) {
  double B = v[0];
  if (forms.dms) {
    ReadDms given;
    if (!readDms(projections, v[0], v[1], v[2], given)) return LineOutcome::Unreadable;
    B = given.degrees;
  }
  if (!usableLatitude(B)) return LineOutcome::LeftOut;
  double G = 0.0;
  if (ellipsoids.MeridianArcLength(B, G) != ZIV_OK || !std::isfinite(G)) return LineOutcome::LeftOut;
  FormatPointLine1(line, name, G, forms.k);
  return LineOutcome::Written;
}

// The latitude at the end of the meridian arc of one line.
LineOutcome ComputeLatitude(const TaskForms& forms, std::string_view name, const double* v,
                            EllipsoidLibrary& ellipsoids, std::string& line) {
  double B = 0.0;
  if (ellipsoids.InverseMeridianArcLength(v[0], B) != ZIV_OK || !std::isfinite(B)) return LineOutcome::LeftOut;
  // A latitude, printed with the angle decimals (the length decimals, 3 by
  // default, gave 0.001°, about 111 m).
  if (forms.dms) {
    // "%20s " and the latitude as "%3d%3d%<g+4>.<g>f", no blank after it.
    FormatPointLineDms1(line, name, SplitDegrees(B, forms.g), forms.g);
    line.erase(line.size() - 2, 1);
  } else {
    FormatPointLine1(line, name, B, forms.g);
  }
  return LineOutcome::Written;
}

// One data line of the task into `line`; `name` is set when the line has one.
LineOutcome ComputeLine(const TaskForms& forms, std::string_view data, EllipsoidLibrary& ellipsoids,
                        ProjectionLibrary& projections, std::string_view& name, std::string& line) {
  double v[kMaxFields - 1] = {};
  const int fields = scanFields(data, name, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11]);
  // With --keep-rest, numbers after the task's own are the rest of the line.
  const int used = fieldsOf(forms.task, forms.dms);
  if (fields != used && !(forms.keepRest && fields > used)) return LineOutcome::Unreadable;
  LineOutcome outcome = LineOutcome::Unreadable;
  switch (forms.task) {
    case GeodeticTask::Direct:
    case GeodeticTask::Inverse: outcome = ComputeProblem(forms, name, v, ellipsoids, projections, line); break;
    case GeodeticTask::ArcLength: outcome = ComputeArc(forms, name, v, ellipsoids, projections, line); break;
    case GeodeticTask::LatitudeFromArc: outcome = ComputeLatitude(forms, name, v, ellipsoids, line); break;
  }
  if (outcome == LineOutcome::Written && forms.keepRest) AppendRest(line, RestAfterWords(data, used));
  return outcome;
}

// The progress of a run: the problems, which write a report, by percent of
// the file with the counts in the text; the meridian tasks line by line.
class TaskProgress {
 public:
  TaskProgress(JobHost& host, const std::filesystem::path& input, bool percent) : host_(host), percent_(percent) {
    if (!host.showsProgress()) return;
    dataLines_ = CountDataLines(input);
    host.setProgressRange(percent ? 100 : dataLines_);
  }
  // After `linesRead` data lines, the last of them at `lineNumber`.
  void step(std::int64_t linesRead, std::int64_t lineNumber) {
    if (!host_.showsProgress()) return;
    if (!percent_) {
      host_.stepProgress();
      return;
    }
    // The line number counts every line read; a file with comments would
    // pass 100 % by the data lines alone.
    const int percent =
        static_cast<int>(std::min<std::int64_t>(100, lineNumber * 100 / std::max<std::int64_t>(dataLines_, 1)));
    if (shown_ < percent) host_.setProgressText(host_.text(str::GeodeticProgress, {linesRead, dataLines_, percent}));
    for (; shown_ < percent; ++shown_) host_.stepProgress();
  }

 private:
  JobHost& host_;
  bool percent_;
  std::int64_t dataLines_ = 0;
  int shown_ = 0;
};

bool LibrariesUsable(const EllipsoidLibrary& ellipsoids, const ProjectionLibrary& projections, JobHost& host) {
  if (!ellipsoids.usable()) {
    host.message(str::EllipsoidLibraryMissing);
    return false;
  }
  if (!projections.usable()) {
    host.message(str::ProjectionLibraryMissing);
    return false;
  }
  return true;
}

// Computes the lines of one batch with a worker's own bindings of the two
// libraries.
void ComputeBatch(const TaskForms& forms, EllipsoidLibrary& ellipsoids, ProjectionLibrary& projections,
                  LineBatch& batch) {
  BatchResults& results = batch.results;
  std::string line;
  for (const LineBatch::Line& item : batch.lines) {
    std::string_view name;
    switch (ComputeLine(forms, trimBlanks(batch.data(item)), ellipsoids, projections, name, line)) {
      case LineOutcome::Unreadable: results.unreadable(item.number); break;
      case LineOutcome::LeftOut: results.leftOut(item.number, name); break;
      case LineOutcome::Written:
        results.output += line;
        results.wrote(item.number);
        break;
    }
  }
}

}  // namespace

bool RunGeodeticTask(const GeodeticJob& job, EllipsoidLibrary& ellipsoids, ProjectionLibrary& projections,
                     JobHost& host, GeodeticResult* result) {
  const TaskForms forms{job.task, job.settings.formatGeographic != 0, job.settings.decimalsGeographic,
                        job.settings.decimalsCartesian, job.settings.keepRest != 0};
  if (!LibrariesUsable(ellipsoids, projections, host)) return false;
  if (!CheckDistinctFiles({job.inputPath}, {job.outputPath}, host)) return false;
  LineReader reader(job.inputPath);
  reader.setForm(PointInputForm(job.inputPath));
  OutputFile output;
  if (!OpenStreamedBatch(host, reader, job.inputPath, output, job.outputPath)) return false;
  output.setForm(PointOutputForm(job.outputPath), columnsOf(job.task, forms.dms) + (forms.keepRest ? " rest" : ""));
  // The ellipsoid library first, then the projection library.
  ellipsoids.SetEllipDim(job.ellipsoid.a, job.ellipsoid.b);
  projections.SetEllipDim(job.ellipsoid.a, job.ellipsoid.b);
  const bool report = job.task == GeodeticTask::Direct || job.task == GeodeticTask::Inverse;
  TaskProgress progress(host, job.inputPath, report);
  // A delimited output has its line of column names instead.
  if (report && !PointOutputForm(job.outputPath).delimited()) output.write(GeodeticHeader(forms.dms));

  PointRunCounts counts;
  LineDelivery delivery(host, output, counts,
                        [&](std::int64_t linesRead, std::int64_t line) { progress.step(linesRead, line); });
  const PipelineEnd end = StreamLineBatches(
      reader,
      [&]() -> ComputeLines {
        auto own = std::make_shared<std::pair<EllipsoidLibrary, ProjectionLibrary>>();
        own->first.OpenShared(ellipsoids);
        own->second.OpenShared(projections);
        return [&forms, own](LineBatch& batch) { ComputeBatch(forms, own->first, own->second, batch); };
      },
      [&](LineBatch& batch) { return delivery(batch.results); });
  host.endProgress();
  // Not committed: the old output stays as it was.
  if (delivery.cancelled()) return false;
  GeodeticResult reached{counts.linesRead, counts.pointsWritten, counts.linesUnreadable, counts.firstUnreadableLine,
                         counts.pointsLeftOut, counts.firstLeftOut};
  if (result != nullptr) *result = reached;  // what a failed run reached, too
  if (!FinishStreamedBatch(host, reader, end, job.inputPath, output, job.outputPath, counts)) return false;
  if (counts.pointsLeftOut > 0) host.message(str::LinesNotComputed, {counts.pointsLeftOut, counts.firstLeftOut});
  return true;
}

}  // namespace pelmar
