#include "ImageFormats.h"

#include <algorithm>
#include <cstdio>

namespace zemb {
namespace {

constexpr uint64_t kAddressLimit = 0x100000000ull;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void AppendHexByte(std::string& out, uint8_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += kDigits[value >> 4];
  out += kDigits[value & 0x0F];
}

std::string HexText(uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

// Walks a text line by line; CR LF, a lone LF and a lone CR each end one line, so line
// numbers match what an editor shows.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t eol = text_.find_first_of("\r\n", pos_);
    if (eol == std::string_view::npos) eol = text_.size();
    line = text_.substr(pos_, eol - pos_);
    pos_ = eol + 1;
    if (eol + 1 < text_.size() && text_[eol] == '\r' && text_[eol + 1] == '\n') ++pos_;
    ++number_;
    return true;
  }
  size_t Number() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

// The bytes of a record's hex digits after its one-character lead.
HexParseResult DecodeDigits(std::string_view digits, std::vector<uint8_t>& bytes) {
  for (char c : digits) {
    if (HexDigit(c) < 0) return HexParseResult::BadDigit;
  }
  if (digits.size() % 2 != 0) return HexParseResult::OddDigits;
  bytes.clear();
  bytes.reserve(digits.size() / 2);
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1])));
  }
  return HexParseResult::Ok;
}

const char* DescribeParseFault(HexParseResult result) {
  switch (result) {
    case HexParseResult::Ok:
      return "no fault";
    case HexParseResult::Syntax:
      return "not a record";
    case HexParseResult::OddDigits:
      return "odd number of hex digits";
    case HexParseResult::BadDigit:
      return "character that is not a hex digit";
    case HexParseResult::BadLength:
      return "record length does not match its byte count";
    case HexParseResult::Checksum:
      return "checksum error";
  }
  return "bad record";
}

bool Fail(ImageError& error, size_t line, std::string message) {
  error.line = line;
  error.message = std::move(message);
  return false;
}

bool PlaceData(SparseImage& image, uint64_t address, const uint8_t* data, size_t size, size_t line,
               ImageError& error) {
  if (size == 0) return true;
  if (address + size > kAddressLimit) {
    return Fail(error, line,
                "data at " + HexText(address, 8) + " runs past address FFFFFFFF (4 GiB)");
  }
  image.SetRange(static_cast<uint32_t>(address), data, size);
  return true;
}

}  // namespace

HexParseResult ParseHexRecord(std::string_view line, HexRecord& record) {
  line = TrimBlanks(line);
  if (line.empty() || line[0] != ':') return HexParseResult::Syntax;
  std::vector<uint8_t> bytes;
  const HexParseResult digits = DecodeDigits(line.substr(1), bytes);
  if (digits != HexParseResult::Ok) return digits;
  if (bytes.size() < 5 || bytes.size() != static_cast<size_t>(bytes[0]) + 5) {
    return HexParseResult::BadLength;
  }
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  if ((sum & 0xFF) != 0) return HexParseResult::Checksum;
  record.type = bytes[3];
  record.address = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
  record.data.assign(bytes.begin() + 4, bytes.end() - 1);
  return HexParseResult::Ok;
}

std::string EncodeHexRecord(uint8_t type, uint16_t address, const uint8_t* data, size_t size) {
  std::string out;
  out.reserve(11 + 2 * size);
  out += ':';
  unsigned sum = static_cast<unsigned>(size) + (address >> 8) + (address & 0xFF) + type;
  AppendHexByte(out, static_cast<uint8_t>(size));
  AppendHexByte(out, static_cast<uint8_t>(address >> 8));
  AppendHexByte(out, static_cast<uint8_t>(address & 0xFF));
  AppendHexByte(out, type);
  for (size_t i = 0; i < size; ++i) {
    AppendHexByte(out, data[i]);
    sum += data[i];
  }
  AppendHexByte(out, static_cast<uint8_t>(-sum & 0xFF));
  return out;
}

void SparseImage::Set(uint32_t address, uint8_t value) {
  SetRange(address, &value, 1);
}

void SparseImage::SetRange(uint32_t address, const uint8_t* data, size_t size) {
  uint64_t at = address;
  size_t done = 0;
  while (done < size && at < kAddressLimit) {
    Page& page = pages_[static_cast<uint32_t>(at >> kPageBits)];
    uint32_t offset = static_cast<uint32_t>(at & (kPageSize - 1));
    for (; offset < kPageSize && done < size; ++offset, ++done, ++at) {
      if (!page.present[offset]) {
        page.present[offset] = true;
        ++count_;
      }
      page.bytes[offset] = data[done];
    }
  }
}

