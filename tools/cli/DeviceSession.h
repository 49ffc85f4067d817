// One command's conversation with the ROM writer: the port, the signals that may end it, the
// progress bar, the type sent on connecting, and the messages and exit status that follow.
// A command says what to do on the device and what to make of its answer; everything else
// is the same for every command and lives here.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include "CliCore.h"
#include "TStrings.h"

namespace zemb {
class TzembROMWT;
}

namespace zemb::cli {

struct DeviceRun {
  // The code sent on connecting; "type" sends none before its own.
  std::string type;
  // Set when the type came from the image's ;Type line: named before anything is sent.
  std::string typeSource;
  // The line list lent to the component: the lines an upload sends, or where a read goes.
  TStrings* lines = nullptr;
  enum class Progress { None, Upload, Read } progress = Progress::None;
  // The operation on the device; true when the device answered OK.
  std::function<bool(TzembROMWT& rom)> operate;
  // Called when the device was reached and answered (no port, handshake or signal trouble
  // came first), with the operation's result; returns the exit status. Unset: 0 for OK,
  // 1 otherwise.
  std::function<int(TzembROMWT& rom, bool ok)> answered;
  // Set by answered when it already said that the command failed.
  bool failureSaid = false;
};

// Runs the operation and reports it; returns the exit status.
int RunOnDevice(const Options& options, Environment& env, DeviceRun& run);

// Writes why the port could not be opened or written and returns kExitPortFailed.
int ReportPortFailure(TzembROMWT& rom, const Options& options, std::ostream& err);

// Writes "zembromw-cli: " + the message, escaped, and returns kExitUsage.
int ReportUsageError(std::ostream& err, const std::string& message);

}  // namespace zemb::cli
