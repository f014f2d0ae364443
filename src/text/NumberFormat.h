#pragma once

#include <string>
#include <string_view>

// The one place where numbers become text. Everything here is locale-free and
// produces exactly the bytes that printf gives in the C locale for the named
// conversion, so files written by the program never depend on LC_NUMERIC.
namespace pelmar {

// Appends `value` as printf("%<width>.<decimals>f") would: right-aligned in at
// least `width` characters, rounded to `decimals` places (0–20 are meaningful;
// other values are clamped to that range).
void appendFixed(std::string& out, double value, int width, int decimals);

// Appends `value` as printf("%<width>d") would.
void appendInt(std::string& out, long long value, int width);

// Appends `text` right-aligned in at least `width` characters, as "%<width>s".
void appendRight(std::string& out, std::string_view text, int width);

// "%<width>.<decimals>f" as a new string.
std::string formatFixed(double value, int width, int decimals);

}  // namespace pelmar
