#include "app/LanguageTable.h"

#include <fstream>
#include <sstream>

#include "text/LineScanner.h"

namespace pelmar {

namespace {

bool unescape(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      default: return false;
    }
  }
  return true;
}

}  // namespace

bool LanguageTable::load(const std::filesystem::path& path, std::string& error) {
  strings_.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    // The whole path that was tried: a wrong program directory shows at once.
    std::error_code ec;
    const std::filesystem::path directory = path.parent_path();
    error = path.string() + ": cannot be opened" +
            (!directory.empty() && !std::filesystem::is_directory(directory, ec)
                 ? " (the program directory " + directory.string() + " does not exist)"
                 : "");
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  return parse(content.str(), path.filename().string(), error);
}

bool LanguageTable::parse(std::string_view content, std::string_view fileName, std::string& error) {
  strings_.clear();
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  std::size_t lineNumber = 0;
  std::size_t pos = 0;
  auto fail = [&](const std::string& what) {
    error = std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + what;
    strings_.clear();
    return false;
  };
  while (pos <= content.size()) {
    std::size_t nl = content.find('\n', pos);
    if (nl == std::string_view::npos) nl = content.size();
    std::string_view line = content.substr(pos, nl - pos);
    pos = nl + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view trimmed = trimLeft(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const std::size_t eq = line.find('=');
    long long id = 0;
    if (eq == std::string_view::npos || eq == 0 || eq > 9 || parseIntegerPrefix(line, id) != eq || line[0] == '-' ||
        line[0] == '+') {
      return fail("expected NNN=text");
    }
    std::string text;
    if (!unescape(line.substr(eq + 1), text)) return fail("unknown escape (use \\n, \\t or \\\\)");
    if (!strings_.emplace(static_cast<int>(id), std::move(text)).second) {
      return fail("string " + std::to_string(id) + " defined twice");
    }
  }
  return true;
}

std::string LanguageTable::text(int id) const {
  const auto it = strings_.find(id);
  return it == strings_.end() ? "[" + std::to_string(id) + "]" : it->second;
}

std::vector<int> LanguageTable::ids() const {
  std::vector<int> all;
  all.reserve(strings_.size());
  for (const auto& [id, text] : strings_) all.push_back(id);
  return all;
}

std::string LanguageFileName(std::string_view code) { return "Lang" + std::string(code) + ".lng"; }

}  // namespace pelmar
