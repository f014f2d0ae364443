#pragma once

namespace pelmar {

// What the second parameter of an ellipsoid holds besides a (metres).
enum class SecondParameter { SemiMinorAxis = 0, EccentricitySquared = 1, Flattening = 2, InverseFlattening = 3 };

// Converts `value` from one meaning to another for the semi-major axis `a`:
// b (metres), e² = (a² − b²)/a², f = (a − b)/a, 1/f (0 for a sphere, as
// PROJ's rf and EPSG write it). A negative e² or f that a
// conversion yields is replaced by 0, and so is a result that is no number.
double convertSecondParameter(double a, double value, SecondParameter from, SecondParameter to);

// Whether a and b (metres) make an ellipsoid a conversion can use: both
// finite, 0 < b ≤ a (a sphere is one), and a flattening below 1/100 (the
// Earth's is 1/298; a larger one is a mistyped b).
enum class AxesProblem { None, Range, Flattening };
inline constexpr double kMaxFlattening = 0.01;
AxesProblem CheckEllipsoidAxes(double a, double b);

}  // namespace pelmar
