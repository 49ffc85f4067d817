#include "CliCore.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <sstream>

#include "ChipTypes.h"
#include "CliFiles.h"
#include "CliLine.h"
#include "CliSignals.h"
#include "Convert.h"
#include "Errors.h"
#include "FileIO.h"
#include "ImageFiles.h"
#include "PortsCommand.h"
#include "ProcessSetup.h"
#include "TStrings.h"
#include "TerminalText.h"
#include "WireTrace.h"
#include "ZembromwVersion.h"
#include "uZEMB.h"

#ifdef _WIN32
#include <io.h>
#define ZEMBROMW_ISATTY _isatty
#else
#include <unistd.h>
#define ZEMBROMW_ISATTY isatty
#endif

namespace zemb::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct CommandInfo {
  const char* name;
  Command command;
};

constexpr CommandInfo kCommands[] = {
    {"type", Command::Type},       {"blank", Command::Blank},     {"read", Command::Read},
    {"program", Command::Program}, {"compare", Command::Compare}, {"write", Command::Write},
    {"ports", Command::Ports},     {"types", Command::Types},     {"info", Command::Info},
};

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

// An option that takes a value, in any of the forms -pNAME, -p NAME, --port=NAME, --port NAME.
// Returns 0 when arg is not this option, 1 when it was taken, -1 when its value is missing.
int TakeValueOption(const std::vector<std::string>& args, size_t& i, char shortName,
                    const char* longName, std::string& value) {
  const std::string& arg = args[i];
  const std::string longFlag = std::string("--") + longName;
  if (arg == longFlag || (arg.size() == 2 && arg[0] == '-' && arg[1] == shortName)) {
    if (i + 1 >= args.size()) return -1;
    value = args[++i];
    return 1;
  }
  if (arg.compare(0, longFlag.size() + 1, longFlag + "=") == 0) {
    value = arg.substr(longFlag.size() + 1);
    return 1;
  }
  if (arg.size() > 2 && arg[0] == '-' && arg[1] == shortName) {
    value = arg.substr(2);
    return 1;
  }
  return 0;
}

// --format NAME and --base ADDR (long forms only). Returns 0 when arg is neither, 1 when it
// was taken, -1 on a usage error (described in error).
int TakeImageOption(const std::vector<std::string>& args, size_t& i, Options& options,
                    std::string& error) {
  std::string value;
  int taken = TakeValueOption(args, i, '\0', "format", value);
  if (taken == 1) {
    if (!ImageFormatFromName(value, options.format)) {
      error = "unknown format '" + value + "' (hex, srec or bin)";
      return -1;
    }
    options.hasFormat = true;
    return 1;
  }
  if (taken == 0) {
    taken = TakeValueOption(args, i, '\0', "base", value);
    if (taken == 1) {
      int32_t base = 0;
      if (!ParseAddress(value, base)) {
        error = "the base address '" + value + "' is not hexadecimal";
        return -1;
      }
      options.base = static_cast<uint32_t>(base);
      options.hasBase = true;
      return 1;
    }
  }
  if (taken < 0) error = "option " + args[i] + " needs a value";
  return taken;
}

// The progress bar of an upload (lines sent of lines) or of a read (lines received). It
// redraws at most ten times a second so that a fast link is not slowed by the terminal.
class ProgressMeter {
 public:
  ProgressMeter(std::ostream* err, bool enabled) : err_(err), enabled_(enabled) {}

  void StartUpload(const TStrings& lines) {
    if (!enabled_) return;
    lines_ = &lines;
    total_ = lines.Count();
    Start();
  }
  void StartRead() {
    if (!enabled_) return;
    Start();
  }

  void LineSent(int32_t index) {
    if (!enabled_ || lines_ == nullptr || index < 0 || index >= total_) return;
    // Lines may only be fetched while the index is valid; the count was taken at the start.
    for (; counted_ <= index && counted_ < lines_->Count(); ++counted_) {
      bytes_ += lines_->Get(counted_).size() + 2;
    }
    done_ = index + 1;
    MaybeDraw(done_ == total_);
  }

