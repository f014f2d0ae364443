#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "estimation/EstimationJob.h"

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
// One point's verdict line (T, F, text) and its dashed line; the ∇ line above
// it is the caller's, since its columns depend on the point.
void WriteTestVerdict(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout, double T, double F,
                      bool outlier);

// The output file of the transformed points: every source point goes in,
// except identical points when "WriteIdentical" is off.
class TransformedPointSink {
 public:
  TransformedPointSink(OutputFile& output, int writeIdentical) : output_(output), writeIdentical_(writeIdentical) {}

  // The names of the identical points; they must outlive the sink.
  void addIdentical(std::string_view name) { identical_.insert(name); }
  bool isIdentical(std::string_view name) const { return identical_.count(name) > 0; }

  // Writes the line unless the output file is closed or the point is an
  // identical point to be left out.
  void write(std::string_view name, std::string_view line);
  std::int64_t written() const noexcept { return written_; }

 private:
  OutputFile& output_;
  int writeIdentical_;
  std::unordered_set<std::string_view> identical_;
  std::int64_t written_ = 0;
};

// The end of every estimation run: commits the output file (message 120 when
// that fails; the run still counts) and the report (message 137 and false
// when that fails).
bool FinishEstimationRun(JobHost& host, ReportFile& report, const std::filesystem::path& reportPath,
                         OutputFile& output, const std::filesystem::path& outputPath);

// The estimation fields of the command line's summary. sigma0 is given for
// least squares with redundancy: √(Ω / r).
void FillEstimationSummary(EstimationSummary& summary, int method, int passes, double omega, int redundancy,
                           std::vector<EstimatedParameter> parameters, std::vector<PointTest> tests,
                           std::int64_t linesRead, std::int64_t written, std::int64_t identicalPoints,
                           bool converged);

}  // namespace pelmar
