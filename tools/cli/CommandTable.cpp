#include "CommandTable.h"

#include <cstdint>
#include <string>

#include "Commands.h"
#include "ImageFormats.h"
#include "PortsCommand.h"

namespace zemb::cli {
namespace {

// Decimal digits only, at most maxDigits of them (ten at most), from low to high.
template <typename Int>
bool ParseDecimal(const std::string& text, size_t maxDigits, int64_t low, int64_t high,
                  Int& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  int64_t acc = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    acc = acc * 10 + (c - '0');
  }
  if (acc < low || acc > high) return false;
  value = static_cast<Int>(acc);
  return true;
}

bool ApplyPort(Options& o, const std::string& value, std::string& error) {
  if (value.empty() || HasControlBytes(value)) {
    error = "the port name must be printable text";
    return false;
  }
  o.port = value;
  return true;
}

bool ApplySpeed(Options& o, const std::string& value, std::string& error) {
  if (ParseDecimal(value, 10, 1, INT32_MAX, o.speed)) return true;
  error = "the speed '" + value + "' is not a positive decimal baud rate";
  return false;
}

bool ApplyType(Options& o, const std::string& value, std::string& error) {
  // An empty type would silently leave the writer on whatever type it had.
  if (value.empty() || HasControlBytes(value)) {
    error = "the ROM type CODE must be printable text";
    return false;
  }
  o.type = value;
  o.typeGiven = true;
  return true;
}

bool ApplyFormat(Options& o, const std::string& value, std::string& error) {
  if (!ImageFormatFromName(value, o.format)) {
    error = "unknown format '" + value + "' (hex, srec or bin)";
    return false;
  }
  o.hasFormat = true;
  return true;
}

bool ApplyBase(Options& o, const std::string& value, std::string& error) {
  int32_t base = 0;
  if (!ParseAddress(value, base)) {
    error = "the base address '" + value + "' is not hexadecimal";
    return false;
  }
  o.base = static_cast<uint32_t>(base);
  o.hasBase = true;
  return true;
}

// A decimal count up to 65536: lanes, a lane, a width.
bool ParseCount(const std::string& text, uint32_t& value) {
  return ParseDecimal(text, 5, 0, 65536, value);
}

bool ApplyOffset(Options& o, const std::string& value, std::string& error) {
  // A signed hexadecimal amount: "-8000" moves an image linked at 0x8000 to 0.
  const bool negative = !value.empty() && value[0] == '-';
  const bool sign = negative || (!value.empty() && value[0] == '+');
  int32_t magnitude = 0;
  if (!ParseAddress(value.substr(sign ? 1 : 0), magnitude)) {
    error = "the offset '" + value + "' is not a signed hexadecimal amount (such as -8000)";
    return false;
  }
  const auto amount = static_cast<int64_t>(static_cast<uint32_t>(magnitude));
  o.shape.offset = true;
  o.shape.offsetBy = negative ? -amount : amount;
  return true;
}

bool ApplyCrop(Options& o, const std::string& value, std::string& error) {
  const size_t nul = value.find('\0');
  int32_t first = 0;
  int32_t last = 0;
  for (const auto& [text, target] :
       {std::pair{value.substr(0, nul), &first}, std::pair{value.substr(nul + 1), &last}}) {
    if (!ParseAddress(text, *target)) {
      error = "--crop takes START END in hexadecimal; '" + text + "' is not";
      return false;
    }
  }
  o.shape.crop = true;
  o.shape.cropFirst = static_cast<uint32_t>(first);
  o.shape.cropLast = static_cast<uint32_t>(last);
  return true;
}

bool ApplySplit(Options& o, const std::string& value, std::string& error) {
  // N:K or N:K:W, decimal.
  std::vector<std::string> parts;
  for (size_t at = 0;;) {
    const size_t colon = value.find(':', at);
    parts.push_back(value.substr(at, colon == std::string::npos ? colon : colon - at));
    if (colon == std::string::npos) break;
    at = colon + 1;
  }
  uint32_t numbers[3] = {0, 0, 1};
  bool ok = parts.size() == 2 || parts.size() == 3;
  for (size_t i = 0; ok && i < parts.size(); ++i) ok = ParseCount(parts[i], numbers[i]);
  if (!ok || numbers[0] < 2 || numbers[2] < 1) {
    error =
        "--split takes N:K or N:K:W (N lanes of W bytes, from 2 lanes up; K the lane kept, "
        "from 0), not '" +
        value + "'";
    return false;
  }
  if (numbers[1] >= numbers[0]) {
    error = "--split " + value + ": lane " + std::to_string(numbers[1]) + " is past the " +
            std::to_string(numbers[0]) + " lanes (they count from 0)";
    return false;
  }
  o.shape.split = true;
  o.shape.splitLanes = numbers[0];
  o.shape.splitLane = numbers[1];
  o.shape.splitWidth = numbers[2];
  return true;
}

bool ApplyFill(Options& o, const std::string& value, std::string& error) {
  int32_t byte = 0;
  if (value.size() > 2 || !ParseAddress(value, byte)) {
    error = "--fill takes a byte in hexadecimal (such as FF), not '" + value + "'";
    return false;
  }
  o.shape.fill = true;
  o.shape.fillValue = static_cast<uint8_t>(byte);
  return true;
}

bool ApplyWidth(Options& o, const std::string& value, std::string& error) {
  if (!ParseCount(value, o.laneWidth) || o.laneWidth == 0) {
    error = "--width takes the bytes of one lane, a decimal count from 1, not '" + value + "'";
    return false;
  }
  return true;
}

bool ApplyMax(Options& o, const std::string& value, std::string& error) {
  int count = 0;
  if (!ParseDecimal(value, 9, 0, 1000000, count)) {
    error = "--max needs a count from 0 to 1000000, not '" + value + "'";
    return false;
  }
  o.maxListed = static_cast<size_t>(count);
  o.hasMax = true;
  return true;
}

bool ApplyRepeat(Options& o, const std::string& value, std::string& error) {
  if (!ParseDecimal(value, 9, 2, 9, o.repeat)) {
    error = "--repeat needs a count of reads from 2 to 9, not '" + value + "'";
    return false;
  }
  return true;
}

}  // namespace

