#include "CliLine.h"

#include <ostream>

#include "SerialSpeed.h"
#include "TerminalText.h"
#include "uZEMB.h"

namespace zemb::cli {

namespace {

constexpr size_t kStatusShown = 200;
constexpr const char* kEchoMessage =
    "no answer from the ROM writer (the port echoes what it is sent)";

// How long the line must stay silent before traffic left over from an interrupted command
// counts as ended: a read sends each record well within 100 ms of the last.
constexpr int32_t kQuietMs = 250;
// The most a drain takes: more than the largest chip's read as records (128 KiB in about
// 360,000 bytes, six minutes at 9600 baud), so that a stopped read is always waited out
// while a device that never stops sending still ends the command.
constexpr uint64_t kMaxDrainBytes = 512 * 1024;
// Past this many bytes the wait is worth a word; less is a line end left from an answer.
constexpr uint64_t kDrainNoticeBytes = 64;
constexpr uint64_t kLeftoverLineEnd = 2;

// Reads what the device sends until the line has been quiet for kQuietMs, at most
// kMaxDrainBytes; says once that it waits when the traffic goes on. Returns the bytes read.
uint64_t DrainUntilQuiet(TzembROMWT& rom, const Options& options, std::ostream& err,
                         bool& stillSending) {
  uint64_t drained = 0;
  char c = 0;
  rom.SetReadTimeOut(0);
  if (!rom.ReadChar(c)) return 0;
  ++drained;
  rom.SetReadTimeOut(kQuietMs);
  while (drained < kMaxDrainBytes && rom.ReadChar(c)) {
    if (++drained == kDrainNoticeBytes && !options.quiet) {
      err << kProgram << ": the device is still sending, most likely for a command that was "
          << "interrupted; waiting until it stops (Ctrl-C gives up)\n"
          << std::flush;
    }
  }
  stillSending = drained >= kMaxDrainBytes;
  return drained;
}

// An echoing port passes the handshake ("RA" comes back), so it shows only here: the
// answer to the type command is the command itself.
bool IsEcho(const TzembROMWT& rom, const std::string& code) {
  return rom.Status == "RT " + code;
}

}  // namespace

bool CheckSpeed(int32_t speed, std::string& error) {
  if (IsSupportedSpeed(speed)) return true;
  error = "the speed " + std::to_string(speed) + " cannot be set on this system; use one of " +
          SupportedSpeedsText();
  return false;
}

int PrepareLine(TzembROMWT& rom, const Options& options, std::ostream& err) {
  rom.OpenPort();
  if (rom.PortOpen() && !rom.PortConfig.Applied) {
    // Talking on a line of unknown speed and framing would only bounce garbage.
    err << kProgram << ": cannot set " << options.speed << " baud 8N1 on port "
        << EscapeForTerminal(options.port);
    const std::string why = rom.Channel().LastError();
    if (!why.empty()) err << ": " << EscapeForTerminal(why);
    err << '\n';
    return kExitPortFailed;
  }
  // A device still sending what an interrupted command asked for (a read stopped by
  // Ctrl-C) would answer the handshake with its data lines.
  bool stillSending = false;
  const uint64_t drained = DrainUntilQuiet(rom, options, err, stillSending);
  if (stillSending) {
    err << kProgram << ": the device is still sending (" << drained
        << " bytes drained); reset it, then try again\n";
    return kExitPortFailed;
  }
  if (drained > kLeftoverLineEnd) {
    err << kProgram << ": the device was still sending (" << drained << " bytes drained)\n";
  }
  if (options.command == Command::Type) return -1;

  // The type goes first and on its own: a chip programmed as whatever type the writer
  // still had is worse than no operation at all.
  if (!rom.Connect()) {
    if (options.command == Command::Program) rom.Status = "Program NG";
    if (options.command == Command::Write) rom.Status = "Write NG";
    return ReportNoHandshake(options.port, err);
  }
  // An answer that is no type answer at all is most likely a handshake answer that came
  // late; one more try settles it.
  if (!rom.TypeSet && rom.Status.rfind("RT", 0) != 0 && !IsEcho(rom, options.type) &&
      !rom.Connect()) {
    return ReportNoHandshake(options.port, err);
  }
  if (rom.TypeSet) return -1;
  if (IsEcho(rom, options.type)) {
    err << kProgram << ": " << kEchoMessage << '\n';
    return kExitPortFailed;
  }
  // Silence or a stray line is not a refusal: saying so sends the user to the right cause.
  const std::string code = EscapeForTerminal(options.type);
  if (rom.Status.empty()) {
    err << kProgram << ": the ROM writer did not answer the type command (RT " << code
        << ") in time; nothing was done\n";
  } else if (rom.Status.rfind("RT", 0) != 0) {
    err << kProgram << ": the ROM writer answered the type command (RT " << code << ") with \""
        << StatusForTerminal(rom.Status) << "\", which is no type answer; nothing was done\n";
  } else {
    err << kProgram << ": the ROM writer did not accept type " << code << " (answer: \""
        << StatusForTerminal(rom.Status) << "\"); nothing was done\n";
  }
  return kExitDeviceNg;
}

int ReportNoHandshake(const std::string& port, std::ostream& err) {
  err << kProgram << ": no answer to the handshake on " << EscapeForTerminal(port) << '\n';
  return kExitPortFailed;
}

int CheckTypeAnswer(const TzembROMWT& rom, const Options& options, std::ostream& err) {
  if (rom.TypeSet || options.operands.empty() || !IsEcho(rom, options.operands[0])) return -1;
  err << kProgram << ": " << kEchoMessage << '\n';
  return kExitPortFailed;
}

std::string StatusForTerminal(const std::string& status) {
  return EscapeForTerminal(status, kStatusShown);
}

}  // namespace zemb::cli
