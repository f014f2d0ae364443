#include "app/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace pelmar {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::filesystem::path& path) {
  discard();
  path_ = path;
  failed_ = false;
  temporary_ = path.string() + ".tmpXXXXXX";
  const int fd = ::mkstemp(temporary_.data());
  if (fd < 0) {
    temporary_.clear();
    return false;
  }
  // A new file gets the usual permissions (mkstemp makes it private); a
  // replaced one keeps its own.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    ::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  file_ = ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    ::close(fd);
    ::unlink(temporary_.c_str());
    temporary_.clear();
    return false;
  }
  std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
  return true;
}

void OutputFile::write(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool OutputFile::commit() {
  if (file_ == nullptr) return false;
  // No fsync: a job's output can be made again, and the rename still makes
  // it appear whole or not at all. Files the user cannot recreate (settings,
  // databases) go through replaceFileContent, which does flush to disk.
  bool ok = !failed_ && std::fflush(file_) == 0;
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (ok) ok = std::rename(temporary_.c_str(), path_.c_str()) == 0;
  if (!ok) ::unlink(temporary_.c_str());
  temporary_.clear();
  return ok;
}

void OutputFile::discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace pelmar
