#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>

#include "app/StringIds.h"
#include "ntv2/GridShift.h"
#include "ntv2/NTv2Grid.h"
#include "text/LineScanner.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::RecordingHost;
using test::TempDir;
using test::writeFile;

// A grid as the tests write it, in either form: sub-grids with their
// header values and node shifts (arc seconds).
struct SubGridSpec {
  std::string name, parent = "NONE";
  double south, north, east, west, latInc, lonInc;
  std::vector<std::array<float, 4>> nodes;
};

std::string record(const char* key, const void* value, std::size_t size) {
  std::string r(16, '\0');
  std::memcpy(r.data(), key, std::strlen(key));
  for (std::size_t i = std::strlen(key); i < 8; ++i) r[i] = ' ';
  std::memcpy(r.data() + 8, value, size);
  return r;
}
std::string intRecord(const char* key, std::int32_t v) { return record(key, &v, 4); }
std::string realRecord(const char* key, double v) { return record(key, &v, 8); }
std::string textRecord(const char* key, const std::string& v) {
  std::string padded = v;
  padded.resize(8, ' ');
  return record(key, padded.data(), 8);
}

std::string binaryGrid(const std::vector<SubGridSpec>& grids) {
  std::string out = intRecord("NUM_OREC", 11) + intRecord("NUM_SREC", 11) +
                    intRecord("NUM_FILE", static_cast<int>(grids.size())) + textRecord("GS_TYPE", "SECONDS") +
                    textRecord("VERSION", "NTv2.0") + textRecord("SYSTEM_F", "FROM") + textRecord("SYSTEM_T", "TO") +
                    realRecord("MAJOR_F", 6377397.155) + realRecord("MINOR_F", 6356078.963) +
                    realRecord("MAJOR_T", 6378137.0) + realRecord("MINOR_T", 6356752.314);
  for (const SubGridSpec& g : grids) {
    out += textRecord("SUB_NAME", g.name) + textRecord("PARENT", g.parent) + textRecord("CREATED", "01-01-26") +
           textRecord("UPDATED", "01-01-26") + realRecord("S_LAT", g.south) + realRecord("N_LAT", g.north) +
           realRecord("E_LONG", g.east) + realRecord("W_LONG", g.west) + realRecord("LAT_INC", g.latInc) +
           realRecord("LONG_INC", g.lonInc) + intRecord("GS_COUNT", static_cast<int>(g.nodes.size()));
    for (const auto& node : g.nodes) out.append(reinterpret_cast<const char*>(node.data()), 16);
  }
  return out + textRecord("END", "") ;
}

std::string asciiGrid(const std::vector<SubGridSpec>& grids) {
  std::ostringstream out;
  out.precision(9);
  out << "NUM_OREC 11\nNUM_SREC 11\nNUM_FILE " << grids.size()
      << "\nGS_TYPE SECONDS\nVERSION NTv2.0\nSYSTEM_F FROM\nSYSTEM_T TO\n"
         "MAJOR_F 6377397.155\nMINOR_F 6356078.963\nMAJOR_T 6378137.0\nMINOR_T 6356752.314\n";
  for (const SubGridSpec& g : grids) {
    out.precision(17);
    out << "SUB_NAME " << g.name << "\nPARENT " << g.parent << "\nCREATED 01-01-26\nUPDATED 01-01-26\nS_LAT "
        << g.south << "\nN_LAT " << g.north << "\nE_LONG " << g.east << "\nW_LONG " << g.west << "\nLAT_INC "
        << g.latInc << "\nLONG_INC " << g.lonInc << "\nGS_COUNT " << g.nodes.size() << "\n";
    out.precision(9);  // float32 values print exactly with 9 significant digits
    for (const auto& n : g.nodes) out << n[0] << " " << n[1] << " " << n[2] << " " << n[3] << "\n";
  }
  out << "END\n";
  return out.str();
}

