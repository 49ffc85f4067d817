// Arbitrary text through the Intel HEX and S-record readers: no crash, a refusal always says
// why, whatever a reader accepts survives a write and a second read unchanged, and the
// shaping steps keep their promises on it (swap and offset undo themselves, split lanes
// merge back, fill covers its range, ShapeImage never half-changes its output).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ImageFormats.h"
#include "ImageShaping.h"

namespace {

struct Run {
  uint32_t address;
  std::vector<uint8_t> bytes;
  bool operator==(const Run& other) const {
    return address == other.address && bytes == other.bytes;
  }
};

std::vector<Run> RunsOf(const zemb::SparseImage& image) {
  std::vector<Run> runs;
  image.ForEachRun([&runs](uint32_t address, const uint8_t* data, size_t size) {
    runs.push_back({address, std::vector<uint8_t>(data, data + size)});
  });
  return runs;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckModel(const zemb::SparseImage& image) {
  uint64_t count = 0;
  uint64_t lastEnd = 0;
  bool first = true;
  image.ForEachRun([&](uint32_t address, const uint8_t*, size_t size) {
    Check(size > 0 && (first || address > lastEnd));  // maximal runs in order
    first = false;
    lastEnd = uint64_t{address} + size;
    count += size;
  });
  Check(count == image.Count());
  if (image.Empty()) return;
  Check(image.Has(image.MinAddress()) && image.Has(image.MaxAddress()));
  Check(image.Span() == uint64_t{image.MaxAddress()} - image.MinAddress() + 1);
  Check(image.CountOutside(image.MinAddress(), image.MaxAddress()).count == 0);
  const zemb::OutsideRange above = image.CountOutside(0, image.MinAddress());
  Check(above.count == image.Count() - 1);
  zemb::ImageOrigin origin;
  Check(image.OriginOf(image.MinAddress(), origin));
}

void CheckRoundTrip(const zemb::SparseImage& image) {
  zemb::SparseImage hex;
  zemb::SparseImage srec;
  zemb::ImageError error;
  Check(zemb::ReadIntelHex(zemb::WriteIntelHex(image), hex, error));
  Check(zemb::ReadSRecord(zemb::WriteSRecord(image), srec, error));
  const auto runs = RunsOf(image);
  Check(RunsOf(hex) == runs && RunsOf(srec) == runs);
}

void CheckShaping(const zemb::SparseImage& image, const uint8_t* data, size_t size) {
  const uint8_t knob = size > 0 ? data[size - 1] : 0;
  std::string error;
  Check(RunsOf(zemb::SwapBytes(zemb::SwapBytes(image))) == RunsOf(image));

  const int64_t delta = static_cast<int64_t>(knob) * 0x101 - 0x8000;
  zemb::SparseImage moved;
  if (zemb::OffsetImage(image, delta, moved, error)) {
    zemb::SparseImage back;
    Check(zemb::OffsetImage(moved, -delta, back, error));
    Check(RunsOf(back) == RunsOf(image));
  } else {
    Check(!error.empty());
  }

  const uint32_t lanes = 1 + knob % 4;
  const uint32_t width = 1 + (knob >> 2) % 3;
  std::vector<zemb::SparseImage> split(lanes);
  std::vector<const zemb::SparseImage*> parts;
  for (uint32_t k = 0; k < lanes; ++k) {
    Check(zemb::SplitImage(image, lanes, k, width, split[k], error));
    parts.push_back(&split[k]);
  }
  uint64_t total = 0;
  for (const auto& part : split) total += part.Count();
  Check(total == image.Count());
  zemb::SparseImage merged;
  if (zemb::MergeImages(parts, width, merged, error)) {
    Check(RunsOf(merged) == RunsOf(image));
  } else {
    Check(!error.empty());
  }

  if (!image.Empty() && image.Span() <= 0x10000) {
    zemb::SparseImage filled;
    Check(zemb::FillImage(image, image.MinAddress(), image.MaxAddress(), knob, filled, error));
    Check(filled.Covers(image.MinAddress(), image.MaxAddress()));
    Check(filled.Count() == image.Span());
  }

  zemb::ShapeOptions options;
  options.offset = knob & 1;
  options.offsetBy = delta;
  options.crop = knob & 2;
  options.cropFirst = knob * 0x10u;
  options.cropLast = 0xFFFF;
  options.swap = knob & 4;
  options.split = knob & 8;
  options.splitLanes = lanes;
  options.splitLane = knob % (lanes + 1);
  options.splitWidth = width;
  options.pad = knob & 16;
  options.mirror = knob & 32;
  zemb::ShapeTarget target;
  target.capacity = (knob & 64) ? 0x2000 : 0;
  zemb::SparseImage shaped = image;
  const auto before = RunsOf(shaped);
  if (!zemb::ShapeImage(image, options, target, shaped, error)) {
    Check(!error.empty() && RunsOf(shaped) == before);
  } else if (target.capacity > 0 && (options.pad || options.mirror)) {
    Check(shaped.Empty() || shaped.MinAddress() < target.capacity || !options.mirror);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)zemb::DetectImageFormat(text);
  for (const auto format : {zemb::ImageFormat::IntelHex, zemb::ImageFormat::SRecord}) {
    zemb::SparseImage image;
    zemb::ImageError error;
    if (zemb::ReadImage(format, text, 0, image, error, "fuzz")) {
      CheckModel(image);
      CheckRoundTrip(image);
      CheckShaping(image, data, size);
      // The same text again agrees with itself, value for value.
      Check(zemb::ReadImage(format, text, 0, image, error, "fuzz"));
    } else {
      Check(!error.message.empty());
    }
  }
  return 0;
}
