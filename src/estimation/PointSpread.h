#pragma once

#include <array>
#include <string>
#include <vector>

namespace pelmar {

// How a set of points fills space about a reference point: the principal
// RMS extents (square roots of the eigenvalues of the mean second-moment
// matrix Σ(p − r)(p − r)ᵀ/n), largest first, in the points' length unit.
// The plane estimations give two coordinates (the third is 0).
struct PointSpread {
  std::array<double, 3> extent{};  // principal RMS extents, largest first
  double magnitude = 0.0;          // largest absolute coordinate of any point
};

PointSpread MeasureSpread(const std::vector<std::array<double, 3>>& points, const std::array<double, 3>& about);

// What a transformation may need of its identical points, judged from their
// source coordinates about the point the adjustment reduces them to:
//  - at one place: the largest extent is below 1e-10 of the largest
//    coordinate (with coordinates of 5e6 m, 0.5 mm; beyond that the
//    differences have fewer digits than a result needs) — no scale and no
//    rotation is determined;
//  - on one line: the second extent is below 1e-5 of the first, that is the
//    eigenvalues below 1e-10 of each other, the limit that the equilibrated
//    normal equations put on their pivots; the transformation may turn
//    about that line or stretch across it.
// Both limits are relative, so a network at UTM northings of 5e6 m or in
// millimetres is judged alike. Not judged: whether the target points say
// anything (a target at one place gives the scale 0 — a result, though a
// strange one).
enum class SpreadNeed {
  None,      // translations only
  Extent,    // a scale or the plane similarity: points not all at one place
  Plane,     // rotations or the affine: points not all on one line
};

enum class SpreadVerdict { Sufficient, AtOnePlace, OnOneLine };

SpreadVerdict JudgeSpread(const PointSpread& spread, SpreadNeed need);

// The largest coordinate magnitude an estimation takes: 100 000 km, far
// beyond any coordinate of a point on the Earth (a zone-prefixed easting is
// some 3e7 m), so a larger one is a damaged file or a wrong unit, not a
// survey. Below it the reports' 15-character columns (5 decimals) keep a
// blank between them.
inline constexpr double kLargestCoordinate = 1e8;

// The first of the values that is not finite or beyond kLargestCoordinate;
// -1 when all are usable.
int FirstUnusableCoordinate(const std::vector<std::array<double, 3>>& points);

}  // namespace pelmar
