#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <nlohmann/json.hpp>
#include <limits>
#include <sstream>

#include "cli/CliApp.h"
#include "settings/EllipsoidDatabase.h"
#include "cli/CliHost.h"
#include "cli/Summary.h"
#include "text/LineScanner.h"
#include "text/TextEncoding.h"
#include "support/TestSupport.h"

namespace pelmar::cli {
namespace {

using test::TempDir;
using test::writeFile;

// A command that keeps what it was given.
class ProbeCommand : public Command {
 public:
  std::string_view name() const override { return "probe"; }
  std::string_view synopsis() const override { return "probe [ARGS]           test command"; }
  std::vector<std::string_view> settingSections() const override { return {"L0Settings"}; }
  int run(CliContext& context, const std::vector<std::string>& args) override {
    ran = true;
    this->args = args;
    settingsFile = context.settings.file();
    context.settings.SetSection("L0Settings");
    context.settings.ReadString("L0", l0);
    l0SectionExists = context.settings.SectionExists("L0Settings");
    ellipsoid = context.ellipsoidName;
    summary = context.summaryPath;
    context.host.message(221, {});
    return status;
  }
  bool ran = false;
  int status = kSuccess;
  std::vector<std::string> args;
  std::filesystem::path settingsFile;
  std::string l0;
  bool l0SectionExists = false;
  std::string ellipsoid;
  std::filesystem::path summary;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(home / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=EN\n");
    writeFile(home / "LangEN.lng", "221=Conversion\n");
    writeFile(home / "LangDE.lng", "221=Umrechnung\n");
    test::linkPlugins(home.path());
    auto command = std::make_unique<ProbeCommand>();
    probe = command.get();
    registry.add(std::move(command));
  }
  int run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return runCli(args, registry, out, err, false);
  }
  TempDir home;
  CommandRegistry registry;
  ProbeCommand* probe = nullptr;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(Cli, passes_global_options_and_command_arguments) {
  const int status = run({"--home", home.path().string(), "probe", "--source", "a.txt", "--set",
                          "L0Settings.L0=9", "--summary=s.json", "--ellipsoid", "GRS80", "-q", "x"});
  EXPECT_EQ(status, kSuccess) << err.str();
  ASSERT_TRUE(probe->ran);
  EXPECT_EQ(probe->args, (std::vector<std::string>{"--source", "a.txt", "x"}));
  EXPECT_EQ(probe->l0, "9");
  EXPECT_FALSE(probe->l0SectionExists) << "overrides do not make a section exist";
  EXPECT_EQ(probe->ellipsoid, "GRS80");
  EXPECT_EQ(probe->summary, "s.json");
  EXPECT_EQ(probe->settingsFile.parent_path(), home.path() / "config");
  EXPECT_EQ(err.str(), "pelmar-cli: Conversion [221]\n");
  EXPECT_FALSE(std::filesystem::exists(home / "config")) << "the command line never writes settings";
}

TEST_F(Cli, settings_and_language_options_choose_file_and_table) {
  writeFile(home / "my.ini", "[L0Settings]\nL0=6\n");
  EXPECT_EQ(run({"--home", home.path().string(), "--settings", (home / "my.ini").string(), "--lang", "DE", "probe"}),
            kSuccess);
  EXPECT_EQ(probe->l0, "6");
  EXPECT_EQ(err.str(), "pelmar-cli: Umrechnung [221]\n");
}

TEST_F(Cli, returns_the_command_status) {
  probe->status = kJobFailed;
  EXPECT_EQ(run({"--home", home.path().string(), "probe"}), kJobFailed);
}

TEST_F(Cli, wrong_usage_exits_with_2) {
  const std::vector<std::vector<std::string>> cases = {{},
                                                       {"--home", home.path().string(), "nosuch"},
                                                       {"--bogus", "probe"},
                                                       {"probe", "--set"},
                                                       {"--set", "NoDot=1", "probe"},
                                                       {"--set", "S.K", "probe"}};
  for (const auto& args : cases) {
    EXPECT_EQ(run(args), kUsage) << (args.empty() ? "(no arguments)" : args[0]);
    EXPECT_NE(err.str().find("pelmar-cli: "), std::string::npos);
    EXPECT_FALSE(probe->ran);
  }
}

TEST_F(Cli, help_and_version_need_no_start_up) {
  EXPECT_EQ(run({"--home", "/nonexistent", "--help"}), kSuccess);
  EXPECT_NE(out.str().find("probe [ARGS]"), std::string::npos);
  EXPECT_EQ(run({"--version"}), kSuccess);
  EXPECT_EQ(out.str().rfind("pelmar-cli ", 0), 0u);
}

TEST_F(Cli, missing_language_table_fails_before_the_command) {
  writeFile(home / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=XX\n");
  EXPECT_EQ(run({"--home", home.path().string(), "probe"}), kJobFailed);
  EXPECT_EQ(err.str().substr(0, err.str().find('\n')), "pelmar-cli: Error loading LangXX.lng");
  EXPECT_FALSE(probe->ran);
  // A code that would leave the program directory is refused as well.
  EXPECT_EQ(run({"--home", home.path().string(), "--lang", "/../../etc/EN", "probe"}), kJobFailed);
  EXPECT_FALSE(probe->ran);
}

TEST(CliHost, one_message_per_line_and_questions_answered_no) {
  LanguageTable table;
  std::string error;
  ASSERT_TRUE(table.parse("118=Save the settings?\n390=No write access\\nto %s.\n", "T", error));
  std::ostringstream err;
  CliHost host(table, err, false);
  host.message(390, {"/tmp/x"});
  EXPECT_FALSE(host.ask(118));
  host.setProgressRange(10);
  host.stepProgress();
  host.endProgress();
  EXPECT_EQ(err.str(), "pelmar-cli: No write access to /tmp/x. [390]\npelmar-cli: Save the settings? [118] -> no\n");
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

class EllipsoidsCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "Ellip.db"}) {
      std::filesystem::copy_file(test::binDir() / name, home / name);
    }
    test::linkPlugins(home.path());
  }
  int run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path().string(), "ellipsoids"});
    out.str("");
    err.str("");
    return runCli(args, defaultCommands(), out, err, false);
  }
  TempDir home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(EllipsoidsCli, lists_adds_and_deletes) {
  ASSERT_EQ(run({"list"}), kSuccess) << err.str();
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')), "Name                   a (m)           b (m)");
  EXPECT_NE(out.str().find("\nBessel            6377397.155000  6356078.962818\n"), std::string::npos);
  ASSERT_EQ(run({"add", "Everest", "6377276.345", "6356075.413"}), kSuccess) << err.str();
  // WGS84 by its inverse flattening (EPSG 7030): b = 6356752.314245179.
  ASSERT_EQ(run({"add", "WGS84f", "6378137", "--inverse-flattening", "298.257223563"}), kSuccess) << err.str();
  ASSERT_EQ(run({"delete", "Bessel"}), kSuccess) << err.str();
  ASSERT_EQ(run({"list"}), kSuccess);
  EXPECT_NE(out.str().find("\nGRS80"), std::string::npos);
  EXPECT_EQ(out.str().find("\nBessel"), std::string::npos);
  EXPECT_NE(out.str().find("WGS84f            6378137.000000  6356752.314245\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("Everest           6377276.345000  6356075.413000\n"), std::string::npos);
}

// Concurrent adds keep every ellipsoid: each read-modify-write of Ellip.db
// runs under its lock (37 of 100 used to be lost).
TEST_F(EllipsoidsCli, fifty_concurrent_pairs_of_adds_keep_all_hundred) {
  const std::string cli = "'" + (test::binDir() / "pelmar-cli").string() + "' -q --home '" + home.path().string() + "'";
  std::string script;
  for (int i = 0; i < 50; ++i) {
    script += cli + " ellipsoids add A" + std::to_string(i) + " 6378137 6356752.3 & ";
    script += cli + " ellipsoids add B" + std::to_string(i) + " 6378137 6356752.3 & ";
  }
  script += "wait";
  const auto result = test::runCommand(script);
  EXPECT_EQ(result.status, 0) << result.err;
  EllipsoidList list;
  ASSERT_TRUE(ReadEllipsoidDatabase(home / "Ellip.db", list));
  EXPECT_EQ(list.size(), 8u + 100u);
}

TEST_F(EllipsoidsCli, refuses_what_would_spoil_the_list) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {{{"delete", "Nosuch"}, kJobFailed, "[1201]"},
               {{"add", "GRS80", "6378137", "6356752"}, kJobFailed, "[1202]"},
               {{"add", "Bad", "6356752", "6378137"}, kJobFailed, "[1203]"},
               {{"add", "Bad", "6378137", "-1"}, kJobFailed, "[1203]"},
               {{"add", "Bad", "6378137", "6356752,3"}, kUsage, "A and B are lengths"},
               {{"add", "Bad", "6.378.137", "6356752"}, kUsage, "A and B are lengths"},
               {{"add", "Bad", "6378137", "635675.2"}, kJobFailed, "[1204]"},
               {{"add", "Bad", "6378137", "--inverse-flattening", "0"}, kJobFailed, "[1203]"},
               {{"add", "Bad", "6378137", "--inverse-flattening", "29.8"}, kJobFailed, "[1204]"},
               {{"add", "", "6378137", "6356752"}, kUsage, "NAME must be text on one line"},
               {{"add", "Two\nLines", "6378137", "6356752"}, kUsage, "NAME must be text on one line"},
               {{"add", "Bad", "6378137"}, kUsage, "say list"},
               {{"rename"}, kUsage, "say list"}};
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), c.status) << c.args[0];
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  }
  EXPECT_EQ(test::readFile(home / "Ellip.db"), test::readFile(test::binDir() / "Ellip.db"));
}

