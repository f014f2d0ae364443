#pragma once

#include "cli/Command.h"
#include "settings/EllipsoidDatabase.h"

namespace pelmar::cli {

// convert CODE INPUT OUTPUT [--greenwich] | convert --list
class ConvertCommand : public Command {
 public:
  std::string_view name() const override { return "convert"; }
  std::vector<std::string_view> settingSections() const override { return {"GeneralSettings", "Interpolation", "L0Settings", "L0AustriaSettings", "LambertSettings", "SoldnerSettings", "MercatorSettings"}; }
  std::string_view synopsis() const override {
    return "convert CODE INPUT OUTPUT            CODE: 1000-1014, 2000-2014 or a name (convert --list)\n"
           "        [--greenwich]                Soldner Baden: longitudes from Greenwich\n"
           "convert --list [--proj]              the conversions; with --proj each one's PROJ operation";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
};

// The ellipsoid a command works on: --ellipsoid NAME, else the general
// setting "Ellip" (the first ellipsoid when the index is out of range).
// False, with the message told, when Ellip.db cannot be read or has no such
// ellipsoid.
bool chooseEllipsoid(CliContext& context, int settingsIndex, EllipsoidRecord& ellipsoid);
// Reads Ellip.db of the user's files; when it cannot, tells message 104 and
// what is wrong (the record and its axes, as `ellipsoids list` does).
bool readEllipsoids(CliContext& context, EllipsoidList& list);

}  // namespace pelmar::cli
