// merge OUT IN0 IN1 [IN2 IN3]: dumps of the chips of a wider bus interleaved back into one
// image, lane by lane (IN0 is lane 0), needing no device. The inverse of --split.
#include <ostream>
#include <vector>

#include "ChipTypes.h"
#include "CliFiles.h"
#include "Commands.h"
#include "DeviceSession.h"
#include "ImageJob.h"
#include "ImageOutput.h"

namespace zemb::cli {

int RunMergeCommand(const Options& options, Environment& env) {
  const auto& ops = options.operands;
  if (ops.size() < 3 || ops.size() > 5) {
    return ReportUsageError(*env.err, "merge takes OUT IN0 IN1 [IN2 IN3]");
  }
  std::string error;
  ImageOutput output;
  if (!PrepareImageOutput(options, env, ops[0], output, error)) {
    return ReportUsageError(*env.err, error);
  }
  std::vector<ImageJob> lanes(ops.size() - 1);
  std::vector<const SparseImage*> images;
  std::vector<std::string> names;
  int fromStandardInput = 0;
  for (size_t k = 0; k < lanes.size(); ++k) {
    const std::string& file = ops[k + 1];
    if (file == "-" && ++fromStandardInput > 1) {
      return ReportUsageError(*env.err, "standard input can be only one of merge's inputs");
    }
    // --format names what is written; each input's format shows in its content.
    if (!ReadImageJob(options, env, file, nullptr, lanes[k], error)) {
      return ReportUsageError(*env.err, error);
    }
    images.push_back(&lanes[k].input.image);
    names.push_back(FileDisplayName(file));
  }
  SparseImage merged;
  if (!MergeImages(images, options.laneWidth, merged, error, names)) {
    return ReportUsageError(*env.err, error);
  }
  const int typeIndex = options.typeGiven ? ChipTypeIndexOfCode(options.type) : -1;
  return WriteImageOutput(options, env, output, merged, typeIndex);
}

}  // namespace zemb::cli
