#include "conversion/ProjectionLibrary.h"

#include <limits>

namespace pelmar {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <class... Outputs>
void setNaN(Outputs&... outputs) {
  ((outputs = kNaN), ...);
}
}  // namespace

bool ProjectionLibrary::Open(const std::filesystem::path& directory) {
  Close();
  if (!module_.load(DynamicLibrary::modulePath(directory, kModuleName))) return false;
#define PELMAR_VIV_BIND(name, type)                                     \
  exports_.name = reinterpret_cast<type>(module_.symbol(#name));        \
  if (exports_.name == nullptr) missing_.push_back(#name);
  VIV_EXPORTS(PELMAR_VIV_BIND)
#undef PELMAR_VIV_BIND
  usable_ = missing_.empty();
  return usable_;
}

void ProjectionLibrary::OpenShared(const ProjectionLibrary& owner) {
  Close();
  exports_ = owner.exports_;
  usable_ = owner.usable_;
  missing_ = owner.missing_;
  cache_ = owner.cache_;
}

void ProjectionLibrary::Close() {
  usable_ = false;
  missing_.clear();
  exports_ = Exports{};
  module_.unload();
}

std::string ProjectionLibrary::problem() const {
  if (usable_) return {};
  if (!module_.loaded()) return module_.error();
  std::string text = std::string(kModuleName) + " lacks";
  for (const std::string& name : missing_) text += " " + name;
  return text;
}

template <class Function, class... Args>
int ProjectionLibrary::call(Function function, Args... args) {
  if (!usable_) return VIV_NOT_USABLE;
  exports_.InitializeDLL(cache_.L0, cache_.L0Auto, cache_.B0, cache_.a, cache_.b, cache_.BNord, cache_.BSued,
                         cache_.FalseNorth, cache_.FalseEast, cache_.LambType, cache_.LambCase, cache_.GKCase);
  return function(args...);
}

int ProjectionLibrary::SetL0(double value) { return cache_.L0 = value, call(exports_.SetL0, value); }
int ProjectionLibrary::SetB0(double value) { return cache_.B0 = value, call(exports_.SetB0, value); }
int ProjectionLibrary::SetBNord(double value) { return cache_.BNord = value, call(exports_.SetBNord, value); }
int ProjectionLibrary::SetBSued(double value) { return cache_.BSued = value, call(exports_.SetBSued, value); }
int ProjectionLibrary::SetFalseNorth(double value) {
  return cache_.FalseNorth = value, call(exports_.SetFalseNorth, value);
}
int ProjectionLibrary::SetFalseEast(double value) {
  return cache_.FalseEast = value, call(exports_.SetFalseEast, value);
}
int ProjectionLibrary::SetL0Auto(int value) { return cache_.L0Auto = value, call(exports_.SetL0Auto, value); }
int ProjectionLibrary::SetLambType(int value) { return cache_.LambType = value, call(exports_.SetLambType, value); }
int ProjectionLibrary::SetLambCase(int value) { return cache_.LambCase = value, call(exports_.SetLambCase, value); }
int ProjectionLibrary::SetGKCase(int value) { return cache_.GKCase = value, call(exports_.SetGKCase, value); }
int ProjectionLibrary::SetEllipDim(double a, double b) {
  cache_.a = a;
  cache_.b = b;
  return call(exports_.SetEllipDim, a, b);
}

int ProjectionLibrary::GMSDEZ(int d, int m, double s, double& degrees) {
  const int status = call(exports_.GMSDEZ, d, m, s, &degrees);
  if (status == VIV_NOT_USABLE) setNaN(degrees);
  return status;
}

int ProjectionLibrary::DEZGMS(double degrees, int& d, int& m, double& s) {
  const int status = call(exports_.DEZGMS, degrees, &d, &m, &s);
  if (status == VIV_NOT_USABLE) {
    d = m = 0;
    setNaN(s);
  }
  return status;
}

#define PELMAR_THREE_TO_THREE(name)                                                               \
  int ProjectionLibrary::name(double in1, double in2, double in3, double& o1, double& o2, double& o3) { \
    const int status = call(exports_.name, in1, in2, in3, &o1, &o2, &o3);                         \
    if (status == VIV_NOT_USABLE) setNaN(o1, o2, o3);                                             \
    return status;                                                                                \
  }
PELMAR_THREE_TO_THREE(BLH_to_XYZ)
PELMAR_THREE_TO_THREE(EllipsoidalCoordinates_to_XYZ)
PELMAR_THREE_TO_THREE(XYZ_to_BLH)
PELMAR_THREE_TO_THREE(XYZ_to_EllipsoidalCoordinates)
#undef PELMAR_THREE_TO_THREE

#define PELMAR_TWO_TO_TWO(name)                                                   \
  int ProjectionLibrary::name(double in1, double in2, double& o1, double& o2) {  \
    const int status = call(exports_.name, in1, in2, &o1, &o2);                   \
    if (status == VIV_NOT_USABLE) setNaN(o1, o2);                                 \
    return status;                                                                \
  }
PELMAR_TWO_TO_TWO(BL_to_EN_GK)
PELMAR_TWO_TO_TWO(BL_to_EN_UTM_Raw)
PELMAR_TWO_TO_TWO(BL_to_EN_Lambert)
PELMAR_TWO_TO_TWO(BL_to_EN_Mercator)
PELMAR_TWO_TO_TWO(BL_to_EN_Soldner)
PELMAR_TWO_TO_TWO(BL_to_EN_SoldnerBaden)
PELMAR_TWO_TO_TWO(BL_to_EN_EOV)
PELMAR_TWO_TO_TWO(EN_to_BL_GK)
PELMAR_TWO_TO_TWO(EN_to_BL_UTM_Raw)
PELMAR_TWO_TO_TWO(EN_to_BL_Lambert)
PELMAR_TWO_TO_TWO(EN_to_BL_Mercator)
PELMAR_TWO_TO_TWO(EN_to_BL_Soldner)
PELMAR_TWO_TO_TWO(EN_to_BL_SoldnerBaden)
PELMAR_TWO_TO_TWO(EN_to_BL_EOV)
#undef PELMAR_TWO_TO_TWO

int ProjectionLibrary::BL_to_EN_UTM_With_Zone(double B, double L, double& E, double& N, int& zone, char& letter) {
  const int status = call(exports_.BL_to_EN_UTM_With_Zone, B, L, &E, &N, &zone, &letter);
  if (status == VIV_NOT_USABLE) {
    setNaN(E, N);
    zone = 0;
    letter = '\0';
  }
  return status;
}

int ProjectionLibrary::EN_to_BL_UTM_With_Zone(double E, double N, int zone, char letter, double& B, double& L) {
  const int status = call(exports_.EN_to_BL_UTM_With_Zone, E, N, zone, letter, &B, &L);
  if (status == VIV_NOT_USABLE) setNaN(B, L);
  return status;
}

int ProjectionLibrary::BL_to_EN_Switzerland_Conformal_DoubleProjection(double B, double L, double& E, double& N,
                                                                        int swissCase) {
  const int status = call(exports_.BL_to_EN_Switzerland_Conformal_DoubleProjection, B, L, &E, &N, swissCase);
  if (status == VIV_NOT_USABLE) setNaN(E, N);
  return status;
}

int ProjectionLibrary::EN_to_BL_Switzerland_Conformal_DoubleProjection(double E, double N, double& B, double& L,
                                                                        int swissCase) {
  const int status = call(exports_.EN_to_BL_Switzerland_Conformal_DoubleProjection, E, N, &B, &L, swissCase);
  if (status == VIV_NOT_USABLE) setNaN(B, L);
  return status;
}

}  // namespace pelmar
