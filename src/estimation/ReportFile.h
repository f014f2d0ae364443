#pragma once

#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "text/MessageFormat.h"
#include "io/OutputFile.h"

namespace pelmar {

class LanguageTable;

// The program version as the banner shows it: "major.minor.build.revision".
std::string ProgramVersionText();

// The writer every estimation report goes through: the framed banner, the
// title box, the header-information block, section rules and lines. Language
// strings are written in Windows-1252, so that column widths count bytes.
// The report appears under its name only when close() succeeds.
class ReportFile {
 public:
  // The header text as the settings hold it (Windows-1252 bytes) and the
  // "UserDefinedHeader" and "IncludeDate" switches.
  ReportFile(const LanguageTable& table, std::string headerText, int withHeader, int withDate);

  bool open(const std::filesystem::path& path);
  int failureMessage(int otherwise) const noexcept { return file_.failureMessage(otherwise); }
  bool close();

  void WriteBanner();
  // The title box; the language strings are complete framed lines.
  void WriteTitleBox(std::initializer_list<int> titleIds);
  void WriteHeaderInfo();

  // Raw bytes, written unchanged.
  void write(std::string_view text);
  // A language string, formatted and converted to Windows-1252.
  void writeText(int id, const MessageArgs& args = {});
  // A report format such as "%15s%15.5f%15.5f\n" (point names are bytes).
  void writeFormat(std::string_view format, const MessageArgs& args);

  // Section title (language string) and its rule of `ruleLength` "=".
  void section(int titleId, int ruleLength);
  void separator();
  void rule(int length);
  void dashed(int length);

  // For tests: the time the date line shows.
  void setTime(std::tm time) { fixedTime_ = time; hasFixedTime_ = true; }

 private:
  const LanguageTable& table_;
  std::string headerText_;
  int withHeader_;
  int withDate_;
  OutputFile file_;
  std::tm fixedTime_{};
  bool hasFixedTime_ = false;
};

}  // namespace pelmar
