#include "io/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/StringIds.h"

namespace pelmar {

Replacement PrepareReplacement(const std::filesystem::path& path) {
  Replacement r;
  r.target = path;
  std::error_code error;
  // Follow the chain of links by hand: a link to a file that does not exist
  // yet names where the new file goes.
  for (int depth = 0; depth < 40 && std::filesystem::is_symlink(r.target, error); ++depth) {
    const std::filesystem::path next = std::filesystem::read_symlink(r.target, error);
    if (error) break;
    r.target = next.is_absolute() ? next : r.target.parent_path() / next;
  }
  struct stat info {};
  if (::stat(r.target.c_str(), &info) != 0) return r;  // a new file
  r.exists = true;
  r.mode = info.st_mode & 07777;
  r.owner = info.st_uid;
  r.group = info.st_gid;
  if (!S_ISREG(info.st_mode)) {
    r.problem = str::NotRegularFile;
  } else if ((info.st_mode & 0222) == 0 || ::access(r.target.c_str(), W_OK) != 0) {
    // No write permission for anyone is a file kept deliberately, for root too.
    r.problem = str::ReadOnlyFile;
  } else if (info.st_uid != ::geteuid() && ::geteuid() != 0) {
    // The new file would be the user's own: only root can hand it back.
    r.problem = str::OtherUsersFile;
  }
  return r;
}

int OpenReplacementTemporary(const Replacement& replacement, std::string& temporary) {
  temporary = replacement.target.string() + ".tmpXXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    temporary.clear();
    return -1;
  }
  if (replacement.exists) {
    ::fchmod(fd, replacement.mode);
    if (::geteuid() == 0) (void)::fchown(fd, replacement.owner, replacement.group);
  } else {
    // mkstemp makes the file private; a new result gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  return fd;
}

bool replaceFileContent(const std::filesystem::path& path, std::string_view content, int* problem) {
  const Replacement replacement = PrepareReplacement(path);
  if (problem != nullptr) *problem = replacement.problem;
  if (replacement.problem != 0) return false;
  std::string pattern;
  const int fd = OpenReplacementTemporary(replacement, pattern);
  if (fd < 0) return false;
  bool ok = true;
  std::size_t written = 0;
  while (ok && written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = std::rename(pattern.c_str(), replacement.target.c_str()) == 0;
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
