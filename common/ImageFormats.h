// ROM images in the three file formats people hold them in (Intel HEX, Motorola S-record and
// raw binary), a sparse in-memory model of them, and the checksums used to recognise a dump.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// Bytes at 32-bit addresses, present or absent, kept in pages so that a megabit image loads
// and converts in a few milliseconds.
class SparseImage {
 public:
  static constexpr uint32_t kPageBits = 8;
  static constexpr uint32_t kPageSize = 1u << kPageBits;

  // A later value at the same address replaces the earlier one.
  void Set(uint32_t address, uint8_t value);
  void SetRange(uint32_t address, const uint8_t* data, size_t size);
  bool Get(uint32_t address, uint8_t& value) const;
  bool Has(uint32_t address) const;

  bool Empty() const { return count_ == 0; }
  // Number of addresses that hold a byte.
  uint64_t Count() const { return count_; }
  // Lowest and highest address holding a byte; 0 when empty.
  uint32_t MinAddress() const;
  uint32_t MaxAddress() const;

  // True when every address of first..last holds a byte.
  bool Covers(uint32_t first, uint32_t last) const;
  // The bytes of first..last, fill where the image holds none. Requires first <= last.
  std::vector<uint8_t> Flatten(uint32_t first, uint32_t last, uint8_t fill = 0xFF) const;

  // Calls visit(address, data, size) for each run of present bytes in address order; a run
  // never crosses a page boundary.
  template <typename Visit>
  void ForEachRun(Visit&& visit) const {
    for (const auto& [page, content] : pages_) {
      uint32_t i = 0;
      while (i < kPageSize) {
        if (!content.present[i]) {
          ++i;
          continue;
        }
        uint32_t j = i;
        while (j < kPageSize && content.present[j]) ++j;
        visit((page << kPageBits) | i, content.bytes.data() + i, static_cast<size_t>(j - i));
        i = j;
      }
    }
  }

 private:
  struct Page {
    std::array<uint8_t, kPageSize> bytes{};
    std::array<bool, kPageSize> present{};
  };
  // Calls visit(address, value) for each present byte of first..last, in address order.
  template <typename Visit>
  void ForEachPresentIn(uint32_t first, uint32_t last, Visit&& visit) const;

  std::map<uint32_t, Page> pages_;
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
  // "line N: message" or the message alone.
  std::string Text() const;
};

// Intel HEX text: records 00 to 05, blank lines and ";" header lines. Every record is checked
// (digits, length, checksum, type) also after the end record, whose successors add no data.
bool ReadIntelHex(std::string_view text, SparseImage& image, ImageError& error);
// S-record text: S0 to S3, S5 to S9 and blank lines; 16-, 24- and 32-bit addresses, checksums.
bool ReadSRecord(std::string_view text, SparseImage& image, ImageError& error);
// Raw bytes placed from base; refused when they would run past address FFFFFFFF.
bool ReadBinary(std::string_view bytes, uint32_t base, SparseImage& image, ImageError& error);
bool ReadImage(ImageFormat format, std::string_view contents, uint32_t base, SparseImage& image,
               ImageError& error);

// Data records of up to 16 bytes, aligned to 16-byte boundaries, with a type 04 record
// before the first record of every 64 KiB block other than the first; no end record.
std::vector<std::string> EncodeIntelHexRecords(const SparseImage& image);
// The whole image as Intel HEX text, each line followed by CR LF, end record last.
std::string WriteIntelHex(const SparseImage& image);
// S0 header, S1/S2/S3 data records of up to 16 bytes (the narrowest address width that holds
// the highest address), and the matching S9/S8/S7 end record; each line followed by CR LF.
std::string WriteSRecord(const SparseImage& image);

// The checksums of first..last with 0xFF where the image holds no byte. Requires
// first <= last.
ImageChecksums ChecksumRange(const SparseImage& image, uint32_t first, uint32_t last);

}  // namespace zemb
