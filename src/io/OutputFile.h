#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "io/FileReplace.h"
#include "text/TextForm.h"

namespace pelmar {

// An output file written through a temporary file beside it: commit()
// renames it over the target, so the target is either the old file or the
// complete new one. An object destroyed without commit() removes its
// temporary file: a job that fails half-way leaves nothing half-written.
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file beside the file to be replaced (see
  // PrepareReplacement: a link is followed, a device, pipe, read-only or
  // other user's file refused); false when that is refused or the directory
  // does not take it. "-" writes to standard output instead.
  bool open(const std::filesystem::path& path);
  // Why open failed: the message id for `path`, or `otherwise` when it was
  // no refusal but a failure to create the file.
  int failureMessage(int otherwise) const noexcept { return problem_ != 0 ? problem_ : otherwise; }
  bool isOpen() const noexcept { return file_ != nullptr; }

  // Writes a point file (or a report: not delimited) in the run's form:
  // delimited, with `columns` (the names, blank-separated) as its first
  // line, and wholly in UTF-8 or Windows-1252 (form.utf8), names converted
  // as they come. Blank-separated output keeps the program's layout; a blank
  // inside a delimited name read (kFieldBlank) becomes "_" there, as a blank
  // would split the name.
  void setForm(const TextForm& form, std::string_view columns);

  // Whole lines, each with its break.
  void write(std::string_view text);
  // Flushes, renames over the target; false when any write or the rename failed.
  bool commit();
  // Drops what was written.
  void discard();

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  ReplacementFile temporary_;
  bool failed_ = false;
  bool standardOutput_ = false;
  int problem_ = 0;
  TextForm form_;
  bool encoded_ = false;  // a point file or report: one encoding throughout (form_.utf8)
  std::string header_;    // delimited: written before the first line
  std::string encodedText_;
  void encode(std::string_view line);
  std::string converted_;
  // A file (not standard output) is written by a thread of its own, a block
  // at a time: the copy into the kernel took a tenth of a large run on the
  // thread that formats the lines.
  class Writer;
  std::unique_ptr<Writer> writer_;
  std::string block_;
  void put(std::string_view text);
  // Waits for the writer; false when a block was not written whole.
  bool drain();
};

}  // namespace pelmar