bool SparseImage::Get(uint32_t address, uint8_t& value) const {
  const auto it = pages_.find(address >> kPageBits);
  if (it == pages_.end() || !it->second.present[address & (kPageSize - 1)]) return false;
  value = it->second.bytes[address & (kPageSize - 1)];
  return true;
}

bool SparseImage::Has(uint32_t address) const {
  uint8_t ignored = 0;
  return Get(address, ignored);
}

uint32_t SparseImage::MinAddress() const {
  if (pages_.empty()) return 0;
  const auto& [page, content] = *pages_.begin();
  uint32_t i = 0;
  while (!content.present[i]) ++i;
  return page << kPageBits | i;
}

uint32_t SparseImage::MaxAddress() const {
  if (pages_.empty()) return 0;
  const auto& [page, content] = *pages_.rbegin();
  uint32_t i = kPageSize - 1;
  while (!content.present[i]) --i;
  return page << kPageBits | i;
}

template <typename Visit>
void SparseImage::ForEachPresentIn(uint32_t first, uint32_t last, Visit&& visit) const {
  for (auto it = pages_.lower_bound(first >> kPageBits);
       it != pages_.end() && it->first <= (last >> kPageBits); ++it) {
    const uint64_t pageStart = uint64_t{it->first} << kPageBits;
    for (uint32_t i = 0; i < kPageSize; ++i) {
      const uint64_t address = pageStart + i;
      if (address >= first && address <= last && it->second.present[i]) {
        visit(address, it->second.bytes[i]);
      }
    }
  }
}

bool SparseImage::Covers(uint32_t first, uint32_t last) const {
  if (first > last) return true;
  uint64_t present = 0;
  ForEachPresentIn(first, last, [&present](uint64_t, uint8_t) { ++present; });
  return present == uint64_t{last} - first + 1;
}

std::vector<uint8_t> SparseImage::Flatten(uint32_t first, uint32_t last, uint8_t fill) const {
  std::vector<uint8_t> out(static_cast<size_t>(uint64_t{last} - first + 1), fill);
  ForEachPresentIn(first, last, [&out, first](uint64_t address, uint8_t value) {
    out[static_cast<size_t>(address - first)] = value;
  });
  return out;
}

const char* ImageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::IntelHex:
      return "hex";
    case ImageFormat::SRecord:
      return "srec";
    case ImageFormat::Binary:
      return "bin";
  }
  return "?";
}

bool ImageFormatFromName(std::string_view name, ImageFormat& format) {
  if (name == "hex" || name == "ihex") {
    format = ImageFormat::IntelHex;
  } else if (name == "srec" || name == "s19" || name == "mot") {
    format = ImageFormat::SRecord;
  } else if (name == "bin" || name == "binary") {
    format = ImageFormat::Binary;
  } else {
    return false;
  }
  return true;
}

bool ImageFormatFromExtension(std::string_view path, ImageFormat& format) {
  const size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  static const char* const kHex[] = {"hex", "ihex", "ihx", "h86"};
  static const char* const kSrec[] = {"srec", "s19", "s28", "s37", "mot", "s", "sx"};
  static const char* const kBin[] = {"bin", "rom", "img", "raw"};
  for (const char* e : kHex) {
    if (ext == e) return format = ImageFormat::IntelHex, true;
  }
  for (const char* e : kSrec) {
    if (ext == e) return format = ImageFormat::SRecord, true;
  }
  for (const char* e : kBin) {
    if (ext == e) return format = ImageFormat::Binary, true;
  }
  return false;
}

namespace {

bool AllHexDigits(std::string_view text) {
  for (char c : text) {
    if (HexDigit(c) < 0) return false;
  }
  return true;
}

}  // namespace

bool FirstRecordFormat(std::string_view contents, ImageFormat& format) {
  if (contents.substr(0, 3) == "\xEF\xBB\xBF") contents.remove_prefix(3);
  LineReader reader(contents);
  std::string_view line;
  while (reader.Next(line)) {
    line = TrimBlanks(line);
    if (line.empty() || line[0] == ';') continue;
    // The record's start is enough: the binary byte may sit in this very record.
    if (line.size() >= 11 && line[0] == ':' && AllHexDigits(line.substr(1, 10))) {
      format = ImageFormat::IntelHex;
      return true;
    }
    if (line.size() >= 10 && line[0] == 'S' && AllHexDigits(line.substr(1, 9))) {
      format = ImageFormat::SRecord;
      return true;
    }
    return false;
  }
  return false;
}

