// The command line's image files: what an input file becomes on its way to the device, the
// check of what a read brought back, what a read writes, and the checksum line.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "ImageFormats.h"
#include "TStrings.h"

namespace zemb::cli {

struct InputImage {
  ImageFormat format = ImageFormat::IntelHex;
  // What the device is sent: an Intel HEX file's own lines; for the other formats the
  // converted records behind ;MinAdr and ;MaxAdr lines.
  TStringList lines;
  SparseImage image;
  // The entry of the type list an Intel HEX file's ;Type line selects, or -1.
  int typeIndex = -1;
  // The value of a ;Type line that selects no entry (empty when there is none or it did).
  std::string unknownType;
  // The address range: from the ;MinAdr/;MaxAdr lines of an Intel HEX file when it has
  // them, else from the data.
  bool hasRange = false;
  uint32_t start = 0;
  uint32_t end = 0;
};

// Reads and checks an image file's bytes in the given format; base places a binary image.
// False with a message starting with name (and giving the line of a malformed record) on
// failure; the message is printed escaped.
bool LoadInputImage(const std::string& name, const std::string& bytes, ImageFormat format,
                    uint32_t base, InputImage& input, std::string& error);

// "00000-07FFF, 32768 data bytes, crc32 ..., sha1 ..., sum16 ...": the checksums of first..last
// with 0xFF where the image gives no byte.
std::string ChecksumSummary(const SparseImage& image, uint32_t first, uint32_t last);

// Checks the records a read received: every one a well-formed record with a good checksum,
// together holding a byte for every address of start..end and none outside it. Fills image.
bool VerifyReadData(const TStrings& received, uint32_t start, uint32_t end, SparseImage& image,
                    std::string& error);

// The output format of a read: the one given, else the file's extension, else Intel HEX.
ImageFormat ReadOutputFormat(const std::string& file, const ImageFormat* given);

// What a read writes: Intel HEX as ;MinAdr, ;MaxAdr and (when typeIndex >= 0) ;Type lines
// before the records as received; S-record converted; binary as start..end, 0xFF-filled.
std::string ReadOutputText(ImageFormat format, const TStrings& received, const SparseImage& image,
                           uint32_t start, uint32_t end, int typeIndex);

// The "types" command's table.
void PrintChipTypes(std::ostream& out);

}  // namespace zemb::cli
