// Monte-Carlo rates of the gross-error test: on clean normal noise the
// share of points flagged (95 % per point: about 5 %), and with one to three
// blunders of 20σ among ten points the share of runs in which every blunder
// is flagged, with the share of innocent points flagged beside it, for every
// model and both methods.
// Run: build/bench/pelmar_bench_gross_errors [runs per case, default 200]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <unistd.h>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/JobHost.h"
#include "app/LanguageTable.h"
#include "app/ProgramDirectory.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/PlaneEstimation.h"
#include "estimation/SpatialEstimation.h"

namespace {

using namespace pelmar;

class QuietHost : public JobHost {
 public:
  QuietHost() {
    std::string error;
    table.load(executableDirectory().parent_path() / "bin" / "LangEN.lng", error);
  }
  const LanguageTable& language() const override { return table; }
  void message(int, const MessageArgs&) override {}
  bool ask(int, const MessageArgs&) override { return false; }
  void setProgressRange(std::int64_t) override {}
  void setProgressText(const std::string&) override {}
  void stepProgress() override {}
  void setProgressLines(const std::string&, const std::string&) override {}
  void endProgress() override {}
  LanguageTable table;
};

constexpr double kSigma = 0.01;     // metres
constexpr double kBlunder = 0.20;   // 20σ
const double kPi = 4.0 * std::atan(1.0);

struct Tally {
  long innocents = 0, innocentsFlagged = 0, runs = 0, allFound = 0;
  // (estimate − truth)/σ of the model's scale parameter
  double zSum = 0.0, zSquares = 0.0;
  long zCount = 0;
};

// The scale parameter of each model and its true value in these files.
bool scaleTruth(const std::string& model, const std::string& name, double& truth) {
  const double m = 1.00002;
  if (model == "similarity" && name == "m") truth = m;
  else if (model == "helmert" && name == "scale") truth = m;
  else if (model == "helmert-l1" && name == "dm") truth = m - 1.0;
  else if (model == "ellipsoidal" && name == "m") truth = 6.7e-6;
  else return false;
  return true;
}

// One run's files: point names P0 … Pn−1; `blunders` of them get 20σ on one
// coordinate. Returns the names with blunders.
struct Case {
  std::string model;  // similarity, affine, helmert, helmert-l1, ellipsoidal
  int method;         // 0 L1, 1 least squares
  int points;
  int blunders;
};

std::set<std::string> writeCartesian(const Case& c, std::mt19937& random, const std::filesystem::path& dir) {
  std::uniform_real_distribution<double> spread(-500.0, 500.0);
  std::normal_distribution<double> noise(0.0, kSigma);
  std::vector<int> order(static_cast<std::size_t>(c.points));
  for (int i = 0; i < c.points; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), random);
  std::set<std::string> bad;
  std::vector<int> badAxis(static_cast<std::size_t>(c.points), -1);
  for (int b = 0; b < c.blunders; ++b) {
    badAxis[static_cast<std::size_t>(order[static_cast<std::size_t>(b)])] = static_cast<int>(random() % (c.model.rfind("helmert", 0) == 0 ? 3 : 2));
    bad.insert("P" + std::to_string(order[static_cast<std::size_t>(b)]));
  }
  FILE* s = std::fopen((dir / "s.txt").c_str(), "w");
  FILE* t = std::fopen((dir / "t.txt").c_str(), "w");
  const double angle = 0.3, m = 1.00002;
  for (int i = 0; i < c.points; ++i) {
    double e[3] = {noise(random), noise(random), noise(random)};
    const int axis = badAxis[static_cast<std::size_t>(i)];
    if (axis >= 0) e[axis] += (random() % 2 == 0 ? kBlunder : -kBlunder);
    if (c.model.rfind("helmert", 0) == 0) {
      const double x = 3.9e6 + 100.0 * spread(random), y = 0.8e6 + 100.0 * spread(random),
                   z = 4.9e6 + 100.0 * spread(random);
      const double r = 4e-6;  // radians about each axis, small-angle form
      std::fprintf(s, "P%d %.4f %.4f %.4f\n", i, x, y, z);
      std::fprintf(t, "P%d %.4f %.4f %.4f\n", i, m * (x + r * y - r * z) + 582 + e[1],
                   m * (-r * x + y + r * z) + 105 + e[0], m * (r * x - r * y + z) + 414 + e[2]);
    } else {
      const double y = 3.5e6 + spread(random), x = 5.4e6 + spread(random);
      std::fprintf(s, "P%d %.4f %.4f\n", i, y, x);
      std::fprintf(t, "P%d %.4f %.4f\n", i, m * (std::cos(angle) * y - std::sin(angle) * x) + 100 + e[0],
                   m * (std::sin(angle) * y + std::cos(angle) * x) - 50 + e[1]);
    }
  }
  std::fclose(s);
  std::fclose(t);
  return bad;
}

