#include "io/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pelmar {

FileLock::FileLock(const std::filesystem::path& file) {
  descriptor_ = ::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor_ < 0) return;
  int status = 0;
  while ((status = ::flock(descriptor_, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (status != 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

FileLock::~FileLock() {
  if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the lock
}

}  // namespace pelmar
