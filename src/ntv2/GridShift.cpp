#include "ntv2/GridShift.h"

#include <algorithm>
#include <cmath>

#include "io/FileAccess.h"
#include "app/JobHost.h"
#include "io/OutputFile.h"
#include "app/StringIds.h"
#include "ntv2/NTv2Grid.h"
#include "points/LineBatches.h"
#include "points/LineFormatters.h"
#include "text/LineReader.h"
#include "text/LineScanner.h"
#include "points/PointFile.h"

namespace pelmar {

namespace {

constexpr int kDecimals = 10;
constexpr int kInverseSteps = 10;
constexpr double kSettledSeconds = 1e-12 * 3600.0;  // 1e-12° in arc seconds

// The shifted position (arc seconds, longitude positive west); false
// outside the grid.
// The longitude (arc seconds, positive west) turned by whole circles into
// the first sub-grid that holds it, or as given: a grid across 180° and a
// point written as 539.95° or −180.05° meet.
double inGridLongitude(const NTv2Grid& grid, bool finest, double lat, double lon) {
  constexpr double kCircle = 1296000.0;
  for (double turn : {0.0, -kCircle, kCircle}) {
    if (grid.select(lat, lon + turn, finest) >= 0) return lon + turn;
  }
  const double wrapped = std::remainder(lon, kCircle);
  for (double turn : {0.0, -kCircle, kCircle}) {
    if (grid.select(lat, wrapped + turn, finest) >= 0) return wrapped + turn;
  }
  return lon;
}

bool forward(const NTv2Grid& grid, bool finest, double lat, double lon, double& outLat, double& outLon) {
  lon = inGridLongitude(grid, finest, lat, lon);
  const int index = grid.select(lat, lon, finest);
  double dLat = 0.0, dLon = 0.0;
  if (index < 0 || !grid.interpolate(index, lat, lon, dLat, dLon)) return false;
  outLat = lat + dLat;
  outLon = lon + dLon;
  return true;
}

// The position that the forward shift takes to (lat, lon): p = q − shift(p)
// from p = q. A given point outside the grid has none. When an iterate
// leaves the grid (the answer lies outside it, near its edge), that iterate
// is the answer, as PROJ's iteration keeps its last (the first-order
// inverse q − shift(q) stood 12 cm from PROJ's at a grid's west edge).
bool inverse(const NTv2Grid& grid, bool finest, double lat, double lon, double& outLat, double& outLon) {
  lon = inGridLongitude(grid, finest, lat, lon);
  double pLat = lat, pLon = lon;
  for (int step = 0; step < kInverseSteps; ++step) {
    const int index = grid.select(pLat, pLon, finest);
    double dLat = 0.0, dLon = 0.0;
    if (index < 0 || !grid.interpolate(index, pLat, pLon, dLat, dLon)) {
      if (step == 0) return false;
      outLat = pLat, outLon = pLon;
      return true;
    }
    const double nextLat = lat - dLat, nextLon = lon - dLon;
    const bool settled = std::fabs(nextLat - pLat) < kSettledSeconds && std::fabs(nextLon - pLon) < kSettledSeconds;
    pLat = nextLat, pLon = nextLon;
    if (settled) {
      outLat = pLat, outLon = pLon;
      return true;
    }
  }
  return false;
}

constexpr std::uint8_t kInFinerGrid = 1;

// Shifts the lines of one batch (a worker's share; the grid is only read).
void ShiftBatch(const GridShiftJob& job, const NTv2Grid& grid, LineBatch& batch) {
  BatchResults& results = batch.results;
  std::string line;
  for (const LineBatch::Line& item : batch.lines) {
    const std::string_view data = trimBlanks(batch.data(item));
    std::string_view name;
    double B = 0.0, L = 0.0;
    if (scanFields(data, name, B, L) < 3) {
      results.unreadable(item.number);
      continue;
    }
    const double lat = B * 3600.0, lon = -L * 3600.0;
    double outLat = 0.0, outLon = 0.0;
    const bool done = job.inverse ? inverse(grid, job.finest, lat, lon, outLat, outLon)
                                  : forward(grid, job.finest, lat, lon, outLat, outLon);
    if (!done || !Writable(outLat, outLon)) {
      results.leftOut(item.number, name);
      continue;
    }
    const bool inFinerGrid = !job.finest && grid.subGrids.size() > 1 && grid.select(lat, lon, true) > 0;
    FormatPointLine2(line, name, outLat / 3600.0, -outLon / 3600.0, kDecimals);
    if (job.keepRest) AppendRest(line, RestAfterWords(data, 3));
    results.output += line;
    results.wrote(item.number, inFinerGrid ? kInFinerGrid : 0);
  }
}

}  // namespace

bool RunGridShift(const GridShiftJob& job, JobHost& host, GridShiftResult* result) {
  if (!CheckDistinctFiles({job.gridPath, job.inputPath}, {job.outputPath}, host)) return false;
  NTv2Grid grid;
  if (grid.Load(job.gridPath, host) != 0) return false;
  LineReader reader(job.inputPath);
  reader.setForm(PointInputForm(job.inputPath));
  OutputFile output;
  if (!OpenStreamedBatch(host, reader, job.inputPath, output, job.outputPath)) return false;
  output.setForm(PointOutputForm(job.outputPath), job.keepRest ? "name B L rest" : "name B L");
  if (host.showsProgress()) {
    host.setProgressRange(CountDataLines(job.inputPath));
  }
  GridShiftResult counts;
  LineDelivery delivery(host, output, counts, [&](std::int64_t, std::int64_t) { host.stepProgress(); },
                        [&](const ItemResult& item) {
                          if ((item.flags & kInFinerGrid) != 0) ++counts.pointsInFinerGrids;
                        });
  const PipelineEnd end = StreamLineBatches(
      reader, [&]() -> ComputeLines { return [&](LineBatch& batch) { ShiftBatch(job, grid, batch); }; },
      [&](LineBatch& batch) { return delivery(batch.results); });
  host.endProgress();
  // Not committed: the old output stays as it was.
  if (delivery.cancelled()) return false;
  if (result != nullptr) *result = counts;  // what a failed run reached, too
  if (!FinishStreamedBatch(host, reader, end, job.inputPath, output, job.outputPath, counts)) return false;
  // Only the inverse shift iterates; a forward run's points are left out for lying outside.
  if (counts.pointsLeftOut > 0) {
    host.message(job.inverse ? str::PointsOutsideGrid : str::PointsOutsideGridForward,
                 {counts.pointsLeftOut, counts.firstLeftOut});
  }
  if (counts.pointsInFinerGrids > 0) host.message(str::FinerGridsIgnored, {counts.pointsInFinerGrids});
  if (result != nullptr) *result = counts;
  return true;
}

}  // namespace pelmar
