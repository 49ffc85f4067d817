#include "ImageDiff.h"

#include <algorithm>
#include <cstdio>

#include "Convert.h"

namespace zemb {
namespace {

// Extends the last run or starts a new one; addresses come in ascending order.
void AddToRuns(std::vector<AddressRun>& runs, uint32_t address) {
  if (!runs.empty() && runs.back().last != UINT32_MAX && runs.back().last + 1 == address) {
    runs.back().last = address;
  } else {
    runs.push_back({address, address});
  }
}

// Visits the present bytes of first..last in address order, run by run.
template <typename Visit>
void ForEachPresent(const SparseImage& image, uint32_t first, uint32_t last, Visit&& visit) {
  image.ForEachRunIn(first, last, [&](uint32_t address, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) visit(static_cast<uint32_t>(address + i), data[i]);
  });
}

std::string Hex2(int value) {
  if (value < 0) return "--";
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

// ", in 3 runs: 0x0100-0x01FF, 0x7FF0-0x7FFF, ... (5 more)"
std::string RunsText(const std::vector<AddressRun>& runs) {
  std::string text = ", in " + CountText(runs.size(), "run", "runs") + ": ";
  const size_t shown = std::min(runs.size(), kSummaryRunsShown);
  for (size_t i = 0; i < shown; ++i) {
    if (i > 0) text += ", ";
    text += RunText(runs[i]);
  }
  if (runs.size() > shown) text += ", ... (" + std::to_string(runs.size() - shown) + " more)";
  return text;
}

void AddMoreLine(std::vector<std::string>& lines, uint64_t total, size_t listed) {
  if (total > listed) lines.push_back("... and " + std::to_string(total - listed) + " more");
}

}  // namespace

ImageDiffReport DiffImages(const SparseImage& file, const SparseImage& chip, uint32_t first,
                           uint32_t last, size_t maxListed) {
  ImageDiffReport report;
  report.first = first;
  report.last = last;
  ForEachPresent(file, first, last, [&](uint32_t address, uint8_t want) {
    ++report.compared;
    uint8_t have = 0;
    if (!chip.Get(address, have)) {
      ++report.missing;
      return;
    }
    if (have == want) return;
    ++report.differing;
    if ((want & ~have) != 0) ++report.needErase;
    AddToRuns(report.runs, address);
    if (report.listed.size() < maxListed) report.listed.push_back({address, want, have});
  });
  return report;
}

BlankReport CheckBlankImage(const SparseImage& chip, uint32_t first, uint32_t last,
                            size_t maxListed) {
  BlankReport report;
  report.first = first;
  report.last = last;
  report.checked = uint64_t{last} - first + 1;
  uint64_t present = 0;
  ForEachPresent(chip, first, last, [&](uint32_t address, uint8_t value) {
    ++present;
    if (value == 0xFF) return;
    ++report.notBlank;
    AddToRuns(report.runs, address);
    if (report.listed.size() < maxListed) report.listed.push_back({address, value});
  });
  report.missing = report.checked - present;
  return report;
}

RepeatReport CompareReads(const std::vector<SparseImage>& reads, uint32_t first, uint32_t last,
                          size_t maxListed) {
  RepeatReport report;
  report.first = first;
  report.last = last;
  report.reads = reads.size();
  report.checked = uint64_t{last} - first + 1;
  if (reads.size() < 2) return report;
  // An address is unstable when some read differs from the first, or holds a byte the
  // first lacks; the second case needs the other reads walked too.
  std::vector<uint32_t> unstable;
  ForEachPresent(reads[0], first, last, [&](uint32_t address, uint8_t value) {
    for (size_t r = 1; r < reads.size(); ++r) {
      uint8_t other = 0;
      if (!reads[r].Get(address, other) || other != value) {
        unstable.push_back(address);
        return;
      }
    }
  });
  for (size_t r = 1; r < reads.size(); ++r) {
    ForEachPresent(reads[r], first, last, [&](uint32_t address, uint8_t) {
      if (!reads[0].Has(address)) unstable.push_back(address);
    });
  }
  std::sort(unstable.begin(), unstable.end());
  unstable.erase(std::unique(unstable.begin(), unstable.end()), unstable.end());
  report.unstable = unstable.size();
  for (uint32_t address : unstable) {
    AddToRuns(report.runs, address);
    if (report.listed.size() >= maxListed) continue;
    UnstableByte byte;
    byte.address = address;
    for (const SparseImage& read : reads) {
      uint8_t value = 0;
      byte.values.push_back(read.Get(address, value) ? value : -1);
    }
    report.listed.push_back(std::move(byte));
  }
  return report;
}

std::string AddressText(uint32_t address) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
  return text;
}

