#include "estimation/ResidualPlot.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

#include "app/JobHost.h"
#include "estimation/EstimationJob.h"
#include "app/LanguageTable.h"
#include "app/StringIds.h"
#include "io/FileAccess.h"
#include "io/OutputFile.h"
#include "text/TextEncoding.h"

namespace pelmar {

bool ResidualPlot::hasPlanView() const {
  return std::any_of(points.begin(), points.end(), [](const PlotPoint& p) { return p.hasPlan; });
}

bool ResidualPlot::hasHeights() const {
  return std::any_of(points.begin(), points.end(), [](const PlotPoint& p) { return p.hasHeight; });
}

std::vector<PointVerdict> VerdictsOf(const std::vector<PointTest>& tests) {
  std::vector<PointVerdict> verdicts;
  verdicts.reserve(tests.size());
  for (const PointTest& t : tests) verdicts.push_back({t.outlier, t.tested});
  return verdicts;
}

ResidualPlot PlanePlot(int titleId, const std::vector<IdenticalPoint>& identical,
                       const std::vector<PointVerdict>& verdicts) {
  ResidualPlot plot;
  plot.titleId = titleId;
  plot.points.reserve(identical.size());
  for (std::size_t i = 0; i < identical.size(); ++i) {
    const IdenticalPoint& p = identical[i];
    PlotPoint point;
    point.name = p.name;
    point.east = p.targetY;
    point.north = p.targetX;
    point.hasPlan = true;
    point.dEast = p.dY;
    point.dNorth = p.dX;
    point.flagged = i < verdicts.size() && verdicts[i].outlier;
    point.tested = i >= verdicts.size() || verdicts[i].tested;
    plot.points.push_back(std::move(point));
  }
  return plot;
}

namespace {

// Earth-centred coordinates: every point within the shell where the
// earth's surface lies (radii 6 357 km to 6 378 km, heights of some ten
// kilometres either way).
bool earthCentred(const std::vector<IdenticalPoint>& identical) {
  if (identical.empty()) return false;
  for (const IdenticalPoint& p : identical) {
    const double r = std::sqrt(p.targetX * p.targetX + p.targetY * p.targetY + p.targetZ * p.targetZ);
    if (!(r > 6.30e6 && r < 6.42e6)) return false;
  }
  return true;
}

struct Horizon {
  double east[3], north[3], up[3];
};

// The local horizon at the earth-centred point (x, y, z), from the
// geocentric latitude and longitude.
Horizon horizonAt(double x, double y, double z) {
  const double lambda = std::atan2(y, x);
  const double phi = std::atan2(z, std::hypot(x, y));
  const double sl = std::sin(lambda), cl = std::cos(lambda), sp = std::sin(phi), cp = std::cos(phi);
  return {{-sl, cl, 0.0}, {-sp * cl, -sp * sl, cp}, {cp * cl, cp * sl, sp}};
}

double dot(const double (&a)[3], double x, double y, double z) { return a[0] * x + a[1] * y + a[2] * z; }

}  // namespace

ResidualPlot SpatialPlot(int titleId, const std::vector<IdenticalPoint>& identical,
                         const std::vector<PointVerdict>& verdicts) {
  ResidualPlot plot;
  plot.titleId = titleId;
  plot.localHorizon = earthCentred(identical);
  // c1, c2, c3 of the files are sourceX/targetX, sourceY/targetY and
  // sourceZ/targetZ; the residuals dX, dY, dZ follow them.
  double cx = 0.0, cy = 0.0, cz = 0.0;
  for (const IdenticalPoint& p : identical) cx += p.targetX, cy += p.targetY, cz += p.targetZ;
  if (!identical.empty()) {
    const double n = static_cast<double>(identical.size());
    cx /= n, cy /= n, cz /= n;
  }
  const Horizon centre = horizonAt(cx, cy, cz);
  plot.points.reserve(identical.size());
  for (std::size_t i = 0; i < identical.size(); ++i) {
    const IdenticalPoint& p = identical[i];
    PlotPoint point;
    point.name = p.name;
    point.hasPlan = point.hasHeight = true;
    point.flagged = i < verdicts.size() && verdicts[i].outlier;
    point.tested = i >= verdicts.size() || verdicts[i].tested;
    if (plot.localHorizon) {
      const double x = p.targetX - cx, y = p.targetY - cy, z = p.targetZ - cz;
      point.east = dot(centre.east, x, y, z);
      point.north = dot(centre.north, x, y, z);
      const Horizon here = horizonAt(p.targetX, p.targetY, p.targetZ);
      point.dEast = dot(here.east, p.dX, p.dY, p.dZ);
      point.dNorth = dot(here.north, p.dX, p.dY, p.dZ);
      point.dHeight = dot(here.up, p.dX, p.dY, p.dZ);
    } else {
      point.east = p.targetY;
      point.north = p.targetX;
      point.dEast = p.dY;
      point.dNorth = p.dX;
      point.dHeight = p.dZ;
    }
    plot.points.push_back(std::move(point));
  }
  return plot;
}

ResidualPlot EllipsoidalPlot(int titleId, const std::vector<GeographicPlotPoint>& points, double semiMajorAxis) {
  ResidualPlot plot;
  plot.titleId = titleId;
  if (points.empty()) return plot;
  const double radiansPerDegree = std::atan(1.0) / 45.0;
  // Longitudes about the first point's, so that a network across ±180°
  // stays in one piece.
  auto turned = [&](double L) { return points.front().L + std::remainder(L - points.front().L, 360.0); };
  double B0 = 0.0, L0 = 0.0;
  for (const GeographicPlotPoint& p : points) B0 += p.B, L0 += turned(p.L);
  B0 /= static_cast<double>(points.size());
  L0 /= static_cast<double>(points.size());
  const double cosB0 = std::cos(B0 * radiansPerDegree);
  plot.points.reserve(points.size());
  for (const GeographicPlotPoint& p : points) {
    PlotPoint point;
    point.name = p.name;
    point.north = (p.B - B0) * radiansPerDegree * semiMajorAxis;
    point.east = (turned(p.L) - L0) * radiansPerDegree * semiMajorAxis * cosB0;
    point.hasPlan = p.hasPlan;
    point.dNorth = p.dN;
    point.dEast = p.dE;
    point.hasHeight = p.hasHeight;
    point.dHeight = p.dh;
    point.flagged = p.flagged;
    point.tested = p.tested;
    plot.points.push_back(std::move(point));
  }
  return plot;
}

std::filesystem::path PlotPathBesideReport(const std::filesystem::path& reportPath) {
  if (reportPath.empty() || IsStandardStream(reportPath)) return {};
  std::filesystem::path plot = reportPath;
  plot.replace_extension(".svg");
  return plot;
}

namespace {

constexpr const char* kPointColour = "#1d4f91";
constexpr const char* kVectorColour = "#2f7fd0";
constexpr const char* kWarningColour = "#d3261f";
constexpr const char* kTextColour = "#333333";
constexpr const char* kFrameColour = "#b9c2cc";
constexpr double kWidth = 760.0;
constexpr double kMargin = 20.0;
// Beyond this many points only the flagged ones are named, so that the
// names do not cover the picture.
constexpr std::size_t kNamedPoints = 40;
constexpr std::size_t kMostDrawn = 5000;

// A coordinate of the picture, locale-free, to a tenth of a pixel.
std::string num(double value) {
  char buffer[64];
  if (!std::isfinite(value)) value = 0.0;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  std::string text(buffer, result.ptr);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  if (text == "-0") text = "0";
  return text;
}

// Text for the SVG: UTF-8 (names in Windows-1252 converted), the five XML
// specials escaped, control characters (which XML 1.0 forbids) as "?".
std::string xml(const std::string& text) {
  const std::string utf8 = fileTextToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    }
  }
  return out;
}

