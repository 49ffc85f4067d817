#include "WindowImages.h"

#include <QCoreApplication>
#include <utility>

#include "Controls.h"
#include "Convert.h"
#include "FileIO.h"
#include "ImageInput.h"

namespace zemb::ui {

bool ImageFileLines(const std::string& path, const std::string& bytes,
                    std::vector<std::string>& lines, std::string& reason) {
  const ImageFormat format = ImageFormatOfFile(path, bytes);
  if (format == ImageFormat::IntelHex) {
    // The lines go to the device as they stand; only a NUL cannot be part of a line.
    if (bytes.find('\0') != std::string::npos) {
      reason = "holds a NUL byte";
      return false;
    }
    lines = SplitLines(bytes);
    return true;
  }
  InputImage input;
  if (!LoadInputImage(path, bytes, format, 0, input, reason)) return false;
  if (input.image.Empty()) {
    reason = "holds no data";
    return false;
  }
  if (input.lines.Count() > static_cast<int>(kMaxImageLines)) {
    reason = "takes more than " + std::to_string(kMaxImageLines) + " lines as Intel HEX";
    return false;
  }
  const int count = input.lines.Count();
  lines.clear();
  lines.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) lines.push_back(input.lines.Get(i));
  return true;
}

std::string OpenDialogFilter() {
  return QCoreApplication::translate("WindowImages", "ROMイメージ (*.hex *.s19 *.srec *.mot *.bin)")
             .toStdString() +
         "|*.hex;*.s19;*.srec;*.mot;*.bin|" +
         QCoreApplication::translate("WindowImages", "すべてのファイル (*)").toStdString() + "|*";
}

std::string SaveDialogFilter() {
  return QCoreApplication::translate("WindowImages", "Intel HEX (*.hex)").toStdString() +
         "|*.hex|" +
         QCoreApplication::translate("WindowImages", "Sレコード (*.s19 *.srec *.mot)")
             .toStdString() +
         "|*.s19;*.srec;*.mot|" +
         QCoreApplication::translate("WindowImages", "バイナリ (*.bin)").toStdString() + "|*.bin|" +
         QCoreApplication::translate("WindowImages", "すべてのファイル (*)").toStdString() + "|*";
}

ImageFormat SaveFormat(const std::string& path, const std::string& filter, int filterIndex) {
  ImageFormat format = ImageFormat::IntelHex;
  if (ImageFormatFromExtension(path, format)) return format;
  // The chosen entry's pattern decides, not its place in the list.
  const std::string ext = FilterExtension(filter, filterIndex);
  if (!ext.empty() && ImageFormatFromExtension("pattern." + ext, format)) return format;
  return ImageFormat::IntelHex;
}

bool ConvertReadImage(const TStrings& lines, ImageFormat format, uint32_t start, uint32_t end,
                      std::string& bytes, std::string& reason) {
  SparseImage image;
  ImageError error;
  if (!ReadIntelHex(lines.Text(), image, error)) {
    reason = error.Text();
    return false;
  }
  if (format == ImageFormat::SRecord) {
    bytes = WriteSRecord(image);
    return true;
  }
  const std::string range = UIntToHex(start, 4) + "-" + UIntToHex(end, 4);
  if (start > end) {
    reason = "the range " + range + " ends before it starts";
    return false;
  }
  if (uint64_t{end} - start + 1 > kMaxImageBytes) {
    reason = "the range " + range + " is larger than " +
             std::to_string(kMaxImageBytes / (1024 * 1024)) + " MiB";
    return false;
  }
  // A binary holds start..end only; a byte outside would be lost without a word.
  if (!image.Empty() && (image.MinAddress() < start || image.MaxAddress() > end)) {
    reason = "the device sent data outside " + range;
    return false;
  }
  const std::vector<uint8_t> flat = image.Flatten(start, end);
  bytes.assign(flat.begin(), flat.end());
  return true;
}

}  // namespace zemb::ui
