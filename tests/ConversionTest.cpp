#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <map>

#include <cmath>
#include <csignal>
#include <fstream>
#include <iomanip>
#include <stdexcept>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/StringIds.h"
#include "cli/CliApp.h"
#include "cli/CliHost.h"
#include "cli/Command.h"
#include "conversion/BatchConversion.h"
#include "conversion/ProjectionLibrary.h"
#include "text/LineScanner.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// The conversion references (tests/reference/*.gie), in the manner of
// PROJ's .gie files; the format is described at the top of conversions.gie.
struct GieRow {
  std::string name, line, expect;
  int lineNumber = 0;
};
struct GieBlock {
  std::string where;  // file:line of "operation"
  int code = 0;
  std::vector<std::string> args;
  double metres = 1e-4, degrees = 1e-9;
  std::vector<GieRow> rows;
  bool roundtrip = false;
};

std::vector<GieBlock> readGie(const std::string& file) {
  std::ifstream in(test::sourceDir() / "tests" / "reference" / file);
  std::vector<GieBlock> blocks;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string keyword, word;
    if (!(words >> keyword) || keyword[0] == '#') continue;
    const std::string rest = line.substr(std::min(line.size(), line.find(keyword) + keyword.size() + 1));
    if (keyword == "operation") {
      blocks.emplace_back();
      blocks.back().where = file + ":" + std::to_string(number);
      words >> blocks.back().code;
      while (words >> word) blocks.back().args.push_back(word);
      continue;
    }
    if (blocks.empty()) throw std::runtime_error(file + ":" + std::to_string(number) + ": no operation");
    GieBlock& block = blocks.back();
    if (keyword == "tolerance") {
      double value = 0;
      std::string unit;
      words >> value >> unit;
      if (unit == "mm") block.metres = value / 1000;
      else if (unit == "m") block.metres = value;
      else if (unit == "deg") block.degrees = value;
      else if (unit == "arcsec") block.degrees = value / 3600;
      else throw std::runtime_error(file + ":" + std::to_string(number) + ": unit " + unit);
    } else if (keyword == "accept") {
      words >> word;
      block.rows.push_back({word, rest, "", number});
    } else if (keyword == "expect") {
      block.rows.back().expect = rest;
    } else if (keyword == "roundtrip") {
      block.roundtrip = true;
    } else {
      throw std::runtime_error(file + ":" + std::to_string(number) + ": " + keyword);
    }
  }
  return blocks;
}

// A point's values as a file of the given form writes them: angles in
// degrees (d m s joined, the sign taken from the text of any field), other
// numbers as they stand, words (a UTM band) kept as text.
struct PointValues {
  std::vector<double> numbers;
  std::vector<bool> angle;
  std::string words;
};

PointValues readValues(const std::string& text, PointForm form, bool dms) {
  // Fields are split at blanks, and at a minus sign right after a digit:
  // the writers put the sign of a southern 0° on the minutes ("  0-30").
  std::vector<std::string> tokens;
  std::string token;
  for (char c : text + " ") {
    const bool glued = c == '-' && !token.empty() && std::isdigit(static_cast<unsigned char>(token.back()));
    if (c == ' ' || c == '\t' || glued) {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    }
    if (c != ' ' && c != '\t') token += c;
  }
  PointValues v;
  std::size_t i = 0;
  if (form == PointForm::Geographic) {
    for (int a = 0; a < 2 && i < tokens.size(); ++a) {
      if (dms && i + 3 <= tokens.size()) {
        const bool negative = tokens[i][0] == '-' || tokens[i + 1][0] == '-' || tokens[i + 2][0] == '-';
        const double value = std::fabs(std::stod(tokens[i])) + std::fabs(std::stod(tokens[i + 1])) / 60 +
                             std::fabs(std::stod(tokens[i + 2])) / 3600;
        v.numbers.push_back(negative ? -value : value);
        i += 3;
      } else {
        v.numbers.push_back(std::stod(tokens[i++]));
      }
      v.angle.push_back(true);
    }
  }
  for (; i < tokens.size(); ++i) {
    char* end = nullptr;
    const double value = std::strtod(tokens[i].c_str(), &end);
    if (*end != '\0') {
      v.words += tokens[i] + " ";
      continue;
    }
    v.numbers.push_back(value);
    v.angle.push_back(false);
  }
  return v;
}

// Every difference beyond its tolerance, as text; empty when the values agree.
std::string compareValues(const PointValues& got, const PointValues& want, const GieBlock& block) {
  std::ostringstream problems;
  if (got.numbers.size() != want.numbers.size() || got.words != want.words) {
    problems << got.numbers.size() << " values and \"" << got.words << "\", expected " << want.numbers.size()
             << " and \"" << want.words << "\"";
  }
  for (std::size_t i = 0; i < std::min(got.numbers.size(), want.numbers.size()); ++i) {
    const double tolerance = want.angle[i] ? block.degrees : block.metres;
    if (!(std::fabs(got.numbers[i] - want.numbers[i]) <= tolerance)) {
      problems << " value " << i + 1 << ": " << std::setprecision(15) << got.numbers[i] << " instead of "
               << want.numbers[i];
    }
  }
  return problems.str();
}

bool hasArgument(const GieBlock& block, const std::string& argument) {
  return std::find(block.args.begin(), block.args.end(), argument) != block.args.end();
}

// name → rest of the line.
std::map<std::string, std::string> pointLines(const std::string& text) {
  std::map<std::string, std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string name;
    words >> name;
    std::getline(words, line);
    lines[name] = line;
  }
  return lines;
}

long summaryCount(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? -1 : std::stol(json.substr(at + key.size() + 4));
}