  void ByteReceived(char c) {
    if (!enabled_ || lines_ != nullptr) return;
    ++bytes_;
    // Records are the lines that begin with ':' (after the LF some devices send).
    if (atLineStart_ && c == ':') ++done_;
    if (c == '\r') MaybeDraw(false);
    atLineStart_ = c == '\r' || (atLineStart_ && c == '\n');
  }

  void Finish() {
    if (!enabled_ || !started_) return;
    Draw();
    *err_ << '\n' << std::flush;
    started_ = false;
  }

 private:
  void Start() {
    started_ = true;
    start_ = Clock::now();
    lastDraw_ = start_;
    Draw();
  }

  void MaybeDraw(bool force) {
    const auto now = Clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    Draw();
  }

  void Draw() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    const long rate =
        seconds > 0.001 ? static_cast<long>(static_cast<double>(bytes_) / seconds) : 0;
    char text[160];
    if (lines_ != nullptr) {
      constexpr int kWidth = 30;
      const int percent = total_ > 0 ? static_cast<int>(int64_t{done_} * 100 / total_) : 100;
      const int filled = percent * kWidth / 100;
      std::snprintf(text, sizeof text, "\r[%s%s] %d/%d lines %3d%% %ld B/s",
                    std::string(static_cast<size_t>(filled), '#').c_str(),
                    std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), done_, total_,
                    percent, rate);
    } else {
      std::snprintf(text, sizeof text, "\rreceived %d records, %zu bytes, %ld B/s", done_, bytes_,
                    rate);
    }
    *err_ << text << std::flush;
  }

  std::ostream* err_;
  bool enabled_;
  bool started_ = false;
  const TStrings* lines_ = nullptr;
  int32_t total_ = 0;
  int32_t done_ = 0;
  int32_t counted_ = 0;
  bool atLineStart_ = true;
  size_t bytes_ = 0;
  Clock::time_point start_;
  Clock::time_point lastDraw_;
};

// What Prepare works out before anything goes to the device.
struct Job {
  int32_t start = 0;
  int32_t end = 0;
  std::string file;  // the image to upload, or where a read goes
  bool fileExisted = false;
  InputImage input;  // its lines are what an upload sends
  std::string type;  // the code sent on connecting
  bool typeFromImage = false;
};

bool AddressOperand(const std::string& text, const char* what, int32_t& value, std::string& error) {
  if (!ParseAddress(text, value)) {
    error = std::string(what) + " address '" + text +
            "' is not hexadecimal (1 to 8 hex digits, nothing else)";
    return false;
  }
  return true;
}

bool LoadImageOperand(const Options& options, Job& job, const std::string& bytes,
                      std::string& error) {
  const std::string name = FileDisplayName(job.file);
  ImageFormat format = options.format;
  if (!options.hasFormat) {
    format = DetectImageFormat(bytes);
    // A file named as a text image is read as one, so that a stray binary byte is reported
    // by its line instead of the whole file going out as a binary image.
    ImageFormat named = ImageFormat::Binary;
    if (format == ImageFormat::Binary &&
        ((job.file != "-" && ImageFormatFromExtension(job.file, named)) ||
         FirstRecordFormat(bytes, named))) {
      format = named;
    }
  }
  if (format != ImageFormat::Binary) {
    const ReadResult text = CheckTextImage(bytes);
    if (!text) {
      error = name + ": " + text.reason;
      return false;
    }
  }
  if (!LoadInputImage(name, bytes, format, options.base, job.input, error)) return false;
  if (options.hasBase && format != ImageFormat::Binary) {
    error = "--base places a binary image only; " + name + " is read as " + ImageFormatName(format);
    return false;
  }
  return true;
}

