#include "stored/ProjPipeline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "stored/TransformationSet.h"

namespace pelmar {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerArcsecond = kPi / 648000.0;
constexpr double kRadiansPerDegree = kPi / 180.0;
// Entries of a rotation matrix that a step must reproduce (1e-12 moves a
// point 6 µm at the Earth's radius).
constexpr double kMatrixTolerance = 1e-12;

double determinant(const ProjMatrix3& m) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

double largestDifference(const ProjMatrix3& a, const ProjMatrix3& b) {
  double largest = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) largest = std::max(largest, std::fabs(a[i][j] - b[i][j]));
  }
  return largest;
}

// The angles (radians) of PROJ's rigorous coordinate-frame rotation matrix
// R(rx, ry, rz), whose last row is (sin ry, −sin rx·cos ry, cos rx·cos ry)
// and first column (cos ry·cos rz, −cos ry·sin rz, sin ry).
ProjVec3 frameAngles(const ProjMatrix3& r) {
  const double cosRy = std::hypot(r[0][0], r[1][0]);
  const double ry = std::atan2(r[2][0], cosRy);
  if (cosRy < 1e-12) {
    // ry = ±90°: only rx ± rz shows, in (R01, R11) = (sin, cos) of rx ± rz.
    return {(r[2][0] > 0.0 ? 1.0 : -1.0) * std::atan2(r[0][1], r[1][1]), ry, 0.0};
  }
  return {std::atan2(-r[2][1], r[2][2]), ry, std::atan2(-r[1][0], r[0][0])};
}

ProjMatrix3 transposed(const ProjMatrix3& m) {
  ProjMatrix3 t{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) t[i][j] = m[j][i];
  }
  return t;
}

// The first two axes exchanged, in rows and columns: a map of (y, x, z).
ProjMatrix3 firstAxesSwapped(const ProjMatrix3& m) {
  const int p[3] = {1, 0, 2};
  ProjMatrix3 s{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) s[i][j] = m[p[i]][p[j]];
  }
  return s;
}

bool usableEllipsoid(const EllipsoidRecord& e) {
  return std::isfinite(e.a) && std::isfinite(e.b) && e.a >= e.b && e.b > 0.0;
}

// A type-2 set's similarity as PROJ's linearised step: the set maps
// X + T + m·X + E(ε)·X = (1 + m)·(I + E(ε)/(1 + m))·X + T.
bool ellipsoidalStep(const TransformationSet& set, HelmertStep& step) {
  const double k = set.scale;
  const double ex = set.rotation[0] * kRadiansPerDegree, ey = set.rotation[1] * kRadiansPerDegree,
               ez = set.rotation[2] * kRadiansPerDegree;
  AffineMap map;
  map.M = {{{k, ez, -ey}, {-ez, k, ex}, {ey, -ex, k}}};
  map.T = set.translation;
  return HelmertOf(map, false, step);
}

// The scale difference in ppm, in its shortest form that gives PROJ the same
// factor 1 + s·1e-6 (a factor 1.0000067 reads 6.7, not 6.699999999915107).
std::string scaleText(double ppm) {
  char text[40];
  for (int digits = 1; digits < 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, ppm);
    const double shorter = std::strtod(text, nullptr);
    if (1.0 + shorter * 1e-6 == 1.0 + ppm * 1e-6) return ProjNumber(shorter);
  }
  return ProjNumber(ppm);
}

std::string translationText(const ProjVec3& t) {
  return "+proj=helmert +x=" + ProjNumber(t[0]) + " +y=" + ProjNumber(t[1]) + " +z=" + ProjNumber(t[2]);
}

// --- Reading a PROJ string -------------------------------------------------

struct Step {
  bool inverse = false;
  std::string name;
  std::map<std::string, std::string> parameters;  // "+key=value"; a flag has an empty value
  std::string text;                               // as written, for messages
};