class Conversion : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "Ellip.db"}) {
      std::filesystem::copy_file(test::binDir() / name, home / name);
    }
    test::linkPlugins(home.path());
  }
  int convert(const std::vector<std::string>& extra, const std::string& code, const std::string& input) {
    writeFile(home / "in.txt", input);
    std::vector<std::string> args = {"--home", home.path().string(), "--settings", (home / "user.ini").string(),
                                     "--set", "GeneralSettings.NachkommaGeog=10", "--set",
                                     "GeneralSettings.NachkommaKartesisch=6"};
    std::vector<std::string> tail = {"convert", code, (home / "in.txt").string(), (home / "out.txt").string()};
    for (const std::string& a : extra) {
      if (a == "--greenwich") {
        tail.push_back(a);
      } else {
        args.push_back(a);
      }
    }
    args.insert(args.end(), tail.begin(), tail.end());
    out.str("");
    err.str("");
    return cli::runCli(args, cli::defaultCommands(), out, err, false);
  }
  // Runs one block of a .gie file and its round trip.
  void runBlock(const GieBlock& block) {
    SCOPED_TRACE(block.where);
    const ConversionInfo* conversion = FindConversion(block.code);
    ASSERT_NE(conversion, nullptr);
    const bool dms = hasArgument(block, "GeneralSettings.FormatGeog=1");
    std::string input;
    long leftOut = 0, unreadable = 0;
    for (const GieRow& row : block.rows) {
      input += row.line + "\n";
      leftOut += row.expect == "left-out";
      unreadable += row.expect == "unreadable";
    }
    std::vector<std::string> args = block.args;
    args.insert(args.end(), {"--summary", (home / "s.json").string()});
    ASSERT_EQ(convert(args, std::to_string(block.code), input), cli::kSuccess) << err.str();
    const std::string output = readFile(home / "out.txt");
    const std::string summary = readFile(home / "s.json");
    EXPECT_EQ(summaryCount(summary, "points_left_out"), leftOut) << summary;
    EXPECT_EQ(summaryCount(summary, "lines_unreadable"), unreadable) << summary;
    const auto lines = pointLines(output);
    for (const GieRow& row : block.rows) {
      SCOPED_TRACE("line " + std::to_string(row.lineNumber));
      const auto found = lines.find(row.name);
      if (row.expect == "left-out" || row.expect == "unreadable") {
        EXPECT_EQ(found, lines.end()) << row.name << " written as" << found->second;
        continue;
      }
      ASSERT_NE(found, lines.end()) << row.name << " missing in\n" << output << err.str();
      EXPECT_EQ(compareValues(readValues(found->second, conversion->output, dms),
                              readValues(row.expect, conversion->output, dms), block),
                "")
          << row.name << found->second;
    }
    if (!block.roundtrip) return;
    const int inverse = block.code < 2000 ? block.code + 1000 : block.code - 1000;
    args = block.args;
    ASSERT_EQ(convert(args, std::to_string(inverse), output), cli::kSuccess) << err.str();
    const auto back = pointLines(readFile(home / "out.txt"));
    for (const GieRow& row : block.rows) {
      if (row.expect == "left-out" || row.expect == "unreadable") continue;
      SCOPED_TRACE("round trip, line " + std::to_string(row.lineNumber));
      const auto found = back.find(row.name);
      ASSERT_NE(found, back.end()) << row.name;
      EXPECT_EQ(compareValues(readValues(found->second, conversion->input, dms),
                              readValues(row.line.substr(row.name.size()), conversion->input, dms), block),
                "")
          << row.name << found->second;
    }
  }
  TempDir home;
  std::ostringstream out, err;
};

// Every conversion, both directions, decimal and DMS geographic forms, both
// UTM forms, against PROJ's and GeographicLib's values, with round trips
// (tests/reference/conversions.gie, made by make_conversion_references.py).
TEST_F(Conversion, every_code_matches_the_references_through_the_command_line) {
  const auto blocks = readGie("conversions.gie");
  std::set<int> codes;
  for (const GieBlock& block : blocks) {
    codes.insert(block.code);
    runBlock(block);
  }
  for (const ConversionInfo& c : Conversions()) EXPECT_TRUE(codes.count(c.code)) << c.code << " has no reference";
}

// Inputs that once gave a wrong file with no word: "-0" degrees, decimal
// commas, points far outside the national systems, absurd Gauss–Krüger
// zones, the apex of a flat Lambert cone (tests/reference/conversion-mends.gie).
TEST_F(Conversion, inputs_that_were_mishandled_give_their_reference_or_are_left_out) {
  for (const GieBlock& block : readGie("conversion-mends.gie")) runBlock(block);
}

TEST_F(Conversion, line_forms_follow_their_rules) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* code;
    const char* input;
    int lines;
  } cases[] = {
      {"only comments and blanks", {}, "1000", "# c\n; c\n\n   \n", 0},
      {"B and L without height", {}, "1000", "P 48 9\n", 1},
      {"one number is skipped", {}, "1000", "P 48\nQ 48 9\n", 1},
      {"DMS without height", {"--set", "GeneralSettings.FormatGeog=1"}, "1000", "P 48 0 0 9 0 0\nQ 48.5 9.5\n", 1},
      {"cartesian needs four fields", {}, "2007", "P 4000000 600000\nQ 4000000 600000 4900000\n", 1},
      {"heights required for XYZ", {}, "1007", "P 48 9\nQ 48 9 100\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(convert(c.args, c.code, c.input), 0) << err.str();
    const std::string output = readFile(home / "out.txt");
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), c.lines) << output;
  }
  // Three-field geographic lines keep no height; four-field ones keep theirs.
  ASSERT_EQ(convert({}, "1000", "P 48 9\nQ 48 9 123.4567\n"), 0);
  std::istringstream lines(readFile(home / "out.txt"));
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  std::string_view name;
  double e, n, h;
  EXPECT_EQ(scanFields(first, name, e, n, h), 3);
  EXPECT_EQ(scanFields(second, name, e, n, h), 4);
  EXPECT_NEAR(h, 123.4567, 1e-6);
}

TEST_F(Conversion, a_utm_token_passes_only_its_first_letter) {
  ASSERT_EQ(convert({"--set", "GeneralSettings.FormatUTM=0", "--ellipsoid", "WGS84"}, "2001",
                    "A 32 U 500000 5316300.224\nB 32 North 500000 5316300.224\n"),
            0)
      << err.str();
  std::istringstream lines(readFile(home / "out.txt"));
  std::string line;
  double b[2] = {}, l = 0;
  for (double& value : b) {
    std::getline(lines, line);
    std::string_view name;
    scanFields(line, name, value, l);
  }
  EXPECT_NEAR(b[0], 48.0, 1e-8);
  EXPECT_NEAR(b[1], 48.0, 1e-8) << "North is the band N";
}

