// The reads of a range that follow a device's NG on request: where a failed compare differs
// (compare --diff), which bytes a failed blank check found (blank --detail), and the reads a
// cautious read repeats (read --repeat). The device is asked nothing new: the range is read
// with RR and judged on this side.
#pragma once

#include <cstdint>
#include <string>

#include "CliCore.h"
#include "DeviceSession.h"
#include "TStrings.h"

namespace zemb {
class SparseImage;
class TzembROMWT;
}  // namespace zemb

namespace zemb::cli {

// What an extra read brought back.
struct RangeRead {
  bool tried = false;
  bool ok = false;
  std::string status;  // the read's own answer
  TStringList lines;
};

// True when the operation's false result is an answer from the device worth a read: not
// silence, and not a line that went away.
bool AnsweredNg(TzembROMWT& rom);

// Reads start..end into read, with the progress bar of a read; Status and the component's
// line list are put back as the operation left them, however the read ends.
void ReadRangeAfter(TzembROMWT& rom, DeviceRun& run, int32_t start, int32_t end, RangeRead& read);

// "--max is for --diff": refuses --max without the switch it goes with.
bool CheckMaxOption(const Options& options, bool listing, const char* listingOption,
                    std::string& error);

// The report of compare --diff on standard output; returns the exit status (1: the chip
// differs, or the read that should show how failed).
int ReportDifferences(const Options& options, Environment& env, const SparseImage& file,
                      int32_t start, int32_t end, const RangeRead& read);

// The report of blank --detail on standard output; returns the exit status.
int ReportNotBlank(const Options& options, Environment& env, int32_t start, int32_t end,
                   const RangeRead& read);

}  // namespace zemb::cli
