#include "ImageInput.h"

#include <iterator>
#include <utility>
#include <vector>

#include "ChipTypes.h"
#include "Convert.h"

namespace zemb {
namespace {

std::string Hex(uint32_t value, int digits) {
  return IntToHex(static_cast<int32_t>(value), digits);
}

const char* FormatTitle(ImageFormat format) {
  switch (format) {
    case ImageFormat::IntelHex:
      return "Intel HEX";
    case ImageFormat::SRecord:
      return "S-record";
    case ImageFormat::Binary:
      return "binary";
  }
  return "?";
}

// A header value as the window's address fields take it: hexadecimal digits and nothing
// else (the field's text behind a "$").
bool HeaderAddress(const TStrings& lines, const char* name, bool& present, uint32_t& value,
                   std::string& error) {
  const std::string text = lines.Values(name);
  present = !text.empty();
  if (!present) return true;
  int32_t parsed = 0;
  if (text[0] == ' ' || !TryStrToInt("$" + text, parsed)) {
    error = std::string(name) + " value '" + text + "' is not hexadecimal";
    return false;
  }
  value = static_cast<uint32_t>(parsed);
  return true;
}

}  // namespace

bool LoadInputImage(const std::string& name, const std::string& bytes, ImageFormat format,
                    uint32_t base, InputImage& input, std::string& error) {
  input.format = format;
  ImageError fault;
  if (!ReadImage(input.format, bytes, base, input.image, fault, name)) {
    error = name + ": " + fault.Text() + " (read as " + FormatTitle(input.format) + ")";
    return false;
  }
  if (input.format == ImageFormat::IntelHex) {
    // Intel HEX goes to the device line by line as it stands, header lines included; a DOS
    // end-of-file mark ends the file, it is no line for the device.
    input.lines.SetText(std::string(WithoutDosEof(bytes)));
    bool hasMin = false;
    bool hasMax = false;
    if (!HeaderAddress(input.lines, ";MinAdr", hasMin, input.start, error) ||
        !HeaderAddress(input.lines, ";MaxAdr", hasMax, input.end, error)) {
      error = name + ": " + error;
      return false;
    }
    if (!input.image.Empty()) {
      if (!hasMin) input.start = input.image.MinAddress();
      if (!hasMax) input.end = input.image.MaxAddress();
    }
    input.hasRange = (hasMin && hasMax) || !input.image.Empty();
    // Read as the window reads it; a value that selects no entry selects nothing.
    int32_t index = -1;
    const std::string type = input.lines.Values(";Type");
    if (!type.empty() && TryStrToInt(type, index) && index >= 0 &&
        static_cast<size_t>(index) < ChipTypeTable().size()) {
      input.typeIndex = index;
    } else {
      input.unknownType = type;
    }
    return true;
  }
  ConvertToRecords(input);
  return true;
}

void ConvertToRecords(InputImage& input) {
  std::vector<std::string> lines;
  input.hasRange = !input.image.Empty();
  input.start = 0;
  input.end = 0;
  if (input.hasRange) {
    input.start = input.image.MinAddress();
    input.end = input.image.MaxAddress();
    lines.push_back(";MinAdr=" + Hex(input.start, 4));
    lines.push_back(";MaxAdr=" + Hex(input.end, 4));
  }
  std::vector<std::string> records = EncodeIntelHexRecords(input.image);
  lines.insert(lines.end(), std::make_move_iterator(records.begin()),
               std::make_move_iterator(records.end()));
  lines.emplace_back(kHexEofRecord);
  input.lines.SetLines(std::move(lines));
}

}  // namespace zemb
