#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "app/ProgramDirectory.h"
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

// The environment variable `name` set to `value` for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value != nullptr) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) ::setenv(name_, old_.c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(UserFiles, a_folder_without_write_bits_or_below_usr_is_read_only) {
  TempDir home;
  EXPECT_TRUE(ProgramDirectoryWritable(home.path()));
  ::chmod(home.path().c_str(), 0555);  // root too: no write bit, no writing
  EXPECT_FALSE(ProgramDirectoryWritable(home.path()));
  ::chmod(home.path().c_str(), 0755);
  EXPECT_FALSE(ProgramDirectoryWritable("/usr/lib")) << "an installed program never writes below /usr";
  EXPECT_FALSE(ProgramDirectoryWritable(home / "missing"));
}

TEST(UserFiles, the_data_folder_follows_an_absolute_xdg_data_home_else_the_home_folder) {
  {
    ScopedEnv data("XDG_DATA_HOME", "/srv/data");
    EXPECT_EQ(userDataDirectory(), std::filesystem::path("/srv/data/pelmar"));
  }
  ScopedEnv home("HOME", "/home/surveyor");
  {
    ScopedEnv relative("XDG_DATA_HOME", "data");  // a relative one is ignored
    EXPECT_EQ(userDataDirectory(), std::filesystem::path("/home/surveyor/.local/share/pelmar"));
  }
  ScopedEnv unset("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(userDataDirectory(), std::filesystem::path("/home/surveyor/.local/share/pelmar"));
}

TEST(UserFiles, seeding_copies_what_is_missing_and_keeps_the_users_own_files) {
  TempDir home, data;
  writeFile(home / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=EN\n");
  writeFile(home / "Ellip.db", "shipped");
  writeFile(home / "HeaderInfo.dat", "shipped header");
  ::chmod((home / "Ellip.db").c_str(), 0444);
  const std::filesystem::path userFiles = data / "deep" / "pelmar";
  std::filesystem::create_directories(userFiles);
  writeFile(userFiles / "HeaderInfo.dat", "my header");
  std::string problem;
  ASSERT_TRUE(SeedUserFiles(home.path(), userFiles, problem)) << problem;
  EXPECT_EQ(test::readFile(userFiles / "Ellip.db"), "shipped");
  EXPECT_EQ(test::readFile(userFiles / "HeaderInfo.dat"), "my header");
  EXPECT_TRUE((std::filesystem::status(userFiles / "Ellip.db").permissions() & std::filesystem::perms::owner_write) !=
              std::filesystem::perms::none)
      << "the user's copy can be edited";
  for (const auto& entry : std::filesystem::directory_iterator(userFiles)) {
    EXPECT_EQ(entry.path().filename().string().rfind(".pelmar-", 0), std::string::npos)
        << "a temporary was left: " << entry.path();
  }
}

// Both programs, installed read-only: the user's files go to the data
// folder, seeded from the shipped ones, and the program directory stays as
// it was.
TEST(UserFiles, both_programs_keep_the_users_files_apart_from_a_read_only_program_directory) {
  TempDir home, data;
  for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "LangDE.lng", "Ellip.db", "HeaderInfo.dat"}) {
    std::filesystem::copy_file(test::binDir() / name, home / name);
  }
  test::linkPlugins(home.path());
  ::chmod(home.path().c_str(), 0555);
  const std::filesystem::path userFiles = data / "pelmar";
  const std::string env = "PELMAR_HOME='" + home.path().string() + "' XDG_DATA_HOME='" + data.path().string() + "' ";
  const std::string cli = env + "'" + (test::binDir() / "pelmar-cli").string() + "' ";

  const auto version = runCommand(cli + "--version");
  EXPECT_NE(version.out.find("program directory: " + home.path().string() + "\n"), std::string::npos) << version.out;
  EXPECT_NE(version.out.find("your files:        " + userFiles.string() + "\n"), std::string::npos) << version.out;

  const auto added = runCommand(cli + "-q ellipsoids add Werkstatt 6378000 6357000");
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(test::readFile(home / "Ellip.db"), test::readFile(test::binDir() / "Ellip.db")) << "shipped file untouched";
  EXPECT_NE(test::readFile(userFiles / "Ellip.db").find("Werkstatt"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(userFiles / "PelmarGeneral.ini"));
  const auto listed = runCommand(cli + "ellipsoids list");
  EXPECT_NE(listed.out.find("Werkstatt"), std::string::npos) << listed.out;

  const auto gui = test::binDir() / "pelmar";
  if (std::filesystem::exists(gui)) {
    TempDir shots;
    const auto shown = runCommand(env + "QT_QPA_PLATFORM=offscreen PELMAR_BATCH_DIALOGS=1 '" + gui.string() +
                                  "' --screenshots '" + shots.path().string() + "'");
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_TRUE(std::filesystem::is_directory(userFiles / "config")) << "the settings folder is the user's";
    EXPECT_FALSE(std::filesystem::exists(home / "config"));
  }
  ::chmod(home.path().c_str(), 0755);
}

}  // namespace
}  // namespace pelmar
