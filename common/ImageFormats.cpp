#include "ImageFormats.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "Convert.h"
#include "TStrings.h"

namespace zemb {
namespace {

constexpr uint64_t kAddressLimit = 0x100000000ull;

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
    if (HexDigitValue(c) < 0) return HexParseResult::BadDigit;
  }
  if (digits.size() % 2 != 0) return HexParseResult::OddDigits;
  bytes.clear();
  bytes.reserve(digits.size() / 2);
  for (size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(
        static_cast<uint8_t>(HexDigitValue(digits[i]) * 16 + HexDigitValue(digits[i + 1])));
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

std::string AddressText(uint32_t address) {
  return "0x" + HexText(address, 4);
}

// Places one record's data, refusing data past FFFFFFFF and a byte the image already holds
// with another value.
bool PlaceData(SparseImage& image, uint64_t address, const uint8_t* data, size_t size,
               uint32_t source, size_t line, ImageError& error) {
  if (size == 0) return true;
  if (address + size > kAddressLimit) {
    return Fail(error, line,
                "data at " + HexText(address, 8) + " runs past address FFFFFFFF (4 GiB)");
  }
  ImageConflict conflict;
  if (!image.Place(static_cast<uint32_t>(address), data, size, source, static_cast<uint32_t>(line),
                   &conflict)) {
    Fail(error, line,
         ConflictText(conflict, image.SourceName(source), static_cast<uint32_t>(line)));
    error.messageNamesLine = line > 0;
    return false;
  }
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

uint32_t SparseImage::AddSource(std::string_view name) {
  for (size_t i = 0; i < sources_.size(); ++i) {
    if (sources_[i] == name) return static_cast<uint32_t>(i);
  }
  sources_.emplace_back(name);
  return static_cast<uint32_t>(sources_.size() - 1);
}

SparseImage::RunMap::const_iterator SparseImage::FirstRunReaching(uint32_t address) const {
  auto it = runs_.upper_bound(address);
  if (it != runs_.begin()) {
    const auto before = std::prev(it);
    if (uint64_t{before->first} + before->second.size > address) return before;
  }
  return it;
}

void SparseImage::Insert(uint32_t address, uint32_t pool, uint32_t size, uint32_t source,
                         uint32_t line) {
  count_ += size;
  // Bytes placed in address order (a file written in order) go past the last run: no search.
  const auto it =
      !runs_.empty() && address > runs_.rbegin()->first ? runs_.end() : runs_.lower_bound(address);
  if (it != runs_.begin()) {
    // Bytes placed one after another stay one run: from one origin (a binary file, Set in a
    // loop), or as records of one size on consecutive lines (a text file written in order).
    Run& before = std::prev(it)->second;
    const bool follows = uint64_t{std::prev(it)->first} + before.size == address &&
                         uint64_t{before.pool} + before.size == pool && before.source == source &&
                         uint64_t{before.size} + size <= UINT32_MAX;
    if (follows && before.step == 0 && before.line == line) {
      before.size += size;
      return;
    }
    if (follows && line > 0 && before.line > 0) {
      if (before.step == 0 && line == before.line + 1 && size <= before.size) {
        before.step = before.size;
        before.size += size;
        return;
      }
      if (before.step > 0 && before.size % before.step == 0 &&
          line == before.line + before.size / before.step && size <= before.step) {
        before.size += size;
        return;
      }
    }
  }
  runs_.emplace_hint(it, address, Run{size, source, line, pool, 0});
}

void SparseImage::Remove(uint32_t first, uint32_t last) {
  auto it = runs_.upper_bound(first);
  if (it != runs_.begin() && uint64_t{std::prev(it)->first} + std::prev(it)->second.size > first) {
    --it;
  }
  while (it != runs_.end() && it->first <= last) {
    const uint32_t start = it->first;
    const Run run = it->second;
    const uint64_t end = uint64_t{start} + run.size;  // exclusive
    it = runs_.erase(it);
    count_ -= run.size;
    if (start < first) {
      Run left = run;
      left.size = first - start;
      runs_.emplace(start, left);
      count_ += left.size;
    }
    if (end > uint64_t{last} + 1) {
      // What is kept after the range starts at offset `from`, maybe inside a record: that
      // record's rest is a run of one line, the whole records after it keep the step.
      uint32_t from = last + 1 - start;
      while (from < run.size) {
        Run right = run;
        right.pool = run.pool + from;
        right.line = run.LineAt(from);
        right.size = run.size - from;
        if (run.step > 0 && from % run.step != 0) {
          right.step = 0;
          right.size = std::min(right.size, run.step - from % run.step);
        }
        runs_.emplace(start + from, right);
        count_ += right.size;
        from += right.size;
      }
    }
  }
}

void SparseImage::CompactPool() {
  std::vector<uint8_t> pool;
  pool.reserve(static_cast<size_t>(count_));
  for (auto& [address, run] : runs_) {
    const auto at = static_cast<uint32_t>(pool.size());
    pool.insert(pool.end(), pool_.begin() + static_cast<std::ptrdiff_t>(run.pool),
                pool_.begin() + static_cast<std::ptrdiff_t>(run.pool) + run.size);
    run.pool = at;
  }
  pool_.swap(pool);
}

uint32_t SparseImage::AppendToPool(const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy;
  if (!pool_.empty() && data >= pool_.data() && data < pool_.data() + pool_.size()) {
    copy.assign(data, data + size);
    data = copy.data();
  }
  // Replaced and doubly placed bytes stay in the pool until they outweigh the live ones.
  if (pool_.size() > 2 * count_ + 0x10000) CompactPool();
  if (pool_.size() + size > UINT32_MAX) {
    CompactPool();
    if (pool_.size() + size > UINT32_MAX) throw std::length_error("image larger than 4 GiB");
  }
  const auto at = static_cast<uint32_t>(pool_.size());
  pool_.insert(pool_.end(), data, data + size);
  return at;
}

bool SparseImage::Place(uint32_t address, const uint8_t* data, size_t size, uint32_t source,
                        uint32_t line, ImageConflict* conflict) {
  const uint64_t end = std::min<uint64_t>(uint64_t{address} + size, kAddressLimit);
  if (end <= address) return true;
  if (runs_.empty() || EndOfLastRun() <= address) {
    // Past every byte held: nothing to check, nothing to step around.
    const uint32_t base = AppendToPool(data, static_cast<size_t>(end - address));
    for (uint64_t at = address; at < end;) {
      const auto piece = static_cast<uint32_t>(std::min<uint64_t>(end - at, 0x80000000u));
      Insert(static_cast<uint32_t>(at), base + static_cast<uint32_t>(at - address), piece, source,
             line);
      at += piece;
    }
    return true;
  }
  for (auto it = FirstRunReaching(address); it != runs_.end() && it->first < end; ++it) {
    const uint64_t from = std::max<uint64_t>(it->first, address);
    const uint64_t to = std::min<uint64_t>(uint64_t{it->first} + it->second.size, end);
    for (uint64_t at = from; at < to; ++at) {
      const uint8_t held = pool_[it->second.pool + static_cast<size_t>(at - it->first)];
      const uint8_t given = data[at - address];
      if (held == given) continue;
      if (conflict != nullptr) {
        conflict->address = static_cast<uint32_t>(at);
        conflict->value = given;
        conflict->earlier = held;
        conflict->earlierOrigin = {sources_[it->second.source],
                                   it->second.LineAt(static_cast<uint32_t>(at - it->first))};
      }
      return false;
    }
  }
  const uint32_t base = AppendToPool(data, static_cast<size_t>(end - address));
  // Only the addresses no run holds yet take the new bytes; the others keep their origin.
  uint64_t at = address;
  auto it = FirstRunReaching(address);
  while (at < end) {
    const uint64_t gapEnd = it == runs_.end() ? end : std::min<uint64_t>(it->first, end);
    while (at < gapEnd) {
      const auto piece = static_cast<uint32_t>(std::min<uint64_t>(gapEnd - at, 0x80000000u));
      Insert(static_cast<uint32_t>(at), base + static_cast<uint32_t>(at - address), piece, source,
             line);
      at += piece;
    }
    if (it == runs_.end() || it->first >= end) break;
    at = std::max<uint64_t>(at, uint64_t{it->first} + it->second.size);
    ++it;
  }
  return true;
}

uint64_t SparseImage::EndOfLastRun() const {
  if (runs_.empty()) return 0;
  const auto& [address, run] = *runs_.rbegin();
  return uint64_t{address} + run.size;
}

void SparseImage::FillGaps(uint32_t first, uint32_t last, uint8_t value) {
  if (first > last) return;
  // Calls gap(from, to, next) for each gap of first..last (to exclusive), next being the run
  // after it: a gap inserted there needs no search of the map.
  auto forEachGap = [&](auto&& gap) {
    uint64_t next = first;
    auto it = FirstRunReaching(first);
    for (; it != runs_.end() && it->first <= last; ++it) {
      if (it->first > next) gap(next, uint64_t{it->first}, it);
      next = std::max<uint64_t>(next, uint64_t{it->first} + it->second.size);
    }
    if (next <= last) gap(next, uint64_t{last} + 1, it);
  };
  uint64_t total = 0;
  forEachGap([&total](uint64_t from, uint64_t to, RunMap::const_iterator) { total += to - from; });
  if (total == 0) return;
  if (pool_.size() + total > UINT32_MAX) CompactPool();
  if (pool_.size() + total > UINT32_MAX) throw std::length_error("image larger than 4 GiB");
  auto pool = static_cast<uint32_t>(pool_.size());
  pool_.resize(pool_.size() + static_cast<size_t>(total), value);
  forEachGap([&](uint64_t from, uint64_t to, RunMap::const_iterator next) {
    for (uint64_t at = from; at < to;) {
      const auto piece = static_cast<uint32_t>(std::min<uint64_t>(to - at, 0x80000000u));
      runs_.emplace_hint(next, static_cast<uint32_t>(at), Run{piece, 0, 0, pool, 0});
      count_ += piece;
      pool += piece;
      at += piece;
    }
  });
}

void SparseImage::Set(uint32_t address, uint8_t value) {
  SetRange(address, &value, 1);
}

void SparseImage::SetRange(uint32_t address, const uint8_t* data, size_t size) {
  const uint64_t end = std::min<uint64_t>(uint64_t{address} + size, kAddressLimit);
  if (end <= address) return;
  const uint32_t base = AppendToPool(data, static_cast<size_t>(end - address));
  if (EndOfLastRun() > address) Remove(address, static_cast<uint32_t>(end - 1));
  for (uint64_t at = address; at < end;) {
    const auto piece = static_cast<uint32_t>(std::min<uint64_t>(end - at, 0x80000000u));
    Insert(static_cast<uint32_t>(at), base + static_cast<uint32_t>(at - address), piece, 0, 0);
    at += piece;
  }
}

bool SparseImage::Get(uint32_t address, uint8_t& value) const {
  const auto it = FirstRunReaching(address);
  if (it == runs_.end() || it->first > address) return false;
  value = pool_[it->second.pool + (address - it->first)];
  return true;
}

bool SparseImage::Has(uint32_t address) const {
  uint8_t ignored = 0;
  return Get(address, ignored);
}

bool SparseImage::OriginOf(uint32_t address, ImageOrigin& origin) const {
  const auto it = FirstRunReaching(address);
  if (it == runs_.end() || it->first > address) return false;
  origin.source = sources_[it->second.source];
  origin.line = it->second.LineAt(address - it->first);
  return true;
}

uint32_t SparseImage::MinAddress() const {
  return runs_.empty() ? 0 : runs_.begin()->first;
}

uint32_t SparseImage::MaxAddress() const {
  if (runs_.empty()) return 0;
  const auto& [address, run] = *runs_.rbegin();
  return address + (run.size - 1);
}

uint64_t SparseImage::Span() const {
  return runs_.empty() ? 0 : uint64_t{MaxAddress()} - MinAddress() + 1;
}

bool SparseImage::Covers(uint32_t first, uint32_t last) const {
  if (first > last) return true;
  uint64_t next = first;  // the lowest address not yet seen covered
  for (auto it = FirstRunReaching(first); it != runs_.end() && it->first <= next; ++it) {
    next = uint64_t{it->first} + it->second.size;
    if (next > last) return true;
  }
  return false;
}

OutsideRange SparseImage::CountOutside(uint32_t first, uint32_t last) const {
  OutsideRange outside;
  auto note = [&outside](uint64_t from, uint64_t to) {  // to inclusive
    if (outside.count == 0) outside.first = static_cast<uint32_t>(from);
    outside.count += to - from + 1;
  };
  for (const auto& [address, run] : runs_) {
    const uint64_t start = address;
    const uint64_t end = start + run.size - 1;
    if (first > last) {
      note(start, end);
      continue;
    }
    if (start < first) note(start, std::min<uint64_t>(end, first - 1u));
    if (end > last) note(std::max<uint64_t>(start, uint64_t{last} + 1), end);
  }
  return outside;
}

std::vector<uint8_t> SparseImage::Flatten(uint32_t first, uint32_t last, uint8_t fill) const {
  std::vector<uint8_t> out(static_cast<size_t>(uint64_t{last} - first + 1), fill);
  for (auto it = FirstRunReaching(first); it != runs_.end() && it->first <= last; ++it) {
    const uint64_t from = std::max<uint64_t>(it->first, first);
    const uint64_t to = std::min<uint64_t>(uint64_t{it->first} + it->second.size - 1, last);
    const uint8_t* bytes = pool_.data() + it->second.pool + (from - it->first);
    std::copy(bytes, bytes + (to - from + 1),
              out.begin() + static_cast<std::ptrdiff_t>(from - first));
  }
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
  const std::string ext = AsciiLower(name.substr(dot + 1));
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
    if (HexDigitValue(c) < 0) return false;
  }
  return true;
}

}  // namespace

bool FirstRecordFormat(std::string_view contents, ImageFormat& format) {
  if (contents.substr(0, 3) == "\xEF\xBB\xBF") contents.remove_prefix(3);
  LineReader reader(WithoutDosEof(contents));
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
  LineReader reader(WithoutDosEof(contents));
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
  return line > 0 && !messageNamesLine ? "line " + std::to_string(line) + ": " + message : message;
}

std::string ConflictText(const ImageConflict& conflict, std::string_view source, uint32_t line) {
  const bool sameSource = conflict.earlierOrigin.source == source;
  auto place = [sameSource](std::string_view name, uint32_t at) {
    std::string text = sameSource || name.empty() ? std::string() : std::string(name);
    if (at > 0) {
      text += text.empty() ? "line " : " line ";
      text += std::to_string(at);
    }
    if (text.empty()) text = "the data placed";
    return text;
  };
  return place(source, line) + " gives " + AddressText(conflict.address) + " the value " +
         HexText(conflict.value, 2) + ", " +
         place(conflict.earlierOrigin.source, conflict.earlierOrigin.line) + " gave " +
         HexText(conflict.earlier, 2);
}

std::string_view WithoutDosEof(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
  if (end > 0 && text[end - 1] == '\x1A') return text.substr(0, end - 1);
  return text;
}

bool ReadIntelHex(std::string_view text, SparseImage& image, ImageError& error,
                  std::string_view source) {
  const uint32_t sourceIndex = image.AddSource(source);
  LineReader reader(WithoutDosEof(text));
  std::string_view line;
  uint64_t base = 0;
  bool segmented = false;  // the base came from a type 02 record
  size_t endLine = 0;
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
    if (endLine > 0) {
      if (record.type == kHexData && !record.data.empty()) {
        return Fail(error, number,
                    "data record after the end record of line " + std::to_string(endLine));
      }
      continue;
    }
    switch (record.type) {
      case kHexData: {
        const uint8_t* data = record.data.data();
        size_t size = record.data.size();
        if (segmented && record.address + size > 0x10000) {
          // Within a segment the offset wraps: the rest of the record goes to its start.
          const size_t head = 0x10000 - record.address;
          if (!PlaceData(image, base + record.address, data, head, sourceIndex, number, error)) {
            return false;
          }
          if (!PlaceData(image, base, data + head, size - head, sourceIndex, number, error)) {
            return false;
          }
          break;
        }
        if (!PlaceData(image, base + record.address, data, size, sourceIndex, number, error)) {
          return false;
        }
        break;
      }
      case kHexEndOfFile:
        endLine = number;
        break;
      case kHexExtendedSegment:
      case kHexExtendedLinear:
        segmented = record.type == kHexExtendedSegment;
        base = static_cast<uint64_t>(record.data[0] << 8 | record.data[1]) << (segmented ? 4 : 16);
        break;
      default:
        break;
    }
  }
  return true;
}

