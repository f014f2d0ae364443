#include "io/Checksum.h"

#include <cinttypes>
#include <cstdio>

#include "io/FileReplace.h"

namespace pelmar {

std::filesystem::path ChecksumPath(const std::filesystem::path& file) { return file.string() + ".sum"; }

std::string ChecksumText(std::string_view bytes) {
  // FNV-1a, 64 bits (Fowler, Noll, Vo): every byte changes every later state.
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  char line[64];
  std::snprintf(line, sizeof line, "fnv1a64 %016" PRIx64 " %zu\n", hash, bytes.size());
  return line;
}

bool WriteChecksum(const std::filesystem::path& file, std::string_view bytes) {
  return replaceFileContent(ChecksumPath(file), ChecksumText(bytes));
}

ChecksumState VerifyChecksum(const std::filesystem::path& file, std::string_view bytes) {
  std::error_code error;
  const std::filesystem::path sidecar = ChecksumPath(file);
  if (!std::filesystem::exists(sidecar, error)) return ChecksumState::Missing;
  std::string stored;
  if (!readFileContent(sidecar, stored)) return ChecksumState::Differs;
  return stored == ChecksumText(bytes) ? ChecksumState::Matches : ChecksumState::Differs;
}

}  // namespace pelmar