// Checks the operands and loads the input file. False with a message on a usage or file
// error.
bool Prepare(const Options& options, Environment& env, Job& job, std::string& error) {
  const auto& ops = options.operands;
  job.type = options.type;
  switch (options.command) {
    case Command::None:
      error = "no command given";
      return false;
    case Command::Ports:
      return true;
    case Command::Type:
      if (ops.size() != 1) {
        error = "type takes one ROM type CODE";
        return false;
      }
      if (ops[0].empty() || HasControlBytes(ops[0])) {
        error = "the ROM type CODE must be printable text";
        return false;
      }
      return true;
    case Command::Blank:
      if (ops.size() != 2) {
        error = "blank takes START END";
        return false;
      }
      return AddressOperand(ops[0], "start", job.start, error) &&
             AddressOperand(ops[1], "end", job.end, error);
    case Command::Read:
      if (ops.size() != 3) {
        error = "read takes START END FILE";
        return false;
      }
      job.file = ops[2];
      {
        // Looked up, never opened: opening a FIFO would wait for a writer.
        std::error_code ignored;
        job.fileExisted = job.file != "-" && std::filesystem::exists(job.file, ignored);
      }
      return AddressOperand(ops[0], "start", job.start, error) &&
             AddressOperand(ops[1], "end", job.end, error) && CheckOutputTarget(job.file, error);
    case Command::Types:
      if (!ops.empty()) {
        error = "types takes no operands";
        return false;
      }
      return true;
    case Command::Info:
    case Command::Program:
    case Command::Compare:
    case Command::Write: {
      if (ops.size() != 1 && ops.size() != 3) {
        error = std::string(options.command == Command::Info ? "info" : "this command") +
                " takes FILE [START END]";
        return false;
      }
      job.file = ops[0];
      if (ops.size() == 3 && !(AddressOperand(ops[1], "start", job.start, error) &&
                               AddressOperand(ops[2], "end", job.end, error))) {
        return false;
      }
      std::string bytes;
      if (!ReadImageInput(job.file, env.in, bytes, error)) return false;
      if (!LoadImageOperand(options, job, bytes, error)) return false;
      // The type the image was read as, unless -t says otherwise: a chip programmed as
      // another type gets another programming voltage.
      if (!options.typeGiven && job.input.typeIndex >= 0) {
        job.type = ChipTypeTable()[static_cast<size_t>(job.input.typeIndex)].code;
        job.typeFromImage = true;
      }
      // The file names a type, just not one on the list: the default in its place could be
      // a chip with another programming voltage.
      if (!options.typeGiven && !job.input.unknownType.empty() &&
          options.command != Command::Info) {
        error = FileDisplayName(job.file) + ": its ;Type line (" + job.input.unknownType +
                ") names no entry of the ROM type list (0 to " +
                std::to_string(ChipTypeTable().size() - 1) + "); give the type with -t";
        return false;
      }
      // An upload of nothing would still be answered OK.
      if (options.command != Command::Info && job.input.image.Empty()) {
        error = FileDisplayName(job.file) +
                (job.input.format == ImageFormat::IntelHex ? " has no Intel HEX data record"
                                                           : " holds no data") +
                "; nothing to send";
        return false;
      }
      if (ops.size() == 1) {
        if (!job.input.hasRange) {
          error = FileDisplayName(job.file) +
                  " holds no data and no ;MinAdr/;MaxAdr lines; give START and END";
          return false;
        }
        job.start = static_cast<int32_t>(job.input.start);
        job.end = static_cast<int32_t>(job.input.end);
      }
      return true;
    }
  }
  return false;
}

