// read START END FILE: the chip's range into FILE, written only when the device answered OK
// and what it sent is sound and covers the range; with --repeat N only when N reads agree.
#include <algorithm>
#include <deque>
#include <filesystem>
#include <ostream>
#include <utility>

#include "ChipTypes.h"
#include "CliFiles.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageDiff.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "RangeReads.h"
#include "TerminalText.h"
#include "uZEMB.h"

namespace zemb::cli {
namespace {

// Every read sound and all of them alike, the first one's bytes in image; else the reason,
// or the addresses that differ with what each read gave, on standard error.
bool ReadsAgree(const Options& options, std::ostream& err, const std::deque<TStringList>& reads,
                uint32_t first, uint32_t last, SparseImage& image) {
  std::vector<SparseImage> images(reads.size());
  for (size_t i = 0; i < reads.size(); ++i) {
    std::string fault;
    if (!VerifyReadData(reads[i], first, last, images[i], fault)) {
      err << kProgram << ": read " << i + 1 << " of " << reads.size() << ": " << fault << '\n';
      return false;
    }
  }
  const RepeatReport report = CompareReads(images, first, last, options.maxListed);
  if (report.unstable == 0) {
    image = std::move(images.front());
    return true;
  }
  for (const std::string& line : FormatRepeatReport(report)) {
    err << kProgram << ": " << line << '\n';
  }
  return false;
}

}  // namespace

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
  if (!CheckMaxOption(options, options.repeat > 0, "--repeat", error)) {
    return ReportUsageError(err, error);
  }
  // Looked up, never opened: opening a FIFO would wait for a writer.
  std::error_code ignored;
  const bool fileExisted = file != "-" && std::filesystem::exists(file, ignored);

  // The first read goes where a single read goes; the repeats beside it.
  std::deque<TStringList> reads(static_cast<size_t>(std::max(options.repeat, 1)));
  TStringList& received = reads.front();
  DeviceRun run;
  run.type = options.type;
  run.lines = &received;
  run.progress = DeviceRun::Progress::Read;
  run.operate = [&](TzembROMWT& rom) {
    bool ok = rom.ReadRom(start, end);
    for (size_t i = 1; ok && i < reads.size(); ++i) {
      rom.Lines = &reads[i];
      run.beginRead();
      ok = rom.ReadRom(start, end);
    }
    rom.Lines = &received;
    return ok;
  };
  run.answered = [&](TzembROMWT&, bool ok) {
    int status = ok ? kExitOk : kExitDeviceNg;
    // A read into a file says below how it failed.
    run.failureSaid = file != "-";
    SparseImage image;
    std::string fault;
    const auto first = static_cast<uint32_t>(start);
    const auto last = static_cast<uint32_t>(end);
    if (ok && reads.size() > 1 && !ReadsAgree(options, err, reads, first, last, image)) {
      ok = false;
      status = kExitDeviceNg;
    }
    // Repeated reads were checked above, the first one's bytes kept.
    if (ok && reads.size() == 1 && !VerifyReadData(received, first, last, image, fault)) {
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
