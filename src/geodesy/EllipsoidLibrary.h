#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ZIVezivIvuz.h"
#include "io/DynamicLibrary.h"

namespace pelmar {

// One owner's binding to the ellipsoid library ZIVezivIvuz. The wrapper
// remembers the axes it was given and hands them to the module again before
// each computation, so that owners sharing the module never see each other's
// ellipsoid. Results: ZIV_OK (1), the library's own failure codes (outputs
// NaN), ZIV_NOT_USABLE (−1000), ZIV_EXCEPTION (−2000). Destroying an instance
// leaves the module loaded.
class EllipsoidLibrary {
 public:
  static constexpr const char* kModuleName = "ZIVezivIvuz";

  bool Open(const std::filesystem::path& directory);
  // Binds the module `owner` has loaded, with its ellipsoid, without loading
  // it again: a binding for a worker thread (the module keeps its ellipsoid
  // per thread).
  void OpenShared(const EllipsoidLibrary& owner);
  bool usable() const noexcept { return usable_; }
  std::string problem() const;

  int SetEllipDim(double a, double b);
  int DirectGeodeticProblem(double B1, double L1, double A1, double S, double& B2, double& L2, double& A2);
  int InDirectGeodeticProblem(double B1, double L1, double B2, double L2, double& A1, double& A2, double& S);
  int MeridianArcLength(double B, double& G);
  int InverseMeridianArcLength(double G, double& B);

 private:
  struct Exports {
#define PELMAR_ZIV_POINTER(name, type) type name = nullptr;
    ZIV_EXPORTS(PELMAR_ZIV_POINTER)
#undef PELMAR_ZIV_POINTER
  };

  bool prepare();

  DynamicLibrary module_;
  Exports exports_;
  bool usable_ = false;
  std::vector<std::string> missing_;
  double a_ = 0.0;
  double b_ = 0.0;
};

}  // namespace pelmar