// The largest of 1, 2, 5 times a power of ten that is not above `value`
// (value > 0).
double niceBelow(double value) {
  // A value a rounding below a round one (999.9999999) counts as that one.
  const double lifted = value * (1.0 + 1e-9);
  const double power = std::pow(10.0, std::floor(std::log10(lifted)));
  for (const double step : {5.0, 2.0, 1.0}) {
    if (step * power <= lifted) return step * power;
  }
  return power;
}

// A length for a scale bar's label: "0.5 mm", "20 mm", "200 m", "2 km".
std::string lengthText(double metres, bool millimetres) {
  char buffer[64];
  double value = millimetres ? metres * 1000.0 : metres;
  const char* unit = millimetres ? " mm" : " m";
  if (!millimetres && metres >= 1000.0) value = metres / 1000.0, unit = " km";
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  return std::string(buffer, result.ptr) + unit;
}

// A whole number with thin groups of three digits: 12 500.
std::string grouped(double value) {
  std::string digits = std::to_string(static_cast<long long>(std::llround(value)));
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), "\u2009");
  return digits;
}

// The picture's elements, handed to `sink` a block of whole lines at a
// time: a plot of many flagged points ran to tens of megabytes, held twice
// over. Without a sink the elements are only laid out (the height the
// document's head names is known only at the end).
class Svg {
 public:
  using Sink = std::function<void(std::string_view)>;
  explicit Svg(Sink sink) : sink_(std::move(sink)) {}
  ~Svg() { flush(); }
  Svg(const Svg&) = delete;
  Svg& operator=(const Svg&) = delete;

