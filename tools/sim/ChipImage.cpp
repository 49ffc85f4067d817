#include "ChipImage.h"

#include <algorithm>
#include <cstdio>

namespace zemb::sim {

std::vector<std::string> EncodeHexRange(const std::vector<uint8_t>& memory, uint32_t start,
                                        uint32_t end) {
  std::vector<std::string> records;
  uint32_t upper = 0;
  uint64_t address = start;
  while (address <= end) {
    const uint64_t chunkEnd = std::min<uint64_t>((address | 0x0F), end);
    const uint32_t high = static_cast<uint32_t>(address >> 16);
    if (high != upper) {
      const uint8_t ela[2] = {static_cast<uint8_t>(high >> 8), static_cast<uint8_t>(high)};
      records.push_back(EncodeHexRecord(kHexExtendedLinear, 0, ela, 2));
      upper = high;
    }
    records.push_back(EncodeHexRecord(kHexData, static_cast<uint16_t>(address & 0xFFFF),
                                      memory.data() + address,
                                      static_cast<size_t>(chunkEnd - address + 1)));
    address = chunkEnd + 1;
  }
  return records;
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
  std::string out;
  if (!memory.empty()) {
    for (const std::string& record :
         EncodeHexRange(memory, 0, static_cast<uint32_t>(memory.size() - 1))) {
      out += record;
      out += "\r\n";
    }
  }
  out += kHexEofRecord;
  out += "\r\n";
  return out;
}

}  // namespace zemb::sim
