#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/OptionSection.h"
#include "estimation/ResidualPlot.h"
#include "points/PointFile.h"
#include "points/PointRecord.h"
#include "settings/EllipsoidDatabase.h"
#include "settings/GeneralSettings.h"

namespace pelmar {

// A point found by name in both files: source and target coordinates (Y
// easting, X northing, Z the third value) and, after the adjustment, the
// residuals computed minus given.
struct IdenticalPoint {
  std::string name;
  double sourceY = 0.0, sourceX = 0.0, sourceZ = 0.0;
  double targetY = 0.0, targetX = 0.0, targetZ = 0.0;
  double dY = 0.0, dX = 0.0, dZ = 0.0;
};

// Everything one estimation run works on; made by the page or command from
// its file names and a copy of the general settings.
struct EstimationJob {
  std::filesystem::path sourcePath;
  std::filesystem::path targetPath;
  std::filesystem::path reportPath;
  std::filesystem::path outputPath;  // empty: no output point file
  std::filesystem::path plotPath;    // empty: no residual plot (SVG)
  GeneralSettings settings;          // decimals, report header, residual distribution

  PointList source;
  PointList target;  // released once paired (ReadEstimationPoints); its count stays in targetRead
  std::int64_t targetRead = 0;
  std::vector<IdenticalPoint> identical;
  // Data lines of both files that fit no layout, and "file:line" of the first.
  std::int64_t linesUnreadable = 0;
  std::string firstUnreadable;
};

// Options of the plane estimation, section "SoldnerSettings" (shared with
// the Soldner projection, whose keys differ).
struct EstimationOptions2D {
  static constexpr const char* kSection = "SoldnerSettings";
  int type = 0;            // "Type": 0 L1 norm, 1 least squares
  int center = 1;          // "Center": reduce both systems to their centroids
  int writeIdentical = 1;  // "WriteIdentical": identical points into the output file too

  template <class Self, class Visit>
  static void keys(Self& o, Visit&& visit) {
    visit("Type", o.type);
    visit("Center", o.center);
    visit("WriteIdentical", o.writeIdentical);
  }
  // Loads the keys when the section exists (a key it lacks reads as 0), then
  // the --set overrides.
  void load(const SettingsStore& store) { LoadSection(store, *this); }
  bool save(const SettingsStore& store) const { return SaveSection(store, *this); }
};

// Pairs every source point with the first target point of equal name, byte
// for byte; appends the pairs in source order.
void MatchIdenticalPoints(EstimationJob& job);

class JobHost;
class OutputFile;
class ReportFile;

// The opening every estimation shares: reads the source and target files
// with `read` (ReadPointFile2D or ReadPointFile3D; lines it cannot use are
// told with their count and the first one's number) and pairs the identical
// points, of which the model needs at least `minimumIdentical` (message 135
// with the count found and the count needed). False when the run must stop;
// the message has been given. Nothing is written.
bool ReadEstimationPoints(EstimationJob& job, int (*read)(const std::filesystem::path&, PointList&, UnreadableLines*, bool),
                          int minimumIdentical, JobHost& host);

// Opens the report (its failure ends the run) and the optional output file
// (its failure is told, and the run goes on without it). Both are written
// through temporary files that replace the named files only when the run
// finishes (FinishEstimationRun): a run that stops later leaves them as they
// were.
bool OpenEstimationFiles(const std::filesystem::path& reportPath, const std::filesystem::path& outputPath, JobHost& host,
                         ReportFile& report, OutputFile& output);

// Section 2 of every estimation report up to the identical-points line:
// options title, method and whether identical points go to the output file.
void WriteOptionsSection(ReportFile& report, const JobHost& host, int method, int writeIdentical);

// What a run found, for the command line's summary.
struct EstimatedParameter {
  std::string name;
  double value = 0.0;
  std::string unit;
  std::optional<double> sigma;  // standard deviation, in the value's unit; none without redundancy
};

// Up to three numbers, one per axis of a point (residuals, ∇, MDB), held in
// place: as std::vector they cost a run of a million points three heap
// blocks per point. More than three is a fault of the caller
// (std::length_error).
class AxisValues {
 public:
  using value_type = double;
  using const_iterator = const double*;
  using iterator = const double*;

