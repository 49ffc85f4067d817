// What an image file becomes on its way to the device: the lines an upload sends, the bytes
// they hold, and the range and type its header lines name. The window and the command line
// load .hex, .s19 and .bin files through this one path.
#pragma once

#include <cstdint>
#include <string>

#include "ImageFormats.h"
#include "TStrings.h"

namespace zemb {

struct InputImage {
  ImageFormat format = ImageFormat::IntelHex;
  // What the device is sent: an Intel HEX file's own lines; for the other formats the
  // converted records behind ;MinAdr and ;MaxAdr lines.
  TPackedStringList lines;
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

// Replaces input.lines with input.image as Intel HEX records of 16 bytes behind ;MinAdr and
// ;MaxAdr lines, with an end record last, and takes the range from the data: what a file
// converted on this side (S-record, binary, a shaped image) sends.
void ConvertToRecords(InputImage& input);
// Takes the range from the data (none when the image is empty); the lines stay as they are.
void TakeRangeFromData(InputImage& input);

// Reads and checks an image file's bytes in the given format; base places a binary image.
// False with a message starting with name (and giving the line of a malformed record) on
// failure; the message may hold any byte of the file and must be escaped for a terminal.
// withLines false leaves input.lines empty, for a caller that sends nothing (or sends the
// image shaped): everything else is as with them.
bool LoadInputImage(const std::string& name, const std::string& bytes, ImageFormat format,
                    uint32_t base, InputImage& input, std::string& error, bool withLines = true);

}  // namespace zemb
