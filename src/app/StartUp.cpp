#include "app/StartUp.h"

#include "app/MessageFormat.h"

namespace pelmar {

bool StartUp(const std::filesystem::path& home, StartUpState& state, const std::string& languageOverride) {
  state.home = home;
  state.languages = LanguageConfiguration(home / LanguageConfiguration::kFileName);
  state.languages.ReadLanguageSettings();

  const std::string code = languageOverride.empty() ? state.languages.currentCode() : languageOverride;
  const std::string fileName = LanguageFileName(code);
  // The code comes from a file the user can edit: it names a file in the
  // program directory, never one elsewhere.
  const bool plainName = fileName.find('/') == std::string::npos && fileName.find('\0') == std::string::npos;
  std::string detail;
  if (plainName && state.table.load(home / fileName, detail)) return true;

  state.errorText = formatMessage(kErrorLoadingText, {fileName});
  state.errorDetail = plainName ? detail : fileName + ": not a file name";
  return false;
}

}  // namespace pelmar
