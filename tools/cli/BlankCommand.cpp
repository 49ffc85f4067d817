// blank START END: the device's blank check of a range; with --detail a failed check is
// followed by a read of the range that lists the bytes that are not FF.
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageJob.h"
#include "RangeReads.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunBlankCommand(const Options& options, Environment& env) {
  const auto& ops = options.operands;
  int32_t start = 0;
  int32_t end = 0;
  std::string error;
  if (ops.size() != 2) return ReportUsageError(*env.err, "blank takes START END");
  if (!AddressOperand(ops[0], "start", start, error) ||
      !AddressOperand(ops[1], "end", end, error)) {
    return ReportUsageError(*env.err, error);
  }
  if (!CheckMaxOption(options, options.detail, "--detail", error)) {
    return ReportUsageError(*env.err, error);
  }
  DeviceRun run;
  RangeRead read;
  run.type = options.type;
  run.operate = [&](TzembROMWT& rom) {
    const bool ok = rom.BlankCheck(start, end);
    if (!ok && options.detail && AnsweredNg(rom)) ReadRangeAfter(rom, run, start, end, read);
    return ok;
  };
  run.answered = [&](TzembROMWT&, bool ok) {
    if (ok) return int{kExitOk};
    if (!read.tried) return int{kExitDeviceNg};
    return ReportNotBlank(options, env, start, end, read);
  };
  return RunOnDevice(options, env, run);
}

}  // namespace zemb::cli
