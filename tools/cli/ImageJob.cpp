#include "ImageJob.h"

#include "ChipTypes.h"
#include "CliFiles.h"
#include "CommandTable.h"
#include "Convert.h"
#include "FileIO.h"

namespace zemb::cli {
namespace {

// "0x7FFF": addresses in messages, at least four digits.
std::string Address(uint32_t value) {
  return "0x" + UIntToHex(value, 4);
}

// Reads FILE's bytes as the format given, else the one its content shows.
bool LoadImageOperand(const Options& options, const ImageFormat* given, bool withLines,
                      ImageJob& job, const std::string& bytes, std::string& error) {
  const std::string name = FileDisplayName(job.file);
  const ImageFormat format =
      given != nullptr ? *given : ImageFormatOfFile(job.file == "-" ? "" : job.file, bytes);
  if (format != ImageFormat::Binary) {
    const ReadResult text = CheckTextImage(bytes);
    if (!text) {
      error = name + ": " + text.reason;
      return false;
    }
  }
  if (!LoadInputImage(name, bytes, format, options.base, job.input, error, withLines)) {
    return false;
  }
  if (options.hasBase && format != ImageFormat::Binary) {
    error = "--base places a binary image only; " + name + " is read as " + ImageFormatName(format);
    return false;
  }
  return true;
}

// Refuses (or with --force, notes) an image or range that reaches past the chip.
bool CheckFit(const Options& options, ImageJob& job, std::string& error) {
  const std::string problem = FitProblem(job);
  if (problem.empty()) return true;
  const std::string name = FileDisplayName(job.file);
  if (!options.force) {
    error = name + ": " + problem + "; --force sends it anyway";
    return false;
  }
  job.warnings.push_back("warning: " + name + ": " + problem + "; sent anyway (--force)");
  return true;
}

// Refuses data outside a range from the ;MinAdr/;MaxAdr lines; data outside a range given on
// the command line is a warning.
bool CheckDataInRange(ImageJob& job, uint32_t first, uint32_t last, std::string& error) {
  const std::string outside = DataOutsideText(job, first, last);
  if (outside.empty()) return true;
  const std::string name = FileDisplayName(job.file);
  // A chip that silently lacks part of the file is worse than no chip at all; a range the
  // user gave is taken as meant.
  if (!job.rangeGiven) {
    error = name + ": " + outside + "; they lie outside the range of its ;MinAdr/;MaxAdr " +
            "lines: give START END to send only that range, or correct the lines";
    return false;
  }
  job.warnings.push_back("warning: " + name + ": " + outside + "; only " + RangeText(first, last) +
                         " is asked of the device");
  return true;
}

}  // namespace

std::string DataOutsideText(const ImageJob& job, uint32_t first, uint32_t last) {
  const OutsideRange outside = job.input.image.CountOutside(first, last);
  if (outside.count == 0) return "";
  ImageOrigin origin;
  job.input.image.OriginOf(outside.first, origin);
  return CountText(outside.count, "data byte", "data bytes") + " outside " +
         RangeText(first, last) + ", the first at " + Address(outside.first) +
         (origin.line > 0 ? " (line " + std::to_string(origin.line) + ")" : "");
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

bool ReadImageJob(const Options& options, Environment& env, const std::string& file,
                  const ImageFormat* inputFormat, ImageJob& job, std::string& error,
                  bool forUpload) {
  job.file = file;
  job.type = options.type;
  std::string bytes;
  if (!ReadImageInput(job.file, env.in, bytes, error)) return false;
  // The lines an upload sends are the file's own only when it goes unshaped; they cost
  // memory by the line, so they are made only then.
  const bool withLines = forUpload && !options.shape.Any();
  if (!LoadImageOperand(options, inputFormat, withLines, job, bytes, error)) return false;
  // The type the image was read as, unless -t says otherwise: a chip programmed as
  // another type gets another programming voltage.
  if (!options.typeGiven && job.input.typeIndex >= 0) {
    job.type = ChipTypeTable()[static_cast<size_t>(job.input.typeIndex)].code;
    job.typeFromImage = true;
  }
  // The default type is no statement about the image; only a type named for it is.
  if (options.typeGiven || job.typeFromImage) {
    const int index = ChipTypeIndexOfCode(job.type);
    if (index >= 0) job.chip = &ChipTypeTable()[static_cast<size_t>(index)];
  }
  return true;
}

bool ShapeImageJob(const Options& options, ImageJob& job, std::string& error) {
  if (!options.shape.Any()) return true;
  ShapeTarget target;
  if (job.chip != nullptr) {
    target.capacity = job.chip->capacity;
    target.part = job.chip->part;
  }
  target.hasRange = job.rangeGiven;
  target.first = static_cast<uint32_t>(job.start);
  target.last = static_cast<uint32_t>(job.end);
  // The file's own lines will no longer say what is sent; the records are made only for an
  // upload (PrepareImageJob), as they cost memory by the byte.
  job.input.lines.Clear();
  // In place: a fill then needs no copy of the image it fills.
  if (!ShapeImage(job.input.image, options.shape, target, job.input.image, error)) {
    error = FileDisplayName(job.file) + ": " + error;
    return false;
  }
  job.input.hasRange = !job.input.image.Empty();
  job.input.start = job.input.hasRange ? job.input.image.MinAddress() : 0;
  job.input.end = job.input.hasRange ? job.input.image.MaxAddress() : 0;
  job.shaped = true;
  return true;
}

std::string FitProblem(const ImageJob& job) {
  if (job.chip == nullptr) return "";
  const uint64_t capacity = job.chip->capacity;
  const std::string chip = "the " + CapacityText(capacity) + " of a " + job.chip->part +
                           ": 0x0000-" + Address(static_cast<uint32_t>(capacity - 1));
  const SparseImage& image = job.input.image;
  if (!image.Empty() && image.MaxAddress() >= capacity) {
    return "data up to " + Address(image.MaxAddress()) + ", beyond " + chip;
  }
  const auto first = static_cast<uint32_t>(job.start);
  const auto last = static_cast<uint32_t>(job.end);
  if (first <= last && last >= capacity) {
    return "the range " + Address(first) + "-" + Address(last) + " reaches beyond " + chip;
  }
  return "";
}

bool PrepareImageJob(const Options& options, Environment& env, bool forDevice, ImageJob& job,
                     std::string& error) {
  const auto& ops = options.operands;
  if (ops.size() != 1 && ops.size() != 3) {
    error = std::string(forDevice ? "this command" : EntryOf(options.command)->name) +
            " takes FILE [START END]";
    return false;
  }
  job.rangeGiven = ops.size() == 3;
  if (job.rangeGiven && !(AddressOperand(ops[1], "start", job.start, error) &&
                          AddressOperand(ops[2], "end", job.end, error))) {
    return false;
  }
  const ImageFormat* inputFormat = options.hasFormat ? &options.format : nullptr;
  if (!ReadImageJob(options, env, ops[0], inputFormat, job, error, forDevice) ||
      !ShapeImageJob(options, job, error)) {
    return false;
  }
  const std::string name = FileDisplayName(job.file);
  // The file names a type, just not one on the list: the default in its place could be
  // a chip with another programming voltage.
  if (!options.typeGiven && !job.input.unknownType.empty() && forDevice) {
    error = name + ": its ;Type line (" + job.input.unknownType +
            ") names no entry of the ROM type list (0 to " +
            std::to_string(ChipTypeTable().size() - 1) + "); give the type with -t";
    return false;
  }
  // An upload of nothing would still be answered OK.
  if (forDevice && job.input.image.Empty()) {
    error = name +
            (job.shaped                                  ? " holds no data once shaped"
             : job.input.format == ImageFormat::IntelHex ? " has no Intel HEX data record"
                                                         : " holds no data") +
            "; nothing to send";
    return false;
  }
  if (!job.rangeGiven) {
    if (!job.input.hasRange) {
      error = name + " holds no data and no ;MinAdr/;MaxAdr lines; give START and END";
      return false;
    }
    job.start = static_cast<int32_t>(job.input.start);
    job.end = static_cast<int32_t>(job.input.end);
  }
  if (!forDevice) return true;
  // What the device is sent is the shaped image, as records converted on this side.
  if (job.shaped) ConvertToRecords(job.input);
  const auto first = static_cast<uint32_t>(job.start);
  const auto last = static_cast<uint32_t>(job.end);
  const uint64_t span = RangeSpan(first, last);
  if (span > kMaxRangeSpan) {
    error = "the range " + RangeText(first, last) + " spans " + std::to_string(span) +
            " bytes, more than 16 MiB: no chip in the type list is near that size";
    return false;
  }
  return CheckFit(options, job, error) && CheckDataInRange(job, first, last, error);
}

}  // namespace zemb::cli
