#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

#include "app/LanguageConfiguration.h"
#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "app/StringIds.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::TempDir;
using test::writeFile;

TEST(LanguageTable, parses_numbered_lines_with_escapes_comments_and_a_bom) {
  LanguageTable table;
  std::string error;
  ASSERT_TRUE(table.parse("\xEF\xBB\xBF# comment\n\n101=First\\nSecond\\tTab \\\\ end\r\n102=\n103=a=b\n", "T.lng",
                          error))
      << error;
  EXPECT_EQ(table.text(101), "First\nSecond\tTab \\ end");
  EXPECT_EQ(table.text(102), "");
  EXPECT_EQ(table.text(103), "a=b");
  EXPECT_EQ(table.text(999), "[999]");
  EXPECT_EQ(table.ids(), (std::vector<int>{101, 102, 103}));
}

TEST(LanguageTable, rejects_malformed_lines_naming_file_and_line) {
  const struct {
    const char* content;
    const char* error;
  } cases[] = {{"101=ok\nno equals sign\n", "T.lng:2: expected NNN=text"},
               {"x1=text\n", "T.lng:1: expected NNN=text"},
               {"-5=text\n", "T.lng:1: expected NNN=text"},
               {"101=a\\qb\n", "T.lng:1: unknown escape (use \\n, \\t or \\\\)"},
               {"101=a\n101=b\n", "T.lng:2: string 101 defined twice"}};
  for (const auto& c : cases) {
    LanguageTable table;
    std::string error;
    EXPECT_FALSE(table.parse(c.content, "T.lng", error)) << c.content;
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(table.empty());
  }
}

TEST(MessageFormat, fills_placeholders_in_order_and_never_reads_past_the_arguments) {
  const struct {
    const char* pattern;
    MessageArgs args;
    const char* expected;
  } cases[] = {{"Cannot open %s.", {"a.txt"}, "Cannot open a.txt."},
               {"%s: %d points", {"f", "12"}, "f: 12 points"},
               {"[%5d|%-4s]", {"7", "ab"}, "[    7|ab  ]"},
               {"100%% %s", {"done"}, "100% done"},
               {"%s and %s", {"one"}, "one and "},
               {"50% off", {}, "50% off"},
               {"trailing %", {}, "trailing %"},
               {"m = %15.10f|", {1.00001234567891}, "m =    1.0000123457|"},
               {"%.3f %d %5.1f%%", {-0.0005, 3.9, 12}, "-0.001 3  12.0%"},
               {"%-8.2f|%+d|%05d", {2.5, 7, -42}, "2.50    |+7|-0042"},
               {"%s and %s", {1.5, 7}, "1.5 and 7"},
               {"%e %g", {12345.678, 0.0001}, "1.234568e+04 0.0001"}};
  for (const auto& c : cases) EXPECT_EQ(formatMessage(c.pattern, c.args), c.expected) << c.pattern;
}

// The shipped tables must parse and hold a text for every id the program uses.
TEST(ShippedLanguageTables, hold_every_string_the_program_uses) {
  std::set<int> idsOfFirstTable;
  for (const char* code : {"EN", "DE"}) {
    LanguageTable table;
    std::string error;
    ASSERT_TRUE(table.load(test::sourceDir() / "resources" / LanguageFileName(code), error)) << error;
    for (int id : str::kAll) EXPECT_TRUE(table.contains(id)) << LanguageFileName(code) << " lacks string " << id;
    const auto ids = table.ids();
    if (idsOfFirstTable.empty()) {
      idsOfFirstTable.insert(ids.begin(), ids.end());
    } else {
      EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), idsOfFirstTable) << "both tables hold the same ids";
    }
  }
}

// Code names strings through the constants of StringIds.h, so that the test
// above sees every id; a bare number in a call would escape it.
TEST(ShippedLanguageTables, code_names_no_string_by_a_bare_number) {
  const std::regex bareId(R"((message|ask|text|format|uiText)\(\s*([a-z_]+,\s*)?[0-9]{3})");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(test::sourceDir() / "src")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      EXPECT_FALSE(std::regex_search(line, bareId)) << entry.path() << ":" << number << ": " << line;
    }
  }
}

TEST(LanguageConfiguration, reads_list_and_current_language) {
  TempDir dir;
  writeFile(dir / "PelmarGeneral.ini",
            "[PelmarSettings]\nCurrentLanguage=DE\nNumLanguages=3\nLanguage1=EN\nLanguage1_Text=English\n"
            "Language2=DE\nLanguage2_Text=Deutsch\nLanguage3=DE\nLanguage3_Text=German\n");
  LanguageConfiguration config(dir / "PelmarGeneral.ini");
  config.ReadLanguageSettings();
  ASSERT_EQ(config.languages().size(), 3u);
  EXPECT_EQ(config.languages()[0].code, "EN");
  EXPECT_EQ(config.languages()[0].name, "English");
  EXPECT_EQ(config.currentCode(), "DE");
  EXPECT_EQ(config.currentName(), "German") << "the later entry with the current code wins";
  EXPECT_EQ(config.LanguageCodeForName("Deutsch"), "DE");
  EXPECT_EQ(config.LanguageCodeForName("deutsch"), "") << "names compare with letter case";
}

TEST(LanguageConfiguration, shared_name_gives_the_earlier_code) {
  TempDir dir;
  writeFile(dir / "PelmarGeneral.ini",
            "[PelmarSettings]\nNumLanguages=2\nLanguage1=A\nLanguage1_Text=Same\nLanguage2=B\nLanguage2_Text=Same\n");
  LanguageConfiguration config(dir / "PelmarGeneral.ini");
  config.ReadLanguageSettings();
  EXPECT_EQ(config.LanguageCodeForName("Same"), "A");
}

TEST(LanguageConfiguration, missing_file_or_count_gives_an_empty_list) {
  TempDir dir;
  writeFile(dir / "PelmarGeneral.ini", "[PelmarSettings]\nCurrentLanguage=EN\nLanguage1=EN\n");
  for (const auto& file : {dir / "PelmarGeneral.ini", dir / "missing.ini"}) {
    LanguageConfiguration config(file);
    config.ReadLanguageSettings();
    EXPECT_TRUE(config.languages().empty());
    EXPECT_EQ(config.currentName(), "");
  }
}

TEST(LanguageConfiguration, switching_writes_the_file_but_not_the_language_in_use) {
  TempDir dir;
  writeFile(dir / "PelmarGeneral.ini",
            "[PelmarSettings]\nCurrentLanguage=EN\nNumLanguages=1\nLanguage1=EN\nLanguage1_Text=English\n");
  LanguageConfiguration config(dir / "PelmarGeneral.ini");
  config.ReadLanguageSettings();
  ASSERT_TRUE(config.SetCurrentLanguage("DE"));
  EXPECT_EQ(config.currentCode(), "EN");
  LanguageConfiguration again(dir / "PelmarGeneral.ini");
  again.ReadLanguageSettings();
  EXPECT_EQ(again.currentCode(), "DE");
  EXPECT_EQ(again.languages().size(), 1u);
}

}  // namespace
}  // namespace pelmar
