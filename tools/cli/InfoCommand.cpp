// info FILE [START END]: what an image holds, needing no device.
#include <ostream>

#include "CliFiles.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "TerminalText.h"

namespace zemb::cli {

int RunInfoCommand(const Options& options, Environment& env) {
  std::ostream& out = *env.out;
  ImageJob job;
  std::string error;
  if (!PrepareImageJob(options, env, false, job, error)) return ReportUsageError(*env.err, error);
  const auto first = static_cast<uint32_t>(job.start);
  const auto last = static_cast<uint32_t>(job.end);
  if (first > last) return ReportUsageError(*env.err, "the start address is above the end address");
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
  out << std::flush;
  return out ? kExitOk : kExitUsage;
}

}  // namespace zemb::cli
