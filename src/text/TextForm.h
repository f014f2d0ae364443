#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmar {

// How a point file is written as text: blank-separated columns (the
// program's own layout, padded to width) or delimited fields as spreadsheets
// and GIS programs write them ("TP1,52.2103,10.5995").
struct TextForm {
  char delimiter = '\0';      // '\0' blanks; ',', ';' or '\t'
  bool decimalComma = false;  // reading: "52,21" in a ';' or tab file is 52.21
  bool byFileName = false;    // each file as its name asks (see FormOfFileName)
  bool utf8 = false;          // writing: UTF-8 throughout, else Windows-1252 throughout
  bool delimited() const noexcept { return delimiter != '\0'; }
};

// The forms of this run's point files, read and written. The command line
// sets both from --delimiter, the desktop program from the files' extensions
// (.csv, .tsv) for the run; only point-file readers and writers take them,
// never reports, settings or language tables. One run at a time.
// A reader or writer asks for the form of its own file.
TextForm PointInputForm(const std::filesystem::path& path);
TextForm PointOutputForm(const std::filesystem::path& path);
void SetPointForms(const TextForm& input, const TextForm& output) noexcept;
// Whether this run writes its reports and point files in UTF-8 (else
// Windows-1252).
bool OutputInUtf8() noexcept;
// Characters of names that Windows-1252 lacks, written as "?" since the
// last call (the run's notice).
void NoteReplacedCharacters(std::size_t count) noexcept;
std::size_t TakeReplacedCharacters() noexcept;

// The column names of an angle written as degrees, minutes and seconds:
// "B" gives "B_d B_m B_s".
std::string DmsColumns(std::string_view angle);
// The columns of a geographic point file: "name B L h", the angles split
// into degrees, minutes and seconds when `dms`.
std::string GeographicColumns(bool dms);

// The form a file's name asks for (the desktop program): ".csv" comma- and
// ".tsv" tab-delimited, letter case aside; blank-separated otherwise.
TextForm FormOfFileName(const std::filesystem::path& path);

// Sets the forms of a run's point files for its lifetime (the desktop
// program: {.byFileName = true} for both); the blank-separated form is back
// after it.
class ScopedPointForms {
 public:
  ScopedPointForms(const TextForm& input, const TextForm& output) noexcept { SetPointForms(input, output); }
  ~ScopedPointForms() { SetPointForms({}, {}); }
  ScopedPointForms(const ScopedPointForms&) = delete;
  ScopedPointForms& operator=(const ScopedPointForms&) = delete;
};

// A delimited field keeps its blanks through the blank-separated readers as
// this byte ("Mühle Nord" is one name); writers turn it back.
inline constexpr char kFieldBlank = '\x1F';

// A delimited line as the blank-separated readers take it: fields split at
// the delimiter (a field in double quotes may hold it), blanks around a
// field dropped and inside it kept as kFieldBlank, decimal commas made
// points when the form asks, empty fields dropped.
std::string BlankSeparated(std::string_view line, const TextForm& form);
// Whether a delimited line is a header: no field after the first holds a
// digit ("name,lat,lon,h"; "A;52,1;10,2" is a point whose decimal commas
// were not announced, and is told as unreadable).
bool IsHeaderLine(std::string_view line, const TextForm& form);
// Blank-separated lines (the program's own, each with its break) as
// delimited ones: the words joined by the delimiter, no padding, a field
// holding the delimiter or a quote in double quotes; comment lines dropped.
void AppendDelimited(std::string_view text, const TextForm& form, std::string& out);

}  // namespace pelmar
