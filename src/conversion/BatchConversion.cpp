#include "conversion/BatchConversion.h"

#include <atomic>
#include <optional>
#include <thread>

#include "app/FileAccess.h"
#include "app/BoundedQueue.h"
#include "app/JobHost.h"
#include "app/OutputFile.h"
#include "app/StringIds.h"
#include "conversion/DmsInput.h"
#include "conversion/ProjectionLibrary.h"
#include "points/LineFormatters.h"
#include "points/LineReader.h"
#include "points/LineScanner.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

using D = ConversionDialog;

// The conversions with their tree labels and progress captions.
const std::vector<ConversionInfo> kConversions = {
    {1000, "geo-gk", str::LabelGeoGk, str::LabelGeoGk, D::CentralMeridian, 0},
    {2000, "gk-geo", str::LabelGkGeo, str::LabelGkGeo, D::CentralMeridian, 0},
    {1001, "geo-utm", str::LabelGeoUtm, str::LabelGeoUtm, D::CentralMeridian, 0},
    {2001, "utm-geo", str::LabelUtmGeo, str::LabelUtmGeo, D::CentralMeridian, 0},
    {1002, "geo-lambert", str::LabelGeoLambert, str::LabelGeoLambert, D::Lambert, 0},
    {2002, "lambert-geo", str::LabelLambertGeo, str::LabelLambertGeo, D::Lambert, 0},
    {1003, "geo-lambert-est97", str::LabelGeoEstonia, str::LabelGeoLambert, D::Lambert, 1},
    {2003, "lambert-est97-geo", str::LabelEstoniaGeo, str::LabelLambertGeo, D::Lambert, 1},
    {1004, "geo-lambert-be2005", str::LabelGeoBelgium, str::LabelGeoLambert, D::Lambert, 2},
    {2004, "lambert-be2005-geo", str::LabelBelgiumGeo, str::LabelLambertGeo, D::Lambert, 2},
    {1005, "geo-soldner", str::LabelGeoSoldner, str::LabelGeoSoldner, D::Soldner, 0},
    {2005, "soldner-geo", str::LabelSoldnerGeo, str::LabelSoldnerGeo, D::Soldner, 0},
    {1006, "geo-mercator", str::LabelGeoMercator, str::LabelGeoMercator, D::Mercator, 0},
    {2006, "mercator-geo", str::LabelMercatorGeo, str::LabelMercatorGeo, D::Mercator, 0},
    {1007, "geo-xyz", str::LabelGeoXyz, str::LabelGeoXyz, D::None, 0},
    {2007, "xyz-geo", str::LabelXyzGeo, str::LabelXyzGeo, D::None, 0},
    {1008, "geo-eov", str::LabelGeoMap, str::LabelGeoMap, D::None, 0},
    {2008, "eov-geo", str::LabelMapGeo, str::LabelMapGeo, D::None, 0},
    {1009, "geo-lambert93", str::LabelGeoFrance, str::LabelGeoLambert, D::Lambert, 3},
    {2009, "lambert93-geo", str::LabelFranceGeo, str::LabelLambertGeo, D::Lambert, 3},
    {1010, "geo-gk-austria", str::LabelGeoAustria, str::LabelGeoGk, D::AustrianMeridian, 4},
    {2010, "gk-austria-geo", str::LabelAustriaGeo, str::LabelGkGeo, D::AustrianMeridian, 4},
    {1011, "geo-lv03", str::LabelGeoLv03, str::LabelGeoMap, D::None, 0},
    {2011, "lv03-geo", str::LabelLv03Geo, str::LabelMapGeo, D::None, 0},
    {1012, "geo-lv95", str::LabelGeoLv95, str::LabelGeoMap, D::None, 1},
    {2012, "lv95-geo", str::LabelLv95Geo, str::LabelMapGeo, D::None, 1},
    {1013, "geo-xyz-ellipsoidal", str::LabelGeoXyzEllipsoidal, str::LabelGeoXyz, D::None, 0},
    {2013, "xyz-ellipsoidal-geo", str::LabelXyzEllipsoidalGeo, str::LabelXyzGeo, D::None, 0},
    {1014, "geo-soldner-baden", str::LabelGeoBaden, str::LabelGeoMap, D::SoldnerBaden, 0},
    {2014, "soldner-baden-geo", str::LabelBadenGeo, str::LabelMapGeo, D::SoldnerBaden, 0},
};

