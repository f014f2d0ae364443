#pragma once

#include "cli/Command.h"

namespace pelmar::cli {

// estimate MODEL --source F --target F --report F [--output F]
//          [--source-ellipsoid NAME --target-ellipsoid NAME] [--save NAME [--description TEXT]]
//          [--plot FILE.svg|none]
class EstimateCommand : public Command {
 public:
  std::string_view name() const override { return "estimate"; }
  std::vector<std::string_view> settingSections() const override { return {"GeneralSettings", "Interpolation", "SoldnerSettings", "HelmertTrafo3D", "HelmertTrafo3DBL"}; }
  std::string_view synopsis() const override {
    return "estimate MODEL --source F --target F --report F [--output F]\n"
           "                                     MODEL: similarity | affine | helmert | helmert-l1 | ellipsoidal\n"
           "                                     [--source-ellipsoid NAME --target-ellipsoid NAME]  (ellipsoidal)\n"
           "                                     [--save NAME [--description TEXT]]  store the estimated set\n"
           "                                     [--plot FILE.svg|none]  the residual plot (default: the\n"
           "                                     report's name with .svg; none: no plot)";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
  bool writesStandardOutput(const std::vector<std::string>& args) const override;
};

}  // namespace pelmar::cli
