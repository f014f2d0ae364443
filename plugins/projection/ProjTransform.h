#pragma once

#include <proj.h>

#include <string>

namespace viv {

// One PROJ projection from a "+proj=..." definition, with a context of its
// own: angles in degrees at this interface, lengths in metres.
class ProjTransform {
 public:
  explicit ProjTransform(const std::string& definition);
  ~ProjTransform();
  ProjTransform(const ProjTransform&) = delete;
  ProjTransform& operator=(const ProjTransform&) = delete;

  // False when PROJ refuses the point (its outputs are then not finite).
  bool forward(double lat, double lon, double& x, double& y) const;
  bool inverse(double x, double y, double& lat, double& lon) const;

 private:
  PJ_CONTEXT* context_ = nullptr;
  PJ* projection_ = nullptr;
};

}  // namespace viv
