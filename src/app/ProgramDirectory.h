#pragma once

#include <filesystem>
#include <string>

namespace pelmar {

// Directory of the running executable (from /proc/self/exe).
std::filesystem::path executableDirectory();

// The base of every file the program uses: PELMAR_HOME when it is set and not
// empty, else the executable's directory.
std::filesystem::path programDirectory();

// The login name of the user running the program, for the per-user settings
// file; "user" when the system knows none.
std::string currentUserName();

// <home>/config/<user name>.ini
std::filesystem::path userSettingsPath(const std::filesystem::path& home);

}  // namespace pelmar
