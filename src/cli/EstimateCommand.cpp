#include "cli/EstimateCommand.h"

#include <ostream>

#include "io/FileAccess.h"
#include "app/StringIds.h"
#include "cli/CliHost.h"
#include "cli/ConvertCommand.h"
#include "cli/Summary.h"
#include "points/LineFormatters.h"
#include "text/TextEncoding.h"
#include "conversion/ProjectionLibrary.h"
#include "estimation/EllipsoidalEstimation.h"
#include "estimation/PlaneEstimation.h"
#include "estimation/ResidualPlot.h"
#include "cli/SetsCommand.h"
#include "text/LineScanner.h"
#include "stored/TransformationDatabase.h"
#include "estimation/SpatialEstimation.h"

namespace pelmar::cli {

namespace {

struct EstimateArguments {
  std::string model;
  std::string source, target, report, output, plot;
  std::string sourceEllipsoid, targetEllipsoid;
  std::string save, description;
  bool saving = false;
};

// Returns an error text, empty when the arguments are complete.
std::string parse(const std::vector<std::string>& args, EstimateArguments& parsed) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string* field = nullptr;
    if (arg == "--source") field = &parsed.source;
    if (arg == "--target") field = &parsed.target;
    if (arg == "--report") field = &parsed.report;
    if (arg == "--output") field = &parsed.output;
    if (arg == "--plot") field = &parsed.plot;
    if (arg == "--source-ellipsoid") field = &parsed.sourceEllipsoid;
    if (arg == "--target-ellipsoid") field = &parsed.targetEllipsoid;
    if (arg == "--save") field = &parsed.save, parsed.saving = true;
    if (arg == "--description") field = &parsed.description;
    if (field != nullptr) {
      if (i + 1 >= args.size()) return arg + " needs a file name";
      *field = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && parsed.model.empty()) {
      parsed.model = arg;
    } else {
      return "estimate: unexpected argument '" + arg + "'";
    }
  }
  if (parsed.model.empty()) return "estimate: name the model (similarity, affine, helmert, helmert-l1 or ellipsoidal)";
  if (parsed.model != "ellipsoidal" && (!parsed.sourceEllipsoid.empty() || !parsed.targetEllipsoid.empty())) {
    return "estimate: --source-ellipsoid and --target-ellipsoid belong to the ellipsoidal model";
  }
  if ((parsed.model == "similarity" || parsed.model == "affine") && parsed.saving) {
    return "estimate: plane transformations give no parameter set to --save";
  }
  std::string stored;
  if (parsed.saving) {
    if (const std::string error = StoredText(parsed.save, true, stored); !error.empty()) return "estimate: --save: " + error;
    if (const std::string error = StoredText(parsed.description, false, stored); !error.empty()) {
      return "estimate: --description: " + error;
    }
  }
  if (!parsed.saving && !parsed.description.empty()) return "estimate: --description goes with --save";
  return {};
}

// The two ellipsoids of the ellipsoidal model: by name, or as the option
// dialog stored them (combo index i + 1 is the list's record i; 0 is none).
bool chooseEllipsoidPair(CliContext& context, const EstimateArguments& parsed, EllipsoidalJob& job) {
  EllipsoidList list;
  if (!readEllipsoids(context, list)) return false;
  auto choose = [&](const std::string& name, int comboIndex, int missingMessage, EllipsoidRecord& out) {
    if (!name.empty()) {
      const int index = FindEllipsoid(list, utf8ToWindows1252(name));
      if (index < 0) {
        context.host.message(str::EllipsoidNotFound, {name});
        return false;
      }
      out = list[static_cast<std::size_t>(index)];
      return true;
    }
    if (comboIndex < 1 || comboIndex > static_cast<int>(list.size())) {
      context.host.message(missingMessage);
      return false;
    }
    out = list[static_cast<std::size_t>(comboIndex - 1)];
    return true;
  };
  return choose(parsed.sourceEllipsoid, job.options.ellipsoidSource, str::SourceEllipsoidMissing,
                job.sourceEllipsoid) &&
         choose(parsed.targetEllipsoid, job.options.ellipsoidTarget, str::TargetEllipsoidMissing,
                job.targetEllipsoid);
}

}  // namespace

