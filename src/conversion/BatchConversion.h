#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "points/PointRunCounts.h"
#include "conversion/ProjectionOptions.h"
#include "settings/EllipsoidDatabase.h"
#include "settings/GeneralSettings.h"

namespace pelmar {

class JobHost;

// Which option dialog a conversion shows before it runs.
enum class ConversionDialog { None, CentralMeridian, AustrianMeridian, Lambert, Soldner, SoldnerBaden, Mercator };

// How a conversion's points are written, in its input or its output file.
enum class PointForm {
  Geographic,  // name B L [h], or name d m s d m s [h] (FormatGeog 1)
  Plane,       // name E N [h]
  Utm,         // name zone band E N [h] (FormatUTM 0), or as Plane
  Cartesian,   // name X Y Z
};

// The ellipsoid a national system fixes, whatever the settings name.
enum class FixedEllipsoid { None, Bessel, Grs80 };

// What an inverse conversion makes of a file whose every point lies within
// ±360 of 0, as geographic degrees fed to it by mistake would.
enum class DegreesAsInput {
  Refused,  // impossible in the system: its false origin keeps every point far from 0
  Told,     // possible near the origin of a system without one: converted, with a notice
  // Gauss–Krüger and UTM: refused where the meridian follows each point (or
  // the UTM zone columns give it), told with a fixed meridian, whose
  // eastings come near 0 about 500 km west of it.
  RefusedUnlessFixedMeridian,
};

struct ConversionJob;
class ProjectionLibrary;

// One point on its way through a conversion: what the line held and what
// the conversion made of it.
struct ConversionPoint {
  double v1 = 0.0, v2 = 0.0, v3 = 0.0;  // B L h, E N h or X Y Z as read
  int zone = 0;                          // UTM zone form
  char letter = '\0';
  double o1 = 0.0, o2 = 0.0, o3 = 0.0;  // results; o3 is h passed through
  int outZone = 0;
  char outLetter = '\0';
};

struct ConversionInfo;
// A setting a conversion cannot use: its name ("LambertSettings.Version"),
// its value and the range it must lie in; an empty name when all are usable.
struct SettingProblem {
  std::string setting, value, range;
};
// Checks the conversion's settings and hands them to the library, in the
// library's order.
using ConversionSetup = SettingProblem (*)(ProjectionLibrary&, const ConversionJob&, const ConversionInfo&);
// Converts one point; returns the library's status.
using ConversionCall = int (*)(ProjectionLibrary&, const ConversionJob&, const ConversionInfo&, ConversionPoint&);

// One of the thirty conversions: forward codes 1000–1014 (geographic to a
// projection or to cartesian), their inverses 2000–2014. A row carries all
// that a run needs: a new conversion is one row.
struct ConversionInfo {
  int code;
  const char* name;    // for the command line
  int labelId;         // tree label
  int captionId;       // progress caption
  ConversionDialog dialog;
  int caseNumber;      // GK case, Lambert case or Swiss case
  PointForm input;
  PointForm output;
  FixedEllipsoid ellipsoid;
  ConversionSetup setup;  // nullptr: nothing to set
  ConversionCall convert;
  // Inverse conversions only: a geographic input is always refused when every
  // point has a value beyond ±360.
  DegreesAsInput degrees = DegreesAsInput::Refused;
};

const std::vector<ConversionInfo>& Conversions();
// By code, or by name; nullptr when there is no such conversion.
const ConversionInfo* FindConversion(int code);
const ConversionInfo* FindConversion(std::string_view name);

// What a conversion run works with: the files, a copy of the general
// settings (decimals and formats), the ellipsoid chosen in the settings and
// the values of the option dialogs.
struct ConversionJob {
  std::filesystem::path inputPath;
  std::filesystem::path outputPath;
  GeneralSettings settings;
  EllipsoidRecord ellipsoid;
  CentralMeridianOptions centralMeridian;
  AustrianMeridianOptions austrianMeridian;
  LambertOptions lambert;  // the user-defined case
  SoldnerOptions soldner;  // ordinary or Baden values, as the dialog gave them
  bool greenwich = false;  // Soldner Baden: the file's longitudes count from Greenwich
  MercatorOptions mercator;
};

// Points left out are those outside the projection's domain. `ellipsoid` is
// the one the run computed on.
struct ConversionResult : PointRunCounts {
  EllipsoidRecord ellipsoid;
};

// The ellipsoid a conversion computes on: the one its national system fixes
// ("Bessel 1841", "GRS80"), else `chosen` (the settings' or --ellipsoid).
EllipsoidRecord ConversionEllipsoid(const ConversionInfo& conversion, const EllipsoidRecord& chosen);

// Converts the input file line by line into the output file. Lines that do
// not parse are skipped, counted and the first told with its line number
// (1330; when no data line could be read at all the run fails); points the
// projection library refuses are left out and counted, and the run ends
// with a message naming how many and the first.
// Returns false when a file could not be opened or written (told through `host`).
bool RunConversion(const ConversionInfo& conversion, const ConversionJob& job, ProjectionLibrary& library,
                   JobHost& host, ConversionResult* result = nullptr);

// Fixed ellipsoids of the national systems (metres).
inline constexpr double kBesselA = 6377397.15508, kBesselB = 6356078.9629;
// GRS80: a and 1/f = 298.257222101 (b to the 0.1 µm; 6356752.3142 is WGS84's
// rounded b and gave 1/f = 298.257222933).
inline constexpr double kGrs80A = 6378137.0, kGrs80B = 6356752.314140356;

}  // namespace pelmar
