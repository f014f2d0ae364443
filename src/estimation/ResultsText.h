#pragma once

#include <string>

namespace pelmar {

class LanguageTable;
struct EstimationSummary;

// The numbers of a finished estimation as plain text in fixed columns, for
// the results panel of the desktop program: σ0 with its degrees of freedom,
// the redundancy and the test's degrees of freedom, each parameter with its
// σ and unit, the translations in the files' frame, the points flagged as
// gross errors with T and F, and the points outside the hull.
std::string ResultsText(const EstimationSummary& summary, const LanguageTable& table);

// A parameter's value or σ with the digits its unit needs: metres to
// 0.1 mm, arc seconds to 1e-5", degrees to 1e-9°, ppm to 1e-4, a factor to
// 1e-10.
std::string ParameterNumber(double value, const std::string& unit);

// `value` to `decimals` places, without the sign of a value that rounds to
// zero ("-0.0000" is a sign without a value).
std::string FixedText(double value, int decimals);

}  // namespace pelmar
