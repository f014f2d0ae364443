#include "settings/EllipsoidParameters.h"

#include <cmath>

namespace pelmar {

AxesProblem CheckEllipsoidAxes(double a, double b) {
  if (!(std::isfinite(a) && std::isfinite(b) && a > 0.0 && b > 0.0 && b <= a)) return AxesProblem::Range;
  return (a - b) / a < kMaxFlattening ? AxesProblem::None : AxesProblem::Flattening;
}


double convertSecondParameter(double a, double value, SecondParameter from, SecondParameter to) {
  if (from == to) return value;
  // 1/f by way of f; an inverse flattening of 0 is a sphere.
  auto inverse = [](double x) { return x == 0.0 ? 0.0 : 1.0 / x; };
  if (from == SecondParameter::InverseFlattening) {
    return convertSecondParameter(a, inverse(value), SecondParameter::Flattening, to);
  }
  if (to == SecondParameter::InverseFlattening) {
    return inverse(convertSecondParameter(a, value, from, SecondParameter::Flattening));
  }
  // By way of b: b -> e² and b -> f are direct, e² and f go through b.
  double b = value;
  if (from == SecondParameter::EccentricitySquared) b = std::sqrt(a * a - a * a * value);
  if (from == SecondParameter::Flattening) b = a - a * value;
  double result = b;
  if (to == SecondParameter::EccentricitySquared) {
    result = from == SecondParameter::Flattening ? 1.0 - (1.0 - value) * (1.0 - value) : (a * a - b * b) / (a * a);
  } else if (to == SecondParameter::Flattening) {
    result = from == SecondParameter::EccentricitySquared ? 1.0 - std::sqrt(1.0 - value) : (a - b) / a;
  }
  if (to != SecondParameter::SemiMinorAxis && result < 0.0) result = 0.0;
  // No number (a = 0, e² above 1) is no value either: the field shows 0.
  return std::isfinite(result) ? result : 0.0;
}

}  // namespace pelmar
