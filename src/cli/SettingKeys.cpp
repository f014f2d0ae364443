#include "cli/SettingKeys.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <string>
#include <type_traits>

#include "conversion/ProjectionOptions.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/EstimationJob.h"
#include "estimation/SpatialEstimation.h"
#include "text/LineScanner.h"
#include "settings/EllipsoidParameters.h"
#include "settings/GeneralSettings.h"

namespace pelmar::cli {

namespace {

enum class Kind { Integer, Real, Text };

struct Key {
  std::string section, key;
  Kind kind;
  double min, max;  // inclusive, for numbers
};

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Ranges of the keys that have one narrower than their type's: the choices
// of a combo box or switch, decimals, angles. Other integer keys are the
// check boxes of the option dialogs (0, 1, or 2 for the third state).
struct Range {
  const char *section, *key;
  double min, max;
};
constexpr double kAny = 1e300;
constexpr Range kRanges[] = {
    {"GeneralSettings", "NachkommaGeog", 0, kMaxDecimals},
    {"GeneralSettings", "NachkommaKartesisch", 0, kMaxDecimals},
    {"GeneralSettings", "FormatGeog", 0, 1},
    {"GeneralSettings", "FormatUTM", 0, 1},
    {"GeneralSettings", "AxisOrder", 0, 2},
    {"GeneralSettings", "KeepRest", 0, 1},
    {"GeneralSettings", "Encoding", 0, 1},
    {"GeneralSettings", "Ellip", 0, INT_MAX},
    {"GeneralSettings", "UserDefinedHeader", 0, 1},
    {"GeneralSettings", "IncludeDate", 0, 1},
    {"Interpolation", "InterpolationActive", 0, 1},
    {"Interpolation", "Interpolationtype", 0, 2},
    {"Interpolation", "dsH", 1, INT_MAX},
    {"L0Settings", "L0", -180, 180},
    {"L0Settings", "L0Auto", 0, 1},
    {"L0AustriaSettings", "L0Austria", -180, 180},
    {"L0AustriaSettings", "L0AustriaAuto", 0, 1},
    {"MercatorSettings", "L0", -180, 180},
    {"LambertSettings", "Version", 0, 1},
    {"LambertSettings", "BNordGrad", -90, 90},
    {"LambertSettings", "BSuedGrad", -90, 90},
    {"LambertSettings", "B0Grad", -90, 90},
    {"LambertSettings", "L0Grad", -180, 180},
    {"SoldnerSettings", "B0Grad", -90, 90},
    {"SoldnerSettings", "L0Grad", -180, 180},
    {"SoldnerSettings", "Type", 0, 1},
    {"HelmertTrafo3D", "Type", 0, 1},
    {"HelmertTrafo3D", "TypeLinearised", 0, 1},
    {"HelmertTrafo3DBL", "Type", 0, 1},
    {"HelmertTrafo3DBL", "ScaleType", 0, 1},
    {"HelmertTrafo3DBL", "EllipSrc", 0, INT_MAX},
    {"HelmertTrafo3DBL", "EllipTarget", 0, INT_MAX},
};

template <class T>
constexpr Kind kindOf() {
  if constexpr (std::is_same_v<T, int>) return Kind::Integer;
  if constexpr (std::is_same_v<T, double>) return Kind::Real;
  return Kind::Text;
}

void add(std::vector<Key>& keys, std::string_view section, std::string_view key, Kind kind) {
  for (const Key& k : keys) {
    if (k.section == section && lower(k.key) == lower(key)) return;  // a section two structs share
  }
  Key entry{std::string(section), std::string(key), kind, kind == Kind::Integer ? 0.0 : -kAny,
            kind == Kind::Integer ? 2.0 : kAny};
  if (key.size() > 8 && key.substr(key.size() - 7) == "Minuten") entry.min = -59, entry.max = 59;
  if (key.size() > 9 && key.substr(key.size() - 8) == "Sekunden") entry.min = -59.999999999, entry.max = 59.999999999;
  for (const Range& r : kRanges) {
    if (section == r.section && key == r.key) entry.min = r.min, entry.max = r.max;
  }
  keys.push_back(entry);
}

template <class Options>
void addSection(std::vector<Key>& keys) {
  Options options;
  Options::keys(options, [&](std::string_view key, auto& field) {
    add(keys, Options::kSection, key, kindOf<std::remove_cvref_t<decltype(field)>>());
  });
}

const std::vector<Key>& knownKeys() {
  static const std::vector<Key> keys = [] {
    std::vector<Key> k;
    for (const char* key : {"NachkommaGeog", "NachkommaKartesisch", "FormatGeog", "Ellip", "UserDefinedHeader",
                            "IncludeDate", "FormatUTM", "AxisOrder", "KeepRest", "Encoding"}) {
      add(k, "GeneralSettings", key, Kind::Integer);
    }
    add(k, "GeneralSettings", "Editor", Kind::Text);
    for (const char* key : {"InterpolationActive", "Interpolationtype", "dsH"}) add(k, "Interpolation", key, Kind::Integer);
    addSection<CentralMeridianOptions>(k);
    addSection<AustrianMeridianOptions>(k);
    addSection<MercatorOptions>(k);
    addSection<LambertOptions>(k);
    addSection<SoldnerOptions>(k);
    addSection<EstimationOptions2D>(k);
    addSection<EstimationOptions3D>(k);
    addSection<EstimationOptions3DBL>(k);
    return k;
  }();
  return keys;
}

std::string number(double value) {
  if (value >= INT_MAX) return "any";
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, value);
  return std::string(text, r.ptr);
}

std::string accepts(const Key& key) {
  switch (key.kind) {
    case Kind::Text: return "any text";
    case Kind::Integer: return "a whole number from " + number(key.min) + " to " + number(key.max);
    case Kind::Real:
      return key.min <= -kAny ? std::string("a number") : "a number from " + number(key.min) + " to " + number(key.max);
  }
  return {};
}

bool valueFits(const Key& key, std::string_view text) {
  text = trimBlanks(text);
  if (key.kind == Kind::Text) return true;
  double value = 0.0;
  if (key.kind == Kind::Integer) {
    long long whole = 0;
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    const auto r = std::from_chars(begin, text.data() + text.size(), whole);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
    value = static_cast<double>(whole);
  } else if (!ParseWholeNumber(text, value)) {
    return false;
  }
  return value >= key.min && value <= key.max;
}

std::string join(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

}  // namespace

std::string CheckOverrides(const SettingsOverrides& overrides, const std::vector<std::string_view>& sections) {
  std::string error;
  overrides.forEach([&](const std::string& section, const std::string& key, const std::string& value) {
    if (!error.empty()) return;
    std::vector<std::string> sectionNames, keyNames;
    std::string sectionName;  // as the command spells it
    for (std::string_view s : sections) {
      sectionNames.emplace_back(s);
      if (lower(s) == section) sectionName = s;
    }
    if (sectionName.empty()) {
      error = "--set " + section + "." + key + ": this command reads " +
              (sectionNames.empty() ? std::string("no settings") : "the sections " + join(sectionNames));
      return;
    }
    for (const Key& k : knownKeys()) {
      if (lower(k.section) != section) continue;
      keyNames.push_back(k.key);
      if (lower(k.key) != key) continue;
      if (!valueFits(k, value)) {
        error = "--set " + k.section + "." + k.key + "=" + value + ": the key takes " + accepts(k);
      }
      return;
    }
    error = "--set " + sectionName + "." + key + ": no such key; " + sectionName + " has " + join(keyNames);
  });
  return error;
}

}  // namespace pelmar::cli
