#include "points/NumberFormat.h"

#include <algorithm>
#include <charconv>

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

}  // namespace

void appendFixed(std::string& out, double value, int width, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxDecimals);
  char buffer[kFixedBufferSize];
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