const char* CommandName(Command command) {
  for (const auto& info : kCommands) {
    if (info.command == command) return info.name;
  }
  return "?";
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
    if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (int taken = TakeImageOption(args, i, options, error); taken != 0) {
      if (taken < 0) return false;
      continue;
    }
    std::string value;
    int taken = TakeValueOption(args, i, 'p', "port", value);
    if (taken == 1) {
      if (value.empty() || HasControlBytes(value)) {
        error = "the port name must be printable text";
        return false;
      }
      options.port = value;
      continue;
    }
    if (taken == 0) {
      taken = TakeValueOption(args, i, 's', "speed", value);
      if (taken == 1) {
        if (!ParseSpeed(value, options.speed)) {
          error = "the speed '" + value + "' is not a positive decimal baud rate";
          return false;
        }
        continue;
      }
    }
    if (taken == 0) {
      taken = TakeValueOption(args, i, 't', "type", value);
      if (taken == 1) {
        // An empty type would silently leave the writer on whatever type it had.
        if (value.empty() || HasControlBytes(value)) {
          error = "the ROM type CODE must be printable text";
          return false;
        }
        options.type = value;
        options.typeGiven = true;
        continue;
      }
    }
    if (taken < 0) {
      error = "option " + arg + " needs a value";
      return false;
    }
    error = "unknown option " + arg;
    return false;
  }

  if (options.help || options.version) return true;
  if (words.empty()) {
    error = "no command given";
    return false;
  }
  options.command = Command::None;
  for (const auto& info : kCommands) {
    if (words[0] == info.name) options.command = info.command;
  }
  if (options.command == Command::None) {
    error = "unknown command '" + words[0] + "'";
    return false;
  }
  options.operands.assign(words.begin() + 1, words.end());
  // An option that does nothing for this command would leave the user believing it did.
  const Command c = options.command;
  const bool takesImage =
      c == Command::Program || c == Command::Compare || c == Command::Write || c == Command::Info;
  if (options.hasBase && !takesImage) {
    error = std::string("--base places a binary image for program, compare, write or info; ") +
            words[0] + (c == Command::Read ? " takes its range from START END" : " takes no image");
    return false;
  }
  if (options.hasFormat && !takesImage && c != Command::Read) {
    error =
        "--format is for read, program, compare, write and info; " + words[0] + " takes no image";
    return false;
  }
  return true;
}

std::string UsageText() {
  return "usage: zembromw-cli [-p|--port NAME] [-s|--speed BAUD] [-t|--type CODE] [-q|--quiet]\n"
         "                    [-v|--verbose] [--format hex|srec|bin] [--base ADDR] COMMAND ...\n"
         "       zembromw-cli --help | --version\n"
         "  ports                     list the serial ports and what COM1..COM4 open\n"
         "  type CODE                 select the ROM type and print the device's answer\n"
         "                            (no --type is sent before it)\n"
         "  types                     list the ROM types: code, part, programming voltage\n"
         "  blank START END           blank check\n"
         "  read START END FILE       read the chip into FILE (\"-\" for standard output);\n"
         "                            FILE is written only when the device answers OK and\n"
         "                            its records are sound and cover START..END\n"
         "  program FILE [START END]  program from FILE\n"
         "  compare FILE [START END]  compare the chip with FILE\n"
         "  write FILE [START END]    write FILE without the blank check\n"
         "  info FILE [START END]     print FILE's format, range, data byte count and the\n"
         "                            CRC-32, SHA-1 and 16-bit byte sum of the range\n"
         "A FILE of \"-\" is standard input (standard output for read).\n"
         "START and END are hexadecimal; without them FILE's ;MinAdr and ;MaxAdr lines give\n"
         "them, else the lowest and highest address FILE holds data for.\n"
         "Images: Intel HEX (its lines go to the device as they stand), Motorola S-record\n"
         "(S0-S9, converted to Intel HEX records on this side) or raw binary (placed from\n"
         "--base ADDR, default 0; for those four commands only). The input format is\n"
         "detected from the content unless --format is given; read writes --format (not\n"
         "bin to a terminal), else the format FILE's extension names\n"
         "(.hex, .s19/.srec/.mot, .bin), else Intel HEX with ;MinAdr, ;MaxAdr and ;Type\n"
         "lines, and prints the checksums of what it read (not with -q).\n"
         "--verbose writes every byte sent (<) and received (>) to standard error with its\n"
         "time in milliseconds, control bytes escaped.\n"
         "--port defaults to COM1 (COMn maps to $ZEMBROMW_COMn, else the port chosen in the\n"
         "window, else /dev/ttyS<n-1>; a name with \"/\" is a path), --speed to 9600, --type\n"
         "(the type sent on connecting; give it with every command) to the entry an Intel\n"
         "HEX FILE's ;Type line selects (one that selects none is refused), else 08.\n"
         "Exit status: 0 the device answered OK, 1 it answered otherwise or not at all,\n"
         "refused the --type (then nothing else is sent), or a read brought back unsound\n"
         "data, 2 usage or file error (a malformed record is named by its line; nothing is\n"
         "sent) or a speed this system cannot set, 3 the port could not be opened, set up or\n"
         "written, no handshake, or a port that only echoes, 125 a closed standard stream\n"
         "could not be opened on /dev/null, 128+N ended by signal N (port released).\n"
         "The device's last answer is printed on standard error as the last line.\n";
}