// Points outside the projection's domain are left out, counted and named:
// never written as NaN.
// Printed seconds are rounded before they are split, so none is 60 (the
// "-0" sign and unreadable angles are rows of conversion-mends.gie).
TEST_F(Conversion, dms_output_never_prints_60_seconds) {
  const std::vector<std::string> dms = {"--set", "GeneralSettings.FormatGeog=1", "--ellipsoid", "GRS80"};
  // 50°29′59.9999996″ N 10°59′59.9999996″ E (cct +proj=cart +ellps=GRS80),
  // printed with 0 to 5 decimals: each rounds up to a full minute.
  for (int decimals = 0; decimals <= 5; ++decimals) {
    std::vector<std::string> args = dms;
    args.insert(args.end(), {"--set", "GeneralSettings.NachkommaGeog=" + std::to_string(decimals)});
    ASSERT_EQ(convert(args, "2007", "P 3990478.632159 775670.470118 4898429.724315\n"), cli::kSuccess) << err.str();
    const std::string out = readFile(home / "out.txt");
    EXPECT_EQ(out.find(" 60"), std::string::npos) << out;
    EXPECT_NE(out.find(" 50 30  "), std::string::npos) << out;
  }
}

// Lines that cannot be read are counted and the first named with its line
// number; a file none of whose lines can be read (decimal commas) fails and
// leaves the old output as it was.
// A settings file without general settings (a desktop session alone, an
// option section alone) converts with the shipped 6 and 3 decimals: it
// read every missing key as 0 and wrote "TP1 52 11 120".
TEST_F(Conversion, a_settings_file_without_general_settings_gives_the_shipped_decimals) {
  for (const char* settings : {"[DesktopSession]\nConversionInput=/tmp/in.txt\n", "[L0Settings]\nL0Auto=1\n"}) {
    SCOPED_TRACE(settings);
    writeFile(home / "user.ini", settings);
    writeFile(home / "in.txt", "TP1 4404281.875 5787072.497 120\n");
    const std::vector<std::string> args = {"--home", home.path().string(), "--settings", (home / "user.ini").string(),
                                           "convert", "gk-geo", (home / "in.txt").string(),
                                           (home / "out.txt").string()};
    ASSERT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), cli::kSuccess) << err.str();
    std::istringstream line(readFile(home / "out.txt"));
    std::string name, b, l, h;
    line >> name >> b >> l >> h;
    EXPECT_EQ(b.size() - b.find('.'), 7u) << b;
    EXPECT_EQ(l.size() - l.find('.'), 7u) << l;
    EXPECT_EQ(h, "120.000");
  }
}

TEST_F(Conversion, unreadable_lines_are_told_and_a_file_of_them_fails) {
  writeFile(home / "out.txt", "old output\n");
  EXPECT_EQ(convert({}, "1007", "P1 50,1 8,2 100\nP2 50,2 8,3 100\n"), cli::kJobFailed);
  EXPECT_NE(err.str().find("[1330]"), std::string::npos) << err.str();
  EXPECT_EQ(readFile(home / "out.txt"), "old output\n");
  EXPECT_EQ(convert({"--summary", (home / "s.json").string()}, "1007", "# c\nP1 50.1 8.2 100\nP2 50,2 8,3 100\n"),
            cli::kSuccess);
  EXPECT_NE(err.str().find("line 3"), std::string::npos) << err.str();
  const std::string summary = readFile(home / "s.json");
  EXPECT_NE(summary.find("\"lines_unreadable\": 1"), std::string::npos) << summary;
  EXPECT_NE(summary.find("in.txt:3"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\"name\": \"Bessel\""), std::string::npos) << "the ellipsoid the run used: " << summary;
}

// A file fed in the wrong direction: degrees to an inverse conversion gave
// "5 points written" with latitudes of 0.0001°, eastings to a forward one
// gave nothing. Refused before the output is replaced where the system
// cannot have such values; told where it can (near a Soldner origin).
TEST_F(Conversion, a_file_in_the_wrong_direction_is_refused_or_told) {
  const std::vector<std::string> fixedMeridian = {"--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=0"};
  const struct {
    const char* code;
    const char* input;
    std::vector<std::string> settings;
    int status;
    const char* id;  // "" for none of the three
  } cases[] = {
      {"gk-geo", "TP1 52.2103 10.5995 120\nTP2 52.3 10.6\n", {}, cli::kJobFailed, "[2118]"},
      {"lv95-geo", "A 46.95 7.44\n", {}, cli::kJobFailed, "[2118]"},
      {"xyz-geo", "P 52.2 10.6 500\n", {}, cli::kJobFailed, "[2118]"},
      {"geo-gk", "TP1 4404281.875 5787072.497 120\n", {}, cli::kJobFailed, "[2120]"},
      {"geo-xyz", "P 3900000.1 700000.2 5000000.3\n", {}, cli::kJobFailed, "[2120]"},
      {"soldner-geo", "P 120.5 -80.2\n", {}, cli::kSuccess, "[2119]"},
      // A fixed meridian 0°: E = 52.659 m, N = 11.091 m is a point on the
      // equator 500 km west of it (cs2cs +proj=tmerc +x_0=500000 +ellps=bessel).
      {"gk-geo", "Q1 52.659 11.091 10\n", fixedMeridian, cli::kSuccess, "[2119]"},
      {"xyz-geo", "SP 12.0 -30.0 -6356752.3\n", {}, cli::kSuccess, ""},  // at the South Pole
      {"gk-geo", "TP1 52.2103 10.5995\nTP2 4404281.875 5787072.497\n", {}, cli::kSuccess, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.code) + ": " + c.input);
    writeFile(home / "out.txt", "old output\n");
    EXPECT_EQ(convert(c.settings, c.code, c.input), c.status) << err.str();
    for (const char* id : {"[2118]", "[2119]", "[2120]"}) {
      EXPECT_EQ(err.str().find(id) != std::string::npos, std::string_view(c.id) == id) << err.str();
    }
    if (c.status != cli::kSuccess) {
      EXPECT_EQ(readFile(home / "out.txt"), "old output\n");
    }
  }
  // Standard output cannot be taken back: a refused run sends nothing there,
  // a run that goes on sends every point.
  const std::string cli = (test::binDir() / "pelmar-cli").string();
  const auto refusedRun = test::runCommand("printf 'TP1 52.2 10.5\\nTP2 52.3 10.6\\n' | '" + cli + "' --settings '" +
                                           (home / "u.ini").string() + "' convert gk-geo - -");
  EXPECT_EQ(refusedRun.status, cli::kJobFailed);
  EXPECT_NE(refusedRun.err.find("[2118]"), std::string::npos) << refusedRun.err;
  EXPECT_EQ(refusedRun.out, "");
  // An endless stream of degrees is refused on its first points: holding
  // everything back grew without end.
  const auto endlessRun = test::runCommand("yes 'P 50.1 10.2' | timeout 60 '" + cli + "' --settings '" +
                                           (home / "u.ini").string() + "' convert gk-geo - -");
  EXPECT_EQ(endlessRun.status, cli::kJobFailed) << endlessRun.err;
  EXPECT_EQ(endlessRun.out, "");
  const auto mixedRun = test::runCommand("printf 'TP1 52.2 10.5\\nTP2 4404281.875 5787072.497\\n' | '" + cli +
                                         "' --settings '" + (home / "u.ini").string() + "' convert gk-geo - -");
  EXPECT_EQ(mixedRun.status, cli::kSuccess) << mixedRun.err;
  EXPECT_NE(mixedRun.out.find("TP2"), std::string::npos) << mixedRun.out;
}

