#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmar {

// The checksum sidecar of a database file: "<file>.sum", one line
// "fnv1a64 <16 hex digits> <size in bytes>". The file layouts have no room
// for a checksum; one flipped bit changed a stored scale from 1.0000067 to
// 1.0002509 without a word. Written after each save under the file's lock;
// a file without a sidecar (older, or made elsewhere) loads as before.
std::filesystem::path ChecksumPath(const std::filesystem::path& file);
std::string ChecksumText(std::string_view bytes);
bool WriteChecksum(const std::filesystem::path& file, std::string_view bytes);

enum class ChecksumState { Matches, Missing, Differs };
ChecksumState VerifyChecksum(const std::filesystem::path& file, std::string_view bytes);

}  // namespace pelmar
