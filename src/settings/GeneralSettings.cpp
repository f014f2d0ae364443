#include "settings/GeneralSettings.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "io/FileReplace.h"
#include "text/LineReader.h"

namespace pelmar {

int StoredDistance(double metres) {
  // value × 10000 truncated towards zero, after rounding away the binary
  // noise of the product (0.57 × 10000 = 5699.999…, stored as 5699, lost a
  // tenth of a millimetre at every save).
  const double scaled = std::trunc(std::nearbyint(metres * 1e4 * 1e4) / 1e4);
  return static_cast<int>(std::isfinite(scaled) ? std::clamp(scaled, -2.0e9, 2.0e9) : 0.0);
}

double DistanceFromStored(int stored) { return stored * 0.0001; }

void GeneralSettings::normalise() {
  decimalsGeographic = std::clamp(decimalsGeographic, 0, kMaxDecimals);
  decimalsCartesian = std::clamp(decimalsCartesian, 0, kMaxDecimals);
  if (formatGeographic != 0 && formatGeographic != 1) formatGeographic = 0;
  if (formatUtm != 0 && formatUtm != 1) formatUtm = 1;
  if (ellipsoid < 0) ellipsoid = 0;
  userDefinedHeader = userDefinedHeader != 0 ? 1 : 0;
  includeDate = includeDate != 0 ? 1 : 0;
  // Only 1 switches the distribution on, as the page has always shown it.
  interpolationActive = interpolationActive == 1 ? 1 : 0;
  if (interpolationType < 0 || interpolationType > 2) interpolationType = 0;
}

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
  int distance = StoredDistance(interpolationDistance);
  LoadOption(store, fileRead, "dsH", distance);
  interpolationDistance = DistanceFromStored(distance);
  normalise();
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
  ok = store.WriteInt("dsH", StoredDistance(interpolationDistance)) && ok;
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