// A zone or band no UTM point has spoils its line only; it ended the whole
// run as "parameters refused" (1908), also for degrees read as zone 50 band ".1".
TEST_F(Conversion, a_utm_line_with_an_impossible_zone_or_band_is_unreadable) {
  const std::vector<std::string> zoneForm = {"--set", "GeneralSettings.FormatUTM=0"};
  EXPECT_EQ(convert(zoneForm, "utm-geo", "P1 50.1 8.9 100.0\n"), cli::kJobFailed);
  EXPECT_NE(err.str().find("[1330]"), std::string::npos) << err.str();
  EXPECT_EQ(convert(zoneForm, "utm-geo", "P1 32 U 500000 5400000\nP2 61 U 500000 5400000\nP3 32 I 500000 5400000\n"),
            cli::kSuccess);
  EXPECT_NE(err.str().find("[1330]"), std::string::npos) << err.str();
  EXPECT_EQ(readFile(home / "out.txt").find("P2"), std::string::npos);
  EXPECT_NE(readFile(home / "out.txt").find("P1"), std::string::npos);
}

// Raw UTM (no zone columns) with the meridian following each point: the way
// out says that the zone is not in the file, the way back is refused (it
// used the stored meridian 0° and put Berlin at −1.6°).
TEST_F(Conversion, raw_utm_with_an_automatic_meridian_cannot_come_back) {
  const std::vector<std::string> raw = {"--set", "GeneralSettings.FormatUTM=1", "--set", "L0Settings.L0Auto=1"};
  ASSERT_EQ(convert(raw, "1001", "BERLIN 52.52 13.40\n"), cli::kSuccess) << err.str();
  EXPECT_NE(err.str().find("[1406]"), std::string::npos) << err.str();
  const std::string utm = readFile(home / "out.txt");
  EXPECT_EQ(convert(raw, "2001", utm), cli::kJobFailed);
  EXPECT_NE(err.str().find("[1405]"), std::string::npos) << err.str();
  ASSERT_EQ(convert({"--set", "GeneralSettings.FormatUTM=1", "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=15"},
                    "2001", utm),
            cli::kSuccess)
      << err.str();
  EXPECT_NE(readFile(home / "out.txt").find("13.4000000000"), std::string::npos) << readFile(home / "out.txt");
}

TEST_F(Conversion, points_outside_the_domain_are_left_out_and_reported) {
  ASSERT_EQ(convert({"--summary", (home / "s.json").string(), "--ellipsoid", "WGS84"}, "1001",
                    "OK1 48 9\nPOLE 89.5 9\nOK2 47 10\nSOUTH -85 9\n"),
            0)
      << err.str();
  const std::string output = readFile(home / "out.txt");
  EXPECT_EQ(output.find("nan"), std::string::npos);
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 2);
  EXPECT_NE(err.str().find("2 points lie outside the projection's domain and were left out; the first is POLE."),
            std::string::npos)
      << err.str();
  const std::string json = readFile(home / "s.json");
  EXPECT_NE(json.find("\"points_left_out\": 2"), std::string::npos) << json;
  EXPECT_NE(json.find("\"first_left_out\": \"POLE\""), std::string::npos) << json;
}

// Cancel stops all three stages of the pipeline, also when batches are still
// queued behind the one being converted, and commits nothing.
TEST_F(Conversion, a_cancelled_run_leaves_the_old_output_byte_for_byte) {
  test::RecordingHost host;
  std::string error;
  ASSERT_TRUE(host.table.load(test::binDir() / "LangEN.lng", error));
  ProjectionLibrary library;
  ASSERT_TRUE(library.Open(test::binDir()));
  ConversionJob job;
  job.inputPath = home / "in.txt";
  job.outputPath = home / "out.txt";
  job.ellipsoid = {"Bessel", 6377397.155, 6356078.962818};
  std::string input;
  for (int i = 0; i < 20000; ++i) input += "P" + std::to_string(i) + " 50.8 9.3 100\n";
  writeFile(job.inputPath, input);
  const std::string before = "old output\r\nwith \xB0 and no newline";
  writeFile(job.outputPath, before);
  host.cancelAfterSteps = 9000;  // in the third batch of 4096 points
  const auto files = [&] { return std::distance(std::filesystem::directory_iterator(home.path()), {}); };
  const auto filesBefore = files();
  ConversionResult result;
  EXPECT_FALSE(RunConversion(*FindConversion(1007), job, library, host, &result));
  EXPECT_EQ(readFile(job.outputPath), before);
  EXPECT_TRUE(host.messages.empty()) << "the front end tells the cancel, the job says nothing";
  EXPECT_TRUE(host.ended) << "the progress window closes";
  EXPECT_EQ(files(), filesBefore) << "no temporary is left";
}