bool splitSteps(std::string_view text, std::vector<Step>& steps, std::string& error) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::size_t end = i;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    if (end > i) tokens.emplace_back(text.substr(i, end - i));
    i = end;
  }
  if (tokens.empty()) {
    error = "the pipeline is empty";
    return false;
  }
  const bool pipeline = tokens.front() == "+proj=pipeline" || tokens.front() == "proj=pipeline";
  Step current;
  bool inStep = !pipeline;
  for (std::size_t t = pipeline ? 1 : 0; t < tokens.size(); ++t) {
    std::string token = tokens[t];
    const std::string written = token;
    if (!token.empty() && token[0] == '+') token.erase(0, 1);
    if (pipeline && token == "step") {
      if (inStep) steps.push_back(std::move(current));
      current = Step{};
      inStep = true;
      continue;
    }
    if (!inStep) {
      error = "\"" + written + "\" before the first +step: parameters of the whole pipeline are not taken";
      return false;
    }
    current.text += (current.text.empty() ? "" : " ") + written;
    const std::size_t equals = token.find('=');
    const std::string key = token.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : token.substr(equals + 1);
    if (key == "inv") {
      current.inverse = true;
    } else if (key == "proj") {
      current.name = value;
    } else if (key.empty() || !current.parameters.emplace(key, value).second) {
      error = "\"" + written + "\" is given twice or is no parameter";
      return false;
    }
  }
  if (inStep) steps.push_back(std::move(current));
  for (const Step& step : steps) {
    if (step.name.empty()) {
      error = "\"" + step.text + "\" names no operation (+proj=…)";
      return false;
    }
  }
  return true;
}

bool readNumber(const Step& step, const std::string& key, double& value, std::string& error) {
  const std::string& text = step.parameters.at(key);
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || stop != end || !std::isfinite(value)) {
    error = "+" + key + "=" + text + " in \"" + step.text + "\" is no number";
    return false;
  }
  return true;
}

bool readHelmert(const Step& step, HelmertStep& helmert, bool& rotates, std::string& error) {
  if (step.inverse) {
    error = "\"" + step.text + "\": an inverse helmert step is not taken; give the forward step";
    return false;
  }
  double* numbers[] = {&helmert.t[0], &helmert.t[1], &helmert.t[2], &helmert.r[0], &helmert.r[1], &helmert.r[2],
                       &helmert.s};
  const char* keys[] = {"x", "y", "z", "rx", "ry", "rz", "s"};
  rotates = false;
  for (const auto& parameter : step.parameters) {
    // Plain names, not a structured binding: lambdas below capture them.
    const std::string& key = parameter.first;
    const std::string& value = parameter.second;
    const auto k = std::find_if(std::begin(keys), std::end(keys), [&](const char* name) { return key == name; });
    if (k != std::end(keys)) {
      if (!readNumber(step, key, *numbers[k - std::begin(keys)], error)) return false;
      if (key[0] == 'r') rotates = true;
    } else if (key == "exact" && value.empty()) {
      helmert.exact = true;
    } else if (key == "convention" && (value == "coordinate_frame" || value == "position_vector")) {
      helmert.positionVector = value == "position_vector";
    } else {
      error = "+" + key + (value.empty() ? "" : "=" + value) + " in \"" + step.text +
              "\" is not taken (translations x y z, rotations rx ry rz, scale s, +exact and +convention are)";
      return false;
    }
  }
  if (rotates && step.parameters.count("convention") == 0) {
    error = "\"" + step.text + "\" gives rotations without +convention=coordinate_frame or position_vector";
    return false;
  }
  return true;
}

// PROJ's ellipsoids that a cart step names (a, and b or 1/f).
struct NamedEllipsoid {
  const char* name;
  double a, b, rf;
};
constexpr NamedEllipsoid kProjEllipsoids[] = {
    {"bessel", 6377397.155, 0.0, 299.1528128}, {"GRS80", 6378137.0, 0.0, 298.257222101},
    {"WGS84", 6378137.0, 0.0, 298.257223563},  {"intl", 6378388.0, 0.0, 297.0},
    {"krass", 6378245.0, 0.0, 298.3},          {"clrk66", 6378206.4, 6356583.8, 0.0},
    {"airy", 6377563.396, 6356256.910, 0.0},   {"GRS67", 6378160.0, 0.0, 298.247167427},
};

