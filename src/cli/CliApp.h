#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Command.h"

namespace pelmar::cli {

// The commands pelmar-cli offers.
CommandRegistry defaultCommands();

// Runs pelmar-cli with `args` (without the program name): global options,
// start-up, then the command. Returns the exit status.
int runCli(const std::vector<std::string>& args, const CommandRegistry& registry, std::ostream& out,
           std::ostream& err, bool errIsTerminal);

}  // namespace pelmar::cli
