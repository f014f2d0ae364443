#include "conversion/BatchConversion.h"

#include <cctype>
#include <cmath>
#include <memory>
#include <tuple>

#include "app/JobHost.h"
#include "app/StringIds.h"
#include "conversion/DmsInput.h"
#include "conversion/ProjectionLibrary.h"
#include "io/FileAccess.h"
#include "io/OutputFile.h"
#include "points/LineBatches.h"
#include "points/LineFormatters.h"
#include "points/PointFile.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"
#include "text/MessageFormat.h"

namespace pelmar {

namespace {

using D = ConversionDialog;
using F = PointForm;
using E = FixedEllipsoid;
using L = ProjectionLibrary;
using J = ConversionJob;
using C = ConversionInfo;
using P = ConversionPoint;

bool zoneForm(const J& job) { return job.settings.formatUtm == 0; }

// --- What each conversion hands to the library before its first point -----

std::string text(double value) { return formatMessage("%s", {value}); }

// A central meridian within ±180°.
SettingProblem checkMeridian(const char* setting, double value) {
  if (std::isfinite(value) && std::fabs(value) <= 180.0) return {};
  return {setting, text(value), "-180…180"};
}

// Degrees, minutes and seconds of a dialog: whole minutes below 60, seconds
// below 60, the angle within `limit` degrees.
SettingProblem checkDms(const std::string& prefix, const DmsValue& v, double limit) {
  const double angle = std::fabs(static_cast<double>(v.degrees)) + std::fabs(static_cast<double>(v.minutes)) / 60.0 +
                       std::fabs(v.seconds) / 3600.0;
  if (std::fabs(static_cast<double>(v.minutes)) >= 60.0) return {prefix + "Minuten", text(v.minutes), "-59…59"};
  if (!(std::fabs(v.seconds) < 60.0)) return {prefix + "Sekunden", text(v.seconds), "< 60"};
  if (!(angle <= limit)) return {prefix + "Grad", text(v.degrees), "-" + text(limit) + "…" + text(limit)};
  return {};
}

SettingProblem setupTransverseMercator(L& library, const J& job, const C& conversion) {
  const bool austria = conversion.dialog == D::AustrianMeridian;
  if (SettingProblem p = austria ? checkMeridian("L0AustriaSettings.L0Austria", job.austrianMeridian.L0Austria)
                                 : checkMeridian("L0Settings.L0", job.centralMeridian.L0);
      !p.setting.empty()) {
    return p;
  }
  library.SetL0(austria ? job.austrianMeridian.L0Austria : job.centralMeridian.L0);
  library.SetL0Auto((austria ? job.austrianMeridian.L0AustriaAuto : job.centralMeridian.L0Auto) != 0 ? 1 : 0);
  library.SetGKCase(conversion.caseNumber);
  return {};
}

SettingProblem setupUtm(L& library, const J& job, const C&) {
  if (SettingProblem p = checkMeridian("L0Settings.L0", job.centralMeridian.L0); !p.setting.empty()) return p;
  library.SetL0(job.centralMeridian.L0);
  library.SetL0Auto(job.centralMeridian.L0Auto != 0 ? 1 : 0);
  return {};
}

SettingProblem setupLambert(L& library, const J& job, const C& conversion) {
  if (conversion.caseNumber > 0) {
    library.SetLambCase(conversion.caseNumber);
    return {};
  }
  const LambertOptions& o = job.lambert;
  if (o.version != 0 && o.version != 1) return {"LambertSettings.Version", text(o.version), "0, 1"};
  for (const auto& [prefix, value, limit] : {std::tuple{"LambertSettings.BSued", &o.south, 90.0},
                                             std::tuple{"LambertSettings.BNord", &o.north, 90.0},
                                             std::tuple{"LambertSettings.L0", &o.meridian, 180.0}}) {
    if (SettingProblem p = checkDms(prefix, *value, limit); !p.setting.empty()) return p;
  }
  double north = 0.0, south = 0.0, meridian = 0.0;
  library.GMSDEZ(o.north.degrees, o.north.minutes, o.north.seconds, north);
  library.GMSDEZ(o.south.degrees, o.south.minutes, o.south.seconds, south);
  library.GMSDEZ(o.meridian.degrees, o.meridian.minutes, o.meridian.seconds, meridian);
  if (o.version == 0) north = south;  // one standard parallel
  library.SetLambCase(0);
  library.SetLambType(o.version);
  library.SetBNord(north);
  library.SetBSued(south);
  library.SetL0(meridian);
  library.SetFalseNorth(o.falseNorth);
  library.SetFalseEast(o.falseEast);
  return {};
}

SettingProblem setupSoldner(L& library, const J& job, const C&) {
  const SoldnerOptions& o = job.soldner;  // ordinary or Baden, as the dialog gave them
  if (SettingProblem p = checkDms("SoldnerSettings.B0", o.origin, 90.0); !p.setting.empty()) return p;
  if (SettingProblem p = checkDms("SoldnerSettings.L0", o.meridian, 360.0); !p.setting.empty()) return p;
  double b0 = 0.0, l0 = 0.0;
  library.GMSDEZ(o.origin.degrees, o.origin.minutes, o.origin.seconds, b0);
  library.GMSDEZ(o.meridian.degrees, o.meridian.minutes, o.meridian.seconds, l0);
  library.SetB0(b0);
  library.SetL0(l0);
  library.SetFalseNorth(o.falseNorth);
  library.SetFalseEast(o.falseEast);
  return {};
}

SettingProblem setupMercator(L& library, const J& job, const C&) {
  if (SettingProblem p = checkMeridian("MercatorSettings.L0", job.mercator.L0); !p.setting.empty()) return p;
  library.SetL0(job.mercator.L0);
  return {};
}

// --- The per-point calls -----------------------------------------------------

// A plane projection's pair of calls, forward and inverse.
template <int (L::*Forward)(double, double, double&, double&), int (L::*Inverse)(double, double, double&, double&)>
struct Plane {
  static int forward(L& library, const J&, const C&, P& p) { return (library.*Forward)(p.v1, p.v2, p.o1, p.o2); }
  static int inverse(L& library, const J&, const C&, P& p) { return (library.*Inverse)(p.v1, p.v2, p.o1, p.o2); }
};
using GaussKrueger = Plane<&L::BL_to_EN_GK, &L::EN_to_BL_GK>;
using Lambert = Plane<&L::BL_to_EN_Lambert, &L::EN_to_BL_Lambert>;
using Soldner = Plane<&L::BL_to_EN_Soldner, &L::EN_to_BL_Soldner>;
using Mercator = Plane<&L::BL_to_EN_Mercator, &L::EN_to_BL_Mercator>;
using Eov = Plane<&L::BL_to_EN_EOV, &L::EN_to_BL_EOV>;

template <int (L::*Call)(double, double, double, double&, double&, double&)>
int spatial(L& library, const J&, const C&, P& p) {
  return (library.*Call)(p.v1, p.v2, p.v3, p.o1, p.o2, p.o3);
}

int utmForward(L& library, const J& job, const C&, P& p) {
  return zoneForm(job) ? library.BL_to_EN_UTM_With_Zone(p.v1, p.v2, p.o1, p.o2, p.outZone, p.outLetter)
                       : library.BL_to_EN_UTM_Raw(p.v1, p.v2, p.o1, p.o2);
}
int utmInverse(L& library, const J& job, const C&, P& p) {
  return zoneForm(job) ? library.EN_to_BL_UTM_With_Zone(p.v1, p.v2, p.zone, p.letter, p.o1, p.o2)
                       : library.EN_to_BL_UTM_Raw(p.v1, p.v2, p.o1, p.o2);
}
// Soldner Baden counts longitudes from Ferro; with "greenwich" the file's
// count from Greenwich.
int badenForward(L& library, const J& job, const C&, P& p) {
  return library.BL_to_EN_SoldnerBaden(p.v1, job.greenwich ? p.v2 + kFerroOffset : p.v2, p.o1, p.o2);
}
int badenInverse(L& library, const J& job, const C&, P& p) {
  const int status = library.EN_to_BL_SoldnerBaden(p.v1, p.v2, p.o1, p.o2);
  if (job.greenwich) p.o2 -= kFerroOffset;
  return status;
}
int swissForward(L& library, const J&, const C& conversion, P& p) {
  return library.BL_to_EN_Switzerland_Conformal_DoubleProjection(p.v1, p.v2, p.o1, p.o2, conversion.caseNumber);
}
int swissInverse(L& library, const J&, const C& conversion, P& p) {
  return library.EN_to_BL_Switzerland_Conformal_DoubleProjection(p.v1, p.v2, p.o1, p.o2, conversion.caseNumber);
}

// The conversions: labels, captions, dialog, case, forms, fixed ellipsoid
// and calls.
const std::vector<ConversionInfo> kConversions = {
    {1000, "geo-gk", str::LabelGeoGk, str::LabelGeoGk, D::CentralMeridian, 0, F::Geographic, F::Plane, E::None,
     setupTransverseMercator, GaussKrueger::forward},
    {2000, "gk-geo", str::LabelGkGeo, str::LabelGkGeo, D::CentralMeridian, 0, F::Plane, F::Geographic, E::None,
     setupTransverseMercator, GaussKrueger::inverse,
     DegreesAsInput::RefusedUnlessFixedMeridian},
    {1001, "geo-utm", str::LabelGeoUtm, str::LabelGeoUtm, D::CentralMeridian, 0, F::Geographic, F::Utm, E::None,
     setupUtm, utmForward},
    {2001, "utm-geo", str::LabelUtmGeo, str::LabelUtmGeo, D::CentralMeridian, 0, F::Utm, F::Geographic, E::None,
     setupUtm, utmInverse,
     DegreesAsInput::RefusedUnlessFixedMeridian},
    {1002, "geo-lambert", str::LabelGeoLambert, str::LabelGeoLambert, D::Lambert, 0, F::Geographic, F::Plane,
     E::None, setupLambert, Lambert::forward},
    {2002, "lambert-geo", str::LabelLambertGeo, str::LabelLambertGeo, D::Lambert, 0, F::Plane, F::Geographic,
     E::None, setupLambert, Lambert::inverse, DegreesAsInput::Told},
    {1003, "geo-lambert-est97", str::LabelGeoEstonia, str::LabelGeoLambert, D::Lambert, 1, F::Geographic, F::Plane,
     E::Grs80, setupLambert, Lambert::forward},
    {2003, "lambert-est97-geo", str::LabelEstoniaGeo, str::LabelLambertGeo, D::Lambert, 1, F::Plane, F::Geographic,
     E::Grs80, setupLambert, Lambert::inverse},
    {1004, "geo-lambert-be2005", str::LabelGeoBelgium, str::LabelGeoLambert, D::Lambert, 2, F::Geographic, F::Plane,
     E::Grs80, setupLambert, Lambert::forward},
    {2004, "lambert-be2005-geo", str::LabelBelgiumGeo, str::LabelLambertGeo, D::Lambert, 2, F::Plane, F::Geographic,
     E::Grs80, setupLambert, Lambert::inverse},
    {1005, "geo-soldner", str::LabelGeoSoldner, str::LabelGeoSoldner, D::Soldner, 0, F::Geographic, F::Plane,
     E::None, setupSoldner, Soldner::forward},
    {2005, "soldner-geo", str::LabelSoldnerGeo, str::LabelSoldnerGeo, D::Soldner, 0, F::Plane, F::Geographic,
     E::None, setupSoldner, Soldner::inverse, DegreesAsInput::Told},
    {1006, "geo-mercator", str::LabelGeoMercator, str::LabelGeoMercator, D::Mercator, 0, F::Geographic, F::Plane,
     E::None, setupMercator, Mercator::forward},
    {2006, "mercator-geo", str::LabelMercatorGeo, str::LabelMercatorGeo, D::Mercator, 0, F::Plane, F::Geographic,
     E::None, setupMercator, Mercator::inverse, DegreesAsInput::Told},
    {1007, "geo-xyz", str::LabelGeoXyz, str::LabelGeoXyz, D::None, 0, F::Geographic, F::Cartesian, E::None, nullptr,
     spatial<&L::BLH_to_XYZ>},
    {2007, "xyz-geo", str::LabelXyzGeo, str::LabelXyzGeo, D::None, 0, F::Cartesian, F::Geographic, E::None, nullptr,
     spatial<&L::XYZ_to_BLH>},
    {1008, "geo-eov", str::LabelGeoEov, str::LabelGeoEov, D::None, 0, F::Geographic, F::Plane, E::None, nullptr,
     Eov::forward},
    {2008, "eov-geo", str::LabelEovGeo, str::LabelEovGeo, D::None, 0, F::Plane, F::Geographic, E::None, nullptr,
     Eov::inverse},
    {1009, "geo-lambert93", str::LabelGeoFrance, str::LabelGeoLambert, D::Lambert, 3, F::Geographic, F::Plane,
     E::Grs80, setupLambert, Lambert::forward},
    {2009, "lambert93-geo", str::LabelFranceGeo, str::LabelLambertGeo, D::Lambert, 3, F::Plane, F::Geographic,
     E::Grs80, setupLambert, Lambert::inverse},
    {1010, "geo-gk-austria", str::LabelGeoAustria, str::LabelGeoGk, D::AustrianMeridian, 4, F::Geographic, F::Plane,
     E::Bessel, setupTransverseMercator, GaussKrueger::forward},
    {2010, "gk-austria-geo", str::LabelAustriaGeo, str::LabelGkGeo, D::AustrianMeridian, 4, F::Plane, F::Geographic,
     E::Bessel, setupTransverseMercator, GaussKrueger::inverse, DegreesAsInput::Told},
    {1011, "geo-lv03", str::LabelGeoLv03, str::LabelGeoMap, D::None, 0, F::Geographic, F::Plane, E::Bessel, nullptr,
     swissForward},
    {2011, "lv03-geo", str::LabelLv03Geo, str::LabelMapGeo, D::None, 0, F::Plane, F::Geographic, E::Bessel, nullptr,
     swissInverse},
    {1012, "geo-lv95", str::LabelGeoLv95, str::LabelGeoMap, D::None, 1, F::Geographic, F::Plane, E::Bessel, nullptr,
     swissForward},
    {2012, "lv95-geo", str::LabelLv95Geo, str::LabelMapGeo, D::None, 1, F::Plane, F::Geographic, E::Bessel, nullptr,
     swissInverse},
    {1013, "geo-xyz-ellipsoidal", str::LabelGeoXyzEllipsoidal, str::LabelGeoXyz, D::None, 0, F::Geographic,
     F::Cartesian, E::None, nullptr, spatial<&L::EllipsoidalCoordinates_to_XYZ>},
    {2013, "xyz-ellipsoidal-geo", str::LabelXyzEllipsoidalGeo, str::LabelXyzGeo, D::None, 0, F::Cartesian,
     F::Geographic, E::None, nullptr, spatial<&L::XYZ_to_EllipsoidalCoordinates>},
    {1014, "geo-soldner-baden", str::LabelGeoBaden, str::LabelGeoMap, D::SoldnerBaden, 0, F::Geographic, F::Plane,
     E::None, setupSoldner, badenForward},
    {2014, "soldner-baden-geo", str::LabelBadenGeo, str::LabelMapGeo, D::SoldnerBaden, 0, F::Plane, F::Geographic,
     E::None, setupSoldner, badenInverse, DegreesAsInput::Told},
};

// How a line is read.
enum class InputForm { Geographic, Projected, Cartesian, UtmZone };

// One point of a line: what the line held, and what the conversion made of it.
struct BatchPoint {
  bool hasHeight = false;
  // Degrees, minutes and seconds as read (FormatGeog 1).
  double bd = 0.0, bm = 0.0, bs = 0.0, ld = 0.0, lm = 0.0, ls = 0.0;
  ConversionPoint point;
};

// The mark of a point whose values could be geographic degrees.
constexpr std::uint8_t kLooksLikeDegrees = 1;

// The most points a run to standard output holds back while its direction
// is undecided (about 10 MB).
constexpr std::size_t kHeldAtMost = std::size_t{1} << 16;

// The latitude bands of UTM, C to X without I and O.
constexpr const char* kUtmBands = "CDEFGHJKLMNPQRSTUVWX";

// Reads a line by its form; false when it does not parse.
bool parseLine(std::string_view data, InputForm form, bool dms, bool heightRequired, std::string_view& name,
               BatchPoint& p) {
  switch (form) {
    case InputForm::Geographic:
      if (dms) {
        const int n = scanFields(data, name, p.bd, p.bm, p.bs, p.ld, p.lm, p.ls, p.point.v3);
        if (n != 8 && (n != 7 || heightRequired)) return false;
        if (!ValidDms(p.bd, p.bm, p.bs) || !ValidDms(p.ld, p.lm, p.ls)) return false;
        p.hasHeight = n == 8;
        return true;
      }
      [[fallthrough]];
    case InputForm::Projected: {
      const int n = scanFields(data, name, p.point.v1, p.point.v2, p.point.v3);
      if (n != 4 && (n != 3 || heightRequired)) return false;
      p.hasHeight = n == 4;
      return true;
    }
    case InputForm::Cartesian:
      p.hasHeight = true;
      return scanFields(data, name, p.point.v1, p.point.v2, p.point.v3) == 4;
    case InputForm::UtmZone: {
      std::string_view token;
      const int n = scanFields(data, name, p.point.zone, token, p.point.v1, p.point.v2, p.point.v3);
      if (n != 6 && n != 5) return false;
      p.point.letter = token.front();  // "North" passes "N"
      // A zone or band no UTM point has is the line's fault: the library
      // takes it for refused parameters, which ended the whole run.
      const char band = static_cast<char>(std::toupper(static_cast<unsigned char>(p.point.letter)));
      if (p.point.zone < 1 || p.point.zone > 60 || std::string_view(kUtmBands).find(band) == std::string_view::npos) {
        return false;
      }
      p.hasHeight = n == 6;
      return true;
    }
  }
  return false;
}

// The words of a line that parseLine read: the name and the values.
int wordsRead(InputForm form, bool dms, const BatchPoint& p) {
  const int height = p.hasHeight ? 1 : 0;
  switch (form) {
    case InputForm::Geographic: return dms ? 7 + height : 3 + height;
    case InputForm::Projected: return 3 + height;
    case InputForm::Cartesian: return 4;
    case InputForm::UtmZone: return 5 + height;
  }
  return 1;
}

// Whether a point's values could be geographic degrees: the first two within
// ±360. A cartesian point must also lie deep inside the earth (|Z| below
// 6000 km): X and Y within 360 m are otherwise a point on the polar axis,
// which a station at a pole may well be.
bool looksLikeDegrees(PointForm form, const ConversionPoint& p) {
  const bool small = std::fabs(p.v1) <= 360.0 && std::fabs(p.v2) <= 360.0;
  return form == PointForm::Cartesian ? small && std::fabs(p.v3) < 6.0e6 : small;
}

// How `conversion` treats a file of degrees with the job's settings.
DegreesAsInput degreesRule(const C& conversion, const J& job) {
  if (conversion.degrees != DegreesAsInput::RefusedUnlessFixedMeridian) return conversion.degrees;
  const bool meridianOfEachPoint =
      (conversion.input == F::Utm && zoneForm(job)) || job.centralMeridian.L0Auto != 0;
  return meridianOfEachPoint ? DegreesAsInput::Refused : DegreesAsInput::Told;
}

}  // namespace

const std::vector<ConversionInfo>& Conversions() { return kConversions; }

const ConversionInfo* FindConversion(int code) {
  for (const ConversionInfo& c : kConversions) {
    if (c.code == code) return &c;
  }
  return nullptr;
}

const ConversionInfo* FindConversion(std::string_view name) {
  for (const ConversionInfo& c : kConversions) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

EllipsoidRecord ConversionEllipsoid(const ConversionInfo& conversion, const EllipsoidRecord& chosen) {
  switch (conversion.ellipsoid) {
    case FixedEllipsoid::None: break;
    case FixedEllipsoid::Bessel: return {"Bessel 1841", kBesselA, kBesselB};
    case FixedEllipsoid::Grs80: return {"GRS80", kGrs80A, kGrs80B};
  }
  return chosen;
}

namespace {

// How a run reads and writes its lines, fixed before the first point.
struct LineForms {
  InputForm input = InputForm::Projected;
  bool dmsInput = false;        // geographic input in degrees, minutes, seconds
  bool heightRequired = false;  // a cartesian output needs the height
  PointForm output = PointForm::Plane;
  bool dmsOutput = false;
  bool zoneOutput = false;      // UTM with zone and band columns
  bool keepRest = false;        // the rest of each line after the results
  int geographicDecimals = 6, cartesianDecimals = 3;
};

LineForms lineFormsOf(const C& conversion, const J& job) {
  LineForms forms;
  switch (conversion.input) {
    case PointForm::Geographic: forms.input = InputForm::Geographic; break;
    case PointForm::Plane: forms.input = InputForm::Projected; break;
    case PointForm::Utm: forms.input = zoneForm(job) ? InputForm::UtmZone : InputForm::Projected; break;
    case PointForm::Cartesian: forms.input = InputForm::Cartesian; break;
  }
  const bool dms = job.settings.formatGeographic != 0;
  forms.dmsInput = dms && forms.input == InputForm::Geographic;
  forms.keepRest = job.settings.keepRest != 0;
  forms.heightRequired = conversion.output == PointForm::Cartesian;
  forms.output = conversion.output;
  forms.dmsOutput = dms && conversion.output == PointForm::Geographic;
  forms.zoneOutput = conversion.output == PointForm::Utm && zoneForm(job);
  forms.geographicDecimals = job.settings.decimalsGeographic;
  forms.cartesianDecimals = job.settings.decimalsCartesian;
  return forms;
}

// Whether the run can start at all: the library, and raw UTM eastings,
// which carry no zone: with the meridian following each point on the way
// out, the way back has no meridian to use (it took the stored one, 0°, and
// put Berlin at −1.6°). `rawAutomaticUtm` says whether the output is such.
bool RunCanStart(const C& conversion, const J& job, const L& library, JobHost& host, bool& rawAutomaticUtm) {
  if (!library.usable()) {
    host.message(str::ProjectionLibraryMissing);
    return false;
  }
  rawAutomaticUtm = (conversion.input == PointForm::Utm || conversion.output == PointForm::Utm) && !zoneForm(job) &&
                    job.centralMeridian.L0Auto != 0;
  if (rawAutomaticUtm && conversion.input == PointForm::Utm) {
    host.message(str::UtmZoneNeeded);
    return false;
  }
  return true;
}

// The ellipsoid (the settings' or the one a national system fixes), the
// progress bar and the conversion's settings, handed to the library before
// the first point. False, told, when a setting cannot be used: a Lambert
// "Version" of 5 or a Soldner origin at 100° made every point "outside the
// domain" and the run a success.
bool SetUpLibrary(const C& conversion, const J& job, L& library, JobHost& host, EllipsoidRecord& ellipsoid) {
  ellipsoid = ConversionEllipsoid(conversion, job.ellipsoid);
  if (conversion.ellipsoid != FixedEllipsoid::None) {
    host.message(conversion.ellipsoid == FixedEllipsoid::Bessel ? str::NoticeBessel : str::NoticeGrs80);
  }
  library.SetEllipDim(ellipsoid.a, ellipsoid.b);
  // The counting pass sizes the bar, and is skipped when nobody sees one.
  if (host.showsProgress()) {
    const std::int64_t count = CountDataLines(job.inputPath);
    if (count < 0) {
      host.message(str::InputNotOpened, {job.inputPath.string()});
      return false;
    }
    host.setProgressText(host.text(conversion.captionId));
    host.setProgressRange(count);
  }
  if (conversion.setup == nullptr) return true;
  const SettingProblem problem = conversion.setup(library, job, conversion);
  if (problem.setting.empty()) return true;
  host.endProgress();
  host.message(str::SettingUnusable, {problem.setting, problem.value, problem.range});
  return false;
}

// The output line of one converted point.
void FormatConverted(std::string& text, std::string_view name, const BatchPoint& p, const LineForms& forms) {
  const int g = forms.geographicDecimals, k = forms.cartesianDecimals;
  const ConversionPoint& q = p.point;
  const bool cartesianOutput = forms.output == PointForm::Cartesian;
  const bool withHeight = cartesianOutput || p.hasHeight;
  if (cartesianOutput) {
    FormatPointLine3(text, name, q.o1, q.o2, q.o3, k);
  } else if (forms.dmsOutput) {
    // Rounded to the printed decimals before the split: never "60.000".
    const DmsAngle b = SplitDegrees(q.o1, g), l = SplitDegrees(q.o2, g);
    withHeight ? FormatPointLineDms2H(text, name, b, l, q.o3, g, k) : FormatPointLineDms2(text, name, b, l, g);
  } else if (forms.output == PointForm::Geographic) {
    withHeight ? FormatPointLine3H(text, name, q.o1, q.o2, q.o3, g, k) : FormatPointLine2(text, name, q.o1, q.o2, g);
  } else if (forms.zoneOutput) {
    withHeight ? FormatUtmLine3(text, name, q.outZone, q.outLetter, q.o1, q.o2, q.o3, k)
               : FormatUtmLine2(text, name, q.outZone, q.outLetter, q.o1, q.o2, k);
  } else {
    withHeight ? FormatPointLine3(text, name, q.o1, q.o2, q.o3, k) : FormatPointLine2(text, name, q.o1, q.o2, k);
  }
}

// The names of the written columns, for a delimited output's first line.
std::string columnsOf(const LineForms& forms) {
  if (forms.output == PointForm::Cartesian) return "name X Y Z";
  if (forms.output == PointForm::Geographic) return GeographicColumns(forms.dmsOutput);
  return forms.zoneOutput ? "name zone band E N h" : "name E N h";
}

// Whether every point read looks like degrees, and whether none does: a
// file in the wrong direction (degrees to an inverse, eastings to a forward
// conversion) gave garbage or nothing and was called a success.
struct DirectionCheck {
  bool forward;
  DegreesAsInput rule;
  bool allDegrees = true, noDegrees = true;

  void see(bool degrees) {
    allDegrees = allDegrees && degrees;
    noDegrees = noDegrees && !degrees;
  }
  // Whether the points so far would have the run refused for its direction.
  bool refusable() const { return forward ? noDegrees : allDegrees && rule == DegreesAsInput::Refused; }
  // An inverse conversion's points all within ±360 where that is possible.
  bool toldOnly() const { return !forward && allDegrees && rule == DegreesAsInput::Told; }
};

// Converts one point in place; returns the library's status, with a result
// no file should hold (the library's NaN, an overflow) outside the domain.
int ConvertPoint(const C& conversion, const J& job, L& library, const LineForms& forms, BatchPoint& p) {
  ConversionPoint& q = p.point;
  if (forms.dmsInput) {
    JoinDms(library, p.bd, p.bm, p.bs, q.v1);  // parseLine has checked the angles
    JoinDms(library, p.ld, p.lm, p.ls, q.v2);
  }
  q.o3 = q.v3;
  const int status = conversion.convert(library, job, conversion, q);
  const bool height = p.hasHeight || conversion.output == PointForm::Cartesian;
  if (status == VIV_OK && !Writable(q.o1, q.o2, height ? q.o3 : 0.0)) return VIV_OUTSIDE_DOMAIN;
  return status;
}

// The computing stage, on a worker with its own binding of the library:
// every line of the batch read, converted and formatted.
void ConvertBatch(const C& conversion, const J& job, L& library, const LineForms& forms, LineBatch& batch) {
  BatchResults& results = batch.results;
  // A line naming the columns Y X Z before the first point.
  const bool swapped = batch.swappedAxes && forms.input == InputForm::Cartesian;
  std::string text;
  for (const LineBatch::Line& line : batch.lines) {
    const std::string_view data = batch.data(line);
    std::string_view name;
    BatchPoint p;
    if (!parseLine(data, forms.input, forms.dmsInput, forms.heightRequired, name, p)) {
      results.unreadable(line.number);
      continue;
    }
    if (swapped) std::swap(p.point.v1, p.point.v2);
    const int status = ConvertPoint(conversion, job, library, forms, p);
    const std::uint8_t flags = looksLikeDegrees(conversion.input, p.point) ? kLooksLikeDegrees : 0;
    if (status == VIV_BAD_PARAMETERS) {
      // The library refuses the parameters themselves (parallels no cone
      // can have, an ellipsoid it cannot use): no point can come.
      results.stop(line.number, flags);
    } else if (status != VIV_OK) {
      // Outside the projection's domain: never a NaN line in the file.
      results.leftOut(line.number, name, flags);
    } else {
      FormatConverted(text, name, p, forms);
      if (forms.keepRest) AppendRest(text, RestAfterWords(data, wordsRead(forms.input, forms.dmsInput, p)));
      results.output += text;
      results.wrote(line.number, flags);
    }
  }
}

// What the delivering stage ends with.
struct ConvertedRun {
  ConversionResult counts;
  DirectionCheck direction;
  bool cancelled = false, parametersRefused = false, failed = false, refused = false;
};

// The delivering stage, on the calling thread (the host belongs to it): the
// converted batches in file order, counted, shown and written.
class ConversionDelivery {
 public:
  ConversionDelivery(const C& conversion, const J& job, JobHost& host, OutputFile& output)
      : host_(host),
        output_(output),
        holdBack_(job.outputPath == "-"),
        run_{{}, {conversion.input == PointForm::Geographic, degreesRule(conversion, job)}} {}

  // False when the run stops: cancelled, its parameters refused, or its
  // direction refused on what is held back.
  bool operator()(BatchResults& results) {
    ConversionResult& counts = run_.counts;
    counts.linesRead += static_cast<std::int64_t>(results.items.size());
    std::size_t points = 0;
    for (const ItemResult& item : results.items) {
      if (item.outcome == ItemOutcome::Unreadable) Tally(counts, results, item);
    }
    for (const ItemResult& item : results.items) {
      if (item.outcome == ItemOutcome::Unreadable) continue;
      ++points;
      // Asked between points; the rest of the batch goes nowhere.
      if ((run_.cancelled = host_.cancelled())) return false;
      host_.stepProgress();
      run_.direction.see((item.flags & kLooksLikeDegrees) != 0);
      if ((run_.parametersRefused = item.outcome == ItemOutcome::Stop)) return false;
      Tally(counts, results, item);
    }
    // Standard output cannot be taken back: while the run may still be
    // refused, its converted batches wait here (a refused run had streamed
    // every point before saying that nothing was written). Memory stays
    // bounded: a stream whose first kHeldAtMost points all point the wrong
    // way is refused on them (an endless one held everything until memory
    // ran out).
    if (holdBack_ && run_.direction.refusable()) {
      heldPoints_ += points;
      held_.push_back(std::move(results));
      return !(run_.refused = heldPoints_ >= kHeldAtMost);
    }
    writeHeld();
    write(results);
    return true;
  }

  // After the last batch: the run refused for its direction, or what is
  // held back written.
  ConvertedRun finish(const PipelineEnd& end) {
    run_.failed = end.failed;
    const ConversionResult& counts = run_.counts;
    run_.refused = run_.refused || (counts.linesRead > counts.linesUnreadable && run_.direction.refusable());
    if (!end.failed && !run_.cancelled && !run_.parametersRefused && !run_.refused) writeHeld();
    return run_;
  }

 private:
  void write(const BatchResults& results) {
    output_.write(results.output);
    run_.counts.pointsWritten += results.written;
  }
  void writeHeld() {
    for (const BatchResults& results : held_) write(results);
    held_.clear();
  }

  JobHost& host_;
  OutputFile& output_;
  bool holdBack_;
  ConvertedRun run_;
  std::vector<BatchResults> held_;
  std::size_t heldPoints_ = 0;
};

// The end of a run whose stages have stopped: the output committed, or
// refused with its reason, and what the run has to tell.
bool FinishConversion(const C& conversion, const J& job, JobHost& host, OutputFile& output, const ConvertedRun& run,
                      bool readFailed, bool rawAutomaticUtm) {
  const ConversionResult& counts = run.counts;
  // Not committed on any failure: the temporary goes with `output`, the old file stays.
  host.endProgress();
  if (run.parametersRefused) {
    host.message(str::ParametersRefused);
    return false;
  }
  if (run.cancelled) return false;
  if (run.failed) {
    host.message(str::OutputNotCreated, {job.outputPath.string()});
    return false;
  }
  if (readFailed) {
    host.message(str::InputNotOpened, {job.inputPath.string()});
    return false;
  }
  // A file of data lines none of which could be read (decimal commas, say)
  // is no success: the old output stays as it was.
  const bool nothingReadable = counts.linesRead > 0 && counts.linesUnreadable == counts.linesRead;
  if (nothingReadable) {
    host.message(str::LinesUnreadable, {counts.linesUnreadable, job.inputPath.string(), counts.firstUnreadableLine});
    return false;
  }
  const std::string label = host.text(conversion.labelId);
  if (run.refused) {
    host.message(run.direction.forward ? str::MapValuesGivenToForward : str::DegreesGivenToInverse,
                 {job.inputPath.string(), label});
    return false;
  }
  if (!output.commit()) {
    host.message(str::OutputNotCreated, {job.outputPath.string()});
    return false;
  }
  const bool pointsRead = counts.linesRead > counts.linesUnreadable;
  if (pointsRead && run.direction.toldOnly()) {
    host.message(str::DegreesPerhapsGivenToInverse, {job.inputPath.string(), label});
  }
  if (counts.linesUnreadable > 0) {
    host.message(str::LinesUnreadable, {counts.linesUnreadable, job.inputPath.string(), counts.firstUnreadableLine});
  }
  if (counts.pointsLeftOut > 0) host.message(str::PointsLeftOut, {counts.pointsLeftOut, counts.firstLeftOut});
  if (rawAutomaticUtm && counts.pointsWritten > 0) host.message(str::UtmZoneNotWritten);
  return true;
}

}  // namespace

bool RunConversion(const ConversionInfo& conversion, const ConversionJob& job, ProjectionLibrary& library,
                   JobHost& host, ConversionResult* result) {
  bool rawAutomaticUtm = false;
  if (!RunCanStart(conversion, job, library, host, rawAutomaticUtm)) return false;
  if (!CheckDistinctFiles({job.inputPath}, {job.outputPath}, host)) return false;
  LineReader reader(job.inputPath);
  reader.setForm(PointInputForm(job.inputPath));
  OutputFile output;
  if (!OpenStreamedBatch(host, reader, job.inputPath, output, job.outputPath)) return false;
  const LineForms forms = lineFormsOf(conversion, job);
  output.setForm(PointOutputForm(job.outputPath), columnsOf(forms) + (forms.keepRest ? " rest" : ""));
  EllipsoidRecord ellipsoid;
  if (!SetUpLibrary(conversion, job, library, host, ellipsoid)) return false;

  // Every line, in three stages: a reader thread cuts the file into batches
  // of lines, workers read, convert and format them, this thread shows and
  // writes them in file order.
  ConversionDelivery delivery(conversion, job, host, output);
  const PipelineEnd end = StreamLineBatches(
      reader,
      [&]() -> ComputeLines {
        auto own = std::make_shared<ProjectionLibrary>();
        own->OpenShared(library);
        return [&, own](LineBatch& batch) { ConvertBatch(conversion, job, *own, forms, batch); };
      },
      [&](LineBatch& batch) { return delivery(batch.results); });
  ConvertedRun run = delivery.finish(end);
  run.counts.ellipsoid = ellipsoid;
  if (result != nullptr) *result = run.counts;  // what a failed run reached, too
  return FinishConversion(conversion, job, host, output, run, end.readFailed || reader.failed(), rawAutomaticUtm);
}

}  // namespace pelmar
