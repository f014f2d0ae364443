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

bool WritePendingChecksum(const std::filesystem::path& file, std::string_view newBytes) {
  std::string old;
  std::string text = readFileContent(file, old) ? ChecksumText(old) : std::string();
  return replaceFileContent(ChecksumPath(file), text + ChecksumText(newBytes));
}

ChecksumState VerifyChecksum(const std::filesystem::path& file, std::string_view bytes) {
  std::error_code error;
  const std::filesystem::path sidecar = ChecksumPath(file);
  // A sidecar that is not there, or no file to read (a folder of that
  // name), proves nothing either way.
  std::string stored;
  if (!std::filesystem::is_regular_file(sidecar, error) || !readFileContent(sidecar, stored)) {
    return ChecksumState::Missing;
  }
  const std::string wanted = ChecksumText(bytes);
  for (std::size_t start = 0; start < stored.size();) {
    std::size_t end = stored.find('\n', start);
    if (end == std::string::npos) end = stored.size() - 1;
    if (stored.compare(start, end + 1 - start, wanted) == 0) return ChecksumState::Matches;
    start = end + 1;
  }
  return ChecksumState::Differs;
}

}  // namespace pelmar
