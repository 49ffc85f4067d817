#include "RangeReads.h"

#include <ostream>

#include "CliLine.h"
#include "Convert.h"
#include "ImageDiff.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "TerminalText.h"
#include "uZEMB.h"

namespace zemb::cli {
namespace {

// The chip's bytes of a read that worked, or a message on standard error and false.
bool ChipImage(Environment& env, const char* purpose, int32_t start, int32_t end,
               const RangeRead& read, SparseImage& chip) {
  std::ostream& err = *env.err;
  if (!read.ok) {
    err << kProgram << ": the read " << purpose << " failed: "
        << (read.status.empty() ? std::string("no answer in time") : StatusForTerminal(read.status))
        << '\n';
    return false;
  }
  std::string fault;
  if (!VerifyReadData(read.lines, static_cast<uint32_t>(start), static_cast<uint32_t>(end), chip,
                      fault)) {
    err << kProgram << ": the read " << purpose << " brought back unsound data: " << fault << '\n';
    return false;
  }
  return true;
}

void WriteLines(std::ostream& out, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) out << line << '\n';
  out << std::flush;
}

// A read that finds nothing wrong after the device answered NG: said plainly, still NG.
int ReadDisagrees(Environment& env, uint32_t first, uint32_t last, const std::string& finding,
                  const char* operation) {
  *env.out << "the device answered NG, but its read of " << RangeText(first, last) << " " << finding
           << ": the device's " << operation << " and its read disagree\n"
           << std::flush;
  return kExitDeviceNg;
}

}  // namespace

bool AnsweredNg(TzembROMWT& rom) {
  return !rom.Status.empty() && !rom.Connecting && rom.Channel().LastFault() != SerialFault::HungUp;
}

void ReadRangeAfter(TzembROMWT& rom, DeviceRun& run, int32_t start, int32_t end, RangeRead& read) {
  struct PutBack {
    TzembROMWT& rom;
    std::string status;
    TStrings* lines;
    ~PutBack() {
      rom.Status = status;
      rom.Lines = lines;
    }
  } putBack{rom, rom.Status, rom.Lines};
  read.tried = true;
  run.statusKept = true;
  rom.Lines = &read.lines;
  if (run.beginRead) run.beginRead();
  read.ok = rom.ReadRom(start, end);
  read.status = rom.Status;
}

bool CheckMaxOption(const Options& options, bool listing, const char* listingOption,
                    std::string& error) {
  if (!options.hasMax || listing) return true;
  error = std::string("--max sets how many bytes ") + listingOption + " lists; give " +
          listingOption + " too";
  return false;
}

int ReportDifferences(const Options& options, Environment& env, const SparseImage& file,
                      int32_t start, int32_t end, const RangeRead& read) {
  SparseImage chip;
  if (!ChipImage(env, "that should show the differences", start, end, read, chip)) {
    return kExitDeviceNg;
  }
  const auto first = static_cast<uint32_t>(start);
  const auto last = static_cast<uint32_t>(end);
  const ImageDiffReport report = DiffImages(file, chip, first, last, options.maxListed);
  if (report.differing == 0 && report.missing == 0) {
    return ReadDisagrees(env, first, last,
                         "matches the file in all " + CountText(report.compared, "byte", "bytes"),
                         "compare");
  }
  WriteLines(*env.out, FormatDiffReport(report));
  return kExitDeviceNg;
}

int ReportNotBlank(const Options& options, Environment& env, int32_t start, int32_t end,
                   const RangeRead& read) {
  SparseImage chip;
  if (!ChipImage(env, "that should show the bytes", start, end, read, chip)) {
    return kExitDeviceNg;
  }
  const auto first = static_cast<uint32_t>(start);
  const auto last = static_cast<uint32_t>(end);
  const BlankReport report = CheckBlankImage(chip, first, last, options.maxListed);
  if (report.notBlank == 0) {
    return ReadDisagrees(env, first, last,
                         "is FF in all " + CountText(report.checked, "byte", "bytes"),
                         "blank check");
  }
  WriteLines(*env.out, FormatBlankReport(report));
  return kExitDeviceNg;
}

}  // namespace zemb::cli
