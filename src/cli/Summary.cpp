#include "cli/Summary.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <ostream>
#include <nlohmann/json.hpp>

#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "cli/CliHost.h"
#include "cli/Command.h"
#include "text/TextForm.h"

namespace pelmar::cli {

namespace {

// Point names are bytes from the files (Windows-1252 where not ASCII); JSON
// wants UTF-8.
std::string utf8(const std::string& text) { return fileTextToUtf8(text); }

// JSON has no NaN or infinity: such a number is null.
nlohmann::json number(double value) { return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(); }

}  // namespace

std::vector<std::string> splitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) words.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

void SetPointRunCounts(RunSummary& summary, const PointRunCounts& counts, const std::string& input) {
  summary.linesRead = counts.linesRead;
  summary.pointsWritten = counts.pointsWritten;
  summary.pointsLeftOut = counts.pointsLeftOut;
  summary.firstLeftOut = counts.firstLeftOut;
  summary.linesUnreadable = counts.linesUnreadable;
  if (counts.linesUnreadable > 0) summary.firstUnreadable = input + ":" + std::to_string(counts.firstUnreadableLine);
}

namespace {

// Every field but the points' records: "points" is an empty array, which
// WriteSummaryJson fills as it writes.
nlohmann::json SummaryObject(const RunSummary& summary) {
  nlohmann::json json;
  json["ok"] = summary.ok;
  if (!summary.ok) {
    json["message"] = summary.messages.empty()
                          ? nlohmann::json()
                          : nlohmann::json{{"id", summary.messages.front().first},
                                           {"text", utf8(summary.messages.front().second)}};
    json["messages"] = nlohmann::json::array();
    for (const auto& [id, text] : summary.messages) json["messages"].push_back({{"id", id}, {"text", utf8(text)}});
  }
  json["command"] = summary.command;
  if (!summary.model.empty()) json["model"] = summary.model;
  if (summary.ellipsoid) {
    json["ellipsoid"] = {{"name", utf8(summary.ellipsoid->name)},
                         {"a", number(summary.ellipsoid->a)},
                         {"b", number(summary.ellipsoid->b)}};
  }
  if (summary.proj) {
    json["proj"] = summary.proj->empty() ? nlohmann::json() : nlohmann::json(*summary.proj);
    if (!summary.projNote.empty()) json["proj_note"] = summary.projNote;
  }
  if (!summary.outputAxes.empty()) json["output_axes"] = summary.outputAxes;
  json["inputs"] = nlohmann::json::object();
  for (const auto& [key, value] : summary.inputs) json["inputs"][key] = utf8(value);
  json["outputs"] = nlohmann::json::object();
  for (const auto& [key, value] : summary.outputs) json["outputs"][key] = utf8(value);
  json["counts"] = {{"lines_read", summary.linesRead},
                    {"points_written", summary.pointsWritten},
                    {"points_left_out", summary.pointsLeftOut},
                    {"identical_points", summary.identicalPoints}};
  if (summary.pointsLeftOut > 0) json["first_left_out"] = utf8(summary.firstLeftOut);
  if (summary.distributionSkipped) json["distribution_skipped"] = *summary.distributionSkipped;
  json["counts"]["lines_unreadable"] = summary.linesUnreadable;
  if (summary.linesUnreadable > 0) json["first_unreadable"] = utf8(summary.firstUnreadable);
  if (const EstimationSummary* e = summary.estimation) {
    json["method"] = e->method;
    json["passes"] = e->passes;
    if (e->reweightingPasses) json["reweighting_passes"] = *e->reweightingPasses;
    json["redundancy"] = e->redundancy;
    json["converged"] = e->converged;
    json["gross_error_test"] = e->grossErrorTest;
    json["distributed_outliers"] = nlohmann::json::array();
    for (const std::string& name : e->distributedOutliers) json["distributed_outliers"].push_back(utf8(name));
    json["parameters"] = nlohmann::json::array();
    for (const EstimatedParameter& p : e->parameters) {
      json["parameters"].push_back({{"name", p.name},
                                    {"value", number(p.value)},
                                    {"unit", p.unit},
                                    {"sigma", p.sigma ? number(*p.sigma) : nlohmann::json()}});
    }
    // Without redundancy there is no standard deviation of unit weight.
    json["sigma0"] = e->sigma0 ? number(*e->sigma0) : nlohmann::json();
    json["test"] = {{"k", e->testK}, {"df", e->testDf}, {"level", e->testLevel}};
    json["parameter_sigma"] = e->parameterSigma;
    json["outside_hull"] = e->outsideHull;
    json["farthest_outside_hull"] =
        e->outsideHull > 0
            ? nlohmann::json{{"name", utf8(e->farthestOutsideHull)}, {"distance", number(e->farthestOutsideDistance)}}
            : nlohmann::json();
    for (const auto& [role, ellipsoid] : e->ellipsoids) {
      json["ellipsoids"][role] = {{"name", utf8(ellipsoid.name)}, {"a", ellipsoid.a}, {"b", ellipsoid.b}};
    }
    if (e->preTranslation) {
      json["pre_translation"] = nlohmann::json::array();
      for (double t : *e->preTranslation) json["pre_translation"].push_back(number(t));
    }
    json["proj"] = e->proj.empty() ? nlohmann::json() : nlohmann::json(e->proj);
    if (e->projFidelity) json["proj_fidelity_m"] = number(*e->projFidelity);
    json["points"] = nlohmann::json::array();
  }
  return json;
}

// A text as nlohmann::json writes it: printable ASCII without quotes or
// backslashes as it is, anything else through the library's own escaping.
void appendJsonString(std::string& out, const std::string& text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\';
  });
  if (plain) {
    out += '"';
    out += text;
    out += '"';
  } else {
    out += nlohmann::json(text).dump();
  }
}