int EstimateCommand::run(CliContext& context, const std::vector<std::string>& args) {
  EstimateArguments parsed;
  if (const std::string error = parse(args, parsed); !error.empty()) return usageError(context.err, error);
  const bool plane = parsed.model == "similarity" || parsed.model == "affine";
  const bool spatial = parsed.model == "helmert" || parsed.model == "helmert-l1";
  const bool ellipsoidal = parsed.model == "ellipsoidal";
  if (!plane && !spatial && !ellipsoidal) {
    return usageError(context.err, "estimate: unknown model '" + parsed.model +
                                       "' (similarity, affine, helmert, helmert-l1 or ellipsoidal)");
  }
  // The same checks, in the same order, as the estimation page.
  if (parsed.report.empty()) {
    context.host.message(str::NoReportName);
    return kUsage;
  }
  if (parsed.source.empty()) {
    context.host.message(str::NoSourceName);
    return kUsage;
  }
  if (parsed.target.empty()) {
    context.host.message(str::NoTargetName);
    return kUsage;
  }
  // The residual plot goes beside the report unless --plot names its place.
  // --plot none: no plot at all (a file of that name is ./none).
  std::string plot = parsed.plot.empty() ? PlotPathBesideReport(parsed.report).string()
                     : parsed.plot == "none" ? std::string()
                                             : parsed.plot;
  for (const std::string* path : {&parsed.report, &parsed.output, &plot}) {
    if (const int problem = path->empty() ? 0 : OutputFolderProblem(*path)) {
      context.host.message(problem, {outputDirectory(*path)});
      return kJobFailed;
    }
  }

  // A name already stored is refused before anything is computed or written.
  TransformationDatabase database(context.state.userFiles() / kTransformationFileName);
  std::string saveName, saveDescription;
  StoredText(parsed.save, true, saveName);
  StoredText(parsed.description, false, saveDescription);
  if (parsed.saving) {
    // The file must take the set, or the run is for nothing.
    if (const int problem = OutputFolderProblem(database.path().string())) {
      context.host.message(problem, {outputDirectory(database.path().string())});
      return kJobFailed;
    }
    database.Load(&context.host);
    if (NameTaken(database.sets(), saveName)) {
      context.host.message(str::SetNameTaken, {parsed.save});
      return kJobFailed;
    }
  }

  GeneralSettings settings;
  loadGeneralSettings(context, settings);
  // The report header text lives beside the program.
  ReadHeaderText(context.state.userFiles() / kHeaderFileName, settings.headerText);

  RunSummary& summary = context.summary;  // what a failed run tells, too
  summary.model = parsed.model;
  summary.inputs = {{"source", parsed.source}, {"target", parsed.target}};
  summary.outputs = {{"report", parsed.report}};
  if (!parsed.output.empty()) summary.outputs["output"] = parsed.output;
  if (!plot.empty()) summary.outputs["plot"] = plot;
  EstimationSummary estimation;
  estimation.keepPoints = !context.summaryPath.empty();
  TransformationSet set;
  bool savePoints = false;
  int done = 0;
  if (ellipsoidal) {
    EllipsoidalJob job;
    job.sourcePath = parsed.source;
    job.targetPath = parsed.target;
    job.reportPath = parsed.report;
    job.outputPath = parsed.output;
    job.plotPath = plot;
    job.settings = settings;
    job.options.load(context.settings);
    if (parsed.saving && job.options.groups().scaleKind == 2) {
      return usageError(context.err, "estimate: a set with separate plan and height scales cannot be stored");
    }
    savePoints = job.options.savePointInfo != 0;
    if (!chooseEllipsoidPair(context, parsed, job)) return kJobFailed;
    ProjectionLibrary library;
    if (!library.Open(context.state.home)) {
      context.host.message(str::ProjectionLibraryMissing);
      return kJobFailed;
    }
    done = EstimateEllipsoidalHelmert(job, library, context.host, &estimation);
    set = job.set;
  } else {
    EstimationJob job;
    job.sourcePath = parsed.source;
    job.targetPath = parsed.target;
    job.reportPath = parsed.report;
    job.outputPath = parsed.output;
    job.plotPath = plot;
    job.settings = settings;
    if (plane) {
      EstimationOptions2D options;
      options.load(context.settings);
      const PlaneModel model = parsed.model == "similarity" ? PlaneModel::Similarity : PlaneModel::Affine;
      done = Estimate2D(job, model, options.type, options.writeIdentical, options.center, context.host, &estimation);
    } else {
      EstimationOptions3D options;
      options.load(context.settings);
      const SpatialModel model = parsed.model == "helmert" ? SpatialModel::Rigorous : SpatialModel::Linearised;
      savePoints = options.savePointInfo != 0;
      done = EstimateSpatial(job, model, options.forModel(model), context.host, &set, &estimation);
    }
  }
  if (done == 0) {
    context.host.message(str::EstimationFailed);
    return kJobFailed;
  }
  if (parsed.saving) {
    set.name = saveName;
    set.description = saveDescription;
    if (!savePoints && settings.interpolationActive == 1) context.host.message(str::StoredWithoutPoints);
    if (!savePoints) set.points.clear();
    bool taken = false;
    const bool stored = database.Update(
        [&](TransformationDatabase::SetList& sets) {
          if ((taken = NameTaken(sets, set.name))) return false;  // stored meanwhile by another program
          sets.push_back(set);
          return true;
        },
        context.host);
    if (taken) context.host.message(str::SetNameTaken, {parsed.save});
    if (!stored) return kJobFailed;
  }
  summary.linesRead = estimation.linesRead;
  summary.pointsWritten = estimation.pointsWritten;
  summary.pointsLeftOut = estimation.pointsLeftOut;
  summary.firstLeftOut = estimation.firstLeftOut;
  summary.identicalPoints = estimation.identicalPoints;
  summary.linesUnreadable = estimation.linesUnreadable;
  summary.firstUnreadable = estimation.firstUnreadable;
  summary.estimation = &estimation;
  if (parsed.model == "helmert" || parsed.model == "helmert-l1") {
    summary.outputAxes = splitWords(OutputAxes(settings.axisOrder));
  }
  const int status = FinishRun(context, summary);
  // The report stands, but an output or a plot asked for and not written is
  // no success.
  const bool plotWritten = plot.empty() || !context.host.said(str::ResidualPlotNotWritten);
  return status == kSuccess && (!estimation.outputWritten || !plotWritten) ? kJobFailed : status;
}

bool EstimateCommand::writesStandardOutput(const std::vector<std::string>& args) const {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if ((args[i] == "--report" || args[i] == "--output" || args[i] == "--plot") && args[i + 1] == "-") return true;
  }
  return false;
}

}  // namespace pelmar::cli
