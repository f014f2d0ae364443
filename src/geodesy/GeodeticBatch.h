#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "settings/EllipsoidDatabase.h"
#include "settings/GeneralSettings.h"

namespace pelmar {

class EllipsoidLibrary;
class JobHost;
class ProjectionLibrary;

enum class GeodeticTask {
  Direct = 0,           // name B1 L1 A1 S → B2 L2 A2
  Inverse = 1,          // name B1 L1 B2 L2 → A1 A2 S
  ArcLength = 2,        // name B → meridian arc length G from the equator
  LatitudeFromArc = 3,  // name G → B
};

struct GeodeticJob {
  std::filesystem::path inputPath;
  std::filesystem::path outputPath;
  GeneralSettings settings;  // "FormatGeog", decimals g (angles) and k (metres)
  EllipsoidRecord ellipsoid;
  GeodeticTask task = GeodeticTask::Inverse;
};

struct GeodeticResult {
  std::int64_t linesRead = 0;  // data lines
  std::int64_t linesWritten = 0;
  std::int64_t linesUnreadable = 0;  // another count of fields than the task's
  std::int64_t firstUnreadableLine = 0;
  std::int64_t linesLeftOut = 0;  // the library could not compute them
  std::string firstLeftOut;
};

// Runs one geodetic task on every line of the input file (angles in
// decimal degrees, or degrees, minutes and seconds by "FormatGeog"; a line
// is used only with exactly the task's count of fields) and writes the
// results: tasks 0 and 1 under a header and a rule line, echoing the given
// values; tasks 2 and 3 as point lines. A line the library cannot compute
// (a latitude beyond ±90°, an arc beyond the pole, numbers that are not
// finite) is left out, counted and the first named (1701); unreadable lines
// are counted (1330). False, with message 119 or 120, when a file cannot be
// used.
bool RunGeodeticTask(const GeodeticJob& job, EllipsoidLibrary& ellipsoids, ProjectionLibrary& projections,
                     JobHost& host, GeodeticResult* result = nullptr);

// The header and rule lines of tasks 0 and 1 (Windows-1252, line breaks included).
std::string GeodeticHeader(bool dms);

}  // namespace pelmar
