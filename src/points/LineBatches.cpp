#include "points/LineBatches.h"

#include <algorithm>
#include <cstdlib>

#include "app/EveryCore.h"
#include "app/JobHost.h"
#include "io/OutputFile.h"
#include "points/PointFile.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"

namespace pelmar {

namespace {
constexpr std::size_t kBatchLines = 4096;
constexpr std::size_t kBatchText = std::size_t{1} << 20;
constexpr long kMostWorkers = 256;
}  // namespace

int BatchWorkers() {
  if (const char* given = std::getenv("PELMAR_WORKERS"); given != nullptr) {
    char* end = nullptr;
    const long count = std::strtol(given, &end, 10);
    if (end != given && *end == '\0' && count >= 1 && count <= kMostWorkers) return static_cast<int>(count);
  }
  return static_cast<int>(std::min<std::size_t>(UsableCores(), static_cast<std::size_t>(kMostWorkers)));
}

void Tally(PointRunCounts& counts, const BatchResults& results, const ItemResult& item) {
  if (item.outcome == ItemOutcome::Unreadable) {
    if (counts.linesUnreadable++ == 0) counts.firstUnreadableLine = item.line;
  } else if (item.outcome == ItemOutcome::LeftOut) {
    if (counts.pointsLeftOut++ == 0) counts.firstLeftOut = results.name(item);
  }
}

bool LineBatchReader::next(LineBatch& batch) {
  std::string_view line;
  while (batch.lines.size() < kBatchLines && batch.text.size() < kBatchText && reader_.next(line)) {
    const std::string_view data = dataPart(line);
    if (trimBlanks(data).empty()) {
      // Before the first point: a line naming the columns Y X Z.
      swapped_ = swapped_ || (!dataSeen_ && NamesSwappedAxes(line));
      continue;
    }
    dataSeen_ = true;
    batch.lines.push_back({batch.text.size(), data.size(), reader_.lineNumber()});
    batch.text.append(data);
  }
  batch.swappedAxes = swapped_;
  batch.results.items.reserve(batch.lines.size());
  return !batch.lines.empty();
}

PipelineEnd StreamLineBatches(LineReader& reader, const std::function<ComputeLines()>& makeCompute,
                              const std::function<bool(LineBatch&)>& deliver) {
  LineBatchReader lines(reader);
  return RunOrderedPipeline<LineBatch>(
      BatchWorkers(), [&](LineBatch& batch) { return lines.next(batch); }, makeCompute, deliver);
}

bool LineDelivery::operator()(const BatchResults& results) {
  for (const ItemResult& item : results.items) {
    if ((cancelled_ = host_.cancelled())) return false;
    ++counts_.linesRead;
    if (step_) step_(counts_.linesRead, item.line);
    Tally(counts_, results, item);
    if (see_) see_(item);
  }
  output_.write(results.output);
  counts_.pointsWritten += results.written;
  return true;
}

}  // namespace pelmar
