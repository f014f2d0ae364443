#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "text/TextForm.h"

namespace pelmar {

// Reads a text file line by line through a large buffer ("-": standard input). Lines may be of any
// length; the line break ("\n", or "\r\n" from files written on Windows) is
// not part of the line. The view returned by next() stays valid until the
// next call.
class LineReader {
 public:
  explicit LineReader(const std::filesystem::path& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The longest line read as a line; a longer one comes back as
  // kOverlongMarker, a line no reader parses, so that it is counted as
  // unreadable and the memory stays bounded.
  static constexpr std::size_t kMaxLineLength = std::size_t{1} << 20;
  static const std::string_view kOverlongMarker;

  bool isOpen() const noexcept { return file_ != nullptr; }
  // The path names something that is not a regular file (a device, a pipe,
  // a folder): not opened.
  bool notRegular() const noexcept { return notRegular_; }
  // The next line; a UTF-8 byte-order mark before the first is dropped.
  bool next(std::string_view& line);

  // 1-based number of the line last returned by next().
  long long lineNumber() const noexcept { return lineNumber_; }

  // True when reading stopped because of an input error rather than the end.
  bool failed() const noexcept { return failed_; }

  // Reads the file as delimited fields (a point file of the run's form):
  // each data line comes back blank-separated (see BlankSeparated), and a
  // first data line that is a header comes back as a comment.
  void setForm(const TextForm& form) { form_ = form; }

 private:
  bool nextRaw(std::string_view& line);
  bool fill();
  bool skipRestOfLine();

  std::FILE* file_ = nullptr;
  bool standardInput_ = false;
  bool notRegular_ = false;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  bool failed_ = false;
  long long lineNumber_ = 0;
  TextForm form_;
  std::string converted_;
  bool dataSeen_ = false;
};

}  // namespace pelmar
