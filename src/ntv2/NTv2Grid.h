#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

class JobHost;

// An NTv2 grid of latitude and longitude shifts, from the ASCII or the
// binary form (told apart by the content, not the name). Angles as the
// format holds them: arc seconds, longitudes positive west.
class NTv2Grid {
 public:
  struct SubGrid {
    std::string name, parent, created, updated;
    double south = 0.0, north = 0.0;  // S_LAT, N_LAT (arc seconds)
    double east = 0.0, west = 0.0;    // E_LONG, W_LONG (arc seconds, positive west)
    double latInc = 0.0, lonInc = 0.0;
    int count = 0;                    // GS_COUNT
    int columns = 0, rows = 0;        // from the bounds and increments
    // Shifts per node (arc seconds; longitude positive west), row by row
    // from the south, each row from the east.
    std::vector<double> latShift, lonShift;
    std::vector<int> children;  // indices of the sub-grids whose parent this is

    // Bounds included, with 1e-4 of a cell to spare, as PROJ allows: a point
    // on an edge in decimal degrees is not lost to the last digit (1e-6″
    // dropped points a fraction of a millimetre outside).
    static constexpr double kEdgeShare = 1e-4;
    bool contains(double lat, double lon) const {
      const double edgeLat = kEdgeShare * latInc, edgeLon = kEdgeShare * lonInc;
      return lat >= south - edgeLat && lat <= north + edgeLat && lon >= east - edgeLon && lon <= west + edgeLon;
    }
  };

  // Overview header values (stored, not used for the shift).
  int numOrec = 0, numSrec = 0, numFile = 0;
  std::string gsType, version, systemFrom, systemTo;
  double majorFrom = 0.0, minorFrom = 0.0, majorTo = 0.0, minorTo = 0.0;
  std::vector<SubGrid> subGrids;

  // 0 when loaded; −1000 when the file cannot be opened (message 165),
  // −1001 when it is malformed (message 192 with the missing key, 193 with
  // GS_COUNT for missing or short node lines, 1601 for a sub-grid whose
  // nodes do not fill its bounds, naming the file and both counts).
  int Load(const std::filesystem::path& path, JobHost& host);

  // The shifts at (lat, lon) in arc seconds (longitude positive west) by
  // bilinear interpolation in sub-grid `index`; false outside it.
  bool interpolate(int index, double lat, double lon, double& dLat, double& dLon) const;

  // The sub-grid to use at a point: the first (−1 outside it), or with
  // `finest` the deepest sub-grid containing the point (a point on a
  // child's edge belongs to the child); −1 outside every top-level grid.
  int select(double lat, double lon, bool finest) const;

  // The header records as text, one "KEY value" line each, in the order of
  // the file: the overview, then each sub-grid's records with a line that
  // counts its node records instead of the nodes. Bounds and increments in
  // arc seconds, as read (a grid in minutes or degrees is converted).
  std::string HeaderText() const;

 private:
  int loadAscii(const std::string& content, const std::filesystem::path& path, JobHost& host);
  int loadBinary(const std::string& content, bool bigEndian, const std::filesystem::path& path, JobHost& host);
  bool finish(const std::filesystem::path& path, JobHost& host);
};

// Whether `bytes` begin as a binary NTv2 grid: the key "NUM_OREC" and a
// value that is no text.
bool IsBinaryGrid(std::string_view bytes);

}  // namespace pelmar
