#include "io/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/StringIds.h"

namespace pelmar {

Replacement PrepareReplacement(const std::filesystem::path& path) {
  Replacement r;
  r.target = path;
  std::error_code error;
  // Follow the chain of links by hand: a link to a file that does not exist
  // yet names where the new file goes.
  for (int depth = 0; depth < 40 && std::filesystem::is_symlink(r.target, error); ++depth) {
    const std::filesystem::path next = std::filesystem::read_symlink(r.target, error);
    if (error) break;
    r.target = next.is_absolute() ? next : r.target.parent_path() / next;
  }
  struct stat info {};
  if (::stat(r.target.c_str(), &info) != 0) return r;  // a new file
  r.exists = true;
  r.mode = info.st_mode & 07777;
  r.owner = info.st_uid;
  r.group = info.st_gid;
  if (!S_ISREG(info.st_mode)) {
    r.problem = str::NotRegularFile;
  } else if ((info.st_mode & 0222) == 0 || ::access(r.target.c_str(), W_OK) != 0) {
    // No write permission for anyone is a file kept deliberately, for root too.
    r.problem = str::ReadOnlyFile;
  } else if (info.st_uid != ::geteuid() && ::geteuid() != 0) {
    // The new file would be the user's own: only root can hand it back.
    r.problem = str::OtherUsersFile;
  }
  return r;
}

namespace {

// Names of fallback temporaries, for the signal handler: fixed slots, so
// that the handler touches no allocator.
constexpr int kSlots = 32;
constexpr std::size_t kNameSize = 4096;
char gNames[kSlots][kNameSize];
std::atomic<bool> gUsed[kSlots];

void removeTemporaries(int signal) {
  for (int i = 0; i < kSlots; ++i) {
    if (gUsed[i].load()) ::unlink(gNames[i]);
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void installHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int s : {SIGTERM, SIGHUP, SIGINT}) {
      struct sigaction old {};
      ::sigaction(s, nullptr, &old);
      // A handler the program set (Ctrl+C stopping a job between points) stays.
      if (old.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = removeTemporaries;
      ::sigemptyset(&action.sa_mask);
      ::sigaction(s, &action, nullptr);
    }
  });
}

int registerName(const std::string& name) {
  if (name.size() >= kNameSize) return -1;
  installHandlers();
  for (int i = 0; i < kSlots; ++i) {
    bool expected = false;
    if (!gUsed[i].load() && gUsed[i].compare_exchange_strong(expected, true)) {
      gUsed[i].store(false);  // not visible to the handler until the name is whole
      std::memcpy(gNames[i], name.c_str(), name.size() + 1);
      gUsed[i].store(true);
      return i;
    }
  }
  return -1;  // more than 32 at once: still removed by discard, not by a signal
}

void unregisterName(const std::string& name) {
  for (int i = 0; i < kSlots; ++i) {
    if (gUsed[i].load() && name == gNames[i]) gUsed[i].store(false);
  }
}

// A short name in the folder that no file has yet: names of up to 255 bytes
// stay usable as targets, since the temporary's name is not built from them.
std::string freshName(const std::filesystem::path& folder) {
  static std::atomic<unsigned> counter{0};
  char text[64];
  std::snprintf(text, sizeof text, ".pelmar-%d-%u", static_cast<int>(::getpid()), counter.fetch_add(1));
  return (folder / text).string();
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
  return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

}  // namespace

void RemoveDeadTemporaries(const std::filesystem::path& folder) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    int pid = 0;
    unsigned n = 0;
    char rest = 0;
    if (std::sscanf(name.c_str(), ".pelmar-%d-%u%c", &pid, &n, &rest) != 2 || pid <= 0) continue;
    if (name != ".pelmar-" + std::to_string(pid) + "-" + std::to_string(n)) continue;  // exactly our own form
    // Only a writer that is gone: a live process (or one of another user,
    // which kill cannot probe) may still be renaming it.
    if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    std::error_code kind;
    if (it->is_directory(kind)) continue;  // ours are files
    std::error_code ignored;
    std::filesystem::remove(it->path(), ignored);
  }
}

bool ReplacementFile::create(const Replacement& replacement) {
  discard();
  target_ = replacement.target;
  const std::filesystem::path folder = folderOf(target_);
  RemoveDeadTemporaries(folder);
  // PELMAR_NAMED_TEMPORARIES=1 takes the fallback, for its tests.
  static const bool namedOnly = std::getenv("PELMAR_NAMED_TEMPORARIES") != nullptr;
  fd_ = namedOnly ? -1 : ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    // No unnamed files here (an old kernel, some network file systems).
    std::string pattern = (folder / ".pelmar-XXXXXX").string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    named_ = pattern;
    registerName(named_);
  }
  if (replacement.exists) {
    ::fchmod(fd_, replacement.mode);
    if (::geteuid() == 0) (void)::fchown(fd_, replacement.owner, replacement.group);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  return true;
}

bool ReplacementFile::commit() {
  if (fd_ < 0) return false;
  bool ok = true;
  std::string name = named_;
  if (name.empty()) {
    // Give the unnamed file a fresh name, then the target's.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      name = freshName(folderOf(target_));
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
      if (errno != EEXIST) {
        name.clear();
        break;
      }
      name.clear();
    }
    ok = !name.empty();
  }
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (ok) ok = std::rename(name.c_str(), target_.c_str()) == 0;
  if (!ok && !name.empty()) ::unlink(name.c_str());
  if (!named_.empty()) unregisterName(named_);
  named_.clear();
  return ok;
}

void ReplacementFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!named_.empty()) {
    ::unlink(named_.c_str());
    unregisterName(named_);
    named_.clear();
  }
}

bool replaceFileContent(const std::filesystem::path& path, std::string_view content, int* problem) {
  const Replacement replacement = PrepareReplacement(path);
  if (problem != nullptr) *problem = replacement.problem;
  if (replacement.problem != 0) return false;
  ReplacementFile file;
  if (!file.create(replacement)) return false;
  const int fd = file.descriptor();
  bool ok = true;
  std::size_t written = 0;
  while (ok && written < content.size()) {
    const ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  // Settings and databases cannot be made again: on disk before the rename.
  ok = ok && ::fsync(fd) == 0;
  if (!ok) return false;  // the destructor drops it
  return file.commit();
}

bool readFileContent(const std::filesystem::path& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

}  // namespace pelmar