const std::vector<OptionEntry>& OptionTable() {
  static const std::vector<OptionEntry> table = {
      {"port", 'p', "NAME", kUseEverywhere,
       "the port, default COM1 (COMn maps to $ZEMBROMW_COMn,\n"
       "else the port chosen in the window, else\n"
       "/dev/ttyS<n-1>; a name with \"/\" is a path)",
       ApplyPort},
      {"speed", 's', "BAUD", kUseEverywhere, "the line speed (default 9600)", ApplySpeed},
      {"type", 't', "CODE", kUseEverywhere,
       "the ROM type sent on connecting (give it with\n"
       "every command); default the entry an Intel HEX\n"
       "FILE's ;Type line selects (one that selects none\n"
       "is refused), else 08",
       ApplyType},
      {"quiet", 'q', nullptr, kUseEverywhere, "no progress bar, notes or checksum line",
       [](Options& o, const std::string&, std::string&) { return o.quiet = true; }},
      {"verbose", 'v', nullptr, kUseEverywhere,
       "write every byte sent (<) and received (>) to\n"
       "standard error with its time in milliseconds,\n"
       "control bytes escaped",
       [](Options& o, const std::string&, std::string&) { return o.verbose = true; }},
      {"format", '\0', "hex|srec|bin", kUseInputFormat | kUseOutputFormat,
       "the format FILE is read as (else detected from the\n"
       "content), or the format written (else the one FILE's\n"
       "extension names: .hex, .s19/.srec/.mot, .bin; else\n"
       "Intel HEX with ;MinAdr, ;MaxAdr and ;Type lines; bin\n"
       "never to a terminal)",
       ApplyFormat},
      {"base", '\0', "ADDR", kUseBase, "where a raw binary image starts (default 0)", ApplyBase},
      {"offset", '\0', "DELTA", kUseShaping,
       "move every byte by a signed hexadecimal amount\n"
       "(-8000 moves an image linked at 0x8000 to 0)",
       ApplyOffset},
      {"crop", '\0', "START END", kUseShaping, "keep only START..END", ApplyCrop},
      {"swap", '\0', nullptr, kUseShaping, "exchange the two bytes of every 16-bit word",
       [](Options& o, const std::string&, std::string&) { return o.shape.swap = true; }},
      {"split", '\0', "N:K[:W]", kUseShaping,
       "keep lane K of N lanes of W bytes (default 1),\n"
       "closing the gaps: 2:0 the even bytes of a 16-bit\n"
       "bus, 2:1 the odd ones",
       ApplySplit},
      {"fill", '\0', "BYTE", kUseShaping,
       "fill every gap with BYTE: of START..END, else of\n"
       "the chip (a type known from -t or ;Type), else\n"
       "from the lowest to the highest data address",
       ApplyFill},
      {"pad", '\0', nullptr, kUseShaping, "--fill FF up to the chip's capacity",
       [](Options& o, const std::string&, std::string&) { return o.shape.pad = true; }},
      {"mirror", '\0', nullptr, kUseShaping,
       "repeat an image that starts at 0 and whose size\n"
       "is a power of two until it fills the chip",
       [](Options& o, const std::string&, std::string&) { return o.shape.mirror = true; }},
      {"force", '\0', nullptr, kUseForce,
       "send an image or range that reaches past the\n"
       "capacity of the chip type (-t or ;Type)",
       [](Options& o, const std::string&, std::string&) { return o.force = true; }},
      {"width", '\0', "W", kUseLaneWidth, "the bytes of one lane merge interleaves (default 1)",
       ApplyWidth},
      {"diff", '\0', nullptr, kUseDiff,
       "when the device answers NG, read the range and list\n"
       "where the chip differs from FILE, with the count,\n"
       "the runs and whether only erasing can fix it",
       [](Options& o, const std::string&, std::string&) { return o.diff = true; }},
      {"detail", '\0', nullptr, kUseDetail,
       "when the device answers NG, read the range and list\n"
       "the bytes that are not FF",
       [](Options& o, const std::string&, std::string&) { return o.detail = true; }},
      {"repeat", '\0', "N", kUseRepeat,
       "read N times (2 to 9); FILE is written only when\n"
       "every read agrees, else the unstable addresses are\n"
       "listed",
       ApplyRepeat},
      {"max", '\0', "N", kUseDiff | kUseDetail | kUseRepeat, "list at most N bytes (default 16)",
       ApplyMax},
      {"help", 'h', nullptr, kUseEverywhere, "this text",
       [](Options& o, const std::string&, std::string&) { return o.help = true; }},
      {"version", '\0', nullptr, kUseEverywhere, "the program's version",
       [](Options& o, const std::string&, std::string&) { return o.version = true; }},
  };
  return table;
}

