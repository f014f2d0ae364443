#include "app/ProgramDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "io/FileLock.h"
#include "io/FileReplace.h"

namespace pelmar {

std::filesystem::path executableDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

std::filesystem::path programDirectory() {
  const char* home = std::getenv("PELMAR_HOME");
  if (home != nullptr && *home != '\0') return std::filesystem::path(home);
  return executableDirectory();
}

std::string currentUserName() {
  if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_name != nullptr &&
                                                     *entry->pw_name != '\0') {
    return entry->pw_name;
  }
  if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
  return "user";
}

std::filesystem::path userSettingsPath(const std::filesystem::path& directory) {
  return directory / "config" / (currentUserName() + ".ini");
}

std::filesystem::path sessionPathFor(const std::filesystem::path& settingsFile) {
  return settingsFile.parent_path() / (settingsFile.stem().string() + ".session.ini");
}

namespace {

// Whether `path` lies in `root` or below it, compared by whole components
// after the links are resolved ("/usr2" is not below "/usr").
bool isBelow(const std::filesystem::path& path, const std::filesystem::path& root) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
  if (ec) resolved = path.lexically_normal();
  auto p = resolved.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (p == resolved.end() || *p != *r) return false;
  }
  return true;
}

}  // namespace

bool ProgramDirectoryWritable(const std::filesystem::path& directory) {
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  if ((info.st_mode & 0222) == 0) return false;
  if (::access(directory.c_str(), W_OK | X_OK) != 0) return false;
  return !isBelow(directory, "/usr");
}

std::filesystem::path userDataDirectory() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    return std::filesystem::path(data) / "pelmar";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home != '/') {
    const passwd* entry = ::getpwuid(::geteuid());
    home = entry != nullptr ? entry->pw_dir : nullptr;
  }
  if (home == nullptr || *home != '/') return {};
  return std::filesystem::path(home) / ".local" / "share" / "pelmar";
}

std::filesystem::path userFilesDirectory(const std::filesystem::path& home) {
  if (ProgramDirectoryWritable(home)) return home;
  std::filesystem::path data = userDataDirectory();
  return data.empty() ? home : data;
}

bool SeedUserFiles(const std::filesystem::path& home, const std::filesystem::path& userFiles, std::string& problem) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(userFiles, ec);
  if (!fs::is_directory(userFiles)) {
    problem = userFiles.string() + ": the folder for your files cannot be made" + (ec ? " (" + ec.message() + ")" : "");
    return false;
  }
  for (const char* name : kSeededFiles) {
    const fs::path target = userFiles / name;
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    const fs::path shipped = home / name;
    if (!fs::exists(shipped, ec)) continue;  // the program tells what is missing where it needs it
    // Under the lock every writer of the file takes: of two programs
    // starting at once one seeds it, and the other finds it there and
    // leaves it (with what its user may have changed in it meanwhile).
    const FileLock lock(target);
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    // Written through an unnamed temporary that gets the name only when
    // complete: a copy broken off never stands under the real name and
    // hides the shipped file for good. The copy is the user's, writable by
    // its owner whatever the shipped file's permissions.
    std::string content;
    if (!readFileContent(shipped, content) || !replaceFileContent(target, content)) {
      problem = target.string() + ": cannot be copied from " + shipped.string();
      return false;
    }
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
  }
  return true;
}

}  // namespace pelmar
