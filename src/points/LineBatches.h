#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/OrderedPipeline.h"
#include "points/PointRunCounts.h"

namespace pelmar {

class JobHost;
class LineReader;
class OutputFile;

// The workers a batch job computes on: the environment variable
// PELMAR_WORKERS when it holds a count from 1 to 256 (tests compare one
// worker with several), else the processors of the machine, at least 1.
int BatchWorkers();

// What became of one item (a data line, a point) of a batch job.
enum class ItemOutcome : std::uint8_t {
  Unreadable,  // fits no form of the job
  Written,     // its line is in the batch's output
  LeftOut,     // read, but no result the job may write
  Stop,        // the job's computation refuses to go on (its parameters)
};

struct ItemResult {
  ItemOutcome outcome = ItemOutcome::Unreadable;
  std::uint8_t flags = 0;  // the job's own marks
  std::int64_t line = 0;   // 1-based line number in the input, where there is one
  // A point left out: its name in BatchResults::names.
  std::size_t nameOffset = 0, nameLength = 0;
};

// What a worker made of a batch, item by item in input order, for the
// delivering stage.
struct BatchResults {
  std::vector<ItemResult> items;
  std::string output;         // the lines of the written items, in order
  std::string names;          // the names of the items left out
  std::int64_t written = 0;   // items whose line is in `output`

  void unreadable(std::int64_t line) { items.push_back({ItemOutcome::Unreadable, 0, line}); }
  // After its line was appended to `output`.
  void wrote(std::int64_t line, std::uint8_t flags = 0) {
    items.push_back({ItemOutcome::Written, flags, line});
    ++written;
  }
  void leftOut(std::int64_t line, std::string_view name, std::uint8_t flags = 0) {
    items.push_back({ItemOutcome::LeftOut, flags, line, names.size(), name.size()});
    names.append(name);
  }
  void stop(std::int64_t line, std::uint8_t flags = 0) { items.push_back({ItemOutcome::Stop, flags, line}); }

  std::string_view name(const ItemResult& item) const {
    return std::string_view(names).substr(item.nameOffset, item.nameLength);
  }
};

// Counts an unreadable or left-out item into `counts` (the first of each
// named); other outcomes are the job's.
void Tally(PointRunCounts& counts, const BatchResults& results, const ItemResult& item);

// Consecutive data lines of a point file: each line's data part (see
// dataPart: without its leading blanks) and its number, and what the
// workers made of them.
struct LineBatch {
  struct Line {
    std::size_t offset = 0, length = 0;  // in `text`
    std::int64_t number = 0;             // 1-based line number in the file
  };
  std::uint64_t sequence = 0;
  // A line "# name Y X Z" came before the first data line (NamesSwappedAxes).
  bool swappedAxes = false;
  std::string text;
  std::vector<Line> lines;
  BatchResults results;

  std::string_view data(const Line& line) const { return std::string_view(text).substr(line.offset, line.length); }
};

// The reading stage of a streamed job: cuts the data lines of a point file
// into batches of at most 4096 lines (or about 1 MiB of text).
class LineBatchReader {
 public:
  explicit LineBatchReader(LineReader& reader) : reader_(reader) {}
  // The next data lines into `batch`; false when the file has none left.
  bool next(LineBatch& batch);

 private:
  LineReader& reader_;
  bool dataSeen_ = false;
  bool swapped_ = false;
};

// Streams the data lines of `reader` through the pipeline (see
// RunOrderedPipeline): BatchWorkers() workers compute the batches with the
// functions `makeCompute` gives them, `deliver` takes them in file order.
using ComputeLines = std::function<void(LineBatch&)>;
PipelineEnd StreamLineBatches(LineReader& reader, const std::function<ComputeLines()>& makeCompute,
                              const std::function<bool(LineBatch&)>& deliver);

// The delivering stage of the jobs whose every data line is one item,
// written as one output line or none: item by item in input order, cancel
// is asked first (a cancelled run stops there), the line is counted in
// `counts`, shown with `step(linesRead, lineNumber)`, tallied and handed to
// `see`; then the batch's lines are written.
class LineDelivery {
 public:
  using Step = std::function<void(std::int64_t linesRead, std::int64_t line)>;
  using See = std::function<void(const ItemResult&)>;
  LineDelivery(JobHost& host, OutputFile& output, PointRunCounts& counts, Step step = {}, See see = {})
      : host_(host), output_(output), counts_(counts), step_(std::move(step)), see_(std::move(see)) {}

  // False when the run was cancelled.
  bool operator()(const BatchResults& results);
  bool cancelled() const noexcept { return cancelled_; }

 private:
  JobHost& host_;
  OutputFile& output_;
  PointRunCounts& counts_;
  Step step_;
  See see_;
  bool cancelled_ = false;
};

}  // namespace pelmar
