#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// A named ellipsoid: semi-major axis a and semi-minor axis b in metres. The
// name is kept as the file holds it (Windows-1252 bytes).
struct EllipsoidRecord {
  std::string name;
  double a = 0.0;
  double b = 0.0;
};

using EllipsoidList = std::vector<EllipsoidRecord>;

// "Ellip.db" in the program directory.
inline constexpr const char* kEllipsoidFileName = "Ellip.db";

// Reads Ellip.db: a 4-byte count, then per record the length-prefixed name
// and the doubles a and b. False, with `problem` saying why, when the file
// cannot be opened or is damaged (truncated, a count or a length beyond what
// it holds, bytes after the last record); `list` is then unchanged.
bool ReadEllipsoidDatabase(const std::filesystem::path& path, EllipsoidList& list, std::string* problem = nullptr);

// Replaces Ellip.db with the list, through a temporary file and a rename.
bool WriteEllipsoidDatabase(const std::filesystem::path& path, const EllipsoidList& list);

// The first record of that name, byte for byte; -1 when there is none.
int FindEllipsoid(const EllipsoidList& list, std::string_view name);

// The ellipsoid the general setting "Ellip" names: the record at `index`, or
// the first when the index lies outside the list (as the settings page
// selects it); an empty record for an empty list.
EllipsoidRecord SettingsEllipsoid(const EllipsoidList& list, int index);

// The figures a person checks an ellipsoid by, as "a = 6377397.155 m,
// 1/f = 299.1528128" (a in metres to the millimetre, the inverse flattening
// to 7 decimals: b stored to 0.1 mm leaves the 9th decimal noise, Hayford's
// 297 read 297.000000001), or "a = … m, sphere" when b equals a. The name is
// not part of it.
std::string EllipsoidFigures(const EllipsoidRecord& ellipsoid);

}  // namespace pelmar
