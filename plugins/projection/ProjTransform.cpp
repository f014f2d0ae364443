#include "ProjTransform.h"

#include <cmath>
#include <stdexcept>

namespace viv {

ProjTransform::ProjTransform(const std::string& definition) {
  context_ = proj_context_create();
  if (context_ == nullptr) throw std::runtime_error("PROJ context");
  proj_log_level(context_, PJ_LOG_NONE);
  projection_ = proj_create(context_, definition.c_str());
  if (projection_ == nullptr) {
    proj_context_destroy(context_);
    throw std::invalid_argument("PROJ refuses " + definition);
  }
}

ProjTransform::~ProjTransform() {
  proj_destroy(projection_);
  proj_context_destroy(context_);
}

bool ProjTransform::forward(double lat, double lon, double& x, double& y) const {
  proj_errno_reset(projection_);
  const PJ_COORD out = proj_trans(projection_, PJ_FWD, proj_coord(proj_torad(lon), proj_torad(lat), 0, 0));
  x = out.xy.x;
  y = out.xy.y;
  return std::isfinite(x) && std::isfinite(y) && proj_errno(projection_) == 0;
}

bool ProjTransform::inverse(double x, double y, double& lat, double& lon) const {
  proj_errno_reset(projection_);
  const PJ_COORD out = proj_trans(projection_, PJ_INV, proj_coord(x, y, 0, 0));
  lon = proj_todeg(out.lp.lam);
  lat = proj_todeg(out.lp.phi);
  return std::isfinite(lat) && std::isfinite(lon) && proj_errno(projection_) == 0;
}

}  // namespace viv
