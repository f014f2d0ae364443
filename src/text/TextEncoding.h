#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// Files the program writes hold Windows-1252 bytes (the degree sign is 0xB0),
// so that column widths count bytes; language tables and Qt use UTF-8.

// UTF-8 to Windows-1252; a character the code page lacks becomes "?"
// (counted in `replaced` when given). Bytes that are not valid UTF-8 are
// taken as Windows-1252 already, so a text mixing both comes out whole.
std::string utf8ToWindows1252(std::string_view text, std::size_t* replaced = nullptr);

// The other way, as tolerant: valid UTF-8 stays, any other byte is taken as
// Windows-1252 and converted.
std::string anyToUtf8(std::string_view text);

// Characters in `text`: a UTF-8 sequence counts one, as does any other byte.
std::size_t characterCount(std::string_view text) noexcept;

// Whether `text` holds a byte beyond ASCII.
bool hasHighBytes(std::string_view text) noexcept;

// Windows-1252 to UTF-8; the five undefined bytes map to U+FFFD.
std::string windows1252ToUtf8(std::string_view text);

// True when `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

// A text from a file (a name, a description) as UTF-8: as it is when it is
// well-formed UTF-8, else read wholly as Windows-1252.
std::string fileTextToUtf8(std::string_view text);

}  // namespace pelmar
