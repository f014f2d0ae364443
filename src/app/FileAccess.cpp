#include "app/FileAccess.h"

#include <sys/stat.h>
#include <unistd.h>

namespace pelmar {

std::string outputDirectory(const std::string& outputPath) {
  const std::size_t slash = outputPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return outputPath.substr(0, slash);
}

bool canWriteOutputDirectory(const std::string& outputPath) {
  const std::string directory = outputDirectory(outputPath);
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // Creating a file needs write and search permission on the directory.
  return ::access(directory.c_str(), W_OK | X_OK) == 0;
}

}  // namespace pelmar
