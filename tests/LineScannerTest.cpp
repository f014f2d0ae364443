#include "text/LineScanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace pelmar {
namespace {

// The scanner must convert as sscanf does for the point-file layouts; these
// lines are read by both and must agree in count and values, except that a
// number must end its word: sscanf read "10,5995" as 10 and "12abc" as 12,
// a place kilometres off written as a success.
TEST(LineScanner, agrees_with_sscanf_on_the_name_and_three_reals_layout) {
  const char* lines[] = {
      "P1 100.5 200.25 3",  "  P1   100.5\t200.25   7.5 extra", "P1 100,5 200,25 1", "P1 1e3 -2E-2 +.5",
      "P1 1. .5 -0.0",      "P1 12e 5 6",        "P1 5e+ 1 2",     "P1 5E- 1 2",                       "P1 12abc 5 6",      "P1 - 5 6",
      "P1 5",               "P1",                               "P1 0007 08 -9",     "P1;x 1 2 3",
      "A-3/7 1 2 3 4 5",    "P1 1e-400 1 2",                    "P1 .e1 1 2",        "P1 +-1 2 3",
  };
  for (const char* line : lines) {
    char name[256] = {};
    double a = 0, b = 0, c = 0;
    int expected = std::sscanf(line, "%255s%lf%lf%lf", name, &a, &b, &c);
    if (std::string_view(line) == "P1 100,5 200,25 1" || std::string_view(line) == "P1 12abc 5 6") expected = 1;
    std::string_view ourName;
    double x = 0, y = 0, z = 0;
    const int got = scanFields(line, ourName, x, y, z);
    EXPECT_EQ(got, std::max(expected, 0)) << line;
    if (got >= 1) {
      EXPECT_EQ(ourName, name) << line;
    }
    if (got >= 2) {
      EXPECT_EQ(x, a) << line;
    }
    if (got >= 3) {
      EXPECT_EQ(y, b) << line;
    }
    if (got >= 4) {
      EXPECT_EQ(z, c) << line;
    }
  }
}

TEST(LineScanner, agrees_with_sscanf_on_integer_layouts) {
  const char* lines[] = {"P 48 7 30.5 11 35 2.25 100", "P 48 7 30.5 11 35", "P 32 N 500000 5400000 10",
                         "P 32 North 1 2", "P 4.5 1 2", "P -0 -30 -1.5", "P 99999999999 1 1"};
  for (const char* line : lines) {
    char name[256] = {};
    int d1 = 0, m1 = 0;
    double s1 = 0;
    const int expected = std::sscanf(line, "%255s%d%d%lf", name, &d1, &m1, &s1);
    std::string ourName;
    int d = 0, m = 0;
    double s = 0;
    const int got = scanFields(line, ourName, d, m, s);
    if (std::string_view(line).find("99999999999") != std::string_view::npos) {
      EXPECT_EQ(got, 1) << "an integer that does not fit is no number";
      continue;
    }
    EXPECT_EQ(got, expected) << line;
    if (got >= 2) {
      EXPECT_EQ(d, d1) << line;
    }
    if (got >= 3) {
      EXPECT_EQ(m, m1) << line;
    }
    if (got >= 4) {
      EXPECT_EQ(s, s1) << line;
    }
  }
}

TEST(LineScanner, reads_the_zone_and_band_layout) {
  std::string_view name, band;
  int zone = 0;
  double e = 0, n = 0, h = 0;
  EXPECT_EQ(scanFields("P7 32 North 500000.1 5400000.2 12.5", name, zone, band, e, n, h), 6);
  EXPECT_EQ(zone, 32);
  EXPECT_EQ(band, "North");
  EXPECT_EQ(h, 12.5);
}

// Values a surveyor's file never holds: sscanf would read them, the scanner
// treats the line as malformed.
TEST(LineScanner, refuses_nan_inf_hex_and_overflowing_numbers) {
  for (const char* line : {"P nan 1", "P inf 1", "P -INFINITY 1", "P 0x1p3 1", "P 1e999 1", "P -1e400 1"}) {
    std::string_view name;
    double a = 0, b = 0;
    const int got = scanFields(line, name, a, b);
    EXPECT_LT(got, 3) << line;
    if (got == 2) {
      EXPECT_TRUE(std::isfinite(a)) << line;
      EXPECT_EQ(a, 0.0) << "hex reads only its leading 0: " << line;
    }
  }
}

TEST(LineScanner, keeps_names_of_any_length_whole) {
  const std::string longName(1000, 'N');
  std::string name;
  double y = 0, x = 0;
  EXPECT_EQ(scanFields(longName + " 1 2", name, y, x), 3);
  EXPECT_EQ(name, longName);
}

TEST(LineScanner, parses_real_prefixes_exactly) {
  const struct {
    const char* text;
    std::size_t used;
    double value;
  } cases[] = {{"1234.5678", 9, 1234.5678},    {"-0.1x", 4, -0.1},  {"5e+2,", 4, 500.0},
               {"5e+", 3, 5.0},                {"00.25", 5, 0.25},  {"3.", 2, 3.0},
               {"1e-320", 6, 1e-320},          {"1e-999", 6, 0.0},  {"", 0, 0.0},
               {"+", 0, 0.0},                  {".", 0, 0.0},
               {"0.1000000000000000055511151231257827", 36, 0.1}};
  for (const auto& c : cases) {
    double value = -7.0;
    EXPECT_EQ(parseRealPrefix(c.text, value), c.used) << c.text;
    if (c.used > 0) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace pelmar
