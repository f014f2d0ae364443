#include "cli/GeodesyCommand.h"

#include "io/FileAccess.h"
#include "app/StringIds.h"
#include "cli/CliHost.h"
#include "cli/ConvertCommand.h"
#include "cli/Summary.h"
#include "conversion/ProjectionLibrary.h"
#include "geodesy/EllipsoidLibrary.h"
#include "geodesy/GeodeticBatch.h"

namespace pelmar::cli {

int GeodesyCommand::run(CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 3) return usageError(context.err, "geodesy: give direct|inverse|arc|latitude INPUT OUTPUT");
  GeodeticJob job;
  const std::string& task = args[0];
  if (task == "direct") job.task = GeodeticTask::Direct;
  else if (task == "inverse") job.task = GeodeticTask::Inverse;
  else if (task == "arc") job.task = GeodeticTask::ArcLength;
  else if (task == "latitude") job.task = GeodeticTask::LatitudeFromArc;
  else return usageError(context.err, "geodesy: the task is direct, inverse, arc or latitude, not '" + task + "'");
  job.inputPath = args[1];
  job.outputPath = args[2];
  if (const int problem = OutputFolderProblem(args[2])) {
    context.host.message(problem, {outputDirectory(args[2])});
    return kJobFailed;
  }
  loadGeneralSettings(context, job.settings);
  if (!chooseEllipsoid(context, job.settings.ellipsoid, job.ellipsoid)) return kJobFailed;
  EllipsoidLibrary ellipsoids;
  ProjectionLibrary projections;
  if (!ellipsoids.Open(context.state.home)) {
    context.host.message(str::EllipsoidLibraryMissing);
    return kJobFailed;
  }
  if (!projections.Open(context.state.home)) {
    context.host.message(str::ProjectionLibraryMissing);
    return kJobFailed;
  }
  GeodeticResult result;
  const bool done = RunGeodeticTask(job, ellipsoids, projections, context.host, &result);
  RunSummary& summary = context.summary;
  summary.model = task;
  summary.inputs = {{"input", args[1]}};
  summary.outputs = {{"output", args[2]}};
  summary.linesRead = result.linesRead;
  summary.pointsWritten = result.linesWritten;
  summary.pointsLeftOut = result.linesLeftOut;
  summary.firstLeftOut = result.firstLeftOut;
  summary.linesUnreadable = result.linesUnreadable;
  if (result.linesUnreadable > 0) summary.firstUnreadable = args[1] + ":" + std::to_string(result.firstUnreadableLine);
  summary.ellipsoid = job.ellipsoid;
  return done ? FinishRun(context, summary) : kJobFailed;
}

}  // namespace pelmar::cli
