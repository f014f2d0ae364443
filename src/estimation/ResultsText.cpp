#include "estimation/ResultsText.h"

#include <cmath>

#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "estimation/EstimationJob.h"
#include "estimation/EstimationSections.h"
#include "text/NumberFormat.h"
#include "text/TextEncoding.h"

namespace pelmar {

namespace {

// Padded to `width` characters (UTF-8: "σ" and "ß" are one column each).
std::string padded(std::string text, std::size_t width, bool right) {
  const std::size_t columns = characterCount(text);
  if (columns >= width) return text + " ";
  const std::string blanks(width - columns, ' ');
  return right ? blanks + text : text + blanks;
}

// A parameter's name as the panel shows it: the symbols as they are, the
// words in the interface's language ("rotation2" -> "Drehung 2").
std::string shownName(const std::string& name, const LanguageTable& table) {
  for (const auto& [word, id] : {std::pair<std::string, int>{"rotation", str::ResultsRotation}, {"scale", str::ResultsScale}}) {
    if (name.rfind(word, 0) != 0) continue;
    const std::string rest = name.substr(word.size());
    return table.text(id) + (rest.empty() ? "" : " " + rest);
  }
  return name;
}

}  // namespace

std::string ParameterNumber(double value, const std::string& unit) {
  if (!std::isfinite(value)) return "-";
  if (unit == "m") return FixedText(value, 4);
  if (unit == "arcsec") return FixedText(value, 5);
  if (unit == "deg") return FixedText(value, 9);
  if (unit == "ppm") return FixedText(value, 4);
  return FixedText(value, 10);
}

std::string ResultsText(const EstimationSummary& summary, const LanguageTable& table) {
  std::string out;
  auto line = [&out](const std::string& text) { out += text + "\n"; };
  if (summary.sigma0) {
    line(table.format(str::ResultsSigma0, {FixedText(*summary.sigma0, 5), summary.redundancy}));
  } else {
    line(table.text(str::ResultsSigma0None));
  }
  if (summary.grossErrorTest) {
    line(table.format(str::ResultsRedundancy, {summary.redundancy, summary.testK, summary.testDf}));
  } else {
    line(table.format(str::NoticeNoGrossErrorTest, {summary.redundancy, summary.testK}));
  }
  line("");
  // The heading in the columns of the rows: "Parameter|Value|σ|Unit".
  std::vector<std::string> head;
  const std::string heading = table.text(str::ResultsParameterHead);
  for (std::size_t from = 0, bar = 0; bar != std::string::npos; from = bar + 1) {
    bar = heading.find('|', from);
    head.push_back(heading.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
  }
  head.resize(4);
  line(padded(head[0], 12, false) + padded(head[1], 18, true) + padded(head[2], 16, true) + "  " + head[3]);
  for (const EstimatedParameter& p : summary.parameters) {
    line(padded(shownName(p.name, table), 12, false) + padded(ParameterNumber(p.value, p.unit), 18, true) +
         padded(p.sigma ? ParameterNumber(*p.sigma, p.unit) : "-", 16, true) + "  " + p.unit);
  }
  if (summary.parameterSigma == "l1-asymptotic") line(table.text(str::ResultsL1Sigma));
  auto vector = [&](int headId, const std::array<double, 3>& t, const std::vector<std::string>& names) {
    line(table.text(headId));
    for (std::size_t c = 0; c < names.size() && c < 3; ++c) {
      line("  " + padded(names[c], 10, false) + padded(FixedText(t[c], 4), 18, true) + "  m");
    }
  };
  if (summary.filesTranslation) vector(str::ResultsFilesTranslation, *summary.filesTranslation, summary.filesAxes);
  if (summary.preTranslation) vector(str::ResultsPreTranslation, *summary.preTranslation, {"tx", "ty", "tz"});
  line("");
  std::int64_t flagged = 0;
  for (const PointTest& p : summary.points) flagged += p.outlier ? 1 : 0;
  if (!summary.grossErrorTest) {
    // Nothing was tested: no verdict to give.
  } else if (flagged == 0) {
    line(table.text(str::ResultsNoneFlagged));
  } else {
    line(table.format(str::ResultsFlagged, {flagged}));
    for (const PointTest& p : summary.points) {
      if (p.outlier) {
        line("  " + padded(utf8Name(p.name), 16, false) + "T = " + FixedText(p.T, 2) + "  F = " + FixedText(p.F, 2));
      }
    }
  }
  if (summary.outsideHull > 0) line(table.format(str::ResultsOutsideHull, {summary.outsideHull}));
  return out;
}

std::string FixedText(double value, int decimals) {
  std::string text = formatFixed(value, 0, decimals);
  if (text[0] == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
  return text;
}

}  // namespace pelmar
