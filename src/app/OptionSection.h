#pragma once

#include <string>
#include <string_view>

#include "app/SettingsStore.h"

namespace pelmar {

// Loading and saving of an option section from one list of its keys. An
// options struct names its section as kSection and lists its keys, in file
// order, in a static `keys(self, visit)` that calls visit(key, field) for
// each field (int, double or std::string). Loading follows the rule of the
// option dialogs (see LoadOption); saving writes every key.

inline bool SaveOption(SettingsStore& store, std::string_view key, int value) { return store.WriteInt(key, value); }
inline bool SaveOption(SettingsStore& store, std::string_view key, double value) {
  return store.WriteDouble(key, value);
}
inline bool SaveOption(SettingsStore& store, std::string_view key, const std::string& value) {
  return store.WriteString(key, value);
}

template <class Options>
void LoadSection(const SettingsStore& source, Options& options) {
  SettingsStore store = source;
  const bool inFile = store.SectionExists(Options::kSection);
  store.SetSection(Options::kSection);
  Options::keys(options, [&](std::string_view key, auto& field) { LoadOption(store, inFile, key, field); });
}

template <class Options>
bool SaveSection(const SettingsStore& target, const Options& options) {
  SettingsStore store = target;
  store.SetSection(Options::kSection);
  bool ok = true;
  Options::keys(options, [&](std::string_view key, const auto& field) { ok = SaveOption(store, key, field) && ok; });
  return ok;
}

}  // namespace pelmar