// The sub-grids of a little-endian binary grid file, read independently of
// the program's loader.
std::vector<SubGridSpec> readBinary(const std::string& data) {
  auto at = [&](std::size_t record, auto& value) { std::memcpy(&value, data.data() + record * 16 + 8, sizeof value); };
  std::int32_t files = 0;
  at(2, files);
  std::vector<SubGridSpec> grids;
  std::size_t r = 11;
  for (int s = 0; s < files; ++s) {
    SubGridSpec g;
    g.name = std::string(trimBlanks(data.substr((r)*16 + 8, 8)));
    g.parent = std::string(trimBlanks(data.substr((r + 1) * 16 + 8, 8)));
    at(r + 4, g.south), at(r + 5, g.north), at(r + 6, g.east), at(r + 7, g.west), at(r + 8, g.latInc),
        at(r + 9, g.lonInc);
    std::int32_t count = 0;
    at(r + 10, count);
    r += 11;
    g.nodes.resize(static_cast<std::size_t>(count));
    for (auto& node : g.nodes) std::memcpy(node.data(), data.data() + (r++) * 16, 16);
    grids.push_back(std::move(g));
  }
  return grids;
}

class GridShift : public ::testing::Test {
 protected:
  // Whether the first sub-grid of the grid file holds (B, L) in degrees.
  bool insideFirst(const std::filesystem::path& grid, double B, double L) {
    auto [it, fresh] = loaded.try_emplace(grid.string());
    RecordingHost quiet;
    if (fresh) it->second.Load(grid, quiet);
    return !it->second.subGrids.empty() && it->second.subGrids[0].contains(B * 3600.0, -L * 3600.0);
  }
  std::map<std::string, NTv2Grid> loaded;
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.table.load(test::binDir() / "LangEN.lng", error)) << error;
  }
  // Shifts `points` ("name B L") and returns the written points by name.
  std::map<std::string, std::pair<double, double>> shift(const std::filesystem::path& grid, const std::string& points,
                                                         bool inverse, bool finest = false) {
    writeFile(dir / "in.txt", points);
    GridShiftJob job{grid, dir / "in.txt", dir / "out.txt", finest, inverse};
    result = {};
    host.messages.clear();
    EXPECT_TRUE(RunGridShift(job, host, &result));
    std::map<std::string, std::pair<double, double>> out;
    std::istringstream lines(readFile(dir / "out.txt"));
    std::string line;
    while (std::getline(lines, line)) {
      std::string name;
      double B = 0, L = 0;
      if (scanFields(line, name, B, L) == 3) out[name] = {B, L};
    }
    return out;
  }
  TempDir dir;
  RecordingHost host;
  GridShiftResult result;
};

