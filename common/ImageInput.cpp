#include "ImageInput.h"

#include <string_view>
#include <utility>
#include <vector>

#include "ChipTypes.h"
#include "Convert.h"

namespace zemb {
namespace {

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
bool HeaderAddress(const std::string& text, const char* name, bool& present, uint32_t& value,
                   std::string& error) {
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

constexpr const char* kHeaderNames[] = {";MinAdr", ";MaxAdr", ";Type"};
constexpr size_t kHeaderCount = sizeof kHeaderNames / sizeof kHeaderNames[0];

// The values of the header lines, as TStrings::Values finds them in the lines the text
// splits into (the first line of each name counts), in one pass and without making the
// lines: a file of a million records needs none of them for this.
void HeaderValues(std::string_view text, std::string (&values)[kHeaderCount]) {
  text = text.substr(0, text.find('\0'));
  bool found[kHeaderCount] = {};
  size_t start = 0;
  while (start < text.size()) {
    size_t eol = start;
    while (eol < text.size() && text[eol] != '\r' && text[eol] != '\n') ++eol;
    const std::string_view line = text.substr(start, eol - start);
    const size_t eq = line.find('=');
    if (eq != std::string_view::npos) {
      const std::string name(line.substr(0, eq));
      for (size_t i = 0; i < kHeaderCount; ++i) {
        if (!found[i] && CompareTextNoCase(name, kHeaderNames[i]) == 0) {
          found[i] = true;
          values[i] = std::string(line.substr(eq + 1));
        }
      }
    }
    start = eol + 1;
    if (eol + 1 < text.size() && text[eol] == '\r' && text[eol + 1] == '\n') ++start;
  }
}

}  // namespace

ImageFormat ImageFormatOfFile(std::string_view path, std::string_view bytes) {
  const ImageFormat format = DetectImageFormat(bytes);
  ImageFormat named = ImageFormat::Binary;
  if (format == ImageFormat::Binary &&
      (ImageFormatFromExtension(path, named) || FirstRecordFormat(bytes, named))) {
    return named;
  }
  return format;
}

std::vector<std::string> ImageHeaderLines(bool hasRange, uint32_t start, uint32_t end,
                                          int typeIndex) {
  std::vector<std::string> lines;
  if (hasRange) {
    lines.push_back(std::string(kHeaderNames[0]) + "=" + UIntToHex(start, 4));
    lines.push_back(std::string(kHeaderNames[1]) + "=" + UIntToHex(end, 4));
  }
  if (typeIndex >= 0) {
    lines.push_back(std::string(kHeaderNames[2]) + "=" + std::to_string(typeIndex));
  }
  return lines;
}

std::string ImageHeaderText(bool hasRange, uint32_t start, uint32_t end, int typeIndex) {
  std::string text;
  for (const std::string& line : ImageHeaderLines(hasRange, start, end, typeIndex)) {
    text += line + "\r\n";
  }
  return text;
}

bool LoadInputImage(const std::string& name, const std::string& bytes, ImageFormat format,
                    uint32_t base, InputImage& input, std::string& error, bool withLines) {
  input.format = format;
  ImageError fault;
  if (!ReadImage(input.format, bytes, base, input.image, fault, name)) {
    error = name + ": " + fault.Text() + " (read as " + FormatTitle(input.format) + ")";
    return false;
  }
  if (input.format == ImageFormat::IntelHex) {
    // Intel HEX goes to the device line by line as it stands, header lines included; a DOS
    // end-of-file mark ends the file, it is no line for the device.
    const std::string_view text = WithoutDosEof(bytes);
    std::string headers[kHeaderCount];
    HeaderValues(text, headers);
    if (withLines) input.lines.SetText(std::string(text));
    bool hasMin = false;
    bool hasMax = false;
    if (!HeaderAddress(headers[0], kHeaderNames[0], hasMin, input.start, error) ||
        !HeaderAddress(headers[1], kHeaderNames[1], hasMax, input.end, error)) {
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
    const std::string& type = headers[2];
    if (!type.empty() && TryStrToInt(type, index) && index >= 0 &&
        static_cast<size_t>(index) < ChipTypeTable().size()) {
      input.typeIndex = index;
    } else {
      input.unknownType = type;
    }
    return true;
  }
  if (withLines) {
    ConvertToRecords(input);
  } else {
    TakeRangeFromData(input);
  }
  return true;
}

void TakeRangeFromData(InputImage& input) {
  input.hasRange = !input.image.Empty();
  input.start = input.hasRange ? input.image.MinAddress() : 0;
  input.end = input.hasRange ? input.image.MaxAddress() : 0;
}

void ConvertToRecords(InputImage& input) {
  TakeRangeFromData(input);
  const std::vector<std::string> headers = ImageHeaderLines(input.hasRange, input.start, input.end);
  // Counted first, so that the list takes the records without moving them as it grows.
  size_t lines = headers.size() + 1;
  size_t bytes = sizeof kHexEofRecord - 1;
  for (const std::string& header : headers) bytes += header.size();
  ForEachIntelHexRecord(input.image, [&](uint8_t, uint16_t, const uint8_t*, size_t size) {
    ++lines;
    bytes += HexRecordLength(size);
  });
  input.lines.Clear();
  input.lines.Reserve(lines, bytes);
  for (const std::string& header : headers) input.lines.Add(header);
  ForEachIntelHexRecord(input.image,
                        [&input](uint8_t type, uint16_t address, const uint8_t* data, size_t size) {
                          input.lines.Add(EncodeHexRecord(type, address, data, size));
                        });
  input.lines.Add(kHexEofRecord);
}

}  // namespace zemb
