// Transformation.db, the stored parameter sets (read only: a damaged file
// is kept aside only before the next write).
#include "FuzzSupport.h"
#include "stored/TransformationDatabase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  fuzz::MemoryFile file(data, size);
  fuzz::SilentHost host;
  TransformationDatabase database(file.path());
  database.Load(&host);
  return 0;
}
