// Cost of one Gauss–Krüger and one Soldner conversion through
// ProjectionLibrary: the wrapper's InitializeDLL hand-over, the module's
// cache check and the projection itself. Run: build/bench/pelmar_bench_projection
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "app/ProgramDirectory.h"
#include "conversion/ProjectionLibrary.h"

namespace {

std::filesystem::path pluginDirectory() {
  // The benchmark lives in build/bench, the program in build/bin.
  return pelmar::executableDirectory().parent_path() / "bin";
}

void BM_GaussKruegerForward(benchmark::State& state) {
  pelmar::ProjectionLibrary library;
  if (!library.Open(pluginDirectory())) {
    state.SkipWithError(library.problem().c_str());
    return;
  }
  library.SetEllipDim(6377397.155, 6356078.962818);
  library.SetGKCase(0);
  library.SetL0Auto(1);
  double B = 48.0;
  double L = 9.2;
  for (auto _ : state) {
    double E = 0, N = 0;
    library.BL_to_EN_GK(B, L, E, N);
    benchmark::DoNotOptimize(E);
    benchmark::DoNotOptimize(N);
    B += 1e-7;
  }
}
BENCHMARK(BM_GaussKruegerForward);

void BM_GaussKruegerInverse(benchmark::State& state) {
  pelmar::ProjectionLibrary library;
  if (!library.Open(pluginDirectory())) {
    state.SkipWithError(library.problem().c_str());
    return;
  }
  library.SetEllipDim(6377397.155, 6356078.962818);
  library.SetGKCase(0);
  library.SetL0Auto(1);
  double E = 3515000.0;
  for (auto _ : state) {
    double B = 0, L = 0;
    library.EN_to_BL_GK(E, 5320000.0, B, L);
    benchmark::DoNotOptimize(B);
    benchmark::DoNotOptimize(L);
    E += 0.01;
  }
}
BENCHMARK(BM_GaussKruegerInverse);

// Cassini–Soldner at 52° N 13° E on Bessel, points up to 50 km away.
void BM_SoldnerForward(benchmark::State& state) {
  pelmar::ProjectionLibrary library;
  if (!library.Open(pluginDirectory())) {
    state.SkipWithError(library.problem().c_str());
    return;
  }
  library.SetEllipDim(6377397.155, 6356078.962818);
  library.SetB0(52.0);
  library.SetL0(13.0);
  double B = 51.6;
  for (auto _ : state) {
    double E = 0, N = 0;
    library.BL_to_EN_Soldner(B, 13.45, E, N);
    benchmark::DoNotOptimize(E);
    benchmark::DoNotOptimize(N);
    B = B < 52.4 ? B + 1e-6 : 51.6;
  }
}
BENCHMARK(BM_SoldnerForward);

void BM_SoldnerInverse(benchmark::State& state) {
  pelmar::ProjectionLibrary library;
  if (!library.Open(pluginDirectory())) {
    state.SkipWithError(library.problem().c_str());
    return;
  }
  library.SetEllipDim(6377397.155, 6356078.962818);
  library.SetB0(52.0);
  library.SetL0(13.0);
  double E = -30000.0;
  for (auto _ : state) {
    double B = 0, L = 0;
    library.EN_to_BL_Soldner(E, 20000.0, B, L);
    benchmark::DoNotOptimize(B);
    benchmark::DoNotOptimize(L);
    E = E < 30000.0 ? E + 0.01 : -30000.0;
  }
}
BENCHMARK(BM_SoldnerInverse);

}  // namespace

BENCHMARK_MAIN();
