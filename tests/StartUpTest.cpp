#include <gtest/gtest.h>

#include <algorithm>

#include "app/StartUp.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::runCommand;
using test::TempDir;
using test::writeFile;

TEST(StartUp, loads_the_table_of_the_current_language) {
  TempDir home;
  writeFile(home / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=DE\n");
  writeFile(home / "LangDE.lng", "226=Einstellungen\n");
  test::linkPlugins(home.path());
  StartUpState state;
  ASSERT_TRUE(StartUp(home.path(), state)) << state.errorDetail;
  EXPECT_EQ(state.table.text(226), "Einstellungen");
}

TEST(StartUp, missing_configuration_tries_the_table_of_the_empty_code) {
  TempDir home;
  test::linkPlugins(home.path());
  StartUpState state;
  EXPECT_FALSE(StartUp(home.path(), state));
  EXPECT_EQ(state.errorText, "Error loading Lang.lng");
  EXPECT_EQ(state.errorDetail, (home / "Lang.lng").string() + ": cannot be opened") << "the whole path tried";
  writeFile(home / "Lang.lng", "226=Settings\n");
  EXPECT_TRUE(StartUp(home.path(), state));
}

// A program directory that does not exist is named as such.
TEST(StartUp, a_missing_program_directory_is_named) {
  StartUpState state;
  EXPECT_FALSE(StartUp("/nonexistent/pelmar", state));
  EXPECT_EQ(state.errorDetail,
            "/nonexistent/pelmar/Lang.lng: cannot be opened (the program directory /nonexistent/pelmar does not exist)");
}

TEST(StartUp, broken_table_fails_with_its_line) {
  TempDir home;
  writeFile(home / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=EN\n");
  writeFile(home / "LangEN.lng", "101=fine\noops\n");
  StartUpState state;
  EXPECT_FALSE(StartUp(home.path(), state));
  EXPECT_EQ(state.errorText, "Error loading LangEN.lng");
  EXPECT_EQ(state.errorDetail, "LangEN.lng:2: expected NNN=text");
}

// Both programs, as built, with a configuration that names a missing table.
TEST(StartUp, both_programs_report_a_missing_language_table_and_fail) {
  TempDir home;
  writeFile(home / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=XX\n");
  const std::string env = "PELMAR_HOME='" + home.path().string() + "' ";
  const auto cli = runCommand(env + "'" + (test::binDir() / "pelmar-cli").string() + "' anything");
  EXPECT_EQ(cli.status, 1);
  EXPECT_NE(cli.err.find("Error loading LangXX.lng"), std::string::npos) << cli.err;

  const auto gui = test::binDir() / "pelmar";
  if (!std::filesystem::exists(gui)) GTEST_SKIP() << "desktop program not built";
  const auto shown = runCommand(env + "QT_QPA_PLATFORM=offscreen PELMAR_BATCH_DIALOGS=1 '" + gui.string() + "'");
  EXPECT_NE(shown.status, 0);
  EXPECT_NE(shown.err.find("Error loading LangXX.lng"), std::string::npos) << shown.err;
}

// A program directory with the shipped language files and the given modules.
void makeHome(const std::filesystem::path& home, const std::filesystem::path& projection,
              const std::filesystem::path& ellipsoid) {
  for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "LangDE.lng"}) {
    std::filesystem::copy_file(test::binDir() / name, home / name);
  }
  if (!projection.empty()) std::filesystem::create_symlink(projection, home / "VIVoraruraze.so");
  if (!ellipsoid.empty()) std::filesystem::create_symlink(ellipsoid, home / "ZIVezivIvuz.so");
}

TEST(StartUp, both_programs_refuse_a_missing_or_incomplete_computation_library) {
  const std::filesystem::path viv = test::binDir() / "VIVoraruraze.so";
  const std::filesystem::path ziv = test::binDir() / "ZIVezivIvuz.so";
  const std::filesystem::path tests = PELMAR_TEST_BUILD_DIR;
  const struct {
    const char* what;
    std::filesystem::path projection, ellipsoid;
    int message;
    const char* detail;
  } cases[] = {
      {"no projection library", "", ziv, 169, "VIVoraruraze.so"},
      {"no ellipsoid library", viv, "", 171, "ZIVezivIvuz.so"},
      {"projection library without GetGKCase", tests / "without-GetGKCase" / "VIVoraruraze.so", ziv, 169,
       "VIVoraruraze lacks GetGKCase"},
      {"ellipsoid library without InverseMeridianArcLength",
       viv, tests / "without-InverseMeridianArcLength" / "ZIVezivIvuz.so", 171,
       "ZIVezivIvuz lacks InverseMeridianArcLength"},
  };
  LanguageTable english;
  std::string error;
  ASSERT_TRUE(english.load(test::binDir() / "LangEN.lng", error)) << error;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir home;
    makeHome(home.path(), c.projection, c.ellipsoid);
    std::string text = english.text(c.message);
    std::replace(text.begin(), text.end(), '\n', ' ');

    const std::string env = "PELMAR_HOME='" + home.path().string() + "' ";
    const auto cli = runCommand(env + "'" + (test::binDir() / "pelmar-cli").string() + "' anything");
    EXPECT_EQ(cli.status, 1);
    EXPECT_NE(cli.err.find("pelmar-cli: " + text + " [" + std::to_string(c.message) + "]"), std::string::npos)
        << cli.err;
    EXPECT_NE(cli.err.find(c.detail), std::string::npos) << cli.err;

    const auto gui = test::binDir() / "pelmar";
    if (!std::filesystem::exists(gui)) continue;
    const auto shown = runCommand(env + "QT_QPA_PLATFORM=offscreen PELMAR_BATCH_DIALOGS=1 '" + gui.string() + "'");
    EXPECT_NE(shown.status, 0);
    const std::string firstLine = english.text(c.message).substr(0, english.text(c.message).find('\n'));
    EXPECT_NE(shown.err.find(firstLine), std::string::npos) << shown.err;
  }
}

TEST(StartUp, shipped_program_directory_starts) {
  const auto cli = runCommand("'" + (test::binDir() / "pelmar-cli").string() + "' --version");
  EXPECT_EQ(cli.status, 0);
  EXPECT_EQ(cli.out.rfind("pelmar-cli 0.", 0), 0u) << cli.out;
  // With the shipped configuration start-up succeeds and only the command is unknown.
  const auto unknown = runCommand("env -u PELMAR_HOME '" + (test::binDir() / "pelmar-cli").string() + "' nosuch");
  EXPECT_EQ(unknown.status, 2) << unknown.err;
}

}  // namespace
}  // namespace pelmar
