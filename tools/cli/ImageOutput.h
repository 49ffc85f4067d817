// Where convert and merge write their image: the file (or standard output), checked before
// any work is done, and the format, from --format or the file's extension.
#pragma once

#include <string>

#include "CliCore.h"
#include "ImageFormats.h"

namespace zemb::cli {

struct ImageOutput {
  std::string file;
  ImageFormat format = ImageFormat::IntelHex;
};

// False with a message for an output that cannot be written: a file this user may not
// write, standard output that is closed, binary data for a terminal.
bool PrepareImageOutput(const Options& options, Environment& env, const std::string& file,
                        ImageOutput& output, std::string& error);

// Writes image and says what was written (not with -q); returns the exit status.
int WriteImageOutput(const Options& options, Environment& env, const ImageOutput& output,
                     const SparseImage& image, int typeIndex);

}  // namespace zemb::cli