namespace {

int RunInfo(const Job& job, std::ostream& out, std::ostream& err) {
  const auto first = static_cast<uint32_t>(job.start);
  const auto last = static_cast<uint32_t>(job.end);
  if (first > last) {
    err << kProgram << ": the start address is above the end address\n";
    return kExitUsage;
  }
  out << EscapeForTerminal(FileDisplayName(job.file)) << ": " << ImageFormatName(job.input.format)
      << ", " << ChecksumSummary(job.input.image, first, last) << '\n'
      << std::flush;
  return out ? kExitOk : kExitUsage;
}

}  // namespace

int Run(const Options& options, Environment& env) {
  std::ostream& err = env.err != nullptr ? *env.err : std::cerr;
  std::ostream& out = env.out != nullptr ? *env.out : std::cout;
  env.err = &err;
  if (options.command == Command::Ports) return RunPortsCommand(options.operands, out, err);

  Job job;
  std::string error;
  if (options.command == Command::Read && options.operands.size() == 3 &&
      options.operands[2] == "-") {
    // Refused before the device is asked: the chip's data would have nowhere to go, or
    // its raw bytes would drive the terminal.
    if (!out.good()) {
      err << kProgram << ": cannot write standard output; nothing was read\n";
      return kExitUsage;
    }
    if (env.outIsTerminal && ReadOutputFormat("-", options.hasFormat ? &options.format : nullptr) ==
                                 ImageFormat::Binary) {
      err << kProgram
          << ": will not write binary data to a terminal; redirect standard output or use "
             "--format hex or srec\n";
      return kExitUsage;
    }
  }
  if (!Prepare(options, env, job, error) || !CheckSpeed(options.speed, error)) {
    err << kProgram << ": " << EscapeForTerminal(error) << '\n';
    return kExitUsage;
  }

  if (options.command == Command::Types) {
    PrintChipTypes(out);
    out << std::flush;
    return out ? kExitOk : kExitUsage;
  }
  if (options.command == Command::Info) return RunInfo(job, out, err);

  SignalCatcher signals;
  std::unique_ptr<SerialChannel> channel = std::move(env.channel);
  if (!channel) channel = std::make_unique<InterruptibleChannel>(CreatePlatformSerialChannel());
  auto watched =
      std::make_unique<WatchedChannel>(std::move(channel), options.verbose ? &err : nullptr);
  WatchedChannel* wire = watched.get();
  TzembROMWT rom(nullptr, std::move(watched));
  rom.Setcom(options.port);
  rom.SetSpeed(options.speed);
  // "type" selects the type itself, so the connection sends no default type before it.
  rom.SetdefaultRT(options.command == Command::Type ? std::string() : job.type);
  if (job.typeFromImage && !options.quiet) {
    err << kProgram << ": ROM type " << job.type << " from the ;Type line of "
        << EscapeForTerminal(FileDisplayName(job.file)) << '\n';
  }
  int stopped = -1;

  // The transcript and the progress bar would overwrite each other.
  ProgressMeter progress(&err, env.progress && !options.verbose);
  TStringList received;
  if (options.command == Command::Read) {
    rom.Lines = &received;
    rom.SetOnGetChar([&progress](TzembROMWT*, char c) { progress.ByteReceived(c); });
  } else {
    rom.Lines = &job.input.lines;
    rom.SetOnFlash([&progress](TzembROMWT*, int32_t line) { progress.LineSent(line); });
  }

  bool ok = false;
  bool aborted = false;
  std::string answer;
  try {
    // The type checks name the type actually sent, which may come from the image.
    Options lineOptions = options;
    lineOptions.type = job.type;
    stopped = PrepareLine(rom, lineOptions, err);
    if (stopped < 0) switch (options.command) {
        case Command::Type:
          answer = rom.SetRomType(options.operands[0]);
          ok = !answer.empty();
          if (!ok && !rom.Connecting) stopped = CheckTypeAnswer(rom, options, err);
          break;
        case Command::Blank:
          ok = rom.BlankCheck(job.start, job.end);
          break;
        case Command::Read:
          progress.StartRead();
          ok = rom.ReadRom(job.start, job.end);
          break;
        case Command::Program:
          progress.StartUpload(job.input.lines);
          ok = rom.ProgramRom(job.start, job.end);
          break;
        case Command::Compare:
          progress.StartUpload(job.input.lines);
          ok = rom.CompareRom(job.start, job.end);
          break;
        case Command::Write:
          progress.StartUpload(job.input.lines);
          ok = rom.WriteRom(job.start, job.end);
          break;
        case Command::None:
        case Command::Ports:
        case Command::Types:
        case Command::Info:
          break;
      }
  } catch (const EAbort&) {
    aborted = true;
  }
  progress.Finish();
  wire->FlushTrace();

  if (const int signal = SignalCatcher::Caught()) {
    // Closing clears the terminal's exclusive flag and the lock, so the next run finds the
    // port free even when the other end stays open.
    rom.ClosePort();
    err << kProgram << ": " << SignalName(signal) << " received; port "
        << EscapeForTerminal(options.port) << " released\n"
        << StatusForTerminal(rom.Status) << '\n'
        << std::flush;
    return 128 + signal;
  }

  int status = ok ? kExitOk : kExitDeviceNg;
  if (stopped >= 0) {
    status = stopped;
  } else if (aborted && rom.Channel().LastFault() == SerialFault::HungUp) {
    status = kExitPortFailed;
    err << kProgram << ": " << EscapeForTerminal(rom.Channel().LastError()) << '\n';
  } else if (aborted) {
    status = kExitPortFailed;
    const std::string why = rom.Channel().LastError();
    err << kProgram << ": cannot " << (rom.PortOpen() ? "write to" : "open") << " port "
        << EscapeForTerminal(options.port);
    if (!why.empty()) err << ": " << EscapeForTerminal(why);
    if (options.port.size() > kMaxPortNameLength) err << " (name longer than 128 bytes)";
    if (rom.Channel().LastFault() == SerialFault::NotPermitted) {
      err << "; on Linux the user usually needs to be in the dialout group";
    }
    err << '\n';
  } else if (!ok && rom.Channel().LastFault() == SerialFault::HungUp) {
    // The far end went away mid-operation: the port could no longer be written.
    status = kExitPortFailed;
    err << kProgram << ": " << EscapeForTerminal(rom.Channel().LastError()) << '\n';
  } else if (!ok && rom.Connecting) {
    // Connect clears the flag only once a handshake was answered.
    status = ReportNoHandshake(options.port, err);
  } else if (options.command == Command::Type && ok) {
    if (!WriteChecked(out, StatusForTerminal(answer) + '\n')) {
      err << kProgram << ": cannot write standard output\n";
      status = kExitUsage;
    }
  } else if (options.command == Command::Read) {
    SparseImage image;
    std::string fault;
    const auto first = static_cast<uint32_t>(job.start);
    const auto last = static_cast<uint32_t>(job.end);
    if (ok && !VerifyReadData(received, first, last, image, fault)) {
      // The device said OK, but what it sent is not the chip's range: nothing is saved.
      ok = false;
      status = kExitDeviceNg;
      err << kProgram << ": " << fault << '\n';
    }
    if (ok) {
      const ImageFormat outputFormat =
          ReadOutputFormat(job.file, options.hasFormat ? &options.format : nullptr);
      const std::string text =
          ReadOutputText(outputFormat, received, image, first, last, ChipTypeIndexOfCode(job.type));
      if (!options.quiet) {
        err << kProgram << ": read " << ChecksumSummary(image, first, last) << '\n';
      }
      if (!WriteOutput(job.file, text, out, error)) {
        err << kProgram << ": " << EscapeForTerminal(error) << '\n';
        status = kExitUsage;
      } else if (job.file != "-" && !options.quiet) {
        err << kProgram << ": " << received.Count() << " records received, written to "
            << EscapeForTerminal(job.file) << " as " << ImageFormatName(outputFormat) << '\n';
      }
    } else if (!options.quiet && job.file != "-") {
      err << kProgram << ": read failed; "
          << (job.fileExisted ? EscapeForTerminal(job.file) + " left as it was"
                              : "nothing written to " + EscapeForTerminal(job.file))
          << '\n';
    }
  }
  if (status == kExitDeviceNg && stopped < 0 && !options.quiet) {
    // An empty Status is silence (or a blank line) where an answer was due; a read into a
    // file has said that it failed already.
    if (rom.Status.empty()) {
      err << kProgram << ": " << CommandName(options.command)
          << " failed: the device's answer was empty or did not come in time\n";
    } else if (options.command != Command::Read || job.file == "-") {
      err << kProgram << ": " << CommandName(options.command) << " failed\n";
    }
  }
  // Status may hold an earlier answer (a read refused after the type was accepted keeps the
  // type's answer), so the device's real last word is shown beside it.
  // The transcript keeps no control bytes, while a type answer in Status keeps them.
  const std::string lastLine = wire->LastDeviceLine();
  const bool cut = lastLine.size() >= WatchedChannel::kMaxLineKept;
  std::string statusText;
  for (char c : rom.Status) {
    if (static_cast<unsigned char>(c) >= 0x20) statusText += c;
  }
  if (!aborted && !lastLine.empty() &&
      (statusText.compare(0, lastLine.size(), lastLine) != 0 ||
       (!cut && lastLine.size() != statusText.size()))) {
    err << kProgram << ": the device's last line was: " << EscapeForTerminal(lastLine)
        << (cut ? "..." : "") << '\n';
  }
  // A port that never took a byte heard no answer, and an empty last line would only say
  // so less clearly than the message above.
  if (!wire->SentAnything() && rom.Status.empty()) return status;
  // A run whose messages could not be written must not look like a success.
  if (!WriteChecked(err, StatusForTerminal(rom.Status) + '\n') && status == kExitOk) {
    status = kExitUsage;
  }
  return status;
}

