#include "estimation/EllipsoidalEstimation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "adjust/GrossErrorTest.h"
#include "adjust/Matrix.h"
#include "adjust/NormalEquations.h"
#include "adjust/RobustTest.h"
#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EstimationSections.h"
#include "estimation/ReportFile.h"
#include "estimation/ResidualDistribution.h"
#include "points/LineFormatters.h"

// The estimation of a datum transformation in ellipsoidal coordinates, as
// the estimation page's fifth computation defines it, with these departures
// where the defined behaviour gives plainly wrong numbers:
//  - the L1 fit weights each row by √p (it minimises Σ√p·|v|); dividing by
//    √p would give the less accurate observations more influence and follow
//    the heights (metres) a thousand times more than the positions (arc
//    seconds);
//  - the prior information on the translations is three pseudo-observations
//    t = 0 with the weight s0²/sTrans² in both methods (for least squares
//    this is the defined diagonal term); as observations they count in Ω,
//    σ0 and the redundancy. The gross-error test takes the points' own Ω
//    without the point (the prior's share under the solution without it
//    taken out) and the points' share of the redundancy: with the prior's
//    Ω and rows counted, a loose prior flagged up to 31 % of clean points,
//    and with Ω of the points but the prior in Qxx, T₀ exceeded Ω for every
//    sizeable error and the point was accepted. A prior that the points
//    contradict (remaining translations beyond 3·sTrans) is told;
//  - singular normal equations (a parameter the points do not determine)
//    stop the run with a message instead of printing what the inversion
//    left;
//  - every transformed point is compared with the rigorous cartesian form
//    of the same model, and a departure above 1 mm is told;
//  - output longitudes are reduced to (−180°, 180°];
//  - the L1 loop has settled when the scale moves by less than 1e-11 between
//    passes (0.06 mm at the Earth's radius, like the 1e-5 m of the
//    translations), not 1e-5 (64 m);
//  - a longitude difference is taken modulo 360°;
//  - the residual distribution averages the position residuals over the
//    identical points with a position and the height residuals over those
//    with a height, each at the point's target position (its transformed
//    position for a height-only point), with Mercator distances reduced to
//    the ground;
//  - fewer observations than unknowns stop the run before the report is
//    created, and the options line about the output file is written once;
//  - the gross-error test of an L1 run takes the L1 fit's own form
//    (TestAfterL1Fit), in which a full-size residual is no longer what
//    makes T₀ exceed Ω;
//  - a point that cannot be tested (too little redundancy for its
//    observations) reads "not tested", and the report ends its test table
//    with the run's notices.