TEST_F(EllipsoidsCli, damaged_file_fails_with_104) {
  test::writeFile(home / "Ellip.db", "\x01\x00");
  EXPECT_EQ(run({"list"}), kJobFailed);
  EXPECT_NE(err.str().find("[104]"), std::string::npos) << err.str();

  // A record with a semi-axis that is no number: every command that needs
  // the file names the record, as "list" does (convert said only "cannot be
  // read or written").
  std::string record = std::string("\x01\x00\x00\x00", 4) + "\x03" + "Bad";
  const double a = std::numeric_limits<double>::quiet_NaN(), b = 6356752.0;
  record.append(reinterpret_cast<const char*>(&a), 8).append(reinterpret_cast<const char*>(&b), 8);
  test::writeFile(home / "Ellip.db", record);
  test::writeFile(home / "p.txt", "P 50 10\n");
  out.str("");
  err.str("");
  const std::vector<std::string> convert = {"--home", home.path().string(), "--ellipsoid", "Bad", "convert",
                                            "geo-utm", (home / "p.txt").string(), (home / "o.txt").string()};
  EXPECT_EQ(runCli(convert, defaultCommands(), out, err, false), kJobFailed);
  EXPECT_NE(err.str().find("[104]"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("\"Bad\""), std::string::npos) << err.str();
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

class EstimateCli : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "Ellip.db", "HeaderInfo.dat"}) {
      std::filesystem::copy_file(test::binDir() / name, home / name);
    }
    test::linkPlugins(home.path());
    writeFile(home / "s.txt", "A 1000 2000\nB 3000 4000\nC 5000 1000\nD 2000 5000\nE 4000 3000\nN 2500 2500\n");
    writeFile(home / "t.txt", "A 1100.001 2200\nB 3100 4200.002\nC 5099.998 1200\nD 2100 5200\nE 4100.5 3200\n");
  }
  int run(std::vector<std::string> args) {
    std::vector<std::string> full = {"--home", home.path().string(), "--settings", (home / "user.ini").string()};
    full.insert(full.end(), args.begin(), args.end());
    out.str("");
    err.str("");
    return runCli(full, defaultCommands(), out, err, false);
  }
  std::string path(const char* name) const { return (home / name).string(); }
  TempDir home;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(EstimateCli, writes_report_output_and_summary) {
  ASSERT_EQ(run({"--set", "SoldnerSettings.Type=1", "--summary", path("s.json"), "estimate", "similarity",
                 "--source", path("s.txt"), "--target", path("t.txt"), "--report", path("r.aus"), "--output",
                 path("o.txt")}),
            kSuccess)
      << err.str();
  const auto json = nlohmann::json::parse(test::readFile(home / "s.json"));
  EXPECT_EQ(json["command"], "estimate");
  EXPECT_EQ(json["model"], "similarity");
  EXPECT_EQ(json["method"], "least-squares");
  EXPECT_EQ(json["passes"], 1);
  EXPECT_EQ(json["counts"]["identical_points"], 5);
  EXPECT_EQ(json["counts"]["lines_read"], 11);
  EXPECT_EQ(json["counts"]["points_written"], 6);
  EXPECT_EQ(json["inputs"]["source"], path("s.txt"));
  EXPECT_EQ(json["outputs"]["output"], path("o.txt"));
  EXPECT_TRUE(json["sigma0"].is_number());
  ASSERT_EQ(json["points"].size(), 5u);
  const auto& e = json["points"][4];
  EXPECT_EQ(e["name"], "E");
  EXPECT_EQ(e["residuals"].size(), 2u);
  EXPECT_EQ(e["nabla"].size(), 2u);
  EXPECT_TRUE(e["outlier"].get<bool>()) << "E carries a 0.5 m error";
  EXPECT_TRUE(e["tested"].get<bool>());
  for (const char* field : {"name", "value", "unit"}) EXPECT_TRUE(json["parameters"][0].contains(field));
  EXPECT_TRUE(std::filesystem::exists(home / "r.aus"));
  // What the numbers are: redundancy 2·5 − 4, σ0, every parameter's σ, and
  // that E's residual went into the distribution (on by default), also
  // told on stderr.
  EXPECT_EQ(json["redundancy"], 6);
  EXPECT_EQ(json["converged"], true);
  EXPECT_EQ(json["gross_error_test"], true);
  for (const auto& parameter : json["parameters"]) EXPECT_TRUE(parameter["sigma"].is_number()) << parameter["name"];
  EXPECT_EQ(json["distributed_outliers"], nlohmann::json::array({"E"}));
  EXPECT_NE(err.str().find("distributed onto the transformed points: E. [1367]"), std::string::npos) << err.str();
}

