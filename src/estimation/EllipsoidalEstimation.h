#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "app/OptionSection.h"
#include "estimation/EllipsoidalModel.h"
#include "estimation/EllipsoidalPointFile.h"
#include "estimation/EstimationJob.h"
#include "settings/EllipsoidDatabase.h"
#include "settings/GeneralSettings.h"
#include "stored/TransformationSet.h"

namespace pelmar {

class JobHost;
class ProjectionLibrary;

// Options of the estimation in ellipsoidal coordinates, section
// "HelmertTrafo3DBL". Switches are 0/1 (a check box's third state 2 counts
// as on); standard deviations in metres.
struct EstimationOptions3DBL {
  static constexpr const char* kSection = "HelmertTrafo3DBL";
  int writeIdentical = 1;      // "WriteIdentical": identical points into the output file too
  int type = 1;                // "Type": 0 L1 norm, 1 least squares
  int scale = 1;               // "Scale": estimate scale
  int rotations = 1;           // "Rotations": estimate the three rotations
  int translations = 1;        // "Translations": estimate the three translations
  int saveParams = 0;          // "SaveParams": offer the set for storing
  int savePointInfo = 0;       // "SavePPInfo": store the identical points with it
  int individual = 1;          // "Individual": use accuracies given with the points
  double sHeightSource = 0.01;  // "sHeightSrc"
  double sHeightTarget = 0.01;  // "sHeight"
  double sPlanSource = 0.01;    // "sPlanSrc"
  double sPlanTarget = 0.01;    // "SPlanTarget"
  double s0 = 0.01;             // "s0": standard deviation of unit weight
  int preTranslate = 1;         // "Vortrafo"
  double tx = -596.0, ty = -72.0, tz = -414.0;  // "tx", "ty", "tz": pre-translation (metres)
  int prior = 1;                // "Vorinfo": prior information on the remaining translations
  double sTrans = 3.0;          // "sTrans": its standard deviation (metres)
  int ellipsoidSource = 0;      // "EllipSrc": combo index (0 none, i + 1 the list's record i)
  int ellipsoidTarget = 0;      // "EllipTarget"
  int scaleType = 0;            // "ScaleType": 0 one scale factor, 1 plan and height scale

  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    visit("WriteIdentical", o.writeIdentical);
    visit("Type", o.type);
    visit("Scale", o.scale);
    visit("Rotations", o.rotations);
    visit("Translations", o.translations);
    visit("SaveParams", o.saveParams);
    visit("SavePPInfo", o.savePointInfo);
    visit("Individual", o.individual);
    visit("sHeightSrc", o.sHeightSource);
    visit("sHeight", o.sHeightTarget);
    visit("sPlanSrc", o.sPlanSource);
    visit("SPlanTarget", o.sPlanTarget);
    visit("s0", o.s0);
    visit("Vortrafo", o.preTranslate);
    visit("tx", o.tx);
    visit("ty", o.ty);
    visit("tz", o.tz);
    visit("Vorinfo", o.prior);
    visit("sTrans", o.sTrans);
    visit("EllipSrc", o.ellipsoidSource);
    visit("EllipTarget", o.ellipsoidTarget);
    visit("ScaleType", o.scaleType);
  }

  // Loads the section when it exists (a key it lacks reads as 0), then the
  // --set overrides; a check box outside 0…2 reads as 0, "Type" outside 0/1
  // as 1 and "ScaleType" outside 0/1 as 0 (one scale).
  void load(const SettingsStore& store);
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }

  // 1 one scale factor, 2 plan and height scale (the in-memory form of "ScaleType").
  int scaleKindSetting() const noexcept { return scaleType == 1 ? 2 : 1; }
  void setScaleKind(int kind) noexcept { scaleType = kind == 2 ? 1 : 0; }
  // What the run estimates: 0 no scale, else the scale kind.
  EllipsoidalGroups groups() const noexcept { return {rotations != 0, translations != 0, scale != 0 ? scaleKindSetting() : 0}; }
  bool priorActive() const noexcept { return preTranslate != 0 && prior != 0 && translations != 0; }

  // The first key in use whose value cannot serve (a standard deviation
  // outside 1e-9 … 1e6, a pre-translation component beyond ±kLargestShift
  // metres), or nullptr.
  static constexpr double kLargestShift = 1e7;
  const char* invalidKey() const;
};

// An identical point: both points of the pair and, after the adjustment,
// its residuals computed minus given (metres; north, east, height). A
// residual the point has no observation for is kNoResidual.
struct EllipsoidalIdenticalPoint {
  static constexpr double kNoResidual = -9999.999;
  EllipsoidalPoint source;
  EllipsoidalPoint target;
  double dN = kNoResidual, dE = kNoResidual, dh = kNoResidual;
};

struct EllipsoidalJob {
  std::filesystem::path sourcePath;
  std::filesystem::path targetPath;
  std::filesystem::path reportPath;
  std::filesystem::path outputPath;  // empty: no output point file
  std::filesystem::path plotPath;    // empty: no residual plot (SVG)
  GeneralSettings settings;          // formats, decimals, report header, residual distribution
  EllipsoidRecord sourceEllipsoid;
  EllipsoidRecord targetEllipsoid;
  EstimationOptions3DBL options;

  EllipsoidalPointList source;
  EllipsoidalPointList target;
  std::vector<EllipsoidalIdenticalPoint> identical;
  TransformationSet set;  // type 2, filled by a successful run
  EllipsoidalParameters parameters;  // as estimated (also with two scales)
};

// The estimation: reads both files (decimal degrees or degrees, minutes,
// seconds by the general setting "FormatGeog"), pairs the identical points,
// estimates the chosen groups by least squares or the weighted L1 norm,
// tests every identical point, transforms every source point (with the
// residual distribution when it is on) and writes the report and the output
// file. Returns 1 when the report was written, 0 when the run stopped with a
// message through `host`.
int EstimateEllipsoidalHelmert(EllipsoidalJob& job, ProjectionLibrary& library, JobHost& host,
                               EstimationSummary* summary = nullptr);

// One output line of a geographic point (B, L degrees, h metres): decimal
// degrees, or degrees, minutes and seconds (the seconds rounded and carried
// to the printed decimals), with the user's decimals.
void FormatEllipsoidalPointLine(std::string& line, std::string_view name,
                                const std::array<double, 3>& point, bool dms, int decimalsGeographic,
                                int decimalsMetric);

// The run's transformation applied to one source point (B, L degrees, h
// metres) on `set`'s source ellipsoid: the pre-translation, the rows on the
// way to the target ellipsoid and the seven parameters (rotations converted
// to arc seconds, m = scale − 1). False when the library cannot convert the
// point.
bool MapType2(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
              std::array<double, 3>& out);

}  // namespace pelmar
