#include <gtest/gtest.h>

#include <array>

#include <map>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "app/StringIds.h"
#include "cli/CliApp.h"
#include "conversion/BatchConversion.h"
#include "conversion/ProjectionLibrary.h"
#include "points/LineScanner.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct ReferenceBlock {
  int code = 0;
  std::vector<std::string> args;
  struct Row {
    std::string name;
    std::vector<double> in, out;
  };
  std::vector<Row> rows;
};

// tests/reference/conversions.txt: blocks "[code]", "args: ...", rows
// "name inputs | outputs" (commands in the comments).
std::vector<ReferenceBlock> readReferences() {
  std::ifstream in(test::sourceDir() / "tests" / "reference" / "conversions.txt");
  std::vector<ReferenceBlock> blocks;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      blocks.push_back({});
      blocks.back().code = std::stoi(line.substr(1));
      continue;
    }
    std::istringstream words(line);
    std::string word;
    if (line.rfind("args:", 0) == 0) {
      words >> word;
      while (words >> word) blocks.back().args.push_back(word);
      continue;
    }
    ReferenceBlock::Row row;
    words >> row.name;
    bool outputs = false;
    while (words >> word) {
      if (word == "|") {
        outputs = true;
        continue;
      }
      (outputs ? row.out : row.in).push_back(std::stod(word));
    }
    blocks.back().rows.push_back(row);
  }
  return blocks;
}

// An angle as degrees, minutes, seconds, the sign on the first non-zero part.
std::string dmsText(double degrees) {
  const bool negative = degrees < 0;
  double a = std::fabs(degrees);
  int d = static_cast<int>(a);
  int m = static_cast<int>((a - d) * 60.0);
  double s = ((a - d) * 60.0 - m) * 60.0;
  char text[80];
  if (negative && d != 0) d = -d;
  else if (negative && m != 0) m = -m;
  else if (negative) s = -s;
  std::snprintf(text, sizeof text, "%d %d %.10f", d, m, s);
  return text;
}

double fromDms(int d, int m, double s) {
  const double value = std::abs(d) + std::abs(m) / 60.0 + std::fabs(s) / 3600.0;
  return (d < 0 || m < 0 || s < 0) ? -value : value;
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
  TempDir home;
  std::ostringstream out, err;
};

