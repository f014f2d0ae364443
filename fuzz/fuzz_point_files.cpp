// Point files in every layout: plane and spatial lines, the ellipsoidal
// source and sectioned target files in decimal degrees and in d m s.
#include "FuzzSupport.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalPointFile.h"
#include "points/PointFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  fuzz::MemoryFile file(data, size);
  PointList points;
  UnreadableLines skipped;
  ReadPointFile2D(file.path(), points, &skipped);
  points.clear();
  ReadPointFile3D(file.path(), points, &skipped);
  CountDataLines(file.path());
  static ProjectionLibrary library;  // not opened: the readers must cope
  for (bool dms : {false, true}) {
    EllipsoidalPointList list;
    PointFileNotes notes;
    ReadEllipsoidalSource(file.path(), dms, library, list, notes);
    list.clear();
    ReadEllipsoidalTarget(file.path(), dms, library, list, notes);
  }
  return 0;
}