bool readCart(const Step& step, const EllipsoidList& known, EllipsoidRecord& ellipsoid, std::string& error) {
  // One way of giving the ellipsoid only: PROJ lets +a and +rf override
  // +ellps, and more than one shape parameter has its own precedence.
  const auto& p = step.parameters;
  const bool named = p.count("ellps") == 1 && p.size() == 1;
  const bool sized = p.count("a") == 1 && p.size() == 2 && (p.count("b") == 1 || p.count("rf") == 1);
  if (!named && !sized) {
    error = "\"" + step.text + "\": give the ellipsoid as +ellps=NAME, or as +a= with +b= or +rf=";
    return false;
  }
  double a = 0.0, b = 0.0, rf = 0.0;
  std::string name;
  if (named) {
    const std::string& value = p.at("ellps");
    const auto* e = std::find_if(std::begin(kProjEllipsoids), std::end(kProjEllipsoids),
                                 [&value](const NamedEllipsoid& n) { return value == n.name; });
    if (e == std::end(kProjEllipsoids)) {
      error = "+ellps=" + value + " in \"" + step.text + "\" is not known here; give +a= and +b= (or +rf=)";
      return false;
    }
    a = e->a, b = e->b, rf = e->rf, name = e->name;
  } else if (!readNumber(step, "a", a, error) ||
             !readNumber(step, p.count("b") == 1 ? "b" : "rf", p.count("b") == 1 ? b : rf, error)) {
    return false;
  }
  if (b == 0.0 && rf > 0.0) b = a * (1.0 - 1.0 / rf);
  ellipsoid = {name.empty() ? "a=" + ProjNumber(a) : name, a, b};
  if (!usableEllipsoid(ellipsoid)) {
    error = "\"" + step.text + "\" gives no ellipsoid with a >= b > 0";
    return false;
  }
  for (const EllipsoidRecord& e : known) {
    if (std::fabs(e.a - a) <= 1e-6 && std::fabs(e.b - b) <= 1e-6) ellipsoid.name = e.name;
  }
  return true;
}

// Steps around a pipeline that change only how the point files hold its
// coordinates: latitude before longitude, degrees, the height kept.
bool wrapping(const Step& step, int& pushes, int& pops) {
  const auto& p = step.parameters;
  if (step.name == "axisswap") return p.size() == 1 && p.count("order") == 1 && p.at("order") == "2,1";
  if (step.name == "unitconvert") {
    return p.size() == 2 && p.count("xy_in") == 1 && p.count("xy_out") == 1 &&
           ((p.at("xy_in") == "deg" && p.at("xy_out") == "rad") || (p.at("xy_in") == "rad" && p.at("xy_out") == "deg"));
  }
  if ((step.name == "push" || step.name == "pop") && p.size() == 1 && p.count("v_3") == 1) {
    ++(step.name == "push" ? pushes : pops);
    return true;
  }
  return false;
}

bool cartesianSet(const HelmertStep& helmert, TransformationSet& set, std::string& error) {
  const AffineMap target = AffineOf(helmert);
  set.type = helmert.exact ? 0 : 1;
  set.scale = 1.0 + helmert.s * 1e-6;
  if (!(set.scale > 0.0)) {
    error = "+s=" + ProjNumber(helmert.s) + " makes no positive scale factor";
    return false;
  }
  // The sets' rotations turn (y, x, z) as PROJ's coordinate frame turns (x, y, z).
  ProjVec3 e{};
  if (helmert.exact) {
    ProjMatrix3 r = target.M;
    for (auto& row : r) {
      for (double& v : row) v /= set.scale;
    }
    e = frameAngles(firstAxesSwapped(r));
  } else {
    e = {target.M[0][2], target.M[2][1], target.M[1][0]};
  }
  for (int i = 0; i < 3; ++i) set.rotation[i] = e[i] / kRadiansPerDegree;
  set.translation = {target.T[1], target.T[0], target.T[2]};
  const AffineMap made = SampleAffine([&](const ProjVec3& q) {
    const ProjVec3 o = set.type == 0 ? MapType0(set, q[0], q[1], q[2]) : MapType1(set, q[0], q[1], q[2]);
    return ProjVec3{o[1], o[0], o[2]};
  });
  if (largestDifference(made.M, target.M) > kMatrixTolerance) {
    error = "the helmert step has no form of a stored set";
    return false;
  }
  return true;
}

