#include "ImageOutput.h"

#include <ostream>

#include "CliFiles.h"
#include "Convert.h"
#include "DeviceSession.h"
#include "ImageFiles.h"
#include "ImageJob.h"
#include "TerminalText.h"

namespace zemb::cli {

bool PrepareImageOutput(const Options& options, Environment& env, const std::string& file,
                        ImageOutput& output, std::string& error) {
  output.file = file;
  output.format = ReadOutputFormat(file, options.hasFormat ? &options.format : nullptr);
  if (file == "-") {
    if (!env.out->good()) {
      error = "cannot write standard output";
      return false;
    }
    if (env.outIsTerminal && output.format == ImageFormat::Binary) {
      error =
          "will not write binary data to a terminal; redirect standard output or use "
          "--format hex or srec";
      return false;
    }
  }
  return CheckOutputTarget(file, error);
}

int WriteImageOutput(const Options& options, Environment& env, const ImageOutput& output,
                     const SparseImage& image, int typeIndex) {
  std::string text;
  std::string error;
  if (!ImageFileText(output.format, image, typeIndex, text, error) ||
      !WriteOutput(output.file, text, *env.out, error)) {
    return ReportUsageError(*env.err, error);
  }
  if (!options.quiet && output.file != "-") {
    std::ostream& err = *env.err;
    err << kProgram << ": " << EscapeForTerminal(output.file) << ": "
        << ImageFormatName(output.format);
    if (image.Empty()) {
      err << ", no data\n";
    } else {
      err << ", " << RangeText(image.MinAddress(), image.MaxAddress()) << ", " << image.Count()
          << " data bytes";
      // A binary file does not say where it starts.
      if (output.format == ImageFormat::Binary && image.MinAddress() != 0) {
        err << " (its first byte is address " << UIntToHex(image.MinAddress(), 5) << ")";
      }
      err << '\n';
    }
  }
  return kExitOk;
}

}  // namespace zemb::cli
