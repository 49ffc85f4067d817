#include "CliFiles.h"

#include <istream>
#include <ostream>

#include "FileIO.h"

namespace zemb::cli {

std::string FileDisplayName(const std::string& file) {
  return file == "-" ? std::string("standard input") : file;
}

bool ReadImageInput(const std::string& file, std::istream* in, std::string& bytes,
                    std::string& error) {
  if (file != "-") {
    const ReadResult read = ReadImageFile(file, bytes);
    if (!read) error = "cannot read " + file + ": " + read.reason;
    return static_cast<bool>(read);
  }
  if (in == nullptr) {
    error = "no standard input";
    return false;
  }
  // Chunked, so that an endless stream stops at the cap instead of filling memory.
  std::string data;
  char chunk[65536];
  while (data.size() <= kMaxImageBytes && in->read(chunk, sizeof chunk).gcount() > 0) {
    data.append(chunk, static_cast<size_t>(in->gcount()));
  }
  if (in->bad()) {
    error = "cannot read standard input";
    return false;
  }
  if (data.size() > kMaxImageBytes) {
    error =
        "standard input is larger than " + std::to_string(kMaxImageBytes / (1024 * 1024)) + " MiB";
    return false;
  }
  const ReadResult lines = CheckImageLines(data);
  if (!lines) {
    error = "standard input " + lines.reason;
    return false;
  }
  bytes = std::move(data);
  return true;
}

bool CheckOutputTarget(const std::string& file, std::string& error) {
  if (file == "-") return true;
  if (file.empty()) {
    error = "empty output file name";
    return false;
  }
  if (file.back() == '/') {
    error = "cannot write " + file + ": it names a folder";
    return false;
  }
  const WriteOutcome target = CheckWriteTarget(file);
  if (!target) error = "cannot write " + file + ": " + target.reason;
  return static_cast<bool>(target);
}

bool WriteOutput(const std::string& file, const std::string& text, std::ostream& out,
                 std::string& error) {
  if (file == "-") {
    if (!WriteChecked(out, text)) {
      error = "cannot write standard output";
      return false;
    }
    return true;
  }
  const WriteOutcome written = WriteUserFile(file, text);
  if (!written) {
    error = "cannot write " + file + ": " + written.reason;
  }
  return static_cast<bool>(written);
}

bool WriteChecked(std::ostream& stream, const std::string& text) {
  stream << text << std::flush;
  return static_cast<bool>(stream);
}

}  // namespace zemb::cli
