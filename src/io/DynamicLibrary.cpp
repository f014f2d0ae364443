#include "io/DynamicLibrary.h"

#include <dlfcn.h>

namespace pelmar {

DynamicLibrary::~DynamicLibrary() {
  if (!keep_) unload();
}

std::filesystem::path DynamicLibrary::modulePath(const std::filesystem::path& directory, const std::string& name) {
  return directory / (name + ".so");
}

bool DynamicLibrary::load(const std::filesystem::path& path) {
  unload();
  // RTLD_LOCAL: the module's C names (SetL0, ...) never clash with others.
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = ::dlerror();
    error_ = why != nullptr ? why : path.string() + ": cannot be loaded";
    return false;
  }
  error_.clear();
  return true;
}

void DynamicLibrary::unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
  return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr;
}

}  // namespace pelmar
