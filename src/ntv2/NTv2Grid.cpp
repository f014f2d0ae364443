#include "ntv2/NTv2Grid.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string_view>

#include "io/FileReplace.h"
#include "app/JobHost.h"
#include "app/StringIds.h"
#include "text/LineScanner.h"
#include "text/MessageFormat.h"
#include "text/NumberFormat.h"

// The NTv2 format: Junkins and Farley, "NTv2 Developer's Guide", Geodetic
// Survey of Canada, 1995. The ASCII form holds the binary form's 16-byte
// records as lines "KEY     value"; node lines hold the four values.

namespace pelmar {

namespace {

constexpr const char* kOverviewKeys[] = {"NUM_OREC", "NUM_SREC", "NUM_FILE", "GS_TYPE", "VERSION", "SYSTEM_F",
                                         "SYSTEM_T", "MAJOR_F",  "MINOR_F",  "MAJOR_T", "MINOR_T"};
constexpr const char* kSubGridKeys[] = {"SUB_NAME", "PARENT", "CREATED",  "UPDATED",  "S_LAT",   "N_LAT",
                                        "E_LONG",   "W_LONG", "LAT_INC",  "LONG_INC", "GS_COUNT"};

// Lines of a text, trimmed; blank ones skipped only where asked.
class Lines {
 public:
  explicit Lines(const std::string& text) : text_(text) {}
  bool next(std::string_view& line) {
    if (position_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', position_);
    if (end == std::string::npos) end = text_.size();
    line = trimBlanks(std::string_view(text_).substr(position_, end - position_));
    position_ = end + 1;
    return true;
  }
  bool nextNonBlank(std::string_view& line) {
    while (next(line)) {
      if (!line.empty()) return true;
    }
    return false;
  }

 private:
  const std::string& text_;
  std::size_t position_ = 0;
};

int nearest(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

bool IsBinaryGrid(std::string_view bytes) {
  if (bytes.size() < 16 || bytes.substr(0, 8) != "NUM_OREC") return false;
  return std::any_of(bytes.begin() + 8, bytes.begin() + 16, [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u == 0 || (u < 0x20 && u != '\n' && u != '\r' && u != '\t') || u > 0x7E;
  });
}

int NTv2Grid::Load(const std::filesystem::path& path, JobHost& host) {
  *this = NTv2Grid{};
  std::string content;
  if (!readFileContent(path, content)) {
    host.message(str::FileNotOpened, {path.string()});
    return -1000;
  }
  // The binary form's first record: "NUM_OREC" and a 4-byte integer (11 in
  // the files in use; another count is told apart from the ASCII form's text
  // by a byte that is no printable character), in either byte order: the
  // order that reads a small count.
  if (content.size() >= 16 && content.compare(0, 8, "NUM_OREC") == 0) {
    const bool binary = IsBinaryGrid(content);
    std::uint32_t raw = 0;
    std::memcpy(&raw, content.data() + 8, 4);
    const std::uint32_t swapped = ((raw & 0xFF) << 24) | ((raw & 0xFF00) << 8) | ((raw >> 8) & 0xFF00) | (raw >> 24);
    const bool little = std::endian::native == std::endian::little;
    if (raw == 11 || (binary && raw <= swapped)) return loadBinary(content, !little, path, host);
    if (swapped == 11 || binary) return loadBinary(content, little, path, host);
  }
  return loadAscii(content, path, host);
}

int NTv2Grid::loadAscii(const std::string& content, const std::filesystem::path& path, JobHost& host) {
  Lines lines(content);
  std::string_view line;
  // The value stands after as many characters as the key has.
  auto value = [&](const char* key, std::string& text) {
    if (!lines.nextNonBlank(line)) {
      host.message(str::GridHeaderShort, {key});
      return false;
    }
    const std::size_t skip = std::min(std::strlen(key), line.size());
    text = std::string(trimBlanks(line.substr(skip)));
    return true;
  };
  auto integer = [&](const char* key, int& out) {
    std::string text;
    if (!value(key, text)) return false;
    scanFields(text, out);
    return true;
  };
  auto real = [&](const char* key, double& out) {
    std::string text;
    if (!value(key, text)) return false;
    scanFields(text, out);
    return true;
  };
  if (!integer("NUM_OREC", numOrec) || !integer("NUM_SREC", numSrec) || !integer("NUM_FILE", numFile) ||
      !value("GS_TYPE", gsType) || !value("VERSION", version) || !value("SYSTEM_F", systemFrom) ||
      !value("SYSTEM_T", systemTo) || !real("MAJOR_F", majorFrom) || !real("MINOR_F", minorFrom) ||
      !real("MAJOR_T", majorTo) || !real("MINOR_T", minorTo)) {
    return -1001;
  }
  // The first sub-grid, then as many more as follow (an "END" line or the
  // end of the file closes the list).
  for (;;) {
    SubGrid g;
    if (!subGrids.empty()) {
      std::string_view peek;
      Lines probe = lines;
      if (!probe.nextNonBlank(peek) || peek.substr(0, 3) == "END") break;
    }
    if (!value("SUB_NAME", g.name) || !value("PARENT", g.parent) || !value("CREATED", g.created) ||
        !value("UPDATED", g.updated) || !real("S_LAT", g.south) || !real("N_LAT", g.north) ||
        !real("E_LONG", g.east) || !real("W_LONG", g.west) || !real("LAT_INC", g.latInc) ||
        !real("LONG_INC", g.lonInc) || !integer("GS_COUNT", g.count)) {
      return -1001;
    }
    if (g.count < 0 || static_cast<std::size_t>(g.count) > content.size()) {
      host.message(str::GridNodesShort, {g.count});
      return -1001;
    }
    g.latShift.reserve(static_cast<std::size_t>(g.count));
    g.lonShift.reserve(static_cast<std::size_t>(g.count));
    for (int i = 0; i < g.count; ++i) {
      double v[4] = {};
      if (!lines.next(line) || scanFields(line, v[0], v[1], v[2], v[3]) < 2) {
        host.message(str::GridNodesShort, {g.count});
        return -1001;
      }
      g.latShift.push_back(v[0]);
      g.lonShift.push_back(v[1]);
    }
    subGrids.push_back(std::move(g));
  }
  return finish(path, host) ? 0 : -1001;
}

int NTv2Grid::loadBinary(const std::string& content, bool bigEndian, const std::filesystem::path& path,
                         JobHost& host) {
  std::size_t position = 0;
  auto swap = [&](unsigned char* bytes, std::size_t size) {
    if (bigEndian != (std::endian::native == std::endian::big)) std::reverse(bytes, bytes + size);
  };
  // One 16-byte record: 8-character key, 8-byte value.
  auto record = [&](const char* key, unsigned char value[8]) {
    if (position + 16 > content.size()) {
      host.message(str::GridHeaderShort, {key});
      return false;
    }
    std::memcpy(value, content.data() + position + 8, 8);
    position += 16;
    return true;
  };
  auto integer = [&](const char* key, int& out) {
    unsigned char v[8];
    if (!record(key, v)) return false;
    swap(v, 4);
    std::int32_t i = 0;
    std::memcpy(&i, v, 4);
    out = i;
    return true;
  };
  auto real = [&](const char* key, double& out) {
    unsigned char v[8];
    if (!record(key, v)) return false;
    swap(v, 8);
    std::memcpy(&out, v, 8);
    return true;
  };
  auto text = [&](const char* key, std::string& out) {
    unsigned char v[8];
    if (!record(key, v)) return false;
    // Padded with blanks, or with NUL bytes by some writers.
    std::string_view value(reinterpret_cast<const char*>(v), 8);
    value = value.substr(0, value.find('\0'));
    out = std::string(trimBlanks(value));
    return true;
  };
  if (!integer("NUM_OREC", numOrec) || !integer("NUM_SREC", numSrec) || !integer("NUM_FILE", numFile) ||
      !text("GS_TYPE", gsType) || !text("VERSION", version) || !text("SYSTEM_F", systemFrom) ||
      !text("SYSTEM_T", systemTo) || !real("MAJOR_F", majorFrom) || !real("MINOR_F", minorFrom) ||
      !real("MAJOR_T", majorTo) || !real("MINOR_T", minorTo)) {
    return -1001;
  }
  // Overview records beyond the eleven known ones are skipped.
  if (numOrec > 11) position += static_cast<std::size_t>(numOrec - 11) * 16;
  for (int s = 0; s < std::max(numFile, 1); ++s) {
    if (position + 8 <= content.size() && content.compare(position, 3, "END") == 0) break;
    SubGrid g;
    if (!text("SUB_NAME", g.name) || !text("PARENT", g.parent) || !text("CREATED", g.created) ||
        !text("UPDATED", g.updated) || !real("S_LAT", g.south) || !real("N_LAT", g.north) ||
        !real("E_LONG", g.east) || !real("W_LONG", g.west) || !real("LAT_INC", g.latInc) ||
        !real("LONG_INC", g.lonInc) || !integer("GS_COUNT", g.count)) {
      return -1001;
    }
    if (g.count < 0 || static_cast<std::size_t>(g.count) > (content.size() - position) / 16) {
      host.message(str::GridNodesShort, {g.count});
      return -1001;
    }
    g.latShift.resize(static_cast<std::size_t>(g.count));
    g.lonShift.resize(static_cast<std::size_t>(g.count));
    for (int i = 0; i < g.count; ++i) {
      unsigned char v[16];
      std::memcpy(v, content.data() + position, 16);
      position += 16;
      float shifts[2];
      for (int k = 0; k < 2; ++k) {
        swap(v + 4 * k, 4);
        std::memcpy(&shifts[k], v + 4 * k, 4);
      }
      g.latShift[i] = shifts[0];
      g.lonShift[i] = shifts[1];
    }
    subGrids.push_back(std::move(g));
  }
  return finish(path, host) ? 0 : -1001;
}

bool NTv2Grid::finish(const std::filesystem::path& path, JobHost& host) {
  // The unit of bounds, increments and shifts: seconds; minutes and degrees
  // are converted (MINUTES was read as seconds, 60 times wrong).
  double toSeconds = 0.0;
  const std::string unit(trimBlanks(gsType));
  if (unit == "SECONDS") toSeconds = 1.0;
  else if (unit == "MINUTES") toSeconds = 60.0;
  else if (unit == "DEGREES") toSeconds = 3600.0;
  if (toSeconds == 0.0) {
    host.message(str::GridUnitUnknown, {path.string(), unit});
    return false;
  }
  for (SubGrid& g : subGrids) {
    if (toSeconds != 1.0) {
      for (double* v : {&g.south, &g.north, &g.east, &g.west, &g.latInc, &g.lonInc}) *v *= toSeconds;
      for (double& v : g.latShift) v *= toSeconds;
      for (double& v : g.lonShift) v *= toSeconds;
    }
    if (!(std::isfinite(g.latInc) && std::isfinite(g.lonInc) && g.latInc > 0.0 && g.lonInc > 0.0)) {
      // Named as what it is: the node-count message said "need 0".
      host.message(str::GridIncrementUnusable,
                   {path.string(), g.name, formatMessage("%g", {g.latInc}), formatMessage("%g", {g.lonInc})});
      return false;
    }
    const bool sane = std::isfinite(g.south) && std::isfinite(g.north) && std::isfinite(g.east) &&
                      std::isfinite(g.west) && g.north >= g.south && g.west >= g.east &&
                      (g.north - g.south) / g.latInc < 1e7 && (g.west - g.east) / g.lonInc < 1e7;
    g.columns = sane ? nearest((g.west - g.east) / g.lonInc) + 1 : 0;
    g.rows = sane ? nearest((g.north - g.south) / g.latInc) + 1 : 0;
    const long long needed = static_cast<long long>(g.columns) * g.rows;
    if (!sane || needed > g.count) {
      host.message(str::GridNodesMissing, {path.string(), g.name, static_cast<long long>(g.count), needed});
      return false;
    }
    // More nodes than the header implies: the header contradicts them (an
    // increment of 720″ for 360″ put points 35 m off), as PROJ says too.
    if (needed != g.count) {
      host.message(str::GridNodesContradict, {path.string(), g.name, static_cast<long long>(g.count), needed});
      return false;
    }
    for (std::size_t i = 0; i < g.latShift.size(); ++i) {
      if (!std::isfinite(g.latShift[i]) || !std::isfinite(g.lonShift[i])) {
        host.message(str::GridShiftNotNumber, {path.string(), static_cast<long long>(i + 1), g.name});
        return false;
      }
    }
  }
  // Parents by name, in O(n log n) (a scan of every pair took 12.8 s for
  // 60 000 sub-grids).
  std::map<std::string_view, std::vector<int>> byName;
  for (std::size_t i = 0; i < subGrids.size(); ++i) byName[subGrids[i].name].push_back(static_cast<int>(i));
  for (std::size_t j = 0; j < subGrids.size(); ++j) {
    const auto it = byName.find(subGrids[j].parent);
    if (it == byName.end()) continue;
    for (int i : it->second) {
      if (i != static_cast<int>(j)) subGrids[static_cast<std::size_t>(i)].children.push_back(static_cast<int>(j));
    }
  }
  return true;
}

bool NTv2Grid::interpolate(int index, double lat, double lon, double& dLat, double& dLon) const {
  const SubGrid& g = subGrids[static_cast<std::size_t>(index)];
  if (!g.contains(lat, lon)) return false;
  lat = std::clamp(lat, g.south, g.north);
  lon = std::clamp(lon, g.east, g.west);
  const double x = (lon - g.east) / g.lonInc, y = (lat - g.south) / g.latInc;
  int c = static_cast<int>(std::floor(x)), r = static_cast<int>(std::floor(y));
  c = std::clamp(c, 0, g.columns - 1);
  r = std::clamp(r, 0, g.rows - 1);
  const double fx = x - c, fy = y - r;
  // On the last column or row the missing neighbours are the cell's own
  // nodes; their weights are zero there.
  const int east = c, west = c + 1 < g.columns ? c + 1 : c;
  const int south = r, north = r + 1 < g.rows ? r + 1 : r;
  const std::size_t i00 = static_cast<std::size_t>(south) * g.columns + east;
  const std::size_t i01 = static_cast<std::size_t>(south) * g.columns + west;
  const std::size_t i10 = static_cast<std::size_t>(north) * g.columns + east;
  const std::size_t i11 = static_cast<std::size_t>(north) * g.columns + west;
  auto bilinear = [&](const std::vector<double>& s) {
    return (1 - fx) * (1 - fy) * s[i00] + fx * (1 - fy) * s[i01] + (1 - fx) * fy * s[i10] + fx * fy * s[i11];
  };
  dLat = bilinear(g.latShift);
  dLon = bilinear(g.lonShift);
  return true;
}

int NTv2Grid::select(double lat, double lon, bool finest) const {
  if (subGrids.empty()) return -1;
  if (!finest) return subGrids[0].contains(lat, lon) ? 0 : -1;
  int chosen = -1;
  for (std::size_t i = 0; i < subGrids.size(); ++i) {
    const SubGrid& g = subGrids[i];
    const bool top = g.parent == "NONE" || g.parent.empty();
    if (top && g.contains(lat, lon)) {
      chosen = static_cast<int>(i);
      break;
    }
  }
  // Descend while a child holds the point (edges included).
  for (int depth = 0; chosen >= 0 && depth < 64; ++depth) {
    int next = -1;
    for (int child : subGrids[static_cast<std::size_t>(chosen)].children) {
      if (subGrids[static_cast<std::size_t>(child)].contains(lat, lon)) {
        next = child;
        break;
      }
    }
    if (next < 0) break;
    chosen = next;
  }
  return chosen;
}

std::string NTv2Grid::HeaderText() const {
  std::string text;
  auto add = [&](std::string key, const std::string& value) {
    key.resize(std::max<std::size_t>(key.size(), 8), ' ');
    text += key + " " + value + "\n";
  };
  auto number = [](double value, int decimals) { return formatFixed(value, 0, decimals); };
  add("NUM_OREC", std::to_string(numOrec));
  add("NUM_SREC", std::to_string(numSrec));
  add("NUM_FILE", std::to_string(numFile));
  // The values below are in seconds, as read; a grid in minutes or degrees says so.
  const std::string unit(trimBlanks(gsType));
  add("GS_TYPE", unit == "SECONDS" ? unit : "SECONDS  (" + unit + " -> SECONDS)");
  add("VERSION", version);
  add("SYSTEM_F", systemFrom);
  add("SYSTEM_T", systemTo);
  add("MAJOR_F", number(majorFrom, 3));
  add("MINOR_F", number(minorFrom, 3));
  add("MAJOR_T", number(majorTo, 3));
  add("MINOR_T", number(minorTo, 3));
  for (const SubGrid& g : subGrids) {
    text += "\n";
    add("SUB_NAME", g.name);
    add("PARENT", g.parent);
    add("CREATED", g.created);
    add("UPDATED", g.updated);
    add("S_LAT", number(g.south, 6));
    add("N_LAT", number(g.north, 6));
    add("E_LONG", number(g.east, 6));
    add("W_LONG", number(g.west, 6));
    add("LAT_INC", number(g.latInc, 6));
    add("LONG_INC", number(g.lonInc, 6));
    add("GS_COUNT", std::to_string(g.count));
    text += "  (" + std::to_string(g.count) + " node records: " + std::to_string(g.rows) + " rows of " +
            std::to_string(g.columns) + ")\n";
  }
  return text + "END\n";
}

}  // namespace pelmar