// The points' records are written by hand in json.dump(2)'s layout: the
// text must be what the library writes for the same object, whatever the
// names hold (quotes, backslashes, control characters, UTF-8 and
// Windows-1252 letters) and the numbers are (NaN as null, whole, tiny, none).
TEST(SummaryJson, points_are_laid_out_and_escaped_as_the_json_library_does) {
  EstimationSummary estimation;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::string> names = {"P1", "a\"b\\c", "tab\tand\x01", "M\xC3\xBCller", "M\xFCller", "", "~ {}"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    PointTest t;
    t.name = names[i];
    t.residuals = i % 2 == 0 ? AxisValues{0.001, -2.5e-7} : AxisValues{nan, 3.0, 1e-300};
    t.nabla = i == 5 ? AxisValues{} : AxisValues{-0.0, 1e21};
    t.mdb = i == 3 ? AxisValues{} : AxisValues{0.1};
    t.T = 1.0 / 3.0, t.F = 12.0, t.outlier = i == 2, t.tested = i != 4, t.redundancyShare = 0.5;
    estimation.points.push_back(t);
  }
  estimation.testAxes = {"N", "E", "h"};
  cli::RunSummary summary;
  summary.command = "estimate";
  summary.estimation = &estimation;
  const std::string text = cli::SummaryJson(summary);
  const auto json = nlohmann::json::parse(text);
  EXPECT_EQ(json.dump(2) + "\n", text);
  ASSERT_EQ(json["points"].size(), names.size());
  EXPECT_EQ(json["points"][1]["name"], names[1]);
  EXPECT_EQ(json["points"][4]["name"], "M\xC3\xBCller") << "Windows-1252 read as such";
  EXPECT_TRUE(json["points"][1]["residuals"][0].is_null());
}