  void text(double x, double y, const std::string& content, double size, const char* colour, const char* anchor = "start",
            bool bold = false, double rotate = 0.0) {
    if (!sink_) return;
    body_ += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" font-size=\"" + num(size) + "\" fill=\"" + colour + "\"";
    if (std::string(anchor) != "start") body_ += std::string(" text-anchor=\"") + anchor + "\"";
    if (bold) body_ += " font-weight=\"bold\"";
    if (rotate != 0.0) body_ += " transform=\"rotate(" + num(rotate) + " " + num(x) + " " + num(y) + ")\"";
    body_ += ">" + content + "</text>\n";
    flushWhenFull();
  }
  void line(double x1, double y1, double x2, double y2, const char* colour, double width) {
    if (!sink_) return;
    body_ += "<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) +
             "\" stroke=\"" + colour + "\" stroke-width=\"" + num(width) + "\"/>\n";
    flushWhenFull();
  }
  void rect(double x, double y, double w, double h, const char* fill, const char* stroke, const std::string& id = {}) {
    if (!sink_) return;
    body_ += "<rect" + (id.empty() ? std::string() : " id=\"" + id + "\"") + " x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(w) + "\" height=\"" + num(h) +
             "\" fill=\"" + fill + "\"";
    if (stroke != nullptr) body_ += std::string(" stroke=\"") + stroke + "\"";
    body_ += "/>\n";
    flushWhenFull();
  }
  // `id` names the marker of a point ("p12": plot.points[12]), so that a
  // viewer can find it and name the point under the pointer.
  void circle(double x, double y, double r, const char* fill, const std::string& id = {}) {
    if (!sink_) return;
    body_ += "<circle" + (id.empty() ? std::string() : " id=\"" + id + "\"") + " cx=\"" + num(x) + "\" cy=\"" +
             num(y) + "\" r=\"" + num(r) + "\" fill=\"" + fill + "\"/>\n";
    flushWhenFull();
  }
  // A vector from (x1, y1) to (x2, y2) with its head; no head when it is
  // shorter than the head would be.
  void arrow(double x1, double y1, double x2, double y2, const char* colour) {
    if (!sink_) return;
    line(x1, y1, x2, y2, colour, 1.6);
    const double dx = x2 - x1, dy = y2 - y1, length = std::hypot(dx, dy);
    if (length < 4.0) return;
    const double ux = dx / length, uy = dy / length, head = std::min(8.0, length * 0.5);
    const double bx = x2 - ux * head, by = y2 - uy * head;
    body_ += "<polygon points=\"" + num(x2) + "," + num(y2) + " " + num(bx - uy * head * 0.4) + "," +
             num(by + ux * head * 0.4) + " " + num(bx + uy * head * 0.4) + "," + num(by - ux * head * 0.4) +
             "\" fill=\"" + colour + "\"/>\n";
    flushWhenFull();
  }
  // The document's head, before any element.
  void begin(double height) {
    if (!sink_) return;
    body_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(kWidth) + "\" height=\"" +
             num(height) + "\" viewBox=\"0 0 " + num(kWidth) + " " + num(height) +
             "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n"
             "<rect x=\"0\" y=\"0\" width=\"" + num(kWidth) + "\" height=\"" + num(height) + "\" fill=\"#ffffff\"/>\n";
  }
  void end() {
    if (!sink_) return;
    body_ += "</svg>\n";
    flush();
  }
  void flush() {
    if (!sink_ || body_.empty()) return;
    sink_(body_);
    body_.clear();
  }

 private:
  void flushWhenFull() {
    constexpr std::size_t kBlock = 1 << 16;
    if (body_.size() >= kBlock) flush();
  }
  Sink sink_;
  std::string body_;
};

