// Ellip.db, the binary ellipsoid list.
#include "FuzzSupport.h"
#include "settings/EllipsoidDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  fuzz::MemoryFile file(data, size);
  EllipsoidList list;
  std::string problem;
  if (ReadEllipsoidDatabase(file.path(), list, &problem)) FindEllipsoid(list, "Bessel");
  return 0;
}