// The fixed ellipsoid of a national system holds for that run only.
TEST_F(Conversion, a_lambert_preset_sets_grs80_for_its_run_only) {
  test::RecordingHost host;
  std::string error;
  ASSERT_TRUE(host.table.load(test::binDir() / "LangEN.lng", error));
  ProjectionLibrary library;
  ASSERT_TRUE(library.Open(test::binDir()));
  ConversionJob job;
  job.inputPath = home / "in.txt";
  job.outputPath = home / "out.txt";
  job.ellipsoid = {"Bessel", 6377397.155, 6356078.962818};
  writeFile(job.inputPath, "P 50.8 4.3\n");
  ASSERT_TRUE(RunConversion(*FindConversion(1004), job, library, host));
  EXPECT_EQ(library.parameters().a, kGrs80A);
  EXPECT_EQ(library.parameters().b, kGrs80B);
  EXPECT_EQ(host.messages, std::vector<int>{str::NoticeGrs80});
  ASSERT_TRUE(RunConversion(*FindConversion(1002), job, library, host));
  EXPECT_EQ(library.parameters().b, 6356078.962818) << "the next run takes the settings' ellipsoid again";
}

TEST_F(Conversion, wrong_codes_and_missing_files_fail_with_their_status) {
  EXPECT_EQ(convert({}, "1015", "P 1 2\n"), 2);
  EXPECT_EQ(convert({}, "nosuch", "P 1 2\n"), 2);
  EXPECT_EQ(convert({"--greenwich"}, "1000", "P 1 2\n"), 2);
  writeFile(home / "in.txt", "P 48 9\n");
  std::vector<std::string> args = {"--home", home.path().string(), "convert", "1000", (home / "none.txt").string(),
                                   (home / "o.txt").string()};
  EXPECT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), 1);
  EXPECT_NE(err.str().find("[119]"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(home / "o.txt"));
  EXPECT_EQ(convert({}, "geo-gk", "P 48 9\n"), 0) << "names work as codes";
  // A folder that does not exist is told as missing, not as one without write access.
  args = {"--home", home.path().string(), "convert", "1000", (home / "in.txt").string(), (home / "no" / "o.txt").string()};
  EXPECT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), 1);
  EXPECT_NE(err.str().find("[1902]"), std::string::npos) << err.str();
}

// --set names keys the command reads, with values of their type and range:
// a typo used to be ignored, "abc" read as 0 and 30 decimals overran the
// columns. Each is a usage error naming the key and what it takes.
TEST_F(Conversion, set_refuses_unknown_keys_and_bad_values) {
  const struct {
    const char* set;
    const char* says;
  } cases[] = {
      {"SoldnerSettings.Typ=1", "SoldnerSettings.typ: no such key; SoldnerSettings has B0Grad"},
      // The first of the command's sections: its name was read through a
      // pointer into a vector that had grown since (found by the fuzzer).
      {"GeneralSettings.Nachkomma=5", "GeneralSettings.nachkomma: no such key; GeneralSettings has NachkommaGeog"},
      {"GeneralSettings.FormatUTM=abc", "GeneralSettings.FormatUTM=abc: the key takes a whole number from 0 to 1"},
      {"GeneralSettings.NachkommaKartesisch=30", "takes a whole number from 0 to 20"},
      {"GeneralSettings.NachkommaGeog=2.5", "takes a whole number from 0 to 20"},
      {"L0Settings.L0=9e", "L0Settings.L0=9e: the key takes a number from -180 to 180"},
      {"LambertSettings.BNordMinuten=75", "from -59 to 59"},
      {"HelmertTrafo3D.Type=1", "this command reads the sections GeneralSettings, Interpolation, L0Settings"},
      {"NoSection.Key=1", "this command reads the sections"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.set);
    std::filesystem::remove(home / "out.txt");
    EXPECT_EQ(convert({"--set", c.set}, "1000", "P 48 9\n"), cli::kUsage);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(home / "out.txt"));
  }
  EXPECT_EQ(convert({"--set", "l0settings.l0= 9.5 ", "--set", "GeneralSettings.FormatUTM=+1"}, "1000", "P 48 9\n"),
            cli::kSuccess)
      << "names match without regard to case; blanks and a plus sign are no error: " << err.str();
}

// Command-line habits: a one-line account of a successful run unless -q,
// "COMMAND --help" for that command, an unknown --lang as a usage error.
TEST_F(Conversion, cli_closing_line_command_help_and_language_check) {
  ASSERT_EQ(convert({}, "1000", "P 48 9\nQ 48 1e308\nR 48,1 9\n"), cli::kSuccess) << err.str();
  EXPECT_NE(err.str().find("pelmar-cli: convert: 3 lines read, 1 written, 1 left out, 1 line unreadable ("),
            std::string::npos)
      << err.str();
  // The ellipsoid: UTM of WGS84 points on the default Bessel is never a surprise.
  EXPECT_NE(err.str().find("; ellipsoid Bessel (a = 6377397.155 m, b = 6356078.962818 m)\n"), std::string::npos)
      << err.str();
  ASSERT_EQ(convert({"-q"}, "1000", "P 48 9\n"), cli::kSuccess);
  EXPECT_EQ(err.str().find("lines read"), std::string::npos) << err.str();

  std::vector<std::string> args = {"--home", home.path().string(), "convert", "--help"};
  out.str("");
  ASSERT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), cli::kSuccess);
  EXPECT_NE(out.str().find("convert CODE INPUT OUTPUT"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("estimate "), std::string::npos) << "only this command's usage";

  args = {"--home", home.path().string(), "--lang", "XX", "convert", "1000", "a", "b"};
  err.str("");
  EXPECT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), cli::kUsage);
  EXPECT_NE(err.str().find("the languages are EN (English), DE (Deutsch)"), std::string::npos) << err.str();
}

