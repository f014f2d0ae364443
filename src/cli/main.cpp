#include <unistd.h>

#include <clocale>
#include <iostream>

#include "cli/CliApp.h"
#include "cli/CliHost.h"

int main(int argc, char** argv) {
  // Numbers never depend on the locale; keep the C locale for everything.
  std::setlocale(LC_ALL, "C");
  std::ios::sync_with_stdio(false);
  pelmar::cli::InstallInterruptHandler();
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto registry = pelmar::cli::defaultCommands();
  const int status = pelmar::cli::runCli(args, registry, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
  std::cout.flush();
  return status;
}
