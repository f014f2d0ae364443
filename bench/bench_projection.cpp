// Cost of one Gauss–Krüger and one Soldner conversion through
// ProjectionLibrary: the wrapper's InitializeDLL hand-over, the module's
// cache check and the projection itself. Run: build/bench/pelmar_bench_projection
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "app/ProgramDirectory.h"
#include "conversion/ProjectionLibrary.h"

namespace {

using pelmar::ProjectionLibrary;

std::filesystem::path pluginDirectory() {
  // The benchmark lives in build/bench, the program in build/bin.
  return pelmar::executableDirectory().parent_path() / "bin";
}

// Times `convert(library, value, out1, out2)` on Bessel with the parameters
// `setUp` gives, `value` running from `from` to `to` in steps of `step`.
template <class SetUp, class Convert>
void timeConversion(benchmark::State& state, SetUp setUp, Convert convert, double from, double to, double step) {
  ProjectionLibrary library;
  if (!library.Open(pluginDirectory())) {
    state.SkipWithError(library.problem().c_str());
    return;
  }
  library.SetEllipDim(6377397.155, 6356078.962818);
  setUp(library);
  double value = from;
  for (auto _ : state) {
    double out1 = 0, out2 = 0;
    convert(library, value, out1, out2);
    benchmark::DoNotOptimize(out1);
    benchmark::DoNotOptimize(out2);
    value = value < to ? value + step : from;
  }
}

void gaussKrueger(ProjectionLibrary& library) {
  library.SetGKCase(0);
  library.SetL0Auto(1);
}

// Cassini–Soldner at 52° N 13° E, points up to 50 km away.
void soldner(ProjectionLibrary& library) {
  library.SetB0(52.0);
  library.SetL0(13.0);
}

void BM_GaussKruegerForward(benchmark::State& state) {
  timeConversion(
      state, gaussKrueger, [](ProjectionLibrary& l, double B, double& E, double& N) { l.BL_to_EN_GK(B, 9.2, E, N); },
      48.0, 50.0, 1e-7);
}
BENCHMARK(BM_GaussKruegerForward);

void BM_GaussKruegerInverse(benchmark::State& state) {
  timeConversion(
      state, gaussKrueger,
      [](ProjectionLibrary& l, double E, double& B, double& L) { l.EN_to_BL_GK(E, 5320000.0, B, L); }, 3515000.0,
      3600000.0, 0.01);
}
BENCHMARK(BM_GaussKruegerInverse);

void BM_SoldnerForward(benchmark::State& state) {
  timeConversion(
      state, soldner, [](ProjectionLibrary& l, double B, double& E, double& N) { l.BL_to_EN_Soldner(B, 13.45, E, N); },
      51.6, 52.4, 1e-6);
}
BENCHMARK(BM_SoldnerForward);

void BM_SoldnerInverse(benchmark::State& state) {
  timeConversion(
      state, soldner,
      [](ProjectionLibrary& l, double E, double& B, double& L) { l.EN_to_BL_Soldner(E, 20000.0, B, L); }, -30000.0,
      30000.0, 0.01);
}
BENCHMARK(BM_SoldnerInverse);

}  // namespace

BENCHMARK_MAIN();
