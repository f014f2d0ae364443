#include "cli/Command.h"

#include <ostream>

#include "app/StringIds.h"
#include "cli/CliHost.h"

namespace pelmar::cli {

Command::~Command() = default;

void CommandRegistry::add(std::unique_ptr<Command> command) { commands_.push_back(std::move(command)); }

Command* CommandRegistry::find(std::string_view name) const {
  for (const auto& command : commands_) {
    if (command->name() == name) return command.get();
  }
  return nullptr;
}

void loadGeneralSettings(CliContext& context, GeneralSettings& settings) {
  if (settings.load(context.settings).repaired) {
    context.host.message(str::SettingsZeroedIgnored, {context.settings.file().string()});
  }
}

int usageError(std::ostream& err, const std::string& text) {
  err << "pelmar-cli: " << text << "\n"
            << "Try 'pelmar-cli --help' for more information.\n";
  return kUsage;
}

bool Command::writesStandardOutput(const std::vector<std::string>& args) const {
  for (auto it = args.rbegin(); it != args.rend(); ++it) {
    if (*it == "-") return true;
    if (it->size() <= 1 || (*it)[0] != '-') return false;  // the last operand, options passed over
  }
  return false;
}

}  // namespace pelmar::cli