// How a line is read.
enum class InputForm { Geographic, Projected, Cartesian, UtmZone };

// One point of a batch: where its name lies in the batch's text, what the
// line held, and what the conversion made of it.
struct BatchPoint {
  std::uint32_t nameOffset = 0;
  std::uint32_t nameLength = 0;
  double v1 = 0.0, v2 = 0.0, v3 = 0.0;
  bool hasHeight = false;
  int zone = 0;
  char letter = '\0';
  // Degrees, minutes and seconds as read (FormatGeog 1), joined by the
  // library on the computing thread.
  double bd = 0.0, bm = 0.0, bs = 0.0, ld = 0.0, lm = 0.0, ls = 0.0;
  // Results.
  int status = 0;
  double o1 = 0.0, o2 = 0.0, o3 = 0.0;
  int outZone = 0;
  char outLetter = '\0';
};

struct Batch {
  std::string names;
  std::vector<BatchPoint> points;
  std::int64_t dataLines = 0;
  std::int64_t unreadable = 0;
  std::int64_t firstUnreadableLine = 0;
};

constexpr std::size_t kBatchPoints = 4096;
constexpr std::size_t kQueuedBatches = 4;

// Reads a line by its form; false when it does not parse.
bool parseLine(std::string_view data, InputForm form, bool dms, bool heightRequired, std::string_view& name,
               BatchPoint& p) {
  switch (form) {
    case InputForm::Geographic:
      if (dms) {
        const int n = scanFields(data, name, p.bd, p.bm, p.bs, p.ld, p.lm, p.ls, p.v3);
        if (n != 8 && (n != 7 || heightRequired)) return false;
        if (!ValidDms(p.bd, p.bm, p.bs) || !ValidDms(p.ld, p.lm, p.ls)) return false;
        p.hasHeight = n == 8;
        return true;
      }
      [[fallthrough]];
    case InputForm::Projected: {
      const int n = scanFields(data, name, p.v1, p.v2, p.v3);
      if (n != 4 && (n != 3 || heightRequired)) return false;
      p.hasHeight = n == 4;
      return true;
    }
    case InputForm::Cartesian:
      p.hasHeight = true;
      return scanFields(data, name, p.v1, p.v2, p.v3) == 4;
    case InputForm::UtmZone: {
      std::string_view token;
      const int n = scanFields(data, name, p.zone, token, p.v1, p.v2, p.v3);
      if (n != 6 && n != 5) return false;
      p.letter = token.front();  // "North" passes "N"
      p.hasHeight = n == 6;
      return true;
    }
  }
  return false;
}

// Runs `body` and turns an exception into a flag, so that a stage thread
// never takes the process down.
template <class Body>
void guardedStage(std::atomic<bool>& failed, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    failed = true;
  }
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