bool ellipsoidalSet(const std::vector<HelmertStep>& helmerts, TransformationSet& set, std::string& error) {
  const HelmertStep& similarity = helmerts.back();
  const AffineMap map = AffineOf(similarity);
  // The differential model's matrix (1 + m)·I + E(ε), E(ε) the skew part.
  const ProjMatrix3& m = map.M;
  const double k = (m[0][0] + m[1][1] + m[2][2]) / 3.0;
  const ProjVec3 e = {(m[1][2] - m[2][1]) / 2.0, (m[2][0] - m[0][2]) / 2.0, (m[0][1] - m[1][0]) / 2.0};
  const ProjMatrix3 model = {{{k, e[2], -e[1]}, {-e[2], k, e[0]}, {e[1], -e[0], k}}};
  if (!(k > 0.0)) {
    error = "the helmert step makes no positive scale factor";
    return false;
  }
  set.type = 2;
  set.scale = k;
  for (int i = 0; i < 3; ++i) set.rotation[i] = e[i] / kRadiansPerDegree;
  if (helmerts.size() == 2) {
    set.preTranslation = helmerts.front().t;
    set.translation = map.T;
    return true;
  }
  // One step: its translations go before the similarity, where the
  // differential model takes them rigorously (600 m taken by the model
  // itself cost 11 mm); what the similarity then adds to them is taken back.
  set.preTranslation = map.T;
  for (int i = 0; i < 3; ++i) {
    double moved = 0.0;
    for (int j = 0; j < 3; ++j) moved += model[i][j] * map.T[j];
    set.translation[i] = map.T[i] - moved;
  }
  return true;
}

}  // namespace

ProjVec3 Apply(const AffineMap& map, const ProjVec3& q) {
  ProjVec3 o = map.T;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) o[i] += map.M[i][j] * q[j];
  }
  return o;
}

AffineMap AffineOf(const HelmertStep& step) {
  const double rx = step.r[0] * kRadiansPerArcsecond, ry = step.r[1] * kRadiansPerArcsecond,
               rz = step.r[2] * kRadiansPerArcsecond;
  ProjMatrix3 r{};
  if (step.exact) {
    const double cf = std::cos(rx), sf = std::sin(rx), ct = std::cos(ry), st = std::sin(ry), cp = std::cos(rz),
                 sp = std::sin(rz);
    r = {{{ct * cp, cf * sp + sf * st * cp, sf * sp - cf * st * cp},
          {-ct * sp, cf * cp - sf * st * sp, sf * cp + cf * st * sp},
          {st, -sf * ct, cf * ct}}};
  } else {
    r = {{{1.0, rz, -ry}, {-rz, 1.0, rx}, {ry, -rx, 1.0}}};
  }
  if (step.positionVector) r = transposed(r);
  const double k = 1.0 + step.s * 1e-6;
  AffineMap map;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) map.M[i][j] = k * r[i][j];
  }
  map.T = step.t;
  return map;
}

bool HelmertOf(const AffineMap& map, bool exact, HelmertStep& step) {
  const double det = determinant(map.M);
  if (!std::isfinite(det) || det <= 0.0) return false;
  ProjVec3 angles{};
  double k = 0.0;
  if (exact) {
    k = std::cbrt(det);
    ProjMatrix3 r = map.M;
    for (auto& row : r) {
      for (double& v : row) v /= k;
    }
    angles = frameAngles(r);
  } else {
    k = (map.M[0][0] + map.M[1][1] + map.M[2][2]) / 3.0;
    angles = {map.M[1][2] / k, -map.M[0][2] / k, map.M[0][1] / k};
  }
  step = HelmertStep{};
  step.t = map.T;
  for (int i = 0; i < 3; ++i) step.r[i] = angles[i] / kRadiansPerArcsecond;
  step.s = (k - 1.0) * 1e6;
  step.exact = exact;
  return largestDifference(AffineOf(step).M, map.M) <= kMatrixTolerance;
}

