#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "estimation/EstimationJob.h"
#include "points/PointRunCounts.h"
#include "settings/EllipsoidDatabase.h"

namespace pelmar::cli {

// "Y X Z" as {"Y", "X", "Z"}.
std::vector<std::string> splitWords(std::string_view text);

// The machine-readable summary of a run (--summary FILE.json).
struct RunSummary {
  bool ok = true;  // false: the run failed; its messages say why
  std::vector<std::pair<int, std::string>> messages;  // a failed run's messages, id and text
  std::string command;
  std::string model;  // estimate only
  std::map<std::string, std::string> inputs;
  std::map<std::string, std::string> outputs;
  std::int64_t linesRead = 0;
  std::int64_t pointsWritten = 0;
  std::int64_t pointsLeftOut = 0;
  std::int64_t identicalPoints = 0;
  std::string firstLeftOut;
  std::int64_t linesUnreadable = 0;  // data lines that fit no layout
  std::optional<bool> distributionSkipped;  // apply: the distribution was on, the set held no points
  std::string firstUnreadable;       // "file:line" of the first
  const EstimationSummary* estimation = nullptr;  // the estimation fields, when there are any
  std::optional<EllipsoidRecord> ellipsoid;        // the one the run computed on, when it used one
  std::vector<std::string> outputAxes;  // transformed cartesian points: the written columns after the name
  std::optional<std::string> proj;  // convert: the PROJ operation (empty: none)
  std::string projNote;             // convert: why there is none, or where PROJ departs
};

// The counts of a job over the point file `input` (its first unreadable
// line as "input:line").
void SetPointRunCounts(RunSummary& summary, const PointRunCounts& counts, const std::string& input);

// The summary as one JSON object (UTF-8, a line break at the end).
std::string SummaryJson(const RunSummary& summary);
// The same text handed to `sink` a block at a time.
void WriteSummaryJson(const RunSummary& summary, const std::function<void(std::string_view)>& sink);

struct CliContext;
// The end of every successful run: the summary file when --summary asks for
// one (its failure fails the run: kJobFailed), and unless -q one line on
// stderr with what was read, written and left out and the time taken.
int FinishRun(CliContext& context, const RunSummary& summary);
// The end of a failed run (status kJobFailed or kInterrupted): its summary,
// when --summary asks for one, with "ok": false, what the run reached and
// its messages (the first as "message").
void FinishFailedRun(CliContext& context);

}  // namespace pelmar::cli
