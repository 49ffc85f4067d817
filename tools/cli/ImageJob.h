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
};

// Checks the operands FILE [START END], reads FILE and settles range and type. False with a
// message on a usage or file error. forDevice: the image is to be sent, so an image without
// data or with a ;Type line that names no entry is refused.
bool PrepareImageJob(const Options& options, Environment& env, bool forDevice, ImageJob& job,
                     std::string& error);

// Checks an address operand ("start", "end").
bool AddressOperand(const std::string& text, const char* what, int32_t& value, std::string& error);

}  // namespace zemb::cli