int Main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  // A standard stream that was closed at start now leads to the null device: what goes
  // there is lost, so it counts as a stream that cannot be read or written.
  if (StandardDescriptorWasClosed(0)) std::cin.setstate(std::ios::badbit);
  if (StandardDescriptorWasClosed(1)) std::cout.setstate(std::ios::badbit);
  if (StandardDescriptorWasClosed(2)) std::cerr.setstate(std::ios::badbit);

  Options options;
  std::string error;
  if (!ParseArguments(args, options, error)) {
    std::cerr << kProgram << ": " << EscapeForTerminal(error) << " (try --help)\n";
    return kExitUsage;
  }
  if (options.help) return WriteChecked(std::cout, UsageText()) ? kExitOk : kExitUsage;
  if (options.version) {
    return WriteChecked(std::cout, std::string(kProgram) + " " + ZEMBROMW_VERSION + "\n")
               ? kExitOk
               : kExitUsage;
  }
  UseStoredPortAssignments();
  Environment env;
  env.in = &std::cin;
  env.out = &std::cout;
  env.err = &std::cerr;
  env.progress = !options.quiet && ZEMBROMW_ISATTY(2);
  env.outIsTerminal = ZEMBROMW_ISATTY(1) != 0;
  return Run(options, env);
}

}  // namespace zemb::cli
