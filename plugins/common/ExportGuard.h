#pragma once

#include <initializer_list>
#include <limits>

namespace pelmar::plugin {

// The result codes both computation libraries share.
inline constexpr int kOk = 1;
inline constexpr int kException = -2000;

// Runs an export's body: an exception inside becomes kException, and unless
// the body succeeds every real output becomes NaN, so that no caller can take
// a failed computation for a number.
template <class Body>
int guarded(std::initializer_list<double*> outputs, Body&& body) noexcept {
  int status = kException;
  try {
    status = body();
  } catch (...) {
    status = kException;
  }
  if (status != kOk) {
    for (double* out : outputs) {
      if (out != nullptr) *out = std::numeric_limits<double>::quiet_NaN();
    }
  }
  return status;
}

}  // namespace pelmar::plugin
