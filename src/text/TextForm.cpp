#include "text/TextForm.h"

#include <atomic>
#include <cctype>
#include <vector>

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

std::string GeographicColumns(bool dms) {
  return dms ? "name " + DmsColumns("B") + " " + DmsColumns("L") + " h" : "name B L h";
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

// "52,21": digits around one comma, a sign before them at most.
bool decimalCommaNumber(const std::string& field) {
  std::size_t i = field.empty() || (field[0] != '-' && field[0] != '+') ? 0 : 1;
  const std::size_t comma = field.find(',');
  if (comma == std::string::npos || comma == i || comma + 1 == field.size()) return false;
  for (; i < field.size(); ++i) {
    if (i != comma && !(field[i] >= '0' && field[i] <= '9')) return false;
  }
  return true;
}

std::string BlankSeparated(std::string_view line, const TextForm& form) {
  std::vector<std::string> fields;
  forEachField(line, form.delimiter, [&](std::string& field) { fields.push_back(std::move(field)); });
  while (!fields.empty() && fields.back().empty()) fields.pop_back();  // trailing empty fields say nothing
  // A point needs its name, and a name that reads as a comment cannot be one:
  // the line is then unreadable (a lone kFieldBlank parses as no point).
  if (fields.empty()) return {};
  if (fields[0].empty() || fields[0][0] == '#' || fields[0][0] == ';') return std::string(1, kFieldBlank);
  std::string out;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    std::string& field = fields[f];
    // An empty field keeps its place: a word that is no number, so that the
    // values after it do not move into its column.
    if (field.empty()) field = std::string(1, kFieldBlank);
    // Decimal commas only in the values, never in a name or a remark.
    if (f > 0 && form.decimalComma && form.delimiter != ',' && decimalCommaNumber(field)) {
      field[field.find(',')] = '.';
    }
    for (char& c : field) {
      if (blank(c)) c = kFieldBlank;
    }
    if (!out.empty()) out += ' ';
    out += field;
  }
  return out;
}

bool IsHeaderLine(std::string_view line, const TextForm& form) {
  bool first = true, numeric = false, any = false;
  forEachField(line, form.delimiter, [&](std::string& field) {
    if (first) {
      first = false;
      return;
    }
    any = any || !field.empty();
    // A value starts with a digit, a sign or a point ("52,1" too); a column
    // name ("B1", "lat") with a letter.
    const std::size_t i = !field.empty() && (field[0] == '-' || field[0] == '+') ? 1 : 0;
    numeric = numeric || (i < field.size() && ((field[i] >= '0' && field[i] <= '9') || field[i] == '.'));
  });
  return any && !numeric;
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
      // The fixed layout glues a signed number to the one before ("  0-30"
      // for 0° −30′): two fields. Only values, never a name or a code
      // ("TP12-3").
      const bool value = !firstField && field.find_first_not_of("0123456789.+-") == std::string::npos;
      for (std::size_t k = 1; value && k < field.size(); ++k) {
        if ((field[k] == '-' || field[k] == '+') && field[k - 1] >= '0' && field[k - 1] <= '9') {
          if (!firstField) out += form.delimiter;
          firstField = false;
          out += field.substr(0, k);
          field.erase(0, k);
          k = 0;
        }
      }
      if (field == std::string(1, kFieldBlank)) field.clear();  // an empty field read
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
