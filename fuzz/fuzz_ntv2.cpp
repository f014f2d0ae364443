// NTv2 grids, ASCII and binary in either byte order, then a lookup in each
// sub-grid.
#include "FuzzSupport.h"
#include "ntv2/NTv2Grid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  fuzz::MemoryFile file(data, size);
  fuzz::SilentHost host;
  NTv2Grid grid;
  if (grid.Load(file.path(), host) != 0) return 0;
  for (bool finest : {false, true}) {
    const int index = grid.select(180000.0, -36000.0, finest);
    double dLat = 0.0, dLon = 0.0;
    if (index >= 0) grid.interpolate(index, 180000.0, -36000.0, dLat, dLon);
  }
  return 0;
}
