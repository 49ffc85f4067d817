// Intel HEX records as the simulated ROM writer sends and takes them, and the loading and
// dumping of whole chip images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zemb::sim {

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

enum class HexParseResult { Ok, Syntax, Checksum };

// Parses one record line (":LLAAAATT<data>CC"); trailing blanks and tabs are allowed,
// hex digits may be lower case. The record is only filled on Ok.
HexParseResult ParseHexRecord(std::string_view line, HexRecord& record);

// One record without line end, upper-case hex, checksum appended.
std::string EncodeHexRecord(uint8_t type, uint16_t address, const uint8_t* data, size_t size);

inline constexpr char kHexEofRecord[] = ":00000001FF";

// The data records (type 00, up to 16 bytes each, aligned to 16-byte boundaries) covering
// memory[start..end], each preceded by a type 04 record whenever the upper 16 address bits
// change from those of the previous record (starting from 0). No end-of-file record.
// Requires start <= end < memory.size().
std::vector<std::string> EncodeHexRange(const std::vector<uint8_t>& memory, uint32_t start,
                                        uint32_t end);

// True when the first line holding anything but blanks, and not beginning with ";", begins
// with ":".
bool LooksLikeIntelHex(std::string_view contents);

// Loads a file's contents into memory (Intel HEX or raw binary from address 0, decided by
// LooksLikeIntelHex). Bytes not in the image keep their value. On failure returns false with
// a message and memory may be partly written.
bool LoadImage(std::string_view contents, std::vector<uint8_t>& memory, std::string& error);

// The whole memory as Intel HEX text, CR LF line ends, end-of-file record last.
std::string DumpIntelHex(const std::vector<uint8_t>& memory);

}  // namespace zemb::sim