const std::vector<CommandEntry>& CommandTable() {
  static const std::vector<CommandEntry> table = {
      {"ports", Command::Ports, "", "list the serial ports and what COM1..COM4 open", false, 0,
       [](const Options& options, Environment& env) {
         return RunPortsCommand(options.operands, *env.out, *env.err);
       }},
      {"type", Command::Type, "CODE",
       "select the ROM type and print the device's answer\n"
       "(no --type is sent before it)",
       true, 0, RunTypeCommand},
      {"types", Command::Types, "",
       "list the ROM types: code, part, capacity, data\n"
       "width, programming voltage",
       false, 0, RunTypesCommand},
      {"blank", Command::Blank, "START END", "blank check", true, kUseDetail, RunBlankCommand},
      {"read", Command::Read, "START END FILE",
       "read the chip into FILE (\"-\" for standard output);\n"
       "FILE is written only when the device answers OK and\n"
       "its records are sound and cover START..END",
       true, kUseOutputFormat | kUseRepeat, RunReadCommand},
      {"program", Command::Program, "FILE [START END]", "program from FILE", true,
       kUseInputFormat | kUseBase | kUseShaping | kUseForce, RunProgramCommand},
      {"compare", Command::Compare, "FILE [START END]", "compare the chip with FILE", true,
       kUseInputFormat | kUseBase | kUseShaping | kUseForce | kUseDiff, RunCompareCommand},
      {"write", Command::Write, "FILE [START END]", "write FILE without the blank check", true,
       kUseInputFormat | kUseBase | kUseShaping | kUseForce, RunWriteCommand},
      {"info", Command::Info, "FILE [START END]",
       "print FILE's format, range, data byte count and the\n"
       "CRC-32, SHA-1 and 16-bit byte sum of the range;\n"
       "with a type known, whether it fits the chip",
       false, kUseInputFormat | kUseBase | kUseShaping, RunInfoCommand},
      {"convert", Command::Convert, "IN OUT",
       "write IN, shaped, to OUT as --format, else as OUT's\n"
       "extension names, else Intel HEX",
       false, kUseOutputFormat | kUseBase | kUseShaping, RunConvertCommand},
      {"merge", Command::Merge, "OUT IN0 IN1 [IN2 IN3]",
       "interleave the dumps of 2 to 4 chips lane by lane\n"
       "(IN0 is lane 0) into OUT: the inverse of --split",
       false, kUseOutputFormat | kUseLaneWidth, RunMergeCommand},
  };
  return table;
}

const CommandEntry* FindCommand(std::string_view name) {
  for (const CommandEntry& entry : CommandTable()) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

const CommandEntry* EntryOf(Command command) {
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.command == command) return &entry;
  }
  return nullptr;
}

bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20) return true;
  }
  return false;
}

}  // namespace zemb::cli
