#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/CliApp.h"
#include "support/TestSupport.h"

namespace pelmar::cli {
namespace {

// The man page's text as it reads: groff requests dropped, font changes
// removed, escaped hyphens plain, white space single blanks.
std::string manText(const std::string& groff) {
  std::istringstream lines(groff);
  std::string text, line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] == '.') {
      // .B, .BI, .BR carry text; other requests do not.
      const std::size_t blank = line.find(' ');
      if (blank == std::string::npos || line.rfind(".B", 0) != 0) continue;
      line = line.substr(blank + 1);
      line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
    }
    text += line + " ";
  }
  text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
  text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
  return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

std::string collapse(const std::string& text) { return std::regex_replace(text, std::regex(R"(\s+)"), " "); }

// pelmar-cli.1 is written by hand; this keeps it in step with --help: every
// option and every command line of the usage must stand in it.
TEST(ManPage, names_every_option_and_command_line_of_the_help) {
  const std::string man = manText(test::readFile(test::sourceDir() / "packaging" / "pelmar-cli.1"));
  std::ostringstream out, err;
  const CommandRegistry registry = defaultCommands();
  ASSERT_EQ(runCli({"--help"}, registry, out, err, false), 0);
  const std::string help = out.str();

  const std::regex option(R"((^|[ \[,])(--?[a-z][a-z-]*))");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option); it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[2];
    EXPECT_NE(man.find(name), std::string::npos) << "option missing from the man page: " << name;
  }
  std::istringstream lines(help.substr(help.find("\nCommands\n")));
  std::string line;
  int checked = 0;
  while (std::getline(lines, line)) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    std::string usage = line.substr(start, line.find("  ", start) - start);
    const std::string first = usage.substr(0, usage.find(' '));
    if (usage[0] != '[' && registry.find(first) == nullptr) continue;  // a comment column
    EXPECT_NE(man.find(collapse(usage)), std::string::npos) << "usage missing from the man page: " << usage;
    ++checked;
  }
  EXPECT_GE(checked, static_cast<int>(registry.commands().size()));
}

// The exit statuses --help lists, word for word.
TEST(ManPage, tells_the_exit_statuses_of_the_help) {
  const std::string man = manText(test::readFile(test::sourceDir() / "packaging" / "pelmar-cli.1"));
  std::ostringstream out, err;
  ASSERT_EQ(runCli({"--help"}, defaultCommands(), out, err, false), 0);
  const std::string help = out.str();
  const std::size_t at = help.find("Exit status: ");
  ASSERT_NE(at, std::string::npos);
  std::string statuses = collapse(help.substr(at + 13));
  while (!statuses.empty() && statuses.back() == ' ') statuses.pop_back();
  EXPECT_NE(man.find(statuses), std::string::npos) << "exit statuses missing from the man page: " << statuses;
}

}  // namespace
}  // namespace pelmar::cli
