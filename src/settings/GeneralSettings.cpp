#include "settings/GeneralSettings.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "app/OptionSection.h"
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
  if (axisOrder < 0 || axisOrder > 2) axisOrder = 0;
  keepRest = keepRest != 0 ? 1 : 0;
  encoding = encoding == 1 ? 1 : 0;
  if (interpolationType < 0 || interpolationType > 2) interpolationType = 0;
}

namespace {

constexpr const char* kGeneralSection = "GeneralSettings";
constexpr const char* kInterpolationSection = "Interpolation";
// Written with every save: a section that has it was saved by this version,
// whatever its values (0 decimals and no editor may be the user's choice).
constexpr const char* kSavedKey = "SavedBy";
constexpr const char* kSavedValue = "Pelmar 2";

// Every stored value with its section and key, in file order; "dsH" passes
// through `storedDistance` (metres × 10000).
template <class Self, class Visit>
void visitKeys(Self& s, int& storedDistance, Visit&& visit) {
  visit(kGeneralSection, "NachkommaGeog", s.decimalsGeographic);
  visit(kGeneralSection, "NachkommaKartesisch", s.decimalsCartesian);
  visit(kGeneralSection, "FormatGeog", s.formatGeographic);
  visit(kGeneralSection, "Ellip", s.ellipsoid);
  visit(kGeneralSection, "Editor", s.editor);
  visit(kGeneralSection, "UserDefinedHeader", s.userDefinedHeader);
  visit(kGeneralSection, "IncludeDate", s.includeDate);
  visit(kGeneralSection, "FormatUTM", s.formatUtm);
  visit(kGeneralSection, "AxisOrder", s.axisOrder);
  visit(kGeneralSection, "KeepRest", s.keepRest);
  visit(kGeneralSection, "Encoding", s.encoding);
  visit(kInterpolationSection, "InterpolationActive", s.interpolationActive);
  visit(kInterpolationSection, "Interpolationtype", s.interpolationType);
  visit(kInterpolationSection, "dsH", storedDistance);
}

// Keys this version added: the earlier version that zeroed sections never wrote them.
bool newerKey(std::string_view key) {
  for (const char* newer : {"AxisOrder", "KeepRest", "Encoding"}) {
    if (key == newer) return true;
  }
  return false;
}

// "0", "-0", "0.0" or nothing: what a value read as 0 or "" is written as.
bool zeroText(std::string_view value) {
  return value.find_first_not_of("+-0. \t") == std::string_view::npos;
}

// Whether the file's `section` holds every one of its keys, as a save writes
// them, and each is 0 or empty, and this version did not save it. A section
// written by hand with a key or two at 0 is the user's choice and stays.
// Overrides do not count: they are this run's, not the file's.
bool zeroedInFile(const SettingsStore& source, const char* section) {
  SettingsStore file = source;
  file.setOverrides(nullptr);
  file.SetSection(kGeneralSection);
  if (file.KeyExists(kSavedKey)) return false;
  file.SetSection(section);
  GeneralSettings probe;
  int distance = 0;
  bool allZero = true;
  visitKeys(probe, distance, [&](const char* keySection, const char* key, const auto&) {
    // Keys newer than that version were never written by it.
    if (std::string_view(keySection) != section || newerKey(key)) return;
    std::string value;
    allZero = allZero && file.KeyExists(key) && (file.ReadString(key, value), zeroText(value));
  });
  return allZero;
}

}  // namespace

GeneralSettings::Source GeneralSettings::load(const SettingsStore& source) {
  Source found;
  found.fileRead = !source.file().empty() && std::ifstream(source.file()).good();
  found.repaired = found.fileRead && zeroedInFile(source, kGeneralSection);
  const bool interpolationZeroed = found.repaired && zeroedInFile(source, kInterpolationSection);
  // A section taken as missing is read from the overrides alone.
  SettingsStore fromFile = source, overridesOnly = source;
  overridesOnly.SetFile({});
  int distance = StoredDistance(interpolationDistance);
  visitKeys(*this, distance, [&](const char* section, const char* key, auto& field) {
    const bool ignored = std::string_view(section) == kGeneralSection ? found.repaired : interpolationZeroed;
    SettingsStore& store = ignored ? overridesOnly : fromFile;
    store.SetSection(section);
    LoadOption(store, !ignored && found.fileRead && store.KeyExists(key), key, field);
  });
  interpolationDistance = DistanceFromStored(distance);
  normalise();
  return found;
}

bool GeneralSettings::save(const SettingsStore& target) const {
  SettingsStore store = target;
  int distance = StoredDistance(interpolationDistance);
  bool ok = true;
  visitKeys(*this, distance, [&](const char* section, const char* key, const auto& field) {
    store.SetSection(section);
    ok = SaveOption(store, key, field) && ok;
  });
  store.SetSection(kGeneralSection);
  return store.WriteString(kSavedKey, kSavedValue) && ok;
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
