// ROM images in the three file formats people hold them in (Intel HEX, Motorola S-record and
// raw binary), a sparse in-memory model of them, and the checksums used to recognise a dump.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Checksums.h"

namespace zemb {

enum HexRecordType : uint8_t {
  kHexData = 0x00,
  kHexEndOfFile = 0x01,
  kHexExtendedSegment = 0x02,
  kHexStartSegment = 0x03,
  kHexExtendedLinear = 0x04,
  kHexStartLinear = 0x05,
};

struct HexRecord {
  uint8_t type = kHexData;
  uint16_t address = 0;
  std::vector<uint8_t> data;
};

enum class HexParseResult { Ok, Syntax, OddDigits, BadDigit, BadLength, Checksum };

// Parses one record line (":LLAAAATT<data>CC"); blanks and tabs around it are allowed, hex
// digits may be lower case. The record type is not checked. The record is only filled on Ok.
HexParseResult ParseHexRecord(std::string_view line, HexRecord& record);

// One record without line end, upper-case hex, checksum appended.
std::string EncodeHexRecord(uint8_t type, uint16_t address, const uint8_t* data, size_t size);

inline constexpr char kHexEofRecord[] = ":00000001FF";

// Where a byte came from: the source (a file name, or empty) and its 1-based line there,
// 0 for bytes that come from no line (a binary file, bytes set by code).
struct ImageOrigin {
  std::string source;
  uint32_t line = 0;
};

// A byte that two places give different values.
struct ImageConflict {
  uint32_t address = 0;
  uint8_t value = 0;          // what the refused data gives
  uint8_t earlier = 0;        // what the image already held
  ImageOrigin earlierOrigin;  // where the earlier value came from
};

// The bytes of an image outside a range: how many, and the lowest of them.
struct OutsideRange {
  uint64_t count = 0;
  uint32_t first = 0;  // meaningful when count > 0
};

// Bytes at 32-bit addresses, present or absent, each with its origin. Kept as runs of
// placed data, so that memory and time follow the bytes an image holds, never the span of
// addresses it covers: a file with one byte at 0 and one at FFFFFFFF costs two runs.
class SparseImage {
 public:
  // Names a source for Place; returns the index to pass in its origin. The same name
  // twice gives the same index.
  uint32_t AddSource(std::string_view name);
  const std::string& SourceName(uint32_t source) const { return sources_.at(source); }

  // Places bytes from one place of a source (line 0: no line). Refused, with nothing
  // changed, when a byte already present holds another value; conflict then names the
  // lowest such address. The same value again is accepted and keeps its first origin.
  // Bytes past FFFFFFFF are dropped; readers check that before placing.
  bool Place(uint32_t address, const uint8_t* data, size_t size, uint32_t source, uint32_t line,
             ImageConflict* conflict = nullptr);

  // A later value at the same address replaces the earlier one (origin: no source, no line).
  void Set(uint32_t address, uint8_t value);
  void SetRange(uint32_t address, const uint8_t* data, size_t size);
  // Every address of first..last that holds no byte gets value (origin: no source, no
  // line). Costs the runs in the range plus the bytes added.
  void FillGaps(uint32_t first, uint32_t last, uint8_t value);
  bool Get(uint32_t address, uint8_t& value) const;
  bool Has(uint32_t address) const;
  // False when the address holds no byte.
  bool OriginOf(uint32_t address, ImageOrigin& origin) const;

  bool Empty() const { return count_ == 0; }
  // Number of addresses that hold a byte.
  uint64_t Count() const { return count_; }
  // Lowest and highest address holding a byte; 0 when empty.
  uint32_t MinAddress() const;
  uint32_t MaxAddress() const;
  // MaxAddress - MinAddress + 1, 0 when empty: what Flatten of the whole image would cost.
  uint64_t Span() const;
  // Number of runs the image is kept in (a measure of its cost next to Count).
  size_t RunCount() const { return runs_.size(); }

  // True when every address of first..last holds a byte. Costs the runs in the range.
  bool Covers(uint32_t first, uint32_t last) const;
  // The bytes of the image outside first..last. Costs the runs.
  OutsideRange CountOutside(uint32_t first, uint32_t last) const;
  // The bytes of first..last, fill where the image holds none. Requires first <= last.
  // Costs the span (memory and time): check Span() or the range before calling.
  std::vector<uint8_t> Flatten(uint32_t first, uint32_t last, uint8_t fill = 0xFF) const;

