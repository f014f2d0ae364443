#include "points/LineFormatters.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <random>

#include "text/NumberFormat.h"

namespace pelmar {
namespace {

// The reference: the printf format each formatter is defined by, built from
// the same fragments at run time and printed with vsnprintf (C locale).
std::string printfLine(const std::string& format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format.c_str(), args);
  va_end(args);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

std::string v(int d) { return "%15." + std::to_string(d) + "f "; }
std::string dms(int d) { return "%3d%3d%" + printfLine("%d.%d", d + 4, d) + "f"; }

// Values with exact binary ties (0.5, 2.5, 0.125), negative zero, tiny and
// huge magnitudes, and numbers wider than their fields.
const double kValues[] = {0.0,
                          -0.0,
                          0.5,
                          1.5,
                          2.5,
                          -2.5,
                          0.125,
                          -0.125,
                          1.0 / 3.0,
                          0.1,
                          -1e-7,
                          5e-324,
                          123456.78949999999,
                          5400012.3455,
                          -987654321.123456789,
                          12345678901234567890.0,
                          1e22,
                          DBL_MAX,
                          -DBL_MAX,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::quiet_NaN()};

TEST(NumberFormat, fixed_matches_printf_for_every_value_and_decimals) {
  for (double value : kValues) {
    for (int d = 0; d <= 20; ++d) {
      for (int width : {0, 15, 25}) {
        EXPECT_EQ(formatFixed(value, width, d), printfLine("%*.*f", width, d, value))
            << "value " << value << " width " << width << " decimals " << d;
      }
    }
  }
}

// The integer fast path of the fixed conversion must agree with printf on
// every value, ties and near-ties included.
TEST(NumberFormat, fixed_matches_printf_on_many_random_values) {
  std::mt19937_64 random(99);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-8, 16), decimals(0, 12);
  for (int i = 0; i < 200000; ++i) {
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    const int d = decimals(random);
    if (i % 4 == 0) value = std::round(value * std::pow(10.0, d) * 2.0) / (2.0 * std::pow(10.0, d));  // near ties
    ASSERT_EQ(formatFixed(value, 0, d), printfLine("%.*f", d, value)) << value << " with " << d;
  }
}

TEST(LineFormatters, metric_and_decimal_lines_match_their_printf_formats) {
  const char* names[] = {"P1", "", "A-3/7", "NameOfTwentyFiveCharsXXX"};
  for (const char* name : names) {
    for (double value : kValues) {
      const double other = -value / 7.0;
      for (int d = 0; d <= 20; ++d) {
        const int dh = 20 - d;
        EXPECT_EQ(FormatPointLine1(name, value, d), printfLine("%20s " + v(d) + "\n", name, value));
        EXPECT_EQ(FormatPointLine2(name, value, other, d), printfLine("%20s " + v(d) + v(d) + "\n", name, value, other));
        EXPECT_EQ(FormatPointLine3(name, value, other, 1.25, d),
                  printfLine("%20s " + v(d) + v(d) + v(d) + "\n", name, value, other, 1.25));
        EXPECT_EQ(FormatPointLine3H(name, value, other, value, d, dh),
                  printfLine("%20s " + v(d) + v(d) + v(dh) + "\n", name, value, other, value));
        EXPECT_EQ(FormatUtmLine2(name, 32, 'U', value, other, d),
                  printfLine("%20s %4d%2c " + v(d) + v(d) + "\n", name, 32, 'U', value, other));
        EXPECT_EQ(FormatUtmLine3(name, -7, 'C', value, other, 0.0, d),
                  printfLine("%20s %4d%2c " + v(d) + v(d) + v(d) + "\n", name, -7, 'C', value, other, 0.0));
      }
    }
  }
}

TEST(LineFormatters, angle_lines_match_their_printf_formats) {
  const DmsAngle angles[] = {{48, 7, 30.5}, {0, -30, 0.0}, {-10, 30, 59.99999999}, {179, 59, 59.9999995},
                             {1234, 5, 1e-9}};
  for (const DmsAngle& a : angles) {
    const DmsAngle& b = angles[(&a - angles + 1) % std::size(angles)];
    for (int d = 0; d <= 20; ++d) {
      const int dh = (d + 3) % 21;
      const std::string hPiece = "f %" + printfLine("%d.%d", dh + 4, dh) + "f\n";
      EXPECT_EQ(FormatPointLineDms1("P", a, d), printfLine("%20s " + dms(d) + " \n", "P", a.degrees, a.minutes,
                                                           a.seconds));
      EXPECT_EQ(FormatPointLineDms2("P", a, b, d),
                printfLine("%20s " + dms(d) + " " + dms(d) + "\n", "P", a.degrees, a.minutes, a.seconds, b.degrees,
                           b.minutes, b.seconds));
      // The height piece is built as "f %" + width.decimals + "f": one blank after the seconds.
      const std::string dms2h = "%20s " + dms(d) + " " + dms(d).substr(0, dms(d).size() - 1) + hPiece;
      EXPECT_EQ(FormatPointLineDms2H("P", a, b, 1234.5678, d, dh),
                printfLine(dms2h, "P", a.degrees, a.minutes, a.seconds, b.degrees, b.minutes, b.seconds, 1234.5678));
    }
  }
}

TEST(LineFormatters, problem_lines_match_their_printf_formats) {
  const double decimal[6] = {48.1, 11.5, 48.2, -0.0, 359.999999999, 1e-9};
  const DmsAngle split[6] = {{48, 6, 0.0}, {11, 30, 0.5}, {48, 12, 0.0}, {0, 0, -0.0}, {359, 59, 59.99}, {0, 0, 1.5}};
  for (int d = 0; d <= 20; ++d) {
    const int ds = 20 - d;
    std::string format = "%15s ";
    for (int i = 0; i < 6; ++i) format += "%20." + std::to_string(d) + "f ";
    format += "%20." + std::to_string(ds) + "f \n";
    EXPECT_EQ(FormatProblemLine("Line1", decimal, 12345.6789, d, ds),
              printfLine(format, "Line1", decimal[0], decimal[1], decimal[2], decimal[3], decimal[4], decimal[5],
                         12345.6789));
    std::string dmsFormat = "%15s ";
    for (int i = 0; i < 6; ++i) dmsFormat += "%4d %4d %15." + std::to_string(d) + "f   ";
    dmsFormat += "%20." + std::to_string(ds) + "f \n";
    std::string expected = printfLine(
        dmsFormat, "Line1", split[0].degrees, split[0].minutes, split[0].seconds, split[1].degrees, split[1].minutes,
        split[1].seconds, split[2].degrees, split[2].minutes, split[2].seconds, split[3].degrees, split[3].minutes,
        split[3].seconds, split[4].degrees, split[4].minutes, split[4].seconds, split[5].degrees, split[5].minutes,
        split[5].seconds, 12345.6789);
    EXPECT_EQ(FormatProblemLineDms("Line1", split, 12345.6789, d, ds), expected);
  }
}

// The layouts as a reader of the output files sees them.
TEST(LineFormatters, documented_layout_examples) {
  EXPECT_EQ(FormatPointLine2("P1", 12.5, 987.25, 3),
            std::string(18, ' ') + "P1 " + std::string(9, ' ') + "12.500 " + std::string(8, ' ') + "987.250 \n");
  EXPECT_EQ(FormatPointLine3("P", 1.6, 2.4, -0.4, 0), std::string(19, ' ') + "P " + std::string(14, ' ') + "2 " +
                                                         std::string(14, ' ') + "2 " + std::string(13, ' ') + "-0 \n");
  EXPECT_EQ(FormatPointLineDms1("P", {48, 7, 30.4}, 0), std::string(19, ' ') + "P  48  7  30 \n");
  EXPECT_EQ(FormatPointLineDms1("P", {48, 7, 30.123456}, 6), std::string(19, ' ') + "P  48  7 30.123456 \n");
  // A four-digit height with three decimals overflows its 7 columns.
  EXPECT_EQ(FormatPointLineDms2H("P", {1, 2, 3.0}, {4, 5, 6.0}, 1234.5, 0, 3),
            std::string(19, ' ') + "P   1  2   3   4  5   6 1234.500\n");
  const std::string longName(25, 'N');
  EXPECT_EQ(FormatPointLine2(longName, 1, 2, 1).substr(25), " " + std::string(12, ' ') + "1.0 " +
                                                                std::string(12, ' ') + "2.0 \n");
  EXPECT_EQ(FormatUtmLine2("P", 32, 'U', 500000, 5400000, 1),
            std::string(19, ' ') + "P   32 U        500000.0       5400000.0 \n");
}

TEST(LineFormatters, clamp_decimals_outside_0_to_20) {
  EXPECT_EQ(FormatPointLine1("P", 1.5, -3), FormatPointLine1("P", 1.5, 0));
  EXPECT_EQ(FormatPointLine1("P", 1.5, 99), FormatPointLine1("P", 1.5, 20));
}

// Seconds are rounded to the printed decimals before they are printed, and
// a second that rounds to 60 carries into minutes and degrees; the sign
// stays on the first non-zero part.
TEST(LineFormatters, rounded_seconds_carry_instead_of_printing_60) {
  const struct {
    DmsAngle in;
    int decimals;
    DmsAngle out;
  } cases[] = {
      {{151, 11, 59.9999996}, 6, {151, 12, 0.0}},
      {{0, 29, 59.6}, 0, {0, 30, 0.0}},
      {{9, 59, 59.99}, 1, {10, 0, 0.0}},
      {{0, -59, 59.9999999}, 6, {-1, 0, 0.0}},
      {{0, 0, -59.99999999}, 6, {0, -1, 0.0}},
      {{0, 0, -0.0000001}, 6, {0, 0, 0.0}},
      {{-12, 30, 15.25}, 2, {-12, 30, 15.25}},
  };
  for (const auto& c : cases) {
    const DmsAngle r = CarryRoundedSeconds(c.in, c.decimals);
    EXPECT_EQ(r.degrees, c.out.degrees) << c.in.degrees << " " << c.in.minutes << " " << c.in.seconds;
    EXPECT_EQ(r.minutes, c.out.minutes) << c.in.seconds;
    EXPECT_DOUBLE_EQ(r.seconds, c.out.seconds) << c.in.seconds;
    EXPECT_FALSE(std::signbit(r.seconds) && r.seconds == 0.0) << "no \"-0.000\"";
  }
}

// The split used by every DMS writer: rounded in integers at the printed
// decimals (never 60 seconds), the sign on the first non-zero part as the
// library's DEZGMS puts it.
TEST(LineFormatters, degrees_split_as_they_print) {
  const struct {
    double degrees;
    int decimals;
    DmsAngle out;
  } cases[] = {
      {-0.5, 5, {0, -30, 0.0}},       {-10.5, 3, {-10, 30, 0.0}},          {50.5 - 0.4e-6 / 3600, 5, {50, 30, 0.0}},
      {0.999999999, 0, {1, 0, 0.0}}, {-1.0 / 3600 / 4, 2, {0, 0, -0.25}}, {151.199999999, 5, {151, 12, 0.0}},
      {12.3456789, 12, {12, 20, 44.44404}},
  };
  for (const auto& c : cases) {
    const DmsAngle a = SplitDegrees(c.degrees, c.decimals);
    EXPECT_EQ(a.degrees, c.out.degrees) << c.degrees;
    EXPECT_EQ(a.minutes, c.out.minutes) << c.degrees;
    EXPECT_NEAR(a.seconds, c.out.seconds, 1e-9) << c.degrees;
  }
}

}  // namespace
}  // namespace pelmar
