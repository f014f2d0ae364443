#pragma once

#include <cmath>

#include <string>
#include <string_view>
#include <utility>

// The eleven output-line formatters. Every line of an output point file is
// made here, and only here do the user's decimals settings take effect. Each
// returns the complete line, line break included, byte-identical to the printf
// format named in its comment (d, dh, ds: decimals, 0–20). Field widths are
// minimum widths: a long name or a wide number shifts the rest of the line.
// The overloads with a `line` argument write into it (its old content is
// replaced), so that a batch reuses one buffer for millions of lines.
namespace pelmar {

// Whether values may go into a point file: finite and below 1e15 in
// magnitude (no survey coordinate, in metres or degrees, comes near it; a
// larger one is the trace of a failed computation). A point with any other
// value is left out, counted and named, never written as "nan" or "inf".
inline constexpr double kLargestWritten = 1e15;
template <class... Values>
bool Writable(Values... values) {
  return ((std::isfinite(values) && std::fabs(values) < kLargestWritten) && ...);
}

// An angle split into degrees, minutes and seconds, printed as given (the
// formatters neither normalise nor carry).
struct DmsAngle {
  int degrees = 0;
  int minutes = 0;
  double seconds = 0.0;
};

// The angle as it prints with `decimals` decimals of a second: the seconds
// rounded first and carried into minutes and degrees, so that a printed
// second is always below 60 ("0 59 59.9999999" becomes "1 0 0.000000" at
// six decimals). The sign stays on the first non-zero part.
DmsAngle CarryRoundedSeconds(const DmsAngle& angle, int decimals);

// Decimal degrees split into degrees, minutes and seconds as they print
// with `decimals` decimals of a second: the angle is rounded to that unit
// first (in integers, up to 9 decimals), so no second prints as 60; the
// sign stands on the first non-zero part (−0.5° → 0 −30 0). The same
// convention as the projection library's DEZGMS, without a call per angle.
DmsAngle SplitDegrees(double degrees, int decimals);

// Transformed cartesian points (apply, spatial estimation) come out of their
// models as (y, x, z): the second, first and third coordinate of the input.
// The setting "AxisOrder" writes them so (0), in the input's order x y z (1),
// or so under the first line kSwappedAxesHeader (2), which the conversions
// from cartesian coordinates read to take the columns in that order.
inline constexpr std::string_view kSwappedAxesHeader = "# name Y X Z\n";
inline void ToOutputOrder(double& first, double& second, int axisOrder) {
  if (axisOrder == 1) std::swap(first, second);
}
// The written columns, for the summary and the closing line.
inline const char* OutputAxes(int axisOrder) { return axisOrder == 1 ? "X Y Z" : "Y X Z"; }

// `line` (one formatted line, its break included) with `rest` after a
// blank: the text after the values a job read, carried unchanged
// (--keep-rest). Nothing changes for an empty rest.
void AppendRest(std::string& line, std::string_view rest);

// "%20s " then three "%15.<d>f ".
std::string FormatPointLine3(std::string_view name, double x1, double x2, double x3, int d);
void FormatPointLine3(std::string& line, std::string_view name, double x1, double x2, double x3, int d);
// "%20s " "%15.<d>f " "%15.<d>f " "%15.<dh>f ".
std::string FormatPointLine3H(std::string_view name, double x1, double x2, double h, int d, int dh);
void FormatPointLine3H(std::string& line, std::string_view name, double x1, double x2, double h, int d, int dh);
// "%20s " then two "%15.<d>f ".
std::string FormatPointLine2(std::string_view name, double x1, double x2, int d);
void FormatPointLine2(std::string& line, std::string_view name, double x1, double x2, int d);
// "%20s " "%15.<d>f ".
std::string FormatPointLine1(std::string_view name, double x, int d);
void FormatPointLine1(std::string& line, std::string_view name, double x, int d);
// "%20s " DMS " " DMS, where DMS is "%3d%3d%<d+4>.<d>f".
std::string FormatPointLineDms2(std::string_view name, const DmsAngle& a1, const DmsAngle& a2, int d);
void FormatPointLineDms2(std::string& line, std::string_view name, const DmsAngle& a1, const DmsAngle& a2, int d);
// "%20s " DMS " " DMS " %<dh+4>.<dh>f".
std::string FormatPointLineDms2H(std::string_view name, const DmsAngle& a1, const DmsAngle& a2, double h, int d,
                                 int dh);
void FormatPointLineDms2H(std::string& line, std::string_view name, const DmsAngle& a1, const DmsAngle& a2, double h, int d,
                                 int dh);
// "%20s " DMS " ".
std::string FormatPointLineDms1(std::string_view name, const DmsAngle& a, int d);
void FormatPointLineDms1(std::string& line, std::string_view name, const DmsAngle& a, int d);
// "%15s " then six "%20.<d>f " and "%20.<ds>f ".
std::string FormatProblemLine(std::string_view name, const double (&angles)[6], double s, int d, int ds);
void FormatProblemLine(std::string& line, std::string_view name, const double (&angles)[6], double s, int d, int ds);
// "%15s " then six "%4d %4d %15.<d>f   " and "%20.<ds>f ".
std::string FormatProblemLineDms(std::string_view name, const DmsAngle (&angles)[6], double s, int d, int ds);
void FormatProblemLineDms(std::string& line, std::string_view name, const DmsAngle (&angles)[6], double s, int d, int ds);
// "%20s " "%4d" "%2c " then three "%15.<d>f ".
std::string FormatUtmLine3(std::string_view name, int zone, char band, double x1, double x2, double x3, int d);
void FormatUtmLine3(std::string& line, std::string_view name, int zone, char band, double x1, double x2, double x3, int d);
// "%20s " "%4d" "%2c " then two "%15.<d>f ".
std::string FormatUtmLine2(std::string_view name, int zone, char band, double x1, double x2, int d);
void FormatUtmLine2(std::string& line, std::string_view name, int zone, char band, double x1, double x2, int d);

}  // namespace pelmar
