#pragma once

#include <filesystem>
#include <string>

namespace pelmar {

// The directory an output path writes into: everything before the last "/";
// "/" itself for a file in the root; "." (the working directory) for a bare
// file name, which names a file there.
std::string outputDirectory(const std::string& outputPath);

// Whether the current user may create files in the directory of
// `outputPath` (the check every job makes before it runs).
bool canWriteOutputDirectory(const std::string& outputPath);

}  // namespace pelmar