// The plan view from `top`; returns its bottom.
double drawPlanView(Svg& svg, const ResidualPlot& plot, const std::vector<char>& drawn, const LanguageTable& table,
                    double top) {
  const double panelWidth = kWidth - 2 * kMargin;
  const double padX = 70.0, padY = 50.0;
  const double innerWidth = panelWidth - 2 * padX;
  double minE = 1e300, maxE = -1e300, minN = 1e300, maxN = -1e300, largest = 0.0;
  for (const PlotPoint& p : plot.points) {
    minE = std::min(minE, p.east), maxE = std::max(maxE, p.east);
    minN = std::min(minN, p.north), maxN = std::max(maxN, p.north);
    if (p.hasPlan) largest = std::max(largest, std::hypot(p.dEast, p.dNorth));
  }
  // A network with no extent along one axis still gets a frame to sit in.
  const double extent = std::max({maxE - minE, maxN - minN, 1e-3});
  const double extentE = std::max(maxE - minE, extent * 1e-3), extentN = std::max(maxN - minN, extent * 1e-3);
  const double innerHeight = std::clamp(innerWidth * extentN / extentE, 220.0, 440.0);
  const double scale = std::min(innerWidth / extentE, innerHeight / extentN);  // pixels per metre
  const double panelHeight = innerHeight + 2 * padY;
  const double centreX = kMargin + panelWidth / 2, centreY = top + panelHeight / 2;
  const double midE = (minE + maxE) / 2, midN = (minN + maxN) / 2;

  // The largest vector is drawn a sixth of the view's smaller side long.
  const double longest = std::max(40.0, std::min(innerWidth, innerHeight) / 6.0);
  const double residualScale = longest / (largest > 0.0 ? largest : 0.01);  // pixels per metre of residual

  svg.rect(kMargin, top, panelWidth, panelHeight, "#fbfcfd", kFrameColour);
  svg.text(kMargin + 8, top + 18, xml(table.text(plot.localHorizon ? str::PlotPlanViewHorizon : str::PlotPlanView)),
           12, kTextColour, "start", true);
  svg.text(kMargin + panelWidth - 8, top + 18,
           xml(table.format(str::PlotEnlarged, {grouped(residualScale / scale)})), 11, kTextColour, "end");
  // North up.
  const double arrowX = kMargin + panelWidth - 20, arrowY = top + 58;
  svg.arrow(arrowX, arrowY, arrowX, arrowY - 22, kTextColour);
  svg.text(arrowX, arrowY + 13, "N", 11, kTextColour, "middle", true);

  const bool nameAll = plot.points.size() <= kNamedPoints;
  for (std::size_t i = 0; i < plot.points.size(); ++i) {
    if (!drawn[i]) continue;
    const PlotPoint& p = plot.points[i];
    const double x = centreX + (p.east - midE) * scale, y = centreY - (p.north - midN) * scale;
    const char* colour = p.flagged ? kWarningColour : kVectorColour;
    if (p.hasPlan) svg.arrow(x, y, x + p.dEast * residualScale, y - p.dNorth * residualScale, colour);
    svg.circle(x, y, p.flagged ? 5.0 : 3.5, p.flagged ? kWarningColour : kPointColour, PlotMarkerId('p', i));
    if (nameAll || p.flagged) {
      svg.text(x + 7, y - 6, xml(p.name), p.flagged ? 12 : 10.5, p.flagged ? kWarningColour : kTextColour, "start",
               p.flagged);
    }
  }

  // Scale bars: millimetres for the vectors, metres for the points.
  const double barY = top + panelHeight - 16;
  const double residualBar = largest > 0.0 ? niceBelow(largest) : 0.01;
  const double residualPixels = residualBar * residualScale;
  svg.line(kMargin + 14, barY, kMargin + 14 + residualPixels, barY, kVectorColour, 3);
  svg.line(kMargin + 14, barY - 5, kMargin + 14, barY + 5, kVectorColour, 1.2);
  svg.line(kMargin + 14 + residualPixels, barY - 5, kMargin + 14 + residualPixels, barY + 5, kVectorColour, 1.2);
  svg.text(kMargin + 20 + residualPixels, barY + 4,
           xml(table.format(str::PlotResidualScale, {lengthText(residualBar, true)})), 11, kTextColour);
  const double pointBar = niceBelow(innerWidth / scale / 4.0);
  const double pointPixels = pointBar * scale;
  const double right = kMargin + panelWidth - 14;
  svg.line(right - pointPixels, barY, right, barY, kTextColour, 3);
  svg.line(right - pointPixels, barY - 5, right - pointPixels, barY + 5, kTextColour, 1.2);
  svg.line(right, barY - 5, right, barY + 5, kTextColour, 1.2);
  svg.text(right - pointPixels - 6, barY + 4, xml(table.format(str::PlotPointScale, {lengthText(pointBar, false)})),
           11, kTextColour, "end");
  return top + panelHeight;
}

