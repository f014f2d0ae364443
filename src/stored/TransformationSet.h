#pragma once

#include <array>
#include <string>
#include <vector>

#include "settings/EllipsoidDatabase.h"

namespace pelmar {

// An identical point kept with a set: source and target coordinates as the
// estimating run read them (file order), and its residuals in the order the
// run produced them (for the cartesian runs: second, first, third coordinate).
struct TransformationSetPoint {
  std::string name;
  std::array<double, 3> source{};
  std::array<double, 3> target{};
  std::array<double, 3> residuals{};
  std::array<double, 2> unused{};  // never stored; 0 after loading
};

// One estimated or hand-made parameter set.
//   type 0: rigorous spatial Helmert (rotation matrix), type 1: linearised,
//   type 2: ellipsoidal.
// Rotations in degrees, translations in metres, scale as the factor itself.
// For types 0 and 1 the auxiliary values hold the reduction of a centred run:
// a1, a2, a3 the source centroid taken with the second, first and third
// coordinate; a4, a5, a6 the target centroid added to the first, second and
// third written value; all 0 for a run without centring.
struct TransformationSet {
  virtual ~TransformationSet() = default;

  int type = 0;
  std::array<double, 3> rotation{};     // degrees, about the first, second, third axis of the model
  std::array<double, 3> translation{};  // metres
  double scale = 1.0;
  EllipsoidRecord sourceEllipsoid;
  EllipsoidRecord targetEllipsoid;
  std::array<double, 3> preTranslation{};
  std::array<double, 6> auxiliary{};
  std::string name;
  std::string description;
  std::vector<TransformationSetPoint> points;
};

// The type-0 mapping (full rotation matrix) and the type-1 mapping
// (linearised rotation, scale correction scale − 1) of a point line's three
// numbers (q1, q2, q3) to the three numbers written (o1, o2, o3). Note the
// order: o1 belongs to the second coordinate, o2 to the first.
std::array<double, 3> MapType0(const TransformationSet& set, double q1, double q2, double q3);
std::array<double, 3> MapType1(const TransformationSet& set, double q1, double q2, double q3);

}  // namespace pelmar