// Interior points, nodes and corners, all four edges and points outside,
// forward and inverse, agree with PROJ's hgridshift within 1e-9° for the
// binary grids and the same grids written in the ASCII form.
TEST_F(GridShift, agrees_with_proj_for_real_grids_in_both_forms) {
  for (const char* name : {"BETA2007", "ntf_r93", "nzgd2kgrid0005"}) {
    const std::filesystem::path binary = std::filesystem::path("/usr/share/proj") / (std::string(name) + ".gsb");
    ASSERT_TRUE(std::filesystem::exists(binary)) << binary << " comes with the Debian package proj-data";
    const std::filesystem::path ascii = dir / (std::string(name) + ".txt");
    writeFile(ascii, asciiGrid(readBinary(readFile(binary))));
    const auto reference = test::sourceDir() / "tests" / "reference" / ("ntv2-" + std::string(name) + ".txt");
    std::string points;
    std::map<std::string, std::array<std::string, 4>> expected;
    std::istringstream lines(readFile(reference));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string id, B, L;
      std::array<std::string, 4> e;
      fields >> id >> B >> L >> e[0] >> e[1] >> e[2] >> e[3];
      points += id + " " + B + " " + L + " 123.4\n";
      expected[id] = e;
    }
    for (const std::filesystem::path& grid : {binary, ascii}) {
      for (bool inverse : {false, true}) {
        SCOPED_TRACE(testing::Message() << grid << (inverse ? " inverse" : " forward"));
        const auto written = shift(grid, points, inverse);
        int outside = 0;
        for (const auto& [id, e] : expected) {
          const std::string& B = e[inverse ? 2 : 0];
          const std::string& L = e[inverse ? 3 : 1];
          if (B == "*") {
            ++outside;
            EXPECT_EQ(written.count(id), 0u) << id << " lies outside";
            continue;
          }
          ASSERT_EQ(written.count(id), 1u) << id;
          // Where the inverse's answer lies outside the grid (a point on
          // its edge moved outwards), both programs give an approximation
          // and agree to 1e-7° (1 cm); everywhere else to 1e-9°.
          const bool answerOutside = inverse && !insideFirst(grid, std::stod(B), std::stod(L));
          const double tolerance = answerOutside ? 1e-7 : 1e-9;
          EXPECT_NEAR(written.at(id).first, std::stod(B), tolerance) << id;
          EXPECT_NEAR(written.at(id).second, std::stod(L), tolerance) << id;
        }
        EXPECT_EQ(result.pointsLeftOut, outside);
        // Told, and a forward run speaks of no inverse shift that did not settle.
        EXPECT_EQ(host.messages,
                  std::vector<int>{inverse ? str::PointsOutsideGrid : str::PointsOutsideGridForward});
      }
    }
  }
}

// A binary grid written big-endian reads as the same grid (the byte order
// is told by the first record's value, 11).
TEST_F(GridShift, big_endian_binary_grids_read_alike) {
  const std::vector<SubGridSpec> grid = readBinary(readFile("/usr/share/proj/BETA2007.gsb"));
  std::string data = binaryGrid(grid);
  // Swap every value: integers and floats of 4 bytes, doubles of 8, texts stay.
  const std::size_t header = 11 + 11;
  for (std::size_t r = 0; r * 16 < data.size(); ++r) {
    char* value = data.data() + r * 16 + 8;
    const std::string key(data.data() + r * 16, 8);
    if (r >= header && r < header + grid[0].nodes.size()) {
      for (int k = 0; k < 4; ++k) std::reverse(data.data() + r * 16 + 4 * k, data.data() + r * 16 + 4 * k + 4);
    } else if (key.rfind("NUM_", 0) == 0 || key.rfind("GS_COUNT", 0) == 0) {
      std::reverse(value, value + 4);
    } else if (key.rfind("MAJOR", 0) == 0 || key.rfind("MINOR", 0) == 0 || key.rfind("S_LAT", 0) == 0 ||
               key.rfind("N_LAT", 0) == 0 || key.rfind("E_LONG", 0) == 0 || key.rfind("W_LONG", 0) == 0 ||
               key.rfind("LAT_INC", 0) == 0 || key.rfind("LONG_INC", 0) == 0) {
      std::reverse(value, value + 8);
    }
  }
  writeFile(dir / "big.gsb", data);
  const std::string points = "A 50.1 10.2\nB 52.7 7.3\n";
  const auto little = shift("/usr/share/proj/BETA2007.gsb", points, false);
  const auto big = shift(dir / "big.gsb", points, false);
  ASSERT_EQ(big.size(), 2u);
  EXPECT_EQ(big, little);
}

// A longitude written a whole circle away is the same longitude: the grid
// holds it (PROJ shifts it too).
TEST_F(GridShift, longitudes_a_circle_away_are_the_same) {
  const auto out = shift("/usr/share/proj/BETA2007.gsb", "A 52.5 13.4\nW 52.5 373.4\nV 52.5 -346.6\n", false);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out.at("W"), out.at("A"));
  EXPECT_EQ(out.at("V"), out.at("A"));
  EXPECT_EQ(result.pointsLeftOut, 0);
}

