#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pelmar {

// One value for a placeholder of a language string: a text or a number.
class MessageArg {
 public:
  MessageArg(std::string text) : value_(std::move(text)) {}
  MessageArg(const char* text) : value_(std::string(text)) {}
  MessageArg(std::string_view text) : value_(std::string(text)) {}
  MessageArg(double number) : value_(number) {}
  MessageArg(int number) : value_(static_cast<long long>(number)) {}
  MessageArg(long long number) : value_(number) {}
  MessageArg(long number) : value_(static_cast<long long>(number)) {}
  MessageArg(unsigned long number) : value_(static_cast<long long>(number)) {}

  const std::variant<std::string, double, long long>& value() const noexcept { return value_; }
  // The value as %s shows it (numbers in their shortest exact form).
  std::string text() const;

 private:
  std::variant<std::string, double, long long> value_;
};

using MessageArgs = std::vector<MessageArg>;

// Fills the printf-style placeholders of a language string with `args`, in
// order, locale-free (a decimal point, whatever the user's language):
// %s takes any value as text; %d and %i an integer (a real is truncated);
// %f, %e and %g a real (an integer is converted) with the given precision;
// flags "-" (left-aligned), "+" and "0" and a width apply as in printf; "%%"
// is a percent sign. A missing argument leaves an empty field, and nothing is
// read beyond `args`; widths are cut to 256 and precisions to 60, so a
// translated text can never crash the program or fill its memory.
// "{one|other}" chooses a grammatical number by the integer (%d) filled in
// last: "%d {point lies|points lie}".
std::string formatMessage(std::string_view pattern, const MessageArgs& args);

}  // namespace pelmar
