#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsStore.h"

namespace pelmar::cli {

// The sections that GeneralSettings::load reads.
inline constexpr std::string_view kGeneralSections[] = {"GeneralSettings", "Interpolation"};

// Checks `--set` overrides against the keys of `sections` (the sections the
// command reads): an unknown section or key, a value that is not one whole
// number of the key's type, or one outside the key's range. Returns the
// error text naming the key and what it accepts, empty when every override
// is good.
std::string CheckOverrides(const SettingsOverrides& overrides, const std::vector<std::string_view>& sections);

}  // namespace pelmar::cli
