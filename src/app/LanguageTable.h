#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "text/MessageFormat.h"

namespace pelmar {

// The numbered strings of one language, from a UTF-8 text file "LangXX.lng":
// one string per line as "NNN=text", with the escapes \n, \t and \\; lines
// starting with "#" and blank lines are ignored.
class LanguageTable {
 public:
  // Replaces the table with the file's strings. On failure the table is left
  // empty and `error` says which file and line and what is wrong with it.
  bool load(const std::filesystem::path& path, std::string& error);
  bool parse(std::string_view content, std::string_view fileName, std::string& error);

  bool contains(int id) const { return strings_.count(id) > 0; }
  // The text of a string; a missing one gives "[NNN]" so that a gap in a
  // translation shows up without stopping the program.
  std::string text(int id) const;
  std::string format(int id, const MessageArgs& args) const { return formatMessage(text(id), args); }
  std::vector<int> ids() const;
  bool empty() const noexcept { return strings_.empty(); }

 private:
  std::map<int, std::string> strings_;
};

// "Lang" + code + ".lng": the file that holds a language's strings.
std::string LanguageFileName(std::string_view code);

}  // namespace pelmar
