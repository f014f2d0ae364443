#include "cli/CliApp.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>

#include "app/ProgramDirectory.h"
#include "app/StringIds.h"
#include "cli/CliHost.h"
#include "text/TextForm.h"
#include "cli/ConvertCommand.h"
#include "cli/EllipsoidsCommand.h"
#include "cli/EstimateCommand.h"
#include "cli/GridShiftCommand.h"
#include "cli/GeodesyCommand.h"
#include "cli/SetsCommand.h"
#include "cli/SettingKeys.h"
#include "io/FileAccess.h"
#include "io/FileReplace.h"
#include "pelmar/Version.h"

namespace pelmar::cli {

namespace {

struct GlobalOptions {
  std::optional<std::filesystem::path> home;
  std::optional<std::filesystem::path> settings;
  std::shared_ptr<SettingsOverrides> overrides = std::make_shared<SettingsOverrides>();
  std::string ellipsoid;
  std::string language;
  std::filesystem::path summary;
  bool quiet = false;
  TextForm pointForm;  // --delimiter, --decimal-comma
  bool help = false;
  bool version = false;
  std::string command;
  std::vector<std::string> commandArgs;
};

// A command's usage lines, indented.
void printSynopsis(std::ostream& out, const Command& command) {
  std::string_view synopsis = command.synopsis();
  while (!synopsis.empty()) {
    const std::size_t nl = synopsis.find('\n');
    out << "  " << synopsis.substr(0, nl) << "\n";
    if (nl == std::string_view::npos) break;
    synopsis.remove_prefix(nl + 1);
  }
}

void printUsage(std::ostream& out, const CommandRegistry& registry) {
  out << "Usage: pelmar-cli [global options] COMMAND [arguments]\n"
         "\n"
         "Geodetic coordinate conversion, transformation estimation and grid shifts\n"
         "on plain-text point files.\n"
         "\n"
         "Global options\n"
         "  --home DIR             program directory (default: PELMAR_HOME, else the\n"
         "                         executable's directory)\n"
         "  --settings FILE        settings file (default: config/<user name>.ini in the\n"
         "                         folder of your files; see --version)\n"
         "  --set SECTION.KEY=VAL  override one settings key for this run only; repeatable\n"
         "  --ellipsoid NAME       ellipsoid by its name in Ellip.db\n"
         "  --lang CODE            language of messages (default: the configured one)\n"
         "  --summary FILE.json    write a machine-readable summary of the run (- : standard output)\n"
         "  --axis-order input|swapped\n"
         "                         transformed cartesian points as X Y Z, or as Y X Z under\n"
         "                         a line \"# name Y X Z\" (default: the setting AxisOrder)\n"
         "  --delimiter ,|;|tab    point files as delimited fields (a header line is skipped;\n"
         "                         outputs get one naming the columns)\n"
         "  --decimal-comma        with --delimiter ; or tab: \"52,21\" read as 52.21\n"
         "  --encoding cp1252|utf-8\n"
         "                         reports and output point files wholly in this encoding\n"
         "                         (default: the setting Encoding, Windows-1252)\n"
         "  --keep-rest            carry the text after the values a job reads (codes,\n"
         "                         remarks, a height it does not use) into its output\n"
         "  -q, --quiet            no progress bar and no closing line of counts\n"
         "  --help, --version      (COMMAND --help: that command's usage)\n"
         "\n"
         "An INPUT or OUTPUT of \"-\" is standard input or output (pipelines).\n"
         "\n"
         "Commands\n";
  if (registry.commands().empty()) out << "  (none yet)\n";
  for (const auto& command : registry.commands()) {
    printSynopsis(out, *command);
  }
  out << "\n"
         "Exit status: 0 success, 1 the job failed, 2 wrong usage, 130 stopped by Ctrl+C\n"
         "(every output is left as it was).\n";
}

void printCommandUsage(std::ostream& out, const Command& command) {
  out << "Usage: pelmar-cli [global options] " << command.name() << " ...\n\n";
  printSynopsis(out, command);
  const std::vector<std::string_view> sections = command.settingSections();
  out << "\nSettings it reads (--set SECTION.KEY=VALUE):";
  for (std::string_view s : sections) out << " " << s;
  out << "\nGlobal options: pelmar-cli --help\n";
}

// "SECTION.KEY=VALUE"
bool parseOverride(const std::string& text, SettingsOverrides& overrides) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= eq) return false;
  overrides.set(text.substr(0, dot), text.substr(dot + 1, eq - dot - 1), text.substr(eq + 1));
  return true;
}

