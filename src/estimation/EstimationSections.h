#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <mutex>
#include <vector>

#include "estimation/EstimationJob.h"
#include "estimation/PointSpread.h"
#include "points/NameIndex.h"

namespace pelmar {

class JobHost;
class LanguageTable;
class OutputFile;
class ReportFile;

// The layout of a report's gross-error table; the estimations differ only
// in these numbers and texts.
struct TestTableLayout {
  int titleRule = 44;              // "=" under the title
  std::vector<std::string> axes;   // ∇ column heads, e.g. "NABLAY", "NABLAX"
  int headRule = 48;               // "=" under the column heads
  bool blankAfterHead = true;      // an empty line before the first point
  int testLineId = 0;              // language format taking T, F and the verdict
  int dashLength = 58;             // "-" under each point
};

// Separator, title, rule and the two column-head lines of the table.
void WriteTestTableHead(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout);
// One point's verdict line (T, F, text: "gross error", "accepted" or "not
// tested") and its dashed line; the ∇ line above it is the caller's, since
// its columns depend on the point. A T beyond the column's 16 characters
// (the other points fitting exactly) is printed in exponent form.
// Appended to `out` as the report holds it (Windows-1252), so that the
// lines of many points can be made on several cores.
void AppendTestVerdict(std::string& out, const LanguageTable& table, const TestTableLayout& layout,
                       const PointTest& test);

// The output file of the transformed points: every source point goes in,
// except identical points when "WriteIdentical" is off.
class TransformedPointSink {
 public:
  TransformedPointSink(OutputFile& output, int writeIdentical) : output_(output), writeIdentical_(writeIdentical) {}

  // The identical points: how many, and each one's name by index (the
  // names must outlive the sink; a copy of a million views was 16 MB).
  void setIdentical(std::size_t count, std::function<std::string_view(std::size_t)> nameOf) {
    identicalCount_ = count;
    nameOf_ = std::move(nameOf);
  }
  // Safe from several threads at once; the first call indexes the names
  // (a run that writes every point asks none).
  bool isIdentical(std::string_view name) const;

  // Writes the line unless the output file is closed or the point is an
  // identical point to be left out.
  void write(std::string_view name, std::string_view line);
  std::int64_t written() const noexcept { return written_; }

 private:
  OutputFile& output_;
  int writeIdentical_;
  struct NameAt {
    const std::function<std::string_view(std::size_t)>* nameOf;
    std::string_view operator()(std::size_t i) const { return (*nameOf)(i); }
  };
  std::size_t identicalCount_ = 0;
  std::function<std::string_view(std::size_t)> nameOf_;
  mutable std::once_flag indexed_;
  mutable std::optional<NameIndex<NameAt>> index_;
  std::int64_t written_ = 0;
};

// The end of every estimation run: commits the output file (message 120 when
// that fails; the run still counts, but `summary->outputWritten` says so, and
// so it does when the output asked for could not be opened) and the report
// (message 137 and false when that fails).
bool FinishEstimationRun(JobHost& host, ReportFile& report, const std::filesystem::path& reportPath,
                         OutputFile& output, const std::filesystem::path& outputPath, EstimationSummary* summary);

// What a run says about its own result besides the numbers. Each notice
// goes into the report's options block (WriteNotices), to the person
// (TellNotices: a message each, on the command line's stderr) and into the
// summary (FillEstimationSummary).
struct RunNotices {
  bool settled = true;  // false: the iteration stopped at its pass limit or its last pass still moved the points
  int passes = 0;       // the pass counter as the report prints it
  std::vector<std::string> distributedOutliers;  // flagged points whose residuals were distributed
  int redundancy = 0;
  int observationsPerPoint = 0;  // the k of the test: 2 plane, 3 spatial

  // The test of a point with k observations leaves r − k degrees of freedom
  // for the variance factor without the point; with none, T and F are 0 and
  // every point reads "accepted" without having been tested.
  bool testPossible() const noexcept { return redundancy - observationsPerPoint >= 1; }
  bool any() const noexcept { return !settled || !distributedOutliers.empty() || !testPossible(); }
};

// "Notices:" and one indented line per notice; nothing when there is no
// notice, so that the report of a sound run keeps its layout. The blank
// lines around the block are the caller's, to match its options block.
void WriteNotices(ReportFile& report, const LanguageTable& table, const RunNotices& notices);
void TellNotices(JobHost& host, const RunNotices& notices);

// The flagged points among `tests`, in their order, when the residuals were
// distributed; none otherwise.
std::vector<std::string> DistributedOutliers(const std::vector<PointTest>& tests, bool distributed);

// The estimation fields of the command line's summary. σ0 = √(Ω / r) for
// either method (for the L1 fit over its own residuals), none when r = 0;
// the parameters carry their standard deviations already.
void FillEstimationSummary(EstimationSummary& summary, int method, int passes, double omega, int redundancy,
                           std::vector<EstimatedParameter> parameters, std::vector<PointTest> tests,
                           std::int64_t linesRead, std::int64_t written, std::int64_t identicalPoints,
                           const RunNotices& notices);

// σ0 = √(Ω / r), or nothing without redundancy.
std::optional<double> UnitWeightSigma(double omega, int redundancy);

// The message for identical points whose spread the model cannot use
// (PointsAtOnePlace, PointsOnOneLine); false when it was given.
bool CheckSpread(JobHost& host, const std::vector<std::array<double, 3>>& source, const std::array<double, 3>& about,
                 SpreadNeed need);
// The target points of a model with a scale or rotations must not all lie
// at one place either: they would give the scale 0, every point mapped onto
// one (TargetPointsAtOnePlace); false when the message was given.
bool CheckTargetSpread(JobHost& host, const std::vector<std::array<double, 3>>& target,
                       const std::array<double, 3>& about, SpreadNeed need);

// The message for an identical point whose coordinates no computation can
// take (CoordinatesUnusable, with its name); false when it was given.
bool CheckCoordinates(JobHost& host, const std::vector<IdenticalPoint>& identical);

// Message PointsNotTransformed: `count` points left out, the first named.
void TellLeftOut(JobHost& host, std::int64_t count, const std::string& first);

// A point name for a message: the files' bytes as UTF-8 (read as
// Windows-1252 when they are not UTF-8), a blank inside a delimited field as
// a blank; the report keeps the bytes, as the point tables show them.
std::string utf8Name(const std::string& name);

// An angle in degrees reduced to (−180°, 180°].
double ReduceDegrees(double degrees);

}  // namespace pelmar