bool ReadSRecord(std::string_view text, SparseImage& image, ImageError& error,
                 std::string_view source) {
  const uint32_t sourceIndex = image.AddSource(source);
  LineReader reader(WithoutDosEof(text));
  std::string_view line;
  std::vector<uint8_t> bytes;
  size_t endLine = 0;
  uint64_t dataRecords = 0;
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
    uint64_t address = 0;
    for (size_t i = 0; i < addressSize; ++i) address = address << 8 | bytes[1 + i];
    const size_t dataSize = bytes.size() - 2 - addressSize;
    const bool isData = type >= 1 && type <= 3;
    if (endLine > 0) {
      if (isData && dataSize > 0) {
        return Fail(error, number,
                    "data record after the end record of line " + std::to_string(endLine));
      }
      continue;
    }
    if (type >= 7) {
      endLine = number;
      continue;
    }
    if (type == 5 || type == 6) {
      if (address != dataRecords) {
        return Fail(error, number,
                    "S" + std::to_string(type) + " record counts " + std::to_string(address) +
                        " data records, the file has " + std::to_string(dataRecords) +
                        " before it");
      }
      continue;
    }
    if (!isData) continue;
    ++dataRecords;
    if (!PlaceData(image, address, bytes.data() + 1 + addressSize, dataSize, sourceIndex, number,
                   error)) {
      return false;
    }
  }
  return true;
}