ImageFormat DetectImageFormat(std::string_view contents) {
  if (contents.find('\0') != std::string_view::npos) return ImageFormat::Binary;
  // An editor's byte order mark does not make a text file binary; the reader then names it.
  if (contents.substr(0, 3) == "\xEF\xBB\xBF") contents.remove_prefix(3);
  LineReader reader(contents);
  std::string_view line;
  bool headers = false;
  while (reader.Next(line)) {
    line = TrimBlanks(line);
    if (line.empty()) continue;
    if (line[0] == ';') {
      for (char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return ImageFormat::Binary;
      }
      headers = true;
      continue;
    }
    for (char c : line) {
      const auto b = static_cast<unsigned char>(c);
      if (b < 0x20 || b > 0x7E) return ImageFormat::Binary;
    }
    if (line[0] == ':') return ImageFormat::IntelHex;
    if (line.size() >= 2 && line[0] == 'S' && line[1] >= '0' && line[1] <= '9') {
      return ImageFormat::SRecord;
    }
    return ImageFormat::Binary;
  }
  // Header lines alone: an Intel HEX file that names a range but holds no records yet.
  return headers ? ImageFormat::IntelHex : ImageFormat::Binary;
}

std::string ImageError::Text() const {
  return line > 0 ? "line " + std::to_string(line) + ": " + message : message;
}

bool ReadIntelHex(std::string_view text, SparseImage& image, ImageError& error) {
  LineReader reader(text);
  std::string_view line;
  uint64_t base = 0;
  bool ended = false;
  HexRecord record;
  while (reader.Next(line)) {
    const size_t number = reader.Number();
    line = TrimBlanks(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] != ':') return Fail(error, number, "not an Intel HEX record");
    const HexParseResult parsed = ParseHexRecord(line, record);
    if (parsed != HexParseResult::Ok) return Fail(error, number, DescribeParseFault(parsed));
    static const int kDataSize[] = {-1, 0, 2, 4, 2, 4};
    if (record.type > kHexStartLinear) {
      return Fail(error, number, "unknown record type " + HexText(record.type, 2));
    }
    if (kDataSize[record.type] >= 0 &&
        record.data.size() != static_cast<size_t>(kDataSize[record.type])) {
      return Fail(error, number,
                  "record type " + HexText(record.type, 2) + " with " +
                      std::to_string(record.data.size()) + " data bytes");
    }
    if (ended) continue;
    switch (record.type) {
      case kHexData:
        if (!PlaceData(image, base + record.address, record.data.data(), record.data.size(), number,
                       error)) {
          return false;
        }
        break;
      case kHexEndOfFile:
        ended = true;
        break;
      case kHexExtendedSegment:
      case kHexExtendedLinear:
        base = static_cast<uint64_t>(record.data[0] << 8 | record.data[1])
               << (record.type == kHexExtendedLinear ? 16 : 4);
        break;
      default:
        break;
    }
  }
  return true;
}

