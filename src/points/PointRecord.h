#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// The text after a point's values, kept only when the reader is asked to
// (--keep-rest): held through a pointer, so that a record without it spends
// 8 bytes on it instead of a string's 32 (a million source points of an
// estimation stay in memory from reading to the last transformed line).
class RestText {
 public:
  RestText() = default;
  explicit RestText(std::string_view text) : text_(text.empty() ? nullptr : std::make_unique<std::string>(text)) {}
  RestText(const RestText& other) : RestText(other.view()) {}
  RestText(RestText&&) noexcept = default;
  RestText& operator=(const RestText& other) {
    if (this != &other) *this = RestText(other.view());
    return *this;
  }
  RestText& operator=(RestText&&) noexcept = default;
  ~RestText() = default;

  std::string_view view() const noexcept { return text_ ? std::string_view(*text_) : std::string_view(); }
  operator std::string_view() const noexcept { return view(); }  // NOLINT: read as text

 private:
  std::unique_ptr<std::string> text_;
};

// One point of an estimation's source or target file. Plane files give
// (name, Y easting, X northing); spatial files give (name, X, Y, Z) cartesian.
// All coordinates in metres.
struct PointRecord {
  std::string name;
  double Y = 0.0;
  double X = 0.0;
  double Z = 0.0;
  RestText rest{};  // the text after the values, when the reader was asked to keep it
};

using PointList = std::vector<PointRecord>;

}  // namespace pelmar
