#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "stored/TransformationSet.h"

namespace pelmar {

class JobHost;

// "Transformation.db" in the program directory.
inline constexpr const char* kTransformationFileName = "Transformation.db";

// The stored parameter sets and their file. The file is little-endian:
// version text ("2.0" when written), set count, then per set its name,
// description, type, thirteen doubles (rotations in degrees, scale factor,
// translations, auxiliary values a1…a6), both ellipsoids (name, a, b), the
// pre-translation and, from version 2.0 on, its points (count, then name
// and nine doubles each). Texts use the length-prefixed form of Ellip.db.
//
// Nothing the user stored is lost: a save goes through a temporary file and
// a rename; a file that reads as damaged is reported, and its bytes are
// kept beside it before the first save replaces it; a change is applied
// under an advisory lock to the file as it is on disk at that moment, so
// that two programs changing the file never undo each other.
class TransformationDatabase {
 public:
  using SetList = std::vector<TransformationSet>;

  explicit TransformationDatabase(std::filesystem::path path = {}) : path_(std::move(path)) {}

  const std::filesystem::path& path() const noexcept { return path_; }
  const SetList& sets() const noexcept { return sets_; }

  // Reads the file. A missing file gives an empty list without a message;
  // one that exists but cannot be read gives message 1504, and no change
  // will be written over it. A damaged file (a value that is not a finite
  // number counts as damage) keeps the sets read before the damage
  // and is told through `host` (message 1501: what was read, where the
  // bytes will be kept); true unless the file was damaged.
  bool Load(JobHost* host = nullptr);

  // Applies `change` to the list as the file holds it now: under the lock
  // (advisory, on "<file>.lock"; where none can be had, the change goes on
  // without it) the file is read again when its bytes differ from what this
  // object last read or wrote, `change` edits the list (returning false cancels), and the
  // list is written. False, with message 152 (or the change's own) given,
  // when nothing was written; the file is then as it was.
  bool Update(const std::function<bool(SetList&)>& change, JobHost& host);

  // The index of the first set of that name, byte for byte; -1 when none.
  int Find(std::string_view name) const;

  // Serialisation, for tests and for the lock-free read of a command.
  static std::string Encode(const SetList& sets);
  // Decodes as many sets as the data holds intact; false with `problem`
  // set when it is damaged.
  static bool Decode(const std::string& data, SetList& sets, std::string& problem);

  // Where the bytes of a damaged file would be kept now: "<file>.damaged",
  // or ".damaged.1", … when earlier backups exist.
  std::filesystem::path backupPath() const;
  // Where the last damaged file read will be kept (told with message 1501).
  const std::filesystem::path& pendingBackup() const noexcept { return backup_; }

 private:
  bool read(JobHost* host);

  std::filesystem::path path_;
  SetList sets_;
  std::string content_;  // the file's bytes as this object last read or wrote them
  bool damaged_ = false;     // the file on disk read as damaged and has not been kept yet
  bool unreadable_ = false;  // the file exists but cannot be read: never written over
  std::filesystem::path backup_;
};

// Whether a set other than sets[except] has this name, blanks around both
// names not counted (as the parameter-set dialog compares names).
bool NameTaken(const std::vector<TransformationSet>& sets, std::string_view name, int except = -1);

}  // namespace pelmar
