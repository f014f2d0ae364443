#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

struct LanguageEntry {
  std::string code;  // forms "Lang" + code + ".lng" and the manual's name
  std::string name;  // shown in the settings page's language selector
};

// The language configuration of "PelmarGeneral.ini", section "PelmarSettings":
// "CurrentLanguage", "NumLanguages", "Language<i>" and "Language<i>_Text".
class LanguageConfiguration {
 public:
  static constexpr const char* kFileName = "PelmarGeneral.ini";
  static constexpr const char* kSection = "PelmarSettings";

  explicit LanguageConfiguration(std::filesystem::path iniFile) : iniFile_(std::move(iniFile)) {}

  // Fills the list and the current code and name from the file; a missing
  // file gives an empty code and an empty list.
  void ReadLanguageSettings();

  // Code of the first entry, in list order, whose name equals `name` byte for
  // byte; "" when none does.
  std::string LanguageCodeForName(std::string_view name) const;

  // Writes "CurrentLanguage" = code into the file. The language in use does
  // not change: the new one is loaded at the next start.
  bool SetCurrentLanguage(std::string_view code);

  const std::vector<LanguageEntry>& languages() const noexcept { return languages_; }
  const std::string& currentCode() const noexcept { return currentCode_; }
  const std::string& currentName() const noexcept { return currentName_; }
  const std::filesystem::path& file() const noexcept { return iniFile_; }

 private:
  std::filesystem::path iniFile_;
  std::vector<LanguageEntry> languages_;
  std::string currentCode_;
  std::string currentName_;
};

}  // namespace pelmar
