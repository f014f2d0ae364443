#include "app/SettingsStore.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <sys/resource.h>

#include <csignal>

#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

SettingsStore storeOn(const std::filesystem::path& file, const std::string& section) {
  SettingsStore store;
  store.SetFile(file);
  store.SetSection(section);
  return store;
}

TEST(SettingsStore, names_match_without_regard_to_case_and_values_are_trimmed) {
  TempDir dir;
  writeFile(dir / "a.ini", "[GeneralSettings]\r\n  nachkommageog =  6  \r\nEditor=\"gedit\"\r\n");
  const SettingsStore store = storeOn(dir / "a.ini", "generalSETTINGS");
  int decimals = -1;
  EXPECT_TRUE(store.ReadInt("NachkommaGeog", decimals));
  EXPECT_EQ(decimals, 6);
  std::string editor;
  EXPECT_TRUE(store.ReadString("EDITOR", editor));
  EXPECT_EQ(editor, "gedit");
}

TEST(SettingsStore, missing_file_section_key_or_empty_value_read_as_empty_and_false) {
  TempDir dir;
  writeFile(dir / "a.ini", "[S]\nEmpty=\nText=x\n[Other]\nKey=7\n");
  struct Case {
    std::filesystem::path file;
    std::string section;
    std::string key;
  } cases[] = {{dir / "none.ini", "S", "Text"}, {dir / "a.ini", "Missing", "Text"}, {dir / "a.ini", "S", "Key"},
               {dir / "a.ini", "S", "Empty"}};
  for (const Case& c : cases) {
    const SettingsStore store = storeOn(c.file, c.section);
    std::string text = "stale";
    int integer = 99;
    double real = 9.9;
    EXPECT_FALSE(store.ReadString(c.key, text)) << c.section << "/" << c.key;
    EXPECT_FALSE(store.ReadInt(c.key, integer));
    EXPECT_FALSE(store.ReadDouble(c.key, real));
    EXPECT_EQ(text, "");
    EXPECT_EQ(integer, 0);
    EXPECT_EQ(real, 0.0);
  }
}

TEST(SettingsStore, section_exists_trims_only_the_whole_line) {
  TempDir dir;
  writeFile(dir / "a.ini", "  [Padded]  \n[ Inner ]\n[lower]\nkey=[NotASection]\n");
  const SettingsStore store = storeOn(dir / "a.ini", "");
  EXPECT_TRUE(store.SectionExists("Padded"));
  EXPECT_TRUE(store.SectionExists(" Padded "));
  EXPECT_TRUE(store.SectionExists("LOWER"));
  EXPECT_FALSE(store.SectionExists("Inner"));
  EXPECT_FALSE(store.SectionExists("NotASection"));
  EXPECT_FALSE(storeOn(dir / "none.ini", "").SectionExists("Padded"));
}

TEST(SettingsStore, integer_and_real_conversions_take_the_leading_number) {
  const struct {
    const char* text;
    int integer;
    double real;
  } cases[] = {{"42", 42, 42.0},          {"  -17abc", -17, -17.0},   {"+8", 8, 8.0},
               {"abc", 0, 0.0},           {"3.75", 3, 3.75},          {"1e3", 1, 1000.0},
               {"-0.5", 0, -0.5},         {"99999999999", 2147483647, 99999999999.0},
               {"12,5", 12, 12.0},        {"        0.010000000000000", 0, 0.01}};
  for (const auto& c : cases) {
    EXPECT_EQ(settingsIntValue(c.text), c.integer) << c.text;
    EXPECT_DOUBLE_EQ(settingsDoubleValue(c.text), c.real) << c.text;
  }
}

TEST(SettingsStore, writes_reals_in_25_columns_with_15_decimals) {
  TempDir dir;
  SettingsStore store = storeOn(dir / "a.ini", "Helmert");
  ASSERT_TRUE(store.WriteDouble("Scale", 0.01));
  ASSERT_TRUE(store.WriteInt("Type", -3));
  EXPECT_EQ(readFile(dir / "a.ini"), "[Helmert]\nScale=        0.010000000000000\nType=-3\n");
  double scale = 0.0;
  EXPECT_TRUE(store.ReadDouble("Scale", scale));
  EXPECT_EQ(scale, 0.01);
}