bool ReadSRecord(std::string_view text, SparseImage& image, ImageError& error) {
  LineReader reader(text);
  std::string_view line;
  std::vector<uint8_t> bytes;
  bool ended = false;
  while (reader.Next(line)) {
    const size_t number = reader.Number();
    line = TrimBlanks(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
      return Fail(error, number, "not an S-record");
    }
    const int type = line[1] - '0';
    if (type == 4) return Fail(error, number, "record type S4 is not defined");
    const HexParseResult digits = DecodeDigits(line.substr(2), bytes);
    if (digits != HexParseResult::Ok) return Fail(error, number, DescribeParseFault(digits));
    static const size_t kAddressSize[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const size_t addressSize = kAddressSize[type];
    if (bytes.empty() || bytes.size() != static_cast<size_t>(bytes[0]) + 1 ||
        bytes[0] < addressSize + 1) {
      return Fail(error, number, DescribeParseFault(HexParseResult::BadLength));
    }
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    if ((sum & 0xFF) != 0xFF) return Fail(error, number, "checksum error");
    if (ended || type < 1 || type > 3) {
      ended = ended || type >= 7;
      continue;
    }
    uint64_t address = 0;
    for (size_t i = 0; i < addressSize; ++i) address = address << 8 | bytes[1 + i];
    if (!PlaceData(image, address, bytes.data() + 1 + addressSize, bytes.size() - 2 - addressSize,
                   number, error)) {
      return false;
    }
  }
  return true;
}

bool ReadBinary(std::string_view bytes, uint32_t base, SparseImage& image, ImageError& error) {
  return PlaceData(image, base, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0,
                   error);
}

bool ReadImage(ImageFormat format, std::string_view contents, uint32_t base, SparseImage& image,
               ImageError& error) {
  switch (format) {
    case ImageFormat::IntelHex:
      return ReadIntelHex(contents, image, error);
    case ImageFormat::SRecord:
      return ReadSRecord(contents, image, error);
    case ImageFormat::Binary:
      return ReadBinary(contents, base, image, error);
  }
  return Fail(error, 0, "unknown format");
}

std::vector<std::string> EncodeIntelHexRecords(const SparseImage& image) {
  std::vector<std::string> records;
  records.reserve(static_cast<size_t>(image.Count() / 16 + 8));
  uint32_t upper = 0;
  image.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    while (size > 0) {
      const size_t chunk = std::min<size_t>(size, 16 - (address & 0x0F));
      if ((address >> 16) != upper) {
        upper = address >> 16;
        const uint8_t ela[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
        records.push_back(EncodeHexRecord(kHexExtendedLinear, 0, ela, 2));
      }
      records.push_back(
          EncodeHexRecord(kHexData, static_cast<uint16_t>(address & 0xFFFF), data, chunk));
      address += static_cast<uint32_t>(chunk);
      data += chunk;
      size -= chunk;
    }
  });
  return records;
}

std::string WriteIntelHex(const SparseImage& image) {
  std::string out;
  for (const std::string& record : EncodeIntelHexRecords(image)) {
    out += record;
    out += "\r\n";
  }
  out += kHexEofRecord;
  out += "\r\n";
  return out;
}

namespace {

std::string EncodeSRecord(int type, size_t addressSize, uint32_t address, const uint8_t* data,
                          size_t size) {
  std::string out = "S";
  out += static_cast<char>('0' + type);
  const auto count = static_cast<uint8_t>(addressSize + size + 1);
  unsigned sum = count;
  AppendHexByte(out, count);
  for (size_t i = addressSize; i-- > 0;) {
    const auto b = static_cast<uint8_t>(address >> (8 * i));
    AppendHexByte(out, b);
    sum += b;
  }
  for (size_t i = 0; i < size; ++i) {
    AppendHexByte(out, data[i]);
    sum += data[i];
  }
  AppendHexByte(out, static_cast<uint8_t>(~sum & 0xFF));
  out += "\r\n";
  return out;
}

}  // namespace

std::string WriteSRecord(const SparseImage& image) {
  const uint32_t top = image.MaxAddress();
  const size_t addressSize = top <= 0xFFFF ? 2 : (top <= 0xFFFFFF ? 3 : 4);
  const int dataType = static_cast<int>(addressSize) - 1;
  std::string out = EncodeSRecord(0, 2, 0, nullptr, 0);
  image.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    while (size > 0) {
      const size_t chunk = std::min<size_t>(size, 16 - (address & 0x0F));
      out += EncodeSRecord(dataType, addressSize, address, data, chunk);
      address += static_cast<uint32_t>(chunk);
      data += chunk;
      size -= chunk;
    }
  });
  out += EncodeSRecord(10 - dataType, addressSize, 0, nullptr, 0);
  return out;
}

ImageChecksums ChecksumRange(const SparseImage& image, uint32_t first, uint32_t last) {
  ImageChecksums sums;
  // In slices, so that a wide range never needs its whole length in memory.
  constexpr uint64_t kSlice = 0x10000;
  for (uint64_t at = first; at <= last; at += kSlice) {
    const uint64_t sliceEnd = std::min<uint64_t>(at + kSlice - 1, last);
    const std::vector<uint8_t> bytes =
        image.Flatten(static_cast<uint32_t>(at), static_cast<uint32_t>(sliceEnd));
    sums.Update(bytes.data(), bytes.size());
  }
  return sums;
}

}  // namespace zemb
