// The parser and the help text, both taken from the command and option tables.
#include <cstdio>
#include <cstring>

#include "CliCore.h"
#include "CommandTable.h"
#include "Convert.h"

namespace zemb::cli {
namespace {

// Matches args[i] against one option in any of the forms -pNAME, -p NAME, --port=NAME,
// --port NAME (a switch: -q, --quiet). Returns 0 when arg is not this option, 1 when it was
// taken (value filled, i moved past a separate value), -1 when its value is missing.
int MatchOption(const std::vector<std::string>& args, size_t& i, const OptionEntry& entry,
                std::string& value) {
  const std::string& arg = args[i];
  const std::string longFlag = std::string("--") + entry.longName;
  const bool isShort =
      entry.shortName != '\0' && arg.size() >= 2 && arg[0] == '-' && arg[1] == entry.shortName;
  if (entry.valueName == nullptr) {
    value.clear();
    return arg == longFlag || (isShort && arg.size() == 2) ? 1 : 0;
  }
  if (std::strchr(entry.valueName, ' ') != nullptr) {
    // Two values never come as --crop=START: that is a value missing.
    if (arg.compare(0, longFlag.size() + 1, longFlag + "=") == 0) return -1;
    if (arg != longFlag) return 0;
    if (i + 2 >= args.size()) return -1;
    value = args[i + 1] + '\0' + args[i + 2];
    i += 2;
    return 1;
  }
  if (arg == longFlag || (isShort && arg.size() == 2)) {
    if (i + 1 >= args.size()) return -1;
    value = args[++i];
    return 1;
  }
  if (arg.compare(0, longFlag.size() + 1, longFlag + "=") == 0) {
    value = arg.substr(longFlag.size() + 1);
    return 1;
  }
  if (isShort) {
    value = arg.substr(2);
    return 1;
  }
  return 0;
}

// "program, compare, write and info": the commands that have one of the uses.
std::string CommandsWith(unsigned uses) {
  std::vector<std::string> names;
  for (const CommandEntry& entry : CommandTable()) {
    if ((entry.uses & uses) != 0) names.emplace_back(entry.name);
  }
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

// Breaks text at blanks into lines that fit the help's text column.
std::string Wrapped(const std::string& text) {
  constexpr size_t kWidth = 52;
  std::string result;
  size_t lineStart = 0;
  size_t lastBlank = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') lastBlank = i;
    if (i - lineStart >= kWidth && lastBlank != std::string::npos && lastBlank > lineStart) {
      result += text.substr(lineStart, lastBlank - lineStart) + "\n";
      lineStart = lastBlank + 1;
      lastBlank = std::string::npos;
    }
  }
  return result + text.substr(lineStart);
}

// Writes "  " + head, then text from the help column, its later lines indented alike; a
// head too long for the column gets a line of its own.
void AddHelpEntry(std::string& usage, const std::string& head, const std::string& text) {
  constexpr size_t kColumn = 28;
  std::string indent = "  " + head;
  if (indent.size() + 1 > kColumn) {
    usage += indent + "\n";
    indent.clear();
  }
  indent.resize(kColumn, ' ');
  for (size_t at = 0;;) {
    const size_t nl = text.find('\n', at);
    usage += indent + text.substr(at, nl == std::string::npos ? nl : nl - at) + "\n";
    if (nl == std::string::npos) break;
    indent.assign(kColumn, ' ');
    at = nl + 1;
  }
}

}  // namespace

bool ParseAddress(const std::string& text, int32_t& value) {
  // The window prefixes "$" and converts; a text of its own "$", blank, sign or "0x" then
  // fails, exactly as in the window's fields.
  if (text.empty() || text[0] == ' ') return false;
  return TryStrToInt("$" + text, value);
}

bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
  std::vector<std::string> words;
  // The options given, each once, to check against the command once it is known.
  std::vector<const OptionEntry*> given;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionEntry* matched = nullptr;
    std::string value;
    for (const OptionEntry& entry : OptionTable()) {
      const int taken = MatchOption(args, i, entry, value);
      if (taken < 0) {
        const bool two = std::strchr(entry.valueName, ' ') != nullptr;
        error = "option " + arg + " needs " +
                (two ? std::string(entry.valueName) + " as two arguments" : "a value");
        return false;
      }
      if (taken > 0) {
        matched = &entry;
        break;
      }
    }
    if (matched == nullptr) {
      error = "unknown option " + arg;
      return false;
    }
    if (!matched->apply(options, value, error)) return false;
    given.push_back(matched);
  }

  if (options.help || options.version) return true;
  if (words.empty()) {
    error = "no command given";
    return false;
  }
  const CommandEntry* command = FindCommand(words[0]);
  if (command == nullptr) {
    error = "unknown command '" + words[0] + "'";
    return false;
  }
  options.command = command->command;
  options.operands.assign(words.begin() + 1, words.end());
  // An option that does nothing for this command would leave the user believing it did.
  for (const OptionEntry* entry : given) {
    if (entry->use != kUseEverywhere && (entry->use & command->uses) == 0) {
      error = std::string("--") + entry->longName + " is for " + CommandsWith(entry->use) + "; " +
              command->name + " does not take it";
      return false;
    }
  }
  return true;
}