// An option that stands for a setting of this run: `text` one of the
// choices, each with the setting's value. Returns an error text, empty on
// success.
std::string choiceOverride(const std::string& option, const std::string& text, const std::string& key,
                           std::initializer_list<std::pair<const char*, const char*>> choices,
                           GlobalOptions& options) {
  std::string names;
  for (const auto& [choice, value] : choices) {
    if (text == choice) {
      parseOverride(key + "=" + value, *options.overrides);
      return {};
    }
    names += (names.empty() ? "" : " or ") + std::string(choice);
  }
  return option + " takes " + names + ", not '" + text + "'";
}

// Global options may stand before or after the command; "--" ends them.
// Returns an error text, empty on success.
std::string parseGlobals(const std::vector<std::string>& args, GlobalOptions& options) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded) {
      options.commandArgs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
        name = arg.substr(0, eq);
        inlineValue = arg.substr(eq + 1);
      }
    }
    auto value = [&](std::string& out) -> std::string {
      if (inlineValue) {
        out = *inlineValue;
        return {};
      }
      if (i + 1 >= args.size()) return "option " + name + " needs a value";
      out = args[++i];
      return {};
    };
    std::string text;
    std::string error;
    if (name == "--home") {
      if (error = value(text); error.empty()) options.home = text;
    } else if (name == "--settings") {
      if (error = value(text); error.empty()) options.settings = text;
    } else if (name == "--set") {
      if (error = value(text); error.empty() && !parseOverride(text, *options.overrides)) {
        error = "--set takes SECTION.KEY=VALUE, not '" + text + "'";
      }
    } else if (name == "--ellipsoid") {
      error = value(options.ellipsoid);
    } else if (name == "--lang") {
      error = value(options.language);
    } else if (name == "--axis-order") {
      // The setting for this run: X Y Z as the input has them, or Y X Z
      // under a line that names them.
      if (error = value(text); error.empty()) {
        error = choiceOverride(name, text, "GeneralSettings.AxisOrder", {{"input", "1"}, {"swapped", "2"}}, options);
      }
    } else if (name == "--delimiter") {
      if (error = value(text); error.empty()) {
        if (text == "," || text == ";" || text == "tab") {
          options.pointForm.delimiter = text == "tab" ? '\t' : text[0];
        } else {
          error = "--delimiter takes , or ; or tab, not '" + text + "'";
        }
      }
    } else if (name == "--decimal-comma") {
      options.pointForm.decimalComma = true;
    } else if (name == "--encoding") {
      if (error = value(text); error.empty()) {
        error = choiceOverride(name, text, "GeneralSettings.Encoding", {{"cp1252", "0"}, {"utf-8", "1"}}, options);
      }
    } else if (name == "--keep-rest") {
      parseOverride("GeneralSettings.KeepRest=1", *options.overrides);
    } else if (name == "--summary") {
      if (error = value(text); error.empty()) options.summary = text;
    } else if (name == "-q" || name == "--quiet") {
      options.quiet = true;
    } else if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--version") {
      options.version = true;
    } else if (options.command.empty() && !arg.empty() && arg[0] != '-') {
      options.command = arg;
    } else if (!options.command.empty()) {
      options.commandArgs.push_back(arg);  // the command's own options and operands
    } else {
      error = "unknown option '" + arg + "'";
    }
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace

CommandRegistry defaultCommands() {
  CommandRegistry registry;
  registry.add(std::make_unique<ConvertCommand>());
  registry.add(std::make_unique<EstimateCommand>());
  registry.add(std::make_unique<EllipsoidsCommand>());
  registry.add(std::make_unique<SetsCommand>());
  registry.add(std::make_unique<ApplyCommand>());
  registry.add(std::make_unique<GridShiftCommand>());
  registry.add(std::make_unique<GeodesyCommand>());
  return registry;
}

