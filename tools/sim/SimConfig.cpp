#include "SimConfig.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace zemb::sim {
namespace {

bool ParseCount(const std::string& text, int64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  // Keeps every product with 1000 (ms to us) or 10'000'000 (baud) inside 64 bits.
  if (errno != 0 || *end != '\0' || parsed > 1'000'000'000LL) return false;
  value = parsed;
  return true;
}

// "100,7FF0,1FFFF": hexadecimal cell addresses, each inside the largest chip.
bool ParseAddressList(const std::string& text, std::vector<uint32_t>& addresses) {
  size_t largest = 0;
  for (int code = 0; code < kChipTypeCount; ++code) largest = std::max(largest, ChipSize(code));
  size_t pos = 0;
  for (;;) {
    const size_t comma = text.find(',', pos);
    const std::string item = text.substr(pos, comma == std::string::npos ? comma : comma - pos);
    if (item.empty() || item.size() > 8 ||
        item.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      return false;
    }
    const unsigned long address = std::strtoul(item.c_str(), nullptr, 16);
    if (address >= largest) return false;
    addresses.push_back(static_cast<uint32_t>(address));
    if (comma == std::string::npos) return true;
    pos = comma + 1;
  }
}

}  // namespace

bool ParseSimArgs(int argc, const char* const* argv, SimConfig& config, std::string& error) {
  SimOptions& o = config.engine;
  const std::map<std::string, bool*> flags = {
      {"--silent", &o.silent},        {"--reject-type", &o.rejectType}, {"--lf", &o.lf},
      {"--once", &config.once},       {"--help", &config.help},         {"-h", &config.help},
      {"--version", &config.version},
  };
  const std::map<std::string, int64_t*> counts = {
      {"--delay-ms", &o.delayMs},
      {"--burn-ms", &o.burnMs},
      {"--burn-us-per-byte", &o.burnUsPerByte},
      {"--hold-xoff-ms", &o.holdXoffMs},
      {"--read-pause-ms", &o.readPauseMs},
      {"--read-pause-at", &o.readPauseAt},
      {"--disconnect-after-lines", &o.disconnectAfterLines},
      {"--baud", &o.baud},
  };
  const std::map<std::string, std::string*> paths = {
      {"--link", &config.link},
      {"--image", &config.image},
      {"--log", &config.log},
      {"--dump", &config.dump},
  };

  for (int i = 0; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    const size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    if (auto flag = flags.find(name); flag != flags.end()) {
      if (hasValue) {
        error = name + " takes no value";
        return false;
      }
      *flag->second = true;
      continue;
    }
    const bool known = counts.count(name) || paths.count(name) || name == "--type" ||
                       name == "--blank-before-ok" || name == "--unstable";
    if (!known) {
      error = "unknown option '" + name + "'";
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        error = name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (auto path = paths.find(name); path != paths.end()) {
      if (value.empty()) {
        error = name + " needs a file name";
        return false;
      }
      *path->second = value;
    } else if (name == "--unstable") {
      if (!ParseAddressList(value, o.unstable)) {
        error =
            "--unstable needs hexadecimal cell addresses separated by commas, not '" + value + "'";
        return false;
      }
    } else if (name == "--type") {
      char* end = nullptr;
      const long code = std::strtol(value.c_str(), &end, 16);
      if (value.empty() || value.size() > 2 || *end != '\0' || ChipSize(int(code)) == 0) {
        error = "--type needs a type code from 00 to 12";
        return false;
      }
      o.startType = static_cast<int>(code);
    } else {
      int64_t count = 0;
      if (!ParseCount(value, count)) {
        error = name + " needs a whole number, not '" + value + "'";
        return false;
      }
      if (name == "--blank-before-ok") {
        o.blankBeforeOk = static_cast<int>(count);
      } else {
        *counts.at(name) = count;
      }
    }
  }
  return true;
}

std::string SimUsage(const char* program) {
  return std::string("usage: ") + program + R"( [options]
A ROM writer simulated on a pseudo-terminal. Prints the terminal's path on the first line
of standard output, then serves the host until SIGTERM/SIGINT (or --once).

  --link PATH              also make a symbolic link PATH to the terminal (removed at exit)
  --type CODE              starting chip type, 00 to 12 hex (default 08)
  --image FILE             load FILE into the starting type's memory: Intel HEX when its
                           first line that is not blank and not a ";" header begins with ":",
                           an S-record file when it begins with "S" and a digit, otherwise
                           raw binary from address 0
  --dump FILE              at exit, write the current type's memory to FILE as Intel HEX
  --log FILE               transcript: "<ms since start> <'<' from host|'>' to host> <bytes>",
                           control bytes escaped (\r \n \xHH), flushed per line
  --once                   exit after the first RB/RR/RC/RP/RW has been answered (and read)
  --baud N                 pace output and input at N/10 bytes per second (0: unpaced)
  --burn-ms N              burn time per programmed record, inside XOFF..XON (default 1;
                           0 with no --burn-us-per-byte: no XOFF)
  --burn-us-per-byte N     burn time added per programmed byte (default 0); a 27C256
                           takes about 100 to 1000 us a byte
Faults (all off by default):
  --silent                 never send anything
  --delay-ms N             wait N ms before every answer line (and before the first record
                           of a read; the other records are not delayed)
  --reject-type            answer every "RT" with "RT NG rejected"
  --lf                     send LF after every CR
  --blank-before-ok N      N empty lines between the end-of-file record and "RR OK"
  --read-pause-ms N        pause N ms inside read data ...
  --read-pause-at LINE     ... after LINE records (default 10)
  --hold-xoff-ms N         hold the first XOFF of each upload N ms before XON
  --unstable ADDR[,ADDR...]
                           weak cells (hexadecimal addresses): every read returns another
                           value there, the rest of the chip reads as it is
  --disconnect-after-lines N
                           after N lines of an RC/RP/RW upload, close the terminal and exit
                           with status 0 (0: as soon as the upload command is taken)
  --help                   this text
  --version                print the version and exit

Answers: "RA zembromw-sim"; "RT OK <code> <family>" | "RT NG ..."; "RB OK" | "RB NG <addr>";
RR: 16-byte records (type 04 above 64 KiB), ":00000001FF", "RR OK"; RC/RP/RW: "Rx OK" after
the end-of-file record or 500 ms of silence, "Rx NG <addr> <chip> <file>" at once on a
mismatch or a 0->1 bit, "Rx NG checksum" / "Rx NG syntax" on a bad record; RP blank-checks
first ("RB OK", or "RB NG <addr>" and "RP NG not blank").
Exit status: 0 on a signal, --once or a planned disconnect; 1 on an error; 2 on bad usage;
125 when a closed standard stream could not be opened on /dev/null.
)";
}

}  // namespace zemb::sim
