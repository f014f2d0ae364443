#include "cli/ConvertCommand.h"

#include <charconv>
#include <ostream>

#include "io/FileAccess.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "cli/CliHost.h"
#include "cli/Summary.h"
#include "conversion/BatchConversion.h"
#include "conversion/ConversionProj.h"
#include "conversion/ConversionTree.h"
#include "conversion/ProjectionLibrary.h"

namespace pelmar::cli {

bool readEllipsoids(CliContext& context, EllipsoidList& list) {
  const std::filesystem::path file = context.state.userFiles() / kEllipsoidFileName;
  std::string problem;
  if (ReadEllipsoidDatabase(file, list, &problem)) return true;
  context.host.message(str::EllipsoidFileFailed, {file.string()});
  context.err << "pelmar-cli: " << problem << "\n";
  return false;
}

bool chooseEllipsoid(CliContext& context, int settingsIndex, EllipsoidRecord& ellipsoid) {
  EllipsoidList list;
  if (!readEllipsoids(context, list)) return false;
  if (list.empty()) {
    context.host.message(str::EllipsoidFileFailed, {(context.state.userFiles() / kEllipsoidFileName).string()});
    return false;
  }
  if (!context.ellipsoidName.empty()) {
    const int index = FindEllipsoid(list, utf8ToWindows1252(context.ellipsoidName));
    if (index < 0) {
      context.host.message(str::EllipsoidNotFound, {context.ellipsoidName});
      return false;
    }
    ellipsoid = list[static_cast<std::size_t>(index)];
    return true;
  }
  ellipsoid = SettingsEllipsoid(list, settingsIndex);
  return true;
}

namespace {

// The values the option dialogs would open with.
void loadOptions(CliContext& context, const ConversionInfo& conversion, ConversionJob& job) {
  job.centralMeridian.load(context.settings);
  job.austrianMeridian.load(context.settings);
  job.mercator.load(context.settings);
  job.lambert.load(context.settings);
  if (conversion.dialog == ConversionDialog::SoldnerBaden) {
    job.soldner = SoldnerOptions::baden();
  } else {
    job.soldner.load(context.settings);
  }
}

bool openLibrary(CliContext& context, ProjectionLibrary& library) {
  if (library.Open(context.state.home)) return true;
  context.host.message(str::ProjectionLibraryMissing);
  return false;
}

// convert --list [--proj]: every conversion, with --proj its PROJ operation
// under today's settings.
int listConversions(CliContext& context, bool proj, bool greenwich) {
  ConversionJob job;
  ProjectionLibrary library;
  if (proj) {
    loadGeneralSettings(context, job.settings);
    if (!chooseEllipsoid(context, job.settings.ellipsoid, job.ellipsoid) || !openLibrary(context, library)) {
      return kJobFailed;
    }
  }
  for (const ConversionInfo& c : Conversions()) {
    context.out << c.code << "  " << c.name;
    for (std::size_t pad = std::string_view(c.name).size(); pad < 22; ++pad) context.out << ' ';
    if (!proj) {
      // A national system also by its country or authority.
      const int country = ConversionCountry(c.code);
      if (country != 0) context.out << context.state.table.text(country) << ": ";
      context.out << context.state.table.text(c.labelId) << "\n";
      continue;
    }
    loadOptions(context, c, job);
    job.greenwich = greenwich && c.dialog == ConversionDialog::SoldnerBaden;
    const ProjOperation operation = ConversionOperation(c, job, library);
    context.out << (operation.proj.empty() ? "(no single PROJ operation)" : operation.proj) << "\n";
    if (!operation.note.empty()) context.out << "      # " << operation.note << "\n";
  }
  return kSuccess;
}

}  // namespace

int ConvertCommand::run(CliContext& context, const std::vector<std::string>& args) {
  std::vector<std::string> operands;
  bool greenwich = false;
  bool list = false;
  bool proj = false;
  for (const std::string& arg : args) {
    if (arg == "--greenwich") {
      greenwich = true;
    } else if (arg == "--list") {
      list = true;
    } else if (arg == "--proj") {
      proj = true;
    } else if (!arg.empty() && arg[0] == '-' && arg.size() > 1) {
      return usageError(context.err, "convert: unknown option '" + arg + "'");
    } else {
      operands.push_back(arg);
    }
  }
  if (proj && !list) return usageError(context.err, "convert: --proj goes with --list");
  if (list) return listConversions(context, proj, greenwich);
  if (operands.size() != 3) return usageError(context.err, "convert: give CODE INPUT OUTPUT");
  const std::string& codeText = operands[0];
  int code = 0;
  const auto [end, ec] = std::from_chars(codeText.data(), codeText.data() + codeText.size(), code);
  const ConversionInfo* conversion = (ec == std::errc() && end == codeText.data() + codeText.size())
                                         ? FindConversion(code)
                                         : FindConversion(std::string_view(codeText));
  if (conversion == nullptr) {
    return usageError(context.err, "convert: no conversion '" + codeText + "' (see convert --list)");
  }
  if (greenwich && conversion->dialog != ConversionDialog::SoldnerBaden) {
    return usageError(context.err, "convert: --greenwich belongs to the Soldner Baden conversions");
  }
  const std::string& output = operands[2];
  if (const int problem = OutputFolderProblem(output)) {
    context.host.message(problem, {outputDirectory(output)});
    return kJobFailed;
  }

  ConversionJob job;
  job.inputPath = operands[1];
  job.outputPath = output;
  loadGeneralSettings(context, job.settings);
  if (!chooseEllipsoid(context, job.settings.ellipsoid, job.ellipsoid)) return kJobFailed;
  loadOptions(context, *conversion, job);
  job.greenwich = greenwich;

  ProjectionLibrary library;
  if (!openLibrary(context, library)) return kJobFailed;
  const ProjOperation operation = ConversionOperation(*conversion, job, library);
  ConversionResult result;
  const bool done = RunConversion(*conversion, job, library, context.host, &result);
  RunSummary& summary = context.summary;
  summary.inputs = {{"input", job.inputPath.string()}};
  summary.outputs = {{"output", output}};
  SetPointRunCounts(summary, result, job.inputPath.string());
  summary.ellipsoid = ConversionEllipsoid(*conversion, job.ellipsoid);
  summary.proj = operation.proj;
  summary.projNote = operation.note;
  return done ? FinishRun(context, summary) : kJobFailed;
}

}  // namespace pelmar::cli
