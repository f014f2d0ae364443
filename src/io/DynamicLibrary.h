#pragma once

#include <filesystem>
#include <string>

namespace pelmar {

// A run-time module loaded with dlopen, unloaded with the object unless it is
// told to stay.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // The module file of `name` in `directory`: name + ".so".
  static std::filesystem::path modulePath(const std::filesystem::path& directory, const std::string& name);

  bool load(const std::filesystem::path& path);
  void unload();
  bool loaded() const noexcept { return handle_ != nullptr; }
  void* symbol(const char* name) const;
  // Why the last load failed, from dlerror().
  const std::string& error() const noexcept { return error_; }
  // Keep the module in the process when this object goes.
  void keepLoaded() noexcept { keep_ = true; }

 private:
  void* handle_ = nullptr;
  bool keep_ = false;
  std::string error_;
};

}  // namespace pelmar
