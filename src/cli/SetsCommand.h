#pragma once

#include "stored/SetJson.h"

#include <string>

#include "cli/Command.h"
#include "stored/TransformationSet.h"

namespace pelmar::cli {

// sets list | show NAME | delete NAME | export NAME FILE [--format json|proj] |
// import FILE.json | import-proj NAME PIPELINE [--description TEXT]
// — the parameter sets of Transformation.db in the program directory.
class SetsCommand : public Command {
 public:
  std::string_view name() const override { return "sets"; }
  std::string_view synopsis() const override {
    return "sets list                            the stored parameter sets\n"
           "sets show NAME                       every value of a set\n"
           "sets delete NAME                     remove the first set of that name\n"
           "sets export NAME FILE [--format json|proj]\n"
           "                                     write a set as JSON or as a PROJ operation (FILE - : stdout)\n"
           "sets import FILE.json                store a set written by export\n"
           "sets import-proj NAME 'PIPELINE' [--description TEXT]\n"
           "                                     store a set from a PROJ helmert step or cart/helmert pipeline";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
  // list and show print; export writes FILE, which may be "-".
  bool writesStandardOutput(const std::vector<std::string>& args) const override {
    return !args.empty() && (args[0] == "list" || args[0] == "show" || (args[0] == "export" && args.size() > 2 &&
                                                                        args[2] == "-"));
  }
};

// apply NAME INPUT OUTPUT — transform a point file with a stored set.
class ApplyCommand : public Command {
 public:
  std::string_view name() const override { return "apply"; }
  std::vector<std::string_view> settingSections() const override { return {"GeneralSettings", "Interpolation"}; }
  std::string_view synopsis() const override {
    return "apply NAME INPUT OUTPUT              transform a point file with a stored set";
  }
  int run(CliContext& context, const std::vector<std::string>& args) override;
};


}  // namespace pelmar::cli