// "-" reads standard input and writes standard output, as cs2cs and cct do:
// only points on stdout, messages on stderr, the summary complete.
TEST_F(Conversion, a_dash_streams_points_through_standard_input_and_output) {
  const std::string cli = (test::binDir() / "pelmar-cli").string();
  const auto run = test::runCommand("printf 'P 48 9\\nQ 48,5 9\\n' | '" + cli + "' --settings '" +
                                    (home / "u.ini").string() + "' --summary '" + (home / "s.json").string() +
                                    "' --set L0Settings.L0Auto=0 --set L0Settings.L0=9 convert 1000 - -");
  EXPECT_EQ(run.status, 0) << run.err;
  std::string_view name;
  double e = 0, n = 0;
  ASSERT_EQ(scanFields(run.out, name, e, n), 3) << run.out;
  EXPECT_EQ(name, "P");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
  EXPECT_NE(run.err.find("[1330]"), std::string::npos) << "the unreadable line is told on stderr: " << run.err;
  const std::string summary = readFile(home / "s.json");
  EXPECT_NE(summary.find("\"lines_read\": 2"), std::string::npos) << summary;
  EXPECT_NE(summary.find("\"points_written\": 1"), std::string::npos) << summary;
}

// A run killed while it writes leaves no temporary beside its output: the
// new file has no name until it is committed (and in the fallback a named
// temporary is removed by SIGTERM). The input is a pipe that stays open, so
// the run is surely in the middle when it is killed.
TEST_F(Conversion, a_killed_run_leaves_no_temporary_and_the_old_output) {
  const std::string cli = (test::binDir() / "pelmar-cli").string();
  writeFile(home / "out.txt", "old output\n");
  for (const char* how : {"", "PELMAR_NAMED_TEMPORARIES=1 "}) {
    for (const char* signal : {"KILL", "TERM"}) {
      if (std::string(how).empty() == false && std::string(signal) == "KILL") continue;  // nothing survives -9 by name
      SCOPED_TRACE(std::string(how) + signal);
      const auto run = test::runCommand("(printf 'P 48 9\\n'; sleep 1) | " + std::string(how) + "'" + cli +
                                        "' -q --settings '" + (home / "u.ini").string() + "' convert 1000 - '" +
                                        (home / "out.txt").string() + "' & pid=$!; sleep 0.3; kill -" + signal +
                                        " $pid; wait $pid");
      EXPECT_EQ(readFile(home / "out.txt"), "old output\n");
      int others = 0;
      for (const auto& entry : std::filesystem::directory_iterator(home.path())) {
        const std::string name = entry.path().filename().string();
        others += name.rfind(".pelmar-", 0) == 0 || name.find(".tmp") != std::string::npos;
      }
      EXPECT_EQ(others, 0) << "a temporary was left";
    }
  }
}

