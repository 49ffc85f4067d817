#include "IntelHex.h"

#include <algorithm>
#include <cstdio>

namespace zemb::sim {
namespace {

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

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
}

}  // namespace

HexParseResult ParseHexRecord(std::string_view line, HexRecord& record) {
  line = TrimBlanks(line);
  if (line.size() < 11 || line[0] != ':' || (line.size() - 1) % 2 != 0) {
    return HexParseResult::Syntax;
  }
  std::vector<uint8_t> bytes;
  bytes.reserve((line.size() - 1) / 2);
  for (size_t i = 1; i < line.size(); i += 2) {
    const int high = HexDigit(line[i]);
    const int low = HexDigit(line[i + 1]);
    if (high < 0 || low < 0) return HexParseResult::Syntax;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  if (bytes.size() != static_cast<size_t>(bytes[0]) + 5) return HexParseResult::Syntax;
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

std::vector<std::string> EncodeHexRange(const std::vector<uint8_t>& memory, uint32_t start,
                                        uint32_t end) {
  std::vector<std::string> records;
  uint32_t upper = 0;
  uint64_t address = start;
  while (address <= end) {
    const uint64_t chunkEnd = std::min<uint64_t>((address | 0x0F), end);
    const uint32_t high = static_cast<uint32_t>(address >> 16);
    if (high != upper) {
      const uint8_t ela[2] = {static_cast<uint8_t>(high >> 8), static_cast<uint8_t>(high)};
      records.push_back(EncodeHexRecord(kHexExtendedLinear, 0, ela, 2));
      upper = high;
    }
    records.push_back(EncodeHexRecord(kHexData, static_cast<uint16_t>(address & 0xFFFF),
                                      memory.data() + address,
                                      static_cast<size_t>(chunkEnd - address + 1)));
    address = chunkEnd + 1;
  }
  return records;
}

bool LooksLikeIntelHex(std::string_view contents) {
  size_t pos = 0;
  while (pos < contents.size()) {
    size_t eol = contents.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = contents.size();
    const std::string_view line = TrimBlanks(contents.substr(pos, eol - pos));
    if (!line.empty() && line[0] != ';') return line[0] == ':';
    pos = eol + 1;
  }
  return false;
}

bool LoadImage(std::string_view contents, std::vector<uint8_t>& memory, std::string& error) {
  if (!LooksLikeIntelHex(contents)) {
    if (contents.size() > memory.size()) {
      error = "binary image of " + std::to_string(contents.size()) +
              " bytes does not fit the chip (" + std::to_string(memory.size()) + " bytes)";
      return false;
    }
    for (size_t i = 0; i < contents.size(); ++i) memory[i] = static_cast<uint8_t>(contents[i]);
    return true;
  }
  uint64_t base = 0;
  size_t pos = 0;
  size_t lineNumber = 0;
  while (pos < contents.size()) {
    size_t eol = contents.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = contents.size();
    // A CR LF pair counts as one line end so line numbers match an editor's.
    const size_t next =
        (eol + 1 < contents.size() && contents[eol] == '\r' && contents[eol + 1] == '\n') ? eol + 2
                                                                                          : eol + 1;
    const std::string_view line = TrimBlanks(contents.substr(pos, eol - pos));
    pos = next;
    ++lineNumber;
    if (line.empty() || line[0] == ';') continue;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    HexRecord record;
    switch (ParseHexRecord(line, record)) {
      case HexParseResult::Syntax:
        error = where + "not an Intel HEX record";
        return false;
      case HexParseResult::Checksum:
        error = where + "checksum error";
        return false;
      case HexParseResult::Ok:
        break;
    }
    switch (record.type) {
      case kHexData:
        for (size_t i = 0; i < record.data.size(); ++i) {
          const uint64_t address = base + record.address + i;
          if (address >= memory.size()) {
            char text[16];
            std::snprintf(text, sizeof text, "%05llX", static_cast<unsigned long long>(address));
            error = where + "address " + text + " is outside the chip";
            return false;
          }
          memory[address] = record.data[i];
        }
        break;
      case kHexEndOfFile:
        return true;
      case kHexExtendedSegment:
      case kHexExtendedLinear:
        if (record.data.size() != 2) {
          error = where + "bad extended address record";
          return false;
        }
        base = static_cast<uint64_t>(record.data[0] << 8 | record.data[1])
               << (record.type == kHexExtendedLinear ? 16 : 4);
        break;
      case kHexStartSegment:
      case kHexStartLinear:
        break;
      default:
        error = where + "unknown record type";
        return false;
    }
  }
  return true;
}

std::string DumpIntelHex(const std::vector<uint8_t>& memory) {
  std::string out;
  if (!memory.empty()) {
    for (const std::string& record :
         EncodeHexRange(memory, 0, static_cast<uint32_t>(memory.size() - 1))) {
      out += record;
      out += "\r\n";
    }
  }
  out += kHexEofRecord;
  out += "\r\n";
  return out;
}

}  // namespace zemb::sim
