#include "app/MessageFormat.h"

#include <cstring>

namespace pelmar {

std::string formatMessage(std::string_view pattern, const MessageArgs& args) {
  std::string out;
  out.reserve(pattern.size() + 32);
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
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
    bool left = false;
    while (j < pattern.size() && std::strchr("-+ #0", pattern[j]) != nullptr) left |= pattern[j++] == '-';
    std::size_t width = 0;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') width = width * 10 + (pattern[j++] - '0');
    if (j < pattern.size() && pattern[j] == '.') {
      ++j;
      while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') ++j;
    }
    while (j < pattern.size() && std::strchr("hlLqjzt", pattern[j]) != nullptr) ++j;
    if (j >= pattern.size() || std::strchr("sdiufgecx", pattern[j]) == nullptr) {
      out += c;  // not a conversion: keep the text as written
      continue;
    }
    const std::string arg = next < args.size() ? args[next] : std::string();
    ++next;
    const std::size_t pad = width > arg.size() ? width - arg.size() : 0;
    if (!left) out.append(pad, ' ');
    out += arg;
    if (left) out.append(pad, ' ');
    i = j;
  }
  return out;
}

}  // namespace pelmar
