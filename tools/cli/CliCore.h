// The command-line front end over TzembROMWT: options, the parser and the run of a command,
// kept in a library so that tests can run them in-process with a scripted channel.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "ImageFormats.h"
#include "ImageShaping.h"
#include "SerialChannel.h"

namespace zemb::cli {

// The name every message on standard error starts with.
inline constexpr char kProgram[] = "zembromw-cli";

// Exit statuses that scripts can rely on.
enum ExitStatus : int {
  kExitOk = 0,          // the device answered OK
  kExitDeviceNg = 1,    // the device answered otherwise, or not at all after the handshake
  kExitUsage = 2,       // bad arguments or an unusable file; nothing was sent
  kExitPortFailed = 3,  // the port could not be opened or written, or no handshake answer
};

enum class Command {
  None,
  Type,
  Blank,
  Read,
  Program,
  Compare,
  Write,
  Ports,
  Types,
  Info,
  Convert,
  Merge
};

struct Options {
  std::string port = "COM1";
  int32_t speed = 9600;
  std::string type = "08";
  // -t was given, so an image's ;Type line does not choose the type.
  bool typeGiven = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
  // -v: the wire transcript on standard error.
  bool verbose = false;
  // --format: the image format of FILE; detected (input) or taken from the extension
  // (read) when not given.
  bool hasFormat = false;
  ImageFormat format = ImageFormat::IntelHex;
  // --base: where a binary image starts.
  bool hasBase = false;
  uint32_t base = 0;
  // --offset, --crop, --swap, --split, --fill, --pad, --mirror: how an image is shaped
  // after reading, always in that order.
  ShapeOptions shape;
  // --force: send an image or range that reaches past the chip's capacity.
  bool force = false;
  // --width: the bytes of one lane that merge interleaves.
  uint32_t laneWidth = 1;
  Command command = Command::None;
  std::vector<std::string> operands;
};

// Parses the arguments that follow the program name. On a usage error returns false and
// describes it in error.
bool ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

// Converts an address the way the window's address fields do: one or more hexadecimal
// digits (either case) and nothing else, at most FFFFFFFF; values from 80000000 up come out
// negative.
bool ParseAddress(const std::string& text, int32_t& value);

std::string UsageText();

// Where a run reads and writes, and the channel it talks through.
struct Environment {
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // Draw the progress bar on err.
  bool progress = false;
  // Standard output is a terminal, which must not be sent a binary image.
  bool outIsTerminal = false;
  // The channel handed to the component; the platform's serial backend when null.
  std::unique_ptr<SerialChannel> channel;
};

// Runs one parsed command and returns its exit status. The component's Status is the last
// line written to err whenever the device was addressed.
int Run(const Options& options, Environment& env);

// The whole program: parse, run, report.
int Main(int argc, char** argv);

}  // namespace zemb::cli
