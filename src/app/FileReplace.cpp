#include "app/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace pelmar {

bool replaceFileContent(const std::filesystem::path& path, std::string_view content) {
  std::string pattern = path.string() + ".tmpXXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return false;
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : static_cast<mode_t>(0644);
  bool ok = ::fchmod(fd, mode) == 0 || errno == EPERM;
  std::size_t written = 0;
  while (ok && written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(pattern.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(pattern.c_str());
  return ok;
}

bool readFileContent(const std::filesystem::path& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

}  // namespace pelmar
