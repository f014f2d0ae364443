#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

class JobHost;
class LanguageTable;
struct IdenticalPoint;
struct PointTest;

// One identical point as the residual plot shows it. Positions and
// residuals are in metres in a local frame with east and north axes; the
// origin is arbitrary (the plot centres the points).
// (The flags last: between the numbers each took eight bytes, a sixth of a
// plot of a million points.)
struct PlotPoint {
  std::string name;             // as in the files (bytes)
  double east = 0.0, north = 0.0;
  double dEast = 0.0, dNorth = 0.0;  // computed minus given
  double dHeight = 0.0;         // computed minus given
  bool hasPlan = false;         // a horizontal residual is known
  bool hasHeight = false;       // a height residual is known
  bool flagged = false;         // the gross-error test rejected the point
  bool tested = true;           // false: the redundancy left no test of the point
};

// What one estimation run hands to the plot: its identical points and which
// estimation it was (the list entry's language string).
struct ResidualPlot {
  int titleId = 0;
  bool localHorizon = false;  // spatial residuals turned into east, north, up
  std::vector<PlotPoint> points;

  bool hasPlanView() const;
  bool hasHeights() const;
};

// What the gross-error test said of an identical point: all the plot needs
// of its record (a record is 150 bytes, a million of them outlive the
// report only where a summary asks for them).
struct PointVerdict {
  bool outlier = false;
  bool tested = true;  // false: the redundancy left no test of the point
};
std::vector<PointVerdict> VerdictsOf(const std::vector<PointTest>& tests);

// The plane estimations: target Y is east, target X north; residuals dY, dX.
// `verdicts` runs parallel to `identical`.
ResidualPlot PlanePlot(int titleId, const std::vector<IdenticalPoint>& identical,
                       const std::vector<PointVerdict>& verdicts);

// The spatial estimations on files "name c1 c2 c3". Earth-centred
// coordinates (every target point between 6 300 km and 6 420 km from the
// origin) are shown in the local horizon: positions in the tangent plane at
// the points' centroid, each residual turned into east, north and up at its
// own point (the direction of the geocentric radius stands for the
// ellipsoid normal: the two part by at most 0.2°, nothing a plot shows).
// Other coordinates are taken as a local system in the surveyors' order:
// c2 (Y) east, c1 (X) north, c3 (Z) height.
ResidualPlot SpatialPlot(int titleId, const std::vector<IdenticalPoint>& identical,
                         const std::vector<PointVerdict>& verdicts);

// The ellipsoidal estimation: points by latitude and longitude (degrees),
// residuals north, east and height (metres). The plan is a local one about
// the points' mean position: north = ΔB·a, east = ΔL·a·cos B0 with the
// target ellipsoid's semi-major axis a (metres) — a picture, not a
// projection to measure in.
struct GeographicPlotPoint {
  std::string name;
  double B = 0.0, L = 0.0;
  bool hasPlan = false;
  double dN = 0.0, dE = 0.0;
  bool hasHeight = false;
  double dh = 0.0;
  bool flagged = false;
  bool tested = true;
};
ResidualPlot EllipsoidalPlot(int titleId, const std::vector<GeographicPlotPoint>& points, double semiMajorAxis);

// Where a run writes its plot beside the report: the report's name with the
// extension ".svg" in place of its own ("run.aus" -> "run.svg"); empty for
// a report on standard output.
std::filesystem::path PlotPathBesideReport(const std::filesystem::path& reportPath);

// The picture as SVG 1.1 text (UTF-8): a plan view of the points with their
// horizontal residual vectors, enlarged so that the largest is about a
// tenth of the view, a scale bar in metres for the points and one in
// millimetres for the vectors; below it, when there are heights, a strip of
// one bar per point for the height residuals with its own millimetre scale.
// Points flagged by the gross-error test are drawn in a warning colour and
// named. Texts come from `table`.
// The SVG id of point `index`'s marker: 'p' its circle in the plan view, 'h'
// its bar in the height strip.
std::string PlotMarkerId(char kind, std::size_t index);

std::string ResidualPlotSvg(const ResidualPlot& plot, const LanguageTable& table);
// The same text handed to `sink` a block of whole lines at a time.
void WriteResidualPlotSvg(const ResidualPlot& plot, const LanguageTable& table,
                          const std::function<void(std::string_view)>& sink);

// Writes the SVG to `path` (through a temporary file that replaces it only
// when complete). A failure is told (ResidualPlotNotWritten) and returns
// false; the estimation it belongs to still counts.
bool WriteResidualPlot(const std::filesystem::path& path, const ResidualPlot& plot, JobHost& host);

}  // namespace pelmar
