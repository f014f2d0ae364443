// "--set SECTION.KEY=VALUE" as the command line parses and checks it.
#include <sstream>
#include <string>

#include "cli/CliApp.h"
#include "cli/SettingKeys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmar;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::ostringstream out, err;
  cli::runCli({"--set", text, "--help"}, cli::defaultCommands(), out, err, false);
  SettingsOverrides overrides;
  const std::size_t dot = text.find('.'), eq = text.find('=');
  if (dot != std::string::npos && eq != std::string::npos && dot < eq) {
    overrides.set(text.substr(0, dot), text.substr(dot + 1, eq - dot - 1), text.substr(eq + 1));
  }
  cli::CheckOverrides(overrides, {"GeneralSettings", "Interpolation", "LambertSettings", "HelmertTrafo3DBL"});
  return 0;
}
