#include "text/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace pelmar {

namespace {

constexpr int kMaxDecimals = 20;

// DBL_MAX printed with 20 decimals needs 309 + 1 + 20 characters plus a sign.
constexpr int kFixedBufferSize = 400;

void appendPadded(std::string& out, const char* first, const char* last, int width) {
  const auto length = static_cast<int>(last - first);
  if (width > length) out.append(static_cast<std::size_t>(width - length), ' ');
  out.append(first, last);
}

// Writes |value| with `decimals` places when that can be done exactly with
// integer arithmetic: |value|·10^decimals below 2^53, and not within two
// units in the last place of a rounding tie (where only the exact binary
// value can decide, as printf does). Returns the end, or nullptr.
char* fastFixed(char* buffer, double value, int decimals) {
  static constexpr double kPowers[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  if (decimals > 9 || !std::isfinite(value)) return nullptr;
  const double magnitude = std::fabs(value);
  const double scaled = magnitude * kPowers[decimals];  // one rounding: the power is exact
  if (!(scaled < 9007199254740992.0)) return nullptr;
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (std::fabs(fraction - 0.5) <= 2.0 * std::ldexp(scaled, -52) + 1e-300) return nullptr;
  auto digits = static_cast<unsigned long long>(whole) + (fraction > 0.5 ? 1 : 0);
  char text[24];
  char* end = std::to_chars(text, text + sizeof text, digits).ptr;
  auto length = static_cast<int>(end - text);
  char* out = buffer;
  if (std::signbit(value)) *out++ = '-';
  if (length <= decimals) {  // 0.00ddd
    *out++ = '0';
    if (decimals > 0) *out++ = '.';
    for (int i = length; i < decimals; ++i) *out++ = '0';
    for (int i = 0; i < length; ++i) *out++ = text[i];
    return out;
  }
  for (int i = 0; i < length - decimals; ++i) *out++ = text[i];
  if (decimals > 0) {
    *out++ = '.';
    for (int i = length - decimals; i < length; ++i) *out++ = text[i];
  }
  return out;
}

}  // namespace

void appendFixed(std::string& out, double value, int width, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxDecimals);
  char buffer[kFixedBufferSize];
  if (char* end = fastFixed(buffer, value, decimals)) {
    appendPadded(out, buffer, end, width);
    return;
  }
  // std::to_chars with an explicit precision is specified to give printf's
  // result in the C locale (including "-0.000", "nan", "-inf" and ties).
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  appendPadded(out, buffer, result.ptr, width);
}

void appendInt(std::string& out, long long value, int width) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  appendPadded(out, buffer, result.ptr, width);
}

void appendRight(std::string& out, std::string_view text, int width) {
  appendPadded(out, text.data(), text.data() + text.size(), width);
}

std::string formatFixed(double value, int width, int decimals) {
  std::string text;
  appendFixed(text, value, width, decimals);
  return text;
}

}  // namespace pelmar
