#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "VIVoraruraze.h"
#include "io/DynamicLibrary.h"

namespace pelmar {

// The projection library's parameters as the caller last set them. A new
// instance's cache is all zero.
struct ProjectionParameters {
  double L0 = 0.0;  // degrees
  int L0Auto = 0;
  double B0 = 0.0;  // degrees
  double a = 0.0;   // metres
  double b = 0.0;   // metres
  double BNord = 0.0;
  double BSued = 0.0;
  double FalseNorth = 0.0;
  double FalseEast = 0.0;
  int LambType = 0;
  int LambCase = 0;
  int GKCase = 0;
};

// One owner's binding to the projection library VIVoraruraze. The module is
// shared by the process, so before every call the wrapper hands its own
// parameter cache to InitializeDLL: what another owner set never leaks in.
//
// Every call returns VIV_OK (1), the library's own failure code (see
// VIVoraruraze.h: the outputs are then NaN), VIV_NOT_USABLE (−1000) when the
// module or an export is missing, or VIV_EXCEPTION (−2000).
class ProjectionLibrary {
 public:
  static constexpr const char* kModuleName = "VIVoraruraze";

  // Loads <directory>/VIVoraruraze.so and binds every export; usable only
  // when all of them resolve.
  bool Open(const std::filesystem::path& directory);
  // Binds the module `owner` has loaded, with the parameters it holds now,
  // without loading it again: a binding for a worker thread (the module
  // keeps its state per thread). `owner` must stay open while this is used.
  void OpenShared(const ProjectionLibrary& owner);
  void Close();
  bool usable() const noexcept { return usable_; }
  // What is wrong when the library is not usable: the loader's message or the
  // missing exports.
  std::string problem() const;

  const ProjectionParameters& parameters() const noexcept { return cache_; }

  int SetL0(double value);
  int SetB0(double value);
  int SetBNord(double value);
  int SetBSued(double value);
  int SetFalseNorth(double value);
  int SetFalseEast(double value);
  int SetL0Auto(int value);
  int SetLambType(int value);
  int SetLambCase(int value);
  int SetGKCase(int value);
  int SetEllipDim(double a, double b);

  int GMSDEZ(int d, int m, double s, double& degrees);
  int DEZGMS(double degrees, int& d, int& m, double& s);
  int BLH_to_XYZ(double B, double L, double h, double& X, double& Y, double& Z);
  int EllipsoidalCoordinates_to_XYZ(double B, double L, double h, double& X, double& Y, double& Z);
  int XYZ_to_BLH(double X, double Y, double Z, double& B, double& L, double& h);
  int XYZ_to_EllipsoidalCoordinates(double X, double Y, double Z, double& B, double& L, double& h);
  int BL_to_EN_GK(double B, double L, double& E, double& N);
  int BL_to_EN_UTM_Raw(double B, double L, double& E, double& N);
  int BL_to_EN_Lambert(double B, double L, double& E, double& N);
  int BL_to_EN_Mercator(double B, double L, double& E, double& N);
  int BL_to_EN_Soldner(double B, double L, double& E, double& N);
  int BL_to_EN_SoldnerBaden(double B, double L, double& E, double& N);
  int BL_to_EN_EOV(double B, double L, double& E, double& N);
  int EN_to_BL_GK(double E, double N, double& B, double& L);
  int EN_to_BL_UTM_Raw(double E, double N, double& B, double& L);
  int EN_to_BL_Lambert(double E, double N, double& B, double& L);
  int EN_to_BL_Mercator(double E, double N, double& B, double& L);
  int EN_to_BL_Soldner(double E, double N, double& B, double& L);
  int EN_to_BL_SoldnerBaden(double E, double N, double& B, double& L);
  int EN_to_BL_EOV(double E, double N, double& B, double& L);
  int BL_to_EN_UTM_With_Zone(double B, double L, double& E, double& N, int& zone, char& letter);
  int EN_to_BL_UTM_With_Zone(double E, double N, int zone, char letter, double& B, double& L);
  int BL_to_EN_Switzerland_Conformal_DoubleProjection(double B, double L, double& E, double& N, int swissCase);
  int EN_to_BL_Switzerland_Conformal_DoubleProjection(double E, double N, double& B, double& L, int swissCase);

 private:
  struct Exports {
#define PELMAR_VIV_POINTER(name, type) type name = nullptr;
    VIV_EXPORTS(PELMAR_VIV_POINTER)
#undef PELMAR_VIV_POINTER
  };

  template <class Function, class... Args>
  int call(Function function, Args... args);

  DynamicLibrary module_;
  Exports exports_;
  bool usable_ = false;
  std::vector<std::string> missing_;
  ProjectionParameters cache_;
};

}  // namespace pelmar
