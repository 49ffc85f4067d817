#include "ImageJob.h"

#include "ChipTypes.h"
#include "CliFiles.h"
#include "CommandTable.h"
#include "Convert.h"
#include "FileIO.h"

namespace zemb::cli {
namespace {

// Reads FILE's bytes as the format given, else the one its content shows.
bool LoadImageOperand(const Options& options, ImageJob& job, const std::string& bytes,
                      std::string& error) {
  const std::string name = FileDisplayName(job.file);
  ImageFormat format = options.format;
  if (!options.hasFormat) {
    format = DetectImageFormat(bytes);
    // A file named as a text image is read as one, so that a stray binary byte is reported
    // by its line instead of the whole file going out as a binary image.
    ImageFormat named = ImageFormat::Binary;
    if (format == ImageFormat::Binary &&
        ((job.file != "-" && ImageFormatFromExtension(job.file, named)) ||
         FirstRecordFormat(bytes, named))) {
      format = named;
    }
  }
  if (format != ImageFormat::Binary) {
    const ReadResult text = CheckTextImage(bytes);
    if (!text) {
      error = name + ": " + text.reason;
      return false;
    }
  }
  if (!LoadInputImage(name, bytes, format, options.base, job.input, error)) return false;
  if (options.hasBase && format != ImageFormat::Binary) {
    error = "--base places a binary image only; " + name + " is read as " + ImageFormatName(format);
    return false;
  }
  return true;
}

}  // namespace

std::string RangeText(uint32_t first, uint32_t last) {
  return IntToHex(static_cast<int32_t>(first), 5) + "-" + IntToHex(static_cast<int32_t>(last), 5);
}

uint64_t RangeSpan(uint32_t first, uint32_t last) {
  return first > last ? 0 : uint64_t{last} - first + 1;
}

bool AddressOperand(const std::string& text, const char* what, int32_t& value, std::string& error) {
  if (!ParseAddress(text, value)) {
    error = std::string(what) + " address '" + text +
            "' is not hexadecimal (1 to 8 hex digits, nothing else)";
    return false;
  }
  return true;
}

bool PrepareImageJob(const Options& options, Environment& env, bool forDevice, ImageJob& job,
                     std::string& error) {
  const auto& ops = options.operands;
  job.type = options.type;
  if (ops.size() != 1 && ops.size() != 3) {
    error = std::string(forDevice ? "this command" : SpecOf(options.command)->name) +
            " takes FILE [START END]";
    return false;
  }
  job.file = ops[0];
  job.rangeGiven = ops.size() == 3;
  if (job.rangeGiven && !(AddressOperand(ops[1], "start", job.start, error) &&
                          AddressOperand(ops[2], "end", job.end, error))) {
    return false;
  }
  std::string bytes;
  if (!ReadImageInput(job.file, env.in, bytes, error)) return false;
  if (!LoadImageOperand(options, job, bytes, error)) return false;
  // The type the image was read as, unless -t says otherwise: a chip programmed as
  // another type gets another programming voltage.
  if (!options.typeGiven && job.input.typeIndex >= 0) {
    job.type = ChipTypeTable()[static_cast<size_t>(job.input.typeIndex)].code;
    job.typeFromImage = true;
  }
  // The file names a type, just not one on the list: the default in its place could be
  // a chip with another programming voltage.
  if (!options.typeGiven && !job.input.unknownType.empty() && forDevice) {
    error = FileDisplayName(job.file) + ": its ;Type line (" + job.input.unknownType +
            ") names no entry of the ROM type list (0 to " +
            std::to_string(ChipTypeTable().size() - 1) + "); give the type with -t";
    return false;
  }
  // An upload of nothing would still be answered OK.
  if (forDevice && job.input.image.Empty()) {
    error = FileDisplayName(job.file) +
            (job.input.format == ImageFormat::IntelHex ? " has no Intel HEX data record"
                                                       : " holds no data") +
            "; nothing to send";
    return false;
  }
  if (!job.rangeGiven) {
    if (!job.input.hasRange) {
      error = FileDisplayName(job.file) +
              " holds no data and no ;MinAdr/;MaxAdr lines; give START and END";
      return false;
    }
    job.start = static_cast<int32_t>(job.input.start);
    job.end = static_cast<int32_t>(job.input.end);
  }
  if (!forDevice) return true;
  const auto first = static_cast<uint32_t>(job.start);
  const auto last = static_cast<uint32_t>(job.end);
  const uint64_t span = RangeSpan(first, last);
  if (span > kMaxRangeSpan) {
    error = "the range " + RangeText(first, last) + " spans " + std::to_string(span) +
            " bytes, more than 16 MiB: no chip in the type list is near that size";
    return false;
  }
  // A chip that silently lacks part of the file is worse than no chip at all; a range the
  // user gave is taken as meant.
  const OutsideRange outside = job.input.image.CountOutside(first, last);
  if (outside.count > 0) {
    ImageOrigin origin;
    job.input.image.OriginOf(outside.first, origin);
    const std::string count = std::to_string(outside.count) + " data byte" +
                              (outside.count == 1 ? "" : "s") + " outside " +
                              RangeText(first, last);
    const std::string where =
        ", the first at 0x" + IntToHex(static_cast<int32_t>(outside.first), 4) +
        (origin.line > 0 ? " (line " + std::to_string(origin.line) + ")" : "");
    if (!job.rangeGiven) {
      error = FileDisplayName(job.file) + ": " + count +
              ", the range of its ;MinAdr/;MaxAdr lines" + where +
              "; give START END to send only that range, or correct the lines";
      return false;
    }
    job.warning = "warning: " + FileDisplayName(job.file) + ": " + count + where + "; only " +
                  RangeText(first, last) + " is asked of the device";
  }
  return true;
}

}  // namespace zemb::cli
