// Arbitrary text through the Intel HEX and S-record readers: no crash, and whatever a reader
// accepts survives a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "ImageFormats.h"

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

void CheckRoundTrip(const zemb::SparseImage& image) {
  zemb::SparseImage hex;
  zemb::SparseImage srec;
  zemb::ImageError error;
  if (!zemb::ReadIntelHex(zemb::WriteIntelHex(image), hex, error)) std::abort();
  if (!zemb::ReadSRecord(zemb::WriteSRecord(image), srec, error)) std::abort();
  const auto runs = RunsOf(image);
  if (RunsOf(hex) != runs || RunsOf(srec) != runs) std::abort();
  if (!image.Empty() && !image.Covers(image.MinAddress(), image.MinAddress())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)zemb::DetectImageFormat(text);
  for (const auto format : {zemb::ImageFormat::IntelHex, zemb::ImageFormat::SRecord}) {
    zemb::SparseImage image;
    zemb::ImageError error;
    if (zemb::ReadImage(format, text, 0, image, error)) {
      CheckRoundTrip(image);
    } else if (error.message.empty()) {
      std::abort();
    }
  }
  return 0;
}