// Settings a conversion cannot use are named before the first point, and
// parameters the library refuses stop the run: a Lambert "Version" of 5 or a
// Soldner origin at 100° made every point "outside the domain" of a
// successful run. The old output stays.
TEST_F(Conversion, unusable_settings_stop_the_run_naming_the_setting) {
  const struct {
    const char* what;
    const char* settings;
    const char* code;
    const char* says;
  } cases[] = {
      {"Lambert version 5", "[LambertSettings]\nVersion=5\nBSuedGrad=48\n", "1002",
       "LambertSettings.Version = 5 is outside its range (0, 1)"},
      {"Soldner origin at 100 degrees", "[SoldnerSettings]\nB0Grad=100\n", "1005",
       "SoldnerSettings.B0Grad = 100 is outside its range"},
      {"central meridian 400", "[L0Settings]\nL0=400\nL0Auto=0\n", "1000", "L0Settings.L0 = 400"},
      {"parallels 0 and 90", "[LambertSettings]\nVersion=1\nBNordGrad=90\nBSuedGrad=0\n", "1002", "[1908]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(home / "user.ini", c.settings);
    writeFile(home / "out.txt", "old output\n");
    EXPECT_EQ(convert({}, c.code, "P 48 9\n"), cli::kJobFailed);
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
    EXPECT_EQ(readFile(home / "out.txt"), "old output\n");
  }
}

// Ctrl+C goes through the real handler: the run stops before its first
// point, the old output stays, and the exit status says interrupted.
TEST_F(Conversion, ctrl_c_stops_the_run_keeps_the_output_and_exits_130) {
  cli::InstallInterruptHandler();
  std::raise(SIGINT);
  ASSERT_TRUE(cli::InterruptRequested());
  writeFile(home / "out.txt", "kept\n");
  const int status = convert({}, "1007", "P1 50 9 100\nP2 51 9 100\n");
  cli::ClearInterrupt();
  std::signal(SIGINT, SIG_DFL);
  EXPECT_EQ(status, cli::kInterrupted);
  EXPECT_EQ(readFile(home / "out.txt"), "kept\n");
  EXPECT_NE(err.str().find("[2001]"), std::string::npos) << err.str();
}

TEST(ProjectionOptions, sections_load_as_the_dialogs_do) {
  TempDir dir;
  SettingsStore store;
  store.SetFile(dir / "u.ini");
  writeFile(dir / "u.ini", "[L0Settings]\nL0=9\n[L0AustriaSettings]\nL0Austria=13.3333\nL0AustriaAuto=0\n");
  CentralMeridianOptions cm;
  cm.load(store);
  EXPECT_EQ(cm.L0, 9.0);
  EXPECT_EQ(cm.L0Auto, 0) << "a section holding only L0 reads L0Auto as 0";
  AustrianMeridianOptions at;
  EXPECT_EQ(at.meridianIndex(), 0);
  at.load(store);
  EXPECT_EQ(at.meridianIndex(), -1) << "four decimals are none of the three meridians";
  at.L0Austria = 13.0 + 1.0 / 3.0;
  ASSERT_TRUE(at.save(store));
  AustrianMeridianOptions back;
  back.load(store);
  EXPECT_EQ(back.meridianIndex(), 1) << "the stored double reads back exactly";
  EXPECT_EQ(LambertOptions::preset(2).meridian.degrees, 4) << "Belgian Lambert 2005 meridian 4°21'33.177\"";
  EXPECT_EQ(LambertOptions::preset(2).meridian.minutes, 21);
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// Every conversion's PROJ operation (its summary's "proj", as convert --list
// --proj prints it) run through cct gives what Pelmar wrote: within 0.1 mm,
// and 1e-9° (0.1 mm) for latitudes and longitudes, on points across each
// system's area; Soldner within 100 km of the meridian, where PROJ's series
// for cass holds 0.1 mm. The meridians and zones are fixed, else no single
// operation exists.
TEST_F(Conversion, every_operation_reproduces_the_conversion_through_cct) {
  const std::vector<std::string> settings = {
      "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=9", "--set", "GeneralSettings.FormatUTM=1",
      "--set", "L0AustriaSettings.L0AustriaAuto=0", "--set", "L0AustriaSettings.L0Austria=13.333333333333334",
      "--set", "SoldnerSettings.B0Grad=52", "--set", "SoldnerSettings.B0Minuten=25", "--set",
      "SoldnerSettings.L0Grad=13", "--set", "SoldnerSettings.FalseEast=40000", "--set", "LambertSettings.Version=1",
      "--set", "LambertSettings.BNordGrad=52", "--set", "LambertSettings.BSuedGrad=48", "--set",
      "LambertSettings.L0Grad=10", "--set", "LambertSettings.FalseEast=500000", "--set", "MercatorSettings.L0=10"};
  const struct Area {
    int code;
    double lat, lon, spread;  // degrees: a 3 × 3 grid about (lat, lon)
    std::vector<std::string> own = {};  // settings of this case after the common ones
  } areas[] = {
               // A flat cone, parallels symmetric about the equator: Mercator (lcc refuses it).
               {1002, 20, 5, 20, {"--set", "LambertSettings.BNordGrad=30", "--set", "LambertSettings.BSuedGrad=-30"}},{1000, 51, 9, 1.5},      {1001, 51, 9, 2.5},     {1002, 50, 10, 3},    {1003, 58.7, 25, 1},
               {1004, 50.5, 4.5, 0.8},  {1005, 52.4, 13, 0.8},  {1006, 20, 10, 30},  {1007, 45, 120, 40},
               {1008, 47.2, 19.2, 1.5}, {1009, 46.5, 3, 4},     {1010, 47.5, 13.3, 1.2}, {1011, 46.8, 8.2, 1},
               {1012, 46.8, 8.2, 1},    {1013, -30, -60, 50},   {1014, 49, 26.1, 0.6}};
  for (const Area& area : areas) {
    SCOPED_TRACE(area.code);
    std::string input;
    std::vector<std::array<double, 3>> geographic;  // longitude, latitude, height
    for (int i = 0; i < 9; ++i) {
      const double lat = area.lat + area.spread * (i / 3 - 1), lon = area.lon + area.spread * (i % 3 - 1);
      geographic.push_back({lon, lat, 100.0 * i});
      input += "P" + std::to_string(i) + " " + std::to_string(lat) + " " + std::to_string(lon) + " " +
               std::to_string(100.0 * i) + "\n";
    }
    // The forward conversion, then its inverse on what it wrote; cct gets
    // what each read, in PROJ's order.
    std::vector<std::array<double, 3>> read = geographic;
    for (const int code : {area.code, area.code + 1000}) {
      std::vector<std::string> args = settings;
      args.insert(args.end(), area.own.begin(), area.own.end());
      args.insert(args.end(), {"--summary", (home / "run.json").string()});
      ASSERT_EQ(convert(args, std::to_string(code), input), 0) << err.str();
      const auto json = nlohmann::json::parse(readFile(home / "run.json"));
      ASSERT_TRUE(json["proj"].is_string()) << json.dump();
      const bool angles = FindConversion(code)->output == PointForm::Geographic;
      std::vector<std::array<double, 3>> written;
      std::istringstream lines(readFile(home / "out.txt"));
      std::string line, name;
      while (std::getline(lines, line)) {
        std::array<double, 3> v{};
        ASSERT_EQ(scanFields(line, name, v[0], v[1], v[2]), 4) << line;
        written.push_back(angles ? std::array<double, 3>{v[1], v[0], v[2]} : v);
      }
      const auto proj = test::runCct(json["proj"].get<std::string>(), read);
      ASSERT_EQ(written.size(), proj.size());
      for (std::size_t i = 0; i < written.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(proj[i][c], written[i][c], angles && c < 2 ? 1e-9 : 1e-4) << code << " point " << i << " axis " << c;
        }
      }
      input = readFile(home / "out.txt");
      read = written;
    }
  }
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// --summary - writes the summary to standard output (and then no output may
// go there too); a run that fails still writes its summary, with "ok":
// false, its messages and what it read (here every line unreadable: a
// script learnt nothing but the exit status).
TEST_F(Conversion, the_summary_goes_to_standard_output_and_tells_a_failed_run) {
  ASSERT_EQ(convert({"--summary", "-"}, "1000", "P 48 9\n"), cli::kSuccess) << err.str();
  EXPECT_EQ(nlohmann::json::parse(out.str())["ok"], true);
  EXPECT_FALSE(std::filesystem::exists("-"));

  std::ostringstream sink;
  EXPECT_EQ(cli::runCli({"--home", home.path().string(), "--summary", "-", "convert", "1000",
                         (home / "in.txt").string(), "-"},
                        cli::defaultCommands(), sink, err, false),
            cli::kUsage);

  EXPECT_EQ(convert({"--summary", (home / "run.json").string()}, "1000", "A 52,1 10,2\nB 51,3 9,1\n"),
            cli::kJobFailed);
  const auto json = nlohmann::json::parse(readFile(home / "run.json"));
  EXPECT_EQ(json["ok"], false);
  EXPECT_EQ(json["message"]["id"], str::LinesUnreadable);
  EXPECT_EQ(json["counts"]["lines_unreadable"], 2);
  EXPECT_EQ(json["counts"]["points_written"], 0);
  EXPECT_EQ(json["first_unreadable"], (home / "in.txt").string() + ":1");
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// Delimited files as spreadsheets and GIS programs write them: read with
// --delimiter (a header line skipped, names with blanks kept, decimal
// commas in a ';' or tab file with --decimal-comma), written delimited under
// a line naming the columns, which GDAL's CSV reader takes as points.
TEST_F(Conversion, delimited_files_convert_and_gdal_reads_the_output_as_points) {
  ASSERT_EQ(convert({}, "1000", "A 52.1 10.2 100.5\n"), cli::kSuccess) << err.str();
  std::string name;
  double E = 0, N = 0, h = 0;
  ASSERT_EQ(scanFields(readFile(home / "out.txt"), name, E, N, h), 4);
  char expected[160];
  std::snprintf(expected, sizeof expected, "%.6f%c%.6f%c%.6f\n", E, '\x01', N, '\x01', h);
  const struct {
    std::vector<std::string> form;
    const char* input;
    char delimiter;
  } cases[] = {
      {{"--delimiter", ","}, "name,lat,lon,h\nMühle Nord,52.1,10.2,100.5\nbad,x,y\n", ','},
      {{"--delimiter", ";", "--decimal-comma"}, "Mühle Nord;52,1;10,2;100,5\nbad;x;y\n", ';'},
      {{"--delimiter", "tab"}, "Name\tB\tL\th\n\"Mühle Nord\"\t52.1\t10.2\t100.5\nbad\tx\ty\n", '\t'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.form[1]);
    std::vector<std::string> args = c.form;
    args.insert(args.end(), {"--summary", (home / "run.json").string()});
    ASSERT_EQ(convert(args, "1000", c.input), cli::kSuccess) << err.str();
    // Written in Windows-1252 as every output by default.
    std::string line = std::string("M\xFChle Nord") + c.delimiter + expected;
    std::replace(line.begin(), line.end(), '\x01', c.delimiter);
    const std::string header = std::string("name") + c.delimiter + "E" + c.delimiter + "N" + c.delimiter + "h\n";
    EXPECT_EQ(readFile(home / "out.txt"), header + line);
    const auto json = nlohmann::json::parse(readFile(home / "run.json"));
    EXPECT_EQ(json["counts"]["lines_read"], 2) << "the header is no data line";
    EXPECT_EQ(json["counts"]["lines_unreadable"], 1);
  }
  // Without --decimal-comma the ';' file's numbers do not read, the first or
  // any later one ("10,5995" was read as 10: a place 40 km off, told as done).
  EXPECT_EQ(convert({"--delimiter", ";"}, "1000", "A;52,1;10,2\n"), cli::kJobFailed);
  EXPECT_EQ(convert({"--delimiter", ";"}, "1000", "A;52.1;10,2\n"), cli::kJobFailed);

  // Lines the review found read wrongly: an empty value moved the next into
  // its column, a decimal comma in a name or remark became a point, a quoted
  // name starting with "#" vanished as a comment. Now the empty value makes
  // the line unreadable, an empty height stays an empty column, names and
  // remarks keep their commas, and the "#" name is told as unreadable.
  ASSERT_EQ(convert({"--delimiter", ";", "--decimal-comma", "--keep-rest", "--summary", (home / "run.json").string()},
                    "1000", "P1;;10,2;100\nMeier, Hans;52,1;10,2;;Zaun, alt 1,5 m\n\"#z\";52,1;10,2\n"),
            cli::kSuccess)
      << err.str();
  const auto review = nlohmann::json::parse(readFile(home / "run.json"));
  EXPECT_EQ(review["counts"]["lines_unreadable"], 2);
  EXPECT_EQ(review["first_unreadable"], (home / "in.txt").string() + ":1");
  const std::string written = readFile(home / "out.txt");
  EXPECT_NE(written.find("\nMeier, Hans;"), std::string::npos) << written;
  EXPECT_NE(written.find(";;Zaun, alt 1,5 m\n"), std::string::npos) << written;

  // Degrees, minutes and seconds of a small negative angle stay apart (the
  // padded layout writes "  0-29").
  ASSERT_EQ(convert({"--delimiter", ",", "--set", "GeneralSettings.FormatGeog=1"}, "2007",
                    "S,6377500,0,-55000\n"),
            cli::kSuccess)
      << err.str();
  const std::string dms = readFile(home / "out.txt");
  const std::string row = dms.substr(dms.find('\n') + 1);
  EXPECT_EQ(std::count(row.begin(), row.end(), ','), 7) << dms;

  // GDAL takes CSV as UTF-8.
  ASSERT_EQ(convert({"--delimiter", ",", "--encoding", "utf-8"}, "1000",
                    "TP1,52.1,10.2,100.5\n\"Mühle Nord\",52.2,10.3\n"),
            cli::kSuccess);
  std::filesystem::rename(home / "out.txt", home / "points.csv");
  const test::CommandResult gdal =
      test::runCommand("ogrinfo -ro -al -q -oo X_POSSIBLE_NAMES=E -oo Y_POSSIBLE_NAMES=N '" +
                       (home / "points.csv").string() + "'");
  ASSERT_EQ(gdal.status, 0) << gdal.err;
  EXPECT_NE(gdal.out.find("name (String) = Mühle Nord"), std::string::npos) << gdal.out;
  const std::size_t point = gdal.out.find("POINT (");
  ASSERT_NE(point, std::string::npos) << gdal.out;
  double x = 0, y = 0;
  ASSERT_EQ(std::sscanf(gdal.out.c_str() + point, "POINT (%lf %lf)", &x, &y), 2);
  EXPECT_NEAR(x, E, 1e-6);
  EXPECT_NEAR(y, N, 1e-6);
}

}  // namespace
}  // namespace pelmar