namespace pelmar {

namespace {

constexpr double kSettledRotation = 3e-6;     // arc seconds
constexpr double kSettledTranslation = 1e-5;  // metres
constexpr double kSettledScale = 1e-11;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

enum Row { kRowB = 0, kRowL = 1, kRowH = 2 };

// One identical point's observation rows, kept for every pass.
struct PointRows {
  int count = 0;
  int which[3] = {};  // kRowB, kRowL, kRowH
  double a[3][EllipsoidalRows::kMaxUnknowns] = {};
  double l[3] = {};
  double p[3] = {};
  double northScale = 0.0, eastScale = 0.0;  // metres per arc second of the target point
  bool usable = true;
};

double wrapDegrees(double d) {
  d = std::fmod(d, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d <= -180.0) d += 360.0;
  return d;
}

void normaliseSwitch(int& value) {
  if (value < 0 || value > 2) value = 0;
}

// Metres per arc second north and east at latitude B (degrees) on the ellipsoid.
void metresPerSecond(const EllipsoidRecord& e, double B, double& north, double& east) {
  const EllipsoidRadii r = RadiiAt(e.a, e.b, B / kRhoDegrees);
  north = r.M / kRhoSeconds;
  east = r.N * std::cos(B / kRhoDegrees) / kRhoSeconds;
}

double groupNorm(const Matrix& x, int first, int count) {
  double sum = 0.0;
  for (int i = first; i < first + count; ++i) sum += x(i, 0) * x(i, 0);
  return std::sqrt(sum);
}

// The transformation of one source point with the unknowns x over the
// chosen columns: pre-translation, rows, changes.
bool transformPoint(ProjectionLibrary& library, const EllipsoidRecord& source, const EllipsoidRecord& target,
                    const EllipsoidalGroups& groups, const std::array<double, 3>* shift, const double* x, double B,
                    double L, double h, std::array<double, 3>& out) {
  if (shift != nullptr && !PreTranslate(library, source, *shift, B, L, h)) return false;
  EllipsoidalRows rows;
  if (!BuildEllipsoidalRows(library, source, target, groups, B, L, h, rows)) return false;
  out = ApplyEllipsoidalRows(rows, groups, x);
  out[1] = wrapDegrees(out[1]);
  return std::isfinite(out[0]) && std::isfinite(out[1]) && std::isfinite(out[2]);
}

// The same model without the linearisation: the pre-translated source point
// in cartesian coordinates, X + T + m·X + R·X with the rotations in radians,
// expressed on the target ellipsoid. One scale only (two scales have no
// cartesian form). False when the library cannot convert the point.
bool rigorousPoint(ProjectionLibrary& library, const EllipsoidRecord& source, const EllipsoidRecord& target,
                   const std::array<double, 3>* shift, const EllipsoidalParameters& p, double B, double L, double h,
                   std::array<double, 3>& out) {
  double X = 0.0, Y = 0.0, Z = 0.0;
  library.SetEllipDim(source.a, source.b);
  if (library.BLH_to_XYZ(B, L, h, X, Y, Z) != VIV_OK) return false;
  if (shift != nullptr) X += (*shift)[0], Y += (*shift)[1], Z += (*shift)[2];
  const double ex = p.rotationSeconds[0] / kRhoSeconds, ey = p.rotationSeconds[1] / kRhoSeconds,
               ez = p.rotationSeconds[2] / kRhoSeconds, m = p.planScale;
  const double Xt = X + p.translation[0] + m * X + ez * Y - ey * Z;
  const double Yt = Y + p.translation[1] + m * Y - ez * X + ex * Z;
  const double Zt = Z + p.translation[2] + m * Z + ey * X - ex * Y;
  library.SetEllipDim(target.a, target.b);
  return library.XYZ_to_BLH(Xt, Yt, Zt, out[0], out[1], out[2]) == VIV_OK && std::isfinite(out[0]) &&
         std::isfinite(out[1]) && std::isfinite(out[2]);
}

}  // namespace

void FormatEllipsoidalPointLine(std::string& line, std::string_view name,
                                const std::array<double, 3>& p, bool dms, int decimalsGeographic,
                                int decimalsMetric) {
  if (dms) {
    FormatPointLineDms2H(line, name, SplitDegrees(p[0], decimalsGeographic), SplitDegrees(p[1], decimalsGeographic),
                         p[2], decimalsGeographic, decimalsMetric);
  } else {
    FormatPointLine3H(line, name, p[0], p[1], p[2], decimalsGeographic, decimalsMetric);
  }
}

void EstimationOptions3DBL::load(const SettingsStore& store) {
  LoadSection(store, *this);
  for (int* value : {&writeIdentical, &scale, &rotations, &translations, &saveParams, &savePointInfo, &individual,
                     &preTranslate, &prior}) {
    normaliseSwitch(*value);
  }
  if (type != 0 && type != 1) type = 1;
  if (scaleType != 0 && scaleType != 1) scaleType = 0;
}

const char* EstimationOptions3DBL::invalidKey() const {
  const std::pair<const char*, double> sigmas[] = {
      {"s0", s0}, {"sPlanSrc", sPlanSource}, {"sHeightSrc", sHeightSource}, {"SPlanTarget", sPlanTarget},
      {"sHeight", sHeightTarget}};
  // Beyond these a value is a typing error, and its square or inverse would
  // leave the range where the weights stay finite.
  auto usable = [](double sigma) { return sigma >= 1e-9 && sigma <= 1e6; };
  for (const auto& [key, value] : sigmas) {
    if (!usable(value)) return key;
  }
  if (priorActive() && !usable(sTrans)) return "sTrans";
  if (preTranslate != 0) {
    const std::pair<const char*, double> shifts[] = {{"tx", tx}, {"ty", ty}, {"tz", tz}};
    for (const auto& [key, value] : shifts) {
      if (!(std::fabs(value) <= kLargestShift)) return key;
    }
  }
  return nullptr;
}

bool MapType2(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
              std::array<double, 3>& out) {
  const EllipsoidalGroups groups{true, true, 1};
  EllipsoidalParameters parameters;
  for (int i = 0; i < 3; ++i) parameters.rotationSeconds[i] = set.rotation[i] * 3600.0;
  parameters.translation = set.translation;
  parameters.planScale = parameters.heightScale = set.scale - 1.0;
  double x[EllipsoidalRows::kMaxUnknowns] = {};
  ParametersToUnknowns(parameters, groups, x);
  const bool shifted = set.preTranslation != std::array<double, 3>{};
  return transformPoint(library, set.sourceEllipsoid, set.targetEllipsoid, groups,
                        shifted ? &set.preTranslation : nullptr, x, B, L, h, out);
}

int EstimateEllipsoidalHelmert(EllipsoidalJob& job, ProjectionLibrary& library, JobHost& host,
                               EstimationSummary* summary) {
  const LanguageTable& table = host.language();
  const EstimationOptions3DBL& o = job.options;
  const bool dms = job.settings.formatGeographic != 0;
  const int method = o.type == 0 ? 0 : 1;
  const EllipsoidalGroups groups = o.groups();
  const int u = groups.unknowns();
  const bool prior = o.priorActive() && groups.translations;
  const std::array<double, 3> shift = {o.tx, o.ty, o.tz};
  const std::array<double, 3>* preShift = o.preTranslate != 0 ? &shift : nullptr;
  const EllipsoidRecord& sourceEllipsoid = job.sourceEllipsoid;
  const EllipsoidRecord& targetEllipsoid = job.targetEllipsoid;

  if (!library.usable()) {
    host.message(str::ProjectionLibraryMissing);
    return 0;
  }
  if (!(sourceEllipsoid.a >= sourceEllipsoid.b && sourceEllipsoid.b > 0.0)) {
    host.message(str::SourceEllipsoidMissing);
    return 0;
  }
  if (!(targetEllipsoid.a >= targetEllipsoid.b && targetEllipsoid.b > 0.0)) {
    host.message(str::TargetEllipsoidMissing);
    return 0;
  }
  if (const char* key = o.invalidKey()) {
    const bool shift = key[0] == 't' && key[1] != '\0' && key[2] == '\0';  // tx, ty, tz
    host.message(shift ? str::NumberInRangeNeeded : str::PositiveNumberNeeded,
                 {std::string(EstimationOptions3DBL::kSection) + "." + key});
    return 0;
  }

  if (!CheckDistinctFiles({job.sourcePath, job.targetPath}, {job.reportPath, job.outputPath, job.plotPath}, host)) return 0;

  // 1. The point files and the identical points.
  job.source.clear();
  job.target.clear();
  job.identical.clear();
  PointFileNotes sourceNotes, targetNotes;
  if (ReadEllipsoidalSource(job.sourcePath, dms, library, job.source, sourceNotes) == 0) {
    host.message(str::SourceUnreadable, {job.sourcePath.string()});
    return 0;
  }
  if (sourceNotes.unreadable > 0) {
    host.message(str::LinesUnreadable, {sourceNotes.unreadable, job.sourcePath.string(), sourceNotes.firstUnreadableLine});
  }
  if (sourceNotes.duplicates > 0) {
    host.message(str::DuplicateNames, {sourceNotes.duplicates, job.sourcePath.string(), utf8Name(sourceNotes.firstDuplicate)});
  }
  if (job.source.empty()) {
    host.message(str::NoSourcePointRead, {job.sourcePath.string()});
    return 0;
  }
  if (ReadEllipsoidalTarget(job.targetPath, dms, library, job.target, targetNotes) == 0) {
    host.message(str::TargetUnreadable, {job.targetPath.string()});
    return 0;
  }
  if (targetNotes.unreadable > 0) {
    host.message(str::LinesUnreadable, {targetNotes.unreadable, job.targetPath.string(), targetNotes.firstUnreadableLine});
  }
  if (targetNotes.duplicates > 0) {
    host.message(str::DuplicateNames, {targetNotes.duplicates, job.targetPath.string(), utf8Name(targetNotes.firstDuplicate)});
  }
  if (job.target.empty()) {
    host.message(str::NoTargetPointRead, {job.targetPath.string()});
    return 0;
  }
  {
    std::unordered_map<std::string_view, std::size_t> firstByName;
    firstByName.reserve(job.target.size());
    for (std::size_t i = 0; i < job.target.size(); ++i) firstByName.emplace(job.target[i].name, i);
    for (const EllipsoidalPoint& s : job.source) {
      const auto it = firstByName.find(s.name);
      if (it != firstByName.end()) job.identical.push_back({s, job.target[it->second]});
    }
  }

  // The observation rows of every identical point, on the pre-translated
  // source coordinates. A point the library cannot convert is left out.
  const double s0Squared = o.s0 * o.s0;
  std::vector<PointRows> rows(job.identical.size());
  std::int64_t leftOut = 0;
  std::string firstLeftOut;
  int observations = prior ? 3 : 0;  // prior information counts when the run is sized
  for (std::size_t i = 0; i < job.identical.size(); ++i) {
    const EllipsoidalIdenticalPoint& ip = job.identical[i];
    PointRows& pr = rows[i];
    double B = ip.source.B, L = ip.source.L, h = ip.source.h;
    EllipsoidalRows design;
    if ((preShift != nullptr && !PreTranslate(library, sourceEllipsoid, shift, B, L, h)) ||
        !BuildEllipsoidalRows(library, sourceEllipsoid, targetEllipsoid, groups, B, L, h, design)) {
      pr.usable = false;
      if (leftOut++ == 0) firstLeftOut = ip.source.name;
      continue;
    }
    // Accuracies: the run's defaults, or the points' own.
    double sourceSigma[3] = {o.sPlanSource, o.sPlanSource, o.sHeightSource};
    double targetSigma[3] = {o.sPlanTarget, o.sPlanTarget, o.sHeightTarget};
    if (o.individual != 0 && ip.source.individual) {
      sourceSigma[0] = ip.source.sN, sourceSigma[1] = ip.source.sE, sourceSigma[2] = ip.source.sh;
    }
    if (o.individual != 0 && ip.target.individual) {
      if (ip.target.hasPosition) targetSigma[0] = ip.target.sN, targetSigma[1] = ip.target.sE;
      if (ip.target.hasHeight) targetSigma[2] = ip.target.sh;
    }
    const double radians[3] = {
        std::hypot(targetSigma[0], sourceSigma[0]) / design.sourceRadii.M,
        std::hypot(targetSigma[1], sourceSigma[1]) / (design.sourceRadii.N * std::cos(B / kRhoDegrees)),
        std::hypot(targetSigma[2], sourceSigma[2])};
    const double weight[3] = {s0Squared / (radians[0] * radians[0] * kRhoSeconds * kRhoSeconds),
                              s0Squared / (radians[1] * radians[1] * kRhoSeconds * kRhoSeconds),
                              s0Squared / (radians[2] * radians[2])};
    const double observed[3] = {(ip.target.B - design.Bt) * 3600.0, wrapDegrees(ip.target.L - design.Lt) * 3600.0,
                                ip.target.h - design.ht};
    auto take = [&](int row) {
      const int r = pr.count++;
      pr.which[r] = row;
      std::copy(design.a[row], design.a[row] + u, pr.a[r]);
      pr.l[r] = observed[row];
      pr.p[r] = weight[row];
    };
    if (ip.target.hasPosition) {
      take(kRowB);
      take(kRowL);
      metresPerSecond(targetEllipsoid, ip.target.B, pr.northScale, pr.eastScale);
    }
    if (ip.target.hasHeight) take(kRowH);
    observations += pr.count;
  }
  if (leftOut > 0) host.message(str::PointsLeftOut, {leftOut, firstLeftOut});
  const int identicalUsed = static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const PointRows& r) { return r.usable; }));
  if (job.identical.empty()) {
    host.message(str::TooFewIdenticalPoints, {0, 1});
    return 0;
  }
  if (identicalUsed == 0 || u == 0 || observations < u) {
    // Counted without the prior information's three rows, which stand in
    // for three of the unknowns.
    const int priorRows = prior ? 3 : 0;
    host.message(str::TooFewObservations, {observations - priorRows, std::max(u - priorRows, 1)});
    return 0;
  }

  // 2. Report and output file.
  ReportFile report(table, job.settings.headerText, job.settings.userDefinedHeader, job.settings.includeDate);
  OutputFile output;
  if (!report.open(job.reportPath)) {
    host.message(report.failureMessage(str::ReportNotCreated), {job.reportPath.string()});
    return 0;
  }
  if (!job.outputPath.empty() && !output.open(job.outputPath)) {
    host.message(output.failureMessage(str::OutputNotCreated), {job.outputPath.string()});
  }
  host.setProgressLines(table.text(str::EllipsoidalProgress), "");

  // 3. Report head, options and the identical points as read.
  report.WriteBanner();
  report.write(" " + std::string(77, '_') + "\n|" + std::string(77, ' ') + "|\n");
  report.writeText(str::TitleEllipsoidal1);
  report.write("|" + std::string(77, ' ') + "|\n");
  report.writeText(str::TitleEllipsoidal2);
  report.write("|" + std::string(77, '_') + "|\n");
  report.WriteHeaderInfo();
  report.section(str::SectionOptions, 32);
  report.writeText(str::MethodLine, {table.text(method == 0 ? str::MethodL1 : str::MethodLeastSquares)});
  report.write("\n");
  report.writeText(str::EllipsoidsLine);
  report.writeText(str::SourceEllipsoidLine, {windows1252ToUtf8(sourceEllipsoid.name)});
  report.writeText(str::TargetEllipsoidLine, {windows1252ToUtf8(targetEllipsoid.name)});
  report.write("\n");
  report.writeText(str::OutputLabel);
  report.writeText(str::IdenticalLine,
                   {table.text(o.writeIdentical != 0 ? str::IdenticalWritten : str::IdenticalNotWritten)});
  report.write("\n");
  report.writeText(str::AccuraciesLine);
  report.writeText(str::AccuracyUnitWeight, {o.s0});
  report.writeText(str::AccuracySourcePlan, {o.sPlanSource});
  report.writeText(str::AccuracySourceHeight, {o.sHeightSource});
  report.writeText(str::AccuracyTargetPlan, {o.sPlanTarget});
  report.writeText(str::AccuracyTargetHeight, {o.sHeightTarget});
  report.writeText(o.individual != 0 ? str::AccuraciesIndividual : str::AccuraciesGlobal);
  report.write("\n");
  report.writeText(str::GroupsLine);
  if (groups.rotations) report.writeText(str::GroupRotations);
  if (groups.translations) report.writeText(str::GroupTranslations);
  if (groups.scaleKind == 1) report.writeText(str::GroupOneScale);
  if (groups.scaleKind == 2) report.writeText(str::GroupTwoScales);
  report.write("\n");
  if (preShift != nullptr) {
    report.writeText(str::PreTranslationLine);
    report.writeText(str::PreTranslationX, {o.tx});
    report.writeText(str::PreTranslationY, {o.ty});
    report.writeText(str::PreTranslationZ, {o.tz});
  } else {
    report.writeText(str::NoPreTranslation);
  }
  report.write("\n");
  if (prior) {
    report.writeText(str::PriorLine);
    report.writeText(str::PriorSigma, {o.sTrans});
  } else {
    report.writeText(str::NoPrior);
  }
  report.write("\n");
  const bool distribute = job.settings.interpolationActive == 1;
  if (distribute) {
    report.writeText(str::DistributionLine);
    const int weighting = job.settings.interpolationType;
    report.writeText(weighting == 0   ? str::DistributionInverse
                     : weighting == 1 ? str::DistributionInverseSquare
                                      : str::DistributionExponential);
  } else {
    report.writeText(str::NoDistribution);
  }
  report.write("\n");

  const std::string pointColumn = utf8ToWindows1252(table.text(str::ColumnPoint));
  const std::string latitude = utf8ToWindows1252(table.text(str::ColumnLatitude));
  const std::string longitude = utf8ToWindows1252(table.text(str::ColumnLongitude));
  auto columnHead = [&] {
    if (dms) {
      report.writeFormat("%15s%3s%3s%10s%3s%3s%10s%15s\n",
                         {pointColumn, latitude + "\xB0", latitude + "'", latitude + "\"", longitude + "\xB0",
                          longitude + "'", longitude + "\"", "h"});
    } else {
      report.writeFormat("%15s%15s%15s%15s\n", {pointColumn, latitude, longitude, "h"});
    }
    report.rule(62);
  };
  // A geographic position as the report prints it: "%15.10f%15.10f" or two "%3d%3d%10.6f".
  auto position = [&](double B, double L) {
    if (!dms) return formatMessage("%15.10f%15.10f", {B, L});
    const DmsAngle b = SplitDegrees(B, 6), l = SplitDegrees(L, 6);
    return formatMessage("%3d%3d%10.6f%3d%3d%10.6f", {b.degrees, b.minutes, b.seconds, l.degrees, l.minutes, l.seconds});
  };
  const std::string blankPosition(dms ? 32 : 30, ' ');
  auto name15 = [](const std::string& name) { return formatMessage("%15s", {name}); };

  report.separator();
  report.section(str::SectionSourcePoints, 39);
  columnHead();
  for (const EllipsoidalIdenticalPoint& ip : job.identical) {
    const EllipsoidalPoint& s = ip.source;
    std::string line = name15(s.name) + position(s.B, s.L) + formatMessage("%15.5f", {s.h});
    if (s.individual) line += formatMessage("%15.5f%15.5f%15.5f", {s.sN, s.sE, s.sh});
    report.write(line + "\n");
  }
  report.write("\n");

  report.separator();
  report.section(str::SectionTargetPoints, 35);
  columnHead();
  for (const EllipsoidalIdenticalPoint& ip : job.identical) {
    const EllipsoidalPoint& t = ip.target;
    std::string line = name15(t.name);
    if (t.hasPosition) {
      line += position(t.B, t.L);
      if (t.hasHeight) line += formatMessage("%15.5f", {t.h});
      if (t.individual) {
        line += formatMessage("%15.10f%15.10f", {t.sN, t.sE});
        if (t.hasHeight) line += formatMessage("%15.5f", {t.sh});
      }
    } else {
      line += blankPosition + formatMessage("%15.5f", {t.h});
      if (t.individual) line += formatMessage("%15.5f", {t.sh});
    }
    report.write(line + "\n");
  }
  report.write("\n");

  // 7. The adjustment: least squares, or the weighted L1 norm.
  const int translationColumn = groups.translationColumn();
  const double priorWeight = s0Squared / (o.sTrans * o.sTrans);
  double priorRow[3][EllipsoidalRows::kMaxUnknowns] = {};
  for (int i = 0; i < 3; ++i) priorRow[i][translationColumn + i] = 1.0;
  auto rowsExcept = [&](std::size_t skip, auto&& add) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const PointRows& pr = rows[i];
      if (!pr.usable || i == skip) continue;
      for (int r = 0; r < pr.count; ++r) add(pr.a[r], pr.l[r], pr.p[r]);
    }
    if (prior) {
      for (int i = 0; i < 3; ++i) add(priorRow[i], 0.0, priorWeight);
    }
  };
  auto forEachRow = [&](auto&& add) { rowsExcept(rows.size(), add); };
  const int scaleColumn = groups.scaleColumn();
  auto settled = [&](const Matrix& x, const Matrix& previous) {
    if (host.cancelled()) return true;  // ends the loop; the run is dropped below
    if (groups.rotations && std::fabs(groupNorm(x, 0, 3) - groupNorm(previous, 0, 3)) >= kSettledRotation) return false;
    if (groups.translations && std::fabs(groupNorm(x, translationColumn, 3) - groupNorm(previous, translationColumn, 3)) >=
                                   kSettledTranslation) {
      return false;
    }
    for (int j = 0; j < groups.scaleKind; ++j) {
      if (std::fabs(std::fabs(x(scaleColumn + j, 0)) - std::fabs(previous(scaleColumn + j, 0))) >= kSettledScale) {
        return false;
      }
    }
    return true;
  };
  const AdjustmentSolution solution = SolveAdjustment(u, method == 0, forEachRow, settled, [&](int k) {
    host.setProgressLines(table.text(str::EllipsoidalProgress),
                          method == 0 ? table.format(str::EllipsoidalPass, {k + 1}) : std::string());
  });
  if (host.cancelled()) {
    host.endProgress();
    return 0;  // report and output are never committed
  }
  if (solution.singular) {
    host.endProgress();
    host.message(str::NormalEquationsSingular);
    return 0;
  }
  const Matrix& x = solution.x;
  double xs[EllipsoidalRows::kMaxUnknowns] = {};
  for (int j = 0; j < u; ++j) xs[j] = x(j, 0);

  // 8. The parameters, in the full set and into the result set.
  EllipsoidalParameters& parameters = job.parameters;
  parameters = {};
  if (groups.rotations) {
    for (int i = 0; i < 3; ++i) parameters.rotationSeconds[i] = x(i, 0);
  }
  if (groups.translations) {
    for (int i = 0; i < 3; ++i) parameters.translation[i] = x(translationColumn + i, 0);
  }
  if (groups.scaleKind >= 1) parameters.planScale = parameters.heightScale = x(scaleColumn, 0);
  if (groups.scaleKind == 2) parameters.heightScale = x(scaleColumn + 1, 0);
  job.set = TransformationSet{};
  job.set.type = 2;
  for (int i = 0; i < 3; ++i) job.set.rotation[i] = parameters.rotationSeconds[i] / 3600.0;
  job.set.translation = parameters.translation;
  if (groups.scaleKind == 1) job.set.scale = 1.0 + parameters.planScale;
  job.set.sourceEllipsoid = sourceEllipsoid;
  job.set.targetEllipsoid = targetEllipsoid;
  if (preShift != nullptr) job.set.preTranslation = shift;

  if (prior) {
    double largest = 0.0;
    for (double t : parameters.translation) largest = std::max(largest, std::fabs(t));
    if (largest > 3.0 * o.sTrans) host.message(str::PriorContradicted, {largest, o.sTrans});
  }

  report.separator();
  report.section(str::SectionParameters, 39);
  if (groups.scaleKind == 1) report.writeText(str::EllipsoidalScale, {parameters.planScale});
  if (groups.scaleKind == 2) {
    report.writeText(str::EllipsoidalPlanScale, {parameters.planScale});
    report.writeText(str::EllipsoidalHeightScale, {parameters.heightScale});
  }
  if (groups.rotations) {
    report.writeText(str::EllipsoidalRotationX, {parameters.rotationSeconds[0]});
    report.writeText(str::EllipsoidalRotationY, {parameters.rotationSeconds[1]});
    report.writeText(str::EllipsoidalRotationZ, {parameters.rotationSeconds[2]});
  }
  if (groups.translations) {
    report.writeText(str::SpatialTranslation1, {parameters.translation[0]});
    report.writeText(str::SpatialTranslation2, {parameters.translation[1]});
    report.writeText(str::SpatialTranslation3, {parameters.translation[2]});
  }
  report.write("\n");
  if (method == 0) report.writeText(str::InnerPassCount, {solution.counter});

  // 9. Residuals, computed minus given, in metres.
  report.separator();
  report.section(str::SectionResiduals, 33);
  report.writeFormat("%15s%15s%15s%15s\n", {pointColumn, utf8ToWindows1252(table.text(str::ColumnNorth)),
                                            utf8ToWindows1252(table.text(str::ColumnEast)), "Dh [m]"});
  report.rule(61);
  double omega = 0.0;
  std::vector<std::array<double, 3>> v(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const PointRows& pr = rows[i];
    if (!pr.usable) continue;
    EllipsoidalIdenticalPoint& ip = job.identical[i];
    for (int r = 0; r < pr.count; ++r) {
      v[i][r] = RowResidual(pr.a[r], pr.l[r], x);
      omega += pr.p[r] * v[i][r] * v[i][r];
      switch (pr.which[r]) {
        case kRowB: ip.dN = v[i][r] * pr.northScale; break;
        case kRowL: ip.dE = v[i][r] * pr.eastScale; break;
        default: ip.dh = v[i][r]; break;
      }
    }
    std::string line = name15(ip.source.name);
    if (ip.target.hasPosition) line += formatMessage("%15.5f%15.5f", {ip.dN, ip.dE});
    else line += std::string(30, ' ');
    if (ip.target.hasHeight) line += formatMessage("%15.5f", {ip.dh});
    report.write(line + "\n");
  }
  // The prior pseudo-observations t = 0 are observations of the adjustment:
  // their weighted residuals belong to Ω (and σ0) as their rows belong to
  // Qxx. The test takes Ω and r of the points alone (PseudoObservations).
  const Matrix& qxx = solution.qxx;
  const double omegaPoints = omega;
  PseudoObservations priorRows{Matrix(3, u, 0.0), std::vector<double>(3, priorWeight), x};
  for (int i = 0; i < 3; ++i) priorRows.rows(i, translationColumn + i) = 1.0;
  if (prior) omega += priorRows.omega();
  const int redundancy = observations - u;
  const int testRedundancy = prior ? PointsRedundancy(observations - 3, u, priorRows, qxx) : redundancy;
  const PseudoObservations* testPrior = prior ? &priorRows : nullptr;

  // 10. Gross-error test of every identical point with its own rows.
  const TestTableLayout testLayout{48,
                                   {utf8ToWindows1252(table.text(str::ColumnNablaNorth)),
                                    utf8ToWindows1252(table.text(str::ColumnNablaEast)), "NABLA_h [m]"},
                                   64,
                                   true,
                                   str::EllipsoidalTestLine,
                                   64};
  WriteTestTableHead(report, table, testLayout);
  std::vector<PointTest> tests;
  tests.reserve(rows.size());
  std::vector<GeographicPlotPoint> plotted;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const PointRows& pr = rows[i];
    if (!pr.usable) continue;
    const EllipsoidalIdenticalPoint& ip = job.identical[i];
    Matrix design(pr.count, u, 0.0), residuals(pr.count, 1, 0.0);
    std::vector<double> weights(static_cast<std::size_t>(pr.count));
    for (int r = 0; r < pr.count; ++r) {
      for (int j = 0; j < u; ++j) design(r, j) = pr.a[r][j];
      residuals(r, 0) = v[i][r];
      weights[r] = pr.p[r];
    }
    const GrossErrorResult test =
        method == 0
            ? TestAfterL1Fit(design, weights, qxx, solution.passThrough, residuals, omegaPoints, testRedundancy,
                             [&] { return RefitLinear(u, i, rowsExcept, settled, design, x, residuals, testPrior); })
            : TestForGrossError(design, weights, qxx, residuals, omegaPoints, testRedundancy,
                                GrossErrorFit::LeastSquares, testPrior);
    double nabla[3] = {kNaN, kNaN, kNaN};
    for (int r = 0; r < pr.count; ++r) {
      const double value = test.nabla(r, 0);
      switch (pr.which[r]) {
        case kRowB: nabla[0] = value * pr.northScale; break;
        case kRowL: nabla[1] = value * pr.eastScale; break;
        default: nabla[2] = value; break;
      }
    }
    std::string line = formatMessage("%16s", {ip.source.name});
    if (ip.target.hasPosition) line += formatMessage("%16.5f%16.5f", {nabla[0], nabla[1]});
    else line += std::string(32, ' ');
    if (ip.target.hasHeight) line += formatMessage("%16.5f", {nabla[2]});
    report.write(line + "\n");
    const double noValue = kNaN;
    tests.push_back({ip.source.name,
                     {ip.target.hasPosition ? ip.dN : noValue, ip.target.hasPosition ? ip.dE : noValue,
                      ip.target.hasHeight ? ip.dh : noValue},
                     {nabla[0], nabla[1], nabla[2]},
                     test.T,
                     test.F,
                     test.outlier,
                     {"N", "E", "h"},
                     test.tested});
    WriteTestVerdict(report, table, testLayout, tests.back());
    // A height-only point stands in the plot where its source point does.
    const EllipsoidalPoint& at = ip.target.hasPosition ? ip.target : ip.source;
    plotted.push_back({ip.source.name, at.B, at.L, ip.target.hasPosition, ip.dN, ip.dE, ip.target.hasHeight, ip.dh,
                       test.outlier, test.tested});
  }
  // What the run says about itself besides the numbers, after the test
  // table (the report is written as the run goes, so its options block is
  // long written).
  RunNotices notices;
  notices.settled = solution.settled;
  notices.passes = method == 0 ? solution.counter : 1;
  notices.redundancy = testRedundancy;
  notices.distributedOutliers = DistributedOutliers(tests, distribute);
  // The notice of untested points names the most observations a point has:
  // a point with fewer may have been tested.
  for (const PointRows& pr : rows) {
    if (pr.usable) notices.observationsPerPoint = std::max(notices.observationsPerPoint, pr.count);
  }
  if (notices.any()) {
    report.write("\n");
    WriteNotices(report, table, notices);
  }

  // 11. Every source point transformed, with the residuals distributed.
  EllipsoidalResidualDistribution distribution(library, targetEllipsoid, job.settings.interpolationType,
                                               job.settings.interpolationDistance);
  if (distribute) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (!rows[i].usable) continue;
      const EllipsoidalIdenticalPoint& ip = job.identical[i];
      EllipsoidalResidualDistribution::Station s{ip.target.B, ip.target.L, ip.dN, ip.dE,
                                                 ip.target.hasHeight ? ip.dh : kNaN};
      if (!ip.target.hasPosition) {
        // A height-only point stands where the transformation puts it.
        std::array<double, 3> at{};
        if (!transformPoint(library, sourceEllipsoid, targetEllipsoid, groups, preShift, xs, ip.source.B, ip.source.L,
                            ip.source.h, at)) {
          continue;
        }
        s.B = at[0], s.L = at[1], s.dN = s.dE = kNaN;
      }
      distribution.add(s);
    }
  }

  report.separator();
  report.write("\n");
  report.section(str::SectionTransformed, 21);
  columnHead();
  TransformedPointSink sink(output, o.writeIdentical);
  for (const EllipsoidalIdenticalPoint& ip : job.identical) sink.addIdentical(ip.source.name);
  const int g = job.settings.decimalsGeographic;
  const int k = job.settings.decimalsCartesian;
  std::int64_t notTransformed = 0, done = 0;
  std::string firstNotTransformed, text, worstPoint;
  double worstDeparture = 0.0;  // metres
  const bool checkLinearisation = groups.scaleKind != 2;
  const std::int64_t total = static_cast<std::int64_t>(job.source.size());
  for (const EllipsoidalPoint& point : job.source) {
    if (host.cancelled()) {
      host.endProgress();
      return 0;  // report and output are never committed
    }
    if (++done % 4096 == 0) {
      host.setProgressLines(table.text(str::EllipsoidalProgress), table.format(str::PointsTransformed, {done, total}));
    }
    std::array<double, 3> p{}, rigorous{};
    if (!transformPoint(library, sourceEllipsoid, targetEllipsoid, groups, preShift, xs, point.B, point.L, point.h,
                        p) ||
        !Writable(p[0], p[1], p[2])) {
      if (notTransformed++ == 0) firstNotTransformed = point.name;
      continue;
    }
    if (checkLinearisation &&
        rigorousPoint(library, sourceEllipsoid, targetEllipsoid, preShift, parameters, point.B, point.L, point.h,
                      rigorous)) {
      double north = 0.0, east = 0.0;
      metresPerSecond(targetEllipsoid, p[0], north, east);
      const double departure = std::sqrt(std::pow((p[0] - rigorous[0]) * 3600.0 * north, 2) +
                                         std::pow(wrapDegrees(p[1] - rigorous[1]) * 3600.0 * east, 2) +
                                         std::pow(p[2] - rigorous[2], 2));
      if (departure > worstDeparture) worstDeparture = departure, worstPoint = point.name;
    }
    if (distribute) distribution.apply(p);
    report.write(name15(point.name) + position(p[0], p[1]) + formatMessage("%15.5f\n", {p[2]}));
    FormatEllipsoidalPointLine(text, point.name, p, dms, g, k);
    sink.write(point.name, text);
  }
  host.endProgress();
  if (notTransformed > 0 && leftOut == 0) host.message(str::PointsLeftOut, {notTransformed, firstNotTransformed});
  constexpr double kTolerableDeparture = 1e-3;  // metres
  if (worstDeparture > kTolerableDeparture) host.message(str::LinearisationError, {worstDeparture * 1000.0, worstPoint});

  if (!FinishEstimationRun(host, report, job.reportPath, output, job.outputPath, summary)) return 0;

  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].usable) continue;
    const EllipsoidalIdenticalPoint& ip = job.identical[i];
    job.set.points.push_back({ip.source.name,
                              {ip.source.B, ip.source.L, ip.source.h},
                              {ip.target.B, ip.target.L, ip.target.h},
                              {ip.dN, ip.dE, ip.dh},
                              {}});
  }
  TellNotices(host, notices);
  ResidualPlot plot = EllipsoidalPlot(str::ListEllipsoidal, plotted, targetEllipsoid.a);
  if (!job.plotPath.empty()) WriteResidualPlot(job.plotPath, plot, host);
  if (summary != nullptr) {
    summary->plot = std::move(plot);
    // Standard deviations from σ0 and the cofactors of the least-squares
    // adjustment with the a-priori weights.
    const std::optional<double> sigma0 = UnitWeightSigma(omega, redundancy);
    auto sigmaOf = [&](int column) -> std::optional<double> {
      if (!sigma0) return std::nullopt;
      return *sigma0 * std::sqrt(std::fmax(qxx(column, column), 0.0));
    };
    std::vector<EstimatedParameter> list;
    if (groups.scaleKind == 1) list.push_back({"m", parameters.planScale, "", sigmaOf(scaleColumn)});
    if (groups.scaleKind == 2) {
      list.push_back({"mP", parameters.planScale, "", sigmaOf(scaleColumn)});
      list.push_back({"mH", parameters.heightScale, "", sigmaOf(scaleColumn + 1)});
    }
    if (groups.rotations) {
      const char* names[3] = {"ex", "ey", "ez"};
      for (int i = 0; i < 3; ++i) list.push_back({names[i], parameters.rotationSeconds[i], "arcsec", sigmaOf(i)});
    }
    if (groups.translations) {
      const char* names[3] = {"tx", "ty", "tz"};
      for (int i = 0; i < 3; ++i) {
        list.push_back({names[i], parameters.translation[i], "m", sigmaOf(translationColumn + i)});
      }
    }
    FillEstimationSummary(*summary, method, notices.passes, omega, redundancy, std::move(list), std::move(tests),
                          static_cast<std::int64_t>(job.source.size() + job.target.size()), sink.written(),
                          identicalUsed, notices);
    summary->ellipsoids = {{"source", sourceEllipsoid}, {"target", targetEllipsoid}};
    if (preShift != nullptr) summary->preTranslation = shift;
    summary->linesUnreadable = sourceNotes.unreadable + targetNotes.unreadable;
    if (sourceNotes.unreadable > 0) {
      summary->firstUnreadable = job.sourcePath.string() + ":" + std::to_string(sourceNotes.firstUnreadableLine);
    } else if (targetNotes.unreadable > 0) {
      summary->firstUnreadable = job.targetPath.string() + ":" + std::to_string(targetNotes.firstUnreadableLine);
    }
  }
  return 1;
}

}  // namespace pelmar
