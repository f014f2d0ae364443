#pragma once

#include <filesystem>
#include <string_view>

namespace pelmar {

// How a file is replaced: a symbolic link is followed to the file it names,
// which is replaced (the link stays a link); what is there must be a regular
// file the user may write, and its permissions and owner are kept. A device,
// a pipe or a folder is never replaced by a regular file (as root, writing
// to /dev/null used to replace the device node).
struct Replacement {
  std::filesystem::path target;  // the file replaced: the path, or where its links lead
  bool exists = false;
  unsigned mode = 0;             // permissions of the replaced file
  unsigned owner = 0, group = 0;
  int problem = 0;  // 0, or the message: NotRegularFile, ReadOnlyFile, OtherUsersFile (each naming the path)
};
Replacement PrepareReplacement(const std::filesystem::path& path);

// The new content of a replaced file while it is written: a file without a
// name in the target's folder (O_TMPFILE), so that a killed process leaves
// nothing behind; it gets a name only when committed, and at once the
// target's by a rename. Where the file system has no unnamed files, a named
// temporary ".pelmar-XXXXXX" stands in, which SIGTERM, SIGHUP and (unless
// the program handles it) SIGINT remove. Permissions and owner are those of
// the replaced file, or the usual ones for a new file.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ~ReplacementFile() { discard(); }
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  bool create(const Replacement& replacement);
  int descriptor() const noexcept { return fd_; }
  // Puts the content in the target's place; false when that failed (the
  // old file then stays). Closes the descriptor either way.
  bool commit();
  void discard();

 private:
  int fd_ = -1;
  std::string named_;  // the fallback's name, empty for an unnamed file
  std::filesystem::path target_;
};

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`: readers see the old file or the new one, never a
// half-written one, and a failed write leaves the old file whole. Follows
// PrepareReplacement; false when it found a problem (in `problem` when
// given, else 0) or a write failed.
// Removes the temporaries ".pelmar-<pid>-<n>" in `folder` whose writing
// process is gone (a run killed between the temporary's link and its
// rename left 39 MB for good). Every replacement does it in its folder, and
// start-up in the program's folders.
void RemoveDeadTemporaries(const std::filesystem::path& folder);

bool replaceFileContent(const std::filesystem::path& path, std::string_view content, int* problem = nullptr);

// Reads a whole file; false when it cannot be opened or read.
bool readFileContent(const std::filesystem::path& path, std::string& content);

}  // namespace pelmar
