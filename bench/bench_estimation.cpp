// Plane estimation from many identical points: least squares and L1 to
// convergence, files and report included. Prints the time per run and the
// process's peak memory; the cost should grow linearly with the points.
// Run: build/bench/pelmar_bench_estimation
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/ProgramDirectory.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/PlaneEstimation.h"
#include "estimation/SpatialEstimation.h"

namespace {

class QuietHost : public pelmar::JobHost {
 public:
  QuietHost() {
    std::string error;
    table.load(pelmar::executableDirectory().parent_path() / "bin" / "LangEN.lng", error);
  }
  const pelmar::LanguageTable& language() const override { return table; }
  void message(int id, const pelmar::MessageArgs&) override { std::fprintf(stderr, "message %d\n", id); }
  bool ask(int, const pelmar::MessageArgs&) override { return false; }
  void setProgressRange(std::int64_t) override {}
  void setProgressText(const std::string&) override {}
  void stepProgress() override {}
  void setProgressLines(const std::string&, const std::string&) override {}
  void endProgress() override {}
  pelmar::LanguageTable table;
};

// The passes of the last run and the process's peak resident memory so far.
void countPassesAndPeak(benchmark::State& state, int passes) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["passes"] = passes;
  state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::filesystem::path workDirectory(int points) {
  const auto dir = std::filesystem::temp_directory_path() / ("pelmar-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto source = dir / ("s" + std::to_string(points) + ".txt");
  if (std::filesystem::exists(source)) return dir;
  std::mt19937 random(42);
  std::uniform_real_distribution<double> uniform(0.0, 20000.0);
  std::normal_distribution<double> noise(0.0, 0.003);
  std::FILE* s = std::fopen(source.c_str(), "w");
  std::FILE* t = std::fopen((dir / ("t" + std::to_string(points) + ".txt")).c_str(), "w");
  const double a = 1.00001 * std::cos(0.002), b = 1.00001 * std::sin(0.002);
  for (int i = 0; i < points; ++i) {
    const double y = 3500000 + uniform(random), x = 5400000 + uniform(random);
    std::fprintf(s, "P%d %.4f %.4f\n", i, y, x);
    std::fprintf(t, "P%d %.4f %.4f\n", i, a * y - b * x + 100 + noise(random), b * y + a * x - 50 + noise(random));
  }
  std::fclose(s);
  std::fclose(t);
  return dir;
}

void BM_PlaneEstimation(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const int method = static_cast<int>(state.range(1));
  const auto dir = workDirectory(points);
  QuietHost host;
  int passes = 0;
  for (auto _ : state) {
    pelmar::EstimationJob job;
    job.sourcePath = dir / ("s" + std::to_string(points) + ".txt");
    job.targetPath = dir / ("t" + std::to_string(points) + ".txt");
    job.reportPath = dir / "report.aus";
    job.outputPath = dir / "output.txt";
    // The distribution weighs every identical point against every other: it
    // is quadratic by its definition and measured on its own.
    job.settings.interpolationActive = 0;
    pelmar::EstimationSummary summary;
    if (pelmar::Estimate2D(job, pelmar::PlaneModel::Similarity, method, 1, 1, host, &summary) != 1) {
      state.SkipWithError("estimation failed");
      return;
    }
    passes = summary.passes;
  }
  countPassesAndPeak(state, passes);
  state.counters["s_per_Mpoint"] =
      benchmark::Counter(static_cast<double>(points) * 1e-6, benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlaneEstimation)
    ->ArgsProduct({{10000, 100000}, {1, 0}})
    ->ArgNames({"points", "method"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Cartesian points around Germany with a DHDN-like datum shift and 5 mm noise.
std::filesystem::path spatialDirectory(int points) {
  const auto dir = std::filesystem::temp_directory_path() / ("pelmar-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto source = dir / ("xyz-s" + std::to_string(points) + ".txt");
  if (std::filesystem::exists(source)) return dir;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(-300000.0, 300000.0);
  std::normal_distribution<double> noise(0.0, 0.005);
  std::FILE* s = std::fopen(source.c_str(), "w");
  std::FILE* t = std::fopen((dir / ("xyz-t" + std::to_string(points) + ".txt")).c_str(), "w");
  const double m = 1.0000067, ex = 0.202 / 206264.8, ey = 0.045 / 206264.8, ez = -2.455 / 206264.8;
  for (int i = 0; i < points; ++i) {
    const double x = 3930000 + uniform(random), y = 760000 + uniform(random), z = 4940000 + uniform(random);
    std::fprintf(s, "P%d %.4f %.4f %.4f\n", i, x, y, z);
    std::fprintf(t, "P%d %.4f %.4f %.4f\n", i, m * (x - ez * y + ey * z) + 598.1 + noise(random),
                 m * (ez * x + y - ex * z) + 73.7 + noise(random), m * (-ey * x + ex * y + z) + 418.2 + noise(random));
  }
  std::fclose(s);
  std::fclose(t);
  return dir;
}

void BM_SpatialEstimation(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  const auto dir = spatialDirectory(points);
  QuietHost host;
  pelmar::EstimationOptions3D options;
  options.type = static_cast<int>(state.range(1));
  const auto model = state.range(2) == 0 ? pelmar::SpatialModel::Rigorous : pelmar::SpatialModel::Linearised;
  int passes = 0;
  for (auto _ : state) {
    pelmar::EstimationJob job;
    job.sourcePath = dir / ("xyz-s" + std::to_string(points) + ".txt");
    job.targetPath = dir / ("xyz-t" + std::to_string(points) + ".txt");
    job.reportPath = dir / "report3d.aus";
    job.outputPath = dir / "output3d.txt";
    job.settings.interpolationActive = 0;
    pelmar::EstimationSummary summary;
    if (pelmar::EstimateSpatial(job, model, options, host, nullptr, &summary) != 1) {
      state.SkipWithError("estimation failed");
      return;
    }
    passes = summary.passes;
  }
  countPassesAndPeak(state, passes);
}
BENCHMARK(BM_SpatialEstimation)
    ->ArgsProduct({{10000, 100000}, {1, 0}, {0, 1}})
    ->ArgNames({"points", "method", "linearised"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

const pelmar::EllipsoidRecord kBessel{"Bessel", 6377397.155, 6356078.962818};
const pelmar::EllipsoidRecord kGrs80{"GRS80", 6378137.0, 6356752.314140};

// Geographic points over Germany on Bessel and their DHDN → ETRS89 images on
// GRS80 (made with the program's own type-2 mapping) with 5 mm noise.
std::filesystem::path ellipsoidalDirectory(int points, pelmar::ProjectionLibrary& library) {
  const auto dir = std::filesystem::temp_directory_path() / ("pelmar-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto source = dir / ("blh-s" + std::to_string(points) + ".txt");
  if (std::filesystem::exists(source)) return dir;
  pelmar::TransformationSet set;
  set.type = 2;
  set.rotation = {0.202 / 3600.0, 0.045 / 3600.0, -2.455 / 3600.0};
  set.translation = {598.1, 73.7, 418.2};
  set.scale = 1.0000067;
  set.sourceEllipsoid = kBessel;
  set.targetEllipsoid = kGrs80;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::normal_distribution<double> noise(0.0, 0.005);
  std::FILE* s = std::fopen(source.c_str(), "w");
  std::FILE* t = std::fopen((dir / ("blh-t" + std::to_string(points) + ".txt")).c_str(), "w");
  std::fprintf(t, "/3D\n");
  for (int i = 0; i < points; ++i) {
    const double B = 47.5 + 7.0 * uniform(random), L = 6.0 + 9.0 * uniform(random), h = 1500.0 * uniform(random);
    std::array<double, 3> o{};
    pelmar::MapType2(set, library, B, L, h, o);
    std::fprintf(s, "P%d %.10f %.10f %.4f\n", i, B, L, h);
    std::fprintf(t, "P%d %.10f %.10f %.4f\n", i, o[0] + noise(random) / 111000.0, o[1] + noise(random) / 72000.0,
                 o[2] + noise(random));
  }
  std::fclose(s);
  std::fclose(t);
  return dir;
}

void BM_EllipsoidalEstimation(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  pelmar::ProjectionLibrary library;
  if (!library.Open(pelmar::executableDirectory().parent_path() / "bin")) {
    state.SkipWithError("projection library missing");
    return;
  }
  const auto dir = ellipsoidalDirectory(points, library);
  QuietHost host;
  int passes = 0;
  for (auto _ : state) {
    pelmar::EllipsoidalJob job;
    job.sourcePath = dir / ("blh-s" + std::to_string(points) + ".txt");
    job.targetPath = dir / ("blh-t" + std::to_string(points) + ".txt");
    job.reportPath = dir / "report-blh.aus";
    job.outputPath = dir / "output-blh.txt";
    job.sourceEllipsoid = kBessel;
    job.targetEllipsoid = kGrs80;
    job.options.type = static_cast<int>(state.range(1));
    job.options.tx = 598.1, job.options.ty = 73.7, job.options.tz = 418.2;
    // The distribution weighs every identical point against every point:
    // quadratic by its definition, so it is off here.
    job.settings.interpolationActive = 0;
    pelmar::EstimationSummary summary;
    if (pelmar::EstimateEllipsoidalHelmert(job, library, host, &summary) != 1) {
      state.SkipWithError("estimation failed");
      return;
    }
    passes = summary.passes;
  }
  countPassesAndPeak(state, passes);
}
BENCHMARK(BM_EllipsoidalEstimation)
    ->ArgsProduct({{100000}, {1, 0}})
    ->ArgNames({"points", "method"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
