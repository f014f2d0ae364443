#pragma once

#include <filesystem>

namespace pelmar {

// An advisory lock (flock) on "<file>.lock" beside a shared file, held for
// the object's life. Every read-modify-write of a file that several
// processes change (Ellip.db, the settings files, Transformation.db) runs
// under it: the file itself is replaced by a rename, so it cannot carry the
// lock. Where no lock file can be made (a read-only folder) the work goes on
// unlocked, as nothing else can write there either.
class FileLock {
 public:
  explicit FileLock(const std::filesystem::path& file);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool held() const noexcept { return descriptor_ >= 0; }

 private:
  int descriptor_ = -1;
};

}  // namespace pelmar
