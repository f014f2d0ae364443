#include "text/LineReader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "text/LineScanner.h"

namespace pelmar {

namespace {
constexpr std::size_t kChunk = 1 << 20;
}

const std::string_view LineReader::kOverlongMarker = "\x01 overlong line";

LineReader::LineReader(const std::filesystem::path& path) {
  // "-": standard input, for pipelines. Otherwise only a regular file: a
  // device or a pipe given by name would be read without end.
  standardInput_ = path == "-";
  if (standardInput_) {
    file_ = stdin;
    buffer_.resize(kChunk);
    return;
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    notRegular_ = ::stat(path.c_str(), &info) == 0;
    return;
  }
  file_ = std::fopen(path.c_str(), "rb");
  // A small file needs no megabyte of buffer (settings and grids are read
  // line by line too, many times in a run).
  buffer_.resize(std::min<std::size_t>(kChunk, static_cast<std::size_t>(info.st_size) + 256));
}

LineReader::~LineReader() {
  if (file_ != nullptr && !standardInput_) std::fclose(file_);
}

// Moves the unread tail to the front and reads more behind it, growing the
// buffer when a single line fills all of it.
bool LineReader::fill() {
  if (eof_ || file_ == nullptr) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() + kChunk);
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  end_ += got;
  if (got == 0) {
    eof_ = true;
    failed_ = std::ferror(file_) != 0;
    return false;
  }
  return true;
}

bool LineReader::skipRestOfLine() {
  for (;;) {
    const void* hit = std::memchr(buffer_.data() + begin_, '\n', end_ - begin_);
    if (hit != nullptr) {
      begin_ = static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.data()) + 1;
      return true;
    }
    begin_ = end_ = 0;  // drop what was read of it
    if (!fill()) return !failed_;
  }
}

bool LineReader::next(std::string_view& line) {
  if (!nextRaw(line)) return false;
  // A UTF-8 byte-order mark (editors on Windows write one) is not part of
  // the first point's name or of a section line.
  if (lineNumber_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  if (!form_.delimited()) return true;
  const std::string_view data = trimLeft(line);
  // Comments as in any point file; in a ';' file a line may start with the
  // delimiter (an empty name: unreadable).
  if (data.empty() || data.front() == '#' || (data.front() == ';' && form_.delimiter != ';')) return true;
  if (!dataSeen_ && IsHeaderLine(line, form_)) {
    dataSeen_ = true;
    converted_ = "# ";  // the column names, blank-separated: no point
    converted_ += BlankSeparated(line, form_);
  } else {
    dataSeen_ = true;
    converted_ = BlankSeparated(line, form_);
  }
  line = converted_;
  return true;
}

bool LineReader::nextRaw(std::string_view& line) {
  if (file_ == nullptr) return false;
  std::size_t scanned = begin_;
  for (;;) {
    const void* hit = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
    if (hit != nullptr) {
      const auto stop = static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.data());
      std::size_t length = stop - begin_;
      if (length > 0 && buffer_[begin_ + length - 1] == '\r') --length;
      line = std::string_view(buffer_.data() + begin_, length);
      begin_ = stop + 1;
      ++lineNumber_;
      return true;
    }
    const std::size_t pending = end_ - begin_;
    if (pending > kMaxLineLength) {
      // A line beyond 1 MiB is no point line: skip to its end, keeping only
      // a marker the readers cannot parse, so it is counted as unreadable.
      if (!skipRestOfLine()) return false;
      line = kOverlongMarker;
      ++lineNumber_;
      return true;
    }
    if (!fill()) {
      if (end_ == begin_) return false;
      // Last line without a line break.
      std::size_t length = end_ - begin_;
      if (buffer_[begin_ + length - 1] == '\r') --length;
      line = std::string_view(buffer_.data() + begin_, length);
      begin_ = end_;
      ++lineNumber_;
      return true;
    }
    scanned = begin_ + pending;
  }
}

}  // namespace pelmar
