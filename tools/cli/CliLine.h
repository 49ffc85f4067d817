// Checks between the command line and the ROM command: a speed the platform cannot set, a
// port whose line settings did not take, a ROM writer that refuses the chip type, and a
// port that only echoes what it is sent. Each one stops the command before any ROM
// command goes out.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "CliCore.h"

namespace zemb {
class TzembROMWT;
}

namespace zemb::cli {

// False, with the message (the speeds this platform can set), for a speed that cannot be set.
bool CheckSpeed(int32_t speed, std::string& error);

// Opens the port, then, for every command but "type", makes the connection and sends the
// ROM type. Returns -1 when the command may go on, or the exit status after writing why it
// may not on err. The silent abort of a port that cannot be opened or written passes.
int PrepareLine(TzembROMWT& rom, const Options& options, std::ostream& err);

// Writes that the handshake on port went unanswered and returns kExitPortFailed.
int ReportNoHandshake(const std::string& port, std::ostream& err);

// After "type": the exit status and message for a type answer that only echoed the
// command, or -1.
int CheckTypeAnswer(const TzembROMWT& rom, const Options& options, std::ostream& err);

// The text printed for the component's Status: escaped for the terminal and cut short
// when a device sent a long line of junk.
std::string StatusForTerminal(const std::string& status);

}  // namespace zemb::cli
