#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

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

struct ApplyResult {
  std::int64_t linesRead = 0;  // data lines, readable or not
  std::int64_t linesUnreadable = 0;
  std::int64_t firstUnreadableLine = 0;
  std::int64_t pointsWritten = 0;
  std::int64_t pointsLeftOut = 0;  // the library could not convert them
  std::string firstLeftOut;
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
