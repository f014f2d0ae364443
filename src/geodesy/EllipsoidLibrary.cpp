#include "geodesy/EllipsoidLibrary.h"

#include <limits>

namespace pelmar {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

bool EllipsoidLibrary::Open(const std::filesystem::path& directory) {
  usable_ = false;
  missing_.clear();
  exports_ = Exports{};
  if (!module_.load(DynamicLibrary::modulePath(directory, kModuleName))) return false;
  module_.keepLoaded();
#define PELMAR_ZIV_BIND(name, type)                                     \
  exports_.name = reinterpret_cast<type>(module_.symbol(#name));        \
  if (exports_.name == nullptr) missing_.push_back(#name);
  ZIV_EXPORTS(PELMAR_ZIV_BIND)
#undef PELMAR_ZIV_BIND
  usable_ = missing_.empty();
  return usable_;
}

void EllipsoidLibrary::OpenShared(const EllipsoidLibrary& owner) {
  exports_ = owner.exports_;
  usable_ = owner.usable_;
  missing_ = owner.missing_;
  a_ = owner.a_;
  b_ = owner.b_;
}

std::string EllipsoidLibrary::problem() const {
  if (usable_) return {};
  if (!module_.loaded()) return module_.error();
  std::string text = std::string(kModuleName) + " lacks";
  for (const std::string& name : missing_) text += " " + name;
  return text;
}

int EllipsoidLibrary::SetEllipDim(double a, double b) {
  a_ = a;
  b_ = b;
  return usable_ ? exports_.SetEllipDim(a, b) : ZIV_NOT_USABLE;
}

bool EllipsoidLibrary::prepare() {
  if (!usable_) return false;
  exports_.SetEllipDim(a_, b_);  // the module keeps its objects when the axes are unchanged
  return true;
}

int EllipsoidLibrary::DirectGeodeticProblem(double B1, double L1, double A1, double S, double& B2, double& L2,
                                            double& A2) {
  if (!prepare()) {
    B2 = L2 = A2 = kNaN;
    return ZIV_NOT_USABLE;
  }
  return exports_.DirectGeodeticProblem(B1, L1, A1, S, &B2, &L2, &A2);
}

int EllipsoidLibrary::InDirectGeodeticProblem(double B1, double L1, double B2, double L2, double& A1, double& A2,
                                              double& S) {
  if (!prepare()) {
    A1 = A2 = S = kNaN;
    return ZIV_NOT_USABLE;
  }
  return exports_.InDirectGeodeticProblem(B1, L1, B2, L2, &A1, &A2, &S);
}

int EllipsoidLibrary::MeridianArcLength(double B, double& G) {
  if (!prepare()) {
    G = kNaN;
    return ZIV_NOT_USABLE;
  }
  return exports_.MeridianArcLength(B, &G);
}

int EllipsoidLibrary::InverseMeridianArcLength(double G, double& B) {
  if (!prepare()) {
    B = kNaN;
    return ZIV_NOT_USABLE;
  }
  return exports_.InverseMeridianArcLength(G, &B);
}

}  // namespace pelmar
