#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmar {

// An output file written through a temporary file beside it: commit()
// renames it over the target, so the target is either the old file or the
// complete new one. An object destroyed without commit() removes its
// temporary file: a job that fails half-way leaves nothing half-written.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file; false when the directory does not take it.
  bool open(const std::filesystem::path& path);
  bool isOpen() const noexcept { return file_ != nullptr; }

  void write(std::string_view text);
  // Flushes, renames over the target; false when any write or the rename failed.
  bool commit();
  // Drops what was written.
  void discard();

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::string temporary_;
  bool failed_ = false;
};

}  // namespace pelmar
