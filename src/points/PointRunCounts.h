#pragma once

#include <cstdint>
#include <string>

namespace pelmar {

// What a batch job over one point file counted (conversion, NTv2 shift,
// stored transformation): the command line's summary and the desktop's
// result box show it.
struct PointRunCounts {
  std::int64_t linesRead = 0;  // data lines (neither blank nor comment), readable or not
  std::int64_t pointsWritten = 0;
  std::int64_t pointsLeftOut = 0;  // read, but no result the job may write (outside a domain or grid, …)
  std::string firstLeftOut;        // the name of the first of them
  std::int64_t linesUnreadable = 0;  // data lines that fit no form of the job
  std::int64_t firstUnreadableLine = 0;
};

}  // namespace pelmar
