#pragma once

#include "cli/Command.h"

namespace pelmar::cli {

// geodesy direct|inverse|arc|latitude INPUT OUTPUT
class GeodesyCommand : public Command {
 public:
  std::string_view name() const override { return "geodesy"; }
  std::vector<std::string_view> settingSections() const override { return {"GeneralSettings", "Interpolation"}; }
  std::string_view synopsis() const override {
    return "geodesy direct|inverse|arc|latitude INPUT OUTPUT\n"
           "                                     geodetic problems on the ellipsoid of the settings or --ellipsoid";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
};

}  // namespace pelmar::cli
