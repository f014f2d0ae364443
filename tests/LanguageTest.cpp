#include <gtest/gtest.h>

#include <limits>

#include <random>

#include <fstream>
#include <regex>
#include <set>

#include "app/LanguageConfiguration.h"
#include "app/LanguageTable.h"
#include "text/MessageFormat.h"
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

// "{one|other}" follows the integer filled in last.
TEST(MessageFormat, chooses_the_grammatical_number_by_the_last_integer) {
  const struct {
    const char* pattern;
    MessageArgs args;
    const char* expected;
  } cases[] = {{"%d {point lies|points lie} out", {1}, "1 point lies out"},
               {"%d {point lies|points lie} out", {2}, "2 points lie out"},
               {"%d {point|points}", {0}, "0 points"},
               {"%d {point|points}", {"1"}, "1 point"},
               {"%d {Punkt|Punkte} von %d", {1, 5}, "1 Punkt von 5"},
               {"%d of %d {point|points}", {1, 1}, "1 of 1 point"},
               {"{a|b} first", {}, "b first"},
               {"{no choice} %d", {1}, "{no choice} 1"},
               {"open {brace", {}, "open {brace"}};
  for (const auto& c : cases) EXPECT_EQ(formatMessage(c.pattern, c.args), c.expected) << c.pattern;
}

// A damaged language string can neither crash the program, nor fill its
// memory, nor put bytes into a report that it did not format: widths and
// precisions are capped ("%.500e" used to copy 400 bytes of stack, pointers
// included, into a report; "%4294967296d" allocated gigabytes).
TEST(MessageFormat, hostile_widths_and_precisions_are_capped) {
  const std::string huge = formatMessage("%99999999999999999999s|%4294967296d|%.500e|%.99999999999f", {"x", 1, 1.5, 2.0});
  EXPECT_LT(huge.size(), 1000u);
  EXPECT_NE(huge.find(" 1|"), std::string::npos) << huge;
  EXPECT_NE(huge.find("1.5"), std::string::npos) << huge;
  for (char c : huge) EXPECT_TRUE(std::string_view("0123456789.+-e|x ").find(c) != std::string_view::npos) << huge;
}

// Random patterns built from the characters a format uses, against every
// kind of argument: the output stays bounded and holds only pattern text,
// digits, signs and the arguments' own characters.
TEST(MessageFormat, random_patterns_never_emit_what_they_did_not_format) {
  std::mt19937 random(20261208);
  const std::string alphabet = "%%%%sdifegcu0123456789.-+ #lhq{|}xyz";
  const MessageArgs args = {"ab", 12, -3.25, 1e308, std::numeric_limits<double>::quiet_NaN(), 0};
  for (int round = 0; round < 20000; ++round) {
    std::string pattern;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) pattern += alphabet[random() % alphabet.size()];
    const std::string out = formatMessage(pattern, args);
    ASSERT_LT(out.size(), pattern.size() * 400 + 64) << pattern;
    for (char c : out) {
      ASSERT_TRUE(std::string_view("0123456789.+-e%sdifgcuablhqxyz#{|} naiNAI").find(c) != std::string_view::npos)
          << "pattern \"" << pattern << "\" gave \"" << out << "\"";
    }
  }
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