  AxisValues() = default;
  AxisValues(const std::vector<double>& values) : AxisValues(values.data(), values.size()) {}  // NOLINT: as a vector
  AxisValues(std::initializer_list<double> values) : AxisValues(values.begin(), values.size()) {}

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const double* data() const noexcept { return values_.data(); }
  const double* begin() const noexcept { return values_.data(); }
  const double* end() const noexcept { return values_.data() + size_; }
  double operator[](std::size_t i) const { return values_[i]; }
  bool operator==(const AxisValues& other) const {
    return std::equal(begin(), end(), other.begin(), other.end());
  }

 private:
  AxisValues(const double* values, std::size_t count) {
    if (count > values_.size()) throw std::length_error("AxisValues: more than three axes");
    std::copy(values, values + count, values_.begin());
    size_ = static_cast<unsigned char>(count);
  }
  std::array<double, 3> values_{};
  unsigned char size_ = 0;
};

struct PointTest {
  std::string name;
  AxisValues residuals;  // computed minus given, in the file's axis order
  AxisValues nabla;
  double T = 0.0;
  double F = 0.0;
  bool outlier = false;
  bool tested = true;  // false: the redundancy left no test of this point (T and F are 0)
  // Reliability: the share of the point's observations the other points
  // control (its redundancy numbers summed over k, 0 … 1), and the minimal
  // detectable bias of each component (metres; NaN where none is detectable).
  double redundancyShare = 0.0;
  AxisValues mdb;
};

struct EstimationSummary {
  std::string method;  // "least-squares" or "l1"
  int passes = 0;      // the pass counter the report prints; 1 for a single least-squares solution
  std::optional<int> reweightingPasses;  // the rigorous spatial L1 fit: its reweighting counter
  int redundancy = 0;     // observations minus unknowns
  bool converged = true;  // false when an iteration ended at its pass limit or did not settle
  bool grossErrorTest = true;  // false when the redundancy left no test of a point possible
  std::optional<double> sigma0;  // standard deviation of unit weight, √(Ω/r); none when r = 0
  int testK = 0;       // observations per point in the gross-error test
  int testDf = 0;      // its second degrees of freedom, r − k
  double testLevel = 0.95;
  // How the parameters' σ were found: "least-squares" (σ0 and the cofactors)
  // or "l1-asymptotic" (the cofactors and the L1 residuals' density at zero).
  std::string parameterSigma = "least-squares";
  std::vector<std::string> distributedOutliers;  // points flagged as gross errors whose residuals were distributed
  std::vector<EstimatedParameter> parameters;
  std::vector<PointTest> points;
  std::vector<std::string> testAxes;  // names of each point's residual components, e.g. "Y", "X"
  // False where the caller reads neither `points` nor `plot` (the command
  // line without --summary): the run lets the point records go once the
  // report is written, and keeps no plot.
  bool keepPoints = true;
  // What else the transformation needs besides the parameters (the
  // ellipsoidal estimation): ellipsoids and the pre-translation (metres).
  std::vector<std::pair<std::string, EllipsoidRecord>> ellipsoids;  // "source", "target"
  std::optional<std::array<double, 3>> preTranslation;
  // The result as a PROJ operation on the source coordinates in PROJ's axis
  // order (empty: none), and for the ellipsoidal model how far it departs
  // from the model at the identical points (metres).
  std::string proj;
  std::optional<double> projFidelity;
  // The plane and cartesian models: the translations of the whole map from
  // the source to the target file's coordinates (metres, the files' axis
  // order), which the parameters give reduced to the centroids.
  std::optional<std::array<double, 3>> filesTranslation;
  std::vector<std::string> filesAxes;  // the files' column names, in their order ("Y", "X"; "X", "Y", "Z")
  std::int64_t linesRead = 0;  // points read from both files
  std::int64_t linesUnreadable = 0;  // data lines of both files that fit no layout
  std::string firstUnreadable;       // "file:line" of the first of them
  std::int64_t pointsWritten = 0;
  std::int64_t pointsLeftOut = 0;  // source points whose transform is not finite
  std::string firstLeftOut;
  // Transformed points outside the identical points' convex hull in plan,
  // and the farthest of them with its distance (metres).
  std::int64_t outsideHull = 0;
  std::string farthestOutsideHull;
  double farthestOutsideDistance = 0.0;
  std::int64_t identicalPoints = 0;
  ResidualPlot plot;  // the identical points with their residuals and verdicts, as the plot shows them
  bool outputWritten = true;  // false when the output point file asked for could not be written
};

}  // namespace pelmar