std::string RunText(const AddressRun& run) {
  if (run.first == run.last) return AddressText(run.first);
  return AddressText(run.first) + "-" + AddressText(run.last);
}

namespace {

// Whether a write alone can mend the differences; empty when nothing differs.
std::string EraseVerdict(const ImageDiffReport& report) {
  if (report.differing == 0) return std::string();
  if (report.needErase > 0) {
    return std::to_string(report.needErase) + " of the differing bytes need a bit set from 0 to " +
           "1: only erasing the chip can fix those";
  }
  return "every difference only clears bits: a write without erasing can make this chip match";
}

// The summary line and the line on bytes the read lacked.
std::vector<std::string> DiffSummaryLines(const ImageDiffReport& report) {
  std::vector<std::string> lines;
  const uint64_t matching = report.compared - report.missing;
  if (report.differing == 0 && matching == 0) {
    lines.push_back("no byte of the file was in the chip's read");
  } else if (report.differing == 0) {
    lines.push_back(matching == 1 ? "the 1 byte matches"
                                  : "all " + std::to_string(matching) + " bytes match");
  } else {
    lines.push_back(std::to_string(report.differing) + " of " +
                    CountText(report.compared, "byte", "bytes") +
                    (report.differing == 1 ? " differs" : " differ") + RunsText(report.runs));
  }
  if (report.missing > 0) {
    lines.push_back(CountText(report.missing, "byte", "bytes") +
                    " of the file not in the chip's read");
  }
  return lines;
}

}  // namespace

std::vector<std::string> FormatDiffSummary(const ImageDiffReport& report) {
  std::vector<std::string> lines = DiffSummaryLines(report);
  if (report.differing > 0) lines.push_back(EraseVerdict(report));
  return lines;
}

std::vector<std::string> FormatDiffReport(const ImageDiffReport& report) {
  std::vector<std::string> lines = DiffSummaryLines(report);
  for (const ByteDifference& d : report.listed) {
    lines.push_back(AddressText(d.address) + "  file " + Hex2(d.file) + "  chip " + Hex2(d.chip));
  }
  AddMoreLine(lines, report.differing, report.listed.size());
  if (report.differing > 0) lines.push_back(EraseVerdict(report));
  return lines;
}

std::vector<std::string> FormatBlankReport(const BlankReport& report) {
  std::vector<std::string> lines;
  if (report.notBlank == 0) {
    lines.push_back("all " + CountText(report.checked - report.missing, "byte is", "bytes are") +
                    " FF");
  } else {
    lines.push_back(std::to_string(report.notBlank) + " of " +
                    CountText(report.checked, "byte", "bytes") +
                    (report.notBlank == 1 ? " is" : " are") + " not FF" + RunsText(report.runs));
  }
  if (report.missing > 0) {
    lines.push_back(CountText(report.missing, "byte", "bytes") + " of the range not in the read");
  }
  for (const BlankByte& b : report.listed) {
    lines.push_back(AddressText(b.address) + "  chip " + Hex2(b.value));
  }
  AddMoreLine(lines, report.notBlank, report.listed.size());
  return lines;
}

std::vector<std::string> FormatRepeatReport(const RepeatReport& report) {
  std::vector<std::string> lines;
  const std::string reads = CountText(report.reads, "read", "reads");
  if (report.unstable == 0) {
    lines.push_back("all " + reads + " agree on " + CountText(report.checked, "byte", "bytes"));
    return lines;
  }
  lines.push_back(std::to_string(report.unstable) + " of " +
                  CountText(report.checked, "byte", "bytes") +
                  (report.unstable == 1 ? " differs" : " differ") + " between " + reads +
                  RunsText(report.runs));
  for (const UnstableByte& b : report.listed) {
    std::string line = AddressText(b.address) + "  reads";
    for (int v : b.values) line += " " + Hex2(v);
    lines.push_back(std::move(line));
  }
  AddMoreLine(lines, report.unstable, report.listed.size());
  return lines;
}

}  // namespace zemb
