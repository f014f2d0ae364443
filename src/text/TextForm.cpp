#include "text/TextForm.h"

#include <atomic>
#include <cctype>

#include "text/LineScanner.h"

namespace pelmar {

namespace {
TextForm inputForm, outputForm;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The fields of a delimited line, unquoted and trimmed.
template <class Visit>
void forEachField(std::string_view line, char delimiter, Visit&& visit) {
  std::size_t i = 0;
  while (i <= line.size()) {
    std::string field;
    while (i < line.size() && line[i] != delimiter && blank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
      for (++i; i < line.size(); ++i) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            ++i;
          } else {
            ++i;
            break;
          }
        } else {
          field += line[i];
        }
      }
      while (i < line.size() && line[i] != delimiter) ++i;
    } else {
      const std::size_t start = i;
      while (i < line.size() && line[i] != delimiter) ++i;
      field = std::string(trimBlanks(line.substr(start, i - start)));
    }
    visit(field);
    ++i;  // past the delimiter (or the end)
  }
}
}  // namespace

TextForm FormOfFileName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  TextForm form;
  if (extension == ".csv") form.delimiter = ',';
  if (extension == ".tsv") form.delimiter = '\t';
  return form;
}

std::string DmsColumns(std::string_view angle) {
  const std::string a(angle);
  return a + "_d " + a + "_m " + a + "_s";
}

TextForm PointInputForm(const std::filesystem::path& path) {
  return inputForm.byFileName ? FormOfFileName(path) : inputForm;
}
TextForm PointOutputForm(const std::filesystem::path& path) {
  if (!outputForm.byFileName) return outputForm;
  TextForm form = FormOfFileName(path);
  form.utf8 = outputForm.utf8;
  return form;
}

bool OutputInUtf8() noexcept { return outputForm.utf8; }

namespace {
std::atomic<std::size_t> replacedCharacters{0};
}
void NoteReplacedCharacters(std::size_t count) noexcept { replacedCharacters += count; }
std::size_t TakeReplacedCharacters() noexcept { return replacedCharacters.exchange(0); }
void SetPointForms(const TextForm& input, const TextForm& output) noexcept {
  inputForm = input;
  outputForm = output;
}

std::string BlankSeparated(std::string_view line, const TextForm& form) {
  std::string out;
  forEachField(line, form.delimiter, [&](std::string& field) {
    if (field.empty()) return;
    for (char& c : field) {
      if (blank(c)) c = kFieldBlank;
      if (c == ',' && form.decimalComma && form.delimiter != ',') c = '.';
    }
    if (!out.empty()) out += ' ';
    out += field;
  });
  return out;
}

bool IsHeaderLine(std::string_view line, const TextForm& form) {
  bool first = true, digits = false, any = false;
  forEachField(line, form.delimiter, [&](std::string& field) {
    if (first) {
      first = false;
      return;
    }
    any = any || !field.empty();
    for (char c : field) digits = digits || (c >= '0' && c <= '9');
  });
  return any && !digits;
}

void AppendDelimited(std::string_view text, const TextForm& form, std::string& out) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string_view data = trimLeft(line);
    if (!data.empty() && data.front() == '#') continue;
    bool firstField = true;
    std::size_t i = 0;
    while (i < line.size()) {
      while (i < line.size() && blank(line[i])) ++i;
      if (i == line.size()) break;
      const std::size_t start = i;
      while (i < line.size() && !blank(line[i])) ++i;
      std::string field(line.substr(start, i - start));
      for (char& c : field) c = c == kFieldBlank ? ' ' : c;
      if (!firstField) out += form.delimiter;
      firstField = false;
      if (field.find(form.delimiter) != std::string::npos || field.find('"') != std::string::npos) {
        std::string quoted = "\"";
        for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        field = quoted + "\"";
      }
      out += field;
    }
    out += '\n';
  }
}

}  // namespace pelmar
