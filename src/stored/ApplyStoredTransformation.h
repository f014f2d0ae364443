#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "points/PointRunCounts.h"
#include "settings/GeneralSettings.h"
#include "stored/TransformationSet.h"

namespace pelmar {

class JobHost;
class ProjectionLibrary;

struct ApplyJob {
  std::filesystem::path inputPath;
  std::filesystem::path outputPath;
  GeneralSettings settings;  // decimals, "FormatGeog", residual distribution
  TransformationSet set;
};

// Points left out are those the library could not convert.
struct ApplyResult : PointRunCounts {
  // The residual distribution is on but the set holds no identical points:
  // the points are not those of the estimation (message 2146).
  bool distributionSkipped = false;
};

// Transforms every point of the input file with the set: types 0 and 1 read
// cartesian lines "name c1 c2 c3" and write (o1, o2, o3) of the set's
// mapping; type 2 reads geographic lines as the ellipsoidal estimation's
// source file and writes B, L, h on the target ellipsoid. With the residual
// distribution on, the set's stored identical points correct every point.
// False, with the message given (133, 188 when no line holds a point of
// the set's kind, 165, or 1502 for a type outside 0…2), when nothing could
// be written.
bool ApplyStoredTransformation(const ApplyJob& job, ProjectionLibrary& library, JobHost& host,
                               ApplyResult* result = nullptr);

}  // namespace pelmar