TEST(SettingsStore, long_values_read_back_cut_at_1023_characters) {
  TempDir dir;
  SettingsStore store = storeOn(dir / "a.ini", "S");
  const std::string value(1500, 'x');
  ASSERT_TRUE(store.WriteString("Long", value));
  std::string back;
  EXPECT_TRUE(store.ReadString("Long", back));
  EXPECT_EQ(back, value.substr(0, 1023));
}

TEST(SettingsStore, write_keeps_every_other_line_and_the_file_line_ends) {
  TempDir dir;
  const std::string before =
      "; comment line\r\n[First]\r\nKeep=1\r\nOld = 2\r\n\r\n[Second]\r\nOther=x\r\n";
  writeFile(dir / "a.ini", before);
  SettingsStore store = storeOn(dir / "a.ini", "FIRST");
  ASSERT_TRUE(store.WriteString("old", "20"));
  ASSERT_TRUE(store.WriteString("New", "3"));
  store.SetSection("Third");
  ASSERT_TRUE(store.WriteString("Key", "v"));
  EXPECT_EQ(readFile(dir / "a.ini"),
            "; comment line\r\n[First]\r\nKeep=1\r\nOld=20\r\nNew=3\r\n\r\n[Second]\r\nOther=x\r\n"
            "\r\n[Third]\r\nKey=v\r\n");
}

TEST(SettingsStore, every_store_sees_a_write_at_once) {
  TempDir dir;
  SettingsStore writer = storeOn(dir / "a.ini", "S");
  const SettingsStore reader = writer;  // a copy carries file and section
  ASSERT_TRUE(writer.WriteInt("N", 1));
  int n = 0;
  reader.ReadInt("N", n);
  EXPECT_EQ(n, 1);
  ASSERT_TRUE(writer.WriteInt("N", 2));
  reader.ReadInt("N", n);
  EXPECT_EQ(n, 2);
}

TEST(SettingsStore, refuses_keys_and_values_that_would_break_the_file) {
  TempDir dir;
  writeFile(dir / "a.ini", "[S]\nA=1\n");
  SettingsStore store = storeOn(dir / "a.ini", "S");
  EXPECT_FALSE(store.WriteString("A", "line\nbreak"));
  EXPECT_FALSE(store.WriteString("B=C", "1"));
  EXPECT_FALSE(store.WriteString("[B]", "1"));
  EXPECT_EQ(readFile(dir / "a.ini"), "[S]\nA=1\n");
}

TEST(SettingsStore, failed_write_leaves_the_old_file_whole) {
  TempDir dir;
  writeFile(dir / "a.ini", "[S]\nA=1\n");
  SettingsStore store = storeOn(dir / "a.ini", "S");
  // A file-size limit makes the write of the temporary file fail, as a full
  // disk would, even for root.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = store.WriteString("A", std::string(200, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(readFile(dir / "a.ini"), "[S]\nA=1\n");
  int others = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    others += entry.path().filename() != "a.ini" && entry.path().extension() != ".lock";
  }
  EXPECT_EQ(others, 0) << "no temporary file left behind (the lock file stays, as it must)";
}

// Two programs writing keys at once lose none: each read-modify-write runs
// under the file's lock (725 of 2,000 keys used to be lost).
TEST(SettingsStore, concurrent_writers_keep_every_key) {
  TempDir dir;
  writeFile(dir / "a.ini", "[S]\n");
  constexpr int kKeys = 200;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      SettingsStore store = storeOn(dir / "a.ini", "S");
      bool ok = true;
      for (int k = 0; k < kKeys; ++k) ok = store.WriteInt("W" + std::to_string(writer) + "K" + std::to_string(k), k) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  SettingsStore store = storeOn(dir / "a.ini", "S");
  int found = 0;
  for (int writer = 0; writer < 2; ++writer) {
    for (int k = 0; k < kKeys; ++k) {
      int value = -1;
      found += store.ReadInt("W" + std::to_string(writer) + "K" + std::to_string(k), value) && value == k;
    }
  }
  EXPECT_EQ(found, 2 * kKeys);
}

