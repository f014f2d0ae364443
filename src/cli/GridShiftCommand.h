#pragma once

#include "cli/Command.h"

namespace pelmar::cli {

// ntv2 GRID INPUT OUTPUT [--inverse] [--subgrids first|finest]
class GridShiftCommand : public Command {
 public:
  std::string_view name() const override { return "ntv2"; }
  std::string_view synopsis() const override {
    return "ntv2 GRID INPUT OUTPUT               NTv2 grid shift (ASCII or binary grid, by content)\n"
           "          [--inverse] [--subgrids first|finest]";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
  bool writesStandardOutput(const std::vector<std::string>& args) const override;
};

}  // namespace pelmar::cli