std::string ProjNumber(double value) {
  if (value == 0.0) return "0";  // also −0
  // Plain digits where they are not much longer (500000, not 5e+05).
  const double size = std::fabs(value);
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value,
                                       size >= 1e-4 && size < 1e16 ? std::chars_format::fixed
                                                                    : std::chars_format::general);
  return ec == std::errc() ? std::string(text, end) : "nan";
}

std::string ProjText(const HelmertStep& step) {
  std::string text = translationText(step.t);
  const bool rotates = step.r != ProjVec3{};
  if (!rotates && step.s == 0.0) return text;
  text += " +rx=" + ProjNumber(step.r[0]) + " +ry=" + ProjNumber(step.r[1]) + " +rz=" + ProjNumber(step.r[2]) +
          " +s=" + scaleText(step.s);
  if (step.exact && rotates) text += " +exact";
  return text + (step.positionVector ? " +convention=position_vector" : " +convention=coordinate_frame");
}

std::string PlaneAffineText(const AffineMap& map) {
  return "+proj=affine +xoff=" + ProjNumber(map.T[0]) + " +yoff=" + ProjNumber(map.T[1]) +
         " +s11=" + ProjNumber(map.M[0][0]) + " +s12=" + ProjNumber(map.M[0][1]) + " +s21=" + ProjNumber(map.M[1][0]) +
         " +s22=" + ProjNumber(map.M[1][1]);
}

std::string CartText(const EllipsoidRecord& ellipsoid) {
  return "+proj=cart +a=" + ProjNumber(ellipsoid.a) + " +b=" + ProjNumber(ellipsoid.b);
}

std::string SetPipeline(const TransformationSet& set, std::string* problem) {
  auto fail = [&](const std::string& why) {
    if (problem != nullptr) *problem = why;
    return std::string();
  };
  HelmertStep step;
  if (set.type == 0 || set.type == 1) {
    const AffineMap map = SampleAffine([&](const ProjVec3& q) {
      const ProjVec3 o = set.type == 0 ? MapType0(set, q[0], q[1], q[2]) : MapType1(set, q[0], q[1], q[2]);
      return ProjVec3{o[1], o[0], o[2]};  // the set writes (y, x, z)
    });
    if (!HelmertOf(map, set.type == 0, step)) return fail("its scale factor or rotations make no similarity");
    return ProjText(step);
  }
  if (set.type != 2) return fail("its type " + std::to_string(set.type) + " is none of 0, 1, 2");
  if (!usableEllipsoid(set.sourceEllipsoid) || !usableEllipsoid(set.targetEllipsoid)) {
    return fail("it holds no two ellipsoids with a >= b > 0");
  }
  if (!ellipsoidalStep(set, step)) return fail("its scale factor or rotations make no similarity");
  std::string text = "+proj=pipeline +step " + CartText(set.sourceEllipsoid);
  if (set.preTranslation != ProjVec3{}) text += " +step " + translationText(set.preTranslation);
  return text + " +step " + ProjText(step) + " +step +inv " + CartText(set.targetEllipsoid);
}

namespace {
// The pipeline up to its last step: the point in cartesian coordinates of the target datum.
bool pipelineCartesian(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
                       ProjVec3& X) {
  HelmertStep step;
  if (!ellipsoidalStep(set, step)) return false;
  library.SetEllipDim(set.sourceEllipsoid.a, set.sourceEllipsoid.b);
  if (library.BLH_to_XYZ(B, L, h, X[0], X[1], X[2]) != VIV_OK) return false;
  for (int i = 0; i < 3; ++i) X[i] += set.preTranslation[i];
  X = Apply(AffineOf(step), X);
  library.SetEllipDim(set.targetEllipsoid.a, set.targetEllipsoid.b);
  return true;
}
}  // namespace

bool EvaluateSetPipeline(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
                         ProjVec3& out) {
  ProjVec3 X{};
  return pipelineCartesian(set, library, B, L, h, X) &&
         library.XYZ_to_BLH(X[0], X[1], X[2], out[0], out[1], out[2]) == VIV_OK && std::isfinite(out[0]) &&
         std::isfinite(out[1]) && std::isfinite(out[2]);
}

