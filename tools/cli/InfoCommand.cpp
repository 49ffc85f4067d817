// info FILE [START END]: what an image holds, needing no device.
#include <cstdio>
#include <ostream>

#include "ChipTypes.h"
#include "CliFiles.h"
#include "Commands.h"
#include "Convert.h"
#include "DeviceSession.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "TerminalText.h"

namespace zemb::cli {
namespace {

// "fit: 27256 t2 (32 KiB x8): data 0x0000-0x3FFF, 16384 bytes, 50.0% of the chip; fits".
std::string FitLine(const ImageJob& job) {
  const ChipType& chip = *job.chip;
  const SparseImage& image = job.input.image;
  std::string line = std::string("fit: ") + chip.part + " (" + CapacityText(chip.capacity) + " " +
                     WidthText(chip) + "): ";
  if (image.Empty()) {
    line += "no data";
  } else {
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%",
                  100.0 * static_cast<double>(image.Count()) / chip.capacity);
    line += "data 0x" + UIntToHex(image.MinAddress(), 4) + "-0x" +
            UIntToHex(image.MaxAddress(), 4) + ", " + CountText(image.Count(), "byte", "bytes") +
            ", " + share + " of the chip";
  }
  const std::string problem = FitProblem(job);
  return line + (problem.empty() ? "; fits" : "; does not fit: " + problem);
}

}  // namespace

int RunInfoCommand(const Options& options, Environment& env) {
  std::ostream& out = *env.out;
  ImageJob job;
  std::string error;
  if (!PrepareImageJob(options, env, false, job, error)) return ReportUsageError(*env.err, error);
  const auto first = static_cast<uint32_t>(job.start);
  const auto last = static_cast<uint32_t>(job.end);
  if (first > last) return ReportUsageError(*env.err, "the start address is above the end address");
  // The checksums cover the range; data beyond it would otherwise go unmentioned.
  const std::string outside = DataOutsideText(job, first, last);
  if (!outside.empty()) {
    *env.err << kProgram << ": note: " << EscapeForTerminal(FileDisplayName(job.file)) << ": "
             << outside << "; the checksums cover " << RangeText(first, last) << " only\n";
  }
  out << EscapeForTerminal(FileDisplayName(job.file)) << ": " << ImageFormatName(job.input.format)
      << ", ";
  const uint64_t span = RangeSpan(first, last);
  if (span > kMaxRangeSpan) {
    // The checksums cover every byte of the range, 0xFF-filled; over gigabytes of gaps they
    // would take minutes and say nothing.
    out << RangeText(first, last) << ", " << DataBytesIn(job.input.image, first, last)
        << " data bytes; no checksums: the range spans " << span
        << " bytes, more than the 16 MiB they are taken over\n";
  } else {
    out << ChecksumSummary(job.input.image, first, last) << '\n';
  }
  if (job.chip != nullptr) out << FitLine(job) << '\n';
  out << std::flush;
  return out ? kExitOk : kExitUsage;
}

}  // namespace zemb::cli