// A number as nlohmann::json writes it (its shortest round-trip digits, the
// very function its serializer calls), null when not finite.
void appendJsonNumber(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char buffer[64];
  const char* end = nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, static_cast<std::size_t>(end - buffer));
}

// An array at the points' depth (its items indented by 8, its bracket by 6).
template <class Values, class Append>
void appendJsonArray(std::string& out, const Values& values, Append append) {
  if (values.empty()) {
    out += "[]";
    return;
  }
  out += "[\n";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ",\n";
    out += "        ";
    append(out, values[i]);
  }
  out += "\n      ]";
}

// One record of "points" as json.dump(2) lays it out in the summary: keys
// in std::map's order, the object indented by 4.
void appendPointJson(std::string& out, const PointTest& t, const std::vector<std::string>& axes) {
  auto key = [&](const char* name) {
    out += ",\n      \"";
    out += name;
    out += "\": ";
  };
  auto number = [](std::string& o, double v) { appendJsonNumber(o, v); };
  out += "    {\n      \"F\": ";
  appendJsonNumber(out, t.F);
  key("T");
  appendJsonNumber(out, t.T);
  if (!axes.empty()) {
    key("axes");
    appendJsonArray(out, axes, [](std::string& o, const std::string& axis) { appendJsonString(o, axis); });
  }
  key("mdb");
  appendJsonArray(out, t.mdb, number);
  key("nabla");
  appendJsonArray(out, t.nabla, number);
  key("name");
  appendJsonString(out, utf8(t.name));
  key("outlier");
  out += t.outlier ? "true" : "false";
  key("redundancy_number");
  appendJsonNumber(out, t.redundancyShare);
  key("residuals");
  appendJsonArray(out, t.residuals, number);
  key("tested");
  out += t.tested ? "true" : "false";
  out += "\n    }";
}

}  // namespace

