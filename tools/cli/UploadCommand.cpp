#include "UploadCommand.h"

#include <ostream>

#include "CliFiles.h"
#include "TerminalText.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunUpload(const Options& options, Environment& env, UploadOperation operation,
              const std::function<void(ImageJob& job, DeviceRun& run)>& extend) {
  ImageJob job;
  std::string error;
  if (!PrepareImageJob(options, env, true, job, error)) return ReportUsageError(*env.err, error);
  for (const std::string& warning : job.warnings) {
    *env.err << kProgram << ": " << EscapeForTerminal(warning) << '\n';
  }
  DeviceRun run;
  run.type = job.type;
  if (job.typeFromImage) run.typeSource = FileDisplayName(job.file);
  run.lines = &job.input.lines;
  run.progress = DeviceRun::Progress::Upload;
  run.operate = [&job, operation](TzembROMWT& rom) { return (rom.*operation)(job.start, job.end); };
  if (extend) extend(job, run);
  return RunOnDevice(options, env, run);
}

}  // namespace zemb::cli