  // Calls visit(address, data, size) for each run of present bytes in address order. Runs
  // are maximal: two calls never cover neighbouring addresses.
  template <typename Visit>
  void ForEachRun(Visit&& visit) const {
    std::vector<uint8_t> joined;
    auto it = runs_.begin();
    while (it != runs_.end()) {
      auto next = std::next(it);
      // Neighbouring runs whose bytes also sit side by side in the pool are one piece.
      uint64_t end = uint64_t{it->first} + it->second.size;
      uint64_t poolEnd = uint64_t{it->second.pool} + it->second.size;
      bool contiguous = true;
      while (next != runs_.end() && next->first == end) {
        contiguous = contiguous && next->second.pool == poolEnd;
        end += next->second.size;
        poolEnd = uint64_t{next->second.pool} + next->second.size;
        ++next;
      }
      const size_t size = static_cast<size_t>(end - it->first);
      if (contiguous) {
        visit(it->first, pool_.data() + it->second.pool, size);
      } else {
        joined.clear();
        for (auto piece = it; piece != next; ++piece) {
          const uint8_t* from = pool_.data() + piece->second.pool;
          joined.insert(joined.end(), from, from + piece->second.size);
        }
        visit(it->first, joined.data(), size);
      }
      it = next;
    }
  }

  // As ForEachRun, each run cut to the part of it inside first..last.
  template <typename Visit>
  void ForEachRunIn(uint32_t first, uint32_t last, Visit&& visit) const {
    ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
      const uint64_t end = uint64_t{address} + size - 1;
      if (end < first || address > last) return;
      const uint32_t from = std::max(address, first);
      const uint64_t to = std::min<uint64_t>(end, last);
      visit(from, data + (from - address), static_cast<size_t>(to - from + 1));
    });
  }

 private:
  // A run of present bytes starting at its key: its bytes are pool_[pool, pool + size).
  // Records of step bytes on consecutive lines share one run: the byte at offset o came
  // from line + o / step (step 0: every byte from line).
  struct Run {
    uint32_t size = 0;
    uint32_t source = 0;
    uint32_t line = 0;
    uint32_t pool = 0;
    uint32_t step = 0;
    uint32_t LineAt(uint32_t offset) const { return step == 0 ? line : line + offset / step; }
  };
  using RunMap = std::map<uint32_t, Run>;

  // One past the highest address held; 0 when empty.
  uint64_t EndOfLastRun() const;
  // The first run that ends at or after address.
  RunMap::const_iterator FirstRunReaching(uint32_t address) const;
  void Insert(uint32_t address, uint32_t pool, uint32_t size, uint32_t source, uint32_t line);
  // Copies data to the end of the pool (data may lie in the pool) and returns where it went.
  uint32_t AppendToPool(const uint8_t* data, size_t size);
  void Remove(uint32_t first, uint32_t last);
  void CompactPool();

  RunMap runs_;
  std::vector<uint8_t> pool_;
  std::vector<std::string> sources_{std::string()};
  uint64_t count_ = 0;
};

enum class ImageFormat { IntelHex, SRecord, Binary };

// "hex", "srec", "bin".
const char* ImageFormatName(ImageFormat format);
// A name as --format takes it ("hex", "ihex", "srec", "s19", "bin", "binary"); false otherwise.
bool ImageFormatFromName(std::string_view name, ImageFormat& format);
// The format a file name's extension stands for; false when the extension is not known.
bool ImageFormatFromExtension(std::string_view path, ImageFormat& format);

// Decides by content: text whose first line other than blank lines and ";" header lines
// begins with ":" (or that holds header lines only) is Intel HEX, with "S" and a digit an
// S-record file; anything else (a NUL byte anywhere, a first line with other bytes) is binary.
ImageFormat DetectImageFormat(std::string_view contents);

// The text format whose record starts the first line that is not blank or a ";" header,
// whatever follows (even a binary byte in that record): a file DetectImageFormat calls
// binary for one stray byte is then read as the text it is, and the reader names the line.
// False when that line starts no Intel HEX or S-record record.
bool FirstRecordFormat(std::string_view contents, ImageFormat& format);

