// compare: the device compares the chip with the image it is sent; with --diff a failed
// compare is followed by a read of the range that shows where and why.
#include "Commands.h"
#include "RangeReads.h"
#include "UploadCommand.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunCompareCommand(const Options& options, Environment& env) {
  std::string error;
  if (!CheckMaxOption(options, options.diff, "--diff", error)) {
    return ReportUsageError(*env.err, error);
  }
  if (!options.diff) return RunUpload(options, env, &TzembROMWT::CompareRom);
  RangeRead read;
  return RunUpload(options, env, &TzembROMWT::CompareRom, [&](ImageJob& job, DeviceRun& run) {
    run.operate = [&job, &run, &read](TzembROMWT& rom) {
      const bool ok = rom.CompareRom(job.start, job.end);
      if (!ok && AnsweredNg(rom)) ReadRangeAfter(rom, run, job.start, job.end, read);
      return ok;
    };
    run.answered = [&options, &env, &job, &read](TzembROMWT&, bool ok) {
      if (ok) return int{kExitOk};
      if (!read.tried) return int{kExitDeviceNg};
      return ReportDifferences(options, env, job.input.image, job.start, job.end, read);
    };
  });
}

}  // namespace zemb::cli
