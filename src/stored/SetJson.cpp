#include "stored/SetJson.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "stored/ProjPipeline.h"
#include "text/LineScanner.h"
#include "text/TextEncoding.h"

namespace pelmar {

namespace {

// Names in the database are Windows-1252 bytes; JSON takes UTF-8.
std::string utf8(const std::string& text) { return fileTextToUtf8(text); }

std::string trimmed(const std::string& text) { return std::string(trimBlanks(text)); }

nlohmann::json ellipsoidJson(const EllipsoidRecord& e) { return {{"name", utf8(e.name)}, {"a", e.a}, {"b", e.b}}; }

// A residual the point had no observation for is kept as this marker and
// written as null.
constexpr double kNoResidual = -9999.999;

template <std::size_t N>
bool readArray(const nlohmann::json& json, const char* key, std::array<double, N>& out, std::string& error,
               bool nullable = false) {
  if (!json.contains(key) || !json[key].is_array() || json[key].size() != N) {
    error = std::string("\"") + key + "\" must be a list of " + std::to_string(N) + " numbers";
    return false;
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (nullable && json[key][i].is_null()) {
      out[i] = kNoResidual;
      continue;
    }
    if (!json[key][i].is_number() || !std::isfinite(json[key][i].get<double>())) {
      error = std::string("\"") + key + "\" must hold finite numbers";
      return false;
    }
    out[i] = json[key][i].get<double>();
  }
  return true;
}

bool readEllipsoid(const nlohmann::json& json, const char* key, EllipsoidRecord& out, std::string& error) {
  const auto& e = json.contains(key) ? json[key] : nlohmann::json();
  if (!e.is_object() || !e.contains("name") || !e["name"].is_string() || !e.contains("a") || !e["a"].is_number() ||
      !e.contains("b") || !e["b"].is_number()) {
    error = std::string("\"") + key + "\" must be {\"name\": text, \"a\": metres, \"b\": metres}";
    return false;
  }
  out.name = utf8ToWindows1252(e["name"].get<std::string>());
  out.a = e["a"].get<double>();
  out.b = e["b"].get<double>();
  return true;
}

}  // namespace

std::string StoredText(const std::string& text, bool name, std::string& stored) {
  const std::string value = name ? trimmed(text) : text;
  if (name && value.empty()) return "a set needs a name";
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7F) return "a name or description may not hold control characters (line breaks, tabs)";
  }
  stored = utf8ToWindows1252(value);
  if (windows1252ToUtf8(stored) != value) {
    return "\"" + value + "\" holds characters that the transformation file cannot keep (Windows-1252)";
  }
  return {};
}

std::string SetToJson(const TransformationSet& set) {
  nlohmann::json json = {{"name", utf8(set.name)},
                         {"description", utf8(set.description)},
                         {"type", set.type},
                         {"rotation_degrees", set.rotation},
                         {"translation_metres", set.translation},
                         {"scale_factor", set.scale},
                         {"auxiliary", set.auxiliary},
                         {"source_ellipsoid", ellipsoidJson(set.sourceEllipsoid)},
                         {"target_ellipsoid", ellipsoidJson(set.targetEllipsoid)},
                         {"pre_translation_metres", set.preTranslation}};
  // The auxiliary values hold the centroids of a centred cartesian run in
  // the order the mapping takes them; here they are in the files' order.
  const auto& a = set.auxiliary;
  if (set.type != 2 && a != std::array<double, 6>{}) {
    json["centroids"] = {{"axes", {"X", "Y", "Z"}},
                         {"source", {a[1], a[0], a[2]}},
                         {"target", {a[4], a[3], a[5]}}};
  }
  std::string problem;
  const std::string pipeline = SetPipeline(set, &problem);
  json["proj"] = pipeline.empty() ? nlohmann::json() : nlohmann::json(pipeline);
  json["points"] = nlohmann::json::array();
  for (const TransformationSetPoint& p : set.points) {
    nlohmann::json residuals = nlohmann::json::array();
    for (double r : p.residuals) residuals.push_back(r == kNoResidual ? nlohmann::json() : nlohmann::json(r));
    json["points"].push_back(
        {{"name", utf8(p.name)}, {"source", p.source}, {"target", p.target}, {"residuals", residuals}});
  }
  return json.dump(2) + "\n";
}

bool SetFromJson(const std::string& text, TransformationSet& set, std::string& error) {
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    error = "not a JSON object";
    return false;
  }
  set = TransformationSet{};
  if (!json.contains("name") || !json["name"].is_string()) {
    error = "\"name\" must be a text that is not empty";
    return false;
  }
  if (!(error = StoredText(json["name"].get<std::string>(), true, set.name)).empty()) return false;
  if (json.contains("description") && json["description"].is_string() &&
      !(error = StoredText(json["description"].get<std::string>(), false, set.description)).empty()) {
    return false;
  }
  if (!json.contains("type") || !json["type"].is_number_integer() || json["type"].get<long long>() < 0 ||
      json["type"].get<long long>() > 2) {
    error = "\"type\" must be 0, 1 or 2";
    return false;
  }
  set.type = json["type"].get<int>();
  if (!json.contains("scale_factor") || !json["scale_factor"].is_number() ||
      !(json["scale_factor"].get<double>() > 0.0)) {
    error = "\"scale_factor\" must be a positive number";
    return false;
  }
  set.scale = json["scale_factor"].get<double>();
  if (!readArray(json, "rotation_degrees", set.rotation, error) ||
      !readArray(json, "translation_metres", set.translation, error) ||
      !readArray(json, "auxiliary", set.auxiliary, error) ||
      !readArray(json, "pre_translation_metres", set.preTranslation, error) ||
      !readEllipsoid(json, "source_ellipsoid", set.sourceEllipsoid, error) ||
      !readEllipsoid(json, "target_ellipsoid", set.targetEllipsoid, error)) {
    return false;
  }
  if (set.type == 2 && !(set.sourceEllipsoid.a >= set.sourceEllipsoid.b && set.sourceEllipsoid.b > 0.0 &&
                         set.targetEllipsoid.a >= set.targetEllipsoid.b && set.targetEllipsoid.b > 0.0)) {
    error = "a set of type 2 needs both ellipsoids with a >= b > 0";
    return false;
  }
  if (json.contains("points")) {
    if (!json["points"].is_array()) {
      error = "\"points\" must be a list";
      return false;
    }
    for (const auto& p : json["points"]) {
      TransformationSetPoint point;
      if (!p.is_object() || !p.contains("name") || !p["name"].is_string()) {
        error = "every point needs a \"name\"";
        return false;
      }
      if (!(error = StoredText(p["name"].get<std::string>(), false, point.name)).empty()) return false;
      if (!readArray(p, "source", point.source, error) || !readArray(p, "target", point.target, error) ||
          !readArray(p, "residuals", point.residuals, error, true)) {
        return false;
      }
      set.points.push_back(std::move(point));
    }
  }
  return true;
}

}  // namespace pelmar
