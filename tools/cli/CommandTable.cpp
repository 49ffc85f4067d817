#include "CommandTable.h"

#include "Commands.h"
#include "ImageFormats.h"
#include "PortsCommand.h"

namespace zemb::cli {
namespace {

bool HasControlBytes(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20) return true;
  }
  return false;
}

bool ParseSpeed(const std::string& text, int32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  int64_t acc = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    acc = acc * 10 + (c - '0');
  }
  if (acc <= 0 || acc > INT32_MAX) return false;
  value = static_cast<int32_t>(acc);
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
  if (ParseSpeed(value, o.speed)) return true;
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

}  // namespace

const std::vector<OptionSpec>& OptionTable() {
  static const std::vector<OptionSpec> table = {
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
      {"help", 'h', nullptr, kUseEverywhere, "this text",
       [](Options& o, const std::string&, std::string&) { return o.help = true; }},
      {"version", '\0', nullptr, kUseEverywhere, "the program's version",
       [](Options& o, const std::string&, std::string&) { return o.version = true; }},
  };
  return table;
}

const std::vector<CommandSpec>& CommandTable() {
  static const std::vector<CommandSpec> table = {
      {"ports", Command::Ports, "", "list the serial ports and what COM1..COM4 open", false, 0,
       [](const Options& options, Environment& env) {
         return RunPortsCommand(options.operands, *env.out, *env.err);
       }},
      {"type", Command::Type, "CODE",
       "select the ROM type and print the device's answer\n"
       "(no --type is sent before it)",
       true, 0, RunTypeCommand},
      {"types", Command::Types, "", "list the ROM types: code, part, programming voltage", false, 0,
       RunTypesCommand},
      {"blank", Command::Blank, "START END", "blank check", true, 0, RunBlankCommand},
      {"read", Command::Read, "START END FILE",
       "read the chip into FILE (\"-\" for standard output);\n"
       "FILE is written only when the device answers OK and\n"
       "its records are sound and cover START..END",
       true, kUseOutputFormat, RunReadCommand},
      {"program", Command::Program, "FILE [START END]", "program from FILE", true,
       kUseInputFormat | kUseBase, RunProgramCommand},
      {"compare", Command::Compare, "FILE [START END]", "compare the chip with FILE", true,
       kUseInputFormat | kUseBase, RunCompareCommand},
      {"write", Command::Write, "FILE [START END]", "write FILE without the blank check", true,
       kUseInputFormat | kUseBase, RunWriteCommand},
      {"info", Command::Info, "FILE [START END]",
       "print FILE's format, range, data byte count and the\n"
       "CRC-32, SHA-1 and 16-bit byte sum of the range",
       false, kUseInputFormat | kUseBase, RunInfoCommand},
  };
  return table;
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& spec : CommandTable()) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

const CommandSpec* SpecOf(Command command) {
  for (const CommandSpec& spec : CommandTable()) {
    if (spec.command == command) return &spec;
  }
  return nullptr;
}

}  // namespace zemb::cli
