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

// Creates the temporary file beside the replacement's target, with the
// replaced file's permissions and owner (or the usual ones for a new file);
// its name in `temporary`. Returns the descriptor, or −1.
int OpenReplacementTemporary(const Replacement& replacement, std::string& temporary);

// Writes `content` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`: readers see the old file or the new one, never a
// half-written one, and a failed write leaves the old file whole. Follows
// PrepareReplacement; false when it found a problem (in `problem` when
// given, else 0) or a write failed.
bool replaceFileContent(const std::filesystem::path& path, std::string_view content, int* problem = nullptr);

// Reads a whole file; false when it cannot be opened or read.
bool readFileContent(const std::filesystem::path& path, std::string& content);

}  // namespace pelmar