std::set<std::string> writeEllipsoidal(const Case& c, std::mt19937& random, const std::filesystem::path& dir,
                                       ProjectionLibrary& library, const EllipsoidRecord& source,
                                       const EllipsoidRecord& target) {
  std::uniform_real_distribution<double> spread(-0.5, 0.5);
  std::normal_distribution<double> noise(0.0, kSigma);
  std::set<std::string> bad;
  std::vector<int> order(static_cast<std::size_t>(c.points));
  for (int i = 0; i < c.points; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), random);
  std::vector<int> badAxis(static_cast<std::size_t>(c.points), -1);
  for (int b = 0; b < c.blunders; ++b) {
    badAxis[static_cast<std::size_t>(order[static_cast<std::size_t>(b)])] = static_cast<int>(random() % 3);
    bad.insert("P" + std::to_string(order[static_cast<std::size_t>(b)]));
  }
  const EllipsoidalGroups groups{true, true, 1};
  const double x[7] = {0.2, 0.05, -2.4, 1.0, -0.5, 0.7, 6.7e-6};
  FILE* s = std::fopen((dir / "s.txt").c_str(), "w");
  FILE* t = std::fopen((dir / "t.txt").c_str(), "w");
  std::fprintf(t, "/3D\n");
  for (int i = 0; i < c.points; ++i) {
    const double B = 51.0 + spread(random), L = 10.0 + spread(random), h = 100.0 + 50.0 * spread(random);
    EllipsoidalRows rows;
    BuildEllipsoidalRows(library, source, target, groups, B, L, h, rows);
    std::array<double, 3> p = ApplyEllipsoidalRows(rows, groups, x);
    double e[3] = {noise(random), noise(random), noise(random)};
    const int axis = badAxis[static_cast<std::size_t>(i)];
    if (axis >= 0) e[axis] += (random() % 2 == 0 ? kBlunder : -kBlunder);
    p[0] += e[0] / 6371000.0 * 180.0 / kPi;
    p[1] += e[1] / (6371000.0 * std::cos(p[0] * kPi / 180.0)) * 180.0 / kPi;
    p[2] += e[2];
    std::fprintf(s, "P%d %.10f %.10f %.4f\n", i, B, L, h);
    std::fprintf(t, "P%d %.11f %.11f %.5f\n", i, p[0], p[1], p[2]);
  }
  std::fclose(s);
  std::fclose(t);
  return bad;
}

