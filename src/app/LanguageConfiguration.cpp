#include "app/LanguageConfiguration.h"

#include "app/SettingsStore.h"

namespace pelmar {

namespace {
SettingsStore storeFor(const std::filesystem::path& file) {
  SettingsStore store;
  store.SetFile(file);
  store.SetSection(LanguageConfiguration::kSection);
  return store;
}
}  // namespace

void LanguageConfiguration::ReadLanguageSettings() {
  const SettingsStore store = storeFor(iniFile_);
  currentName_.clear();
  store.ReadString("CurrentLanguage", currentCode_);
  int count = 0;
  store.ReadInt("NumLanguages", count);
  // A damaged count must not make start-up read the file millions of times.
  constexpr int kMaxLanguages = 1000;
  if (count > kMaxLanguages) count = kMaxLanguages;
  languages_.clear();
  for (int i = 1; i <= count; ++i) {
    const std::string index = std::to_string(i);
    LanguageEntry entry;
    store.ReadString("Language" + index, entry.code);
    store.ReadString("Language" + index + "_Text", entry.name);
    // A later entry with the same code wins, as the configuration is read in order.
    if (entry.code == currentCode_) currentName_ = entry.name;
    languages_.push_back(std::move(entry));
  }
}

std::string LanguageConfiguration::LanguageCodeForName(std::string_view name) const {
  for (const LanguageEntry& entry : languages_) {
    if (entry.name == name) return entry.code;
  }
  return {};
}

bool LanguageConfiguration::SetCurrentLanguage(std::string_view code) {
  SettingsStore store = storeFor(iniFile_);
  return store.WriteString("CurrentLanguage", code);
}

}  // namespace pelmar
