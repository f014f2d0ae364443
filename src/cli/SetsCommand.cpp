#include "cli/SetsCommand.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "io/FileAccess.h"
#include "io/FileReplace.h"
#include "app/StringIds.h"
#include "text/TextEncoding.h"
#include "cli/CliHost.h"
#include "cli/ConvertCommand.h"
#include "cli/Summary.h"
#include "points/LineFormatters.h"
#include "conversion/ProjectionLibrary.h"
#include "text/LineScanner.h"
#include "stored/ApplyStoredTransformation.h"
#include "stored/ProjPipeline.h"
#include "stored/SetJson.h"
#include "stored/TransformationDatabase.h"

namespace pelmar::cli {

namespace {

std::string utf8(const std::string& text) { return fileTextToUtf8(text); }

std::string trimmed(const std::string& text) { return std::string(trimBlanks(text)); }

TransformationDatabase openDatabase(CliContext& context) {
  TransformationDatabase database(context.state.userFiles() / kTransformationFileName);
  database.Load(&context.host);
  return database;
}

}  // namespace

namespace {

// Stores `set` under its name unless a set of that name exists.
int storeNew(CliContext& context, TransformationDatabase& database, const TransformationSet& set) {
  bool taken = false;
  const bool stored = database.Update(
      [&](TransformationDatabase::SetList& sets) {
        if ((taken = NameTaken(sets, set.name))) return false;
        sets.push_back(set);
        return true;
      },
      context.host);
  if (taken) context.host.message(str::SetNameTaken, {utf8(set.name)});
  return stored ? kSuccess : kJobFailed;
}

// sets import-proj NAME PIPELINE [--description TEXT]
int importProj(CliContext& context, TransformationDatabase& database, const std::vector<std::string>& args) {
  std::string description;
  if (args.size() == 5 && args[3] == "--description") {
    description = args[4];
  } else if (args.size() != 3) {
    return usageError(context.err, "sets import-proj: give NAME 'PIPELINE' [--description TEXT]");
  }
  std::string name, stored, error;
  if (!(error = StoredText(args[1], true, name)).empty() ||
      !(error = StoredText(description, false, stored)).empty()) {
    return usageError(context.err, "sets import-proj: " + error);
  }
  TransformationSet set;
  std::vector<std::string> notes;
  EllipsoidList ellipsoids;
  if (!readEllipsoids(context, ellipsoids)) return kJobFailed;
  if (!SetFromPipeline(args[2], ellipsoids, set, notes, error)) {
    context.err << "pelmar-cli: sets import-proj: " << error << "\n";
    return kJobFailed;
  }
  if (set.type == 2) {
    // Pelmar applies an ellipsoidal set differentially; say how closely.
    ProjectionLibrary library;
    if (!library.Open(context.state.home)) {
      context.host.message(str::ProjectionLibraryMissing);
      return kJobFailed;
    }
    const double departure = LargestModelDeparture(set, library);
    const std::string text = context.host.text(str::SetImportDeparture, {departure});
    if (!(departure <= kUsableModelDeparture)) {
      context.err << "pelmar-cli: sets import-proj: not stored: " << text.substr(0, text.find_last_not_of('.') + 1)
                  << "; a pre-translation step (a first helmert step with x, y, z only) near the real "
                     "translations makes it smaller\n";
      return kJobFailed;
    }
    notes.emplace_back(text);
  }
  for (const std::string& note : notes) context.err << "pelmar-cli: sets import-proj: note: " << note << "\n";
  set.name = name;
  set.description = stored;
  return storeNew(context, database, set);
}

}  // namespace

int SetsCommand::run(CliContext& context, const std::vector<std::string>& args) {
  const std::string action = args.empty() ? "" : args[0];
  std::string format = "json";
  std::vector<std::string> operands = args;
  if (action == "export" && args.size() == 5 && args[3] == "--format") {
    format = args[4];
    operands.resize(3);
  }
  const bool valid = (action == "list" && args.size() == 1) || (action == "show" && args.size() == 2) ||
                     (action == "delete" && args.size() == 2) || (action == "export" && operands.size() == 3) ||
                     (action == "import" && args.size() == 2) || action == "import-proj";
  if (!valid) {
    return usageError(context.err,
                      "sets: say list, show NAME, delete NAME, export NAME FILE [--format json|proj], import FILE or "
                      "import-proj NAME PIPELINE");
  }
  if (format != "json" && format != "proj") return usageError(context.err, "sets export: --format json or proj");
  TransformationDatabase database = openDatabase(context);
  if (action == "import-proj") return importProj(context, database, args);

  if (action == "list") {
    for (const TransformationSet& set : database.sets()) {
      context.out << utf8(set.name) << "\t" << set.type << "\t" << utf8(set.description) << "\n";
    }
    return kSuccess;
  }
  if (action == "import") {
    std::string text, error;
    if (!readFileContent(args[1], text)) {
      context.host.message(str::FileNotOpened, {args[1]});
      return kJobFailed;
    }
    TransformationSet set;
    if (!SetFromJson(text, set, error)) {
      context.err << "pelmar-cli: " << args[1] << ": " << error << "\n";
      return kJobFailed;
    }
    return storeNew(context, database, set);
  }

  const std::string name = utf8ToWindows1252(trimmed(args[1]));
  const int index = database.Find(name);
  if (index < 0) {
    context.host.message(str::SetNotFound, {args[1]});
    return kJobFailed;
  }
  const TransformationSet& set = database.sets()[static_cast<std::size_t>(index)];
  if (action == "show") {
    context.out << SetToJson(set);
    return kSuccess;
  }
  if (action == "export") {
    std::string text = SetToJson(set);
    if (format == "proj") {
      std::string problem;
      text = SetPipeline(set, &problem);
      if (text.empty()) {
        context.err << "pelmar-cli: sets export: " << args[1] << " has no PROJ form: " << problem << "\n";
        return kJobFailed;
      }
      text += "\n";
    }
    if (args[2] == "-") {
      context.out << text;
      return kSuccess;
    }
    if (!CheckDistinctFiles({}, {args[2]}, context.host)) return kJobFailed;
    if (!replaceFileContent(args[2], text)) {
      context.host.message(str::FileNotOpened, {args[2]});
      return kJobFailed;
    }
    return kSuccess;
  }
  // delete: the first set of that name in the file as it is now.
  bool found = false;
  const bool removed = database.Update(
      [&](TransformationDatabase::SetList& sets) {
        for (auto it = sets.begin(); it != sets.end(); ++it) {
          if (it->name == name) {
            sets.erase(it);
            return found = true;
          }
        }
        return false;
      },
      context.host);
  if (!found) context.host.message(str::SetNotFound, {args[1]});
  return removed ? kSuccess : kJobFailed;
}

int ApplyCommand::run(CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 3) return usageError(context.err, "apply: give NAME INPUT OUTPUT");
  if (const int problem = OutputFolderProblem(args[2])) {
    context.host.message(problem, {outputDirectory(args[2])});
    return kJobFailed;
  }
  TransformationDatabase database = openDatabase(context);
  const int index = database.Find(utf8ToWindows1252(trimmed(args[0])));
  if (index < 0) {
    context.host.message(str::SetNotFound, {args[0]});
    return kJobFailed;
  }
  ApplyJob job;
  job.inputPath = args[1];
  job.outputPath = args[2];
  loadGeneralSettings(context, job.settings);
  job.set = database.sets()[static_cast<std::size_t>(index)];
  ProjectionLibrary library;
  library.Open(context.state.home);  // needed by type 2; the job tells when it is missing
  ApplyResult result;
  const bool done = ApplyStoredTransformation(job, library, context.host, &result);
  RunSummary& summary = context.summary;
  summary.inputs = {{"input", args[1]}};
  summary.outputs = {{"output", args[2]}};
  SetPointRunCounts(summary, result, args[1]);
  if (job.set.type != 2) summary.outputAxes = splitWords(OutputAxes(job.settings.axisOrder));
  if (!done) {
    context.host.message(str::ApplyFailed);
    return kJobFailed;
  }
  summary.distributionSkipped = result.distributionSkipped;
  return FinishRun(context, summary);
}

}  // namespace pelmar::cli
