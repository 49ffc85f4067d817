#include "DeviceSession.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>

#include "CliFiles.h"
#include "CliLine.h"
#include "CliSignals.h"
#include "CommandTable.h"
#include "Errors.h"
#include "PortDiagnosis.h"
#include "TerminalText.h"
#include "WireTrace.h"
#include "uZEMB.h"

namespace zemb::cli {
namespace {

using Clock = std::chrono::steady_clock;

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
  // Also after an upload or another read: the count starts again.
  void StartRead() {
    if (!enabled_) return;
    if (started_) Finish();
    lines_ = nullptr;
    done_ = 0;
    bytes_ = 0;
    atLineStart_ = true;
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
    // The handshake's and type's answers come before the read starts.
    if (!enabled_ || !started_ || lines_ != nullptr) return;
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

}  // namespace

int ReportUsageError(std::ostream& err, const std::string& message) {
  err << kProgram << ": " << EscapeForTerminal(message) << '\n';
  return kExitUsage;
}

int ReportPortFailure(TzembROMWT& rom, const Options& options, std::ostream& err) {
  const std::string why = rom.Channel().LastError();
  err << kProgram << ": cannot " << (rom.PortOpen() ? "write to" : "open") << " port "
      << EscapeForTerminal(options.port);
  if (!why.empty()) err << ": " << EscapeForTerminal(why);
  if (options.port.size() > kMaxPortNameLength) err << " (name longer than 128 bytes)";
  if (rom.Channel().LastFault() == SerialFault::NotPermitted) {
    err << "; on Linux the user usually needs to be in the dialout group";
  }
  err << '\n';
  // What the system says about a port that would not open: who holds it, which group, ...
  if (!rom.PortOpen()) {
    for (const auto& line : DiagnosePortFailure(options.port, rom.Channel().LastFault())) {
      err << "  " << EnglishDiagnosisLine(line) << '\n';
    }
  }
  return kExitPortFailed;
}

int RunOnDevice(const Options& options, Environment& env, DeviceRun& run) {
  std::ostream& err = *env.err;
  const CommandEntry* entry = EntryOf(options.command);
  const char* commandName = entry != nullptr ? entry->name : "?";

  SignalCatcher signals;
  std::unique_ptr<SerialChannel> channel = std::move(env.channel);
  if (!channel) channel = std::make_unique<InterruptibleChannel>(CreatePlatformSerialChannel());
  auto watched =
      std::make_unique<WatchedChannel>(std::move(channel), options.verbose ? &err : nullptr);
  WatchedChannel* wire = watched.get();
  TzembROMWT rom(nullptr, std::move(watched));
  rom.Setcom(options.port);
  rom.SetSpeed(options.speed);
  rom.SetdefaultRT(run.type);
  if (!run.typeSource.empty() && !options.quiet) {
    err << kProgram << ": ROM type " << run.type << " from the ;Type line of "
        << EscapeForTerminal(run.typeSource) << '\n';
  }
  int stopped = -1;

  // The transcript and the progress bar would overwrite each other.
  ProgressMeter progress(&err, env.progress && !options.verbose);
  rom.Lines = run.lines;
  // Every command may read (a failed compare's differences); the meter counts received
  // bytes only while a read runs.
  rom.SetOnGetChar([&progress](TzembROMWT*, char c) { progress.ByteReceived(c); });
  if (run.progress == DeviceRun::Progress::Upload) {
    rom.SetOnFlash([&progress](TzembROMWT*, int32_t line) { progress.LineSent(line); });
  }
  run.beginRead = [&progress] { progress.StartRead(); };

  bool ok = false;
  bool aborted = false;
  try {
    // The type checks name the type actually sent, which may come from the image.
    Options lineOptions = options;
    lineOptions.type = run.type;
    stopped = PrepareLine(rom, lineOptions, err);
    if (stopped < 0) {
      if (run.progress == DeviceRun::Progress::Read) progress.StartRead();
      if (run.progress == DeviceRun::Progress::Upload && run.lines != nullptr) {
        progress.StartUpload(*run.lines);
      }
      ok = run.operate(rom);
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
    status = ReportPortFailure(rom, options, err);
  } else if (!ok && rom.Channel().LastFault() == SerialFault::HungUp) {
    // The far end went away mid-operation: the port could no longer be written.
    status = kExitPortFailed;
    err << kProgram << ": " << EscapeForTerminal(rom.Channel().LastError()) << '\n';
  } else if (!ok && rom.Connecting) {
    // Connect clears the flag only once a handshake was answered.
    status = ReportNoHandshake(options.port, err);
  } else if (run.answered) {
    status = run.answered(rom, ok);
  }
  if (status == kExitDeviceNg && stopped < 0 && !options.quiet) {
    // An empty Status is silence (or a blank line) where an answer was due.
    if (rom.Status.empty()) {
      err << kProgram << ": " << commandName
          << " failed: the device's answer was empty or did not come in time\n";
    } else if (!run.failureSaid) {
      err << kProgram << ": " << commandName << " failed\n";
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
  if (!aborted && !run.statusKept && !lastLine.empty() &&
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

}  // namespace zemb::cli
