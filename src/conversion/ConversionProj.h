#pragma once

#include <string>

#include "conversion/BatchConversion.h"

namespace pelmar {

class ProjectionLibrary;

// A conversion as the PROJ operation that `cct` runs on PROJ's axis order
// (longitude latitude height in degrees, easting northing height, x y z).
// `proj` is empty when the conversion has no single operation (a meridian
// or zone that follows each point, a setting out of range); `note` then
// says why, and otherwise what the user should know (where PROJ's formula
// departs from the conversion's own).
struct ProjOperation {
  std::string proj;
  std::string note;
};

// With the job's settings, checked as a run would check them; `library` is
// the projection library the run would use (it takes the settings).
ProjOperation ConversionOperation(const ConversionInfo& conversion, const ConversionJob& job,
                                  ProjectionLibrary& library);

}  // namespace pelmar
