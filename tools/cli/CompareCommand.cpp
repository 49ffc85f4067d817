// compare: the device compares the chip with the image it is sent.
#include "Commands.h"
#include "UploadCommand.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunCompareCommand(const Options& options, Environment& env) {
  return RunUpload(options, env, &TzembROMWT::CompareRom);
}

}  // namespace zemb::cli
