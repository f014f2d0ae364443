#include "cli/SetsCommand.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <ostream>

#include "io/FileAccess.h"
#include "io/FileReplace.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "cli/CliHost.h"
#include "cli/ConvertCommand.h"
#include "cli/Summary.h"
#include "points/LineFormatters.h"
#include "conversion/ProjectionLibrary.h"
#include "text/LineScanner.h"
#include "stored/ApplyStoredTransformation.h"
#include "stored/ProjPipeline.h"
#include "stored/TransformationDatabase.h"

namespace pelmar::cli {

namespace {

// Names in the database are Windows-1252 bytes; JSON and the terminal take UTF-8.
std::string utf8(const std::string& text) { return isValidUtf8(text) ? text : windows1252ToUtf8(text); }

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

std::string trimmed(const std::string& text) { return std::string(trimBlanks(text)); }

TransformationDatabase openDatabase(CliContext& context) {
  TransformationDatabase database(context.state.userFiles() / kTransformationFileName);
  database.Load(&context.host);
  return database;
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

namespace {

// Stores `set` under its name unless a set of that name exists.
int storeNew(CliContext& context, TransformationDatabase& database, const TransformationSet& set) {
  bool taken = false;
  const bool stored = database.Update(
      [&](TransformationDatabase::SetList& sets) {
        if ((taken = NameTaken(sets, set.name))) return false;
        sets.push_back(set);
        return true;
      },
      context.host);
  if (taken) context.host.message(str::SetNameTaken, {utf8(set.name)});
  return stored ? kSuccess : kJobFailed;
}

// sets import-proj NAME PIPELINE [--description TEXT]
int importProj(CliContext& context, TransformationDatabase& database, const std::vector<std::string>& args) {
  std::string description;
  if (args.size() == 5 && args[3] == "--description") {
    description = args[4];
  } else if (args.size() != 3) {
    return usageError(context.err, "sets import-proj: give NAME 'PIPELINE' [--description TEXT]");
  }
  std::string name, stored, error;
  if (!(error = StoredText(args[1], true, name)).empty() ||
      !(error = StoredText(description, false, stored)).empty()) {
    return usageError(context.err, "sets import-proj: " + error);
  }
  TransformationSet set;
  std::vector<std::string> notes;
  EllipsoidList ellipsoids;
  if (!readEllipsoids(context, ellipsoids)) return kJobFailed;
  if (!SetFromPipeline(args[2], ellipsoids, set, notes, error)) {
    context.err << "pelmar-cli: sets import-proj: " << error << "\n";
    return kJobFailed;
  }
  if (set.type == 2) {
    // Pelmar applies an ellipsoidal set differentially; say how closely.
    ProjectionLibrary library;
    if (!library.Open(context.state.home)) {
      context.host.message(str::ProjectionLibraryMissing);
      return kJobFailed;
    }
    const double departure = LargestModelDeparture(set, library);
    constexpr double kUsable = 1.0;  // metres: beyond this the differential model is no use
    char text[240];
    std::snprintf(text, sizeof text,
                  "Pelmar applies this set with its differential model, which departs from the pipeline by up to "
                  "%.4f m on the Earth's surface between 80 S and 80 N",
                  departure);
    if (!(departure <= kUsable)) {
      context.err << "pelmar-cli: sets import-proj: not stored: " << text
                  << "; a pre-translation step (a first helmert step with x, y, z only) near the real "
                     "translations makes it smaller\n";
      return kJobFailed;
    }
    notes.emplace_back(text);
  }
  for (const std::string& note : notes) context.err << "pelmar-cli: sets import-proj: note: " << note << "\n";
  set.name = name;
  set.description = stored;
  return storeNew(context, database, set);
}

}  // namespace

int SetsCommand::run(CliContext& context, const std::vector<std::string>& args) {
  const std::string action = args.empty() ? "" : args[0];
  std::string format = "json";
  std::vector<std::string> operands = args;
  if (action == "export" && args.size() == 5 && args[3] == "--format") {
    format = args[4];
    operands.resize(3);
  }
  const bool valid = (action == "list" && args.size() == 1) || (action == "show" && args.size() == 2) ||
                     (action == "delete" && args.size() == 2) || (action == "export" && operands.size() == 3) ||
                     (action == "import" && args.size() == 2) || action == "import-proj";
  if (!valid) {
    return usageError(context.err,
                      "sets: say list, show NAME, delete NAME, export NAME FILE [--format json|proj], import FILE or "
                      "import-proj NAME PIPELINE");
  }
  if (format != "json" && format != "proj") return usageError(context.err, "sets export: --format json or proj");
  TransformationDatabase database = openDatabase(context);
  if (action == "import-proj") return importProj(context, database, args);

  if (action == "list") {
    for (const TransformationSet& set : database.sets()) {
      context.out << utf8(set.name) << "\t" << set.type << "\t" << utf8(set.description) << "\n";
    }
    return kSuccess;
  }
  if (action == "import") {
    std::string text, error;
    if (!readFileContent(args[1], text)) {
      context.host.message(str::FileNotOpened, {args[1]});
      return kJobFailed;
    }
    TransformationSet set;
    if (!SetFromJson(text, set, error)) {
      context.err << "pelmar-cli: " << args[1] << ": " << error << "\n";
      return kJobFailed;
    }
    return storeNew(context, database, set);
  }

  const std::string name = utf8ToWindows1252(trimmed(args[1]));
  const int index = database.Find(name);
  if (index < 0) {
    context.host.message(str::SetNotFound, {args[1]});
    return kJobFailed;
  }
  const TransformationSet& set = database.sets()[static_cast<std::size_t>(index)];
  if (action == "show") {
    context.out << SetToJson(set);
    return kSuccess;
  }
  if (action == "export") {
    std::string text = SetToJson(set);
    if (format == "proj") {
      std::string problem;
      text = SetPipeline(set, &problem);
      if (text.empty()) {
        context.err << "pelmar-cli: sets export: " << args[1] << " has no PROJ form: " << problem << "\n";
        return kJobFailed;
      }
      text += "\n";
    }
    if (args[2] == "-") {
      context.out << text;
      return kSuccess;
    }
    if (!CheckDistinctFiles({}, {args[2]}, context.host)) return kJobFailed;
    if (!replaceFileContent(args[2], text)) {
      context.host.message(str::FileNotOpened, {args[2]});
      return kJobFailed;
    }
    return kSuccess;
  }
  // delete: the first set of that name in the file as it is now.
  bool found = false;
  const bool removed = database.Update(
      [&](TransformationDatabase::SetList& sets) {
        for (auto it = sets.begin(); it != sets.end(); ++it) {
          if (it->name == name) {
            sets.erase(it);
            return found = true;
          }
        }
        return false;
      },
      context.host);
  if (!found) context.host.message(str::SetNotFound, {args[1]});
  return removed ? kSuccess : kJobFailed;
}

int ApplyCommand::run(CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 3) return usageError(context.err, "apply: give NAME INPUT OUTPUT");
  if (const int problem = OutputFolderProblem(args[2])) {
    context.host.message(problem, {outputDirectory(args[2])});
    return kJobFailed;
  }
  TransformationDatabase database = openDatabase(context);
  const int index = database.Find(utf8ToWindows1252(trimmed(args[0])));
  if (index < 0) {
    context.host.message(str::SetNotFound, {args[0]});
    return kJobFailed;
  }
  ApplyJob job;
  job.inputPath = args[1];
  job.outputPath = args[2];
  loadGeneralSettings(context, job.settings);
  job.set = database.sets()[static_cast<std::size_t>(index)];
  ProjectionLibrary library;
  library.Open(context.state.home);  // needed by type 2; the job tells when it is missing
  ApplyResult result;
  const bool done = ApplyStoredTransformation(job, library, context.host, &result);
  RunSummary& summary = context.summary;
  summary.inputs = {{"input", args[1]}};
  summary.outputs = {{"output", args[2]}};
  SetPointRunCounts(summary, result, args[1]);
  if (job.set.type != 2) summary.outputAxes = splitWords(OutputAxes(job.settings.axisOrder));
  if (!done) {
    context.host.message(str::ApplyFailed);
    return kJobFailed;
  }
  summary.distributionSkipped = result.distributionSkipped;
  return FinishRun(context, summary);
}

}  // namespace pelmar::cli
