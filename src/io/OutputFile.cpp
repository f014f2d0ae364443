#include "io/OutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <thread>

#include "app/BoundedQueue.h"

#include "io/FileAccess.h"
#include "io/FileReplace.h"
#include "text/TextEncoding.h"

namespace pelmar {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
}

class OutputFile::Writer {
 public:
  explicit Writer(std::FILE* file) : file_(file), thread_([this] { run(); }) {}
  ~Writer() { finish(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void push(std::string block) {
    if (!queue_.push(std::move(block))) failed_ = true;
  }
  // Takes the blocks off without writing them (a file being dropped).
  void abandon() {
    failed_ = true;
    finish();
  }
  // Waits until every block pushed is written; false when one was not whole.
  bool finish() {
    queue_.close();
    if (thread_.joinable()) thread_.join();
    return !failed_;
  }

 private:
  void run() {
    while (std::optional<std::string> block = queue_.pop()) {
      if (!failed_ && std::fwrite(block->data(), 1, block->size(), file_) != block->size()) failed_ = true;
    }
  }
  std::FILE* file_;
  BoundedQueue<std::string> queue_{4};  // at most 4 blocks in flight
  std::atomic<bool> failed_{false};
  std::thread thread_;  // last: it starts once the rest is there
};

OutputFile::OutputFile() = default;
OutputFile::~OutputFile() { discard(); }

void OutputFile::put(std::string_view text) {
  if (writer_ == nullptr) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
    return;
  }
  // A block goes when the text would not fit beside it (no reallocation
  // copying it again); a text of a block or more goes as it is.
  if (!block_.empty() && block_.size() + text.size() > kBufferSize) {
    writer_->push(std::move(block_));
    block_ = std::string();
  }
  if (text.size() >= kBufferSize) {
    writer_->push(std::string(text));
    return;
  }
  if (block_.capacity() < kBufferSize) block_.reserve(kBufferSize);
  block_ += text;
}

bool OutputFile::drain() {
  if (writer_ == nullptr) return true;
  if (!block_.empty()) writer_->push(std::move(block_));
  block_ = std::string();
  const bool ok = writer_->finish();
  writer_.reset();
  return ok;
}

bool OutputFile::open(const std::filesystem::path& path) {
  discard();
  path_ = path;
  failed_ = false;
  problem_ = 0;
  if (IsStandardStream(path)) {
    // "-": standard output, written as it comes (a pipe keeps nothing back).
    file_ = stdout;
    standardOutput_ = true;
    return true;
  }
  standardOutput_ = false;
  const Replacement replacement = PrepareReplacement(path);
  problem_ = replacement.problem;
  if (problem_ != 0) return false;
  if (!temporary_.create(replacement)) return false;
  // The stream has its own descriptor; the temporary keeps one to commit by.
  const int fd = ::dup(temporary_.descriptor());
  file_ = fd < 0 ? nullptr : ::fdopen(fd, "wb");
  if (file_ == nullptr) {
    if (fd >= 0) ::close(fd);
    temporary_.discard();
    return false;
  }
  std::setvbuf(file_, nullptr, _IOFBF, kBufferSize);
  try {
    writer_ = std::make_unique<Writer>(file_);
  } catch (const std::exception&) {
    writer_.reset();  // no thread to be had: written on this one, as it comes
  }
  return true;
}

void OutputFile::setForm(const TextForm& form, std::string_view columns) {
  form_ = form;
  encoded_ = true;
  header_.clear();
  if (form.delimited()) AppendDelimited(std::string(columns) + "\n", form, header_);
}

void OutputFile::write(std::string_view text) {
  if (file_ == nullptr || text.empty()) return;
  if (form_.delimited()) {
    converted_ = std::move(header_);
    header_.clear();
    AppendDelimited(text, form_, converted_);
    text = converted_;
  } else if (text.find(kFieldBlank) != std::string_view::npos) {
    converted_ = text;
    for (char& c : converted_) c = c == kFieldBlank ? '_' : c;
    text = converted_;
  }
  if (encoded_ && hasHighBytes(text)) {
    encodedText_.clear();
    while (!text.empty()) {
      const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
      encode(text.substr(0, end));
      text.remove_prefix(end);
    }
    text = encodedText_;
  }
  put(text);
}

// One line in the file's one encoding, whatever its name was read in. The
// layouts pad names to widths counted in bytes; a name of multi-byte UTF-8
// characters came out narrower than its column, so a right-aligned line
// (one that starts with blanks) gets the missing blanks in front.
void OutputFile::encode(std::string_view line) {
  if (!hasHighBytes(line)) {
    encodedText_ += line;
    return;
  }
  std::size_t replaced = 0;
  std::string out = form_.utf8 ? anyToUtf8(line) : utf8ToWindows1252(line, &replaced);
  NoteReplacedCharacters(replaced);
  if (!form_.delimited() && !line.empty() && line.front() == ' ') {
    const std::size_t narrower = line.size() - characterCount(line);
    encodedText_.append(narrower, ' ');
  }
  encodedText_ += out;
}

bool OutputFile::commit() {
  if (file_ == nullptr) return false;
  if (!header_.empty()) {  // no point written: the header alone
    const std::string header = std::move(header_);
    header_.clear();
    put(header);
  }
  if (!drain()) failed_ = true;
  // No fsync: a job's output can be made again, and the rename still makes
  // it appear whole or not at all. Files the user cannot recreate (settings,
  // databases) go through replaceFileContent, which does flush to disk.
  bool ok = !failed_ && std::fflush(file_) == 0;
  if (standardOutput_) {
    file_ = nullptr;
    return ok;
  }
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    temporary_.discard();
    return false;
  }
  return temporary_.commit();
}

void OutputFile::discard() {
  if (writer_ != nullptr) {
    writer_->abandon();
    writer_.reset();
  }
  block_ = std::string();
  if (file_ != nullptr) {
    if (standardOutput_) {
      std::fflush(file_);  // what went out cannot be called back
    } else {
      std::fclose(file_);
    }
    file_ = nullptr;
  }
  temporary_.discard();
}

}  // namespace pelmar
