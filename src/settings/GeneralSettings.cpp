#include "settings/GeneralSettings.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <type_traits>

#include "app/FileReplace.h"
#include "points/LineReader.h"

namespace pelmar {

namespace {

constexpr double kDistanceScale = 10000.0;

// Reads one key: always when the file is there (a missing key gives 0), else
// only when an override gives it.
template <class Value>
void readKey(const SettingsStore& store, bool fileRead, const char* key, Value& field) {
  if constexpr (std::is_same_v<Value, std::string>) {
    std::string text;
    if (store.ReadString(key, text) || fileRead) field = text;
  } else {
    int value = 0;
    if (store.ReadInt(key, value) || fileRead) field = value;
  }
}

}  // namespace

bool GeneralSettings::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool fileRead = !store.file().empty() && std::ifstream(store.file()).good();
  store.SetSection("GeneralSettings");
  readKey(store, fileRead, "NachkommaGeog", decimalsGeographic);
  readKey(store, fileRead, "NachkommaKartesisch", decimalsCartesian);
  readKey(store, fileRead, "FormatGeog", formatGeographic);
  readKey(store, fileRead, "Ellip", ellipsoid);
  readKey(store, fileRead, "Editor", editor);
  readKey(store, fileRead, "UserDefinedHeader", userDefinedHeader);
  readKey(store, fileRead, "IncludeDate", includeDate);
  readKey(store, fileRead, "FormatUTM", formatUtm);
  store.SetSection("Interpolation");
  readKey(store, fileRead, "InterpolationActive", interpolationActive);
  readKey(store, fileRead, "Interpolationtype", interpolationType);
  int distance = static_cast<int>(interpolationDistance * kDistanceScale);
  readKey(store, fileRead, "dsH", distance);
  interpolationDistance = distance / kDistanceScale;
  return fileRead;
}

bool GeneralSettings::save(const SettingsStore& target) const {
  SettingsStore store = target;
  bool ok = store.SetSection("GeneralSettings");
  ok = store.WriteInt("NachkommaGeog", decimalsGeographic) && ok;
  ok = store.WriteInt("NachkommaKartesisch", decimalsCartesian) && ok;
  ok = store.WriteInt("FormatGeog", formatGeographic) && ok;
  ok = store.WriteInt("Ellip", ellipsoid) && ok;
  ok = store.WriteString("Editor", editor) && ok;
  ok = store.WriteInt("UserDefinedHeader", userDefinedHeader) && ok;
  ok = store.WriteInt("IncludeDate", includeDate) && ok;
  ok = store.WriteInt("FormatUTM", formatUtm) && ok;
  store.SetSection("Interpolation");
  ok = store.WriteInt("InterpolationActive", interpolationActive) && ok;
  ok = store.WriteInt("Interpolationtype", interpolationType) && ok;
  // Truncated towards zero to four decimals.
  const double scaled = std::trunc(interpolationDistance * kDistanceScale);
  ok = store.WriteInt("dsH", static_cast<int>(std::isfinite(scaled) ? std::clamp(scaled, -2.0e9, 2.0e9) : 0.0)) && ok;
  return ok;
}

bool ReadHeaderText(const std::filesystem::path& path, std::string& text) {
  LineReader reader(path);
  if (!reader.isOpen()) return false;
  std::string lines;
  std::string_view line;
  while (reader.next(line)) {
    lines += line;
    lines += '\n';
  }
  if (reader.failed()) return false;
  text = std::move(lines);
  return true;
}

bool WriteHeaderText(const std::filesystem::path& path, const std::string& text) {
  return replaceFileContent(path, text);
}

}  // namespace pelmar
