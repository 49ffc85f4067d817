// What the commands that take an image (program, compare, write, info) work out before
// anything goes to the device: the file read and checked, the range, and the ROM type.
#pragma once

#include <cstdint>
#include <string>

#include "CliCore.h"
#include "ImageInput.h"

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
  // Said before anything is sent, even with -q: data the range leaves out.
  std::string warning;
};

// No chip in the type list comes near this: a wider range is a mistake, and taking
// checksums over it would cost time and memory for nothing.
inline constexpr uint64_t kMaxRangeSpan = uint64_t{16} * 1024 * 1024;

// "00000-07FFF" for messages.
std::string RangeText(uint32_t first, uint32_t last);

// The span of first..last in bytes; 0 when first is above last.
uint64_t RangeSpan(uint32_t first, uint32_t last);

// Checks the operands FILE [START END], reads FILE and settles range and type. False with a
// message on a usage or file error. forDevice: the image is to be sent, so an image without
// data, with a ;Type line that names no entry, with data outside its ;MinAdr/;MaxAdr range
// or with a range wider than kMaxRangeSpan is refused; data outside a range given on the
// command line is only a warning (a deliberate partial program).
bool PrepareImageJob(const Options& options, Environment& env, bool forDevice, ImageJob& job,
                     std::string& error);

// Checks an address operand ("start", "end").
bool AddressOperand(const std::string& text, const char* what, int32_t& value, std::string& error);

}  // namespace zemb::cli
