// Throughput of the text side of a batch job: scanning input lines and
// formatting output lines. Run: build/bench/pelmar_bench_points
#include <benchmark/benchmark.h>

#include <string_view>

#include "points/LineFormatters.h"
#include "text/LineScanner.h"

namespace {

void BM_ScanGeographicLine(benchmark::State& state) {
  const std::string_view line = "      Point_000123   48.123456789012   11.987654321098    512.345";
  for (auto _ : state) {
    std::string_view name;
    double b = 0, l = 0, h = 0;
    benchmark::DoNotOptimize(pelmar::scanFields(line, name, b, l, h));
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BM_ScanGeographicLine);

void BM_FormatPointLine3(benchmark::State& state) {
  double e = 4468123.4567;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pelmar::FormatPointLine3("Point_000123", e, 5333456.789, 512.345, 3));
    e += 0.001;
  }
}
BENCHMARK(BM_FormatPointLine3);

}  // namespace

BENCHMARK_MAIN();
