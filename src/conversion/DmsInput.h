#pragma once

#include "points/LineFormatters.h"

namespace pelmar {

class ProjectionLibrary;

// An angle entered as degrees, minutes and seconds, read as numbers, to
// decimal degrees through the library's GMSDEZ. Degrees and minutes must be
// whole, minutes below 60 and seconds at most 60 ("50.5 30 0" or "50 75 0"
// is a typing error, not an angle to guess at): false otherwise. The sign comes
// from the degrees field as written, so that "-0 30 0" is −0.5° (an
// integer read would lose it), or from a negative minute or second, as
// GMSDEZ takes any negative part. `echo`, when given, receives the angle as
// read with the sign on its first non-zero part.
// Whether the three numbers form an angle JoinDms takes.
bool ValidDms(double degrees, double minutes, double seconds);

bool JoinDms(ProjectionLibrary& library, double degrees, double minutes, double seconds, double& value,
             DmsAngle* echo = nullptr);

}  // namespace pelmar