// A failed read: the 1-based line of the fault (0 when it concerns no line) and what is wrong.
struct ImageError {
  size_t line = 0;
  std::string message;
  // True when message itself names the line (a conflict names two lines).
  bool messageNamesLine = false;
  // "line N: message" or the message alone.
  std::string Text() const;
};

// "line 3 gives 0x0008 the value 22, line 2 gave 11"; sources are named where they differ
// from source.
std::string ConflictText(const ImageConflict& conflict, std::string_view source, uint32_t line);

// Every reader fills image with the origin (source, line) of each byte and refuses, naming
// the line: a malformed record, two values for one address (the same value twice is
// fine), data past FFFFFFFF. A DOS end-of-file mark (0x1A) ending a text is accepted.
// source names the file in origins and messages; it may be empty.

// Intel HEX text: records 00 to 05, blank lines and ";" header lines. Every record is checked
// (digits, length, checksum, type) also after the end record; data there is refused. Under a
// type 02 segment base the offset wraps within the 64 KiB segment; under a type 04 base (or
// none) a record runs on past 64 KiB.
bool ReadIntelHex(std::string_view text, SparseImage& image, ImageError& error,
                  std::string_view source = {});
// S-record text: S0 to S3, S5 to S9 and blank lines; 16-, 24- and 32-bit addresses, checksums.
// Data after the S7/S8/S9 end record and an S5/S6 count that differs from the number of
// data records before it are refused.
bool ReadSRecord(std::string_view text, SparseImage& image, ImageError& error,
                 std::string_view source = {});
// Raw bytes placed from base; refused when they would run past address FFFFFFFF.
bool ReadBinary(std::string_view bytes, uint32_t base, SparseImage& image, ImageError& error,
                std::string_view source = {});
bool ReadImage(ImageFormat format, std::string_view contents, uint32_t base, SparseImage& image,
               ImageError& error, std::string_view source = {});

// text without a DOS end-of-file mark (0x1A, followed by nothing but line ends) at its end.
std::string_view WithoutDosEof(std::string_view text);

// Data records of up to 16 bytes, aligned to 16-byte boundaries, with a type 04 record
// before the first record of every 64 KiB block other than the first; no end record.
std::vector<std::string> EncodeIntelHexRecords(const SparseImage& image);

// The records EncodeIntelHexRecords makes, as record(type, address, data, size) calls in
// order, without making their text: to count them, or to encode them one at a time.
template <typename Record>
void ForEachIntelHexRecord(const SparseImage& image, Record&& record) {
  uint32_t upper = 0;
  image.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    while (size > 0) {
      const size_t chunk = std::min<size_t>(size, 16 - (address & 0x0F));
      if ((address >> 16) != upper) {
        upper = address >> 16;
        const uint8_t ela[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
        record(kHexExtendedLinear, uint16_t{0}, ela, size_t{2});
      }
      record(kHexData, static_cast<uint16_t>(address & 0xFFFF), data, chunk);
      address += static_cast<uint32_t>(chunk);
      data += chunk;
      size -= chunk;
    }
  });
}

// The length of a record's text with size data bytes (no line end).
constexpr size_t HexRecordLength(size_t size) {
  return 11 + 2 * size;
}
// True when the last record of an Intel HEX text (blank and ";" lines and a DOS end-of-file
// mark aside) is a well-formed end record; a text without it gets kHexEofRecord appended
// before it is saved, so that every file written ends properly.
bool EndsWithHexEndRecord(std::string_view text);
// The whole image as Intel HEX text, each line followed by CR LF, end record last (also for
// an empty image).
std::string WriteIntelHex(const SparseImage& image);
// S0 header, S1/S2/S3 data records of up to 16 bytes (the narrowest address width that holds
// the highest address), and the matching S9/S8/S7 end record; each line followed by CR LF.
std::string WriteSRecord(const SparseImage& image);

// The checksums of first..last with 0xFF where the image holds no byte. Requires
// first <= last. Costs the range's length in time (memory stays at one 64 KiB slice).
ImageChecksums ChecksumRange(const SparseImage& image, uint32_t first, uint32_t last);

}  // namespace zemb