int runCli(const std::vector<std::string>& args, const CommandRegistry& registry, std::ostream& out,
           std::ostream& err, bool errIsTerminal) {
  GlobalOptions options;
  if (const std::string error = parseGlobals(args, options); !error.empty()) return usageError(err, error);
  if (options.pointForm.decimalComma && options.pointForm.delimiter != ';' && options.pointForm.delimiter != '\t') {
    return usageError(err, "--decimal-comma goes with --delimiter ; or tab (a comma cannot be both)");
  }
  if (options.help) {
    if (options.command.empty()) {
      printUsage(out, registry);
      return kSuccess;
    }
    // "pelmar-cli COMMAND --help": that command's usage.
    const Command* command = registry.find(options.command);
    if (command == nullptr) return usageError(err, "unknown command '" + options.command + "'");
    printCommandUsage(out, *command);
    return kSuccess;
  }
  if (options.version) {
    // Which directories a run would use; nothing is created for the asking.
    const std::filesystem::path home = options.home ? *options.home : programDirectory();
    out << "pelmar-cli " << PELMAR_VERSION << "\n"
        << "program directory: " << home.string() << "\n"
        << "your files:        " << userFilesDirectory(home).string() << "\n";
    return kSuccess;
  }
  if (options.command.empty()) return usageError(err, "no command given");

  // Start-up comes first, as in the desktop program: without its language
  // table (and its libraries) the program does not run at all.
  StartUpState state;
  const std::filesystem::path home = options.home ? *options.home : programDirectory();
  // A language the configuration does not list is a usage error, not a
  // missing file (when there is no list, start-up tells what is missing).
  if (!options.language.empty()) {
    std::filesystem::path configuration = userFilesDirectory(home) / LanguageConfiguration::kFileName;
    if (!std::filesystem::exists(configuration)) configuration = home / LanguageConfiguration::kFileName;
    LanguageConfiguration languages(configuration);
    languages.ReadLanguageSettings();
    std::string known;
    bool listed = languages.languages().empty();
    for (const LanguageEntry& entry : languages.languages()) {
      listed = listed || entry.code == options.language;
      known += (known.empty() ? "" : ", ") + entry.code + " (" + entry.name + ")";
    }
    if (!listed) return usageError(err, "--lang " + options.language + ": the languages are " + known);
  }
  if (!StartUp(home, state, options.language)) {
    std::string text = state.errorText;
    std::replace(text.begin(), text.end(), '\n', ' ');
    err << "pelmar-cli: " << text;
    if (state.errorId != 0) err << " [" << state.errorId << "]";
    err << "\n";
    if (!state.errorDetail.empty()) err << "pelmar-cli: " << state.errorDetail << "\n";
    return kJobFailed;
  }

  if (options.settings) AddProgramFile(*options.settings);

  Command* command = registry.find(options.command);
  if (command == nullptr) return usageError(err, "unknown command '" + options.command + "'");
  if (const std::string error = CheckOverrides(*options.overrides, command->settingSections()); !error.empty()) {
    return usageError(err, error);
  }

  CliHost host(state.table, err, errIsTerminal && !options.quiet);
  CliContext context{state, SettingsStore(), host, out, err, options.ellipsoid, options.summary};
  context.quiet = options.quiet;
  context.summary.command = options.command;
  // The summary is checked with the other outputs, before anything is
  // written (it used to fail after the run had replaced its output): its
  // folder, what it would replace, and that it names none of the run's files.
  if (options.summary == "-") {
    // Standard output can take one of them: the summary, or the output.
    if (command->writesStandardOutput(options.commandArgs)) {
      return usageError(err, "--summary - and an output - would both go to standard output");
    }
  } else if (!options.summary.empty()) {
    const std::string summary = options.summary.string();
    if (const int problem = OutputFolderProblem(summary)) {
      host.message(problem, {outputDirectory(summary)});
      return kJobFailed;
    }
    if (const int problem = PrepareReplacement(options.summary).problem) {
      host.message(problem, {summary});
      return kJobFailed;
    }
    const std::vector<std::filesystem::path> operands(options.commandArgs.begin(), options.commandArgs.end());
    if (!CheckDistinctFiles(operands, {options.summary}, host)) return kJobFailed;
  }
  context.settings.SetFile(options.settings ? *options.settings : userSettingsPath(state.userFiles()));
  context.settings.setOverrides(options.overrides);
  {
    // The forms of this run's point files (whatever an earlier run in this
    // process set) and the encoding of every report and output.
    GeneralSettings general;
    general.load(context.settings);
    TextForm output = options.pointForm;
    output.utf8 = general.encoding == 1;
    SetPointForms(options.pointForm, output);
  }
  TakeReplacedCharacters();
  const int status = command->run(context, options.commandArgs);
  // A job stopped by Ctrl+C has committed nothing; whatever the command made
  // of its failure, the run ends as interrupted.
  if (host.cancelled() && status != kUsage) {
    host.message(str::RunCancelled);
    FinishFailedRun(context);
    return kInterrupted;
  }
  if (status == kJobFailed) FinishFailedRun(context);
  return status;
}

}  // namespace pelmar::cli
