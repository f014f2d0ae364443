#pragma once

// One row of a reference table: inputs then outputs, as the table's comment
// says; unused places are zero.
struct ReferenceRow {
  double v[7];
};
