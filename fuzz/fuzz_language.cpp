// Language tables, and each of their texts as a message pattern: the
// formatter must never crash and never emit bytes it did not format.
#include <cstring>
#include <limits>
#include <string>

#include "FuzzSupport.h"
#include "text/MessageFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  LanguageTable table;
  std::string error;
  table.parse(content, "Fuzz.lng", error);
  static const MessageArgs args = {"name", 12, -3.25, 1e308, std::numeric_limits<double>::quiet_NaN(), 0, "x"};
  for (int id : table.ids()) {
    const std::string out = formatMessage(table.text(id), args);
    if (out.size() > table.text(id).size() * 400 + 4096) __builtin_trap();
  }
  const std::string out = formatMessage(content, args);
  if (out.size() > size * 400 + 4096) __builtin_trap();
  return 0;
}
