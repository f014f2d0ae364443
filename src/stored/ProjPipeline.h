#pragma once

// Results as PROJ operations: what `cct` runs to reproduce a stored set or an
// estimation (without the residual distribution), and the way back from a
// PROJ Helmert step or pipeline to a stored set.
//
// Axis order is PROJ's throughout: x y z for cartesian coordinates, easting
// northing for plane ones, longitude latitude height (degrees, metres) for
// geographic ones. Numbers are written in the shortest form that reads back
// to the same double, so an operation reproduces the result to rounding.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "settings/EllipsoidDatabase.h"

namespace pelmar {

class ProjectionLibrary;
struct TransformationSet;

using ProjVec3 = std::array<double, 3>;
using ProjMatrix3 = std::array<ProjVec3, 3>;  // rows: output axes

// An affine map o = M·q + T of cartesian coordinates.
struct AffineMap {
  ProjMatrix3 M{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  ProjVec3 T{};
};

ProjVec3 Apply(const AffineMap& map, const ProjVec3& q);

// The affine map that `map` (a callable ProjVec3 → ProjVec3) is, from its
// values at the origin and 1e6 m along each axis: exact to rounding for a
// map that is affine.
template <class Map>
AffineMap SampleAffine(Map&& map) {
  constexpr double kReach = 1e6;
  AffineMap affine;
  affine.T = map(ProjVec3{});
  for (int j = 0; j < 3; ++j) {
    ProjVec3 q{};
    q[j] = kReach;
    const ProjVec3 o = map(q);
    for (int i = 0; i < 3; ++i) affine.M[i][j] = (o[i] - affine.T[i]) / kReach;
  }
  return affine;
}

// A Helmert step as PROJ takes it: translations (m), rotations (arc seconds),
// scale difference (ppm), the rotation matrix rigorous (`exact`) or
// linearised, and the convention its rotations are given in.
struct HelmertStep {
  ProjVec3 t{};
  ProjVec3 r{};
  double s = 0.0;
  bool exact = false;
  bool positionVector = false;
};

// The map PROJ's helmert makes of (x, y, z): T + (1 + s·1e-6)·R·X.
AffineMap AffineOf(const HelmertStep& step);
// The coordinate-frame Helmert step that makes `map`; false when the map is
// no similarity that such a step reproduces to 1e-12 of its matrix.
bool HelmertOf(const AffineMap& map, bool exact, HelmertStep& step);

std::string ProjNumber(double value);
std::string ProjText(const HelmertStep& step);
// A plane map (its third row and column ignored) as "+proj=affine".
std::string PlaneAffineText(const AffineMap& map);
// "+proj=cart" on an ellipsoid.
std::string CartText(const EllipsoidRecord& ellipsoid);

// A stored set as a PROJ operation: types 0 and 1 a Helmert step on x y z,
// type 2 the pipeline cart (source ellipsoid), pre-translation, similarity,
// cart inverse (target ellipsoid) on longitude latitude height. Empty, with
// the reason in `problem`, when the set has no such form.
std::string SetPipeline(const TransformationSet& set, std::string* problem = nullptr);

// A type-2 set's pipeline evaluated as PROJ evaluates it: (B, L, h) on the
// source ellipsoid (degrees, metres) to (B, L, h) on the target ellipsoid;
// false when the library cannot convert the point.
bool EvaluateSetPipeline(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
                         ProjVec3& out);

// How far (metres, in space) the type-2 set's pipeline puts the source point
// (B, L, h) from `model`, the same point as the differential model of the
// set puts it (B, L, h on the target ellipsoid); NaN when either cannot be
// converted.
double PipelineDeparture(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
                         const ProjVec3& model);

// The largest such departure over the Earth's surface between 80° S and
// 80° N (a 10° grid at height 0): how closely Pelmar applies a type-2 set
// that came from a pipeline. NaN when a point cannot be converted.
double LargestModelDeparture(const TransformationSet& set, ProjectionLibrary& library);
// Metres: a set whose model departs further from its pipeline is refused on import.
inline constexpr double kUsableModelDeparture = 1.0;

// A stored set from a PROJ operation: a helmert step (type 0 with +exact,
// else type 1) or a pipeline cart / helmert [/ helmert] / cart +inv (type 2).
// Axis swaps, unit conversions and push/pop of the height around such a
// pipeline are taken as the point files have them. `ellipsoids` names the
// ellipsoids found (by a and b); `notes` gets what the user should know
// (heights, linearisation). False, with the first part that cannot be taken
// named in `error`. A type-2 set is applied by the differential model: see
// LargestModelDeparture.
bool SetFromPipeline(std::string_view text, const EllipsoidList& ellipsoids, TransformationSet& set,
                     std::vector<std::string>& notes, std::string& error);

}  // namespace pelmar
