#include "geodesy/GeodeticBatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "app/StringIds.h"
#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::RecordingHost;
using test::TempDir;
using test::writeFile;

const EllipsoidRecord kBessel{"Bessel", 6377397.155, 6356078.962818};
const EllipsoidRecord kWgs84{"WGS84", 6378137.0, 6356752.314245};

// The difference of two angles in degrees, modulo 360.
double angleDifference(double a, double b) { return std::remainder(a - b, 360.0); }

std::vector<std::vector<double>> numbersOfLines(const std::string& text, std::size_t skip) {
  std::vector<std::vector<double>> rows;
  std::istringstream lines(text);
  std::string line;
  for (std::size_t i = 0; std::getline(lines, line); ++i) {
    if (i < skip) continue;
    std::istringstream fields(line);
    std::string name;
    fields >> name;
    std::vector<double> values;
    double v = 0.0;
    while (fields >> v) values.push_back(v);
    rows.push_back(values);
  }
  return rows;
}

class Geodesy : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host.table.load(test::binDir() / "LangEN.lng", error)) << error;
    ASSERT_TRUE(ellipsoids.Open(test::binDir()));
    ASSERT_TRUE(projections.Open(test::binDir()));
  }
  std::string run(GeodeticTask task, const std::string& input, const EllipsoidRecord& e, int format = 0, int g = 12,
                   int k = 6) {
    writeFile(dir / "in.txt", input);
    GeodeticJob job{dir / "in.txt", dir / "out.txt", {}, e, task};
    job.settings.formatGeographic = format;
    job.settings.decimalsGeographic = g;
    job.settings.decimalsCartesian = k;
    host.messages.clear();
    result = {};
    EXPECT_TRUE(RunGeodeticTask(job, ellipsoids, projections, host, &result));
    return readFile(dir / "out.txt");
  }
  TempDir dir;
  RecordingHost host;
  EllipsoidLibrary ellipsoids;
  ProjectionLibrary projections;
  GeodeticResult result;
};

// GeodSolve -E (exact) on Bessel and WGS84, lines from 1 mm to 20,000 km,
// over the poles, along the equator and near the antipode (commands in the
// reference files): 1e-9° and 1 µm.
TEST_F(Geodesy, agrees_with_geodsolve) {
  for (const EllipsoidRecord& e : {kBessel, kWgs84}) {
    SCOPED_TRACE(e.name);
    std::string direct, inverse, arc, latitude;
    std::vector<std::vector<double>> expected[4];
    std::istringstream lines(readFile(test::sourceDir() / "tests" / "reference" / ("geodesy-" + e.name + ".txt")));
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string kind;
      fields >> kind;
      std::vector<double> v;
      double x = 0.0;
      while (fields >> x) v.push_back(x);
      const std::string id = "Q" + std::to_string(n++);
      char text[200];
      if (kind == "direct") {
        std::snprintf(text, sizeof text, "%s %.9f %.9f %.9f %.6f\n", id.c_str(), v[0], v[1], v[2], v[3]);
        direct += text;
        expected[0].push_back(v);
      } else if (kind == "inverse") {
        std::snprintf(text, sizeof text, "%s %.9f %.9f %.9f %.9f\n", id.c_str(), v[0], v[1], v[2], v[3]);
        inverse += text;
        expected[1].push_back(v);
      } else if (kind == "arc") {
        std::snprintf(text, sizeof text, "%s %.9f\n", id.c_str(), v[0]);
        arc += text;
        expected[2].push_back(v);
      } else if (kind == "latitude") {
        std::snprintf(text, sizeof text, "%s %.10f\n", id.c_str(), v[0]);
        latitude += text;
        expected[3].push_back(v);
      }
    }
    const auto d = numbersOfLines(run(GeodeticTask::Direct, direct, e), 2);
    ASSERT_EQ(d.size(), expected[0].size());
    for (std::size_t i = 0; i < d.size(); ++i) {
      const auto& x = expected[0][i];
      EXPECT_NEAR(d[i][2], x[4], 1e-9) << i;
      EXPECT_NEAR(angleDifference(d[i][3], x[5]), 0.0, 1e-9) << i;
      EXPECT_NEAR(angleDifference(d[i][5], x[6]), 0.0, 1e-9) << i;
    }
    const auto v = numbersOfLines(run(GeodeticTask::Inverse, inverse, e), 2);
    ASSERT_EQ(v.size(), expected[1].size());
    for (std::size_t i = 0; i < v.size(); ++i) {
      const auto& x = expected[1][i];
      EXPECT_NEAR(v[i][6], x[6], 1e-6) << i;
      // Near the antipode the azimuths are not unique; the distance is.
      const bool antipodal = std::fabs(std::fabs(angleDifference(x[3], x[1])) - 180.0) < 1.0 && std::fabs(x[0] + x[2]) < 1.0;
      if (antipodal) continue;
      EXPECT_NEAR(angleDifference(v[i][4], x[4]), 0.0, 1e-9) << i;
      EXPECT_NEAR(angleDifference(v[i][5], x[5]), 0.0, 1e-9) << i;
    }
    const auto a = numbersOfLines(run(GeodeticTask::ArcLength, arc, e), 0);
    ASSERT_EQ(a.size(), expected[2].size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      const double signedArc = std::copysign(expected[2][i][1], expected[2][i][0]);
      EXPECT_NEAR(a[i][0], signedArc, 1e-6) << i;
    }
    const auto b = numbersOfLines(run(GeodeticTask::LatitudeFromArc, latitude, e, 0, 12, 10), 0);
    ASSERT_EQ(b.size(), expected[3].size());
    for (std::size_t i = 0; i < b.size(); ++i) EXPECT_NEAR(b[i][0], expected[3][i][1], 1e-9) << i;
  }
}