bool RunConversion(const ConversionInfo& conversion, const ConversionJob& job, ProjectionLibrary& library,
                   JobHost& host, ConversionResult* result) {
  const int code = conversion.code;
  const int family = code % 1000;
  const bool forward = code < 2000;
  const bool dms = job.settings.formatGeographic != 0;
  const int g = job.settings.decimalsGeographic;
  const int k = job.settings.decimalsCartesian;
  const bool utmZoneForm = job.settings.formatUtm == 0;

  if (!library.usable()) {
    host.message(str::ProjectionLibraryMissing);
    return false;
  }
  // Raw UTM eastings carry no zone: with the meridian following each point
  // on the way out, the way back has no meridian to use (it took the stored
  // one, 0°, and put Berlin at −1.6°).
  const bool rawAutomaticUtm = family == 1 && !utmZoneForm && job.centralMeridian.L0Auto != 0;
  if (rawAutomaticUtm && !forward) {
    host.message(str::UtmZoneNeeded);
    return false;
  }
  // 1./2. The files.
  if (!CheckDistinctFiles({job.inputPath}, {job.outputPath}, host)) return false;
  LineReader reader(job.inputPath);
  OutputFile output;
  if (!OpenStreamedBatch(host, reader, job.inputPath, output, job.outputPath)) return false;

  // 3. The ellipsoid of the settings, or the one a national system fixes.
  library.SetEllipDim(job.ellipsoid.a, job.ellipsoid.b);
  const bool lambertPreset = (family == 2 || family == 3 || family == 4 || family == 9) && conversion.caseNumber > 0;
  if (family == 10 || family == 11 || family == 12) {
    host.message(str::NoticeBessel);
    library.SetEllipDim(kBesselA, kBesselB);
  } else if (lambertPreset) {
    host.message(str::NoticeGrs80);
    library.SetEllipDim(kGrs80A, kGrs80B);
  }

  // 4./5./6. Progress over the data lines: the counting pass sizes the bar,
  // and is skipped when nobody sees one.
  if (host.showsProgress()) {
    const std::int64_t count = CountDataLines(job.inputPath);
    if (count < 0) {
      host.message(str::InputNotOpened, {job.inputPath.string()});
      return false;
    }
    host.setProgressText(host.text(conversion.captionId));
    host.setProgressRange(count);
  }

  // 7. The conversion's settings, in the library's order.
  switch (family) {
    case 0:
    case 10: {
      const bool austria = family == 10;
      library.SetL0(austria ? job.austrianMeridian.L0Austria : job.centralMeridian.L0);
      library.SetL0Auto((austria ? job.austrianMeridian.L0AustriaAuto : job.centralMeridian.L0Auto) != 0 ? 1 : 0);
      library.SetGKCase(conversion.caseNumber);
      break;
    }
    case 1:
      library.SetL0(job.centralMeridian.L0);
      library.SetL0Auto(job.centralMeridian.L0Auto != 0 ? 1 : 0);
      break;
    case 2:
    case 3:
    case 4:
    case 9:
      if (!lambertPreset) {
        const LambertOptions& o = job.lambert;
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
      } else {
        library.SetLambCase(conversion.caseNumber);
      }
      break;
    case 5:
    case 14: {
      const SoldnerOptions& o = job.soldner;
      double b0 = 0.0, l0 = 0.0;
      library.GMSDEZ(o.origin.degrees, o.origin.minutes, o.origin.seconds, b0);
      library.GMSDEZ(o.meridian.degrees, o.meridian.minutes, o.meridian.seconds, l0);
      library.SetB0(b0);
      library.SetL0(l0);
      library.SetFalseNorth(o.falseNorth);
      library.SetFalseEast(o.falseEast);
      break;
    }
    case 6:
      library.SetL0(job.mercator.L0);
      break;
    default:
      break;
  }

  // The input form and whether a height is required.
  InputForm form = forward ? InputForm::Geographic : InputForm::Projected;
  if (!forward && (family == 7 || family == 13)) form = InputForm::Cartesian;
  if (!forward && family == 1 && utmZoneForm) form = InputForm::UtmZone;
  const bool heightRequired = forward && (family == 7 || family == 13);
  const bool dmsInput = dms && form == InputForm::Geographic;
  const bool cartesianOutput = forward && (family == 7 || family == 13);
  const bool geographicOutput = !forward;
  const bool zoneOutput = code == 1001 && utmZoneForm;

  // 8. Every line, in three stages: a reader thread parses lines into
  // batches, this thread converts them (the library and the host belong to
  // it), a writer thread formats and writes them. Batches keep their order,
  // and the queues bound the memory whatever the size of the file.
  BoundedQueue<Batch> parsed(kQueuedBatches), converted(kQueuedBatches);
  std::atomic<bool> readFailed = false, writeFailed = false, stop = false;
  std::thread readerThread([&] {
    guardedStage(readFailed, [&] {
      Batch batch;
      std::string_view line;
      while (!stop && reader.next(line)) {
        const std::string_view data = dataPart(line);
        if (data.empty() || trimBlanks(data).empty()) continue;
        ++batch.dataLines;
        std::string_view name;
        BatchPoint p;
        if (!parseLine(data, form, dmsInput, heightRequired, name, p)) {
          if (batch.unreadable++ == 0) batch.firstUnreadableLine = reader.lineNumber();
          continue;
        }
        p.nameOffset = static_cast<std::uint32_t>(batch.names.size());
        p.nameLength = static_cast<std::uint32_t>(name.size());
        batch.names.append(name);
        batch.points.push_back(p);
        if (batch.points.size() >= kBatchPoints) {
          if (!parsed.push(std::move(batch))) return;
          batch = Batch{};
        }
      }
      if (reader.failed()) readFailed = true;
      parsed.push(std::move(batch));
    });
    parsed.close();
  });
  std::int64_t written = 0;
  std::thread writerThread([&] {
    guardedStage(writeFailed, [&] {
      std::string text, block;
      while (std::optional<Batch> batch = converted.pop()) {
        block.clear();
        for (const BatchPoint& p : batch->points) {
          if (p.status != VIV_OK) continue;
          const std::string_view name(batch->names.data() + p.nameOffset, p.nameLength);
          const bool withHeight = cartesianOutput || p.hasHeight;
          if (cartesianOutput) {
            FormatPointLine3(text, name, p.o1, p.o2, p.o3, k);
          } else if (geographicOutput && dms) {
            // Rounded to the printed decimals before the split: never "60.000".
            const DmsAngle b = SplitDegrees(p.o1, g), l = SplitDegrees(p.o2, g);
            withHeight ? FormatPointLineDms2H(text, name, b, l, p.o3, g, k) : FormatPointLineDms2(text, name, b, l, g);
          } else if (geographicOutput) {
            withHeight ? FormatPointLine3H(text, name, p.o1, p.o2, p.o3, g, k)
                       : FormatPointLine2(text, name, p.o1, p.o2, g);
          } else if (zoneOutput) {
            withHeight ? FormatUtmLine3(text, name, p.outZone, p.outLetter, p.o1, p.o2, p.o3, k)
                       : FormatUtmLine2(text, name, p.outZone, p.outLetter, p.o1, p.o2, k);
          } else {
            withHeight ? FormatPointLine3(text, name, p.o1, p.o2, p.o3, k) : FormatPointLine2(text, name, p.o1, p.o2, k);
          }
          block += text;
          ++written;
        }
        output.write(block);
      }
    });
  });

  ConversionResult counts;
  bool computeFailed = false;
  try {
    while (std::optional<Batch> batch = parsed.pop()) {
      counts.linesRead += batch->dataLines;
      if (batch->unreadable > 0 && counts.linesUnreadable == 0) counts.firstUnreadableLine = batch->firstUnreadableLine;
      counts.linesUnreadable += batch->unreadable;
      for (BatchPoint& p : batch->points) {
        host.stepProgress();
        if (dmsInput) {
          JoinDms(library, p.bd, p.bm, p.bs, p.v1);  // the reader has checked the angles
          JoinDms(library, p.ld, p.lm, p.ls, p.v2);
        }
        p.o3 = p.v3;
        int& status = p.status;
        switch (code) {
          case 1000:
          case 1010: status = library.BL_to_EN_GK(p.v1, p.v2, p.o1, p.o2); break;
          case 2000:
          case 2010: status = library.EN_to_BL_GK(p.v1, p.v2, p.o1, p.o2); break;
          case 1001:
            status = utmZoneForm ? library.BL_to_EN_UTM_With_Zone(p.v1, p.v2, p.o1, p.o2, p.outZone, p.outLetter)
                                 : library.BL_to_EN_UTM_Raw(p.v1, p.v2, p.o1, p.o2);
            break;
          case 2001:
            status = utmZoneForm ? library.EN_to_BL_UTM_With_Zone(p.v1, p.v2, p.zone, p.letter, p.o1, p.o2)
                                 : library.EN_to_BL_UTM_Raw(p.v1, p.v2, p.o1, p.o2);
            break;
          case 1002:
          case 1003:
          case 1004:
          case 1009: status = library.BL_to_EN_Lambert(p.v1, p.v2, p.o1, p.o2); break;
          case 2002:
          case 2003:
          case 2004:
          case 2009: status = library.EN_to_BL_Lambert(p.v1, p.v2, p.o1, p.o2); break;
          case 1005: status = library.BL_to_EN_Soldner(p.v1, p.v2, p.o1, p.o2); break;
          case 2005: status = library.EN_to_BL_Soldner(p.v1, p.v2, p.o1, p.o2); break;
          case 1014:
            status = library.BL_to_EN_SoldnerBaden(p.v1, job.greenwich ? p.v2 + kFerroOffset : p.v2, p.o1, p.o2);
            break;
          case 2014:
            status = library.EN_to_BL_SoldnerBaden(p.v1, p.v2, p.o1, p.o2);
            if (job.greenwich) p.o2 -= kFerroOffset;
            break;
          case 1006: status = library.BL_to_EN_Mercator(p.v1, p.v2, p.o1, p.o2); break;
          case 2006: status = library.EN_to_BL_Mercator(p.v1, p.v2, p.o1, p.o2); break;
          case 1008: status = library.BL_to_EN_EOV(p.v1, p.v2, p.o1, p.o2); break;
          case 2008: status = library.EN_to_BL_EOV(p.v1, p.v2, p.o1, p.o2); break;
          case 1011:
          case 1012:
            status = library.BL_to_EN_Switzerland_Conformal_DoubleProjection(p.v1, p.v2, p.o1, p.o2,
                                                                             conversion.caseNumber);
            break;
          case 2011:
          case 2012:
            status = library.EN_to_BL_Switzerland_Conformal_DoubleProjection(p.v1, p.v2, p.o1, p.o2,
                                                                             conversion.caseNumber);
            break;
          case 1007: status = library.BLH_to_XYZ(p.v1, p.v2, p.v3, p.o1, p.o2, p.o3); break;
          case 1013: status = library.EllipsoidalCoordinates_to_XYZ(p.v1, p.v2, p.v3, p.o1, p.o2, p.o3); break;
          case 2007: status = library.XYZ_to_BLH(p.v1, p.v2, p.v3, p.o1, p.o2, p.o3); break;
          case 2013: status = library.XYZ_to_EllipsoidalCoordinates(p.v1, p.v2, p.v3, p.o1, p.o2, p.o3); break;
          default: status = VIV_BAD_PARAMETERS; break;
        }
        if (status != VIV_OK) {
          // Outside the projection's domain: never a NaN line in the file.
          if (counts.pointsLeftOut++ == 0) counts.firstLeftOut.assign(batch->names, p.nameOffset, p.nameLength);
          continue;
        }

      }
      if (!converted.push(std::move(*batch))) break;
    }
  } catch (...) {
    computeFailed = true;
  }
  stop = true;
  parsed.close();
  converted.close();
  readerThread.join();
  writerThread.join();
  counts.pointsWritten = written;
  if (computeFailed || writeFailed) {
    host.endProgress();
    host.message(str::OutputNotCreated, {job.outputPath.string()});
    return false;
  }
  host.endProgress();
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
  if (!output.commit()) {
    host.message(str::OutputNotCreated, {job.outputPath.string()});
    return false;
  }
  if (counts.linesUnreadable > 0) {
    host.message(str::LinesUnreadable, {counts.linesUnreadable, job.inputPath.string(), counts.firstUnreadableLine});
  }
  if (counts.pointsLeftOut > 0) {
    host.message(str::PointsLeftOut, {counts.pointsLeftOut, counts.firstLeftOut});
  }
  if (rawAutomaticUtm && counts.pointsWritten > 0) host.message(str::UtmZoneNotWritten);
  if (result != nullptr) *result = counts;
  return true;
}

}  // namespace pelmar
