// type CODE: selects the ROM type and prints the device's answer.
#include <ostream>

#include "CliFiles.h"
#include "CliLine.h"
#include "CommandTable.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "uZEMB.h"

namespace zemb::cli {
int RunTypeCommand(const Options& options, Environment& env) {
  const auto& ops = options.operands;
  if (ops.size() != 1) return ReportUsageError(*env.err, "type takes one ROM type CODE");
  if (ops[0].empty() || HasControlBytes(ops[0])) {
    return ReportUsageError(*env.err, "the ROM type CODE must be printable text");
  }
  std::string answer;
  int echoed = -1;
  DeviceRun run;
  // "type" selects the type itself, so the connection sends no default type before it.
  run.operate = [&](TzembROMWT& rom) {
    answer = rom.SetRomType(ops[0]);
    const bool ok = !answer.empty();
    if (!ok && !rom.Connecting) echoed = CheckTypeAnswer(rom, options, *env.err);
    return ok;
  };
  run.answered = [&](TzembROMWT&, bool ok) {
    if (echoed >= 0) return echoed;
    if (!ok) return static_cast<int>(kExitDeviceNg);
    if (!WriteChecked(*env.out, StatusForTerminal(answer) + '\n')) {
      *env.err << kProgram << ": cannot write standard output\n";
      return static_cast<int>(kExitUsage);
    }
    return static_cast<int>(kExitOk);
  };
  return RunOnDevice(options, env, run);
}

}  // namespace zemb::cli
