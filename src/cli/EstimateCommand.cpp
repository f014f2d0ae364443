#include "cli/EstimateCommand.h"

#include <ostream>

#include "app/FileAccess.h"
#include "app/StringIds.h"
#include "cli/CliHost.h"
#include "cli/Summary.h"
#include "estimation/PlaneEstimation.h"
#include "estimation/SpatialEstimation.h"

namespace pelmar::cli {

namespace {

struct EstimateArguments {
  std::string model;
  std::string source, target, report, output;
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
    if (field != nullptr) {
      if (i + 1 >= args.size()) return arg + " needs a file name";
      *field = args[++i];
    } else if (!arg.empty() && arg[0] != '-' && parsed.model.empty()) {
      parsed.model = arg;
    } else {
      return "estimate: unexpected argument '" + arg + "'";
    }
  }
  if (parsed.model.empty()) return "estimate: name the model (similarity, affine, helmert or helmert-l1)";
  return {};
}

}  // namespace

int EstimateCommand::run(CliContext& context, const std::vector<std::string>& args) {
  EstimateArguments parsed;
  if (const std::string error = parse(args, parsed); !error.empty()) return usageError(context.err, error);
  const bool plane = parsed.model == "similarity" || parsed.model == "affine";
  const bool spatial = parsed.model == "helmert" || parsed.model == "helmert-l1";
  if (!plane && !spatial) {
    return usageError(context.err,
                      "estimate: unknown model '" + parsed.model + "' (similarity, affine, helmert or helmert-l1)");
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
  for (const std::string* path : {&parsed.report, &parsed.output}) {
    if (!path->empty() && !canWriteOutputDirectory(*path)) {
      context.host.message(str::NoWriteAccess, {outputDirectory(*path)});
      return kJobFailed;
    }
  }

  EstimationJob job;
  job.sourcePath = parsed.source;
  job.targetPath = parsed.target;
  job.reportPath = parsed.report;
  job.outputPath = parsed.output;
  job.settings.load(context.settings);
  // The report header text lives beside the program.
  ReadHeaderText(context.state.home / kHeaderFileName, job.settings.headerText);

  EstimationSummary estimation;
  int done = 0;
  if (plane) {
    EstimationOptions2D options;
    options.load(context.settings);
    const PlaneModel model = parsed.model == "similarity" ? PlaneModel::Similarity : PlaneModel::Affine;
    done = Estimate2D(job, model, options.type, options.writeIdentical, options.center, context.host, &estimation);
  } else {
    EstimationOptions3D options;
    options.load(context.settings);
    const SpatialModel model = parsed.model == "helmert" ? SpatialModel::Rigorous : SpatialModel::Linearised;
    TransformationSet set;
    done = EstimateSpatial(job, model, options, context.host, &set, &estimation);
  }
  if (done == 0) {
    context.host.message(str::EstimationFailed);
    return kJobFailed;
  }
  if (!context.summaryPath.empty()) {
    RunSummary summary;
    summary.command = "estimate";
    summary.model = parsed.model;
    summary.inputs = {{"source", parsed.source}, {"target", parsed.target}};
    summary.outputs = {{"report", parsed.report}};
    if (!parsed.output.empty()) summary.outputs["output"] = parsed.output;
    summary.linesRead = estimation.linesRead;
    summary.pointsWritten = estimation.pointsWritten;
    summary.identicalPoints = estimation.identicalPoints;
    summary.estimation = &estimation;
    if (!writeSummary(context.summaryPath, summary)) {
      context.host.message(str::OutputNotCreated, {context.summaryPath.string()});
      return kJobFailed;
    }
  }
  return kSuccess;
}

}  // namespace pelmar::cli
