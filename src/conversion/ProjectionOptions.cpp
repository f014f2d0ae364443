#include "conversion/ProjectionOptions.h"

namespace pelmar {

int AustrianMeridianOptions::meridianIndex() const {
  for (int i = 0; i < 3; ++i) {
    if (L0Austria == kMeridians[i]) return i;
  }
  return -1;
}

LambertOptions LambertOptions::preset(int lambertCase) {
  LambertOptions o;
  o.version = 1;
  switch (lambertCase) {
    case 1:  // Estonia, L-EST97
      o.north = {59, 20, 0.0};
      o.south = {58, 0, 0.0};
      o.meridian = {24, 0, 0.0};
      o.origin = {57, 31, 3.19415};
      o.falseEast = 500000.0;
      o.falseNorth = 6375000.0;
      break;
    case 2:  // Belgian Lambert 2005
      o.north = {51, 10, 0.0};
      o.south = {49, 50, 0.0};
      o.meridian = {4, 21, 33.177};
      o.origin = {50, 47, 52.134};
      o.falseEast = 150328.0;
      o.falseNorth = 166262.0;
      break;
    case 3:  // France, Lambert-93
      o.north = {49, 0, 0.0};
      o.south = {44, 0, 0.0};
      o.meridian = {3, 0, 0.0};
      o.origin = {46, 30, 0.0};
      o.falseEast = 700000.0;
      o.falseNorth = 6600000.0;
      break;
    default:
      break;
  }
  return o;
}

SoldnerOptions SoldnerOptions::baden() {
  SoldnerOptions o;
  o.origin = {49, 29, 11.0};
  o.meridian = {26, 7, 35.8};
  return o;
}

}  // namespace pelmar