// Lines with another count of fields are skipped (and told); lines the
// library cannot compute are left out, counted and the first named, never
// written with stale numbers; a file of comments gives the header alone
// (tasks 0, 1) or nothing (tasks 2, 3).
TEST_F(Geodesy, what_is_skipped_and_what_is_left_out) {
  const std::string text = run(GeodeticTask::Direct,
                               "# comment\nA 50 10 45 1000\nB 50 10 45 1000 12.5\nC 95 10 45 1000\nD 50 10\n", kWgs84);
  EXPECT_EQ(numbersOfLines(text, 2).size(), 1u);
  EXPECT_EQ(result.linesUnreadable, 2);
  EXPECT_EQ(result.linesLeftOut, 1);
  EXPECT_EQ(result.firstLeftOut, "C");
  EXPECT_EQ(host.messages, (std::vector<int>{str::LinesUnreadable, str::LinesNotComputed}));
  // A distance many times round the Earth is a typing error, not a line.
  run(GeodeticTask::Direct, "HUGE 40 10 30 1e308\nOK 40 10 30 1000\n", kWgs84);
  EXPECT_EQ(result.linesWritten, 1);
  EXPECT_EQ(result.firstLeftOut, "HUGE");
  // Given seconds are echoed rounded at the printed decimals: no "60".
  const std::string echoed = run(GeodeticTask::Inverse, "A -0 30 0 10 0 0 0 59 59.9999999 0 0 0\n", kWgs84, 1, 5, 3);
  EXPECT_EQ(echoed.find("60.00000"), std::string::npos) << echoed;
  // An arc beyond the pole has no latitude.
  run(GeodeticTask::LatitudeFromArc, "FAR 20000000\nNEAR 1000\n", kWgs84);
  EXPECT_EQ(result.linesWritten, 1);
  EXPECT_EQ(result.firstLeftOut, "FAR");
  // Absurd angles are left out, counted and named (1e308 gave a line of 459
  // characters): latitudes beyond ±90°, longitudes and azimuths beyond ±1e6°.
  const struct {
    GeodeticTask task;
    const char* line;
  } absurd[] = {{GeodeticTask::Direct, "X 50 10 1e308 1000\n"},  {GeodeticTask::Direct, "X 50 1e308 30 1000\n"},
                {GeodeticTask::Inverse, "X 50 1e308 50 10\n"},    {GeodeticTask::Inverse, "X 50 10 91 10\n"},
                {GeodeticTask::ArcLength, "X 90.5\n"}};
  for (const auto& c : absurd) {
    SCOPED_TRACE(c.line);
    run(c.task, c.line, kWgs84);
    EXPECT_EQ(result.linesWritten, 0);
    EXPECT_EQ(result.linesLeftOut, 1);
  }
  // The latitude from an arc is an angle: printed with the angle decimals
  // (the length decimals, 3, gave 0.001°, about 111 m).
  const std::string latitude = run(GeodeticTask::LatitudeFromArc, "G1 5540000.123\n", kWgs84, 0, 8, 3);
  const std::size_t point = latitude.find("49.");
  ASSERT_NE(point, std::string::npos) << latitude;
  EXPECT_EQ(latitude.find_first_not_of("0123456789", point + 3) - (point + 3), 8u) << latitude;
  EXPECT_EQ(run(GeodeticTask::Inverse, "# only comments\n; and more\n", kWgs84), GeodeticHeader(false));
  EXPECT_EQ(run(GeodeticTask::ArcLength, "# only comments\n", kWgs84), "");
}

