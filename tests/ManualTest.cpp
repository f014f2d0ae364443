#include <gtest/gtest.h>

#include <string>

#include "app/LanguageTable.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

// The text as a reader searches it: the typesetter's ligatures (ﬁ, ﬂ, ﬀ,
// ﬃ) as their letters, a heading broken after a hyphen joined, every run of
// white space one blank.
std::string readable(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    static const std::pair<std::string, std::string> ligatures[] = {
        {"\xef\xac\x80", "ff"}, {"\xef\xac\x81", "fi"}, {"\xef\xac\x82", "fl"}, {"\xef\xac\x83", "ffi"}};
    bool replaced = false;
    for (const auto& [ligature, letters] : ligatures) {
      if (text.compare(i, ligature.size(), ligature) == 0) {
        out += letters;
        i += ligature.size() - 1;
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    const char c = text[i];
    if (c == '\n' || c == ' ' || c == '\t' || c == '\f') {
      if (!out.empty() && out.back() != ' ' && out.back() != '-') out += ' ';
      continue;
    }
    out += c;
  }
  return out;
}

// The manuals the build puts into the program directory, read as a reader's
// tools read them (poppler's pdfinfo and pdftotext).
class Manual : public ::testing::TestWithParam<const char*> {};

TEST_P(Manual, is_a_pdf_with_pages_that_names_every_job) {
  const std::string code = GetParam();
  const std::filesystem::path pdf = test::binDir() / ("Pelmar" + code + ".pdf");
  ASSERT_TRUE(std::filesystem::exists(pdf)) << pdf;
  EXPECT_EQ(test::readFile(pdf).substr(0, 5), "%PDF-");

  const auto info = test::runCommand("pdfinfo '" + pdf.string() + "'");
  ASSERT_EQ(info.status, 0) << "pdfinfo (poppler-utils) must read it: " << info.err;
  const std::size_t at = info.out.find("Pages:");
  ASSERT_NE(at, std::string::npos) << info.out;
  EXPECT_GE(std::stoi(info.out.substr(at + 6)), 10) << "every job, the formats, settings and command line";

  const auto text = test::runCommand("pdftotext '" + pdf.string() + "' -");
  ASSERT_EQ(text.status, 0) << text.err;
  const std::string words = readable(text.out);
  LanguageTable table;
  std::string error;
  ASSERT_TRUE(table.load(test::binDir() / ("Lang" + code + ".lng"), error)) << error;
  // Each job by the name the program gives it: the six pages and the five
  // estimations.
  for (const int id : {221, 222, 223, 224, 225, 226, 236, 237, 238, 239, 240}) {
    EXPECT_NE(words.find(table.text(id)), std::string::npos) << "missing: " << table.text(id);
  }
  for (const char* topic : {"F(0.95", "r − k", "pelmar-cli", "PELMAR_HOME", "--plot"}) {
    EXPECT_NE(words.find(topic), std::string::npos) << "missing: " << topic;
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, Manual, ::testing::Values("EN", "DE"));

}  // namespace
}  // namespace pelmar
