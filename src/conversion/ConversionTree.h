#pragma once

#include <utility>
#include <vector>

namespace pelmar {

// The conversions as the desktop program's tree groups them: top groups,
// sub-groups (a label, 0 for none) and their conversion codes. The
// national systems' sub-groups name the country or authority.
struct ConversionTreeGroup {
  int labelId;
  std::vector<std::pair<int, std::vector<int>>> subGroups;
};
const std::vector<ConversionTreeGroup>& ConversionTree();

// The country or authority of a national system's conversion (its
// sub-group's label); 0 for the others.
int ConversionCountry(int code);

}  // namespace pelmar