TEST_F(EstimateCli, writes_the_residual_plot_beside_the_report_or_where_plot_names_it) {
  const std::vector<std::string> common = {"--set", "SoldnerSettings.Type=1", "estimate", "similarity", "--source",
                                           path("s.txt"), "--target", path("t.txt")};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = common;
    args.insert(args.end(), more.begin(), more.end());
    return run(args);
  };
  ASSERT_EQ(with({"--report", path("r.aus")}), kSuccess) << err.str();
  const std::string svg = test::readFile(home / "r.svg");
  EXPECT_NE(svg.find("fill=\"#d3261f\" font-weight=\"bold\">E</text>"), std::string::npos)
      << "E carries a 0.5 m error and is named in the warning colour";

  ASSERT_EQ(with({"--summary", path("p.json"), "--report", path("q.aus"), "--plot", path("plan.svg")}), kSuccess)
      << err.str();
  EXPECT_EQ(test::readFile(home / "plan.svg"), svg);
  EXPECT_FALSE(std::filesystem::exists(home / "q.svg"));
  EXPECT_EQ(nlohmann::json::parse(test::readFile(home / "p.json"))["outputs"]["plot"], path("plan.svg"));

  // --plot none writes none, and the summary names none.
  ASSERT_EQ(with({"--summary", path("n.json"), "--report", path("n.aus"), "--plot", "none"}), kSuccess) << err.str();
  EXPECT_FALSE(std::filesystem::exists(home / "n.svg"));
  EXPECT_FALSE(std::filesystem::exists(home / "none"));
  EXPECT_FALSE(nlohmann::json::parse(test::readFile(home / "n.json"))["outputs"].contains("plot"));

  // A plot named like an input is refused before anything is written.
  EXPECT_EQ(with({"--report", path("x.aus"), "--plot", path("t.txt")}), kJobFailed);
  EXPECT_NE(err.str().find("[1801]"), std::string::npos) << err.str();
  EXPECT_FALSE(std::filesystem::exists(home / "x.aus"));
}

