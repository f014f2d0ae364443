#include "estimation/EstimationSections.h"

#include <cmath>

#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/OutputFile.h"
#include "app/StringIds.h"
#include "app/TextEncoding.h"
#include "estimation/ReportFile.h"

namespace pelmar {

void WriteTestTableHead(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout) {
  report.separator();
  report.section(str::SectionGrossErrors, layout.titleRule);
  std::string format;
  MessageArgs heads;
  format += "%16s";
  heads.push_back(utf8ToWindows1252(table.text(str::ColumnPoint)));
  for (const std::string& axis : layout.axes) {
    format += "%16s";
    heads.push_back(axis);
  }
  report.writeFormat(format + "\n\n", heads);
  report.writeFormat("%16s%16s%16s\n",
                     {utf8ToWindows1252(table.text(str::ColumnTestValue)),
                      utf8ToWindows1252(table.text(str::ColumnQuantile)),
                      utf8ToWindows1252(table.text(str::ColumnVerdict))});
  report.rule(layout.headRule);
  if (layout.blankAfterHead) report.write("\n");
}

void WriteTestVerdict(ReportFile& report, const LanguageTable& table, const TestTableLayout& layout, double T, double F,
                      bool outlier) {
  report.writeText(layout.testLineId, {T, F, table.text(outlier ? str::VerdictGrossError : str::VerdictAccepted)});
  report.dashed(layout.dashLength);
}

void TransformedPointSink::write(std::string_view name, std::string_view line) {
  if (!output_.isOpen()) return;
  if (writeIdentical_ == 0 && isIdentical(name)) return;
  output_.write(line);
  ++written_;
}

bool FinishEstimationRun(JobHost& host, ReportFile& report, const std::filesystem::path& reportPath,
                         OutputFile& output, const std::filesystem::path& outputPath) {
  if (output.isOpen() && !output.commit()) host.message(str::OutputNotCreated, {outputPath.string()});
  if (!report.close()) {
    host.message(str::ReportNotCreated, {reportPath.string()});
    return false;
  }
  return true;
}

void FillEstimationSummary(EstimationSummary& summary, int method, int passes, double omega, int redundancy,
                           std::vector<EstimatedParameter> parameters, std::vector<PointTest> tests,
                           std::int64_t linesRead, std::int64_t written, std::int64_t identicalPoints,
                           bool converged) {
  summary.method = method == 0 ? "l1" : "least-squares";
  summary.passes = passes;
  summary.redundancy = redundancy;
  summary.converged = converged;
  summary.sigma0.reset();
  if (method != 0 && redundancy > 0) summary.sigma0 = std::sqrt(omega / redundancy);
  summary.parameters = std::move(parameters);
  summary.points = std::move(tests);
  summary.linesRead = linesRead;
  summary.pointsWritten = written;
  summary.identicalPoints = identicalPoints;
}

}  // namespace pelmar