// At the edges: a point within 1e-4 of a cell outside an edge keeps the
// edge's shift (1e-6″ dropped points a fraction of a millimetre outside),
// one a thousandth of a cell outside is left out; and the inverse whose
// iteration leaves the grid at its east edge gives what PROJ gives (cct -I
// +proj=hgridshift +grids=BETA2007.gsb: 51.0012105049 15.6685596180; the
// first-order answer stood centimetres away).
TEST_F(GridShift, edges_follow_proj) {
  const std::filesystem::path grid = "/usr/share/proj/BETA2007.gsb";
  // The south edge is 47°; a cell is 0.1° high.
  const auto near = shift(grid, "IN 46.999995 10.0\nOUT 46.9999 10.0\n", false);
  EXPECT_EQ(near.count("IN"), 1u);
  EXPECT_EQ(near.count("OUT"), 0u);
  EXPECT_EQ(result.pointsLeftOut, 1);
  const auto back = shift(grid, "E1 51.0 15.6665\n", true);
  ASSERT_EQ(back.count("E1"), 1u);
  EXPECT_NEAR(back.at("E1").first, 51.0012105049, 1e-9);
  EXPECT_NEAR(back.at("E1").second, 15.6685596180, 1e-9);
}

// A parent with two children: the first sub-grid by default (and the run
// says how many points a finer grid holds), the deepest with "finest"; a
// point on a child's edge belongs to the child.
TEST_F(GridShift, finest_sub_grids_are_used_on_request) {
  auto constant = [](int columns, int rows, float lat, float lon) {
    return std::vector<std::array<float, 4>>(static_cast<std::size_t>(columns * rows), {lat, lon, 0, 0});
  };
  // Arc seconds: parent 50°–51° N, 8°–10° E (positive west: −36000…−28800).
  const std::vector<SubGridSpec> grids = {
      {"PARENT", "NONE", 180000, 183600, -36000, -28800, 600, 600, constant(13, 7, 1.0f, 2.0f)},
      {"CHILD1", "PARENT", 180600, 181800, -34800, -33600, 300, 300, constant(5, 5, 5.0f, 6.0f)},
      {"CHILD2", "PARENT", 182400, 183000, -30000, -29400, 300, 300, constant(3, 3, 7.0f, 8.0f)},
  };
  writeFile(dir / "multi.gsb", binaryGrid(grids));
  writeFile(dir / "multi.txt", asciiGrid(grids));
  // Inside child 1, on child 1's edge, inside child 2, parent only.
  const std::string points = "C1 50.25 9.55\nEDGE 50.1666666666667 9.5\nC2 50.75 8.25\nP 50.9 8.9\n";
  for (const char* file : {"multi.gsb", "multi.txt"}) {
    SCOPED_TRACE(file);
    auto first = shift(dir / file, points, false);
    EXPECT_NEAR(first["C1"].first, 50.25 + 1.0 / 3600, 1e-9);
    EXPECT_EQ(result.pointsInFinerGrids, 3);
    EXPECT_EQ(host.messages, std::vector<int>{str::FinerGridsIgnored});
    auto finest = shift(dir / file, points, false, true);
    EXPECT_NEAR(finest["C1"].first, 50.25 + 5.0 / 3600, 1e-9);
    EXPECT_NEAR(finest["C1"].second, 9.55 - 6.0 / 3600, 1e-9) << "longitude shifts are positive west";
    EXPECT_NEAR(finest["EDGE"].first, 50.1666666666667 + 5.0 / 3600, 1e-9) << "the edge belongs to the child";
    EXPECT_NEAR(finest["C2"].first, 50.75 + 7.0 / 3600, 1e-9);
    EXPECT_NEAR(finest["P"].first, 50.9 + 1.0 / 3600, 1e-9);
  }
}

