// The commands of the command line and the options they take, in two tables from which the
// parser checks what is given and the help text is written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "CliCore.h"

namespace zemb::cli {

// What an option does for a command; a command lists the uses it has, and an option given
// to a command that has none of its uses is refused rather than ignored.
enum OptionUse : unsigned {
  kUseEverywhere = 0,
  kUseInputFormat = 1u << 0,   // --format: the format FILE is read as
  kUseOutputFormat = 1u << 1,  // --format: the format written
  kUseBase = 1u << 2,          // --base: where a binary input starts
  kUseShaping = 1u << 3,       // --offset, --crop, --swap, --split, --fill, --pad, --mirror
  kUseForce = 1u << 4,         // --force: past the chip's capacity
  kUseLaneWidth = 1u << 5,     // --width: merge's lanes
  kUseDiff = 1u << 6,          // --diff, --max: where a failed compare differs
  kUseDetail = 1u << 7,        // --detail, --max: which bytes a failed blank check found
  kUseRepeat = 1u << 8,        // --repeat, --max: reads that must agree
};

struct CommandEntry {
  const char* name;
  Command command;
  // As the help shows them: "START END FILE".
  const char* operands;
  // The help's description; further lines after '\n'.
  const char* summary;
  // Opens the port and addresses the ROM writer.
  bool needsDevice;
  // The OptionUse bits of the options it takes beyond those every command takes.
  unsigned uses;
  // Runs the command after the arguments were parsed; returns the exit status.
  int (*run)(const Options& options, Environment& env);
};

struct OptionEntry {
  const char* longName;  // without "--"
  char shortName;        // '\0' for none
  // Null for a switch; a name of two words ("START END") takes two arguments, handed to
  // apply joined by a NUL byte.
  const char* valueName;
  unsigned use;  // kUseEverywhere, or the OptionUse bits it serves
  const char* summary;
  // Stores the value (empty for a switch); false with a message for a bad value.
  bool (*apply)(Options& options, const std::string& value, std::string& error);
};

const std::vector<CommandEntry>& CommandTable();
const std::vector<OptionEntry>& OptionTable();

// The entry of name, or null.
const CommandEntry* FindCommand(std::string_view name);
// The entry of command; null for Command::None.
const CommandEntry* EntryOf(Command command);

// True when text holds a control byte (below 0x20): such a value is never sent to the device.
bool HasControlBytes(const std::string& text);

}  // namespace zemb::cli