void WriteSummaryJson(const RunSummary& summary, const std::function<void(std::string_view)>& sink) {
  const std::string text = SummaryObject(summary).dump(2) + "\n";
  const EstimationSummary* e = summary.estimation;
  constexpr std::string_view kEmptyPoints = "\n  \"points\": []";  // a key of the top level: indented by 2
  const std::size_t at = e == nullptr || e->points.empty() ? std::string_view::npos : text.find(kEmptyPoints);
  if (at == std::string_view::npos) {
    sink(text);
    return;
  }
  const std::string_view whole(text);
  sink(whole.substr(0, at + kEmptyPoints.size() - 1));  // to its "["
  std::string block;
  for (std::size_t i = 0; i < e->points.size(); ++i) {
    block += i == 0 ? "\n" : ",\n";
    appendPointJson(block, e->points[i], e->testAxes);
    constexpr std::size_t kBlock = 1 << 16;
    if (block.size() >= kBlock) {
      sink(block);
      block.clear();
    }
  }
  block += "\n  ]";
  sink(block);
  sink(whole.substr(at + kEmptyPoints.size()));
}

std::string SummaryJson(const RunSummary& summary) {
  std::string out;
  WriteSummaryJson(summary, [&out](std::string_view text) { out += text; });
  return out;
}


namespace {

// To the file, or to standard output for "-", as it is written: the summary
// of a million points runs to half a gigabyte. The file goes through a
// temporary that replaces it only when complete, as a job's output does
// (no flush to disk: it can be made again).
bool writeSummary(CliContext& context, const RunSummary& summary) {
  context.summaryWritten = true;
  if (context.summaryPath == "-") {
    WriteSummaryJson(summary, [&context](std::string_view text) { context.out << text; });
    context.out.flush();
    return static_cast<bool>(context.out);
  }
  OutputFile file;
  if (!file.open(context.summaryPath)) return false;
  WriteSummaryJson(summary, [&file](std::string_view text) { file.write(text); });
  return file.commit();
}

}  // namespace

void FinishFailedRun(CliContext& context) {
  if (context.summaryPath.empty() || context.summaryWritten) return;
  context.summary.ok = false;
  context.summary.messages = context.host.messages();
  context.summary.pointsWritten = 0;  // a failed run commits no output
  if (!writeSummary(context, context.summary)) {
    context.host.message(str::OutputNotCreated, {context.summaryPath.string()});
  }
}

int FinishRun(CliContext& context, const RunSummary& summary) {
  if (const std::size_t replaced = TakeReplacedCharacters()) {
    context.host.message(str::CharactersReplaced, {static_cast<std::int64_t>(replaced)});
  }
  if (!context.summaryPath.empty() && !writeSummary(context, summary)) {
    context.host.message(str::OutputNotCreated, {context.summaryPath.string()});
    return kJobFailed;
  }
  if (!context.quiet) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - context.started).count();
    auto count = [](std::int64_t n, const char* one, const char* other) {
      return std::to_string(n) + " " + (n == 1 ? one : other);
    };
    std::string line = "pelmar-cli: " + summary.command + ": " + count(summary.linesRead, "line", "lines") + " read, ";
    if (summary.identicalPoints > 0) line += count(summary.identicalPoints, "identical point", "identical points") + ", ";
    line += std::to_string(summary.pointsWritten) + " written";
    if (!summary.outputAxes.empty()) {
      line += " (name";
      for (const std::string& axis : summary.outputAxes) line += " " + axis;
      line += ")";
    }
    line += ", " + std::to_string(summary.pointsLeftOut) + " left out";
    if (summary.linesUnreadable > 0) line += ", " + count(summary.linesUnreadable, "line", "lines") + " unreadable";
    char time[32];
    std::snprintf(time, sizeof time, " (%.2f s)", seconds);
    line += time;
    if (summary.ellipsoid) {
      char axes[96];
      std::snprintf(axes, sizeof axes, " (a = %.3f m, b = %.6f m)", summary.ellipsoid->a, summary.ellipsoid->b);
      line += "; ellipsoid " + utf8(summary.ellipsoid->name) + axes;
    }
    context.err << line << "\n";
  }
  return kSuccess;
}

}  // namespace pelmar::cli