// Every conversion, both directions, decimal and DMS geographic forms, both
// UTM forms: the output files against PROJ's and GeographicLib's values
// (0.1 mm, 1e-9 degree). Commands in tests/reference/conversions.txt.
TEST_F(Conversion, every_code_matches_the_references_through_the_command_line) {
  const auto blocks = readReferences();
  ASSERT_GE(blocks.size(), 30u);
  std::set<int> codes;
  for (const ReferenceBlock& block : blocks) {
    codes.insert(block.code);
    const bool forward = block.code < 2000;
    const int family = block.code % 1000;
    const bool zoneForm = std::find(block.args.begin(), block.args.end(), "GeneralSettings.FormatUTM=0") !=
                          block.args.end();
    for (int format : {0, 1}) {
      SCOPED_TRACE(testing::Message() << block.code << " " << testing::PrintToString(block.args) << " FormatGeog "
                                      << format);
      std::vector<std::string> args = block.args;
      args.insert(args.end(), {"--set", "GeneralSettings.FormatGeog=" + std::to_string(format)});
      std::string input;
      for (const auto& row : block.rows) {
        input += row.name;
        char number[64];
        if (forward && format == 1) {
          input += " " + dmsText(row.in[0]) + " " + dmsText(row.in[1]);
          for (std::size_t i = 2; i < row.in.size(); ++i) {
            std::snprintf(number, sizeof number, " %.10f", row.in[i]);
            input += number;
          }
        } else if (!forward && family == 1 && zoneForm) {
          std::snprintf(number, sizeof number, " %d %c %.10f %.10f", static_cast<int>(row.in[0]),
                        static_cast<char>(row.in[1]), row.in[2], row.in[3]);
          input += number;
        } else {
          for (double v : row.in) {
            std::snprintf(number, sizeof number, " %.12f", v);
            input += number;
          }
        }
        input += "\n";
      }
      ASSERT_EQ(convert(args, std::to_string(block.code), input), 0) << err.str();
      std::istringstream lines(readFile(home / "out.txt"));
      std::string line;
      for (const auto& row : block.rows) {
        ASSERT_TRUE(std::getline(lines, line)) << row.name;
        std::vector<double> values;
        std::string_view name;
        if (forward && family == 1 && zoneForm) {
          int zone = 0;
          std::string_view letter;
          double e = 0, n = 0;
          ASSERT_EQ(scanFields(line, name, zone, letter, e, n), 5) << line;
          EXPECT_EQ(zone, static_cast<int>(row.out[0]));
          EXPECT_EQ(letter[0], static_cast<char>(row.out[1]));
          values = {e, n};
        } else if (!forward && format == 1) {
          int bd = 0, bm = 0, ld = 0, lm = 0;
          double bs = 0, ls = 0, h = 0;
          const int n = scanFields(line, name, bd, bm, bs, ld, lm, ls, h);
          ASSERT_GE(n, 7) << line;
          values = {fromDms(bd, bm, bs), fromDms(ld, lm, ls)};
          if (n == 8) values.push_back(h);
        } else {
          double a = 0, b = 0, c = 0;
          const int n = scanFields(line, name, a, b, c);
          ASSERT_GE(n, 3) << line;
          values = {a, b};
          if (n == 4) values.push_back(c);
        }
        EXPECT_EQ(name, row.name);
        const std::vector<double> expected(row.out.end() - static_cast<std::ptrdiff_t>(values.size()), row.out.end());
        ASSERT_EQ(values.size(), expected.size()) << line;
        for (std::size_t i = 0; i < values.size(); ++i) {
          const bool angle = !forward && i < 2;
          EXPECT_NEAR(values[i], expected[i], angle ? 1e-9 : 1e-4) << line;
        }
      }
    }
  }
  for (const ConversionInfo& c : Conversions()) EXPECT_TRUE(codes.count(c.code)) << c.code << " has no reference";
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
// Degrees, minutes and seconds: a "-0" degrees field keeps its sign (read
// as an integer it became +0°30′, the mirror position 111 km away), an
// angle with fractional degrees or 75 minutes is not read at all, and
// printed seconds are rounded before they are split, so none is 60.
TEST_F(Conversion, dms_keeps_the_sign_of_minus_zero_and_never_prints_60_seconds) {
  const std::vector<std::string> dms = {"--set", "GeneralSettings.FormatGeog=1", "--ellipsoid", "GRS80"};
  ASSERT_EQ(convert(dms, "1007", "S -0 30 0 -0 15 0 0\nN 0 30 0 0 15 0 0\nF 0.5 30 0 0 15 0 0\nM 0 75 0 0 15 0 0\n"),
            cli::kSuccess)
      << err.str();
  std::map<std::string, std::array<double, 3>> xyz;
  std::istringstream lines(readFile(home / "out.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name;
    std::array<double, 3> v{};
    fields >> name >> v[0] >> v[1] >> v[2];
    xyz[name] = v;
  }
  ASSERT_EQ(xyz.size(), 2u) << "fractional degrees and 75 minutes are no angles";
  EXPECT_NEAR(xyz["S"][2], -xyz["N"][2], 1e-6) << "south of the equator";
  EXPECT_NEAR(xyz["S"][1], -xyz["N"][1], 1e-6) << "west of Greenwich";

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
}

// The oblique national projections have a domain: within 2000 km of their
// origin and where forward and inverse agree. The antipode of Bern used to
// come out as a coordinate inside Switzerland.
TEST_F(Conversion, oblique_projections_leave_out_points_far_from_their_country) {
  ASSERT_EQ(convert({}, "1012", "BERN 46.95 7.44\nANTI -46.95 -172.56\nFAR 10 120\n"), cli::kSuccess) << err.str();
  std::string out = readFile(home / "out.txt");
  EXPECT_NE(out.find("BERN"), std::string::npos);
  EXPECT_EQ(out.find("ANTI"), std::string::npos);
  EXPECT_NE(err.str().find("[1400]"), std::string::npos);
  ASSERT_EQ(convert({}, "2008", "IN 650000 200000\nFAR 9650000 200000\nHUGE 1e9 1e9\n"), cli::kSuccess) << err.str();
  out = readFile(home / "out.txt");
  EXPECT_NE(out.find("IN"), std::string::npos);
  EXPECT_EQ(out.find("FAR"), std::string::npos);
  EXPECT_EQ(out.find("HUGE"), std::string::npos);
}

// Automatic Gauss–Krüger takes its zone from the longitude or the
// easting: absurd ones (1e308 printed "inf", 369.2° made zone 123) are
// left out, counted and named.
TEST_F(Conversion, automatic_gauss_krueger_refuses_zones_that_do_not_exist) {
  ASSERT_EQ(convert({}, "1000", "OK 50 9\nINF 50 1e308\nBIG 50 369.2\n"), cli::kSuccess) << err.str();
  std::string out = readFile(home / "out.txt");
  EXPECT_EQ(out.find("inf"), std::string::npos);
  EXPECT_EQ(out.find("BIG"), std::string::npos);
  EXPECT_NE(err.str().find("2 points"), std::string::npos) << err.str();
  ASSERT_EQ(convert({}, "2000", "OK 3500000 5540000\nZ 123500000 5540000\n"), cli::kSuccess) << err.str();
  EXPECT_EQ(readFile(home / "out.txt").find("Z "), std::string::npos);
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