// The reviewed golden files: header, rule and lines of both angle forms,
// given angles echoed as read (a "-0" keeps its sign), computed ones
// rounded and carried so that no second prints as 60.
TEST_F(Geodesy, lines_match_the_reviewed_golden_files) {
  const std::filesystem::path golden = test::sourceDir() / "tests" / "golden";
  const struct {
    GeodeticTask task;
    int format;
    const char* input;
    const char* file;
  } cases[] = {
      {GeodeticTask::Inverse, 0, "P1 50 10 51 11\nP2 -0.5 -179.5 0.5 179.5\n", "geodesy-inverse.txt"},
      {GeodeticTask::Inverse, 1, "P1 50 0 0 10 0 0 51 0 0 11 0 0\nP2 -0 30 0 -179 30 0 0 30 0 179 30 0\nP3 50 10 51 11\n",
       "geodesy-inverse-dms.txt"},
      {GeodeticTask::Direct, 1, "P1 50 0 0 10 0 0 45 0 0 100000\n", "geodesy-direct-dms.txt"},
      {GeodeticTask::LatitudeFromArc, 1, "G1 5540847.041\n", "geodesy-latitude-dms.txt"},
      {GeodeticTask::ArcLength, 0, "B1 50\n", "geodesy-arc.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string out = run(c.task, c.input, kBessel, c.format, 5, 3);
    if (std::getenv("PELMAR_UPDATE_GOLDEN") != nullptr) writeFile(golden / c.file, out);
    EXPECT_EQ(out, readFile(golden / c.file));
    EXPECT_EQ(out.find("60.00000"), std::string::npos);
  }
  EXPECT_EQ(GeodeticHeader(true).find('\n'), 204u);
  EXPECT_EQ(GeodeticHeader(false).find('\n'), 162u);
}

TEST_F(Geodesy, a_cancelled_run_leaves_the_old_output_byte_for_byte) {
  std::string input;
  for (int i = 0; i < 500; ++i) input += "P" + std::to_string(i) + " 50.5\n";
  writeFile(dir / "in.txt", input);
  writeFile(dir / "out.txt", "kept\n");
  GeodeticJob job{dir / "in.txt", dir / "out.txt", {}, {"Bessel", 6377397.155, 6356078.962818},
                  GeodeticTask::ArcLength};
  host.cancelAfterSteps = 200;
  EXPECT_FALSE(RunGeodeticTask(job, ellipsoids, projections, host, &result));
  EXPECT_EQ(readFile(dir / "out.txt"), "kept\n");
  EXPECT_EQ(result.linesWritten, 0) << "a cancelled run hands back no counts";
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace pelmar
