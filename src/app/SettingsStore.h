#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace pelmar {

// Values given on the command line (--set SECTION.KEY=VALUE) for one run. They
// win over the file on every read and are never written to it. Section and
// key names match without regard to letter case, as in the file.
class SettingsOverrides {
 public:
  void set(std::string_view section, std::string_view key, std::string value);
  const std::string* find(std::string_view section, std::string_view key) const;
  bool hasSection(std::string_view section) const;
  bool empty() const noexcept { return values_.empty(); }
  // Every override as (section, key, value), names in lower case.
  template <class Visit>
  void forEach(Visit&& visit) const {
    for (const auto& [section, keys] : values_) {
      for (const auto& [key, value] : keys) visit(section, key, value);
    }
  }

 private:
  // Keyed by lower-case "section" and "key".
  std::map<std::string, std::map<std::string, std::string>> values_;
};

// An INI file and a section, copied by value into every job and dialog. It
// keeps no handle and no cache: every read opens the file, every write
// replaces it, so a value written is visible to every other store at once.
//
// The semantics are those of the classic profile functions: section and key
// names match without regard to letter case; leading and trailing blanks of
// names and values are dropped; a value in matching quotes loses them; values
// read are cut at 1023 characters; a missing file reads as empty values; a
// write creates the file, the section and the key as needed and keeps every
// other line. A write goes through a temporary file in the same directory and
// a rename, so a failed write leaves the old file whole.
class SettingsStore {
 public:
  static constexpr std::size_t kMaxValueLength = 1023;

  bool SetFile(std::filesystem::path path);
  bool SetSection(std::string section);

  // True when a line of the file, trimmed, equals "[" + name + "]" (the name
  // trimmed too) without regard to letter case. Overrides do not count: a
  // section missing from the file keeps its defaults apart from them.
  bool SectionExists(std::string_view name) const;

  // Reads the key of the current section. True when the value is not empty;
  // a missing or empty value gives "", 0 or 0.0 and false.
  bool ReadString(std::string_view key, std::string& value) const;
  bool ReadInt(std::string_view key, int& value) const;
  bool ReadDouble(std::string_view key, double& value) const;

  // True when a --set override gives the key, or the current section of the
  // file holds a line with it (an empty value counts: it is there).
  bool KeyExists(std::string_view key) const;

  // Writes the key into the current section ("%i" for integers, "%25.15f" for
  // reals). False when the file cannot be written, or the key or value would
  // break the file's line structure (a line break, or "=" or "[" in the key).
  bool WriteString(std::string_view key, std::string_view value);
  bool WriteInt(std::string_view key, int value);
  bool WriteDouble(std::string_view key, double value);

  const std::filesystem::path& file() const noexcept { return file_; }
  const std::string& section() const noexcept { return section_; }

  void setOverrides(std::shared_ptr<const SettingsOverrides> overrides) { overrides_ = std::move(overrides); }

 private:
  std::filesystem::path file_;
  std::string section_;
  std::shared_ptr<const SettingsOverrides> overrides_;
};

// Reads one key of an option section the way every option dialog loads:
// when the section exists in the file (`sectionInFile`), every key is read
// and a missing one gives 0 or ""; otherwise the built-in default stays
// unless a --set override gives the key. Reads the store's current section.
void LoadOption(const SettingsStore& store, bool sectionInFile, std::string_view key, int& value);
void LoadOption(const SettingsStore& store, bool sectionInFile, std::string_view key, double& value);
void LoadOption(const SettingsStore& store, bool sectionInFile, std::string_view key, std::string& value);

// The value conversions of the settings file, usable on their own: an integer
// from its leading sign and digits (0 when there are none, clamped to the int
// range), a real from its leading number (0.0 when there is none).
int settingsIntValue(std::string_view text) noexcept;
double settingsDoubleValue(std::string_view text) noexcept;

}  // namespace pelmar
