#include "text/MessageFormat.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "text/NumberFormat.h"

namespace pelmar {

namespace {

std::string shortest(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

double asReal(const MessageArg& arg) {
  if (const auto* d = std::get_if<double>(&arg.value())) return *d;
  if (const auto* i = std::get_if<long long>(&arg.value())) return static_cast<double>(*i);
  return 0.0;
}

long long asInteger(const MessageArg& arg) {
  if (const auto* i = std::get_if<long long>(&arg.value())) return *i;
  if (const auto* d = std::get_if<double>(&arg.value())) {
    return std::isfinite(*d) && std::fabs(*d) < 9.2e18 ? static_cast<long long>(*d) : 0;
  }
  return 0;
}

// A damaged or hostile language string cannot ask for more: widths and
// precisions beyond these are cut to them (a width of 2³² used to allocate
// gigabytes).
constexpr std::size_t kMaxWidth = 256;
constexpr int kMaxPrecision = 60;

// A real as %e / %g would show it, with C-locale digits; only what was
// formatted (a failed conversion used to copy the whole buffer, stack
// bytes included, into the text).
std::string realText(double value, char conversion, int precision) {
  char buffer[512];
  const auto format = conversion == 'e' ? std::chars_format::scientific : std::chars_format::general;
  if (conversion == 'g' && precision == 0) precision = 1;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  if (result.ec != std::errc()) return shortest(value);
  return std::string(buffer, result.ptr);
}

// Reads the digits at `j` as a number no larger than `limit`.
std::size_t cappedNumber(std::string_view pattern, std::size_t& j, std::size_t limit) {
  std::size_t value = 0;
  for (; j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9'; ++j) {
    value = std::min(limit, value * 10 + static_cast<std::size_t>(pattern[j] - '0'));
  }
  return value;
}

// "{one|other}": the first form when the number last filled in is 1 (or
// -1), the second otherwise; without a number before it, the second.
// Returns the position after the closing brace, or `i` when the braces do
// not form a choice (then they are text).
std::size_t appendPluralChoice(std::string_view pattern, std::size_t i, long long count, std::string& out) {
  const std::size_t bar = pattern.find('|', i);
  const std::size_t close = pattern.find('}', i);
  if (bar == std::string_view::npos || close == std::string_view::npos || bar > close) return i;
  out += (count == 1 || count == -1) ? pattern.substr(i + 1, bar - i - 1) : pattern.substr(bar + 1, close - bar - 1);
  return close + 1;
}

}  // namespace

std::string MessageArg::text() const {
  if (const auto* s = std::get_if<std::string>(&value_)) return *s;
  if (const auto* i = std::get_if<long long>(&value_)) return std::to_string(*i);
  return shortest(std::get<double>(value_));
}

std::string formatMessage(std::string_view pattern, const MessageArgs& args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  std::size_t next = 0;
  long long lastCount = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '{') {
      if (const std::size_t after = appendPluralChoice(pattern, i, lastCount, out); after != i) {
        i = after - 1;
        continue;
      }
    }
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    if (pattern[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool left = false, plus = false, zero = false;
    for (; j < pattern.size() && std::strchr("-+ #0", pattern[j]) != nullptr; ++j) {
      left |= pattern[j] == '-';
      plus |= pattern[j] == '+';
      zero |= pattern[j] == '0';
    }
    const std::size_t width = cappedNumber(pattern, j, kMaxWidth);
    int precision = -1;
    if (j < pattern.size() && pattern[j] == '.') {
      ++j;
      precision = static_cast<int>(cappedNumber(pattern, j, kMaxPrecision));
    }
    while (j < pattern.size() && std::strchr("hlLqjzt", pattern[j]) != nullptr) ++j;
    if (j >= pattern.size() || std::strchr("sdiufFgGeEc", pattern[j]) == nullptr) {
      out += c;  // not a conversion: keep the text as written
      continue;
    }
    const char conversion = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[j])));
    const MessageArg empty(std::string{});
    const MessageArg& arg = next < args.size() ? args[next] : empty;
    const bool missing = next >= args.size();
    ++next;
    i = j;

    std::string field;
    bool numeric = false;
    if (missing) {
      field.clear();
    } else if (conversion == 's' || conversion == 'c' || std::holds_alternative<std::string>(arg.value())) {
      // A text stands as given, whatever conversion the pattern names; one
      // filled in for %d still counts for a "{one|other}" choice.
      field = arg.text();
      if (conversion == 'd' || conversion == 'i' || conversion == 'u') {
        long long count = 0;
        const auto r = std::from_chars(field.data(), field.data() + field.size(), count);
        lastCount = r.ec == std::errc() && r.ptr == field.data() + field.size() ? count : 0;
      }
      if (precision >= 0 && field.size() > static_cast<std::size_t>(precision)) field.resize(precision);
    } else if (conversion == 'd' || conversion == 'i' || conversion == 'u') {
      lastCount = asInteger(arg);
      field = std::to_string(lastCount);
      numeric = true;
    } else if (conversion == 'f') {
      appendFixed(field, asReal(arg), 0, precision < 0 ? 6 : precision);
      numeric = true;
    } else {
      field = realText(asReal(arg), conversion, precision < 0 ? 6 : precision);
      numeric = true;
    }
    if (numeric && plus && !field.empty() && field[0] != '-') field.insert(field.begin(), '+');
    const std::size_t pad = width > field.size() ? width - field.size() : 0;
    if (left) {
      out += field;
      out.append(pad, ' ');
    } else if (zero && numeric && pad > 0) {
      const std::size_t sign = (!field.empty() && (field[0] == '-' || field[0] == '+')) ? 1 : 0;
      out.append(field, 0, sign);
      out.append(pad, '0');
      out.append(field, sign);
    } else {
      out.append(pad, ' ');
      out += field;
    }
  }
  return out;
}

}  // namespace pelmar
