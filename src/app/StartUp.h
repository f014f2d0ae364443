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
  std::filesystem::path home;       // the program directory: libraries, language tables, manuals
  std::filesystem::path userHome;   // the user's files (userFilesDirectory); empty: `home`
  std::string userHomeProblem;      // why the separate folder could not be used; `home` serves instead
  LanguageConfiguration languages{std::filesystem::path()};
  LanguageTable table;
  // Set when start-up failed: the text to show ("Error loading LangXX.lng",
  // or numbered string errorId), and, for the terminal, what exactly went wrong.
  std::string errorText;
  int errorId = 0;
  std::string errorDetail;

  // Where the settings folder, Ellip.db, Transformation.db, HeaderInfo.dat
  // and the language choice are read and written.
  const std::filesystem::path& userFiles() const noexcept { return userHome.empty() ? home : userHome; }
};

// Chooses the folder of the user's files (seeding a separate one from the
// shipped files; when that fails, the program directory serves, and writes
// there are told as they fail), reads the language configuration from it,
// loads the table of the current
// language (or of `languageOverride` when it is not empty), then checks that
// both computation libraries load with all their exports. Returns false with
// the error fields set at the first step that fails.
bool StartUp(const std::filesystem::path& home, StartUpState& state, const std::string& languageOverride = {});

}  // namespace pelmar
