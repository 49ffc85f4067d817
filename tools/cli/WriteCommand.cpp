// write: the image burnt without the device's blank check first.
#include "Commands.h"
#include "UploadCommand.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunWriteCommand(const Options& options, Environment& env) {
  return RunUpload(options, env, &TzembROMWT::WriteRom);
}

}  // namespace zemb::cli
