// What an image file becomes on its way to the device: the lines an upload sends, the bytes
// they hold, and the range and type its header lines name. The window and the command line
// load .hex, .s19 and .bin files through this one path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// The format an image file is read in when none is given: what its content shows. A file
// the content check calls binary is read as the text format its name's extension or its
// first record names, so that a stray binary byte is reported by its line instead of the
// whole file going out as a binary image. path may be empty (standard input names nothing).
ImageFormat ImageFormatOfFile(std::string_view path, std::string_view bytes);

// The header lines in front of Intel HEX records that give the range (;MinAdr, ;MaxAdr,
// when hasRange) and the entry of the type list (;Type, when typeIndex >= 0), without line
// ends: what the window reads back to set its address fields and type.
std::vector<std::string> ImageHeaderLines(bool hasRange, uint32_t start, uint32_t end,
                                          int typeIndex = -1);
// The same lines, each ended by CR LF, for the front of a file.
std::string ImageHeaderText(bool hasRange, uint32_t start, uint32_t end, int typeIndex = -1);

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
