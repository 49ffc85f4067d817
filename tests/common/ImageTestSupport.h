// Record builders, an image's bytes as a map, and srec_cat as an independent reader and
// shaper for the image tests.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ImageFormats.h"
#include "TempDir.h"

namespace zemb::testing {

inline std::string IHex(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  return EncodeHexRecord(type, address, data.data(), data.size());
}

// An S-record with a correct count and checksum.
inline std::string SRec(int type, int addressBytes, uint32_t address,
                        const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(addressBytes + data.size() + 1)};
  for (int i = addressBytes - 1; i >= 0; --i) {
    bytes.push_back(static_cast<uint8_t>(address >> (8 * i)));
  }
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<uint8_t>(~sum));
  std::string out = "S";
  out += static_cast<char>('0' + type);
  char hex[3];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    out += hex;
  }
  return out;
}

using ByteMap = std::map<uint32_t, uint8_t>;

inline ByteMap BytesOf(const SparseImage& image) {
  ByteMap bytes;
  image.ForEachRun([&](uint32_t address, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) bytes[address + static_cast<uint32_t>(i)] = data[i];
  });
  return bytes;
}

using test::TempDir;

inline bool HaveSrecCat() {
  return std::system("command -v srec_cat >/dev/null 2>&1") == 0;
}

// Runs srec_cat with arguments (already quoted where needed) writing Intel HEX to a file;
// false when it refuses the input.
inline bool RunSrecCat(const TempDir& dir, const std::string& arguments, std::string& output) {
  const std::string out = dir.Path("oracle.out");
  const std::string command =
      "srec_cat " + arguments + " -o '" + out + "' -intel -obs=16 2>/dev/null";
  if (std::system(command.c_str()) != 0) return false;
  std::ifstream in(out, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  output = text.str();
  return true;
}

// The bytes of srec_cat's own Intel HEX output (types 00, 01, 04, 05 only), read without
// the project's reader.
inline ByteMap BytesOfOracleHex(const std::string& text) {
  ByteMap bytes;
  std::istringstream lines(text);
  std::string line;
  uint32_t base = 0;
  auto byteAt = [&line](size_t i) {
    return static_cast<uint8_t>(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16));
  };
  while (std::getline(lines, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.size() < 11 || line[0] != ':') continue;
    const size_t count = byteAt(0);
    const uint32_t offset = uint32_t{byteAt(1)} << 8 | byteAt(2);
    const uint8_t type = byteAt(3);
    if (type == 0) {
      for (size_t i = 0; i < count; ++i) bytes[base + offset + i] = byteAt(4 + i);
    } else if (type == 4) {
      base = (uint32_t{byteAt(4)} << 8 | byteAt(5)) << 16;
    }
  }
  return bytes;
}

}  // namespace zemb::testing
