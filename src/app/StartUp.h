#pragma once

#include <filesystem>
#include <string>

#include "app/LanguageConfiguration.h"
#include "app/LanguageTable.h"

namespace pelmar {

// The built-in text of the one message that can appear before any language
// table is loaded.
inline constexpr const char* kErrorLoadingText = "Error loading %s";

// What start-up has established before the main window (or a command) runs.
struct StartUpState {
  std::filesystem::path home;
  LanguageConfiguration languages{std::filesystem::path()};
  LanguageTable table;
  // Set when start-up failed: the text to show ("Error loading LangXX.lng",
  // or numbered string errorId), and, for the terminal, what exactly went wrong.
  std::string errorText;
  int errorId = 0;
  std::string errorDetail;
};

// Reads the language configuration of `home`, loads the table of the current
// language (or of `languageOverride` when it is not empty), then checks that
// both computation libraries load with all their exports. Returns false with
// the error fields set at the first step that fails.
bool StartUp(const std::filesystem::path& home, StartUpState& state, const std::string& languageOverride = {});

}  // namespace pelmar
