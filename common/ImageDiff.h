// Where and why a chip differs from what it should hold: a file image against a chip's read,
// a range against the erased state, and repeated reads against each other. The reports'
// plain text lives here too, as the command line words it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ImageFormats.h"

namespace zemb {

// Inclusive.
struct AddressRun {
  uint32_t first = 0;
  uint32_t last = 0;
};

struct ByteDifference {
  uint32_t address = 0;
  uint8_t file = 0;
  uint8_t chip = 0;
};

struct ImageDiffReport {
  uint32_t first = 0;
  uint32_t last = 0;
  // Bytes the file holds in the range (only those are compared).
  uint64_t compared = 0;
  uint64_t differing = 0;
  // Differing bytes where the file has a 1 the chip lacks: programming only clears bits,
  // so nothing but an erase can bring those back.
  uint64_t needErase = 0;
  // File bytes the chip's read did not bring back; not counted as differing.
  uint64_t missing = 0;
  // Every run of consecutive differing addresses, in address order.
  std::vector<AddressRun> runs;
  // The first differences, up to the limit asked for.
  std::vector<ByteDifference> listed;
};

// Compares the bytes file holds in first..last with chip. Requires first <= last.
ImageDiffReport DiffImages(const SparseImage& file, const SparseImage& chip, uint32_t first,
                           uint32_t last, size_t maxListed);

struct BlankByte {
  uint32_t address = 0;
  uint8_t value = 0;
};

struct BlankReport {
  uint32_t first = 0;
  uint32_t last = 0;
  uint64_t checked = 0;
  uint64_t notBlank = 0;
  // Addresses of the range the read did not bring back.
  uint64_t missing = 0;
  std::vector<AddressRun> runs;
  std::vector<BlankByte> listed;
};

// Bytes of first..last in chip that are not FF. Requires first <= last.
BlankReport CheckBlankImage(const SparseImage& chip, uint32_t first, uint32_t last,
                            size_t maxListed);

struct UnstableByte {
  uint32_t address = 0;
  // The value of each read in order; -1 where that read lacked the byte.
  std::vector<int> values;
};

struct RepeatReport {
  uint32_t first = 0;
  uint32_t last = 0;
  size_t reads = 0;
  uint64_t checked = 0;
  uint64_t unstable = 0;
  std::vector<AddressRun> runs;
  std::vector<UnstableByte> listed;
};

// Addresses of first..last where the reads disagree (in value or in having a byte at all).
// Requires first <= last.
RepeatReport CompareReads(const std::vector<SparseImage>& reads, uint32_t first, uint32_t last,
                          size_t maxListed);

// Runs a summary line names; the rest are counted ("... (5 more)").
inline constexpr size_t kSummaryRunsShown = 8;

// "0x0123", at least four digits.
std::string AddressText(uint32_t address);
// "0x0100-0x01FF", or the one address of a single-byte run.
std::string RunText(const AddressRun& run);

// Each report as lines without line ends: a summary line, then one line per listed
// byte ("0x0123  file 3C  chip FF"), then (for a diff) the erase verdict.
std::vector<std::string> FormatDiffReport(const ImageDiffReport& report);
std::vector<std::string> FormatBlankReport(const BlankReport& report);
std::vector<std::string> FormatRepeatReport(const RepeatReport& report);

// A diff's summary, the bytes missing from the read, and the erase verdict: the report
// without its listed bytes.
std::vector<std::string> FormatDiffSummary(const ImageDiffReport& report);

}  // namespace zemb
