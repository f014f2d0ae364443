#include "app/SettingsStore.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

#include "io/FileLock.h"
#include "io/FileReplace.h"
#include "text/LineScanner.h"
#include "text/NumberFormat.h"

namespace pelmar {

namespace {

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return lower;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Blanks and tabs around names and values; '\r' too, for files written with
// Windows line ends.
std::string_view trimIni(std::string_view text) { return trimBlanks(text); }

// One physical line of the file, its line break kept so that a rewrite gives
// back every untouched line byte for byte.
struct IniLine {
  std::string text;   // without line break
  std::string ending; // "\n", "\r\n" or "" for a last line without one
};

std::vector<IniLine> parseLines(const std::string& all) {
  std::vector<IniLine> lines;
  // A UTF-8 byte-order mark (editors on Windows write one) would hide the
  // first section; it is not kept when the file is written again.
  std::size_t pos = all.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (pos < all.size()) {
    const std::size_t nl = all.find('\n', pos);
    if (nl == std::string::npos) {
      lines.push_back({all.substr(pos), ""});
      break;
    }
    std::size_t end = nl;
    std::string ending = "\n";
    if (end > pos && all[end - 1] == '\r') {
      --end;
      ending = "\r\n";
    }
    lines.push_back({all.substr(pos, end - pos), ending});
    pos = nl + 1;
  }
  return lines;
}

// The files' lines, read once and again only when the file changed (another
// inode after a replacement, another size or time): a run reads dozens of
// keys, and each used to read the whole file. Only a regular file is read
// ("--settings /dev/zero" grew without end).
struct CachedLines {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  std::shared_ptr<const std::vector<IniLine>> lines;
};

std::optional<std::shared_ptr<const std::vector<IniLine>>> loadLines(const std::filesystem::path& path) {
  static std::mutex mutex;
  static std::map<std::string, CachedLines> cache;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const std::lock_guard<std::mutex> guard(mutex);
  CachedLines& entry = cache[path.string()];
  if (entry.lines && entry.device == info.st_dev && entry.inode == info.st_ino && entry.size == info.st_size &&
      entry.modified.tv_sec == info.st_mtim.tv_sec && entry.modified.tv_nsec == info.st_mtim.tv_nsec) {
    return entry.lines;
  }
  std::string all;
  if (!readFileContent(path, all)) return std::nullopt;
  entry = {info.st_dev, info.st_ino, info.st_size, info.st_mtim,
           std::make_shared<const std::vector<IniLine>>(parseLines(all))};
  return entry.lines;
}

// The section a header line names: the text between "[" and the first "]"
// after it, with the line's own blanks trimmed but not those inside.
std::optional<std::string_view> sectionName(std::string_view line) {
  line = trimIni(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  return line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return KeyLine{trimIni(line.substr(0, eq)), trimIni(line.substr(eq + 1))};
}

// Index range [first, last) of the key lines of the first section with this
// name; nullopt when there is none.
struct SectionRange {
  std::size_t header = 0;
  std::size_t first = 0;
  std::size_t last = 0;
};

std::optional<SectionRange> findSection(const std::vector<IniLine>& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = sectionName(lines[i].text);
    if (!name || !equalNoCase(*name, section)) continue;
    std::size_t j = i + 1;
    while (j < lines.size() && !sectionName(lines[j].text)) ++j;
    return SectionRange{i, i + 1, j};
  }
  return std::nullopt;
}

std::optional<std::size_t> findKey(const std::vector<IniLine>& lines, const SectionRange& range, std::string_view key) {
  for (std::size_t i = range.first; i < range.last; ++i) {
    const auto kv = keyLine(lines[i].text);
    if (kv && equalNoCase(kv->key, key)) return i;
  }
  return std::nullopt;
}

std::string unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

}  // namespace

void SettingsOverrides::set(std::string_view section, std::string_view key, std::string value) {
  values_[lowerAscii(trimIni(section))][lowerAscii(trimIni(key))] = std::move(value);
}

const std::string* SettingsOverrides::find(std::string_view section, std::string_view key) const {
  const auto s = values_.find(lowerAscii(trimIni(section)));
  if (s == values_.end()) return nullptr;
  const auto k = s->second.find(lowerAscii(trimIni(key)));
  return k == s->second.end() ? nullptr : &k->second;
}

bool SettingsOverrides::hasSection(std::string_view section) const {
  return values_.count(lowerAscii(trimIni(section))) > 0;
}

bool SettingsStore::SetFile(std::filesystem::path path) {
  file_ = std::move(path);
  return true;
}

bool SettingsStore::SetSection(std::string section) {
  section_ = std::move(section);
  return true;
}

bool SettingsStore::SectionExists(std::string_view name) const {
  if (file_.empty()) return false;
  const auto loaded = loadLines(file_);
  if (!loaded) return false;
  const std::vector<IniLine>* lines = loaded->get();
  const std::string wanted = "[" + std::string(trimIni(name)) + "]";
  return std::any_of(lines->begin(), lines->end(),
                     [&](const IniLine& line) { return equalNoCase(trimIni(line.text), wanted); });
}

bool SettingsStore::ReadString(std::string_view key, std::string& value) const {
  value.clear();
  if (overrides_) {
    if (const std::string* given = overrides_->find(section_, key)) {
      value = given->substr(0, kMaxValueLength);
      return !value.empty();
    }
  }
  if (file_.empty()) return false;
  const auto loaded = loadLines(file_);
  if (!loaded) return false;
  const std::vector<IniLine>* lines = loaded->get();
  const auto range = findSection(*lines, trimIni(section_));
  if (!range) return false;
  const auto index = findKey(*lines, *range, trimIni(key));
  if (!index) return false;
  value = unquote(keyLine((*lines)[*index].text)->value);
  if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
  return !value.empty();
}

bool SettingsStore::KeyExists(std::string_view key) const {
  if (overrides_ && overrides_->find(section_, key) != nullptr) return true;
  if (file_.empty()) return false;
  const auto loaded = loadLines(file_);
  if (!loaded) return false;
  const std::vector<IniLine>* lines = loaded->get();
  const auto range = findSection(*lines, trimIni(section_));
  return range && findKey(*lines, *range, trimIni(key)).has_value();
}

bool SettingsStore::ReadInt(std::string_view key, int& value) const {
  std::string text;
  value = 0;
  if (!ReadString(key, text)) return false;
  value = settingsIntValue(text);
  return true;
}

bool SettingsStore::ReadDouble(std::string_view key, double& value) const {
  std::string text;
  value = 0.0;
  if (!ReadString(key, text)) return false;
  value = settingsDoubleValue(text);
  return true;
}

bool SettingsStore::WriteString(std::string_view key, std::string_view value) {
  const std::string_view name = trimIni(key);
  const std::string_view section = trimIni(section_);
  if (file_.empty() || name.empty() || section.empty()) return false;
  if (name.find_first_of("=[\r\n") != std::string_view::npos) return false;
  if (section.find_first_of("]\r\n") != std::string_view::npos) return false;
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;

  // Read, change and write under the file's lock: two programs writing
  // settings at once used to lose each other's keys.
  const FileLock lock(file_);
  std::vector<IniLine> lines;
  std::error_code error;
  if (std::filesystem::exists(file_, error)) {
    auto loaded = loadLines(file_);
    if (!loaded) return false;  // exists but unreadable: never overwrite it blind
    lines = **loaded;
  }
  // New lines take the file's own line ending.
  std::string ending = "\n";
  for (const IniLine& line : lines) {
    if (!line.ending.empty()) {
      ending = line.ending;
      break;
    }
  }
  if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;

  const std::string entry = std::string(name) + "=" + std::string(value);
  if (const auto range = findSection(lines, section)) {
    if (const auto index = findKey(lines, *range, name)) {
      // Keep the key as spelt in the file; replace the value.
      lines[*index].text = std::string(keyLine(lines[*index].text)->key) + "=" + std::string(value);
    } else {
      // After the section's last non-blank line, before blank separator lines.
      std::size_t at = range->last;
      while (at > range->first && trimIni(lines[at - 1].text).empty()) --at;
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), IniLine{entry, ending});
    }
  } else {
    if (!lines.empty() && !trimIni(lines.back().text).empty()) lines.push_back({"", ending});
    lines.push_back({"[" + std::string(section) + "]", ending});
    lines.push_back({entry, ending});
  }

  std::string content;
  for (const IniLine& line : lines) {
    content += line.text;
    content += line.ending;
  }
  return replaceFileContent(file_, content);
}

bool SettingsStore::WriteInt(std::string_view key, int value) {
  std::string text;
  appendInt(text, value, 0);
  return WriteString(key, text);
}

bool SettingsStore::WriteDouble(std::string_view key, double value) {
  return WriteString(key, formatFixed(value, 25, 15));
}

void LoadOption(const SettingsStore& store, bool sectionInFile, std::string_view key, int& value) {
  int read = 0;
  if (store.ReadInt(key, read) || sectionInFile) value = read;
}

void LoadOption(const SettingsStore& store, bool sectionInFile, std::string_view key, double& value) {
  double read = 0.0;
  if (store.ReadDouble(key, read) || sectionInFile) value = read;
}

void LoadOption(const SettingsStore& store, bool sectionInFile, std::string_view key, std::string& value) {
  std::string read;
  if (store.ReadString(key, read) || sectionInFile) value = read;
}

int settingsIntValue(std::string_view text) noexcept {
  text = trimLeft(text);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 40);
  }
  if (negative) value = -value;
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

double settingsDoubleValue(std::string_view text) noexcept {
  double value = 0.0;
  return parseRealPrefix(trimLeft(text), value) > 0 ? value : 0.0;
}

}  // namespace pelmar