bool ReadBinary(std::string_view bytes, uint32_t base, SparseImage& image, ImageError& error,
                std::string_view source) {
  return PlaceData(image, base, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                   image.AddSource(source), 0, error);
}

bool ReadImage(ImageFormat format, std::string_view contents, uint32_t base, SparseImage& image,
               ImageError& error, std::string_view source) {
  switch (format) {
    case ImageFormat::IntelHex:
      return ReadIntelHex(contents, image, error, source);
    case ImageFormat::SRecord:
      return ReadSRecord(contents, image, error, source);
    case ImageFormat::Binary:
      return ReadBinary(contents, base, image, error, source);
  }
  return Fail(error, 0, "unknown format");
}

std::vector<std::string> EncodeIntelHexRecords(const SparseImage& image) {
  std::vector<std::string> records;
  records.reserve(static_cast<size_t>(image.Count() / 16 + 8));
  ForEachIntelHexRecord(
      image, [&records](uint8_t type, uint16_t address, const uint8_t* data, size_t size) {
        records.push_back(EncodeHexRecord(type, address, data, size));
      });
  return records;
}

bool EndsWithHexEndRecord(std::string_view text) {
  LineReader reader(WithoutDosEof(text));
  std::string_view line;
  std::string_view last;
  while (reader.Next(line)) {
    line = TrimBlanks(line);
    if (!line.empty() && line[0] != ';') last = line;
  }
  HexRecord record;
  return ParseHexRecord(last, record) == HexParseResult::Ok && record.type == kHexEndOfFile &&
         record.data.empty();
}

std::string WriteIntelHex(const SparseImage& image) {
  size_t length = 0;
  ForEachIntelHexRecord(image, [&length](uint8_t, uint16_t, const uint8_t*, size_t size) {
    length += HexRecordLength(size) + 2;
  });
  std::string out;
  out.reserve(length + sizeof kHexEofRecord + 2);
  ForEachIntelHexRecord(image,
                        [&out](uint8_t type, uint16_t address, const uint8_t* data, size_t size) {
                          out += EncodeHexRecord(type, address, data, size);
                          out += "\r\n";
                        });
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