Tally runCase(const Case& c, int runs, const std::filesystem::path& dir, ProjectionLibrary& library) {
  QuietHost host;
  Tally tally;
  std::mt19937 random(1234 + static_cast<unsigned>(c.points * 31 + c.blunders * 7 + c.method));
  const EllipsoidRecord bessel{"Bessel", 6377397.155, 6356078.962818};
  const EllipsoidRecord grs80{"GRS80", 6378137.0, 6356752.314140356};
  for (int run = 0; run < runs; ++run) {
    EstimationSummary summary;
    std::set<std::string> bad;
    int ok = 0;
    if (c.model == "ellipsoidal") {
      bad = writeEllipsoidal(c, random, dir, library, bessel, grs80);
      EllipsoidalJob job;
      job.sourcePath = dir / "s.txt";
      job.targetPath = dir / "t.txt";
      job.reportPath = dir / "r.aus";
      job.settings.interpolationActive = 0;
      job.sourceEllipsoid = bessel;
      job.targetEllipsoid = grs80;
      job.options.type = c.method;
      job.options.preTranslate = 0;
      job.options.individual = 0;
      job.options.sPlanSource = job.options.sHeightSource = 1e-9;
      job.options.sPlanTarget = job.options.sHeightTarget = kSigma;
      ok = EstimateEllipsoidalHelmert(job, library, host, &summary);
    } else {
      bad = writeCartesian(c, random, dir);
      EstimationJob job;
      job.sourcePath = dir / "s.txt";
      job.targetPath = dir / "t.txt";
      job.reportPath = dir / "r.aus";
      job.settings.interpolationActive = 0;
      if (c.model == "similarity" || c.model == "affine") {
        ok = Estimate2D(job, c.model == "similarity" ? PlaneModel::Similarity : PlaneModel::Affine, c.method, 1, 1,
                        host, &summary);
      } else {
        EstimationOptions3D options;
        options.type = c.method;
        ok = EstimateSpatial(job, c.model == "helmert" ? SpatialModel::Rigorous : SpatialModel::Linearised, options,
                             host, nullptr, &summary);
      }
    }
    if (ok != 1) continue;
    ++tally.runs;
    for (const EstimatedParameter& p : summary.parameters) {
      double truth = 0.0;
      if (!scaleTruth(c.model, p.name, truth) || !p.sigma || !(*p.sigma > 0.0)) continue;
      const double z = (p.value - truth) / *p.sigma;
      tally.zSum += z, tally.zSquares += z * z, ++tally.zCount;
    }
    int found = 0;
    for (const PointTest& t : summary.points) {
      if (bad.count(t.name) > 0) {
        found += t.outlier ? 1 : 0;
      } else {
        ++tally.innocents;
        tally.innocentsFlagged += t.outlier ? 1 : 0;
      }
    }
    tally.allFound += found == c.blunders ? 1 : 0;
  }
  return tally;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const auto dir = std::filesystem::temp_directory_path() / ("pelmar-gross-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  ProjectionLibrary library;
  library.Open(executableDirectory().parent_path() / "bin");
  std::printf("%-12s %-6s %6s %9s %8s %18s %16s %16s\n", "model", "method", "points", "blunders", "runs",
              "innocents flagged", "all blunders", "spread of z");
  for (const char* model : {"similarity", "affine", "helmert", "helmert-l1", "ellipsoidal"}) {
    for (int method : {1, 0}) {
      const std::vector<Case> cases = {{model, method, 5, 0},  {model, method, 10, 0}, {model, method, 30, 0},
                                       {model, method, 10, 1}, {model, method, 10, 2}, {model, method, 10, 3}};
      for (const Case& c : cases) {
        if (c.points < 5 || (std::string(model) == "affine" && c.points < 5)) continue;
        const Tally t = runCase(c, runs, dir, library);
        const double innocent = t.innocents > 0 ? 100.0 * t.innocentsFlagged / t.innocents : 0.0;
        std::printf("%-12s %-6s %6d %9d %8ld %17.1f%% ", model, method == 0 ? "L1" : "LS", c.points, c.blunders,
                    t.runs, innocent);
        if (c.blunders > 0) std::printf("%15.1f%%", t.runs > 0 ? 100.0 * t.allFound / t.runs : 0.0);
        else std::printf("%16s", "-");
        // The spread of (estimate − truth)/σ of the scale on clean data: 1 when σ is honest.
        if (c.blunders == 0 && t.zCount > 1) {
          const double mean = t.zSum / t.zCount;
          std::printf("%17.2f\n", std::sqrt((t.zSquares - t.zCount * mean * mean) / (t.zCount - 1)));
        } else {
          std::printf("%17s\n", "-");
        }
        std::fflush(stdout);
      }
    }
  }
  std::filesystem::remove_all(dir);
  return 0;
}
