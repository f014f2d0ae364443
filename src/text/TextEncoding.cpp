#include "text/TextEncoding.h"

#include <cstdint>
#include <cstring>

namespace pelmar {

namespace {

// Code points of the bytes 0x80–0x9F in Windows-1252 (0 where undefined);
// 0xA0–0xFF are the same as in Latin-1.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `i`; returns its length, 0 when malformed.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  }
  if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

char toWindows1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == c && c != 0) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string utf8ToWindows1252(std::string_view text, std::size_t* replaced) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(text, i, c);
    if (length == 0) {
      out += text[i++];  // already a single-byte character
      continue;
    }
    const char byte = toWindows1252(c);
    if (byte == '?' && c != '?' && replaced != nullptr) ++*replaced;
    out += byte;
    i += length;
  }
  return out;
}

std::string anyToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(text, i, c);
    if (length == 0) {
      out += windows1252ToUtf8(text.substr(i++, 1));
      continue;
    }
    out += text.substr(i, length);
    i += length;
  }
  return out;
}

std::size_t characterCount(std::string_view text) noexcept {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(text, i, c);
    i += length == 0 ? 1 : length;
  }
  return count;
}

bool hasHighBytes(std::string_view text) noexcept {
  // Eight bytes at a time: every line of a report and an output file is asked.
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    if ((word & kHighBits) != 0) return true;
  }
  for (; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return true;
  }
  return false;
}

std::string windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char byte : text) {
    const auto b = static_cast<unsigned char>(byte);
    if (b < 0x80) {
      out += byte;
    } else if (b < 0xA0) {
      const char32_t c = kHighControls[b - 0x80];
      appendUtf8(out, c != 0 ? c : 0xFFFD);
    } else {
      appendUtf8(out, b);
    }
  }
  return out;
}

bool isValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(text, i, c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string fileTextToUtf8(std::string_view text) {
  return isValidUtf8(text) ? std::string(text) : windows1252ToUtf8(text);
}

}  // namespace pelmar