// What the ASCII reader must take and refuse: a header value after as many
// characters as the key has, whatever they are; blank lines between header
// lines but not between node lines; a grid whose nodes do not fill its
// bounds; a point on a node and on the west and north edges; a height
// column dropped from the output.
TEST_F(GridShift, ascii_rules_and_refusals) {
  std::vector<std::array<float, 4>> nodes;
  for (int i = 0; i < 9; ++i) nodes.push_back({static_cast<float>(i), static_cast<float>(10 * i), 0, 0});
  const std::vector<SubGridSpec> grid = {{"G", "NONE", 180000, 180600, -36000, -35400, 300, 300, nodes}};
  std::string text = asciiGrid(grid);
  // Another spelling of the key, and blank lines between header lines.
  text.replace(text.find("GS_TYPE SECONDS"), 15, "gs_typ\tSECONDS");
  text.insert(text.find("VERSION"), "\n\n");
  writeFile(dir / "g.txt", text);
  NTv2Grid loaded;
  ASSERT_EQ(loaded.Load(dir / "g.txt", host), 0);
  EXPECT_EQ(loaded.gsType, "SECONDS");
  // Node 4 (middle) at 50°05′ N, 9°55′ E; the north-west corner node 8.
  const auto out = shift(dir / "g.txt", "ON 50.0833333333333 9.91666666666667 77.5\nNW 50.1666666666667 9.8333333333333\n",
                         false);
  EXPECT_NEAR(out.at("ON").first, 50.0833333333333 + 4.0 / 3600, 1e-9);
  EXPECT_NEAR(out.at("ON").second, 9.91666666666667 - 40.0 / 3600, 1e-9);
  EXPECT_NEAR(out.at("NW").first, 50.1666666666667 + 8.0 / 3600, 1e-9) << "west and north edge: its own node";
  EXPECT_EQ(readFile(dir / "out.txt").find("77.5"), std::string::npos) << "the height is not written";

  const struct {
    const char* what;
    std::function<std::string()> make;
    int result;
    int message;
  } refusals[] = {
      {"blank line between node lines",
       [&] {
         std::string t = asciiGrid(grid);
         t.insert(t.find("4 40"), "\n");
         return t;
       },
       -1001, str::GridNodesShort},
      {"header ends early", [&] { return std::string("NUM_OREC 11\nNUM_SREC 11\n"); }, -1001, str::GridHeaderShort},
      {"fewer nodes than the bounds need",
       [&] {
         std::vector<SubGridSpec> g = grid;
         g[0].nodes.resize(6);
         return binaryGrid(g);
       },
       -1001, str::GridNodesMissing},
      // A header that contradicts its nodes shifted points by tens of
      // metres: an increment doubled, an infinite one.
      {"an increment the nodes contradict",
       [&] {
         std::vector<SubGridSpec> g = grid;
         g[0].latInc = 600;
         return binaryGrid(g);
       },
       -1001, str::GridNodesContradict},
      {"an infinite increment",
       [&] {
         std::vector<SubGridSpec> g = grid;
         g[0].latInc = std::numeric_limits<double>::infinity();
         return binaryGrid(g);
       },
       -1001, str::GridIncrementUnusable},
      {"a node shift that is no number",
       [&] {
         std::vector<SubGridSpec> g = grid;
         g[0].nodes[5][1] = std::numeric_limits<float>::quiet_NaN();
         return binaryGrid(g);
       },
       -1001, str::GridShiftNotNumber},
      {"an unknown unit",
       [&] {
         std::string t = asciiGrid(grid);
         t.replace(t.find("GS_TYPE SECONDS"), 15, "GS_TYPE RADIANS");
         return t;
       },
       -1001, str::GridUnitUnknown},
  };
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.what);
    writeFile(dir / "bad.txt", r.make());
    host.messages.clear();
    NTv2Grid bad;
    EXPECT_EQ(bad.Load(dir / "bad.txt", host), r.result);
    EXPECT_EQ(host.messages, std::vector<int>{r.message});
  }
  NTv2Grid missing;
  EXPECT_EQ(missing.Load(dir / "none.gsb", host), -1000);

  // The same grid in minutes (read as seconds before: 60 times wrong), and
  // a binary grid whose first record counts 12 overview records (taken for
  // ASCII before) shift the point alike.
  std::vector<SubGridSpec> minutes = grid;
  minutes[0].south /= 60, minutes[0].north /= 60, minutes[0].east /= 60, minutes[0].west /= 60;
  minutes[0].latInc /= 60, minutes[0].lonInc /= 60;
  for (auto& node : minutes[0].nodes) node[0] /= 60, node[1] /= 60;
  std::string inMinutes = asciiGrid(minutes);
  inMinutes.replace(inMinutes.find("GS_TYPE SECONDS"), 15, "GS_TYPE MINUTES");
  writeFile(dir / "minutes.txt", inMinutes);
  std::string twelve = binaryGrid(grid);
  const std::int32_t records = 12;
  std::memcpy(twelve.data() + 8, &records, 4);
  twelve.insert(11 * 16, textRecord("EXTRA", "RECORD"));
  writeFile(dir / "twelve.gsb", twelve);
  for (const char* file : {"minutes.txt", "twelve.gsb"}) {
    SCOPED_TRACE(file);
    const auto moved = shift(dir / file, "ON 50.0833333333333 9.91666666666667\n", false);
    ASSERT_EQ(moved.count("ON"), 1u);
    EXPECT_NEAR(moved.at("ON").first, 50.0833333333333 + 4.0 / 3600, 1e-7);
    EXPECT_NEAR(moved.at("ON").second, 9.91666666666667 - 40.0 / 3600, 1e-7);
  }
}