// The strip of height residuals from `top`; returns its bottom.
double drawHeightStrip(Svg& svg, const ResidualPlot& plot, const std::vector<char>& drawn, const LanguageTable& table,
                       double top) {
  std::vector<const PlotPoint*> bars;
  double largest = 0.0;
  for (std::size_t i = 0; i < plot.points.size(); ++i) {
    const PlotPoint& p = plot.points[i];
    if (!p.hasHeight) continue;
    largest = std::max(largest, std::fabs(p.dHeight));
    if (drawn[i]) bars.push_back(&p);
  }
  const double panelWidth = kWidth - 2 * kMargin;
  const bool nameAll = bars.size() <= kNamedPoints;
  const double barArea = 130.0, nameArea = nameAll ? 70.0 : 30.0, head = 28.0;
  const double panelHeight = head + barArea + nameArea;
  const double zeroY = top + head + barArea / 2;
  const double reach = barArea / 2 - 8;
  const double heightScale = reach / (largest > 0.0 ? largest : 0.01);  // pixels per metre
  const double left = kMargin + 90, width = panelWidth - 110;
  const double slot = width / static_cast<double>(std::max<std::size_t>(bars.size(), 1));
  const double barWidth = std::clamp(slot * 0.6, 2.0, 22.0);

  svg.rect(kMargin, top, panelWidth, panelHeight, "#fbfcfd", kFrameColour);
  svg.text(kMargin + 8, top + 18, xml(table.text(str::PlotHeights)), 12, kTextColour, "start", true);
  svg.line(left - 6, zeroY, left + width, zeroY, kFrameColour, 1);
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const PlotPoint& p = *bars[i];
    const double x = left + slot * (static_cast<double>(i) + 0.5);
    const double h = p.dHeight * heightScale;
    svg.rect(x - barWidth / 2, h >= 0 ? zeroY - h : zeroY, barWidth, std::max(std::fabs(h), 0.5),
             p.flagged ? kWarningColour : kVectorColour, nullptr,
             PlotMarkerId('h', static_cast<std::size_t>(&p - plot.points.data())));
    if (nameAll || p.flagged) {
      svg.text(x + 3, top + head + barArea + 10, xml(p.name), p.flagged ? 11 : 10,
               p.flagged ? kWarningColour : kTextColour, "end", p.flagged, -60);
    }
  }
  // The millimetre scale: a vertical bar beside the zero line.
  const double bar = largest > 0.0 ? niceBelow(largest) : 0.01;
  const double barX = kMargin + 28;
  svg.line(barX, zeroY, barX, zeroY - bar * heightScale, kVectorColour, 3);
  svg.line(barX - 5, zeroY, barX + 5, zeroY, kVectorColour, 1.2);
  svg.line(barX - 5, zeroY - bar * heightScale, barX + 5, zeroY - bar * heightScale, kVectorColour, 1.2);
  svg.text(barX + 8, zeroY - bar * heightScale / 2 + 4, xml(lengthText(bar, true)), 11, kTextColour);
  return top + panelHeight;
}

}  // namespace

std::string PlotMarkerId(char kind, std::size_t index) { return kind + std::to_string(index); }

