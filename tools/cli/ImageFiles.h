// The command line's image files: the check of what a read brought back, what a read writes,
// and the checksum line. What an input file becomes on its way to the device is ImageInput.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "ImageFormats.h"
#include "ImageInput.h"
#include "TStrings.h"

namespace zemb::cli {

// The count of first..last's addresses that hold a byte; the cost follows the data.
uint64_t DataBytesIn(const SparseImage& image, uint32_t first, uint32_t last);

// "00000-07FFF, 32768 data bytes, crc32 ..., sha1 ..., sum16 ...": the checksums of first..last
// with 0xFF where the image gives no byte. The cost follows the span of first..last.
std::string ChecksumSummary(const SparseImage& image, uint32_t first, uint32_t last);

// Checks the records a read received: every one a well-formed record with a good checksum,
// together holding a byte for every address of start..end and none outside it. Fills image.
bool VerifyReadData(const TStrings& received, uint32_t start, uint32_t end, SparseImage& image,
                    std::string& error);

// The output format of a read: the one given, else the file's extension, else Intel HEX.
ImageFormat ReadOutputFormat(const std::string& file, const ImageFormat* given);

// What a read writes: Intel HEX as ;MinAdr, ;MaxAdr and (when typeIndex >= 0) ;Type lines
// before the records as received, and an end record when they do not end with one;
// S-record converted; binary as start..end, 0xFF-filled.
std::string ReadOutputText(ImageFormat format, const TStrings& received, const SparseImage& image,
                           uint32_t start, uint32_t end, int typeIndex);

// A binary file is the bytes from the lowest to the highest address; past this it would be
// mostly filler.
inline constexpr uint64_t kMaxImageFileSpan = uint64_t{16} * 1024 * 1024;

// What convert and merge write: Intel HEX as ;MinAdr, ;MaxAdr and (when typeIndex >= 0)
// ;Type lines before records of 16 bytes and an end record; S-record; binary from the
// lowest to the highest address, 0xFF-filled (refused past kMaxImageFileSpan).
bool ImageFileText(ImageFormat format, const SparseImage& image, int typeIndex, std::string& text,
                   std::string& error);

}  // namespace zemb::cli
