#include "conversion/ConversionProj.h"

#include <cmath>

#include "conversion/ProjectionLibrary.h"
#include "stored/ProjPipeline.h"

namespace pelmar {

namespace {

double dms(int d, int m, double s) { return d + m / 60.0 + s / 3600.0; }

std::string ellipsoidText(const EllipsoidRecord& e) {
  return " +a=" + ProjNumber(e.a) + " +b=" + ProjNumber(e.b);
}

std::string tmerc(double lon0, double k, double falseEast, double falseNorth) {
  return "+proj=tmerc +lat_0=0 +lon_0=" + ProjNumber(lon0) + " +k=" + ProjNumber(k) + " +x_0=" +
         ProjNumber(falseEast) + " +y_0=" + ProjNumber(falseNorth);
}

std::string somerc(double lat0, double lon0, double k0, double falseEast, double falseNorth) {
  return "+proj=somerc +lat_0=" + ProjNumber(lat0) + " +lon_0=" + ProjNumber(lon0) + " +k_0=" + ProjNumber(k0) +
         " +x_0=" + ProjNumber(falseEast) + " +y_0=" + ProjNumber(falseNorth);
}

// The Austrian meridians M28, M31, M34 and their false eastings; a fixed
// meridian takes the false easting of the nearest.
double austrianFalseEast(double lon0) {
  constexpr double kEastings[3] = {150000.0, 450000.0, 750000.0};
  int best = 0;
  for (int i = 1; i < 3; ++i) {
    if (std::fabs(std::remainder(AustrianMeridianOptions::kMeridians[i] - lon0, 360.0)) <
        std::fabs(std::remainder(AustrianMeridianOptions::kMeridians[best] - lon0, 360.0))) {
      best = i;
    }
  }
  return kEastings[best];
}

const char* const kCassNote =
    "PROJ's cass is a series: it agrees with this exact Cassini-Soldner within 0.1 mm up to about 100 km east or "
    "west of the meridian (80 km at 70 degrees of latitude), and departs by millimetres to centimetres beyond "
    "250 km";

// The forward operation, from the library's parameters as the set-up left them.
ProjOperation forward(const ConversionInfo& conversion, const ConversionJob& job, const ProjectionParameters& p) {
  constexpr const char* kFollows = "the central meridian follows each point (";
  switch (conversion.dialog) {
    case ConversionDialog::CentralMeridian:
      if (conversion.input == PointForm::Utm || conversion.output == PointForm::Utm) {
        if (job.settings.formatUtm == 0) return {"", "each point carries its own UTM zone and band (FormatUTM=0)"};
        if (p.L0Auto != 0) return {"", std::string(kFollows) + "L0Settings.L0Auto=1)"};
        return {tmerc(p.L0, 0.9996, 500000.0, 0.0), ""};
      }
      if (p.L0Auto != 0) return {"", std::string(kFollows) + "L0Settings.L0Auto=1)"};
      return {tmerc(p.L0, 1.0, std::round(p.L0 / 3.0) * 1e6 + 500000.0, 0.0), ""};
    case ConversionDialog::AustrianMeridian:
      if (p.L0Auto != 0) return {"", std::string(kFollows) + "L0AustriaSettings.L0AustriaAuto=1)"};
      return {tmerc(p.L0, 1.0, austrianFalseEast(p.L0), -5000000.0), ""};
    case ConversionDialog::Lambert: {
      // A cone whose parallels lie symmetric about the equator (or the one
      // parallel on it) is flat: Mercator, true to scale on the parallels.
      // PROJ's lcc refuses it.
      const bool own = p.LambCase == 0;
      const double flatParallel = p.LambType == 0 ? p.BSued : p.BNord;
      if (own && (p.LambType == 0 ? p.BSued == 0.0 : p.BNord == -p.BSued)) {
        return {"+proj=merc +lat_ts=" + ProjNumber(std::fabs(flatParallel)) + " +lon_0=" + ProjNumber(p.L0) +
                    " +x_0=" + ProjNumber(p.FalseEast) + " +y_0=" + ProjNumber(p.FalseNorth),
                ""};
      }
      if (own && p.LambType == 0) {
        // One standard parallel, the origin on it with scale 1.
        return {"+proj=lcc +lat_1=" + ProjNumber(p.BSued) + " +lat_0=" + ProjNumber(p.BSued) +
                    " +lon_0=" + ProjNumber(p.L0) + " +k_0=1 +x_0=" + ProjNumber(p.FalseEast) +
                    " +y_0=" + ProjNumber(p.FalseNorth),
                ""};
      }
      // Two standard parallels; the user's own case counts northings from the equator.
      const LambertOptions o = LambertOptions::preset(p.LambCase);
      const double lat1 = own ? p.BNord : dms(o.north.degrees, o.north.minutes, o.north.seconds);
      const double lat2 = own ? p.BSued : dms(o.south.degrees, o.south.minutes, o.south.seconds);
      const double lat0 = own ? 0.0 : dms(o.origin.degrees, o.origin.minutes, o.origin.seconds);
      const double lon0 = own ? p.L0 : dms(o.meridian.degrees, o.meridian.minutes, o.meridian.seconds);
      return {"+proj=lcc +lat_1=" + ProjNumber(lat1) + " +lat_2=" + ProjNumber(lat2) + " +lat_0=" + ProjNumber(lat0) +
                  " +lon_0=" + ProjNumber(lon0) + " +x_0=" + ProjNumber(own ? p.FalseEast : o.falseEast) +
                  " +y_0=" + ProjNumber(own ? p.FalseNorth : o.falseNorth),
              ""};
    }
    case ConversionDialog::Soldner:
      return {"+proj=cass +lat_0=" + ProjNumber(p.B0) + " +lon_0=" + ProjNumber(p.L0) +
                  " +x_0=" + ProjNumber(p.FalseEast) + " +y_0=" + ProjNumber(p.FalseNorth),
              kCassNote};
    case ConversionDialog::SoldnerBaden:
      // Longitudes from Ferro unless --greenwich: cass takes only L − L0.
      return {"+proj=cass +lat_0=" + ProjNumber(p.B0) +
                  " +lon_0=" + ProjNumber(job.greenwich ? p.L0 - kFerroOffset : p.L0) +
                  " +x_0=" + ProjNumber(p.FalseEast) + " +y_0=" + ProjNumber(p.FalseNorth),
              std::string(kCassNote) + (job.greenwich ? "" : "; longitudes count from Ferro, as the file holds them")};
    case ConversionDialog::Mercator:
      return {"+proj=merc +lon_0=" + ProjNumber(p.L0), ""};
    case ConversionDialog::None:
      break;
  }
  if (conversion.input == PointForm::Cartesian || conversion.output == PointForm::Cartesian) {
    return {"+proj=cart", ""};
  }
  if (conversion.ellipsoid == FixedEllipsoid::Bessel) {  // Swiss LV03 (case 0), LV95 (case 1)
    const bool lv95 = conversion.caseNumber == 1;
    return {somerc(dms(46, 57, 8.66), dms(7, 26, 22.5), 1.0, lv95 ? 2600000.0 : 600000.0,
                   lv95 ? 1200000.0 : 200000.0),
            ""};
  }
  // Hungarian EOV.
  return {somerc(dms(47, 8, 39.8174), dms(19, 2, 54.8584), 0.99993, 650000.0, 200000.0), ""};
}

}  // namespace

ProjOperation ConversionOperation(const ConversionInfo& conversion, const ConversionJob& job,
                                  ProjectionLibrary& library) {
  if (conversion.setup != nullptr) {
    const SettingProblem problem = conversion.setup(library, job, conversion);
    if (!problem.setting.empty()) {
      return {"", problem.setting + " = " + problem.value + " lies outside " + problem.range};
    }
  }
  ProjOperation operation = forward(conversion, job, library.parameters());
  if (operation.proj.empty()) return operation;
  operation.proj += ellipsoidText(ConversionEllipsoid(conversion, job.ellipsoid));
  const bool inverse = conversion.code >= 2000;
  if (inverse) operation.proj = "+proj=pipeline +step +inv " + operation.proj;
  return operation;
}

}  // namespace pelmar
