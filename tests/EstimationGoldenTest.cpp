#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "support/TestSupport.h"

// Whole estimation runs through the command line, compared byte for byte
// with reviewed files: report, output points, residual plot and summary, for
// every model and method and the options that change the run's path
// (centring, distribution and its weighting, prior information, two scales,
// sectioned targets, a second language). They hold the estimations to what
// they give today while the code behind them is reshaped.
// PELMAR_UPDATE_GOLDEN=1 rewrites them; review the diff before committing.
namespace pelmar {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

struct GoldenRun {
  const char* name;  // files tests/golden/estimation/<name>.{aus,txt,svg,json}
  const char* model;
  const char* source;  // below the source tree
  const char* target;
  std::vector<std::string> options;  // global options: --set, --lang
  std::vector<std::string> extra;    // options of the estimate command
};

const std::string kPlaneSource = "tests/golden/plane-source.txt";
const std::string kPlaneTarget = "tests/golden/plane-target.txt";
const std::string kSpatialSource = "tests/reference/helmert-source.txt";
const std::string kSpatialTarget = "tests/reference/helmert-target-pv.txt";
const std::string kEllipsoidalSource = "tests/golden/ellipsoidal-source-decimal.txt";
const std::string kEllipsoidalTarget = "tests/golden/ellipsoidal-target-decimal.txt";
const std::vector<std::string> kEllipsoids = {"--source-ellipsoid", "Bessel", "--target-ellipsoid", "GRS80"};

std::vector<std::string> set(std::initializer_list<const char*> keys) {
  std::vector<std::string> args;
  for (const char* key : keys) {
    args.push_back("--set");
    args.push_back(key);
  }
  return args;
}

// Every path the run was given, replaced by a placeholder: the files hold
// no temporary folder.
std::string withoutFolders(std::string text, const std::string& work, const std::string& source) {
  for (const auto& [folder, name] : {std::pair{work, std::string("<work>")}, std::pair{source, std::string("<src>")}}) {
    for (std::size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at + name.size())) {
      text.replace(at, folder.size(), name);
    }
  }
  return text;
}

TEST(EstimationGolden, every_model_and_method_gives_its_reviewed_files) {
  const std::vector<GoldenRun> runs = {
      {"similarity-ls", "similarity", kPlaneSource.c_str(), kPlaneTarget.c_str(), set({"SoldnerSettings.Type=1"}), {}},
      {"similarity-l1-undistributed", "similarity", kPlaneSource.c_str(), kPlaneTarget.c_str(),
       set({"SoldnerSettings.Type=0", "Interpolation.InterpolationActive=0"}), {}},
      {"similarity-ls-exponential-de", "similarity", kPlaneSource.c_str(), kPlaneTarget.c_str(),
       [] {
         auto args = set({"SoldnerSettings.Type=1", "Interpolation.Interpolationtype=2", "Interpolation.dsH=20000"});
         args.insert(args.end(), {"--lang", "DE"});
         return args;
       }(),
       {}},
      {"affine-l1", "affine", kPlaneSource.c_str(), kPlaneTarget.c_str(), set({"SoldnerSettings.Type=0"}), {}},
      {"affine-ls-uncentred", "affine", kPlaneSource.c_str(), kPlaneTarget.c_str(),
       set({"SoldnerSettings.Type=1", "SoldnerSettings.Center=0", "Interpolation.Interpolationtype=1"}), {}},
      {"helmert-l1", "helmert", kSpatialSource.c_str(), kSpatialTarget.c_str(), set({"HelmertTrafo3D.Type=0"}), {}},
      {"helmert-ls-uncentred", "helmert", kSpatialSource.c_str(), kSpatialTarget.c_str(),
       set({"HelmertTrafo3D.Type=1", "HelmertTrafo3D.Center=0"}), {}},
      {"helmert-linearised-l1", "helmert-l1", kSpatialSource.c_str(), kSpatialTarget.c_str(),
       set({"HelmertTrafo3D.TypeLinearised=0"}), {}},
      {"helmert-linearised-ls-uncentred", "helmert-l1", kSpatialSource.c_str(), kSpatialTarget.c_str(),
       set({"HelmertTrafo3D.TypeLinearised=1", "HelmertTrafo3D.Center=0", "HelmertTrafo3D.Scale=0"}), {}},
      {"ellipsoidal-ls-prior", "ellipsoidal", kEllipsoidalSource.c_str(), kEllipsoidalTarget.c_str(),
       set({"HelmertTrafo3DBL.Type=1"}), kEllipsoids},
      {"ellipsoidal-l1-two-scales", "ellipsoidal", kEllipsoidalSource.c_str(), kEllipsoidalTarget.c_str(),
       set({"HelmertTrafo3DBL.Type=0", "HelmertTrafo3DBL.ScaleType=1"}), kEllipsoids},
      {"ellipsoidal-ls-plain-dms", "ellipsoidal", "tests/golden/ellipsoidal-source-dms.txt",
       "tests/golden/ellipsoidal-target-dms.txt",
       set({"HelmertTrafo3DBL.Type=1", "HelmertTrafo3DBL.Vorinfo=0", "HelmertTrafo3DBL.Individual=0",
            "GeneralSettings.FormatGeog=1"}),
       kEllipsoids},
  };
  const std::filesystem::path goldenDir = test::sourceDir() / "tests" / "golden" / "estimation";
  const bool update = std::getenv("PELMAR_UPDATE_GOLDEN") != nullptr;
  for (const GoldenRun& run : runs) {
    SCOPED_TRACE(run.name);
    TempDir home;
    for (const char* name : {"PelmarGeneral.ini", "LangEN.lng", "LangDE.lng", "Ellip.db"}) {
      std::filesystem::copy_file(test::binDir() / name, home / name);
    }
    writeFile(home / "HeaderInfo.dat", "");
    test::linkPlugins(home.path());
    const std::string work = home.path().string();
    std::vector<std::string> args = {"--home", work, "--settings", work + "/user.ini", "-q",
                                     "--summary", work + "/run.json"};
    args.insert(args.end(), run.options.begin(), run.options.end());
    args.insert(args.end(), {"estimate", run.model, "--source", (test::sourceDir() / run.source).string(), "--target",
                             (test::sourceDir() / run.target).string(), "--report", work + "/run.aus", "--output",
                             work + "/run.txt", "--plot", work + "/run.svg"});
    args.insert(args.end(), run.extra.begin(), run.extra.end());
    std::ostringstream out, err;
    ASSERT_EQ(cli::runCli(args, cli::defaultCommands(), out, err, false), 0) << err.str();
    for (const char* suffix : {".aus", ".txt", ".svg", ".json"}) {
      const std::string file = std::string(run.name) + suffix;
      const std::string made =
          withoutFolders(readFile(home / (std::string("run") + suffix)), work, test::sourceDir().string());
      if (update) {
        std::filesystem::create_directories(goldenDir);
        writeFile(goldenDir / file, made);
      }
      EXPECT_EQ(made, readFile(goldenDir / file)) << "to review a change: diff tests/golden/estimation/" << file;
    }
  }
}

}  // namespace
}  // namespace pelmar
