#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsStore.h"
#include "app/StartUp.h"
#include "cli/Summary.h"
#include "settings/GeneralSettings.h"

namespace pelmar::cli {

class CliHost;

// Exit statuses of pelmar-cli.
// kInterrupted follows the shells' 128 + SIGINT for a run stopped by Ctrl+C.
enum ExitStatus : int { kSuccess = 0, kJobFailed = 1, kUsage = 2, kInterrupted = 130 };

// What every command gets: the start-up state, the settings (file plus --set
// overrides; a command loads its sections from it as a dialog would) and the
// host that shows messages and progress.
struct CliContext {
  StartUpState& state;
  SettingsStore settings;
  CliHost& host;
  std::ostream& out;
  std::ostream& err;
  std::string ellipsoidName;          // --ellipsoid, empty for the general setting
  std::filesystem::path summaryPath;  // --summary, empty for none; "-" standard output
  bool quiet = false;                 // -q: no progress bar, no closing line
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  // What the run has reached: a command fills it as it goes, so that a run
  // that fails still tells in its summary what it read and why it stopped.
  RunSummary summary{};
  bool summaryWritten = false;
};

// One subcommand. A command parses its own arguments (global options are gone
// by then) and returns an exit status; it reports usage errors itself through
// usageError() below.
class Command {
 public:
  virtual ~Command();
  virtual std::string_view name() const = 0;
  // Usage lines for --help, without the program name.
  virtual std::string_view synopsis() const = 0;
  virtual int run(CliContext& context, const std::vector<std::string>& args) = 0;
  // Whether the command, given `args`, writes its output to standard output
  // ("-"): by default its last operand.
  virtual bool writesStandardOutput(const std::vector<std::string>& args) const;
  // The settings sections the command reads; `--set` may name only their
  // keys. The general settings hold for every command, as in the desktop
  // program.
  virtual std::vector<std::string_view> settingSections() const { return {"GeneralSettings", "Interpolation"}; }
};

class CommandRegistry {
 public:
  void add(std::unique_ptr<Command> command);
  Command* find(std::string_view name) const;
  const std::vector<std::unique_ptr<Command>>& commands() const noexcept { return commands_; }

 private:
  std::vector<std::unique_ptr<Command>> commands_;
};

// Loads the general settings of the run (file plus --set overrides) and
// tells when the file's were zeroed and taken as missing.
void loadGeneralSettings(CliContext& context, GeneralSettings& settings);

// Prints "pelmar-cli: <text>" and a hint to --help on `err`; returns kUsage.
int usageError(std::ostream& err, const std::string& text);

}  // namespace pelmar::cli
