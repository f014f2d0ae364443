#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmar {

// The checksum sidecar of a database file: "<file>.sum", lines
// "fnv1a64 <16 hex digits> <size in bytes>". The file layouts have no room
// for a checksum; one flipped bit changed a stored scale from 1.0000067 to
// 1.0002509 without a word. A save (under the file's lock) first writes the
// checksums of the old and the new bytes, then replaces the file, then
// keeps the new one only: a reader between the steps, or a run killed
// there, finds the file matching one of them. A file without a sidecar
// (older, or made elsewhere) loads as before.
std::filesystem::path ChecksumPath(const std::filesystem::path& file);
std::string ChecksumText(std::string_view bytes);
// The sidecar before the file is replaced: both checksums (the old bytes
// as the file holds them now, or none when there is no file).
bool WritePendingChecksum(const std::filesystem::path& file, std::string_view newBytes);
bool WriteChecksum(const std::filesystem::path& file, std::string_view bytes);

enum class ChecksumState { Matches, Missing, Differs };
ChecksumState VerifyChecksum(const std::filesystem::path& file, std::string_view bytes);

}  // namespace pelmar
