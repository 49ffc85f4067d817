// What the commands that take an image (program, compare, write, info, convert) work out
// before anything goes to the device or a file: the file read and checked, shaped for the
// chip, the range, the ROM type and whether the image fits that type.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CliCore.h"
#include "ImageInput.h"

namespace zemb {
struct ChipType;
}

namespace zemb::cli {

struct ImageJob {
  std::string file;
  InputImage input;  // its lines are what an upload sends
  int32_t start = 0;
  int32_t end = 0;
  // START END were given on the command line.
  bool rangeGiven = false;
  std::string type;  // the code sent on connecting
  bool typeFromImage = false;
  // The chip the image is meant for, from -t or the image's ;Type line; null when neither
  // names an entry of the type list.
  const ChipType* chip = nullptr;
  // The image was shaped, so its lines are records converted on this side.
  bool shaped = false;
  // Said before anything is sent, even with -q: data the range leaves out, an image sent
  // past the chip's capacity with --force.
  std::vector<std::string> warnings;
};

// No chip in the type list comes near this: a wider range is a mistake, and taking
// checksums over it would cost time and memory for nothing.
inline constexpr uint64_t kMaxRangeSpan = uint64_t{16} * 1024 * 1024;

// "3 data bytes outside 00000-0000F, the first at 0x0010 (line 4)", or empty when the image
// holds nothing outside first..last.
std::string DataOutsideText(const ImageJob& job, uint32_t first, uint32_t last);

// The span of first..last in bytes; 0 when first is above last.
uint64_t RangeSpan(uint32_t first, uint32_t last);

// Reads FILE (or standard input for "-") as inputFormat, else as its content shows, and
// takes the ROM type from its ;Type line unless -t was given. False with a message naming
// the file (and line) on failure. forUpload: the image is to be sent, so job.input.lines
// are made when no shaping is asked (a shaped image gets its records in PrepareImageJob).
bool ReadImageJob(const Options& options, Environment& env, const std::string& file,
                  const ImageFormat* inputFormat, ImageJob& job, std::string& error,
                  bool forUpload = false);

// Applies the shaping options (nothing when none is given): the image and, when no range
// was given, its range follow the shaped data. The lines an upload sends are made from it by
// PrepareImageJob.
bool ShapeImageJob(const Options& options, ImageJob& job, std::string& error);

// Checks the operands FILE [START END], reads FILE, shapes it and settles range and type.
// False with a message on a usage or file error. forDevice: the image is to be sent, so an
// image without data, with a ;Type line that names no entry, with data outside its
// ;MinAdr/;MaxAdr range, with a range wider than kMaxRangeSpan or reaching past the chip
// (unless --force) is refused; data outside a range given on the command line is only a
// warning (a deliberate partial program).
bool PrepareImageJob(const Options& options, Environment& env, bool forDevice, ImageJob& job,
                     std::string& error);

// The fit of the image and range in job.chip: empty when it fits, else why not ("data up to
// 0x9FFF, beyond the 32 KiB of a 27256 t2: 0x0000-0x7FFF").
std::string FitProblem(const ImageJob& job);

// Checks an address operand ("start", "end").
bool AddressOperand(const std::string& text, const char* what, int32_t& value, std::string& error);

}  // namespace zemb::cli
