// The simulated writer's chip memory as files: loading an image into it and dumping it as
// Intel HEX. The record coding itself is the common one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ImageFormats.h"

namespace zemb::sim {

using zemb::EncodeHexRecord;
using zemb::HexParseResult;
using zemb::HexRecord;
using zemb::kHexData;
using zemb::kHexEndOfFile;
using zemb::kHexEofRecord;
using zemb::kHexExtendedLinear;
using zemb::kHexExtendedSegment;
using zemb::kHexStartLinear;
using zemb::kHexStartSegment;
using zemb::ParseHexRecord;
using zemb::SparseImage;

// memory[start..end] as an image, for a read to send. Requires start <= end < memory.size().
SparseImage RangeImage(const std::vector<uint8_t>& memory, uint32_t start, uint32_t end);

// The data records (type 00, up to 16 bytes each, aligned to 16-byte boundaries) covering
// memory[start..end], each preceded by a type 04 record whenever the upper 16 address bits
// change from those of the previous record (starting from 0). No end-of-file record.
// Requires start <= end < memory.size().
std::vector<std::string> EncodeHexRange(const std::vector<uint8_t>& memory, uint32_t start,
                                        uint32_t end);

// Loads a file's contents into memory: Intel HEX, S-record, or raw binary from address 0,
// decided by content. Bytes not in the image keep their value. On failure returns false with
// a message and memory is unchanged.
bool LoadImage(std::string_view contents, std::vector<uint8_t>& memory, std::string& error);

// The whole memory as Intel HEX text, CR LF line ends, end-of-file record last.
std::string DumpIntelHex(const std::vector<uint8_t>& memory);

}  // namespace zemb::sim