namespace {

// Above kMostDrawn points the plot draws every flagged point and every
// step-th of the others, and says so: a picture of a million markers is no
// picture, and its file ran to hundreds of megabytes.
struct Thinning {
  std::vector<char> drawn;
  std::size_t step = 1;
};

Thinning ThinOut(const ResidualPlot& plot) {
  const std::size_t total = plot.points.size();
  Thinning out{std::vector<char>(total, 1), 1};
  if (total > kMostDrawn) {
    const auto flaggedCount = static_cast<std::size_t>(
        std::count_if(plot.points.begin(), plot.points.end(), [](const PlotPoint& p) { return p.flagged; }));
    const std::size_t others = total - flaggedCount;
    const std::size_t room = kMostDrawn > flaggedCount ? kMostDrawn - flaggedCount : 0;
    out.step = room == 0 ? others + 1 : (others + room - 1) / room;
    std::size_t other = 0;
    for (std::size_t i = 0; i < total; ++i) {
      if (!plot.points[i].flagged) out.drawn[i] = (other++ % out.step) == 0;
    }
  }
  return out;
}

// Every element of the picture; returns the document's height.
double DrawPlot(Svg& svg, const ResidualPlot& plot, const Thinning& thinning, const LanguageTable& table) {
  const std::vector<char>& drawn = thinning.drawn;
  const std::size_t total = plot.points.size();
  // The title, and under it which estimation it was: on two lines, so that
  // the longest language fits.
  svg.text(kMargin, 26, xml(table.text(str::PlotTitle)), 15, kTextColour, "start", true);
  double y = 40.0;
  if (plot.titleId != 0) {
    svg.text(kMargin, 46, xml(table.text(plot.titleId)), 12, kTextColour);
    y = 58.0;
  }
  if (plot.hasPlanView()) y = drawPlanView(svg, plot, drawn, table, y) + 12;
  if (plot.hasHeights()) y = drawHeightStrip(svg, plot, drawn, table, y) + 12;
  if (thinning.step > 1) {
    const auto shown = static_cast<std::int64_t>(std::count(drawn.begin(), drawn.end(), 1));
    svg.text(kMargin, y + 10,
             xml(table.format(str::PlotThinned,
                              {shown, static_cast<std::int64_t>(total), static_cast<std::int64_t>(thinning.step)})),
             11, kTextColour);
    y += 18;
  }
  if (!plot.hasPlanView() && !plot.hasHeights()) {
    svg.text(kMargin, y + 20, xml(table.text(str::PlotNothing)), 12, kTextColour);
    y += 32;
  }
  // Legend.
  const std::size_t flagged =
      static_cast<std::size_t>(std::count_if(plot.points.begin(), plot.points.end(), [](const PlotPoint& p) {
        return p.flagged;
      }));
  const std::int64_t untested = std::count_if(plot.points.begin(), plot.points.end(),
                                             [](const PlotPoint& p) { return !p.tested; });
  svg.circle(kMargin + 6, y + 8, 3.5, kPointColour);
  // A point without a test is no accepted one: the legend says how many.
  svg.text(kMargin + 16, y + 12,
           xml(untested == 0 ? table.text(str::PlotAccepted) : table.format(str::PlotNotTested, {untested})), 11,
           kTextColour);
  svg.circle(kMargin + 236, y + 8, 5, kWarningColour);
  svg.text(kMargin + 246, y + 12, xml(table.format(str::PlotFlagged, {static_cast<std::int64_t>(flagged)})), 11,
           kWarningColour);
  svg.text(kWidth - kMargin, y + 12, xml(table.text(str::PlotComputedMinusGiven)), 11, kTextColour, "end");
  return y + 24;
}

}  // namespace

void WriteResidualPlotSvg(const ResidualPlot& plot, const LanguageTable& table,
                          const std::function<void(std::string_view)>& sink) {
  const Thinning thinning = ThinOut(plot);
  Svg layout{Svg::Sink()};
  const double height = DrawPlot(layout, plot, thinning, table);
  Svg svg(sink);
  svg.begin(height);
  DrawPlot(svg, plot, thinning, table);
  svg.end();
}

std::string ResidualPlotSvg(const ResidualPlot& plot, const LanguageTable& table) {
  std::string out;
  WriteResidualPlotSvg(plot, table, [&out](std::string_view text) { out += text; });
  return out;
}

bool WriteResidualPlot(const std::filesystem::path& path, const ResidualPlot& plot, JobHost& host) {
  OutputFile file;
  if (!file.open(path)) {
    // A refusal (read-only, another user's, no regular file) names its
    // reason first; every failure ends in the same message, which the
    // desktop page and the command line look for.
    if (const int reason = file.failureMessage(0); reason != 0) host.message(reason, {path.string()});
    host.message(str::ResidualPlotNotWritten, {path.string()});
    return false;
  }
  WriteResidualPlotSvg(plot, host.language(), [&file](std::string_view text) { file.write(text); });
  if (!file.commit()) {
    host.message(str::ResidualPlotNotWritten, {path.string()});
    return false;
  }
  return true;
}

}  // namespace pelmar
