#pragma once

// Every numbered string of the language tables that the program uses. Code
// names a string only through these constants; a test checks that each of
// them has a text in every shipped table.
#define PELMAR_STRING_IDS(X)                                           \
  X(AboutMenuEntry, 101)          /* about entry of the window menu */ \
  X(ProjectionLibraryMissing, 169)                                     \
  X(EllipsoidLibraryMissing, 171)                                      \
  X(RestartForLanguage, 194)                                           \
  X(TabConversion, 221)                                                \
  X(TabGeodeticProblems, 222)                                          \
  X(TabEstimation, 223)                                                \
  X(TabStoredTransformations, 224)                                     \
  X(TabNtv2, 225)                                                      \
  X(TabSettings, 226)

namespace pelmar::str {

#define PELMAR_STRING_ID_ENUM(name, id) name = id,
enum Id : int { PELMAR_STRING_IDS(PELMAR_STRING_ID_ENUM) };
#undef PELMAR_STRING_ID_ENUM

#define PELMAR_STRING_ID_VALUE(name, id) id,
inline constexpr int kAll[] = {PELMAR_STRING_IDS(PELMAR_STRING_ID_VALUE)};
#undef PELMAR_STRING_ID_VALUE

}  // namespace pelmar::str
