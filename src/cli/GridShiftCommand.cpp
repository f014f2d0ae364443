#include "cli/GridShiftCommand.h"

#include "io/FileAccess.h"
#include "app/StringIds.h"
#include "cli/CliHost.h"
#include "cli/Summary.h"
#include "ntv2/GridShift.h"

namespace pelmar::cli {

int GridShiftCommand::run(CliContext& context, const std::vector<std::string>& args) {
  GridShiftJob job;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--inverse") {
      job.inverse = true;
    } else if (args[i] == "--subgrids") {
      if (i + 1 >= args.size() || (args[i + 1] != "first" && args[i + 1] != "finest")) {
        return usageError(context.err, "ntv2: --subgrids takes first or finest");
      }
      job.finest = args[++i] == "finest";
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return usageError(context.err, "ntv2: unknown option '" + args[i] + "'");
    } else {
      operands.push_back(args[i]);
    }
  }
  if (operands.size() != 3) return usageError(context.err, "ntv2: give GRID INPUT OUTPUT");
  job.gridPath = operands[0];
  job.inputPath = operands[1];
  job.outputPath = operands[2];
  if (const int problem = OutputFolderProblem(operands[2])) {
    context.host.message(problem, {outputDirectory(operands[2])});
    return kJobFailed;
  }
  GeneralSettings settings;
  loadGeneralSettings(context, settings);
  job.keepRest = settings.keepRest != 0;
  GridShiftResult result;
  const bool done = RunGridShift(job, context.host, &result);
  RunSummary& summary = context.summary;
  summary.inputs = {{"grid", operands[0]}, {"input", operands[1]}};
  summary.outputs = {{"output", operands[2]}};
  SetPointRunCounts(summary, result, operands[1]);
  return done ? FinishRun(context, summary) : kJobFailed;
}

bool GridShiftCommand::writesStandardOutput(const std::vector<std::string>& args) const {
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--subgrids") {
      ++i;
    } else if (args[i].size() <= 1 || args[i][0] != '-') {
      operands.push_back(args[i]);
    }
  }
  return operands.size() == 3 && operands[2] == "-";
}

}  // namespace pelmar::cli
