#include "settings/GeneralSettings.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "app/FileReplace.h"
#include "points/LineReader.h"

namespace pelmar {

namespace {

constexpr double kDistanceScale = 10000.0;

}  // namespace

bool GeneralSettings::load(const SettingsStore& source) {
  SettingsStore store = source;
  const bool fileRead = !store.file().empty() && std::ifstream(store.file()).good();
  store.SetSection("GeneralSettings");
  LoadOption(store, fileRead, "NachkommaGeog", decimalsGeographic);
  LoadOption(store, fileRead, "NachkommaKartesisch", decimalsCartesian);
  LoadOption(store, fileRead, "FormatGeog", formatGeographic);
  LoadOption(store, fileRead, "Ellip", ellipsoid);
  LoadOption(store, fileRead, "Editor", editor);
  LoadOption(store, fileRead, "UserDefinedHeader", userDefinedHeader);
  LoadOption(store, fileRead, "IncludeDate", includeDate);
  LoadOption(store, fileRead, "FormatUTM", formatUtm);
  store.SetSection("Interpolation");
  LoadOption(store, fileRead, "InterpolationActive", interpolationActive);
  LoadOption(store, fileRead, "Interpolationtype", interpolationType);
  int distance = static_cast<int>(interpolationDistance * kDistanceScale);
  LoadOption(store, fileRead, "dsH", distance);
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
