#include "ImageFiles.h"

#include <cstdio>
#include <ostream>

#include "ChipTypes.h"
#include "Convert.h"
#include "ImageJob.h"

namespace zemb::cli {
uint64_t DataBytesIn(const SparseImage& image, uint32_t first, uint32_t last) {
  return image.Count() - image.CountOutside(first, last).count;
}

std::string ChecksumSummary(const SparseImage& image, uint32_t first, uint32_t last) {
  const uint64_t withData = DataBytesIn(image, first, last);
  const ImageChecksums sums = ChecksumRange(image, first, last);
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(sums.Crc32()));
  return RangeText(first, last) + ", " + CountText(withData, "data byte", "data bytes") +
         ", crc32 " + crc + ", sha1 " + sums.Sha1Hex() + ", sum16 " + UIntToHex(sums.Sum16(), 4);
}

bool VerifyReadData(const TStrings& received, uint32_t start, uint32_t end, SparseImage& image,
                    std::string& error) {
  std::string text;
  for (int i = 0; i < received.Count(); ++i) {
    text += received.Get(i);
    text += '\n';
  }
  ImageError fault;
  if (!ReadIntelHex(text, image, fault)) {
    // Each record received is one line: a conflict names both as lines of what was received.
    error = fault.messageNamesLine ? "the data received contradicts itself: " + fault.message +
                                         " (lines counted in the records received)"
                                   : "record " + std::to_string(fault.line) +
                                         " of the data received: " + fault.message;
    return false;
  }
  if (image.Empty() || image.MinAddress() < start || image.MaxAddress() > end) {
    error = image.Empty() ? std::string("the device sent no data")
                          : "the device sent data outside " + RangeText(start, end);
    return false;
  }
  if (!image.Covers(start, end)) {
    error = "the records received leave part of " + RangeText(start, end) + " without data (" +
            std::to_string(image.Count()) + " of " + std::to_string(uint64_t{end} - start + 1) +
            " bytes)";
    return false;
  }
  return true;
}

ImageFormat ReadOutputFormat(const std::string& file, const ImageFormat* given) {
  if (given != nullptr) return *given;
  ImageFormat format = ImageFormat::IntelHex;
  if (file != "-" && ImageFormatFromExtension(file, format)) return format;
  return ImageFormat::IntelHex;
}

std::string ReadOutputText(ImageFormat format, const TStrings& received, const SparseImage& image,
                           uint32_t start, uint32_t end, int typeIndex) {
  switch (format) {
    case ImageFormat::SRecord:
      return WriteSRecord(image);
    case ImageFormat::Binary: {
      const std::vector<uint8_t> bytes = image.Flatten(start, end);
      return std::string(bytes.begin(), bytes.end());
    }
    case ImageFormat::IntelHex:
      break;
  }
  // The window's header lines, so that the file loads with its range and type set and a
  // later compare or program needs no range.
  std::string text = ImageHeaderText(true, start, end, typeIndex) + received.Text();
  // A device that left out the end record is taken as it sent the data, but the file ends
  // properly, so that every reader knows it is whole.
  if (!EndsWithHexEndRecord(text)) text += std::string(kHexEofRecord) + "\r\n";
  return text;
}

bool ImageFileText(ImageFormat format, const SparseImage& image, int typeIndex, std::string& text,
                   std::string& error) {
  switch (format) {
    case ImageFormat::SRecord:
      text = WriteSRecord(image);
      return true;
    case ImageFormat::Binary: {
      if (image.Empty()) {
        text.clear();
        return true;
      }
      if (image.Span() > kMaxImageFileSpan) {
        error = "a binary file of " + RangeText(image.MinAddress(), image.MaxAddress()) +
                " would take " + std::to_string(image.Span()) + " bytes, more than 16 MiB";
        return false;
      }
      const std::vector<uint8_t> bytes = image.Flatten(image.MinAddress(), image.MaxAddress());
      text.assign(bytes.begin(), bytes.end());
      return true;
    }
    case ImageFormat::IntelHex:
      break;
  }
  text = ImageHeaderText(!image.Empty(), image.MinAddress(), image.MaxAddress(), typeIndex) +
         WriteIntelHex(image);
  return true;
}

}  // namespace zemb::cli
