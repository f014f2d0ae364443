#include "cli/EllipsoidsCommand.h"

#include <cmath>
#include <ostream>

#include "app/StringIds.h"
#include "app/TextEncoding.h"
#include "cli/CliHost.h"
#include "points/LineScanner.h"
#include "points/NumberFormat.h"
#include "settings/EllipsoidDatabase.h"

namespace pelmar::cli {

namespace {

bool parseLength(const std::string& text, double& value) {
  return !text.empty() && parseRealPrefix(text, value) == text.size() && std::isfinite(value);
}

}  // namespace

int EllipsoidsCommand::run(CliContext& context, const std::vector<std::string>& args) {
  if (args.empty()) return usageError(context.err, "ellipsoids: say list, add NAME A B or delete NAME");
  const std::string& action = args[0];
  const bool list = action == "list" && args.size() == 1;
  const bool add = action == "add" && args.size() == 4;
  const bool remove = action == "delete" && args.size() == 2;
  if (!list && !add && !remove) return usageError(context.err, "ellipsoids: say list, add NAME A B or delete NAME");

  const std::filesystem::path file = context.state.home / kEllipsoidFileName;
  EllipsoidList ellipsoids;
  std::string problem;
  if (!ReadEllipsoidDatabase(file, ellipsoids, &problem)) {
    context.host.message(str::EllipsoidFileFailed, {file.string()});
    context.err << "pelmar-cli: " << problem << "\n";
    return kJobFailed;
  }

  if (list) {
    for (const EllipsoidRecord& record : ellipsoids) {
      std::string line = windows1252ToUtf8(record.name);
      if (line.size() < 16) line.append(16 - line.size(), ' ');
      appendFixed(line, record.a, 16, 6);
      appendFixed(line, record.b, 16, 6);
      context.out << line << "\n";
    }
    return kSuccess;
  }

  const std::string name = utf8ToWindows1252(args[1]);
  const int index = FindEllipsoid(ellipsoids, name);
  if (add) {
    double a = 0.0, b = 0.0;
    if (!parseLength(args[2], a) || !parseLength(args[3], b)) {
      return usageError(context.err, "ellipsoids add: A and B are lengths in metres, such as 6378137");
    }
    if (!(a > 0.0 && b > 0.0 && b <= a)) {
      context.host.message(str::EllipsoidAxesInvalid, {args[1]});
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
