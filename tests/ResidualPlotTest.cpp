#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/StringIds.h"
#include "estimation/EstimationJob.h"
#include "estimation/ResidualPlot.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

// The shipped English texts, so that the plot's words can be found.
LanguageTable englishTable() {
  LanguageTable table;
  std::string error;
  EXPECT_TRUE(table.load(test::binDir() / "LangEN.lng", error)) << error;
  return table;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

IdenticalPoint point(const char* name, double y, double x, double z, double dY, double dX, double dZ) {
  IdenticalPoint p;
  p.name = name;
  p.sourceY = p.targetY = y;
  p.sourceX = p.targetX = x;
  p.sourceZ = p.targetZ = z;
  p.dY = dY;
  p.dX = dX;
  p.dZ = dZ;
  return p;
}

PointVerdict verdict(bool outlier) { return {outlier, true}; }

TEST(ResidualPlot, plane_points_show_east_north_and_only_the_flagged_ones_are_outliers) {
  const std::vector<IdenticalPoint> identical = {point("A", 100.0, 200.0, 0.0, 0.002, -0.001, 0.0),
                                                 point("B", 300.0, 250.0, 0.0, -0.010, 0.004, 0.0)};
  const ResidualPlot plot = PlanePlot(str::ListSimilarity, identical, {verdict(false), verdict(true)});
  ASSERT_EQ(plot.points.size(), 2u);
  EXPECT_DOUBLE_EQ(plot.points[1].east, 300.0) << "Y is the easting";
  EXPECT_DOUBLE_EQ(plot.points[1].north, 250.0);
  EXPECT_DOUBLE_EQ(plot.points[1].dEast, -0.010);
  EXPECT_DOUBLE_EQ(plot.points[1].dNorth, 0.004);
  EXPECT_FALSE(plot.points[0].flagged);
  EXPECT_TRUE(plot.points[1].flagged);
  EXPECT_TRUE(plot.hasPlanView());
  EXPECT_FALSE(plot.hasHeights()) << "the plane has no heights";
}

// Earth-centred points are seen in their horizon: at latitude 0°,
// longitude 90° east is −X, north +Z, up +Y.
TEST(ResidualPlot, earth_centred_residuals_turn_into_east_north_and_up) {
  const double r = 6378137.0;
  std::vector<IdenticalPoint> identical = {point("P1", r, 0.0, 0.0, 0.0, 0.0, 0.0),
                                           point("P2", r, 0.0, 1000.0, 0.0, 0.0, 0.0),
                                           point("P3", r, 1000.0, 0.0, 0.0, 0.0, 0.0)};
  // point() takes c2 (targetY) before c1 (targetX): these stand at X = 0, Y = r.
  identical[0].dX = -0.004;  // along −X: east
  identical[1].dZ = 0.003;   // along +Z: north
  identical[2].dY = 0.005;   // along +Y: up
  const ResidualPlot plot = SpatialPlot(str::ListHelmert, identical, {verdict(false), verdict(false), verdict(false)});
  ASSERT_TRUE(plot.localHorizon);
  EXPECT_NEAR(plot.points[0].dEast, 0.004, 1e-6);
  EXPECT_NEAR(plot.points[0].dNorth, 0.0, 1e-6);
  EXPECT_NEAR(plot.points[1].dNorth, 0.003, 1e-6);
  EXPECT_NEAR(plot.points[1].dHeight, 0.0, 1e-6);
  EXPECT_NEAR(plot.points[2].dHeight, 0.005, 1e-6);
  EXPECT_NEAR(plot.points[2].dEast, 0.0, 1e-6);
  // Positions in the tangent plane: P2 lies 1 km north of P1.
  EXPECT_NEAR(plot.points[1].north - plot.points[0].north, 1000.0, 0.2);
}

TEST(ResidualPlot, local_spatial_coordinates_take_the_second_as_east_and_the_third_as_height) {
  const std::vector<IdenticalPoint> identical = {point("A", 500.0, 100.0, 10.0, 0.001, 0.002, 0.003),
                                                 point("B", 800.0, 400.0, 12.0, 0.0, 0.0, -0.004)};
  const ResidualPlot plot = SpatialPlot(str::ListHelmert, identical, {verdict(false), verdict(false)});
  EXPECT_FALSE(plot.localHorizon);
  EXPECT_DOUBLE_EQ(plot.points[0].east, 500.0);
  EXPECT_DOUBLE_EQ(plot.points[0].north, 100.0);
  EXPECT_DOUBLE_EQ(plot.points[0].dEast, 0.001);
  EXPECT_DOUBLE_EQ(plot.points[0].dNorth, 0.002);
  EXPECT_DOUBLE_EQ(plot.points[1].dHeight, -0.004);
}

TEST(ResidualPlot, ellipsoidal_points_are_placed_by_ground_distance_and_keep_their_kinds) {
  const double a = 6378137.0;
  const std::vector<GeographicPlotPoint> points = {
      {"N1", 52.0, 10.0, true, 0.01, 0.02, true, 0.03, false},
      {"N2", 52.01, 10.0, true, 0.0, 0.0, false, 0.0, false},
      {"H1", 52.0, 10.01, false, 0.0, 0.0, true, -0.02, true},
  };
  const ResidualPlot plot = EllipsoidalPlot(str::ListEllipsoidal, points, a);
  const double degree = a * std::atan(1.0) / 45.0;
  EXPECT_NEAR(plot.points[1].north - plot.points[0].north, 0.01 * degree, 1e-6);
  EXPECT_NEAR(plot.points[2].east - plot.points[0].east, 0.01 * degree * std::cos(52.0033333 * std::atan(1.0) / 45.0),
              1e-2);
  EXPECT_FALSE(plot.points[1].hasHeight);
  EXPECT_FALSE(plot.points[2].hasPlan) << "a height-only point has no vector";
  EXPECT_TRUE(plot.points[2].flagged);
}

TEST(ResidualPlot, the_plot_goes_beside_the_report_with_the_svg_extension) {
  EXPECT_EQ(PlotPathBesideReport("/data/run.aus"), std::filesystem::path("/data/run.svg"));
  EXPECT_EQ(PlotPathBesideReport("report"), std::filesystem::path("report.svg"));
  EXPECT_TRUE(PlotPathBesideReport("-").empty()) << "no plot beside a report on standard output";
}

TEST(ResidualPlotSvg, names_and_colours_the_flagged_point_and_escapes_names) {
  const LanguageTable table = englishTable();
  const std::vector<IdenticalPoint> identical = {point("P&1<", 100.0, 200.0, 0.0, 0.002, -0.001, 0.0),
                                                 point("M\xfc" "2", 300.0, 250.0, 0.0, 0.003, 0.004, 0.0),
                                                 point("B7", 200.0, 400.0, 0.0, -0.0123, 0.0, 0.0)};
  const std::string svg =
      ResidualPlotSvg(PlanePlot(str::ListSimilarity, identical, {verdict(false), verdict(false), verdict(true)}), table);
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
  EXPECT_EQ(count(svg, "<text"), count(svg, "</text>"));
  EXPECT_NE(svg.find(">P&amp;1&lt;</text>"), std::string::npos) << "names are escaped";
  EXPECT_NE(svg.find(">M\xc3\xbc" "2</text>"), std::string::npos) << "Windows-1252 names become UTF-8";
  EXPECT_NE(svg.find("fill=\"#d3261f\" font-weight=\"bold\">B7</text>"), std::string::npos)
      << "the flagged point is named in the warning colour";
  EXPECT_NE(svg.find("gross error (T above F): 1 point"), std::string::npos);
  EXPECT_EQ(svg.find(table.text(str::PlotHeights)), std::string::npos) << "no height strip in the plane";
}

// Points the redundancy left untested are not called accepted.
// Above 5,000 points every flagged point is drawn and an even sample of the
// others, and the plot says how many of how many.
TEST(ResidualPlotSvg, a_large_network_draws_every_flagged_point_and_a_stated_sample) {
  const LanguageTable table = englishTable();
  std::vector<IdenticalPoint> identical;
  std::vector<PointVerdict> tests;
  for (int i = 0; i < 12000; ++i) {
    identical.push_back(point("P", 1000.0 * (i % 100), 1000.0 * (i / 100), 0, 0.001, -0.001, 0));
    tests.push_back(verdict(i == 7 || i == 8001));
  }
  const std::string svg = ResidualPlotSvg(PlanePlot(0, identical, tests), table);
  // 11,998 others, room for 4,998: one in 3, so 4,000 of them and the 2 flagged.
  EXPECT_EQ(count(svg, "<circle id="), 4002u);
  EXPECT_NE(svg.find("<circle id=\"p7\""), std::string::npos);
  EXPECT_NE(svg.find("<circle id=\"p8001\""), std::string::npos);
  EXPECT_NE(svg.find(table.format(str::PlotThinned, {4002, 12000, 3})), std::string::npos);
}

TEST(ResidualPlotSvg, untested_points_are_counted_in_the_legend) {
  const LanguageTable table = englishTable();
  const std::vector<IdenticalPoint> identical = {point("A", 100.0, 200.0, 0.0, 0.002, -0.001, 0.0),
                                                 point("B", 300.0, 250.0, 0.0, -0.010, 0.004, 0.0)};
  PointVerdict untested = verdict(false);
  untested.tested = false;
  const std::string svg = ResidualPlotSvg(PlanePlot(str::ListSimilarity, identical, {untested, untested}), table);
  EXPECT_NE(svg.find(">identical point: 2 not tested</text>"), std::string::npos);
  EXPECT_EQ(svg.find(table.text(str::PlotAccepted)), std::string::npos);
}

// The scale bars give round lengths not above the largest residual, in
// millimetres, and the points' bar a round length in metres or kilometres.
TEST(ResidualPlotSvg, scale_bars_carry_round_lengths_in_millimetres_and_metres) {
  const LanguageTable table = englishTable();
  const struct {
    double largest;  // metres
    const char* residualBar;
  } cases[] = {{0.0123, "residuals: 10 mm"}, {0.0007, "residuals: 0.5 mm"}, {0.26, "residuals: 200 mm"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.residualBar);
    const std::vector<IdenticalPoint> identical = {point("A", 0.0, 0.0, 0.0, c.largest, 0.0, 0.0),
                                                   point("B", 4000.0, 3000.0, 0.0, 0.0, 0.0, 0.0)};
    const std::string svg = ResidualPlotSvg(PlanePlot(0, identical, {verdict(false), verdict(false)}), table);
    EXPECT_NE(svg.find(c.residualBar), std::string::npos) << svg;
    EXPECT_NE(svg.find("points: 1 km"), std::string::npos) << svg;
  }
}

TEST(ResidualPlotSvg, heights_get_their_strip_with_a_millimetre_scale) {
  const LanguageTable table = englishTable();
  const std::vector<IdenticalPoint> identical = {point("A", 500.0, 100.0, 10.0, 0.001, 0.002, 0.0031),
                                                 point("B", 800.0, 400.0, 12.0, 0.0, 0.0, -0.004)};
  const std::string svg = ResidualPlotSvg(SpatialPlot(str::ListHelmert, identical, {verdict(false), verdict(true)}), table);
  EXPECT_NE(svg.find(table.text(str::PlotHeights)), std::string::npos);
  EXPECT_NE(svg.find(">2 mm</text>"), std::string::npos) << "the height bar: round, not above 4 mm";
  EXPECT_EQ(count(svg, ">B</text>"), 2u) << "the flagged point is named in the plan and in the strip";
}

}  // namespace
}  // namespace pelmar
