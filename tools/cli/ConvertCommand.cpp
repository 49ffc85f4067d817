// convert IN OUT: an image read in any format, shaped, and written as Intel HEX, S-record or
// binary, needing no device.
#include <ostream>

#include "ChipTypes.h"
#include "CliFiles.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "ImageOutput.h"

namespace zemb::cli {

int RunConvertCommand(const Options& options, Environment& env) {
  const auto& ops = options.operands;
  if (ops.size() != 2) return ReportUsageError(*env.err, "convert takes IN OUT");
  std::string error;
  ImageOutput output;
  if (!PrepareImageOutput(options, env, ops[1], output, error)) {
    return ReportUsageError(*env.err, error);
  }
  ImageJob job;
  // --format names what is written here; the input's format shows in its content.
  if (!ReadImageJob(options, env, ops[0], nullptr, job, error) ||
      !ShapeImageJob(options, job, error)) {
    return ReportUsageError(*env.err, error);
  }
  const int typeIndex = job.chip != nullptr ? ChipTypeIndexOfCode(job.chip->code) : -1;
  return WriteImageOutput(options, env, output, job.input.image, typeIndex);
}

}  // namespace zemb::cli
