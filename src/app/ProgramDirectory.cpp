#include "app/ProgramDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

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

std::filesystem::path userSettingsPath(const std::filesystem::path& home) {
  return home / "config" / (currentUserName() + ".ini");
}

}  // namespace pelmar
