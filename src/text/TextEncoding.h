#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// Files the program writes hold Windows-1252 bytes (the degree sign is 0xB0),
// so that column widths count bytes; language tables and Qt use UTF-8.

// UTF-8 to Windows-1252; a character the code page lacks becomes "?". Bytes
// that are not valid UTF-8 are taken as Windows-1252 already.
std::string utf8ToWindows1252(std::string_view text);

// Windows-1252 to UTF-8; the five undefined bytes map to U+FFFD.
std::string windows1252ToUtf8(std::string_view text);

// True when `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

}  // namespace pelmar
