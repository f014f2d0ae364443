#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "points/PointRunCounts.h"

namespace pelmar {

class JobHost;

struct GridShiftJob {
  std::filesystem::path gridPath;
  std::filesystem::path inputPath;
  std::filesystem::path outputPath;
  bool finest = false;   // the deepest sub-grid holding a point, not the first sub-grid
  bool inverse = false;  // from the grid's target datum back to its source datum
  bool keepRest = false;  // the text after B L (a height, codes) follows the result
};

// Points left out are those outside the grid, or whose inverse does not
// settle.
struct GridShiftResult : PointRunCounts {
  std::int64_t pointsInFinerGrids = 0;  // with the first sub-grid only: points a child sub-grid holds
};

// Shifts every point "name B L ..." (decimal degrees, east positive) of the
// input file with the grid and writes "name B' L'" with 10 decimals.
// Points outside the grid are left out, counted and the first named (message
// 1604); unreadable lines likewise (1330); with the first sub-grid only, the
// points a finer sub-grid holds are counted (1602). The inverse iterates
// p = q − shift(p) until it moves by less than 1e-12° (at most 10 steps).
// False, with the message given, when the grid, the input or the output
// cannot be used.
bool RunGridShift(const GridShiftJob& job, JobHost& host, GridShiftResult* result = nullptr);

}  // namespace pelmar
