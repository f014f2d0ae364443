#pragma once

#include <filesystem>
#include <string_view>

namespace pelmar {

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`: readers see the old file or the new one, never a
// half-written one, and a failed write leaves the old file whole. Keeps the
// old file's permissions.
bool replaceFileContent(const std::filesystem::path& path, std::string_view content);

// Reads a whole file; false when it cannot be opened or read.
bool readFileContent(const std::filesystem::path& path, std::string& content);

}  // namespace pelmar
