#include "points/LineFormatters.h"

#include <cmath>
#include <cstdlib>

#include <algorithm>

#include "text/NumberFormat.h"

namespace pelmar {

namespace {

constexpr int kNameWidth = 20;
constexpr int kProblemNameWidth = 15;
constexpr int kValueWidth = 15;

int clampDecimals(int d) { return std::clamp(d, 0, 20); }

void startLine(std::string& line, std::string_view name, int width) {
  line.clear();
  appendRight(line, name, width);
  line += ' ';
}

// V(d): "%15.<d>f ".
void appendValue(std::string& line, double value, int d) {
  appendFixed(line, value, kValueWidth, d);
  line += ' ';
}

// DMS(d): "%3d%3d%<d+4>.<d>f", no blank inside.
void appendDms(std::string& line, const DmsAngle& angle, int d) {
  d = clampDecimals(d);
  appendInt(line, angle.degrees, 3);
  appendInt(line, angle.minutes, 3);
  appendFixed(line, angle.seconds, d + 4, d);
}

// "%4d" "%2c ".
void appendZone(std::string& line, int zone, char band) {
  appendInt(line, zone, 4);
  line += ' ';
  line += band;
  line += ' ';
}

}  // namespace

DmsAngle SplitDegrees(double degrees, int decimals) {
  static constexpr long long kPowers[] = {1,         10,         100,         1000,         10000,
                                          100000,    1000000,    10000000,    100000000,    1000000000};
  const bool negative = degrees < 0.0;
  const double magnitude = std::fabs(degrees);
  if (decimals < 0 || decimals > 9 || !(magnitude <= 1e4)) {
    // Beyond the exact integer path: split, then round and carry.
    double whole = std::floor(magnitude);
    const double minutes = (magnitude - whole) * 60.0;
    const double wholeMinutes = std::floor(minutes);
    DmsAngle a{static_cast<int>(whole), static_cast<int>(wholeMinutes), (minutes - wholeMinutes) * 60.0};
    if (negative) a.degrees = -a.degrees;  // CarryRoundedSeconds moves the sign where it belongs
    if (negative && a.degrees == 0) a.minutes = -a.minutes;
    if (negative && a.degrees == 0 && a.minutes == 0) a.seconds = -a.seconds;
    return CarryRoundedSeconds(a, std::clamp(decimals, 0, 20));
  }
  const long long unit = kPowers[decimals];
  const long long total = std::llround(magnitude * 3600.0 * static_cast<double>(unit));
  const long long perDegree = 3600 * unit, perMinute = 60 * unit;
  DmsAngle a{static_cast<int>(total / perDegree), static_cast<int>(total % perDegree / perMinute),
             static_cast<double>(total % perMinute) / static_cast<double>(unit)};
  if (negative && total != 0) {
    if (a.degrees != 0) {
      a.degrees = -a.degrees;
    } else if (a.minutes != 0) {
      a.minutes = -a.minutes;
    } else {
      a.seconds = -a.seconds;
    }
  }
  return a;
}

DmsAngle CarryRoundedSeconds(const DmsAngle& angle, int decimals) {
  const bool negative = angle.degrees < 0 || angle.minutes < 0 || angle.seconds < 0.0;
  const double scale = std::pow(10.0, decimals);
  double seconds = std::round(std::fabs(angle.seconds) * scale) / scale;
  long long minutes = std::llabs(static_cast<long long>(angle.minutes));
  long long degrees = std::llabs(static_cast<long long>(angle.degrees));
  if (seconds >= 60.0) {
    seconds -= 60.0;
    if (seconds < 0.5 / scale) seconds = 0.0;
    ++minutes;
  }
  if (minutes >= 60) {
    minutes -= 60;
    ++degrees;
  }
  DmsAngle out{static_cast<int>(degrees), static_cast<int>(minutes), seconds};
  if (negative) {
    if (out.degrees != 0) {
      out.degrees = -out.degrees;
    } else if (out.minutes != 0) {
      out.minutes = -out.minutes;
    } else if (out.seconds != 0.0) {
      out.seconds = -out.seconds;
    }
  }
  return out;
}

void FormatPointLine3(std::string& line, std::string_view name, double x1, double x2, double x3, int d) {
  startLine(line, name, kNameWidth);
  appendValue(line, x1, d);
  appendValue(line, x2, d);
  appendValue(line, x3, d);
  line += '\n';
}

std::string FormatPointLine3(std::string_view name, double x1, double x2, double x3, int d) {
  std::string line;
  FormatPointLine3(line, name, x1, x2, x3, d);
  return line;
}

void FormatPointLine3H(std::string& line, std::string_view name, double x1, double x2, double h, int d, int dh) {
  startLine(line, name, kNameWidth);
  appendValue(line, x1, d);
  appendValue(line, x2, d);
  appendValue(line, h, dh);
  line += '\n';
}

std::string FormatPointLine3H(std::string_view name, double x1, double x2, double h, int d, int dh) {
  std::string line;
  FormatPointLine3H(line, name, x1, x2, h, d, dh);
  return line;
}

void FormatPointLine2(std::string& line, std::string_view name, double x1, double x2, int d) {
  startLine(line, name, kNameWidth);
  appendValue(line, x1, d);
  appendValue(line, x2, d);
  line += '\n';
}

std::string FormatPointLine2(std::string_view name, double x1, double x2, int d) {
  std::string line;
  FormatPointLine2(line, name, x1, x2, d);
  return line;
}

void FormatPointLine1(std::string& line, std::string_view name, double x, int d) {
  startLine(line, name, kNameWidth);
  appendValue(line, x, d);
  line += '\n';
}

std::string FormatPointLine1(std::string_view name, double x, int d) {
  std::string line;
  FormatPointLine1(line, name, x, d);
  return line;
}

void FormatPointLineDms2(std::string& line, std::string_view name, const DmsAngle& a1, const DmsAngle& a2, int d) {
  startLine(line, name, kNameWidth);
  appendDms(line, a1, d);
  line += ' ';
  appendDms(line, a2, d);
  line += '\n';
}

std::string FormatPointLineDms2(std::string_view name, const DmsAngle& a1, const DmsAngle& a2, int d) {
  std::string line;
  FormatPointLineDms2(line, name, a1, a2, d);
  return line;
}

void FormatPointLineDms2H(std::string& line, std::string_view name, const DmsAngle& a1, const DmsAngle& a2, double h, int d,
                                 int dh) {
  startLine(line, name, kNameWidth);
  appendDms(line, a1, d);
  line += ' ';
  appendDms(line, a2, d);
  line += ' ';
  dh = clampDecimals(dh);
  appendFixed(line, h, dh + 4, dh);
  line += '\n';
}

std::string FormatPointLineDms2H(std::string_view name, const DmsAngle& a1, const DmsAngle& a2, double h, int d,
                                 int dh) {
  std::string line;
  FormatPointLineDms2H(line, name, a1, a2, h, d, dh);
  return line;
}

void FormatPointLineDms1(std::string& line, std::string_view name, const DmsAngle& a, int d) {
  startLine(line, name, kNameWidth);
  appendDms(line, a, d);
  line += " \n";
}

std::string FormatPointLineDms1(std::string_view name, const DmsAngle& a, int d) {
  std::string line;
  FormatPointLineDms1(line, name, a, d);
  return line;
}

void FormatProblemLine(std::string& line, std::string_view name, const double (&angles)[6], double s, int d, int ds) {
  startLine(line, name, kProblemNameWidth);
  for (double angle : angles) {
    appendFixed(line, angle, 20, d);
    line += ' ';
  }
  appendFixed(line, s, 20, ds);
  line += " \n";
}

std::string FormatProblemLine(std::string_view name, const double (&angles)[6], double s, int d, int ds) {
  std::string line;
  FormatProblemLine(line, name, angles, s, d, ds);
  return line;
}

void FormatProblemLineDms(std::string& line, std::string_view name, const DmsAngle (&angles)[6], double s, int d, int ds) {
  startLine(line, name, kProblemNameWidth);
  for (const DmsAngle& angle : angles) {
    appendInt(line, angle.degrees, 4);
    line += ' ';
    appendInt(line, angle.minutes, 4);
    line += ' ';
    appendFixed(line, angle.seconds, 15, d);
    line += "   ";
  }
  appendFixed(line, s, 20, ds);
  line += " \n";
}

std::string FormatProblemLineDms(std::string_view name, const DmsAngle (&angles)[6], double s, int d, int ds) {
  std::string line;
  FormatProblemLineDms(line, name, angles, s, d, ds);
  return line;
}

void FormatUtmLine3(std::string& line, std::string_view name, int zone, char band, double x1, double x2, double x3, int d) {
  startLine(line, name, kNameWidth);
  appendZone(line, zone, band);
  appendValue(line, x1, d);
  appendValue(line, x2, d);
  appendValue(line, x3, d);
  line += '\n';
}

std::string FormatUtmLine3(std::string_view name, int zone, char band, double x1, double x2, double x3, int d) {
  std::string line;
  FormatUtmLine3(line, name, zone, band, x1, x2, x3, d);
  return line;
}

void FormatUtmLine2(std::string& line, std::string_view name, int zone, char band, double x1, double x2, int d) {
  startLine(line, name, kNameWidth);
  appendZone(line, zone, band);
  appendValue(line, x1, d);
  appendValue(line, x2, d);
  line += '\n';
}

std::string FormatUtmLine2(std::string_view name, int zone, char band, double x1, double x2, int d) {
  std::string line;
  FormatUtmLine2(line, name, zone, band, x1, x2, d);
  return line;
}

void AppendRest(std::string& line, std::string_view rest) {
  if (rest.empty()) return;
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() != ' ') line += ' ';
  line += rest;
  line += '\n';
}

}  // namespace pelmar
