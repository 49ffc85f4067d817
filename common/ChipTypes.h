// The ROM types the writer knows, in the order of the window's type list: a file's ;Type
// header is an index into this table, the device is sent the code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zemb {

struct ChipType {
  const char* code;        // two upper-case hex digits, sent with "RT "
  const char* part;        // the part name as the list shows it
  const char* vpp;         // programming voltage ("21.0v"), empty where the list gives none
  const char* compatible;  // other makers' parts the entry stands for, may be empty
  const char* itemText;    // the window's list entry, exactly
  uint32_t capacity;       // bytes, from the part's data sheet
  int width;               // data bits: 8 or 16
};

// All 19 entries; the index in this list is a file's ;Type value.
const std::vector<ChipType>& ChipTypeTable();
// The window's list entries, in order.
std::vector<std::string> ChipTypeItemTexts();
// Index of the entry whose code equals code (ASCII case folded), or -1.
int ChipTypeIndexOfCode(std::string_view code);
// A size in bytes as the type list shows capacities: "32 KiB", "1 MiB", "100 bytes".
std::string CapacityText(uint64_t bytes);
// "x8" or "x16".
std::string WidthText(const ChipType& type);

}  // namespace zemb
