#include "cli/EllipsoidsCommand.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "cli/CliHost.h"
#include "io/FileLock.h"
#include "text/LineScanner.h"
#include "text/NumberFormat.h"
#include "settings/EllipsoidDatabase.h"
#include "settings/EllipsoidParameters.h"

namespace pelmar::cli {

namespace {

constexpr const char* kEllipsoidsUsage =
    "ellipsoids: say list, add NAME A B, add NAME A --inverse-flattening F or delete NAME";

}  // namespace

int EllipsoidsCommand::run(CliContext& context, const std::vector<std::string>& args) {
  if (args.empty()) return usageError(context.err, kEllipsoidsUsage);
  const std::string& action = args[0];
  const bool list = action == "list" && args.size() == 1;
  const bool inverseFlattening = action == "add" && args.size() == 5 && args[3] == "--inverse-flattening";
  const bool add = action == "add" && (args.size() == 4 || inverseFlattening);
  const bool remove = action == "delete" && args.size() == 2;
  if (!list && !add && !remove) return usageError(context.err, kEllipsoidsUsage);

  const std::filesystem::path file = context.state.userFiles() / kEllipsoidFileName;
  // Read, change and write under the file's lock: of 100 concurrent adds,
  // 37 used to be lost.
  const FileLock lock(file);
  EllipsoidList ellipsoids;
  std::string problem;
  if (!ReadEllipsoidDatabase(file, ellipsoids, &problem)) {
    context.host.message(str::EllipsoidFileFailed, {file.string()});
    context.err << "pelmar-cli: " << problem << "\n";
    return kJobFailed;
  }

  if (list) {
    context.out << "Name                   a (m)           b (m)\n";
    for (const EllipsoidRecord& record : ellipsoids) {
      std::string line = windows1252ToUtf8(record.name);
      if (line.size() < 16) line.append(16 - line.size(), ' ');
      appendFixed(line, record.a, 16, 6);
      appendFixed(line, record.b, 16, 6);
      context.out << line << "\n";
    }
    return kSuccess;
  }

  // A name is text on one line: an empty one or one with a line break or
  // other control character would spoil the list's display and lookups.
  if (add && (args[1].empty() || std::any_of(args[1].begin(), args[1].end(),
                                             [](unsigned char c) { return c < 0x20 || c == 0x7F; }))) {
    return usageError(context.err, "ellipsoids add: NAME must be text on one line, not empty");
  }
  const std::string name = utf8ToWindows1252(args[1]);
  const int index = FindEllipsoid(ellipsoids, name);
  if (add) {
    double a = 0.0, b = 0.0;
    if (inverseFlattening) {
      double inverse = 0.0;
      if (!ParseWholeNumber(args[2], a) || !ParseWholeNumber(args[4], inverse)) {
        return usageError(context.err, "ellipsoids add: A is a length in metres and F the inverse flattening, such as 298.257222101");
      }
      b = inverse > 0.0 ? a - a / inverse : -1.0;  // a sphere is given as A A
    } else if (!ParseWholeNumber(args[2], a) || !ParseWholeNumber(args[3], b)) {
      return usageError(context.err, "ellipsoids add: A and B are lengths in metres, such as 6378137");
    }
    switch (CheckEllipsoidAxes(a, b)) {
      case AxesProblem::None: break;
      case AxesProblem::Range: context.host.message(str::EllipsoidAxesInvalid, {args[1]}); return kJobFailed;
      case AxesProblem::Flattening:
        context.host.message(str::EllipsoidFlatteningImplausible, {args[1], formatFixed((a - b) / a, 0, 6)});
        return kJobFailed;
    }
    if (index >= 0) {
      context.host.message(str::EllipsoidNameTaken, {args[1]});
      return kJobFailed;
    }
    ellipsoids.push_back({name, a, b});
  } else {
    if (index < 0) {
      context.host.message(str::EllipsoidNotFound, {args[1]});
      return kJobFailed;
    }
    ellipsoids.erase(ellipsoids.begin() + index);
  }
  if (!WriteEllipsoidDatabase(file, ellipsoids)) {
    context.host.message(str::EllipsoidFileFailed, {file.string()});
    return kJobFailed;
  }
  return kSuccess;
}

}  // namespace pelmar::cli
