#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/JobHost.h"
#include "app/LanguageTable.h"

namespace pelmar::fuzz {

// The fuzzer's bytes as a regular file without a name on disk (memfd), for
// readers that take a path. A new one for every input: the settings cache
// then never sees the same file twice.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) {
    fd_ = ::memfd_create("pelmar-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) return;
    std::size_t written = 0;
    while (written < size) {
      const ssize_t n = ::write(fd_, data + written, size - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// A host that shows nothing and answers no.
class SilentHost : public JobHost {
 public:
  const LanguageTable& language() const override { return table_; }
  void message(int, const MessageArgs& = {}) override {}
  bool ask(int, const MessageArgs& = {}) override { return false; }
  void setProgressRange(std::int64_t) override {}
  void setProgressText(const std::string&) override {}
  void stepProgress() override {}
  void setProgressLines(const std::string&, const std::string&) override {}
  void endProgress() override {}
  bool showsProgress() const override { return false; }

 private:
  LanguageTable table_;
};

}  // namespace pelmar::fuzz
