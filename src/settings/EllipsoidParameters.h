#pragma once

namespace pelmar {

// What the second parameter of an ellipsoid holds besides a (metres).
enum class SecondParameter { SemiMinorAxis = 0, EccentricitySquared = 1, Flattening = 2 };

// Converts `value` from one meaning to another for the semi-major axis `a`:
// b (metres), e² = (a² − b²)/a², f = (a − b)/a. A negative e² or f that a
// conversion yields is replaced by 0, and so is a result that is no number.
double convertSecondParameter(double a, double value, SecondParameter from, SecondParameter to);

}  // namespace pelmar
