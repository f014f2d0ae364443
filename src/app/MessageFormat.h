#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

using MessageArgs = std::vector<std::string>;

// Fills the printf-style placeholders of a language string with `args`, in
// order. Every conversion (%s, %d, %i, %u, %f, %c, with flags, width and
// precision) takes the next argument as text, already formatted by the caller,
// padded to the width ("-" aligns left); "%%" is a percent sign. A missing
// argument leaves an empty field; nothing is ever read beyond `args`, so a
// translated text can never crash the program.
std::string formatMessage(std::string_view pattern, const MessageArgs& args);

}  // namespace pelmar
