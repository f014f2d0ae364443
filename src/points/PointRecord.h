#pragma once

#include <string>
#include <vector>

namespace pelmar {

// One point of an estimation's source or target file. Plane files give
// (name, Y easting, X northing); spatial files give (name, X, Y, Z) cartesian.
// All coordinates in metres.
struct PointRecord {
  std::string name;
  double Y = 0.0;
  double X = 0.0;
  double Z = 0.0;
  std::string rest;  // the text after the values, when the reader was asked to keep it
};

using PointList = std::vector<PointRecord>;

}  // namespace pelmar
