#pragma once

#include <filesystem>
#include <string>

namespace pelmar {

// Directory of the running executable (from /proc/self/exe).
std::filesystem::path executableDirectory();

// The base of the files the program ships: PELMAR_HOME when it is set and
// not empty, else the executable's directory.
std::filesystem::path programDirectory();

// The login name of the user running the program, for the per-user settings
// file; "user" when the system knows none.
std::string currentUserName();

// <directory>/config/<user name>.ini
std::filesystem::path userSettingsPath(const std::filesystem::path& directory);

// The desktop program's remembered session beside a settings file:
// <folder>/<user name>.session.ini for <folder>/<user name>.ini. A file of its
// own, so that the settings file changes only when the user saves settings.
std::filesystem::path sessionPathFor(const std::filesystem::path& settingsFile);

// Whether the program may keep the user's files in the program directory
// itself: the directory grants the user write access by its permission bits
// (a directory without any write bit counts as read-only for root too, as a
// read-only file does for every writer of the program), and it does not lie
// below /usr, which the file-system hierarchy keeps read-only at run time
// even for root (an installed package).
bool ProgramDirectoryWritable(const std::filesystem::path& directory);

// $XDG_DATA_HOME/pelmar, or ~/.local/share/pelmar when XDG_DATA_HOME is not
// set or not absolute (the base directory specification ignores a relative
// one). Empty when the user has no home directory either.
std::filesystem::path userDataDirectory();

// Where the files the user changes live (the settings folder config/,
// Transformation.db, Ellip.db, HeaderInfo.dat and the language choice in
// PelmarGeneral.ini): the program directory when it is writable, else
// userDataDirectory() (the program directory when that is empty). Nothing
// is created.
std::filesystem::path userFilesDirectory(const std::filesystem::path& home);

// The shipped files a separate user-files directory starts from.
inline constexpr const char* kSeededFiles[] = {"PelmarGeneral.ini", "Ellip.db", "HeaderInfo.dat"};

// Creates `userFiles` when needed and copies into it every seeded file of
// `home` that it does not hold yet (an existing file is the user's and stays
// as it is); the copies may be written by their owner whatever the shipped
// file's permissions. Each copy is made under the file's lock (FileLock, as
// every writer of it takes) and gets its name only when complete. False
// with `problem` set when the directory cannot be made or a file cannot be
// copied.
bool SeedUserFiles(const std::filesystem::path& home, const std::filesystem::path& userFiles, std::string& problem);

}  // namespace pelmar
