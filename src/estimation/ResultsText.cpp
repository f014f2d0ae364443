#include "estimation/ResultsText.h"

#include <cmath>
#include <cstdio>

#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "estimation/EstimationJob.h"

namespace pelmar {

namespace {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  // "-0.0000" is a sign without a value.
  if (text[0] == '-' && std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) return text + 1;
  return text;
}

std::string padded(std::string text, std::size_t width, bool right) {
  if (text.size() >= width) return text + " ";
  const std::string blanks(width - text.size(), ' ');
  return right ? blanks + text : text + blanks;
}

}  // namespace

std::string ParameterNumber(double value, const std::string& unit) {
  if (!std::isfinite(value)) return "-";
  if (unit == "m") return fixed(value, 4);
  if (unit == "arcsec") return fixed(value, 5);
  if (unit == "deg") return fixed(value, 9);
  if (unit == "ppm") return fixed(value, 4);
  return fixed(value, 10);
}

std::string ResultsText(const EstimationSummary& summary, const LanguageTable& table) {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\n"; };
  if (summary.sigma0) {
    line(table.format(str::ResultsSigma0, {fixed(*summary.sigma0, 5), summary.redundancy}));
  } else {
    line(table.text(str::ResultsSigma0None));
  }
  line(table.format(str::ResultsRedundancy, {summary.redundancy, summary.testK, summary.testDf}));
  line("");
  line(table.text(str::ResultsParameterHead));
  for (const EstimatedParameter& p : summary.parameters) {
    line(padded(p.name, 10, false) + padded(ParameterNumber(p.value, p.unit), 20, true) +
         padded(p.sigma ? ParameterNumber(*p.sigma, p.unit) : "-", 16, true) + "  " + p.unit);
  }
  if (summary.parameterSigma == "l1-asymptotic") line(table.text(str::ResultsL1Sigma));
  // The axes of the files, as the point records name them.
  const std::vector<std::string> axes =
      summary.points.empty() ? std::vector<std::string>{"1", "2", "3"} : summary.points.front().axes;
  auto vector = [&](int headId, const std::array<double, 3>& t, const std::vector<std::string>& names) {
    std::string text = table.text(headId);
    for (std::size_t c = 0; c < names.size() && c < 3; ++c) {
      text += (c == 0 ? " " : ", ") + names[c] + " = " + fixed(t[c], 4) + " m";
    }
    line(text);
  };
  if (summary.filesTranslation) vector(str::ResultsFilesTranslation, *summary.filesTranslation, axes);
  if (summary.preTranslation) vector(str::ResultsPreTranslation, *summary.preTranslation, {"tx", "ty", "tz"});
  line("");
  std::int64_t flagged = 0;
  for (const PointTest& p : summary.points) flagged += p.outlier ? 1 : 0;
  if (flagged == 0) {
    line(table.text(str::ResultsNoneFlagged));
  } else {
    line(table.format(str::ResultsFlagged, {flagged}));
    for (const PointTest& p : summary.points) {
      if (p.outlier) line("  " + padded(p.name, 16, false) + "T = " + fixed(p.T, 2) + "  F = " + fixed(p.F, 2));
    }
  }
  if (summary.outsideHull > 0) line(table.format(str::ResultsOutsideHull, {summary.outsideHull}));
  return out;
}

}  // namespace pelmar
