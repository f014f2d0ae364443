#include "text/LineScanner.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace pelmar {

namespace {

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }

std::size_t countDigits(std::string_view text, std::size_t from) noexcept {
  std::size_t i = from;
  while (i < text.size() && isDigit(text[i])) ++i;
  return i - from;
}

// Decimal order of magnitude of a non-zero number written as
// digits[.digits][e[+-]digits]: positive for values of 1 and above.
long long decimalOrder(std::string_view number, std::size_t intDigits) noexcept {
  long long order = 0;
  std::size_t firstNonZero = 0;
  while (firstNonZero < number.size() && (number[firstNonZero] == '0' || number[firstNonZero] == '.')) ++firstNonZero;
  if (firstNonZero < intDigits) {
    order = static_cast<long long>(intDigits - firstNonZero);
  } else {
    order = -static_cast<long long>(firstNonZero - intDigits - 1);
  }
  const std::size_t e = number.find_first_of("eE");
  if (e != std::string_view::npos) {
    std::size_t k = e + 1;
    const bool negative = k < number.size() && number[k] == '-';
    if (k < number.size() && (number[k] == '-' || number[k] == '+')) ++k;
    long long exponent = 0;
    for (; k < number.size(); ++k) {
      exponent = std::min<long long>(exponent * 10 + (number[k] - '0'), 1'000'000'000LL);
    }
    order += negative ? -exponent : exponent;
  }
  return order;
}

}  // namespace

std::string_view trimLeft(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && isScanBlank(text[i])) ++i;
  return text.substr(i);
}

std::string_view trimBlanks(std::string_view text) noexcept {
  text = trimLeft(text);
  std::size_t n = text.size();
  while (n > 0 && isScanBlank(text[n - 1])) --n;
  return text.substr(0, n);
}

std::size_t parseRealPrefix(std::string_view text, double& value) noexcept {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t mantissaStart = i;
  const std::size_t intDigits = countDigits(text, i);
  i += intDigits;
  std::size_t fracDigits = 0;
  if (i < text.size() && text[i] == '.') {
    fracDigits = countDigits(text, i + 1);
    if (intDigits + fracDigits > 0) i += 1 + fracDigits;
  }
  if (intDigits + fracDigits == 0) return 0;
  // The exponent marker and its sign are taken even when no digits follow
  // ("12e" reads as 12 with nothing left over), as the C library's scanf does.
  std::size_t numberEnd = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t expDigits = countDigits(text, j);
    i = j + expDigits;
    if (expDigits > 0) numberEnd = i;
  }
  double magnitude = 0.0;
  const char* first = text.data() + mantissaStart;
  const char* last = text.data() + numberEnd;
  const auto [ptr, ec] = std::from_chars(first, last, magnitude, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // from_chars reports overflow and underflow alike; only an overflow is
    // refused, an underflow reads as zero as strtod's result would.
    if (decimalOrder(text.substr(mantissaStart, numberEnd - mantissaStart), intDigits) > 0) return 0;
    magnitude = 0.0;
  } else if (ec != std::errc() || ptr != last) {
    return 0;
  }
  value = negative ? -magnitude : magnitude;
  return i;
}

std::size_t parseIntegerPrefix(std::string_view text, long long& value) noexcept {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits = countDigits(text, i);
  if (digits == 0) return 0;
  // from_chars accepts a leading minus but not a plus.
  const std::size_t start = text[0] == '+' ? 1 : 0;
  long long parsed = 0;
  const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + i + digits, parsed);
  if (ec != std::errc()) return 0;
  value = parsed;
  return i + digits;
}

bool LineScanner::word(std::string_view& out) noexcept {
  std::string_view text = trimLeft(rest_);
  std::size_t n = 0;
  while (n < text.size() && !isScanBlank(text[n])) ++n;
  if (n == 0) return false;
  out = text.substr(0, n);
  rest_ = text.substr(n);
  return true;
}

bool LineScanner::word(std::string& out) {
  std::string_view view;
  if (!word(view)) return false;
  out.assign(view);
  return true;
}

bool LineScanner::real(double& out) noexcept {
  std::string_view text = trimLeft(rest_);
  double value = 0.0;
  const std::size_t used = parseRealPrefix(text, value);
  // A number ends its word, or a signed number follows at once (the fixed
  // layout writes "  0-30" for 0° −30′): "10,5995" (a decimal comma) or
  // "12a" is no number at all, not 10 or 12 with something left over.
  if (used == 0 || (used < text.size() && !isScanBlank(text[used]) && text[used] != '-' && text[used] != '+')) {
    return false;
  }
  out = value;
  rest_ = text.substr(used);
  return true;
}

bool LineScanner::integer(int& out) noexcept {
  std::string_view text = trimLeft(rest_);
  long long value = 0;
  const std::size_t used = parseIntegerPrefix(text, value);
  if (used == 0 || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return false;
  out = static_cast<int>(value);
  rest_ = text.substr(used);
  return true;
}

bool ParseWholeNumber(std::string_view text, double& value) {
  text = trimBlanks(text);
  double number = 0.0;
  if (text.empty() || parseRealPrefix(text, number) != text.size() || !std::isfinite(number)) return false;
  // The scanner takes a bare exponent marker ("9e") as a point-file reader
  // must; a number typed whole ends in a digit or its decimal point.
  if (const char last = text.back(); last == 'e' || last == 'E' || last == '+' || last == '-') return false;
  value = number;
  return true;
}

std::string_view RestAfterWords(std::string_view line, int words) noexcept {
  LineScanner scanner(line);
  std::string_view word;
  for (int i = 0; i < words && scanner.word(word); ++i) {
  }
  return trimBlanks(scanner.rest());
}

}  // namespace pelmar
