#include "CliCore.h"

#include <iostream>

#include "CliFiles.h"
#include "CliLine.h"
#include "CommandTable.h"
#include "DeviceSession.h"
#include "PortsCommand.h"
#include "ProcessSetup.h"
#include "TerminalText.h"
#include "ZembromwVersion.h"

#ifdef _WIN32
#include <io.h>
#define ZEMBROMW_ISATTY _isatty
#else
#include <unistd.h>
#define ZEMBROMW_ISATTY isatty
#endif

namespace zemb::cli {

int Run(const Options& options, Environment& env) {
  if (env.err == nullptr) env.err = &std::cerr;
  if (env.out == nullptr) env.out = &std::cout;
  const CommandEntry* entry = EntryOf(options.command);
  if (entry == nullptr) return ReportUsageError(*env.err, "no command given");
  std::string error;
  if (entry->needsDevice && !CheckSpeed(options.speed, error)) {
    return ReportUsageError(*env.err, error);
  }
  return entry->run(options, env);
}

int Main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // A standard stream that was closed at start now leads to the null device: what goes
  // there is lost, so it counts as a stream that cannot be read or written.
  if (StandardDescriptorWasClosed(0)) std::cin.setstate(std::ios::badbit);
  if (StandardDescriptorWasClosed(1)) std::cout.setstate(std::ios::badbit);
  if (StandardDescriptorWasClosed(2)) std::cerr.setstate(std::ios::badbit);

  Options options;
  std::string error;
  if (!ParseArguments(args, options, error)) {
    std::cerr << kProgram << ": " << EscapeForTerminal(error) << " (try --help)\n";
    return kExitUsage;
  }
  if (options.help) return WriteChecked(std::cout, UsageText()) ? kExitOk : kExitUsage;
  if (options.version) {
    return WriteChecked(std::cout, std::string(kProgram) + " " + ZEMBROMW_VERSION + "\n")
               ? kExitOk
               : kExitUsage;
  }
  UseStoredPortAssignments();
  Environment env;
  env.in = &std::cin;
  env.out = &std::cout;
  env.err = &std::cerr;
  env.progress = !options.quiet && ZEMBROMW_ISATTY(2);
  env.outIsTerminal = ZEMBROMW_ISATTY(1) != 0;
  return Run(options, env);
}

}  // namespace zemb::cli
