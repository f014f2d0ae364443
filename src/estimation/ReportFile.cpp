#include "estimation/ReportFile.h"

#include <algorithm>

#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "pelmar/Version.h"

namespace pelmar {

namespace {

constexpr int kBoxWidth = 77;

// The program's name in block letters; the version stands in columns 21 to
// 36 of the sixth line (column 1 is the frame).
constexpr const char* kArt[5] = {
    "                  ####   #####  #      #   #   ###   ####                    ",
    "                  #   #  #      #      ## ##  #   #  #   #                   ",
    "                  ####   ####   #      # # #  #####  ####                    ",
    "                  #      #      #      #   #  #   #  #  #                    ",
    "                  #      #####  #####  #   #  #   #  #   #                   ",
};

std::string framed(std::string_view inside) { return "|" + std::string(inside) + "|\n"; }

}  // namespace

std::string ProgramVersionText() { return PELMAR_VERSION; }

ReportFile::ReportFile(const LanguageTable& table, std::string headerText, int withHeader, int withDate)
    : table_(table), headerText_(std::move(headerText)), withHeader_(withHeader), withDate_(withDate) {}

bool ReportFile::open(const std::filesystem::path& path) {
  TextForm form;
  form.utf8 = OutputInUtf8();  // one encoding throughout, as the point files
  file_.setForm(form, "");
  return file_.open(path);
}

bool ReportFile::close() { return file_.commit(); }

void ReportFile::write(std::string_view text) {
  // A name read from a delimited file keeps its blanks in the report.
  if (text.find(kFieldBlank) == std::string_view::npos) return file_.write(text);
  std::string shown(text);
  for (char& c : shown) c = c == kFieldBlank ? ' ' : c;
  file_.write(shown);
}

void ReportFile::writeText(int id, const MessageArgs& args) {
  const std::string text = table_.format(id, args);
  // ASCII is the same in both: the test table's line per point needs no copy.
  if (hasHighBytes(text)) {
    write(utf8ToWindows1252(text));
  } else {
    write(text);
  }
}

void ReportFile::writeFormat(std::string_view format, const MessageArgs& args) { write(formatMessage(format, args)); }

void ReportFile::WriteBanner() {
  write(" " + std::string(kBoxWidth, '_') + "\n");
  write(framed(std::string(kBoxWidth, ' ')));
  for (const char* line : kArt) write(framed(line));
  write(framed(std::string(19, ' ') + formatMessage("%16s", {ProgramVersionText()}) + std::string(42, ' ')));
  for (int id : {str::ReportBanner1, str::ReportBanner2, str::ReportBanner3, str::ReportBanner4}) {
    writeText(id);
    write("\n");
  }
  write(framed(std::string(kBoxWidth, '_')));
  write("\n");
}

void ReportFile::WriteTitleBox(std::initializer_list<int> titleIds) {
  write(" " + std::string(kBoxWidth, '_') + "\n");
  write(framed(std::string(kBoxWidth, ' ')));
  for (int id : titleIds) writeText(id);
  write(framed(std::string(kBoxWidth, '_')));
}

void ReportFile::WriteHeaderInfo() {
  if (withHeader_ == 0 && withDate_ == 0) {
    write("\n");
    return;
  }
  if (withHeader_ != 0) {
    separator();
    write(headerText_);  // as typed: never taken as a format
    write("\n");
    separator();
  } else {
    separator();
  }
  if (withDate_ != 0) {
    std::tm now = fixedTime_;
    if (!hasFixedTime_) {
      const std::time_t t = std::time(nullptr);
      localtime_r(&t, &now);
    }
    char text[256];
    const std::string format = table_.text(str::ReportDateFormat);
    const std::size_t length = std::strftime(text, sizeof text, format.c_str(), &now);
    write(utf8ToWindows1252(std::string_view(text, length)));
    separator();
  }
}

void ReportFile::section(int titleId, int ruleLength) {
  writeText(titleId);
  rule(ruleLength);
}

namespace {

// `length` times `c` and `breaks` line breaks; on the stack, as the test
// table writes a dashed line under each of a million points.
void writeRepeated(ReportFile& report, char c, int length, int breaks) {
  const std::size_t n = static_cast<std::size_t>(std::max(length, 0));
  char buffer[128];
  if (n + 2 > sizeof buffer) {
    report.write(std::string(n, c) + std::string(static_cast<std::size_t>(breaks), '\n'));
    return;
  }
  std::fill_n(buffer, n, c);
  std::fill_n(buffer + n, breaks, '\n');
  report.write(std::string_view(buffer, n + static_cast<std::size_t>(breaks)));
}

}  // namespace

void ReportFile::separator() { writeRepeated(*this, '_', 79, 2); }

void ReportFile::rule(int length) { writeRepeated(*this, '=', length, 2); }

void ReportFile::dashed(int length) { writeRepeated(*this, '-', length, 1); }

}  // namespace pelmar
