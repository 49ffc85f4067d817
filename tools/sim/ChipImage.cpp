#include "ChipImage.h"

#include <algorithm>
#include <cstdio>

namespace zemb::sim {

SparseImage RangeImage(const std::vector<uint8_t>& memory, uint32_t start, uint32_t end) {
  SparseImage image;
  image.SetRange(start, memory.data() + start, static_cast<size_t>(uint64_t{end} - start + 1));
  return image;
}

std::vector<std::string> EncodeHexRange(const std::vector<uint8_t>& memory, uint32_t start,
                                        uint32_t end) {
  return EncodeIntelHexRecords(RangeImage(memory, start, end));
}

bool LoadImage(std::string_view contents, std::vector<uint8_t>& memory, std::string& error) {
  SparseImage image;
  ImageError fault;
  ImageFormat format = DetectImageFormat(contents);
  if (format == ImageFormat::Binary) FirstRecordFormat(contents, format);
  if (!ReadImage(format, contents, 0, image, fault)) {
    error = fault.Text();
    return false;
  }
  if (!image.Empty() && image.MaxAddress() >= memory.size()) {
    char text[80];
    std::snprintf(text, sizeof text, "image data at %05X is outside the chip (%zu bytes)",
                  static_cast<unsigned>(image.MaxAddress()), memory.size());
    error = text;
    return false;
  }
  image.ForEachRun([&memory](uint32_t address, const uint8_t* data, size_t size) {
    std::copy(data, data + size, memory.begin() + address);
  });
  return true;
}

std::string DumpIntelHex(const std::vector<uint8_t>& memory) {
  SparseImage image;
  image.SetRange(0, memory.data(), memory.size());
  return WriteIntelHex(image);
}

}  // namespace zemb::sim
