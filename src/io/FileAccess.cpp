#include "io/FileAccess.h"

#include "app/JobHost.h"
#include "app/StringIds.h"

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

int OutputFolderProblem(const std::string& outputPath) {
  if (IsStandardStream(outputPath)) return 0;
  const std::string directory = outputDirectory(outputPath);
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return str::FolderMissing;
  return canWriteOutputDirectory(outputPath) ? 0 : str::NoWriteAccess;
}

namespace {

// The same file: equivalent when both exist; otherwise the same absolute,
// normalised spelling (an output that does not exist yet).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code error;
  if (std::filesystem::exists(a, error) && std::filesystem::exists(b, error)) {
    return std::filesystem::equivalent(a, b, error);
  }
  return std::filesystem::absolute(a, error).lexically_normal() == std::filesystem::absolute(b, error).lexically_normal();
}

}  // namespace

namespace {

std::vector<std::filesystem::path>& programFiles() {
  static std::vector<std::filesystem::path> files;
  return files;
}

}  // namespace

std::vector<std::filesystem::path> ListProgramFiles(const std::filesystem::path& programDirectory,
                                                    const std::filesystem::path& userFiles) {
  static constexpr const char* kNames[] = {
      "Transformation.db",      "Ellip.db",      "PelmarGeneral.ini",      "HeaderInfo.dat", "pelmar", "pelmar-cli",
      "Transformation.db.sum",  "Ellip.db.sum",  "Transformation.db.lock", "Ellip.db.lock",  "PelmarGeneral.ini.lock"};
  std::vector<std::filesystem::path> files;
  for (const std::filesystem::path& folder : {programDirectory, userFiles}) {
    if (folder.empty()) continue;
    for (const char* name : kNames) files.push_back(folder / name);
    std::error_code error;
    for (const std::filesystem::path& directory : {folder, folder / "config"}) {
      for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        const std::filesystem::path& path = it->path();
        const std::string extension = path.extension().string();
        const bool inConfig = directory != folder;
        if ((inConfig && (extension == ".ini" || extension == ".lock")) ||
            (!inConfig && (extension == ".lng" || extension == ".so" || extension == ".sum" || extension == ".lock"))) {
          files.push_back(path);
        }
      }
      error.clear();
    }
  }
  return files;
}

void SetProgramFiles(std::vector<std::filesystem::path> files) { programFiles() = std::move(files); }

void AddProgramFile(const std::filesystem::path& file) {
  if (!file.empty()) programFiles().push_back(file);
}

bool CheckDistinctFiles(const std::vector<std::filesystem::path>& inputs,
                        const std::vector<std::filesystem::path>& outputs, JobHost& host) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (outputs[i].empty() || IsStandardStream(outputs[i])) continue;
    for (const std::filesystem::path& own : programFiles()) {
      if (sameFile(outputs[i], own)) {
        host.message(str::OwnFileAsOutput, {outputs[i].string()});
        return false;
      }
    }
    for (const std::filesystem::path& input : inputs) {
      if (!input.empty() && !IsStandardStream(input) && sameFile(outputs[i], input)) {
        host.message(str::SameFileTwice, {outputs[i].string()});
        return false;
      }
    }
    for (std::size_t j = i + 1; j < outputs.size(); ++j) {
      if (!outputs[j].empty() && sameFile(outputs[i], outputs[j])) {
        host.message(str::SameFileTwice, {outputs[i].string()});
        return false;
      }
    }
  }
  return true;
}

}  // namespace pelmar