// Only a regular file is read: a device would be read without end.
TEST(SettingsStore, a_settings_file_that_is_no_regular_file_reads_as_missing) {
  SettingsStore store = storeOn("/dev/zero", "S");
  std::string value;
  EXPECT_FALSE(store.ReadString("A", value));
  EXPECT_FALSE(store.SectionExists("S"));
}

TEST(SettingsStore, write_into_a_missing_directory_fails) {
  TempDir dir;
  SettingsStore store = storeOn(dir / "missing" / "a.ini", "S");
  EXPECT_FALSE(store.WriteString("A", "1"));
}

TEST(SettingsStore, overrides_win_over_the_file_but_never_reach_it) {
  TempDir dir;
  writeFile(dir / "a.ini", "[L0Settings]\nL0Auto=1\nL0=3\n");
  auto overrides = std::make_shared<SettingsOverrides>();
  overrides->set("l0settings", "L0AUTO", "0");
  overrides->set("MercatorSettings", "L0", "9");
  SettingsStore store = storeOn(dir / "a.ini", "L0Settings");
  store.setOverrides(overrides);
  int value = -1;
  store.ReadInt("L0Auto", value);
  EXPECT_EQ(value, 0);
  store.ReadInt("L0", value);
  EXPECT_EQ(value, 3);
  EXPECT_FALSE(store.SectionExists("MercatorSettings")) << "an override does not make a section exist";
  EXPECT_EQ(readFile(dir / "a.ini"), "[L0Settings]\nL0Auto=1\nL0=3\n");
}

// The loading rule of the option sections, with and without the section in
// the file, and with overrides on top.
TEST(SettingsStore, options_load_from_the_section_then_the_overrides) {
  TempDir dir;
  writeFile(dir / "a.ini", "[Present]\nB=5\n");
  auto overrides = std::make_shared<SettingsOverrides>();
  overrides->set("Absent", "C", "7");
  overrides->set("Present", "C", "8");
  SettingsStore store = storeOn(dir / "a.ini", "Absent");
  store.setOverrides(overrides);
  int b = 1, c = 1, d = 1;
  const bool absentInFile = store.SectionExists("Absent");
  LoadOption(store, absentInFile, "B", b);
  LoadOption(store, absentInFile, "C", c);
  EXPECT_EQ(b, 1) << "a missing section keeps the default";
  EXPECT_EQ(c, 7) << "unless an override gives the key";
  store.SetSection("Present");
  b = c = d = 1;
  const bool presentInFile = store.SectionExists("Present");
  LoadOption(store, presentInFile, "B", b);
  LoadOption(store, presentInFile, "C", c);
  LoadOption(store, presentInFile, "D", d);
  EXPECT_EQ(b, 5);
  EXPECT_EQ(c, 8);
  EXPECT_EQ(d, 0) << "a key missing from an existing section reads as 0";
}

}  // namespace
}  // namespace pelmar

namespace pelmar {
namespace {

// A byte-order mark before the first section hid it: every general setting
// read 0, and coordinates came out rounded to whole metres.
TEST(SettingsStore, a_byte_order_mark_does_not_hide_the_first_section) {
  test::TempDir dir;
  test::writeFile(dir / "user.ini", "\xEF\xBB\xBF[GeneralSettings]\r\nNachkommaKartesisch=4\r\n");
  SettingsStore store;
  store.SetFile(dir / "user.ini");
  EXPECT_TRUE(store.SectionExists("GeneralSettings"));
  store.SetSection("GeneralSettings");
  int decimals = 0;
  EXPECT_TRUE(store.ReadInt("NachkommaKartesisch", decimals));
  EXPECT_EQ(decimals, 4);
}

}  // namespace
}  // namespace pelmar