// A plot that cannot be written fails the run (exit 1) with its reason and
// the plot's own message; the report stands and the kept file is untouched.
TEST_F(EstimateCli, a_plot_that_cannot_be_written_fails_the_run) {
  test::writeFile(home / "kept.svg", "kept\n");
  ::chmod((home / "kept.svg").c_str(), 0444);
  EXPECT_EQ(run({"--set", "SoldnerSettings.Type=1", "estimate", "similarity", "--source", path("s.txt"), "--target",
                 path("t.txt"), "--report", path("r.aus"), "--plot", path("kept.svg")}),
            kJobFailed);
  EXPECT_NE(err.str().find("[1904]"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("[2113]"), std::string::npos) << err.str();
  EXPECT_EQ(test::readFile(home / "kept.svg"), "kept\n");
  EXPECT_TRUE(std::filesystem::exists(home / "r.aus"));
}

// Points on one line cannot give the affine transformation: the cause, then
// 143, exit 1, no report, and a summary that says so.
TEST_F(EstimateCli, points_on_one_line_fail_with_their_cause_and_write_nothing) {
  writeFile(home / "line.txt", "A 1000 2000\nB 2000 3000\nC 3000 4000\nD 4000 5000\n");
  writeFile(home / "t.txt", "A 1100 2100\nB 2100 3100\nC 3100 4100\nD 4100 5100\n");
  EXPECT_EQ(run({"--summary", path("s.json"), "estimate", "affine", "--source", path("line.txt"), "--target",
                 path("t.txt"), "--report", path("r.aus"), "--output", path("o.txt")}),
            kJobFailed);
  const std::string text = err.str();
  EXPECT_NE(text.find("lie on one line"), std::string::npos) << text;
  EXPECT_LT(text.find("[1337]"), text.find("[143]")) << text;
  for (const char* name : {"r.aus", "o.txt"}) EXPECT_FALSE(std::filesystem::exists(home / name)) << name;
  const auto summary = nlohmann::json::parse(test::readFile(home / "s.json"));
  EXPECT_EQ(summary["ok"], false);
  EXPECT_EQ(summary["message"]["id"], 1337);
  EXPECT_EQ(summary["model"], "affine");
}

TEST_F(EstimateCli, failures_exit_non_zero_with_their_message_and_no_report) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt")}, kUsage, "[139]"},
      {{"estimate", "affine", "--report", path("r.aus"), "--target", path("t.txt")}, kUsage, "[140]"},
      {{"estimate", "affine", "--report", path("r.aus"), "--source", path("s.txt")}, kUsage, "[141]"},
      {{"estimate", "helmert9", "--report", path("r.aus")}, kUsage, "unknown model"},
      {{"estimate", "similarity", "--source", path("none.txt"), "--target", path("t.txt"), "--report",
        path("r.aus")},
       kJobFailed, "[133]"},
      {{"estimate", "similarity", "--source", path("s.txt"), "--target", path("none.txt"), "--report",
        path("r.aus")},
       kJobFailed, "[134]"},
      {{"estimate", "similarity", "--source", path("s.txt"), "--target", path("s.json"), "--report",
        path("r.aus")},
       kJobFailed, "[136]"},
      {{"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"), "--report",
        (home / "no" / "r.aus").string()},
       kJobFailed, "[1902]"},
  };
  writeFile(home / "s.json", "# no points\n");
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.args), c.status) << c.message;
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(home / "r.aus"));
  }
  writeFile(home / "t.txt", "A 1 2\nX 3 4\n");
  EXPECT_EQ(run({"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"), "--report",
                 path("r.aus")}),
            kJobFailed);
  EXPECT_NE(err.str().find("[135]"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("[143]"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

TEST_F(EstimateCli, helmert_models_write_their_summary) {
  const auto reference = test::sourceDir() / "tests" / "reference";
  for (const char* model : {"helmert", "helmert-l1"}) {
    SCOPED_TRACE(model);
    ASSERT_EQ(run({"--summary", path("h.json"), "estimate", model, "--source",
                   (reference / "helmert-source.txt").string(), "--target",
                   (reference / "helmert-target-pv.txt").string(), "--report", path("h.aus"), "--output",
                   path("h.txt")}),
              kSuccess)
        << err.str();
    const auto json = nlohmann::json::parse(test::readFile(home / "h.json"));
    EXPECT_EQ(json["model"], model);
    EXPECT_EQ(json["method"], "l1");
    EXPECT_EQ(json["counts"]["identical_points"], 30);
    EXPECT_EQ(json["counts"]["points_written"], 40);
    ASSERT_EQ(json["parameters"].size(), 7u);
    EXPECT_EQ(json["parameters"][0]["name"], "rotation1");
    EXPECT_EQ(json["parameters"][0]["unit"], "deg");
    EXPECT_EQ(json["points"][0]["residuals"].size(), 3u);
    EXPECT_EQ(json["points"][0]["nabla"].size(), 3u);
    EXPECT_EQ(json["points"][0]["axes"], nlohmann::json::array({"Y", "X", "Z"})) << "the order they are written in";
    EXPECT_TRUE(json["sigma0"].is_number());
    EXPECT_TRUE(json["parameters"][6]["sigma"].is_number());
  }
  // Options from their own section, with overrides: only the scale.
  ASSERT_EQ(run({"--set", "HelmertTrafo3D.Rotations=0", "--set", "HelmertTrafo3D.Translations=0", "--summary",
                 path("h.json"), "estimate", "helmert", "--source", (reference / "helmert-source.txt").string(),
                 "--target", (reference / "helmert-target-pv.txt").string(), "--report", path("h.aus")}),
            kSuccess);
  EXPECT_EQ(nlohmann::json::parse(test::readFile(home / "h.json"))["parameters"].size(), 1u);
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

// The ellipsoidal model: ellipsoids by name (or the option dialog's stored
// combo indices), the sectioned target file's notices on stderr, and per
// point null where a point has no observation.
TEST_F(EstimateCli, ellipsoidal_model_writes_nulls_for_missing_components) {
  const auto golden = test::sourceDir() / "tests" / "golden";
  const std::vector<std::string> files = {"--source", (golden / "ellipsoidal-source-decimal.txt").string(),
                                          "--target", (golden / "ellipsoidal-target-decimal.txt").string(),
                                          "--report", path("e.aus"), "--output", path("e.txt")};
  std::vector<std::string> args = {"--summary", path("e.json"), "estimate", "ellipsoidal", "--source-ellipsoid",
                                   "Bessel", "--target-ellipsoid", "GRS80"};
  args.insert(args.end(), files.begin(), files.end());
  ASSERT_EQ(run(args), kSuccess) << err.str();
  EXPECT_NE(err.str().find("[1330]"), std::string::npos) << "the unreadable lines are told: " << err.str();
  EXPECT_NE(err.str().find("[1331]"), std::string::npos) << "P4 given again in /1D: " << err.str();
  const auto json = nlohmann::json::parse(test::readFile(home / "e.json"));
  EXPECT_EQ(json["model"], "ellipsoidal");
  EXPECT_EQ(json["redundancy"], 21 + 3 - 7) << "observations minus unknowns; the prior's three t = 0 count";
  EXPECT_TRUE(json["converged"].get<bool>());
  EXPECT_EQ(json["parameters"][1]["name"], "ex");
  EXPECT_EQ(json["parameters"][1]["unit"], "arcsec");
  // With the ellipsoids and the pre-translation the summary holds the whole transformation.
  EXPECT_EQ(json["ellipsoids"]["source"]["name"], "Bessel");
  EXPECT_EQ(json["ellipsoids"]["target"]["a"], 6378137.0);
  EXPECT_EQ(json["pre_translation"][0], -596.0);
  std::map<std::string, nlohmann::json> points;
  for (const auto& p : json["points"]) points[p["name"]] = p;
  ASSERT_EQ(points.size(), 10u);
  EXPECT_EQ(points["P0"]["axes"], nlohmann::json::parse(R"(["N","E","h"])"));
  EXPECT_TRUE(points["P4"]["residuals"][2].is_null()) << "position only";
  EXPECT_TRUE(points["P4"]["residuals"][0].is_number());
  EXPECT_TRUE(points["P7"]["residuals"][0].is_null()) << "height only";
  EXPECT_TRUE(points["P7"]["nabla"][1].is_null());
  EXPECT_TRUE(points["P7"]["residuals"][2].is_number());
  EXPECT_EQ(json["counts"]["points_written"], 11);
  EXPECT_EQ(json["counts"]["lines_unreadable"], 2);
  EXPECT_EQ(json["first_unreadable"], (golden / "ellipsoidal-source-decimal.txt").string() + ":14");

  // Without names the stored combo indices choose (index i + 1 is record i).
  std::vector<std::string> stored = {"--set", "HelmertTrafo3DBL.EllipSrc=1", "--set", "HelmertTrafo3DBL.EllipTarget=2",
                                     "estimate", "ellipsoidal"};
  stored.insert(stored.end(), files.begin(), files.end());
  EXPECT_EQ(run(stored), kSuccess) << err.str();
  EXPECT_NE(test::readFile(home / "e.aus").find("target points: GRS80"), std::string::npos);

  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } failures[] = {
      {{"estimate", "ellipsoidal"}, kJobFailed, "[148]"},
      {{"--set", "HelmertTrafo3DBL.EllipSrc=1", "estimate", "ellipsoidal"}, kJobFailed, "[149]"},
      {{"estimate", "ellipsoidal", "--source-ellipsoid", "Nowhere"}, kJobFailed, "[1201]"},
      {{"estimate", "similarity", "--source-ellipsoid", "Bessel"}, kUsage, "belong to the ellipsoidal model"},
  };
  for (const auto& f : failures) {
    std::vector<std::string> a = f.args;
    if (f.status != kUsage) a.insert(a.end(), files.begin(), files.end());
    std::filesystem::remove(home / "e.aus");
    EXPECT_EQ(run(a), f.status) << f.message;
    EXPECT_NE(err.str().find(f.message), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(home / "e.aus"));
  }
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

// --keep-rest: the text after the values a job reads (codes, remarks, a
// height it does not use) follows its results in every batch job; NTv2
// keeps the height so. Without it the output stays as it was.
TEST_F(EstimateCli, keep_rest_carries_codes_and_heights_through_every_batch_job) {
  ASSERT_EQ(run({"sets", "import-proj", "Shift", "+proj=helmert +x=1 +y=2 +z=3"}), kSuccess) << err.str();
  writeFile(home / "coded.txt", "A 1000 2000 code1\nB 3000 4000 code2 remark\nC 5000 1000\nD 2000 5000\n"
                                "E 4000 3000\nN 2500 2500 code3\n");
  const struct {
    std::vector<std::string> command;
    const char* input;
    const char* kept;
  } jobs[] = {
      {{"convert", "geo-gk", path("in.txt"), path("out.txt")}, "M 52.2103 10.5995 123.4 code7 Grenzstein",
       "123.400 code7 Grenzstein\n"},
      {{"ntv2", "/usr/share/proj/BETA2007.gsb", path("in.txt"), path("out.txt")}, "A 52 10 123.456 code",
       " 123.456 code\n"},
      {{"geodesy", "inverse", path("in.txt"), path("out.txt")}, "G 52 10 52.1 10.1 code9", " code9\n"},
      {{"geodesy", "arc", path("in.txt"), path("out.txt")}, "G 52 code9", " code9\n"},
      {{"apply", "Shift", path("in.txt"), path("out.txt")}, "X 3900000 700000 5000000 code5 Stein", " code5 Stein\n"},
      {{"--set", "SoldnerSettings.Type=1", "estimate", "similarity", "--source", path("coded.txt"), "--target",
        path("t.txt"), "--report", path("r.aus"), "--output", path("out.txt")},
       "", " code2 remark\n"},
  };
  for (const auto& job : jobs) {
    SCOPED_TRACE(job.command.front());
    writeFile(home / "in.txt", std::string(job.input) + "\n");
    ASSERT_EQ(run(job.command), kSuccess) << err.str();
    EXPECT_EQ(test::readFile(home / "out.txt").find(job.kept), std::string::npos) << "not without --keep-rest";
    std::vector<std::string> keeping = {"--keep-rest"};
    keeping.insert(keeping.end(), job.command.begin(), job.command.end());
    ASSERT_EQ(run(keeping), kSuccess) << err.str();
    EXPECT_NE(test::readFile(home / "out.txt").find(job.kept), std::string::npos) << test::readFile(home / "out.txt");
  }
  // A number after the task's own is carried too (it made the line unreadable).
  writeFile(home / "in.txt", "H 52 10 52.1 10.1 123.4\n");
  ASSERT_EQ(run({"--keep-rest", "geodesy", "inverse", path("in.txt"), path("out.txt")}), kSuccess) << err.str();
  EXPECT_NE(test::readFile(home / "out.txt").find(" 123.4\n"), std::string::npos);
  // A file of unreadable lines is no success for geodesy either (exit 0, empty output).
  writeFile(home / "in.txt", "A1 52.5 7\nA2 52.5 8\n");
  EXPECT_EQ(run({"geodesy", "arc", path("in.txt"), path("out.txt")}), kJobFailed);
  EXPECT_NE(err.str().find("[1330]"), std::string::npos) << err.str();
}

// One encoding per file: a German report held Windows-1252 headings and
// UTF-8 names, and the README's iconv showed "MÃ¼hle". Now the whole report
// and output are Windows-1252 (a character it lacks written as "?", and
// told), or with --encoding utf-8 wholly UTF-8; either way a name keeps its
// column.
TEST_F(EstimateCli, reports_and_outputs_are_in_one_encoding) {
  std::filesystem::copy_file(test::binDir() / "LangDE.lng", home / "LangDE.lng");
  writeFile(home / "u.txt", "Mühle 1000 2000\nB 3000 4000\nC 5000 1000\nŁódź 4000 3000\n");
  writeFile(home / "v.txt", "Mühle 1100 2200\nB 3100 4200\nC 5100 1200\nŁódź 4100 3200\n");
  const std::vector<std::string> estimate = {"--lang", "DE", "--set", "SoldnerSettings.Type=1", "estimate",
                                             "similarity", "--source", path("u.txt"), "--target", path("v.txt"),
                                             "--report", path("r.aus"), "--output", path("o.txt")};
  ASSERT_EQ(run(estimate), kSuccess) << err.str();
  EXPECT_NE(err.str().find("[2158]"), std::string::npos) << "Ł and ź are not in Windows-1252";
  const test::CommandResult shown = test::runCommand("iconv -f CP1252 -t UTF-8 '" + path("r.aus") + "'");
  EXPECT_NE(shown.out.find("Mühle"), std::string::npos);
  EXPECT_NE(shown.out.find("Schätzung"), std::string::npos);
  EXPECT_NE(shown.out.find("?ód?"), std::string::npos);

  std::vector<std::string> utf8 = {"--encoding", "utf-8"};
  utf8.insert(utf8.end(), estimate.begin(), estimate.end());
  ASSERT_EQ(run(utf8), kSuccess) << err.str();
  for (const char* file : {"r.aus", "o.txt"}) {
    const std::string text = test::readFile(home / file);
    EXPECT_TRUE(isValidUtf8(text)) << file;
    EXPECT_NE(text.find("Łódź"), std::string::npos) << file;
  }
  EXPECT_NE(test::readFile(home / "r.aus").find("Schätzung"), std::string::npos);
  // The columns line up by characters: "Łódź" as wide as "B".
  std::istringstream lines(test::readFile(home / "o.txt"));
  std::vector<std::size_t> widths;
  for (std::string line; std::getline(lines, line);) widths.push_back(characterCount(line));
  ASSERT_EQ(widths.size(), 4u);
  EXPECT_EQ(widths[3], widths[1]);
  EXPECT_EQ(widths[0], widths[1]);
}

TEST_F(EstimateCli, ntv2_shifts_and_counts_what_it_leaves_out) {
  const std::string grid = "/usr/share/proj/BETA2007.gsb";
  writeFile(home / "p.txt", "IN 50.0 10.0 120.5\nOUT 40.0 10.0\nbad line\n");
  ASSERT_EQ(run({"--summary", path("n.json"), "ntv2", grid, path("p.txt"), path("n.txt")}), kSuccess) << err.str();
  EXPECT_NE(err.str().find("[2165]"), std::string::npos) << "the point outside is told";
  EXPECT_NE(err.str().find("[1330]"), std::string::npos) << "the unreadable line is told";
  const auto json = nlohmann::json::parse(test::readFile(home / "n.json"));
  EXPECT_EQ(json["counts"]["points_written"], 1);
  EXPECT_EQ(json["counts"]["points_left_out"], 1);
  EXPECT_EQ(json["first_left_out"], "OUT");
  EXPECT_EQ(json["counts"]["lines_unreadable"], 1);
  // The forward shift and the inverse return to the start within 1e-9°.
  ASSERT_EQ(run({"ntv2", "--inverse", grid, path("n.txt"), path("back.txt")}), kSuccess) << err.str();
  std::string name;
  double B = 0, L = 0;
  ASSERT_EQ(scanFields(test::readFile(home / "back.txt"), name, B, L), 3);
  EXPECT_NEAR(B, 50.0, 1e-9);
  EXPECT_NEAR(L, 10.0, 1e-9);

  EXPECT_EQ(run({"ntv2", "--subgrids", "all", grid, path("p.txt"), path("n.txt")}), kUsage);
  EXPECT_EQ(run({"ntv2", grid, path("p.txt")}), kUsage);
  EXPECT_EQ(run({"ntv2", path("none.gsb"), path("p.txt"), path("x.txt")}), kJobFailed);
  EXPECT_NE(err.str().find("[165]"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

TEST_F(EstimateCli, geodesy_runs_the_four_tasks_and_counts_what_it_leaves_out) {
  writeFile(home / "g.txt", "A 50 10 51 11\nB 95 10 51 11\nC 50 10\n");
  ASSERT_EQ(run({"--ellipsoid", "WGS84", "--summary", path("g.json"), "geodesy", "inverse", path("g.txt"),
                 path("o.txt")}),
            kSuccess)
      << err.str();
  EXPECT_NE(err.str().find("[1701]"), std::string::npos) << err.str();
  const auto json = nlohmann::json::parse(test::readFile(home / "g.json"));
  EXPECT_EQ(json["counts"]["points_written"], 1);
  EXPECT_EQ(json["counts"]["points_left_out"], 1);
  EXPECT_EQ(json["first_left_out"], "B");
  EXPECT_EQ(json["counts"]["lines_unreadable"], 1);
  EXPECT_EQ(run({"geodesy", "sideways", path("g.txt"), path("o.txt")}), kUsage);
  EXPECT_EQ(run({"geodesy", "arc", path("none.txt"), path("o.txt")}), kJobFailed);
  EXPECT_NE(err.str().find("[119]"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace pelmar::cli

namespace pelmar::cli {
namespace {

// A file to be written that is one of the run's inputs, or another output,
// is refused before anything is written: by name, or through a link.
TEST_F(EstimateCli, a_file_read_and_written_in_one_run_is_refused) {
  const std::string source = test::readFile(home / "s.txt");
  std::filesystem::create_symlink(home / "s.txt", home / "alias.txt");
  const std::vector<std::vector<std::string>> runs = {
      {"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"), "--report", path("s.txt")},
      {"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"), "--report", path("alias.txt")},
      {"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"), "--report", path("r.aus"),
       "--output", path("r.aus")},
      {"convert", "1007", path("s.txt"), (home / "." / "s.txt").string()},
      {"--summary", path("t.txt"), "estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"),
       "--report", path("r.aus")},
      {"--summary", path("r.aus"), "estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"),
       "--report", path("r.aus")},
  };
  for (const auto& args : runs) {
    EXPECT_EQ(run(args), kJobFailed) << args.back();
    EXPECT_NE(err.str().find("[1801]"), std::string::npos) << err.str();
    EXPECT_EQ(test::readFile(home / "s.txt"), source);
    EXPECT_FALSE(std::filesystem::exists(home / "r.aus"));
  }
  // An output that cannot be written fails the run, though the report stands.
  test::writeFile(home / "kept.txt", "kept\n");
  ::chmod((home / "kept.txt").c_str(), 0444);
  EXPECT_EQ(run({"estimate", "similarity", "--source", path("s.txt"), "--target", path("t.txt"), "--report",
                 path("r.aus"), "--output", path("kept.txt")}),
            kJobFailed);
  EXPECT_NE(err.str().find("[1904]"), std::string::npos) << err.str();
  EXPECT_EQ(test::readFile(home / "kept.txt"), "kept\n");
  std::filesystem::remove(home / "r.aus");
  // A summary into a missing folder fails before the report is written.
  EXPECT_EQ(run({"--summary", (home / "no" / "s.json").string(), "estimate", "similarity", "--source", path("s.txt"),
                 "--target", path("t.txt"), "--report", path("r.aus")}),
            kJobFailed);
  EXPECT_NE(err.str().find("[1902]"), std::string::npos) << err.str();
  EXPECT_FALSE(std::filesystem::exists(home / "r.aus"));
}

}  // namespace
}  // namespace pelmar::cli
