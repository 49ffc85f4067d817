// read START END FILE: the chip's range into FILE, written only when the device answered OK
// and what it sent is sound and covers the range.
#include <filesystem>
#include <ostream>

#include "ChipTypes.h"
#include "CliFiles.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "TerminalText.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunReadCommand(const Options& options, Environment& env) {
  std::ostream& err = *env.err;
  std::ostream& out = *env.out;
  const auto& ops = options.operands;
  const ImageFormat* givenFormat = options.hasFormat ? &options.format : nullptr;
  if (ops.size() == 3 && ops[2] == "-") {
    // Refused before the device is asked: the chip's data would have nowhere to go, or
    // its raw bytes would drive the terminal.
    if (!out.good()) {
      err << kProgram << ": cannot write standard output; nothing was read\n";
      return kExitUsage;
    }
    if (env.outIsTerminal && ReadOutputFormat("-", givenFormat) == ImageFormat::Binary) {
      err << kProgram
          << ": will not write binary data to a terminal; redirect standard output or use "
             "--format hex or srec\n";
      return kExitUsage;
    }
  }
  if (ops.size() != 3) return ReportUsageError(err, "read takes START END FILE");
  const std::string& file = ops[2];
  int32_t start = 0;
  int32_t end = 0;
  std::string error;
  if (!AddressOperand(ops[0], "start", start, error) ||
      !AddressOperand(ops[1], "end", end, error) || !CheckOutputTarget(file, error)) {
    return ReportUsageError(err, error);
  }
  // Looked up, never opened: opening a FIFO would wait for a writer.
  std::error_code ignored;
  const bool fileExisted = file != "-" && std::filesystem::exists(file, ignored);

  TStringList received;
  DeviceRun run;
  run.type = options.type;
  run.lines = &received;
  run.progress = DeviceRun::Progress::Read;
  run.operate = [start, end](TzembROMWT& rom) { return rom.ReadRom(start, end); };
  run.answered = [&](TzembROMWT&, bool ok) {
    int status = ok ? kExitOk : kExitDeviceNg;
    // A read into a file says below how it failed.
    run.failureSaid = file != "-";
    SparseImage image;
    std::string fault;
    const auto first = static_cast<uint32_t>(start);
    const auto last = static_cast<uint32_t>(end);
    if (ok && !VerifyReadData(received, first, last, image, fault)) {
      // The device said OK, but what it sent is not the chip's range: nothing is saved.
      ok = false;
      status = kExitDeviceNg;
      err << kProgram << ": " << fault << '\n';
    }
    if (ok) {
      const ImageFormat outputFormat = ReadOutputFormat(file, givenFormat);
      const std::string text = ReadOutputText(outputFormat, received, image, first, last,
                                              ChipTypeIndexOfCode(options.type));
      if (!options.quiet) {
        err << kProgram << ": read " << ChecksumSummary(image, first, last) << '\n';
      }
      if (!WriteOutput(file, text, out, error)) {
        err << kProgram << ": " << EscapeForTerminal(error) << '\n';
        status = kExitUsage;
      } else if (file != "-" && !options.quiet) {
        err << kProgram << ": " << received.Count() << " records received, written to "
            << EscapeForTerminal(file) << " as " << ImageFormatName(outputFormat) << '\n';
      }
    } else if (!options.quiet && file != "-") {
      err << kProgram << ": read failed; "
          << (fileExisted ? EscapeForTerminal(file) + " left as it was"
                          : "nothing written to " + EscapeForTerminal(file))
          << '\n';
    }
    return status;
  };
  return RunOnDevice(options, env, run);
}

}  // namespace zemb::cli