std::string UsageText() {
  std::string usage =
      "usage: zembromw-cli [OPTION...] COMMAND [OPERAND...]\n"
      "       zembromw-cli --help | --version\n"
      "Commands:\n";
  for (const CommandEntry& entry : CommandTable()) {
    AddHelpEntry(usage,
                 std::string(entry.name) + (*entry.operands != '\0' ? " " : "") + entry.operands,
                 entry.summary);
  }
  // The shaping options read best together, in the order they apply.
  const auto shaping = [](const OptionEntry& entry) { return entry.use == kUseShaping; };
  usage += "Options:\n";
  for (const OptionEntry& entry : OptionTable()) {
    if (shaping(entry)) continue;
    std::string head;
    if (entry.shortName != '\0') head = std::string("-") + entry.shortName + ", ";
    head += std::string("--") + entry.longName;
    if (entry.valueName != nullptr) head += std::string(" ") + entry.valueName;
    std::string text = entry.summary;
    if (entry.use != kUseEverywhere) text += "\n" + Wrapped("(" + CommandsWith(entry.use) + ")");
    AddHelpEntry(usage, head, text);
  }
  usage += "Shaping, in this order, after reading\n  (" + CommandsWith(kUseShaping) + "):\n";
  for (const OptionEntry& entry : OptionTable()) {
    if (!shaping(entry)) continue;
    AddHelpEntry(usage,
                 std::string("--") + entry.longName +
                     (entry.valueName != nullptr ? std::string(" ") + entry.valueName : ""),
                 entry.summary);
  }
  usage +=
      "A FILE of \"-\" is standard input (standard output for read).\n"
      "START and END are hexadecimal; without them FILE's ;MinAdr and ;MaxAdr lines\n"
      "give them, else the lowest and highest address FILE holds data for.\n"
      "Images: Intel HEX (its lines go to the device as they stand), Motorola S-record\n"
      "(S0-S9, converted to Intel HEX records on this side) or raw binary; a shaped\n"
      "image goes to the device as Intel HEX records of 16 bytes too. read prints the\n"
      "checksums of what it read (not with -q).\n"
      "Exit status: 0 the device answered OK, 1 it answered otherwise or not at all,\n"
      "refused the --type (then nothing else is sent), or a read brought back unsound\n"
      "data, 2 usage or file error (a malformed record is named by its line; nothing\n"
      "is sent) or a speed this system cannot set, 3 the port could not be opened, set\n"
      "up or written, no handshake, or a port that only echoes, 125 a closed standard\n"
      "stream could not be opened on /dev/null, 128+N ended by signal N (port\n"
      "released).\n"
      "The device's last answer is printed on standard error as the last line.\n";
  return usage;
}

}  // namespace zemb::cli
