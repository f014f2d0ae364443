#pragma once

#include "cli/Command.h"

namespace pelmar::cli {

// ellipsoids list | add NAME A B | delete NAME — the ellipsoid list of
// Ellip.db in the program directory.
class EllipsoidsCommand : public Command {
 public:
  std::string_view name() const override { return "ellipsoids"; }
  std::string_view synopsis() const override {
    return "ellipsoids list                      the ellipsoids of Ellip.db\n"
           "ellipsoids add NAME A B              append an ellipsoid (semi-axes in metres)\n"
           "ellipsoids add NAME A --inverse-flattening F\n"
           "                                     the same from a and 1/f\n"
           "ellipsoids delete NAME               remove the first ellipsoid of that name";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
};

}  // namespace pelmar::cli
