// program: the device blank-checks the range, then burns the image.
#include "Commands.h"
#include "UploadCommand.h"
#include "uZEMB.h"

namespace zemb::cli {

int RunProgramCommand(const Options& options, Environment& env) {
  return RunUpload(options, env, &TzembROMWT::ProgramRom);
}

}  // namespace zemb::cli
