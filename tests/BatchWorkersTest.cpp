// The batch jobs compute on several workers; none may change what a run
// writes or tells.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "conversion/BatchConversion.h"
#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"
#include "geodesy/GeodeticBatch.h"
#include "ntv2/GridShift.h"
#include "stored/ApplyStoredTransformation.h"
#include "support/TestSupport.h"

namespace pelmar {
namespace {

using test::readFile;
using test::RecordingHost;
using test::TempDir;
using test::writeFile;

const EllipsoidRecord kBessel{"Bessel", 6377397.155, 6356078.962818};
const EllipsoidRecord kGrs80{"GRS80", 6378137.0, 6356752.314140356};

// What a run left: its result, the output's bytes, what it told (ids and
// arguments as text) and how far its progress went.
struct RunTrace {
  bool ok = false;
  std::string output;
  std::vector<std::string> told;
  std::int64_t steps = 0;
};

// Eight batches and more: every line from `line(i)`, with a line no job
// reads, a blank and a comment line among them.
std::string input(const std::function<std::string(int)>& line) {
  std::string text = "; points\n";
  for (int i = 0; i < 33000; ++i) {
    text += i % 97 == 5 ? "P" + std::to_string(i) + " no numbers\n" : line(i) + "\n";
    if (i % 1000 == 0) text += i % 2000 == 0 ? "\n" : "# comment\n";
  }
  return text;
}

TransformationSet setWithPoints(int type) {
  TransformationSet set;
  set.type = type;
  set.name = "S";
  set.rotation = {0.0001, -0.0002, 0.0003};
  set.translation = {598.1, 73.7, 418.2};
  set.scale = 1.0000067;
  set.sourceEllipsoid = kBessel;
  set.targetEllipsoid = kGrs80;
  for (int i = 0; i < 6; ++i) {
    const double b = 48.0 + i, l = 8.0 + i;
    set.points.push_back({"Q" + std::to_string(i),
                          type == 2 ? std::array{b, l, 100.0} : std::array{3.9e6 + i * 1e4, 9e5, 4.9e6},
                          type == 2 ? std::array{b, l, 140.0} : std::array{9e5 + 100.0, 3.9e6 + i * 1e4, 4.9e6},
                          {0.01 * i, -0.02, 0.03}, {}});
  }
  return set;
}

TEST(BatchWorkers, one_worker_and_several_write_and_tell_the_same) {
  TempDir dir;
  ProjectionLibrary projections;
  ASSERT_TRUE(projections.Open(test::binDir()));
  EllipsoidLibrary ellipsoids;
  ASSERT_TRUE(ellipsoids.Open(test::binDir()));
  const auto in = dir / "in.txt", out = dir / "out.txt";
  // "name B L": every 89th point far outside the projection and the grid,
  // or beyond the pole.
  auto point = [](int i) {
    const double far = i % 89 == 3 ? 95.0 : 0.0;
    return "P" + std::to_string(i) + " " + std::to_string(51.5 + (i % 1000) * 1e-3 + far) + " " +
           std::to_string(12.6 + (i % 777) * 1e-3 + far);
  };
  auto geographic = [&](int i) { return point(i) + " " + std::to_string(i % 500) + " code" + std::to_string(i); };
  GeneralSettings keepRest;
  keepRest.keepRest = 1;
  struct Job {
    const char* name;
    std::string lines;
    std::function<bool(JobHost&)> run;
  };
  const Job jobs[] = {
      {"convert", input(geographic),
       [&](JobHost& host) {
         ConversionJob job{in, out, keepRest, kBessel, {}, {}, {}, {}, false, {}};
         job.soldner.origin.degrees = 52;
         job.soldner.meridian.degrees = 13;
         return RunConversion(*FindConversion("geo-soldner"), job, projections, host);
       }},
      {"ntv2", input(geographic),
       [&](JobHost& host) {
         return RunGridShift({"/usr/share/proj/BETA2007.gsb", in, out, false, true, true}, host);
       }},
      {"geodesy", input([&](int i) { return point(i) + " 52.0 13.0"; }),
       [&](JobHost& host) {
         GeodeticJob job{in, out, {}, kBessel, GeodeticTask::Inverse};
         return RunGeodeticTask(job, ellipsoids, projections, host);
       }},
      {"apply, cartesian", input([](int i) {
           // Every 89th point beyond what the mapping can write.
         return "P" + std::to_string(i) + (i % 89 == 3 ? " 1e308" : " " + std::to_string(3.9e6 + i)) + " 9e5 4.9e6";
       }),
       [&](JobHost& host) {
         ApplyJob job{in, out, keepRest, setWithPoints(0)};
         job.settings.interpolationActive = 1;
         return ApplyStoredTransformation(job, projections, host);
       }},
      {"apply, ellipsoidal", input(geographic),
       [&](JobHost& host) {
         ApplyJob job{in, out, keepRest, setWithPoints(2)};
         job.settings.interpolationActive = 1;
         return ApplyStoredTransformation(job, projections, host);
       }},
  };
  for (const Job& job : jobs) {
    SCOPED_TRACE(job.name);
    writeFile(in, job.lines);
    RunTrace runs[2];
    for (int i = 0; i < 2; ++i) {
      ::setenv("PELMAR_WORKERS", i == 0 ? "1" : "4", 1);
      RecordingHost host;
      runs[i].ok = job.run(host);
      runs[i].output = readFile(out);
      for (std::size_t m = 0; m < host.messages.size(); ++m) {
        std::string text = std::to_string(host.messages[m]);
        for (const MessageArg& arg : host.messageArgs[m]) text += " " + arg.text();
        runs[i].told.push_back(text);
      }
      runs[i].steps = host.steps;
    }
    ::unsetenv("PELMAR_WORKERS");
    EXPECT_TRUE(runs[0].ok);
    EXPECT_GT(runs[0].output.size(), 30000u * 20);
    EXPECT_FALSE(runs[0].told.empty()) << "the unreadable lines are told";
    EXPECT_EQ(runs[0].ok, runs[1].ok);
    EXPECT_TRUE(runs[0].output == runs[1].output) << "the output bytes differ";
    EXPECT_EQ(runs[0].told, runs[1].told);
    EXPECT_EQ(runs[0].steps, runs[1].steps);
  }
}

}  // namespace
}  // namespace pelmar
