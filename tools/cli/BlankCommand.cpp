// blank START END: the device's blank check of a range.
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageJob.h"
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
  DeviceRun run;
  run.type = options.type;
  run.operate = [start, end](TzembROMWT& rom) { return rom.BlankCheck(start, end); };
  return RunOnDevice(options, env, run);
}

}  // namespace zemb::cli