double PipelineDeparture(const TransformationSet& set, ProjectionLibrary& library, double B, double L, double h,
                         const ProjVec3& model) {
  ProjVec3 X{}, M{};
  if (!pipelineCartesian(set, library, B, L, h, X) ||
      library.BLH_to_XYZ(model[0], model[1], model[2], M[0], M[1], M[2]) != VIV_OK) {
    return std::nan("");
  }
  return std::hypot(X[0] - M[0], X[1] - M[1], X[2] - M[2]);
}

double LargestModelDeparture(const TransformationSet& set, ProjectionLibrary& library) {
  double largest = 0.0;
  for (int lat = -80; lat <= 80; lat += 10) {
    for (int lon = -180; lon < 180; lon += 10) {
      ProjVec3 model{};
      if (!MapType2(set, library, lat, lon, 0.0, model)) return std::nan("");
      const double departure = PipelineDeparture(set, library, lat, lon, 0.0, model);
      if (!(departure <= largest)) largest = departure;  // NaN stays
    }
  }
  return largest;
}

bool SetFromPipeline(std::string_view text, const EllipsoidList& ellipsoids, TransformationSet& set,
                     std::vector<std::string>& notes, std::string& error) {
  std::vector<Step> steps;
  if (!splitSteps(text, steps, error)) return false;
  int pushes = 0, pops = 0;
  // The wrapping steps stand before the first and after the last core step.
  std::size_t first = 0, last = steps.size();
  while (first < last && wrapping(steps[first], pushes, pops)) ++first;
  while (last > first && wrapping(steps[last - 1], pushes, pops)) --last;
  if (pushes != pops) {
    error = "+proj=push and +proj=pop of the height do not come in pairs";
    return false;
  }
  const std::vector<Step> core(steps.begin() + static_cast<std::ptrdiff_t>(first),
                               steps.begin() + static_cast<std::ptrdiff_t>(last));
  for (const Step& step : core) {
    if (step.name != "helmert" && step.name != "cart") {
      error = "\"" + step.text + "\" is not taken: a set is a helmert step, or cart, helmert and cart +inv";
      return false;
    }
  }
  set = TransformationSet{};
  if (core.size() == 1 && core[0].name == "helmert") {
    if (first > 0 || last < steps.size()) {
      error = "\"" + steps[first > 0 ? 0 : last].text + "\" belongs to a geographic pipeline, not to a helmert step";
      return false;
    }
    HelmertStep helmert;
    bool rotates = false;
    return readHelmert(core[0], helmert, rotates, error) && cartesianSet(helmert, set, error);
  }
  if (core.size() < 3 || core.size() > 4 || core.front().name != "cart" || core.front().inverse ||
      core.back().name != "cart" || !core.back().inverse) {
    const Step& wrong = core.empty() ? steps.front()
                        : core.front().name != "cart" || core.front().inverse ? core.front()
                                                                              : core.back();
    error = "\"" + wrong.text +
            "\" does not fit: a set is a helmert step, or cart, one or two helmert steps and cart +inv";
    return false;
  }
  std::vector<HelmertStep> helmerts;
  for (std::size_t i = 1; i + 1 < core.size(); ++i) {
    if (core[i].name != "helmert") {
      error = "\"" + core[i].text + "\" stands where a helmert step belongs";
      return false;
    }
    HelmertStep helmert;
    bool rotates = false;
    if (!readHelmert(core[i], helmert, rotates, error)) return false;
    if (helmerts.empty() && core.size() == 4 && (rotates || helmert.s != 0.0)) {
      error = "\"" + core[i].text + "\": of two helmert steps the first may hold translations only";
      return false;
    }
    helmerts.push_back(helmert);
  }
  if (!readCart(core.front(), ellipsoids, set.sourceEllipsoid, error) ||
      !readCart(core.back(), ellipsoids, set.targetEllipsoid, error)) {
    return false;
  }
  if (!ellipsoidalSet(helmerts, set, error)) return false;
  if (pushes > 0) {
    notes.emplace_back(
        "the pipeline keeps the height (push/pop v_3); the set transforms it as a datum change does");
  }
  return true;
}

}  // namespace pelmar
