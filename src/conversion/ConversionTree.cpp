#include "conversion/ConversionTree.h"

#include <algorithm>

#include "app/StringIds.h"

namespace pelmar {

const std::vector<ConversionTreeGroup>& ConversionTree() {
  static const std::vector<ConversionTreeGroup> tree = {
      {str::GroupProjections,
       {{str::GroupGeoToMap, {1000, 1001, 1002, 1005, 1006}}, {str::GroupMapToGeo, {2000, 2001, 2002, 2005, 2006}}}},
      {str::GroupNational,
       {{str::GroupBelgium, {1004, 2004}},
        {str::GroupEstonia, {1003, 2003}},
        {str::GroupFrance, {1009, 2009}},
        {str::GroupAustria, {1010, 2010}},
        {str::GroupSwitzerland, {1011, 2011, 1012, 2012}},
        {str::GroupHungary, {1008, 2008}},
        {str::GroupBaden, {1014, 2014}}}},
      {str::GroupCartesian, {{0, {1007, 2007, 1013, 2013}}}},
  };
  return tree;
}

int ConversionCountry(int code) {
  for (const ConversionTreeGroup& group : ConversionTree()) {
    if (group.labelId != str::GroupNational) continue;
    for (const auto& [label, codes] : group.subGroups) {
      if (std::find(codes.begin(), codes.end(), code) != codes.end()) return label;
    }
  }
  return 0;
}

}  // namespace pelmar