// Some writers pad texts with NUL bytes instead of blanks: the names end
// there. The header text, which the viewer shows for a binary grid, names
// them and counts the nodes instead of showing them.
TEST_F(GridShift, names_padded_with_nul_end_there_and_the_header_reads_as_text) {
  const std::vector<std::array<float, 4>> nodes(9, {1.0f, 2.0f, 0, 0});
  std::string data = binaryGrid({{"G", "NONE", 180000, 180600, -36000, -35400, 300, 300, nodes}});
  const std::size_t systemFrom = 5 * 16 + 8;  // the sixth record's value
  data.replace(systemFrom, 8, std::string("DHDN90\0\0", 8));
  writeFile(dir / "nul.gsb", data);
  EXPECT_TRUE(IsBinaryGrid(data));
  NTv2Grid grid;
  ASSERT_EQ(grid.Load(dir / "nul.gsb", host), 0);
  EXPECT_EQ(grid.systemFrom, "DHDN90");
  const std::string header = grid.HeaderText();
  for (const char* line : {"SYSTEM_F DHDN90\n", "GS_TYPE  SECONDS\n", "GS_COUNT 9\n", "  (9 node records: 3 rows of 3)\n"}) {
    EXPECT_NE(header.find(line), std::string::npos) << line << header;
  }
  EXPECT_EQ(header.find('\0'), std::string::npos);
}

TEST_F(GridShift, a_cancelled_run_leaves_the_old_output_byte_for_byte) {
  std::string input;
  for (int i = 0; i < 300; ++i) input += "P" + std::to_string(i) + " 52.5 13.4\n";
  writeFile(dir / "in.txt", input);
  writeFile(dir / "out.txt", "kept\n");
  GridShiftJob job{"/usr/share/proj/BETA2007.gsb", dir / "in.txt", dir / "out.txt", false, false};
  host.cancelAfterSteps = 100;
  EXPECT_FALSE(RunGridShift(job, host, &result));
  EXPECT_EQ(readFile(dir / "out.txt"), "kept\n");
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace pelmar
