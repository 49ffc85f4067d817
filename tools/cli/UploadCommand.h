// program, compare and write: an image uploaded after the command. They differ only in the
// operation of the component they call.
#pragma once

#include <cstdint>
#include <functional>

#include "CliCore.h"
#include "DeviceSession.h"
#include "ImageJob.h"

namespace zemb::cli {

using UploadOperation = bool (TzembROMWT::*)(int32_t start, int32_t end);

// Prepares the image job, then uploads it with operation. extend, when given, adjusts the
// device run before it starts (a command's own handling of the answer).
int RunUpload(const Options& options, Environment& env, UploadOperation operation,
              const std::function<void(ImageJob& job, DeviceRun& run)>& extend = {});

}  // namespace zemb::cli
