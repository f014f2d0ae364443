#include "app/StartUp.h"

#include "text/MessageFormat.h"
#include "app/ProgramDirectory.h"
#include "app/StringIds.h"
#include "io/FileAccess.h"
#include "io/FileReplace.h"
#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"

namespace pelmar {

bool StartUp(const std::filesystem::path& home, StartUpState& state, const std::string& languageOverride) {
  state.home = home;
  state.userHome = userFilesDirectory(home);
  state.userHomeProblem.clear();
  if (state.userHome != home && !SeedUserFiles(home, state.userHome, state.userHomeProblem)) state.userHome = home;
  SetProgramFiles(ListProgramFiles(home, state.userFiles()));
  RemoveDeadTemporaries(home);
  if (state.userFiles() != home) RemoveDeadTemporaries(state.userFiles());
  state.languages = LanguageConfiguration(state.userFiles() / LanguageConfiguration::kFileName);
  state.languages.ReadLanguageSettings();

  const std::string code = languageOverride.empty() ? state.languages.currentCode() : languageOverride;
  const std::string fileName = LanguageFileName(code);
  // The code comes from a file the user can edit: it names a file in the
  // program directory, never one elsewhere.
  const bool plainName = fileName.find('/') == std::string::npos && fileName.find('\0') == std::string::npos;
  std::string detail;
  if (!plainName || !state.table.load(home / fileName, detail)) {
    state.errorText = formatMessage(kErrorLoadingText, {fileName});
    state.errorDetail = plainName ? detail : fileName + ": not a file name";
    return false;
  }

  // The libraries are only tested here; pages and jobs open their own.
  if (ProjectionLibrary projection; !projection.Open(home)) {
    state.errorId = str::ProjectionLibraryMissing;
    state.errorText = state.table.text(state.errorId);
    state.errorDetail = projection.problem();
    return false;
  }
  if (EllipsoidLibrary ellipsoid; !ellipsoid.Open(home)) {
    state.errorId = str::EllipsoidLibraryMissing;
    state.errorText = state.table.text(state.errorId);
    state.errorDetail = ellipsoid.problem();
    return false;
  }
  return true;
}

}  // namespace pelmar
