#pragma once

#include <string>
#include <string_view>
#include <type_traits>

// The one place where text becomes numbers: a locale-free scanner with the
// semantics of sscanf for the conversions the point-file layouts use.
//
//   %s  -> word():    skips white space, takes the next run of non-blank bytes
//   %lf -> real():    skips white space, takes [+-]digits[.digits][(e|E)[+-]digits]
//                     (a bare "e" or "e+" after the digits is taken and ignored, as
//                     the C library's scanf does); unlike scanf the number must
//                     end the word or be followed by a signed one: "10,5995"
//                     and "12a" are no numbers, "0-30" is 0 and -30
//   %d  -> integer(): skips white space, takes [+-]digits
//
// Unlike sscanf the scanner never reads "nan", "inf" or hexadecimal numbers:
// a surveyor's file has no such values, so a line holding one is malformed.
// A real that overflows a double is rejected for the same reason; one that
// underflows reads as zero. A conversion that fails leaves the position where
// it was, as sscanf stops at the first failing conversion.
namespace pelmar {

inline constexpr bool isScanBlank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Removes leading (and, for trimBlanks, trailing) blanks and tabs and other
// white space.
std::string_view trimLeft(std::string_view text) noexcept;
std::string_view trimBlanks(std::string_view text) noexcept;

// Parses a locale-free decimal number at the start of `text` (no leading white
// space skipped). Returns the number of characters used, 0 when there is no
// number there or it overflows.
std::size_t parseRealPrefix(std::string_view text, double& value) noexcept;

// Reads a whole text, blanks around it aside, as one finite number: typed
// values of dialogs and options ("6.378.137", "6378137 m", "9e" are none).
bool ParseWholeNumber(std::string_view text, double& value);

// Parses [+-]digits at the start of `text`. Returns the characters used, 0
// when there are no digits or the value does not fit in a long long.
std::size_t parseIntegerPrefix(std::string_view text, long long& value) noexcept;

// The text after the first `words` blank-separated words of `line` (the
// name and the values a job read), without the blanks around it: what the
// job carries into its output with --keep-rest.
std::string_view RestAfterWords(std::string_view line, int words) noexcept;

class LineScanner {
 public:
  explicit LineScanner(std::string_view line) noexcept : rest_(line) {}

  bool word(std::string_view& out) noexcept;
  bool word(std::string& out);
  bool real(double& out) noexcept;
  bool integer(int& out) noexcept;

  // What has not been consumed yet.
  std::string_view rest() const noexcept { return rest_; }

 private:
  std::string_view rest_;
};

// Scans the fields in order, choosing the conversion by the field's type
// (std::string_view or std::string: %s, double: %lf, int: %d), and returns how
// many were converted before the first failure, as sscanf does.
template <class... Fields>
int scanFields(std::string_view line, Fields&... fields) {
  LineScanner scanner(line);
  int converted = 0;
  auto one = [&](auto& field) {
    using T = std::remove_cvref_t<decltype(field)>;
    bool ok = false;
    if constexpr (std::is_same_v<T, double>) {
      ok = scanner.real(field);
    } else if constexpr (std::is_same_v<T, int>) {
      ok = scanner.integer(field);
    } else {
      static_assert(std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>,
                    "scanFields takes std::string, std::string_view, double or int");
      ok = scanner.word(field);
    }
    if (ok) ++converted;
    return ok;
  };
  (one(fields) && ...);
  return converted;
}

}  // namespace pelmar
