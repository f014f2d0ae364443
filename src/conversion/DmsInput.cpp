#include "conversion/DmsInput.h"

#include <cmath>

#include "conversion/ProjectionLibrary.h"

namespace pelmar {

bool ValidDms(double d, double m, double s) {
  // Seconds of exactly 60 are taken: other programs print them for a value
  // that rounds up, and the sum is still right.
  return d == std::trunc(d) && m == std::trunc(m) && std::fabs(d) <= 360.0 && std::fabs(m) < 60.0 &&
         std::fabs(s) <= 60.0;
}

bool JoinDms(ProjectionLibrary& library, double d, double m, double s, double& value, DmsAngle* echo) {
  if (!ValidDms(d, m, s)) return false;
  const bool negative = std::signbit(d) || m < 0.0 || s < 0.0;
  double joined = 0.0;
  library.GMSDEZ(static_cast<int>(std::fabs(d)), static_cast<int>(std::fabs(m)), std::fabs(s), joined);
  value = negative ? -joined : joined;
  if (echo != nullptr) {
    *echo = {static_cast<int>(std::fabs(d)), static_cast<int>(std::fabs(m)), std::fabs(s)};
    if (negative) {
      if (echo->degrees != 0) {
        echo->degrees = -echo->degrees;
      } else if (echo->minutes != 0) {
        echo->minutes = -echo->minutes;
      } else {
        echo->seconds = -echo->seconds;
      }
    }
  }
  return true;
}

}  // namespace pelmar
