#include "estimation/EllipsoidalPointFile.h"

#include <cmath>
#include <string_view>

#include "conversion/DmsInput.h"
#include "conversion/ProjectionLibrary.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"
#include "points/NameIndex.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

constexpr double kLargestHeight = 1e7;  // metres: ten times the Earth's radius
// Accuracies (metres) outside these are typing errors; their squares and
// inverses must stay far from the ends of the double range.
constexpr double kSmallestSigma = 1e-9;
constexpr double kLargestSigma = 1e6;

bool plausibleSigma(double s) { return s >= kSmallestSigma && s <= kLargestSigma; }

// Up to ten numbers after the name, as "%s%lf…%lf" counts them.
struct Fields {
  std::string_view name;
  double v[10] = {};
  int numbers = 0;
};

Fields scan(std::string_view data) {
  Fields f;
  const int converted =
      scanFields(data, f.name, f.v[0], f.v[1], f.v[2], f.v[3], f.v[4], f.v[5], f.v[6], f.v[7], f.v[8], f.v[9]);
  f.numbers = converted - 1;
  return f;
}

// Reads the position (decimal: two numbers, dms: six) starting at v[0];
// returns the index of the next field, or 0 when an angle is malformed.
int readPosition(const Fields& f, bool dms, ProjectionLibrary& library, EllipsoidalPoint& p) {
  if (!dms) {
    p.B = f.v[0];
    p.L = f.v[1];
    return 2;
  }
  if (!JoinDms(library, f.v[0], f.v[1], f.v[2], p.B) || !JoinDms(library, f.v[3], f.v[4], f.v[5], p.L)) return 0;
  return 6;
}

bool plausible(const EllipsoidalPoint& p) {
  if (p.hasPosition && !(std::fabs(p.B) <= 90.0 && std::fabs(p.L) <= 360.0)) return false;
  if (p.hasHeight && !(std::fabs(p.h) <= kLargestHeight)) return false;
  if (p.individual) {
    if (p.hasPosition && !(plausibleSigma(p.sN) && plausibleSigma(p.sE))) return false;
    if (p.hasHeight && !plausibleSigma(p.sh)) return false;
  }
  return true;
}

enum class Kind { None, Full, Position, Height };

// One data line of the given kind; false when it fits none of the kind's layouts.
bool parse(std::string_view data, Kind kind, bool dms, ProjectionLibrary& library, EllipsoidalPoint& p) {
  const Fields f = scan(data);
  const int angles = dms ? 6 : 2;
  p = EllipsoidalPoint{};
  p.name = std::string(f.name);
  p.rest = RestAfterWords(data, f.numbers + 1);
  switch (kind) {
    case Kind::Full: {
      if (f.numbers != angles + 1 && f.numbers != angles + 4) return false;
      int i = readPosition(f, dms, library, p);
      if (i == 0) return false;
      p.h = f.v[i++];
      if (f.numbers == angles + 4) {
        p.individual = true;
        p.sN = f.v[i], p.sE = f.v[i + 1], p.sh = f.v[i + 2];
      }
      break;
    }
    case Kind::Position: {
      if (f.numbers != angles && f.numbers != angles + 2) return false;
      const int i = readPosition(f, dms, library, p);
      if (i == 0) return false;
      p.hasHeight = false;
      if (f.numbers == angles + 2) {
        p.individual = true;
        p.sN = f.v[i], p.sE = f.v[i + 1];
      }
      break;
    }
    case Kind::Height: {
      if (f.numbers != 1 && f.numbers != 2) return false;
      p.hasPosition = false;
      p.h = f.v[0];
      if (f.numbers == 2) {
        p.individual = true;
        p.sh = f.v[1];
      }
      break;
    }
    case Kind::None:
      return false;
  }
  return plausible(p);
}

// Reads every data line of the file; `kindOf(data, kind)` may take a line
// as a section line (true) and change the kind of the following points.
// Points are appended, repeated names and unreadable lines counted.
template <class SectionLine>
int readPoints(const std::filesystem::path& path, bool dms, ProjectionLibrary& library, Kind kind,
               SectionLine&& sectionLine, EllipsoidalPointList& points, PointFileNotes& notes) {
  LineReader reader(path);
  reader.setForm(PointInputForm(path));
  if (!reader.isOpen()) return 0;
  // Names by their place in `points` (a heap block per name in a set was
  // 40 % of reading a million points).
  NameIndex names([&points](std::size_t at) { return std::string_view(points[at].name); });
  std::string_view line;
  EllipsoidalPoint point;
  while (reader.next(line)) {
    const std::string_view data = trimBlanks(dataPart(line));
    if (data.empty() || sectionLine(data, kind)) continue;
    if (parse(data, kind, dms, library, point)) {
      if (names.FindOrAdd(point.name, points.size()) >= 0 && notes.duplicates++ == 0) notes.firstDuplicate = point.name;
      points.push_back(std::move(point));
    } else if (notes.unreadable++ == 0) {
      notes.firstUnreadableLine = reader.lineNumber();
    }
  }
  return 1;
}

}  // namespace

int ReadEllipsoidalSource(const std::filesystem::path& path, bool dms, ProjectionLibrary& library,
                          EllipsoidalPointList& points, PointFileNotes& notes) {
  return readPoints(path, dms, library, Kind::Full, [](std::string_view, Kind&) { return false; }, points, notes);
}

bool ParseEllipsoidalSourceLine(std::string_view data, bool dms, ProjectionLibrary& library, EllipsoidalPoint& point) {
  return parse(trimBlanks(data), Kind::Full, dms, library, point);
}

int ReadEllipsoidalTarget(const std::filesystem::path& path, bool dms, ProjectionLibrary& library,
                          EllipsoidalPointList& points, PointFileNotes& notes) {
  // Data lines before the first section line fit no layout.
  return readPoints(
      path, dms, library, Kind::None,
      [](std::string_view data, Kind& kind) {
        if (data == "/3D") kind = Kind::Full;
        else if (data == "/2D") kind = Kind::Position;
        else if (data == "/1D") kind = Kind::Height;
        else return false;
        return true;
      },
      points, notes);
}

}  // namespace pelmar
